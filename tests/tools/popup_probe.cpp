// Test program: opens the window as start-up does (800 x 600, interface sheet and colours, the
// alert's presenter, the UI ready), then shows the alert, the language chooser and the engine's
// two questions one after the other, and prints what each returned. The test clicks and types
// with xdotool and looks at the screen between the steps. Its window procedure raises an alert
// over whatever is showing on the keys "a" (back to the whole window afterwards), "b" (back to
// the question 997) and "n" (a note).
//
// Options (besides the program's own):
//   --scene=dialogs    note (four times), language chooser (twice), modified-file questions on the
//                      install folder, the two-button question (twice, then with an alert over
//                      it, twice), then a fatal alert
//   --scene=crash      one crash alert
//   --scene=nested     one note, to be interrupted by "n"
//   --install=DIR/ --directory=FILE   the install folder and its directory file (dialogs)
#include "probe_common.h"
#include "engine/checksum_task.h"
#include "engine/update_state.h"
#include "engine/utils.h"
#include "foundation/crash_handler.h"
#include "foundation/options.h"
#include "frame/alert.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_popup.h"
#include "frame/hl_shutdown.h"
#include "platform/plat_window.h"
#include "ui_window.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>

static std::string mouse_text()
{
    char buf[64];
    snprintf(buf, sizeof buf, "%.0f %.0f", gMouseX, gMouseY);
    return buf;
}

// The program's own window procedure, with three keys of the test's.
static void probe_window_proc(const PLAT_event& ev)
{
    hl_window_proc(ev);
    if (ev.kind != PLAT_EV_KEY_DOWN) return;
    if (ev.key == 'a' || ev.key == 'b') {
        say("over: mouse before " + mouse_text());
        MACIBM_alert(ev.key == 'a' ? 0 : 997, "An alert over the question.", "", "", "", t_note, "probe", 21);
        say("over: mouse after " + mouse_text() + " popup " + std::to_string(gPopup));
    } else if (ev.key == 'n') {
        MACIBM_alert(0, "A nested note.", "", "", "", t_note, "probe", 31);
    }
}

static std::string decisions()
{
    std::string out;
    for (const auto& g : gPlan.install_groups) {
        const install_entry& e = g.back();
        out += e.do_download ? "D" : e.do_delete ? "X" : "-";
    }
    return out;
}

static bool scan_install(const std::string& install, const std::string& directory)
{
    gInstallPath = install;
    gTargetOS = 2;
    if (install_read_directory_file(directory) != 3) return false;
    int next = 0;
    float progress = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < until) {
        if (install_scan_md5(next, progress) == 1) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

static void note(const std::string& name)
{
    say("alert " + name);
    MACIBM_alert(0, "The first line of a note.", "The second line.", "The third line.", "The fourth line.", t_note,
                 "probe", 11);
    say("returned " + name + " popup " + std::to_string(gPopup));
}

static void two_choices(const std::string& name)
{
    say("question " + name);
    const int r = install_ask_two_choices("Do you want to stop the update now?", "Yes", "Stop the update.", "No",
                                          "Go on with the update.");
    say("answer " + name + " " + std::to_string(r) + " popup " + std::to_string(gPopup));
}

static int dialogs()
{
    note("note-click");
    note("note-click-again");
    note("note-return");
    note("note-escape");

    gLanguage = 0;
    for (const char* name : {"language", "language-again"}) {
        say(std::string("alert ") + name);
        MACIBM_alert(-1, "-", "-", "-", "-", t_language, "hl_init", 940);
        say(std::string(name) + ": " + std::to_string(gLanguage) + " popup " + std::to_string(gPopup));
        hl_open_window(0);
    }

    if (!scan_install(CMDLINE_get_option("--install"), CMDLINE_get_option("--directory"))) {
        say("scan failed");
        return 1;
    }
    say("question decide");
    const int decided = install_decide_actions();
    say("decided " + std::to_string(decided) + " " + decisions());

    two_choices("first");
    two_choices("second");
    two_choices("over");
    two_choices("back");

    say("alert fatal");
    MACIBM_alert(0, "The first line of a fatal alert.", "The second line.", "", "The fourth line.", t_fatal,
                 "src\\frame/hl_init", 815);
    say("fatal returned");
    return 1;
}

int main(int argc, char** argv)
{
    hl_set_hooks(); // the lower layers reach the frame as start-up links them
    const std::string cmd = CMDLINE_text_from_argv(argc, argv);
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return 2;
    ALERT_set_presenter(ALERT_present);
    CRASH_install_handler();
    hl_open_log(std::string(cwd) + "/" + LOG_FILE_NAME);
    CMDLINE_parse(cmd.c_str());
    PLAT_register_window_class("Hangaron", probe_window_proc);

    if (!UI_open_window()) {
        say("window: failed");
        return 1;
    }
    // A few frames, so the window is up before the test looks.
    for (int i = 0; i < 3; ++i) hl_do_frame();
    say("ready");

    const std::string scene = CMDLINE_get_option("--scene");
    int code = 1;
    if (scene == "dialogs") {
        code = dialogs();
    } else if (scene == "crash") {
        say("alert crash");
        MACIBM_alert(0, "The first line of a crash alert.", "", "", "", t_crash, "probe", 41);
        say("crash returned");
    } else if (scene == "nested") {
        note("outer");
    }
    app_shutdown(1);
    return code;
}
