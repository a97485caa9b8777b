// The download, extract and delete worklist of the install engine: one download stream per update
// server takes the plan's groups one after another, fetches each wanted file's zip archive into
// the temporary folder, extracts it over the local file, deletes unwanted files and rests a
// failing server while another stream retries its file; then removes the folders it emptied.
// Kept beside utils.cpp (which holds the plan, the decisions and the folders) to keep that unit
// readable; the plan and the stream records are declared in utils.h.
#pragma once
#include "engine/utils.h"
#include "foundation/FILE_ops.h"

#include <string>

// What the worklist does with the current file (for the Install page).
enum install_action_kind : int {
    action_delete = 0,
    action_download = 1,
    action_skip_installed = 2,
    action_skip_unneeded = 3
};

extern int install_action;              // an install_action_kind
extern std::string gCurrentFileName;    // archive name of the current file, ending in ".zip"
extern float gCurrentFileFraction;      // share of its download received; -0.01 before the length is known
// The run failed: a file that failed ends it; a retired file that could not be deleted, or was
// refused for safety, only marks it. Cleared when a run begins and by Back.
extern int gInstallFailed;

inline constexpr int INSTALL_STREAM_SLOT = 3;            // stream s downloads through slot 3 + s
inline constexpr float INSTALL_RETRY_SECONDS = 30.0f;    // a failing server rests this long
inline constexpr float INSTALL_STALL_SECONDS = 5.0f;     // a download silent this long transfers nothing

// One turn of every stream that is ready (one file step each). 1 when the run has ended: every
// stream is past the last group, or a file failed and ended it (gInstallFailed); 0: call again, also after a
// quit request, whose program's end ends the run (install_drop_downloads). Main thread only; never waits for the network nor for an
// extraction: a downloaded archive is extracted on a worker thread while its stream waits. The
// results are set, logged and noted in the order the extractions began, so the run ends as it
// would with each one done in its turn, whatever order the workers finish in. A file whose
// archive is bad (other bytes than listed, an archive that cannot be opened or extracted, or one
// over the download limit: a proxy's cache may have kept an older release's, or one cut short) is
// asked for once more, at once, before it counts as failed; once any request for an archive
// failed, every later one goes past any cache. Each file has one state in the run (not yet taken,
// re-queued, in a stream's hands, extracting, done, not installed); when the run ends, finished,
// failed or stopped, every file it took up and did not install is reported once under its own
// name, and the report is on disk as it is written: the failure that ends the run with its note,
// every other file with a warning that says why (a reply that came whole by what it brought). A
// file still extracting then is reported by what its extraction returns. A retired file that
// cannot be deleted is a warning with the error, one refused for safety its refusal; the install
// goes on and ends as failed. Files never taken up are not named. A stream resting after a
// failure, with nothing left to take, does not keep the install from ending. A file whose request
// failed goes to the next free stream whose server has not failed it; its own server's stream
// takes it again only once every file left has failed on some server, after each rest, until the
// user stops. A reply that says the server lacks the file (install_status_is_about_file) fails
// only that file there, and the stream takes its next file at once, unless only files its server
// failed are left: then it rests too. Every other failure rests the server: no connection or
// reply, any other status (429, 408, 407, 403, 5xx, ...), a body cut short.
int install_run_worklist();

// True for the reply statuses that speak of one file, not of the server or the client as a whole:
// 404 Not Found and 410 Gone. "Slow down" (429), "timed out" (408), "credentials, please" (401,
// 407) and "forbidden" (403) hold for every request, as a server's error does.
bool install_status_is_about_file(int32_t status);

// True while every file the run still has to do has failed on some server: the install only
// retries them now, and when it ends nobody can tell.
bool install_only_failed_files_left();

// Extracts, on the calling thread, the local file out of its downloaded archive (7z when the name ends in ".7z", else
// zip) and deletes the archive whatever happened. The file replaces the old one only when its MD5
// is sig_want; other entries of the archive are never written, and the file stops as soon as it
// passes max_size bytes (-1: no limit). A failure sets gInstallFailed and raises a note; a wrong
// file (EBADMSG: other bytes, or too many) only logs its warning. 0 or the error code. Nothing
// outside the install folder is written.
int install_extract_file(const std::string& archive, const std::string& local, const std::string& sig_want,
                         int64_t max_size = -1);

// 0 when the extracted file (the temporary not yet in place) has the MD5 sig_want; EBADMSG, with
// why saying which signature the file has and which is listed, when not; else the read's error.
FILE_result install_check_md5(const std::string& extracted, const std::string& sig_want, std::string& why);

// Deletes the temporaries that a killed run left in the folder (ending in '/', inside the install
// folder): those of the file called name, or with name empty of every file. Only names of the
// exact temporary form go; each removal is logged.
void install_remove_stale_temporaries(const std::string& folder, const std::string& name);

// The most bytes a file's archive may bring: its listed download size (kilobytes), plus 1 MiB or
// a tenth of it, whichever is larger.
int64_t install_download_limit(const install_entry& e);

// The most bytes a file may have once extracted. Its listed disk size is kilobytes, rounded up,
// down or to the nearest by whatever made the directory file, so the file holds at most one
// kilobyte more than that: a file listed with 0 at most 1 KiB.
int64_t install_entry_size_limit(const install_entry& e);

// The temporary archive of stream s: gTempFolder + s + ".zip".
std::string install_stream_archive(int s);

// Clears one of the program's working names in the temporary folder (the server list, the
// directory archive and file, a stream archive) before it is written: whatever stands there goes,
// a folder or a link too, never what a link points at. 0, or the system's error.
FILE_result install_clear_temp_name(const std::string& name);
// The same before the slot's next request writes the name: only while no request of the slot is
// under way, so that a running transfer's file is never touched. True when the slot was free: its
// next net_check starts a new request.
bool install_clear_for_request(int32_t slot, const std::string& name);

// Deletes every stream archive in the temporary folder: each name of the exact form
// <digits>.zip, whatever stands there. Answers how many went.
int install_remove_stream_archives();

// The end of an install at the program's end (Stop, a quit request, the close box, a fatal
// alert): the run ends as it would when finished (its reports and its clean-up), except that the
// extraction a worker is in is waited for and a job still waiting for a worker never begins.
// Every transfer is cancelled and the stream archives are deleted, with or without a run.
void install_drop_downloads();

// Prepares a new run: a run still going ends as at the program's end, one that ended finishes its
// clean-up; then the transfers are cancelled, the stream archives deleted and the plan's worklist
// members reset (next group, re-queue, streams, byte sums; start time = the clock now).
void install_reset_worklist();

// The same for Back, which begins the run again: a run that has not ended is dropped quietly
// (nothing is reported, an extraction still out is waited for and kept), and the failure flag is
// cleared, so that the next run ends as its own files decide. Of a run that had not ended only
// the folders it emptied go from the install folder.
void install_reset_for_back();
