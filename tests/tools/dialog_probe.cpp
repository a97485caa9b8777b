// Test program: opens the window as start-up does, then shows the folder dialog twice (titles
// "Choose a folder 1" and "Choose a folder 2"), starting in the folder given as its argument, and
// prints what each answered. Its window procedure prints the pointer moves and presses it gets,
// so the test sees them arrive while a dialog is up; after each dialog it prints whether a press
// was left over for the rest of the frame.
#include "probe_common.h"
#include "foundation/crash_handler.h"
#include "frame/alert.h"
#include "frame/file_dialogs.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "platform/plat_window.h"
#include "ui_window.h"

#include <cstdio>
#include <string>

static void probe_window_proc(const PLAT_event& ev)
{
    hl_window_proc(ev);
    char buf[96];
    if (ev.kind == PLAT_EV_MOUSE_MOVE) {
        snprintf(buf, sizeof buf, "event move %.0f %.0f", gMouseX, gMouseY);
        say(buf);
    } else if (ev.kind == PLAT_EV_BUTTON_DOWN) {
        say("event down");
    }
}

int main(int argc, char** argv)
{
    hl_set_hooks(); // the lower layers reach the frame as start-up links them
    if (argc < 2) return 2;
    ALERT_set_presenter(ALERT_present);
    CRASH_install_handler();
    if (probe_open_log().empty()) return 2;
    PLAT_register_window_class("Hangaron", probe_window_proc);
    if (!UI_open_window()) {
        say("window: failed");
        return 1;
    }
    // No frame runs: the application's frame is not this program's.
    PLAT_pump_events();
    say("ready");

    std::string path = argv[1];
    for (int round = 1; round <= 2; ++round) {
        say("asking " + std::to_string(round));
        const bool chosen =
            FILE_show_dialog(FILE_dialog_folder, "Choose a folder " + std::to_string(round), "Select", 1, path, path);
        say("result " + std::to_string(round) + " " + (chosen ? "1" : "0") + " [" + path + "] down " +
            std::to_string(gMouseDown));
    }
    app_shutdown(1);
    return 0;
}
