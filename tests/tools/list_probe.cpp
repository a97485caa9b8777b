// Test program: text lists, hover help and the pointer in the real window, run by the frame.
// The main window holds two lists (one edits its value directly, one through a copy as the
// preferences window does), a widget drawn over the first list's box after it, and widgets with
// help texts of 249, 250, 300 and 1,400 bytes and one near the window's corner. Key "p" opens
// popup 2 with a list in its middle and one at its bottom edge; "x" opens popup 994, "z" goes
// back to the whole window. The program prints what changes, frame by frame:
//   ready | popup N | list NAME open value=V | list NAME closed value=V | choice NAME V |
//   target T | after clicked | help FIRST-16-BYTES | cursor shown=S shows=N hides=N repeats=N |
//   tip shown (said inside the frame that first draws the help box, before it draws) |
//   tip gone (said after the first frame without it is presented)
#include "probe_common.h"
#include "foundation/frame_clock.h"
#include "foundation/options.h"
#include "frame/app_frame.h"
#include "frame/butn.h"
#include "frame/cursor.h"
#include "frame/hl_colors.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "frame/mbar.h"
#include "graphics/OGL_draw.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_view.h"
#include "graphics/hl_window.h"
#include "graphics/tman.h"
#include "platform/plat_cursor.h"
#include "platform/plat_window.h"
#include "ui_window.h"

#include <GL/gl.h>
#include <cstdio>
#include <string>
#include <unistd.h>

// Whether this frame draws the help box, by the cursor module's rule (a help text, and the pointer
// still for more than a second); its coming is said before the frame is drawn and presented.
static int gTip = 0;
static void say_tip()
{
    const int now = !gHoverHelp.empty() && gTimer.hl_timer_real_time - gMouseMoveTime > 1.0f;
    if (now && !gTip) say("tip shown");
    gTip = now;
}

static int gWantPopup = -1; // a popup the test's keys asked for, opened between frames

static void probe_window_proc(const PLAT_event& ev)
{
    hl_event_arrived(ev); // the program's own window procedure
    if (ev.kind != PLAT_EV_KEY_DOWN) return;
    if (ev.key == 'p') gWantPopup = 2;
    if (ev.key == 'x') gWantPopup = 994;
    if (ev.key == 'z') gWantPopup = 0;
}

// A check box with a help text; its value is of no interest.
static int check(float x, float y, const std::string& help)
{
    static int value = 0;
    return BTN_check_box(x, y, &value, "{" + help, 0);
}

static std::string text_of(size_t bytes)
{
    std::string s;
    while (s.size() < bytes) s += "help text ";
    s.resize(bytes);
    return s;
}

struct list_state {
    const char* name;
    int value;
    int was_open = 0;
    int was_value = -99;
};

static void watch(list_state& l, float x, float y, int chosen)
{
    const int open = gMenus.dropdown_owner == BTN_text_list_id(x, y);
    if (chosen) say(std::string("choice ") + l.name + " " + std::to_string(l.value));
    if (open != l.was_open || (open && l.value != l.was_value))
        say(std::string("list ") + l.name + (open ? " open" : " closed") + " value=" + std::to_string(l.value));
    l.was_open = open;
    l.was_value = l.value;
}

static list_state gA = {"A", 1}, gP = {"P", 0}, gB = {"B", 0};
static int gTarget = 0; // edited through a copy: 0 is no item of its list
static int gTargetCopyOpen = 0;

static void main_scene()
{
    watch(gA, 200, 400, BTN_text_list(200, 400, &gA.value, "Alpha-Beta-Gamma-Delta", "Aircraft|{Choose one", '-'));
    if (check(210, 403, "")) say("after clicked");

    int copy = gTarget - 1;
    const int chosen = BTN_text_list(200, 300, &copy, "Macintosh-Windows-Linux", "Target", '-');
    if (chosen) gTarget = copy + 1;
    const int open = gMenus.dropdown_owner == BTN_text_list_id(200, 300);
    if (chosen || open != gTargetCopyOpen) say("target " + std::to_string(gTarget) + (open ? " open" : ""));
    gTargetCopyOpen = open;

    static const size_t kBytes[4] = {249, 250, 300, 1400};
    for (int i = 0; i < 4; ++i) check(510, 456 - 50.0f * i, text_of(kBytes[i]));
    check(15, 11, "corner help");
}

static void popup_scene()
{
    OGL_draw_rect(0, 0.15f, 0, 0, gPopupW, gPopupH);
    watch(gP, 350, 250, BTN_text_list(350, 250, &gP.value, "One-Two-Three", "", '-'));
    watch(gB, 350, 20, BTN_text_list(350, 20, &gB.value, "L0-L1-L2-L3-L4-L5", "", '-'));
    check(600, 246, "popup help");
}

int main(int argc, char** argv)
{
    if (!probe_start_ui(argc, argv, probe_window_proc)) return 1;
    MENU_init(1);
    gAppFrameHook = say_tip;

    int frames = 0, last_popup = -2, last_shown = -1;
    while (!gQuit) {
        if (gWantPopup >= 0) {
            hl_open_window(gWantPopup);
            gWantPopup = -1;
        }
        glClearColor(0.2f, 0.3f, 0.4f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        if (gPopup == 2) popup_scene();
        else if (gPopup == 0 || gPopup == -1) main_scene();
        // The help the widgets asked for this frame, before the cursor module uses it up.
        static std::string last_help;
        const std::string help = gHoverHelp.substr(0, 16);
        if (help != last_help && !help.empty()) say("help " + help);
        last_help = help;
        const int tip = gTip;
        hl_do_frame();
        if (tip && !gTip) say("tip gone");

        if (gPopup != last_popup) say("popup " + std::to_string(gPopup));
        last_popup = gPopup;
        if (gCursorShown != last_shown) {
            const PLAT_cursor_counts c = PLAT_cursor_get_counts();
            say("cursor shown=" + std::to_string(gCursorShown) + " shows=" + std::to_string(c.shows) +
                " hides=" + std::to_string(c.hides) + " repeats=" + std::to_string(c.repeats));
        }
        last_shown = gCursorShown;
        if (++frames == 5) say("ready");
    }
    app_shutdown(1);
    say("shut down");
    return 0;
}
