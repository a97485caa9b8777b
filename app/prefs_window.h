// The wizard's picture buttons (Quit, Back, Next, Preferences cut from the language's button
// sheet) and the modal preferences window.
#pragma once

// align: 0 centred on x, 1 left edge at x, -1 right edge at x; look 2 is dimmed. Returns 1 when a
// mouse button went down inside the button this frame, enabled or not.
int BTN_elements_button(float x, float y, int picture, int align, int* out_width, int enabled, int look);
// Runs frames until the preferences popup is closed.
void run_prefs_window();
