// The wizard's picture buttons (Quit, Back, Next, Preferences cut from the language's button
// sheet) and the modal preferences window.
#pragma once
#include <string>

// align: 0 centred on x, 1 left edge at x, -1 right edge at x; look 2 is dimmed. Returns 1 when a
// mouse button went down inside the button this frame, enabled or not.
int BTN_elements_button(float x, float y, int picture, int align, int* out_width, int enabled, int look);
// Where the preferences window puts its widgets, popup units: the centre of the operating-system
// list's text, the log check box, the proxy fields' left ends and their width.
struct prefs_places {
    float list_x, list_y, check_x, check_y, field_x, host_y, port_y, field_w;
};
extern const prefs_places kPrefsPlaces;
// Runs frames until the preferences popup is closed.
void run_prefs_window();
// The proxy port typed as text, as a number: 0 for an empty text, -1 for anything but an optional
// sign and one to nine digits ('+' and '-' inside count as the digits 1 and -1).
int prefs_port_number(const std::string& text);
