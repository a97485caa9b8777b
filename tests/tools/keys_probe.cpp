// Test program: the keyboard translation, the key bindings and the focus ring in the real window,
// run by the frame. The main window draws three focusable boxes (ids 101, 102, 103) that fill
// while focused and print every key they take; 101 and 103 take every key but Tab, 102 what a
// text field takes. Keys with Alt, which the program leaves to the desktop, drive the program:
// Alt+1 opens popup 2, Alt+2 popup 994, Alt+3 popup 999, Alt+0 goes back to the whole window,
// Alt+h hides or shows box 103. It prints, frame by frame:
//   ready | bindings N: KEY/MODS ... | key ID ch=C code=K flags=F | enter | escape | delete |
//   popup N | focus ID | held INDEX=0|1
#include "probe_common.h"
#include "frame/butn.h"
#include "frame/hl_event.h"
#include "frame/hl_keyboard.h"
#include "frame/mbar.h"
#include "graphics/OGL_draw.h"
#include "graphics/OGL_view.h"
#include "platform/plat_window.h"
#include "ui_window.h"

#include <GL/gl.h>
#include <string>

static int gWantPopup = -1; // a popup the test's keys asked for, opened between frames
static int gHideLast = 0;

static void probe_window_proc(const PLAT_event& ev)
{
    hl_event_arrived(ev); // the program's own window procedure
    if (ev.kind != PLAT_EV_SYS_KEY_DOWN) return;
    if (ev.key == '1') gWantPopup = 2;
    if (ev.key == '2') gWantPopup = 994;
    if (ev.key == '3') gWantPopup = 999;
    if (ev.key == '0') gWantPopup = 0;
    if (ev.key == 'h') gHideLast = !gHideLast;
}

// A focusable box with a key queue of its own, as a text field has.
struct test_box {
    int id;
    float x, y;
    int mask;
    int chars[64], keys[64], flags[64], ids[64];
    int count = 0;
};

static void draw_box(test_box& b)
{
    const int focused = BTN_register_focus(b.id, b.chars, b.keys, b.flags, b.ids, &b.count, 64, b.mask, 0);
    for (int i = 0; i < b.count; ++i)
        say("key " + std::to_string(b.ids[i]) + " ch=" + std::to_string(b.chars[i]) +
            " code=" + std::to_string(b.keys[i]) + " flags=" + std::to_string(b.flags[i]));
    b.count = 0;
    if (focused) {
        OGL_draw_rect(54, 1.0f, b.x, b.y, 120, 60);
    } else {
        OGL_draw_line(54, 1.0f, b.x, b.y, b.x + 120, b.y);
        OGL_draw_line(54, 1.0f, b.x, b.y + 60, b.x + 120, b.y + 60);
    }
}

static test_box gBoxes[3] = {{101, 100, 400, 0x7fe, {}, {}, {}, {}}, {102, 340, 400, 0x3f4, {}, {}, {}, {}},
                             {103, 580, 400, 0x7fe, {}, {}, {}, {}}};

int main(int argc, char** argv)
{
    if (!probe_start_ui(argc, argv, probe_window_proc)) return 1;
    MENU_init(1);
    CMD_init_builtin(0);
    std::string list = "bindings " + std::to_string(gKeyboard.bindings.size()) + ":";
    for (const KEY_binding& b : gKeyboard.bindings)
        list += " " + std::to_string(b.key) + "/" + std::to_string(b.modifiers);
    say(list);

    std::vector<int> held(gKeyboard.bindings.size(), 0);
    int frames = 0, last_popup = -2, last_focus = 0, hidden = 0;
    while (!gQuit) {
        if (gWantPopup >= 0) {
            hl_open_window(gWantPopup);
            gWantPopup = -1;
        }
        glClearColor(0.2f, 0.3f, 0.4f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        if (gPopup == 0 || gPopup == -1)
            for (int i = 0; i < (gHideLast ? 2 : 3); ++i) draw_box(gBoxes[i]);
        if (gHideLast != hidden) say((hidden = gHideLast) ? "hidden" : "shown");
        hl_do_frame();

        if (gKeyEnter) say("enter");
        if (gKeyEscape) say("escape");
        if (gKeyDelete) say("delete");
        if (gPopup != last_popup) say("popup " + std::to_string(gPopup));
        last_popup = gPopup;
        if (gFocusId != last_focus) say("focus " + std::to_string(gFocusId));
        last_focus = gFocusId;
        for (size_t i = 0; i < held.size(); ++i)
            if (gKeyboard.bindings[i].held != held[i]) {
                held[i] = gKeyboard.bindings[i].held;
                say("held " + std::to_string(i) + "=" + std::to_string(held[i]));
            }
        if (++frames == 5) say("ready");
    }
    app_shutdown(1);
    say("shut down");
    return 0;
}
