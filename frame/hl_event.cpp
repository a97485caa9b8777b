// The frame cycle, the window procedure and the overlays (see hl_event.h).
#include "frame/hl_event.h"

#include "foundation/HL_THREAD.h"
#include "foundation/log.h"
#include "frame/alert.h"
#include "frame/app_frame.h"
#include "frame/butn.h"
#include "frame/cursor.h"
#include "frame/hl_init.h"
#include "frame/hl_keyboard.h"
#include "frame/hl_popup.h"
#include "frame/hl_timer.h"
#include "frame/mbar.h"
#include "graphics/OGL_view.h"
#include "graphics/TEX_obj.h"
#include "graphics/hl_window.h"
#include "graphics/qtim.h"
#include "graphics/tman.h"
#include "platform/plat_cursor.h"
#include "platform/plat_window.h"

#include <cmath>
#include <cstdlib>
#include <deque>

float gMouseX = 0, gMouseY = 0;
int gMouseDown = 0;
int gMouseUp = 0;
int gMouseHeld = 0;
int gMouseQuickClick = 0;
int gMouseDoubleClick = 0;
int gMouseShift = 0;
int gMouseHeldQuarter = 0;
int gMouseHeldSecond = 0;
float gMouseDownTime = 0;
float gMouseMoveTime = 0;
float gMousePressX = 0, gMousePressY = 0;
int gMouseWheel = 0;
int gMouseRight = 0;
int gKeyDown = 0;
int gKeyHeld = 0;
int gKeyEnter = 0;
int gKeyEscape = 0;
int gKeyDelete = 0;
int gCursorKind = 0;
int gCloseRequests = 0;
void (*gAppFrameHook)() = nullptr;

static int gFirstFrame = 1;

// ---- the input queue ----
// The platform hands over every waiting event at once; a frame takes them from here in their
// order, and only up to the first thing that its widgets read once per frame: a change of a
// mouse button, a key that moves the focus, sets a key flag, holds or lets go of a key binding,
// or changes the popup. The rest waits for the next frame, so a press is judged where it was
// made, before the moves that followed it, and a click moves the focus before the keys typed
// after it reach a field.
static std::deque<PLAT_event> sInput;

// A view (the wizard's page, a popup, a question, a note) answers only presses and keys made while
// it was on screen. An event's time is when the platform took it in, so it may have been made at
// any moment since the pump before that: a view counts as on screen for the events taken in after
// the pump that follows the presentation of its first frame. Presses and keys made while the
// window drew nothing (a long wait in a frame, a file dialog, a stopped program) thus answer the
// view that was on screen then, and none that replaced it.
static unsigned sView = 0;    // changes of the view so far
static bool sShown = false;   // the view in front was presented, and what came before taken in
static uint64_t sShownAt = 0; // the event clock at the end of that pump
static bool sAsks = false;    // the view in front asks the user something

// The previous press made, taken or dropped: double clicks are judged against it, by when and
// where the presses were made: in a quick run of presses at one spot, each is the second press of
// a double click. Taken: the view that took it.
static bool sPressKnown = false;
static uint64_t sPressAt = 0;
static int sPressPx = 0, sPressPy = 0;
static bool sPressTaken = false;
static unsigned sPressView = 0;

uint64_t (*gEventClock)() = PLAT_event_clock_ms;
int (*gPumpEvents)() = PLAT_pump_events;

// Where the last move left the pointer in the first window, in UI units from its corner: an alert
// or an engine question that opens takes the mouse position from it, since no move may come before
// the next press. Only those take it: at the opening of every popup it would count as a move, and
// the idle pointer would not hide.
static float sPointerX = 0, sPointerY = 0;
static bool sPointerKnown = false;

void hl_mouse_follow_popup()
{
    if (!sPointerKnown) return;
    gMouseX = sPointerX - gPopupX;
    gMouseY = sPointerY - gPopupY;
}

