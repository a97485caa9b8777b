// The application frame, as the frame function runs it. The application fills it in.
#pragma once

// Draws the current wizard step and its page; called once per frame while no popup is open.
void wizard_draw_frame();
