// The updater's start, update-state defaults and main loop (see main.h).
#include "app/main.h"

#include "app/install_registry.h"
#include "app/server_search.h"
#include "app/wizard.h"
#include "engine/utils.h"
#include "engine/worklist.h"
#include "foundation/FILE_ops.h"
#include "foundation/alert.h"
#include "foundation/app_folder.h"
#include "foundation/log.h"
#include "foundation/options.h"
#include "foundation/paths.h"
#include "foundation/pref.h"
#include "foundation/quit.h"
#include "foundation/shared_paths.h"
#include "foundation/translation.h"
#include "frame/alert.h"
#include "frame/app_frame.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "frame/mbar.h"
#include "graphics/tman.h"
#include "platform/plat_fileio.h"
#include "platform/plat_paths.h"

std::string gInstallName;
std::string gCmdLinePath;

// Linux has no product disc to run from.
static std::string find_disc_root()
{
    return "";
}

int runs_from_disc(const std::string& disc_root, const std::string& program, const std::string& temp_folder)
{
    if (disc_root.empty() || program.compare(0, disc_root.size(), disc_root) != 0) return 0;
    // The copy made for the relaunch lives in the temporary folder; starting it again from there
    // would copy and relaunch for ever (a root of "/" matches every path).
    if (!temp_folder.empty() && program.compare(0, temp_folder.size(), temp_folder) == 0) return 0;
    return 1;
}

// An absolute path without its "." names and with each ".." taking the name before it (none above
// the root): "/home/me/sims/./copy/.." is "/home/me/sims". Empty names go too.
static std::string lexically_resolved(const std::string& path)
{
    std::vector<std::string> names;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string name = path.substr(start, end - start);
        if (name == "..") {
            if (!names.empty()) names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        start = end + 1;
    }
    std::string out;
    for (const std::string& n : names) out += "/" + n;
    return out.empty() ? "/" : out;
}

int target_os_from_option(bool present, const std::string& value)
{
    if (!present) return 2;
    if (value == "ALL") return 0;
    if (value == "APL") return 1;
    if (value == "LIN") return 3;
    return 2;
}

std::string command_line_folder(int argc, const char* const* argv, const std::string& working_folder)
{
    std::string folder = CMDLINE_folder_words(argc, argv);
    if (folder.empty()) return "";
    // A shell user names a folder from where they stand, not from where the program lies, and
    // means ".." as the file system (and ls) reads it, through links; a folder that is not there
    // has its names resolved by text, only to be named.
    if (!FILE_is_abs_path(folder)) {
        // Kept as given, only to be named: it is taken from nowhere.
        if (working_folder.empty()) return folder.back() == '/' ? folder : folder + '/';
        std::string real;
        if (PLAT_real_path(working_folder + folder, real) == 0)
            folder = real;
        else
            folder = lexically_resolved(working_folder + folder);
    }
    if (folder.back() != '/') folder += '/';
    return folder;
}

std::string command_line_copy(const std::string& folder)
{
    if (folder.empty() || find_installed_copy(folder) == folder) return folder;
    // Names are taken off the end by text on the way up, so ".." and links go first.
    std::string real;
    if (PLAT_real_path(folder, real) != 0) return "";
    if (real.back() != '/') real += '/';
    return find_installed_copy(real);
}

// Only a folder that holds a copy, or lies inside one, is updated without a question: a slip of
// the shell would otherwise get a whole release written where no copy is.
static void take_command_line_folder(const std::string& folder)
{
    if (folder.empty()) return;
    gLog << "The command line names the folder " << folder;
    // A relative folder is still relative when the folder the updater was started in could not
    // be read (removed, say); the wizard asks on Pick Destination.
    if (!FILE_is_abs_path(folder)) {
        gLog << "; the folder the updater was started in cannot be read, so none is taken.\n";
        gLog.flush();
        return;
    }
    gCmdLinePath = command_line_copy(folder);
    if (gCmdLinePath.empty())
        gLog << "; neither it nor a folder above it is an installed copy, so none is taken.\n";
    else
        gLog << "; the copy updated is " << gCmdLinePath << ".\n";
    gLog.flush();
    if (gCmdLinePath.empty()) alert_not_a_copy(folder);
}

std::string updater_lock_path()
{
    // Not in the temporary folder: the directory archive is unpacked there, and an entry of the
    // lock's name would replace the locked file.
    std::string prefs;
    FILE_get_special_dir(os_dir_prefs, prefs);
    return prefs + UPDATER_LOCK_NAME;
}