int hl_in_close_box(int popup, float x, float y, float popup_w, float popup_h)
{
    // Nothing opened yet (-1) has no close box either.
    if (popup <= 0 || (popup >= 994 && popup <= 999)) return 0;
    if (!(y >= popup_h - 20 && y <= popup_h)) return 0;
    return (x >= 0 && x <= 25) || (x >= popup_w - 25 && x <= popup_w);
}

int hl_is_click_in_place(float now, float down_time, float x, float y, float press_x, float press_y)
{
    return now - down_time < 1.0f && std::fabs(x - press_x) < 3.0f && std::fabs(y - press_y) < 3.0f;
}

static void close_box_test()
{
    if (hl_in_close_box(gPopup, gMouseX, gMouseY, gPopupW, gPopupH)) hl_close_window();
}

void hl_close_window()
{
    BTN_corner_boxes(1);
    OGL_swap_buffers();
    gKeyEnter = 0;
    gKeyEscape = 0;
    hl_open_window(0);
}

void hl_window_proc(const PLAT_event& ev)
{
    switch (ev.kind) {
    case PLAT_EV_CREATE:
        gWindowCreated = 1;
        break;
    case PLAT_EV_PAINT:
        hl_open_window(gPopup);
        break;
    case PLAT_EV_CLOSE:
        gQuit = 1;
        ++gCloseRequests;
        break;
    case PLAT_EV_KEY_DOWN:
        KEY_handle_message(ev);
        gKeyDown = 1;
        gKeyHeld = 1;
        break;
    case PLAT_EV_KEY_UP:
        gKeyHeld = 0;
        KEY_handle_message(ev);
        break;
    case PLAT_EV_MOUSE_MOVE:
        // The arrow holds between frames too; a hidden pointer stays hidden.
        if (gCursorKind == 0) PLAT_cursor_set_arrow();
        // Positions come signed: a pointer held outside the window is left of or below it.
        gMouseX = (float)ev.x / gUIScale;
        gMouseY = (float)(gWindowH - ev.y) / gUIScale;
        if (gWindows.hl_set_window_count(-1) == 2 && gWindows.window[1] && ev.window == gWindows.window[1]) {
            gMouseX += (float)gWindowW / gUIScale;
            sPointerKnown = false;
        } else {
            sPointerX = gMouseX;
            sPointerY = gMouseY;
            sPointerKnown = true;
            gMouseX -= gPopupX;
            gMouseY -= gPopupY;
        }
        break;
    case PLAT_EV_BUTTON_DOWN:
        if (ev.button != PLAT_BUTTON_LEFT && ev.button != PLAT_BUTTON_RIGHT) break;
        gMouseRight = ev.button == PLAT_BUTTON_RIGHT ? 1 : 0;
        gMouseShift = (ev.mods & PLAT_MOD_SHIFT) ? 1 : 0;
        gMouseDown = 1;
        MENU_press();
        MENU_clear_dropdown_owner();
        close_box_test();
        break;
    case PLAT_EV_BUTTON_UP:
        if (ev.button != PLAT_BUTTON_LEFT && ev.button != PLAT_BUTTON_RIGHT) break;
        gMouseUp = 1;
        if (!hl_is_click_in_place(gTimer.hl_timer_real_time, gMouseDownTime, gMouseX, gMouseY, gMousePressX,
                                  gMousePressY))
            MENU_release();
        break;
    case PLAT_EV_WHEEL:
        gMouseWheel += ev.wheel / PLAT_WHEEL_STEP;
        break;
    default:
        break;
    }
}

void hl_event_arrived(const PLAT_event& ev)
{
    switch (ev.kind) {
    case PLAT_EV_MOUSE_MOVE:
    case PLAT_EV_BUTTON_DOWN:
    case PLAT_EV_BUTTON_UP:
    case PLAT_EV_WHEEL:
    case PLAT_EV_KEY_DOWN:
    case PLAT_EV_KEY_UP:
    case PLAT_EV_SYS_KEY_DOWN:
    case PLAT_EV_SYS_KEY_UP:
        sInput.push_back(ev);
        break;
    default:
        // The window's own events (made, closed, uncovered) never wait behind input: a quit
        // request counts at once, however much input is still queued.
        hl_window_proc(ev);
        break;
    }
}

