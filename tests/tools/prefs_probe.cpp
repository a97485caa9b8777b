// Test program: opens the window as start-up does, applies "--os" as the updater does, then runs
// the preferences window twice and prints the target platform after each:
//   ready | target T | closed T
#include "app/prefs_window.h"
#include "engine/update_state.h"
#include "foundation/crash_handler.h"
#include "foundation/options.h"
#include "frame/alert.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "platform/plat_window.h"
#include "ui_window.h"

#include <cstdio>
#include <string>
#include <unistd.h>

static void say(const std::string& line)
{
    fprintf(stdout, "%s\n", line.c_str());
    fflush(stdout);
}

int main(int argc, char** argv)
{
    const std::string cmd = CMDLINE_text_from_argv(argc, argv);
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return 2;
    ALERT_set_presenter(ALERT_present);
    CRASH_install_handler();
    hl_open_log(std::string(cwd) + "/" + LOG_FILE_NAME);
    CMDLINE_parse(cmd.c_str());
    PLAT_register_window_class("Hangaron", hl_window_proc);
    if (!UI_open_window()) {
        say("window: failed");
        return 1;
    }
    const std::string os = CMDLINE_get_option("--os");
    gTargetOS = os == "ALL" ? 0 : os == "APL" ? 1 : os == "LIN" ? 3 : 2;
    for (int i = 0; i < 3; ++i) hl_do_frame();
    say("ready");
    say("target " + std::to_string(gTargetOS));
    for (int round = 0; round < 2; ++round) {
        run_prefs_window();
        say("closed " + std::to_string(gTargetOS));
    }
    app_shutdown(1);
    return 0;
}
