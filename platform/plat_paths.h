// Folders the operating system gives the program: its own file, the working folder, the user's
// home, desktop, private temporary folder and local application data.
#pragma once
#include <string>

// Full path of the running program file, "" when it cannot be read.
std::string PLAT_exe_path();

// The working folder the process stands in, with a trailing '/'; "" when it cannot be read (it
// was removed, or lies outside the process's root).
std::string PLAT_working_dir();

// The user's home folder without a trailing '/': $HOME, else the passwd entry, else "".
std::string PLAT_home_dir();

// The desktop folder with a trailing '/': XDG_DESKTOP_DIR from user-dirs.dirs, else $HOME/Desktop/;
// "" when there is no home folder.
std::string PLAT_desktop_dir();

// The private per-user temporary folder ${TMPDIR:-/tmp}/corvane-updater-<uid>/, made 0700 on first use.
// Every call of one run answers the same: 0 and the folder in out, or -1 and a reason in why
// (the folder is a link, belongs to someone else, is open to others, or cannot be made). Without
// TMPDIR, a /tmp/corvane-updater-<uid> that another user owns (made first, or a link) is still
// refused, and a private /tmp/corvane-updater-<uid>.XXXXXX/ of ours is used instead (the one an
// earlier run made, else a new one, 0700): 0, with a note in why naming both for the log.
// A 0 answer means the run alone holds that folder (a lock on the folder itself, for the rest of
// the process). While another process holds it (an updater with another data folder), or it
// cannot be locked, a private folder/private-XXXXXX/ of ours is made inside it and used instead,
// with a note in why naming it, and removed when the process ends; -1 when none can be made. The
// run that holds the folder removes the private folders in it that killed runs left.
int PLAT_temp_dir(std::string& out, std::string& why);
// Removes this run's private temporary folder, if it made one; for ends that skip exit handlers.
void PLAT_remove_private_temp_dir();
// PLAT_temp_dir's decision under parent, made afresh; fallback: a per-user folder that another
// user owns gives way to a private one beside it.
int PLAT_temp_dir_in(const std::string& parent, bool fallback, std::string& out, std::string& why);

// The local application-data folder ${XDG_DATA_HOME:-$HOME/.local/share}/ with a trailing '/',
// created when missing; "" when there is no home folder.
std::string PLAT_data_dir();