void hl_view_changed()
{
    ++sView;
    sShown = sAsks = false;
    gMouseHeld = 0;
    // A key taken before the change answers nothing on the new view either. Nothing reads the
    // flags after a change in the frame that set them today: the alert and the keyboard act on
    // them before they change the view, and every frame begins by clearing them. This keeps it so
    // for a view that would read them later in that frame.
    gKeyEnter = gKeyEscape = gKeyDelete = 0;
}

void hl_view_asks()
{
    sAsks = true;
}

// The button events that the window procedure acts on.
static bool is_button_change(const PLAT_event& ev)
{
    return (ev.kind == PLAT_EV_BUTTON_DOWN || ev.kind == PLAT_EV_BUTTON_UP) &&
           (ev.button == PLAT_BUTTON_LEFT || ev.button == PLAT_BUTTON_RIGHT);
}

// 1 when the view in front was on screen before the event was made.
static bool seen_before(const PLAT_event& ev)
{
    return sShown && ev.time_ms > sShownAt;
}

// 1 when the event came less than ms after the moment at.
static bool within(const PLAT_event& ev, uint64_t at, int ms)
{
    return ev.time_ms >= at && ev.time_ms - at < (uint64_t)ms;
}

// 1 when the press is the second of a double click: within the double-click time of the
// previous press and within 5 pixels of it (at the interface's scale) in each direction.
static bool second_press(const PLAT_event& ev)
{
    const float reach = 5 * gUIScale;
    return sPressKnown && within(ev, sPressAt, PLAT_double_click_ms()) && std::abs(ev.x - sPressPx) <= reach &&
           std::abs(ev.y - sPressPy) <= reach;
}

// Whether a press or a key may answer the view in front: only one made after it was on screen, and
// not the second press of a double click whose first press this view did not take (it changed the
// view, or came before the view was shown). A view that asks takes no press or key made within the
// double-click time of its first frame on screen (it was meant for what was there before), no
// second press of a double click (the rest of one that answered it already, or of one refused),
// and no key repeat.
static bool may_answer(const PLAT_event& ev)
{
    if (!seen_before(ev)) return false;
    const bool press = ev.kind == PLAT_EV_BUTTON_DOWN;
    if (press && second_press(ev) && !(sPressTaken && sPressView == sView)) return false;
    if (!sAsks) return true;
    if (within(ev, sShownAt, PLAT_double_click_ms())) return false;
    return press ? !second_press(ev) : !ev.repeat;
}

// One button change, at its own place; false when it answers nothing.
static bool take_button(const PLAT_event& ev)
{
    PLAT_event place = ev;
    place.kind = PLAT_EV_MOUSE_MOVE;
    hl_window_proc(place);
    if (ev.kind == PLAT_EV_BUTTON_UP) {
        // The release of a press that answered nothing answers nothing either.
        if ((sPressKnown && !sPressTaken) || !seen_before(ev)) return false;
        hl_window_proc(ev);
        return true;
    }
    const bool twice = second_press(ev);
    const bool answers = may_answer(ev);
    sPressKnown = true;
    sPressAt = ev.time_ms;
    sPressPx = ev.x;
    sPressPy = ev.y;
    sPressTaken = answers;
    sPressView = sView;
    if (!answers) return false;
    hl_window_proc(ev);
    // Two presses close in time and place are a double click however far apart the frames are
    // that take them, and however slow the one frame that waited for both.
    if (twice && gMouseDown) gMouseDoubleClick = 1;
    return true;
}

