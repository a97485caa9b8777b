// The wizard's picture buttons (Quit, Back, Next, Preferences cut from the language's button
// sheet) and the modal preferences window.
#pragma once
#include <string>

// align: 0 centred on x, 1 left edge at x, -1 right edge at x; look 2 is dimmed. Returns 1 when a
// mouse button went down inside the button this frame, enabled or not.
int BTN_elements_button(float x, float y, int picture, int align, int* out_width, int enabled, int look);
// Runs frames until the preferences popup is closed.
void run_prefs_window();
// The proxy port typed as text, as a number: 0 for an empty text, -1 for anything but an optional
// sign and one to nine digits ('+' and '-' inside count as the digits 1 and -1).
int prefs_port_number(const std::string& text);
