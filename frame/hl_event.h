// The heartbeat of the program: one frame at a time (input, timing, the application's drawing,
// overlays, presentation), and the window procedure that turns window events into the global
// input state the widgets poll.
#pragma once

#include <cstdint>

struct PLAT_event;

// ---- hl_input: mouse in UI units from the open popup's bottom-left corner, y upwards ----
extern float gMouseX, gMouseY;
extern int gMouseDown;          // a button went down this frame
extern int gMouseUp;            // a button went up this frame
extern int gMouseHeld;          // a button is held (kept by the frame timer)
extern int gMouseQuickClick;    // released within 0.25 s of the press (frame timer)
extern int gMouseDoubleClick;   // this frame's press was made within the double-click time of the
                                // previous one and within 5 pixels of it, which the same view took
extern int gMouseShift;         // Shift was held at the last press
extern int gMouseHeldQuarter;   // held for more than 0.25 s
extern int gMouseHeldSecond;    // held for more than 1 s
extern float gMouseDownTime;    // frame-timer time of the last press
extern float gMouseMoveTime;    // frame-timer time of the last press or move
extern float gMousePressX, gMousePressY; // where the press that opened a menu was
extern int gMouseWheel;         // wheel notches, positive away from the user
extern int gMouseRight;         // 1 when the last press was the right button
extern int gKeyDown;            // a key went down this frame
extern int gKeyHeld;            // a key is down
extern int gKeyEnter;           // Return or Enter went down this frame
extern int gKeyEscape;          // Escape went down this frame
extern int gKeyDelete;          // Delete or Backspace went down this frame
extern int gCursorKind;         // the cursor wanted this frame
extern int gCloseRequests;      // close events so far (the close box, Alt+F4)

// Runs exactly one frame. Called by the main loop and by every modal loop. It takes the waiting
// input in order and up to and including the first change of a mouse button (at the place where
// it was made) or the first key that moves the focus, sets a key flag, changes a key binding's
// held flag or changes the popup; what follows waits for the next frame.
void hl_do_frame();
// The window procedure registered with the window class: the window's own events (made, closed,
// uncovered) go to hl_window_proc at once, input waits in the frame's queue.
void hl_event_arrived(const PLAT_event& ev);
// Turns one event into the input state at once (hl_do_frame hands it the queued input).
void hl_window_proc(const PLAT_event& ev);
// The view in front changed (another popup, wizard page, question or note; the window back from a
// file dialog): presses made before the new view is on screen count as moves only, and so does
// the second press of a double click whose first press the new view did not take; keys made
// before it answer nothing. The press held now holds nothing on the new view.
void hl_view_changed();
// The view just opened asks the user something (an alert, a note, the language chooser, a
// question): until the view changes, no press or key made within the double-click time of its first
// frame on screen answers it, nor the second press of a double click (within the double-click time
// and 5 pixels of the previous press made), nor a key repeat. The log says
// "On screen, asking: popup N" once it is there to be answered.
void hl_view_asks();
// The clock that times when a view was first on screen, on the events' clock: PLAT_event_clock_ms,
// or a test's stand-in.
extern uint64_t (*gEventClock)();
// What takes the platform's waiting events in, each stamped with that moment on the events' clock:
// PLAT_pump_events, or a test's stand-in.
extern int (*gPumpEvents)();
// What is drawn over every frame: queued alerts, missing-texture alerts, cursor, menus.
void hl_draw_overlays();
// Closes the open popup the way its close box does.
void hl_close_window();
// Puts the mouse position where the pointer last moved to, measured from the open popup's corner
// (nothing before the first move).
void hl_mouse_follow_popup();

// 1 when (x, y), in popup units, lies in one of the two close boxes of the popup (ends included);
// the whole window, the alert and the dialogs 994 to 999 have none.
int hl_in_close_box(int popup, float x, float y, float popup_w, float popup_h);
// 1 when a release at (x, y) at time now is a click in place: under 1 s after the press at
// down_time and under 3 units from (press_x, press_y) on each axis.
int hl_is_click_in_place(float now, float down_time, float x, float y, float press_x, float press_y);
