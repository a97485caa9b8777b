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
#include "probe_common.h"

#include <string>

int main(int argc, char** argv)
{
    ALERT_set_presenter(ALERT_present);
    CRASH_install_handler();
    if (!probe_start_ui(argc, argv, hl_event_arrived)) return 1;
    const std::string os = opt_str("--os");
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