// Takes the waiting input in order, up to and including the first event that the frame can take
// only once.
static void take_input()
{
    while (!sInput.empty()) {
        const PLAT_event ev = sInput.front();
        // A key that may not answer the view in front does nothing (its release goes through: it
        // only lets go of what its press held).
        if (ev.kind == PLAT_EV_KEY_DOWN && !may_answer(ev)) {
            sInput.pop_front();
            continue;
        }
        // No key is lost and none overtakes: a key the focused field has no room for, or one that
        // would act elsewhere before the field has drawn the keys it holds, waits for the next frame.
        if (KEY_must_wait(ev)) return;
        sInput.pop_front();
        if (is_button_change(ev)) {
            if (take_button(ev)) return;
            continue;
        }
        const int popup = gPopup, focus = gFocusId, held = gKeyboard.held_changes;
        const int enter = gKeyEnter, escape = gKeyEscape, del = gKeyDelete;
        hl_window_proc(ev);
        if (gPopup != popup || gFocusId != focus || gKeyboard.held_changes != held || gKeyEnter != enter ||
            gKeyEscape != escape || gKeyDelete != del)
            return;
    }
}

void hl_draw_overlays()
{
    if (gPopup == 0) {
        THREAD_report_exceptions(1);
        static const char* const kSee = "Please see the log.txt file for a detailed list of missing files.";
        if (gTextures.missing_scenery_pending()) {
            MACIBM_alert(0, "Some scenery textures could not be loaded.",
                         "This may be an installation problem or you may have a damaged add-on scenery package.",
                         kSee, "", t_note, "hl_event", 101);
            gTextures.ack_missing_scenery();
        }
        if (gTextures.missing_aircraft_pending()) {
            MACIBM_alert(0, "Some textures for the aircraft you selected could not be loaded.",
                         "This may be an installation problem or you may have a damaged add-on aircraft package.",
                         kSee, "", t_note, "hl_event", 102);
            gTextures.ack_missing_aircraft();
        }
        if (gTextures.missing_other_pending()) {
            MACIBM_alert(0, "Some textures could not be loaded.",
                         "This may be an installation problem.  Run the installer/updater again to get these missing "
                         "textures.",
                         kSee, "", t_note, "hl_event", 103);
            gTextures.ack_missing_other();
        }
    }
    hl_draw_cursor(gHoverHelp, gPopup);
    MENU_draw_bar();
    MENU_draw();
}

void hl_do_frame()
{
    gTimer.perf_mark("init", 0);

    gCursorKind = 0;
    gKeyEnter = 0;
    gKeyEscape = 0;
    gKeyDelete = 0;
    gMouseDown = 0;
    gMouseDoubleClick = 0;
    gMouseUp = 0;
    gKeyDown = 0;

    if (gPopup == -1) gPopup = 0;
    if (gFirstFrame) {
        gFirstFrame = 0;
        hl_open_window(gPopup);
    }

    // Every waiting event into the queue; when none was waiting and none is queued, sleep until
    // input comes or 16 ms pass. Then this frame's share of the queue.
    const unsigned view = sView;
    const int pumped = gPumpEvents();
    if (pumped == 0 && sInput.empty()) {
        PLAT_wait_event(16);
        gPumpEvents();
    }
    take_input();
    gTimer.perf_mark("event", 0);

    gTimer.hl_timer_update();
    KEY_process_bindings();

    if (MENU_mouse_over_title()) {
        MENU_press();
        MENU_clear_dropdown_owner();
        close_box_test();
    }

    BTN_focus_begin_frame();

    // Under a popup the dialog's own loop draws; the application neither draws nor advances.
    if (!gPopupOpen && gAppFrameHook) gAppFrameHook();

    hl_draw_overlays();

    QT_movie_tick(&gMovieRecorder);
    // What is in front is on screen now, unless it changed during this frame (or a window procedure
    // opened a dialog on an event of this pump): what was made before is taken in at once, and what
    // comes in later was made while it showed.
    if (!sShown) {
        gPumpEvents();
        if (sView == view) {
            sShown = true;
            sShownAt = gEventClock();
            // Said in the log, so that whoever answers it knows it is there to be answered.
            if (sAsks) {
                gLog << "On screen, asking: popup " << gPopup << "\n";
                gLog.flush();
            }
        }
    }
    gTimer.perf_mark("sbuff", 0);

    TEX_flush_deleted_textures();
    gTimer.perf_mark("oglwork", 0);
    gTimer.perf_mark("finish", 1);
}
