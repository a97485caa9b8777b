// The updater's start, update-state defaults and main loop (see main.h).
#include "app/main.h"

#include "foundation/options.h"
#include "foundation/paths.h"
#include "foundation/pref.h"
#include "foundation/shared_paths.h"
#include "frame/app_frame.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"

std::string gInstallPath;
std::vector<ServerRecord> gServers;
std::string gTempFolder;
std::string gInstallName;
std::string gCmdLinePath;
int gTargetOS = 2;
int gWantBetas = 0;
int gLogActions = 0;
int gStreamCount = 0;

static void log_os_folders()
{
    static const struct {
        const char* label;
        int kind;
    } rows[] = {{"os_dir_this_app\t\t", os_dir_this_app},
                {"os_dir_desktop\t\t", os_dir_desktop},
                {"os_dir_default_apps\t", os_dir_default_apps},
                {"os_dir_temp\t\t\t", os_dir_temp},
                {"os_dir_prefs\t\t\t", os_dir_prefs}};
    for (const auto& r : rows) {
        std::string dir;
        FILE_get_special_dir(r.kind, dir);
        gLog << r.label << "=" << dir << "\n";
    }
    gLog << "\n";
    gLog.flush();
}

// The program makes no menus, so no menu item is ever chosen.
void app_menu_command(int32_t)
{
}

int WinMain(const char* cmd_line)
{
    const char* argv[1] = {cmd_line};
    hl_startup(1, argv);
    log_os_folders();

    FILE_get_special_dir(os_dir_temp, gTempFolder);
    gInstallName = NOT_SCANNED_NAME;
    gStreamCount = 0;
    gTargetOS = 2;
    if (CMDLINE_has_option("--os")) {
        std::string os = CMDLINE_get_option("--os");
        if (os == "ALL") gTargetOS = 0;
        if (os == "APL") gTargetOS = 1;
        if (os == "IBM") gTargetOS = 2;
        if (os == "LIN") gTargetOS = 3;
    }
    PREF_read_write(11, 0);
    if (cmd_line && cmd_line[0]) gCmdLinePath = cmd_line;

    // The flag is tested before every frame, so one set during start-up runs none.
    while (!gQuit) hl_do_frame();
    app_shutdown(1);
    return 0;
}