std::string os_folder_lines()
{
    static const struct {
        const char* label;
        int kind;
    } rows[] = {{"os_dir_this_app\t\t", os_dir_this_app},
                {"os_dir_desktop\t\t", os_dir_desktop},
                {"os_dir_default_apps\t", os_dir_default_apps},
                {"os_dir_temp\t\t\t", os_dir_temp},
                {"os_dir_prefs\t\t\t", os_dir_prefs}};
    std::string out;
    for (const auto& r : rows) {
        std::string dir;
        FILE_get_special_dir(r.kind, dir);
        out += std::string(r.label) + "=" + dir + "\n";
    }
    return out + "\n";
}

// The program makes no menus, so no menu item is ever chosen.
void app_menu_command(int32_t)
{
}

// The sheet of the language's button pictures; a language without one keeps English.
static void load_elements_sheet()
{
    static const char* const sheets[] = {"RESOURCE:elements_English.png", "RESOURCE:elements_French.png",
                                         "RESOURCE:elements_German.png",  "RESOURCE:elements_Russian.png",
                                         "RESOURCE:elements_Italian.png", "RESOURCE:elements_Spanish.png"};
    const int lang = (gLanguage >= 1 && gLanguage <= 5) ? gLanguage : 0;
    gTextures.load_bitmap(4, 1023, 0x90242, 2, sheets[lang]);
}

// The end of the run, however it came (Finish, Quit, Stop, the close box, a quit signal, a fatal
// alert): the log counts the last failure's repeats, and an install cut short leaves no archive.
static void app_quit()
{
    server_search_end_repeats();
    install_drop_downloads();
}

void app_set_hooks()
{
    gAppFrameHook = wizard_draw_frame;
    gAppQuitHook = app_quit;
    gMenuCommandHook = app_menu_command;
}

// The message box of a second start, in the user's language; the log is not open yet, so
// nothing is written.
static void tell_already_running()
{
    LANG_set_language(LANG_choose_language());
    ALERT_set_presenter(ALERT_present);
    MACIBM_alert(0, LANG_translate("The Corvane web updater is already running."),
                 LANG_translate("Finish or quit it before you start it again."), "", "", t_note, "main.cpp",
                 __LINE__);
}

int WinMain(const char* cmd_line, const std::string& folder)
{
    // "--version" and the like only print: they need no lock and no temporary folder, and leave
    // the log of the last run (or of the updater that is running) as it was.
    hl_set_hooks();
    CMDLINE_handle_standard_unlogged(cmd_line);

    std::string temp, program;
    FILE_get_special_dir(os_dir_temp, temp);
    FILE_get_special_dir(os_dir_app_file, program);
    if (runs_from_disc(find_disc_root(), program, temp)) {
        std::string name;
        FILE_split_path(name, program);
        (void)FILE_copy(program, temp + name);
        // Ends the process when the copy starts; a failed start goes on from the disc.
        (void)FILE_launch(temp + name, "", 0);
    }

    // One updater per data folder: a second one would update the same copy and replace the first
    // one's log. The lock goes with the process, however it ends. (The temporary folder has a lock
    // of its own: a second start works in a private one.)
    int lock_error = 0;
    const std::string lock = updater_lock_path();
    const int locked = PLAT_lock_for_process(lock, lock_error);
    if (locked == 0) {
        tell_already_running();
        return 0;
    }

    app_set_hooks();
    const char* argv[1] = {cmd_line};
    hl_startup(1, argv);
    load_elements_sheet();
    gLog << os_folder_lines();
    if (locked < 0)
        gLog << "WARNING: could not lock " << lock << " (" << FILE_error_text(lock_error)
             << "); a second updater would not be stopped.\n";
    gLog.flush();

    FILE_get_special_dir(os_dir_temp, gTempFolder);
    // A run that was killed left its streams' archives. Only in the folder this run alone holds:
    // another updater's streams may be writing in one it shares.
    std::string own, why;
    if (PLAT_temp_dir(own, why) == 0 && own == gTempFolder)
        if (const int n = install_remove_stream_archives())
            gLog << "Removed the stream archives that an earlier run left in " << gTempFolder << " (" << n << ").\n";
    gInstallName = NOT_SCANNED_NAME;
    gServerIndex = 0;
    gSearchPhase = 0;
    install_action = action_skip_unneeded;
    gCurrentFileFraction = 0;
    gStreamCount = 0;
    gDownloadSize = 0;
    gSpaceNeeded = 0;
    gTargetOS = target_os_from_option(CMDLINE_has_option("--os"), CMDLINE_get_option("--os"));
    PREF_read_write(11, 0);
    read_install_registry();
    take_command_line_folder(folder);

    // The flag is tested before every frame, so one set during start-up runs none.
    while (!gQuit) hl_do_frame();
    app_shutdown(1);
    return 0;
}
