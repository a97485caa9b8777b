// What the frame runs of the application. The application fills these in.
#pragma once
#include <cstdint>

// Draws the current wizard step and its page; called once per frame while no popup is open.
void wizard_draw_frame();
// A chosen item of an ordinary menu; this program has none, so it does nothing.
void app_menu_command(int32_t id);
