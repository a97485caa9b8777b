// The updater's entry once the runtime is up: start-up, update state, main loop, shutdown.
#pragma once
#include "engine/update_state.h"
// gWantBetas and gStreamCount live with the installer preference file that keeps them.
#include "foundation/pref.h"

#include <cstdint>
#include <string>
#include <vector>

extern std::string gInstallName;
extern std::string gCmdLinePath;

// 1 when the program file lies under the product disc's root (the whole root, byte for byte)
// and not in the temporary folder, where the relaunched copy runs.
int runs_from_disc(const std::string& disc_root, const std::string& program, const std::string& temp_folder);
// gTargetOS for the "--os" option: ALL 0, APL 1, IBM 2, LIN 3 (exact case); 2 when absent or other.
int target_os_from_option(bool present, const std::string& value);
// The folder to update named by the arguments that are no option (CMDLINE_folder_words), ending
// in '/'. A relative one is taken from the working folder the updater was started in, its "."
// and ".." names resolved by the file system where it exists, else by text; "" when nothing but
// options is given. A relative folder that comes without a working folder stays relative (it is
// only named, never taken). An absolute folder is kept as given.
std::string command_line_folder(int argc, const char* const* argv, const std::string& working_folder);
// The copy the command-line folder names: the folder itself when it holds one, else the nearest
// folder above it (its ".", ".." and links resolved by the file system) that does; "" when
// there is none, or the folder is not there.
std::string command_line_copy(const std::string& folder);
// The five log lines of the OS folders, the last followed by an empty line.
std::string os_folder_lines();

// The file in the preferences folder whose lock a running updater holds.
#define UPDATER_LOCK_NAME "updater.lock"
std::string updater_lock_path();

// A chosen item of an ordinary menu; this program has none, so it does nothing. The frame's menus
// reach it through gMenuCommandHook, which app_set_hooks sets.
void app_menu_command(int32_t id);

// Points the frame's hooks at the application: its frame, its menu command and what it writes at
// quit. The frame reaches the application only through them.
void app_set_hooks();

// Serves the informational options without the log; then fills in the frame's hooks into the
// application, starts the frame, reads the update state (folder is the command-line folder, from
// command_line_folder) and runs the main loop. Returns the process exit code: 0 at once,
// touching neither log nor copy, while another updater of the same user runs.
int WinMain(const char* cmd_line, const std::string& folder = "");

