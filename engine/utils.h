// The install engine: the release's directory file read into the update plan that every later
// stage works on, the platform filter and the scenery-tile names, the per-file decisions with
// the modified-file question, the folders and totals of an update, and the engine's two alerts
// and its two-button question. The MD5 scan is in checksum_task.h, the download, extract and
// delete worklist in worklist.h.
#pragma once
#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <vector>

// One FILE record of the directory file. Sizes are kilobytes: the engine only sums them.
struct install_entry {
    int32_t os = 0;          // platform code 0 to 6, see install_group_wanted
    int32_t extra = 0;       // the number after the platform code; carried, not used
    float download_size = 0; // the file's archive on the server
    float disk_size = 0;     // the file once installed
    std::string sig_want;    // listed MD5 as 32 lower-case hex digits, or "GONE" (must not exist)
    std::string sig_have;    // MD5 the scan found, "NONE" for a missing file; empty until scanned
    std::string path;        // install-relative, '/' separators, never ending in '/'
    int32_t disk = 0;        // number of the last DISK record before it; carried, not used
    int32_t up_to_date = 0;  // the local file is the listed version (scan, finished download)
    int32_t is_tile = 0;     // a global-scenery tile
    int32_t tile_lon = 0;    // 0 to 35, meaningful only with is_tile
    int32_t tile_lat = 0;    // 0 to 17, meaningful only with is_tile
    int32_t do_download = 0; // decision: fetch and install this file
    int32_t do_delete = 0;   // decision: delete the local file
};

// The records of one path, in file order; the last one is the current version and the only
// one the later stages act on, the earlier ones name old copies the user has not changed.
typedef std::vector<install_entry> install_group;

// One download stream, one per update server (same index as gServers).
struct install_stream {
    int32_t group = 0;         // the group worked on; the number of groups once no work is left
    int32_t need_next = 1;     // take a new group at the next turn
    float progress = 0;        // kilobytes of the running download counted in this turn
    float bytes_done = 0;      // kilobytes of the archives this stream installed
    float resume_time = 0;     // frame-timer seconds before which the stream takes no turn
    std::string error_message; // set after the first failure, never cleared
    bool rest_owed = false;    // its server refused a file and has not rested since
};

// The update plan: one instance, rebuilt by every reading of the directory file.
struct install_plan {
    std::vector<install_group> install_groups; // in file order; indices are the units of work
    int32_t next_group = 0;                    // the next group no stream has taken yet
    std::vector<install_stream> streams;
    float start_time = 0;       // frame-timer seconds when the install started
    float inflight_bytes = 0;   // kilobytes of the downloads in flight
    float downloaded_bytes = 0; // download_size of the installed files
    float installed_bytes = 0;  // disk_size of the installed files
    std::deque<int32_t> requeue; // groups whose download failed, oldest first
};

extern install_plan gPlan;
extern float gDownloadSize; // kilobytes of archives an update fetches
extern float gSpaceNeeded;  // kilobytes the fetched files take once installed
// Files the update will fetch and local files it will delete, as install_count_totals found
// them. Deletions and empty files add nothing to the sizes, so "nothing to do" is both counts 0.
extern int gFilesToFetch;
extern int gFilesToDelete;

const int INSTALL_TILE_LONS = 36;
const int INSTALL_TILE_LATS = 18;
// Global-scenery tiles chosen for installation, index tile_lon * 18 + tile_lat. The updater
// offers no scenery selection, so nothing sets a flag.
extern int gChosenTiles[INSTALL_TILE_LONS * INSTALL_TILE_LATS];
// Folders that lost a file during the install, in string order.
extern std::set<std::string> gEmptiedFolders;

// Reads the unzipped directory file into gPlan and clears the totals and gEmptiedFolders.
// 3 when read; 2 when its header is refused (after the need-new-installer alert, which ends
// the program at the end of the frame). A missing or empty file is a fatal alert.
int install_read_directory_file(const std::string& path);

// The file-name part of a path: the text after its last '/' or '\', one trailing separator
// stepped over (so a folder's name keeps its separator).
void FILE_split_path(std::string& out, const std::string& path);

// Reads a tile's indices from a file name such as +47-123.dsf (latitude, then longitude of its
// south-west corner). Writes both indices always; 1 when they name a tile, else 0.
int install_tile_from_path(int& lon, int& lat, const std::string& path);

// 1 when that entry of that group is for this installation's platform (gTargetOS), else 0;
// also 0 for indices outside the plan.
int install_group_wanted(int group, int entry);
// The same test for a platform code and a target (gTargetOS values).
int install_os_wanted(int os, int target);

// '+' 1, '-' -1, '0' to '9' their value, anything else 0.
int char_digit_value(char c);
// Not empty, and only digits, '+' and '-'.
bool is_signed_digits(const std::string& s);

// The server list announces a newer updater: alert, open its page, quit after this frame.
void install_newer_updater_dialog(const std::string& address);
// A data file from the servers is in a format this updater cannot read: alert naming the file,
// open the product's download page, quit after this frame.
void install_need_new_installer_dialog(const std::string& path);

// The modal two-button question. The caller passes translated texts. 1 for the first button,
// 0 for the second, 3 when the question window was closed some other way.
int install_ask_two_choices(const std::string& top, const std::string& label1, const std::string& text1,
                            const std::string& label2, const std::string& text2);


// ---------------------------------------------------------------------------------------------
// Decisions, folders and totals

// Answers of the modified-file question.
enum install_answer : int {
    answer_act = 1,      // overwrite or delete this file
    answer_keep = 2,     // keep the old file
    answer_cancel = 3,   // cancel the whole installation (also: the window went some other way)
    answer_act_dir = 4,  // act on every changed file of this folder
    answer_keep_dir = 5  // keep every changed file of this folder
};

// Sets do_download and do_delete of every group's current entry from the scan's findings,
// asking about files the user changed. 1 when every group is decided, 0 when the user cancelled
// (groups not reached keep their earlier decisions). A global-scenery tile that is not in
// gChosenTiles is neither fetched nor deleted.
int install_decide_actions();

// The modal question about a changed file: the install form, or the delete form when the file
// is no longer used. Runs frames until a button is clicked.
install_answer install_ask_modified_file(const std::string& path, int delete_form);


// Makes the install folder level by level, every folder a download goes into and the standard
// user-data folders. 0 when done, else the error code of the first install or download folder
// that could not be made (after install_error_alert; nothing after it is tried). A standard
// folder that cannot be made only raises the alert.
int install_make_folders();

// The note that a folder could not be made.
void install_error_alert(const std::string& folder, int code);

// Sets gDownloadSize and gSpaceNeeded from every wanted current entry that is listed, not up to
// date and not an unchosen tile, and the file counts gFilesToFetch and gFilesToDelete.
void install_count_totals();
