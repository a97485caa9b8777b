// The download, extract and delete worklist (see worklist.h).
#include "engine/worklist.h"

#include "engine/http.h"
#include "engine/update_state.h"
#include "foundation/FILE_compress.h"
#include "foundation/FILE_ops.h"
#include "foundation/alert.h"
#include "foundation/frame_clock.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/quit.h"
#include "foundation/translation.h"
#include "foundation/work_queue.h"
#include "platform/plat_fileio.h"
#include "platform/plat_files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <sstream>

int install_action = action_skip_unneeded;
std::string gCurrentFileName;
float gCurrentFileFraction = 0;
int gInstallFailed = 0;

// Folders this run wrote or deleted a file in; the clean-up at the end looks there for the
// temporaries of killed runs.
static std::set<std::string> sTouchedFolders;

// ---------------------------------------------------------------------------------------------
// Paths: whatever the plan, the server or the disk holds, the worklist writes, clears and
// deletes only below the install folder.

// A folder path from the root, ending in '/'. A relative one would be taken from the program's
// own folder.
static bool is_rooted_folder(const std::string& folder)
{
    return folder.size() > 1 && folder[0] == '/' && folder.back() == '/';
}

// The path up to and including its last separator; the whole path when it is 3 bytes or shorter.
static std::string folder_of(const std::string& path)
{
    if (path.size() <= 3) return path;
    std::string name;
    FILE_split_path(name, path);
    return path.substr(0, path.size() - name.size());
}

// The install-relative part of a path built from gInstallPath, when that part is a plain
// relative path (a folder, ending in '/', with folder_ok); else false.
static bool relative_part(const std::string& path, bool folder_ok, std::string& rel)
{
    if (!is_rooted_folder(gInstallPath) || path.size() <= gInstallPath.size() ||
        path.compare(0, gInstallPath.size(), gInstallPath) != 0)
        return false;
    rel = path.substr(gInstallPath.size());
    return FILE_is_safe_relative_path(rel, folder_ok);
}

// True unless the path exists and, with the links on the disk followed, leads outside the
// install folder (root_ok: or to the install folder itself). A path that does not exist holds
// nothing, and whatever is done to it fails on its own.
static bool resolves_inside(const std::string& path, bool root_ok)
{
    std::string real, root;
    if (PLAT_real_path(path, real) != 0) return true;
    if (PLAT_real_path(gInstallPath, root) != 0) return false;
    if (root.size() > 1 && root.back() == '/') root.pop_back();
    if (real == root) return root_ok;
    return real.size() > root.size() && real.compare(0, root.size(), root) == 0 && real[root.size()] == '/';
}

// Control characters of a hostile name would break the log's lines.
static std::string printable(const std::string& text)
{
    std::string s = text;
    for (char& c : s)
        if ((unsigned char)c < 0x20 || c == 0x7f) c = '?';
    return s;
}

static const char* const kNotPlain = "it is not a plain path inside the install folder";

// why ends in the words before the install folder's name.
static void log_refused_path(const std::string& local, const char* why)
{
    LOG_out() << "WARNING: the install engine refuses the path \"" << printable(local) << "\": " << why << " "
              << gInstallPath << "\n";
}

// A local file the worklist may replace or delete: below the install folder by name, and its
// folder not a link that leads out of it.
static bool local_file_allowed(const std::string& local)
{
    std::string rel;
    if (!relative_part(local, false, rel)) {
        log_refused_path(local, kNotPlain);
        return false;
    }
    if (!resolves_inside(folder_of(local), true)) {
        log_refused_path(local, "its folder leads out of the install folder");
        return false;
    }
    return true;
}

static std::string stream_archive_name(size_t s)
{
    return std::to_string(s) + ".zip";
}

std::string install_stream_archive(int s)
{
    return gTempFolder + stream_archive_name((size_t)s);
}

int64_t install_entry_size_limit(const install_entry& e)
{
    // Above 16 GiB the float holding the size is rounded too, by up to one part in 2^24.
    const double listed = std::min(std::max(0.0, (double)e.disk_size), (double)(1ll << 40));
    return (int64_t)((listed + 1.0 + listed / (1 << 23)) * 1024.0);
}

int64_t install_download_limit(const install_entry& e)
{
    // Sizes are kilobytes; a size beyond any real file still gives a limit (2^50 bytes).
    const double listed = std::min(std::max(0.0, (double)e.download_size) * 1024.0, (double)(1ll << 50));
    const double slack = std::max(1024.0 * 1024.0, listed / 10.0);
    return (int64_t)(listed + slack);
}

FILE_result install_clear_temp_name(const std::string& name)
{
    if (!is_rooted_folder(gTempFolder)) return ENOENT;
    return PLAT_clear_name(gTempFolder, name);
}

bool install_clear_for_request(int32_t slot, const std::string& name)
{
    if (gNet.slot_busy(slot)) return false;
    install_clear_temp_name(name);
    return true;
}

// A name of the exact form the streams' archives have: decimal digits, then ".zip".
static bool is_stream_archive_name(const std::string& name)
{
    const size_t digits = name.size() > 4 ? name.size() - 4 : 0;
    if (digits == 0 || name.compare(digits, 4, ".zip") != 0) return false;
    for (size_t i = 0; i < digits; ++i)
        if (name[i] < '0' || name[i] > '9') return false;
    return true;
}

int install_remove_stream_archives()
{
    std::vector<PLAT_dir_entry> entries;
    if (!is_rooted_folder(gTempFolder) || PLAT_list_dir(gTempFolder, entries) != 0) return 0;
    int removed = 0;
    for (const PLAT_dir_entry& e : entries)
        if (is_stream_archive_name(e.name) && install_clear_temp_name(e.name) == 0) ++removed;
    return removed;
}

// ---------------------------------------------------------------------------------------------
// Stale temporaries and the check of what was extracted

void install_remove_stale_temporaries(const std::string& folder, const std::string& name)
{
    // Only in the install folder and its folders, and never through a link that leads out.
    std::string rel;
    if (folder != gInstallPath && !relative_part(folder, true, rel)) return;
    if (folder.empty() || folder.back() != '/' || !resolves_inside(folder, true)) return;
    std::vector<std::string> removed;
    PLAT_remove_replace_temps(folder, name, removed);
    for (const std::string& n : removed)
        LOG_out() << "Removed the temporary file " << printable(folder + n) << " that an earlier run left\n";
}

FILE_result install_check_md5(const std::string& extracted, const std::string& sig_want, std::string& why)
{
    std::string have;
    if (FILE_result err = FILE_md5_of_file(extracted, have)) return err;
    std::string want = sig_want;
    for (char& c : want)
        if (c >= 'A' && c <= 'F') c = (char)(c - 'A' + 'a');
    if (have == want) return 0;
    why = "holds a file whose MD5 is " + have + ", the directory file lists " + printable(sig_want);
    return EBADMSG;
}

// The archive itself is at fault (not the disk it is written to): it cannot be opened or read,
// its entries are refused, or it holds other bytes than listed. A cache may have kept it.
static bool archive_fault(int r)
{
    return r < 0 || r == err_unzip_open || r == err_unzip_read || r == EBADMSG;
}

// ---------------------------------------------------------------------------------------------
// One file's work

// Clears the read-only flag only of a file that lies in the install folder itself, not of what a
// link there points at.
static void clear_read_only_inside(const std::string& local)
{
    if (resolves_inside(local, false)) FILE_clear_read_only(local);
}

// The part of an extraction that may run on any thread: it writes, checks and puts in place the
// new file, deletes the archive, and writes its log lines to LOG_out. bad_archive is set when the
// archive was at fault, why then says what was wrong with it; wrong_file when it held other bytes
// than the listed file, or more than max_size of them.
static int extract_in_place(const std::string& archive, const std::string& local, const std::string& sig_want,
                            int64_t max_size, bool& bad_archive, bool& wrong_file, std::string& why)
{
    int r = 0;
    if (!local_file_allowed(local)) {
        r = EPERM;
    } else {
        clear_read_only_inside(local);
        const std::string folder = folder_of(local);
        const std::string name = local.substr(folder.size());
        install_remove_stale_temporaries(folder, name);
        // The new file waits beside the old one until its signature is known to be the listed one.
        PLAT_replace_file out;
        if (archive.size() >= 3 && archive.compare(archive.size() - 3, 3, ".7z") == 0)
            r = FILE_un7z_file(archive, name, local, out, max_size);
        else
            r = FILE_unzip_file(archive, name, local, out, max_size);
        if (r == EBADMSG)
            why = "holds a file larger than the directory file lists (more than " + std::to_string(max_size) +
                  " bytes)";
        else if (r == 0)
            r = install_check_md5(out.temp, sig_want, why);
        else if (archive_fault(r))
            why = "cannot be extracted (Error: " + FILE_error_text(r) + ")";
        if (r == 0)
            r = PLAT_replace_commit(out);
        else
            PLAT_replace_abort(out);
    }
    bad_archive = archive_fault(r);
    wrong_file = r == EBADMSG;
    // The stream downloads its next file under the same name once this returns.
    FILE_delete_file(archive);
    return r;
}

// A file that is not installed: the old file stays.
static void warn_not_installed(const std::string& local, const std::string& why)
{
    gLog << "WARNING: the file " << printable(local) << " was not installed: " << why << "; the old file stays\n";
}

static void extraction_note(const std::string& archive, const std::string& local, int r)
{
    MACIBM_alert(0, LANG_translate("The installer cannot extract a file."),
                 LANG_translate("Error: ") + FILE_error_text(r), LANG_translate("Compressed File: ") + archive,
                 LANG_translate("Destination: ") + local, t_note, "utils", 433);
}

static void log_expanding(const std::string& local, int r)
{
    if (gLogActions) gLog << "EXPANDING file " << local << ", with result=" << r << ".\n";
}

int install_extract_file(const std::string& archive, const std::string& local, const std::string& sig_want,
                         int64_t max_size)
{
    bool bad_archive = false, wrong_file = false;
    std::string why;
    const int r = extract_in_place(archive, local, sig_want, max_size, bad_archive, wrong_file, why);
    if (r != 0) gInstallFailed = 1;
    // A wrong file says what was wrong in its own line; the note is for what could not be extracted.
    if (r != 0 && wrong_file) warn_not_installed(local, "the archive " + why);
    if (r != 0 && !wrong_file) extraction_note(archive, local, r);
    log_expanding(local, r);
    return r;
}

// ---------------------------------------------------------------------------------------------
// Where each file of the install stands in this run.
//
// Every group has one record, and only file_set changes its state: whether the run goes on and
// what its end reports are read from these states alone. Installed and not installed are final.
// A bad archive (other bytes than listed, one that cannot be opened or extracted, or one over the
// download limit) is no failure the first time: a proxy's cache may have answered with the archive
// of an older release at the same address, or kept one cut short. The file goes back on the
// queue at once, and its archive is asked for again with the headers that make every cache on the
// way go to the server; only a second bad archive fails the file. A transfer that failed is
// retried as always, after its server's rest, also past any cache: what a cache answered once, it
// answers again.
//
// When the run ends (finished, failed or stopped) every file it took up and did not install is
// reported once, under its own name: the failure that ends the run with its own report (the
// note; a wrong file's is its warning), every other one with a warning that says why. A file
// whose extraction is still out then is reported by what the extraction returns. Back, after
// which the run begins again, is no end: it reports nothing.

enum install_file_state : uint8_t {
    file_untaken = 0,   // no stream has taken it yet
    file_requeued,      // a request failed, or its archive was bad once: it waits in the re-queue
    file_in_stream,     // in a stream's hands: its delete or skip this turn, or its download under way
    file_extracting,    // its archive is on a worker
    file_done,          // installed, deleted or left as it was
    file_not_installed, // reported so (or, after Back, dropped quietly)
    file_state_count
};

struct install_file {
    install_file_state state = file_untaken;
    bool past_cache = false;  // a request failed or an archive was bad: every later one goes past any cache
    bool bad_archive = false; // its archive was bad once: one more request, a second bad one fails it
    bool asked_again = false; // that request is made
    std::string local;        // the local file, once a stream took it
    std::string bad;          // what was wrong with its bad archive
    std::string why;          // why it waits in the re-queue, after "was not installed: "
    std::vector<bool> failed_by; // by stream: that server's request for it failed (empty: none did)
};

class install_extract_task;

struct install_run {
    std::vector<install_file> files; // by group
    int32_t count[file_state_count] = {};
    int32_t unfailed = 0;  // files not yet installed or reported whose request no server failed
    int64_t call = 0;      // calls of install_run_worklist in this run
    int64_t end_call = -1; // the call that the run's failure belongs to (-1 while nothing failed)
    bool failure_reported = false; // the failure that ends the run has had its report
    bool ending = false;   // end_run is under way (an alert inside it must not begin it again)
    bool ended = false;    // the end's reports are made: what comes back later is reported at once
    bool cleaned = false;  // the end's clean-up is done
    bool dropped = false;  // Back: what comes back is kept quietly, for the run that begins again
    std::vector<install_extract_task*> extracting; // per stream: its extraction on a worker, or null
    std::deque<install_extract_task*> in_turn;     // every job not yet reported, in the order they began
};
static install_run sRun;

static UTL_work_queue* sExtractPool = nullptr;

static bool is_final(install_file_state st)
{
    return st == file_done || st == file_not_installed;
}

// A run's records, made at its first call. A call after a run's end begins another.
static void begin_run(int32_t ngroups)
{
    if (sRun.cleaned) {
        sRun = install_run();
        sTouchedFolders.clear();
    }
    if (sRun.files.size() == (size_t)ngroups) return;
    sRun.files.assign((size_t)ngroups, install_file());
    for (int32_t& c : sRun.count) c = 0;
    sRun.count[file_untaken] = ngroups;
    sRun.unfailed = ngroups;
}

// The plan's current entry of the group, or null when the plan no longer lists it.
static install_entry* listed_entry(int32_t group)
{
    auto& groups = gPlan.install_groups;
    if (group < 0 || (size_t)group >= groups.size() || groups[(size_t)group].empty()) return nullptr;
    return &groups[(size_t)group].back();
}

// The one place where a file changes its state. Its entry actions: a file re-queued goes to the
// end of the queue, and every later request for it goes past any cache; a file taken again after
// a bad archive has its one more request, which the log tells.
static void file_set(int32_t group, install_file_state state, const std::string& why = "")
{
    if (group < 0 || (size_t)group >= sRun.files.size()) return;
    install_file& f = sRun.files[(size_t)group];
    if (f.state == state || is_final(f.state)) return;
    if (f.state == file_requeued) {
        auto& q = gPlan.requeue;
        q.erase(std::remove(q.begin(), q.end(), group), q.end());
    }
    --sRun.count[f.state];
    ++sRun.count[state];
    f.state = state;
    if (is_final(state) && f.failed_by.empty()) --sRun.unfailed;
    if (state == file_requeued) {
        f.why = why;
        f.past_cache = true;
        gPlan.requeue.push_back(group);
    } else if (state == file_in_stream && f.bad_archive && !f.asked_again) {
        f.asked_again = true;
        gLog << "The archive of the file " << printable(f.local) << " " << f.bad
             << "; it is asked for again past any cache.\n";
    }
}

// Files still in the run's hands: taken and not done, or not yet taken.
static bool files_left()
{
    return sRun.count[file_untaken] + sRun.count[file_requeued] + sRun.count[file_in_stream] +
               sRun.count[file_extracting] > 0;
}

// Stream s's server failed a request for the group's file.
static bool failed_on(int32_t group, size_t s)
{
    if (group < 0 || (size_t)group >= sRun.files.size()) return false;
    const std::vector<bool>& by = sRun.files[(size_t)group].failed_by;
    return s < by.size() && by[s];
}

static void note_failed_on(int32_t group, size_t s)
{
    if (group < 0 || (size_t)group >= sRun.files.size()) return;
    install_file& f = sRun.files[(size_t)group];
    if (f.failed_by.empty() && !is_final(f.state)) --sRun.unfailed;
    if (f.failed_by.size() <= s) f.failed_by.resize(s + 1, false);
    f.failed_by[s] = true;
}

bool install_only_failed_files_left()
{
    return sRun.unfailed == 0 && files_left();
}

// Known on the worker's return, or set by a turn: no stream takes a turn after the call.
static void run_failed_in(int64_t call)
{
    if (sRun.end_call < 0 || call < sRun.end_call) sRun.end_call = call;
}

// A file that is not installed, reported once under its own name. A failure that is the first
// of the run gets its own report (own_report; without one, the warning), and makes the install
// end as failed; every other file gets the warning. why follows "was not installed: ". The report
// is on disk before anything else happens: a crash must not lose it.
static void report_not_installed(int32_t group, const std::string& why, bool failure,
                               const std::function<void()>& own_report = nullptr)
{
    if (group < 0 || (size_t)group >= sRun.files.size() || is_final(sRun.files[(size_t)group].state)) return;
    file_set(group, file_not_installed);
    const bool first = failure && !sRun.failure_reported;
    if (failure) {
        gInstallFailed = 1;
        sRun.failure_reported = true;
        run_failed_in(sRun.call);
    }
    if (first && own_report)
        own_report();
    else
        warn_not_installed(sRun.files[(size_t)group].local, why);
    gLog.flush();
}

// A bad archive of the group is asked for once more, unless it was already, or the plan no longer
// lists the file.
static bool may_ask_again(int32_t group)
{
    return group >= 0 && (size_t)group < sRun.files.size() && !sRun.files[(size_t)group].bad_archive &&
           listed_entry(group);
}

static void ask_again(int32_t group, const std::string& bad)
{
    install_file& f = sRun.files[(size_t)group];
    f.bad_archive = true;
    f.bad = bad;
    file_set(group, file_requeued, "the archive " + bad);
}

static const char* const kNotExtracted = "the install ended before its archive was extracted";

static std::string over_limit(int64_t limit)
{
    return "is larger than the directory file allows (more than " + std::to_string(limit) + " bytes)";
}

// The stream that has the group in its hands, or -1.
static int stream_of(int32_t group)
{
    for (size_t s = 0; s < gPlan.streams.size() && s < gServers.size(); ++s)
        if (gPlan.streams[s].group == group) return (int)s;
    return -1;
}

// Stream s's transfer of e's archive, one step: 0 pending, 1 done, 2 failed (net_check).
static uint8_t poll_download(size_t s, const install_entry& e, int32_t group)
{
    std::string host = gServers[s].host, remote = gServers[s].dir + e.path + ".zip";
    std::string archive = install_stream_archive((int)s);
    return gNet.net_check(INSTALL_STREAM_SLOT + (int32_t)s, host, remote, archive, install_download_limit(e),
                          sRun.files[(size_t)group].past_cache);
}

// Why a file still in a stream's hands at the end is not installed. Its transfer is judged once
// more, so that a reply that came whole is named by what it brought; only a transfer really cut
// short was under way.
static std::string why_in_stream(int32_t group)
{
    const char* const under_way = "its download was under way when the install ended";
    const int s = stream_of(group);
    const install_entry* e = listed_entry(group);
    // A slot without a request would start a new one.
    if (s < 0 || !e || !gNet.slot_busy(INSTALL_STREAM_SLOT + s)) return under_way;
    const uint8_t r = poll_download((size_t)s, *e, group);
    if (r == 0) return under_way;
    if (r == 1) return kNotExtracted;
    const int32_t slot = INSTALL_STREAM_SLOT + s;
    if (const int32_t err = gNet.local_error(slot))
        return "its download could not be written to the temporary folder (Error: " + FILE_error_text(err) + ")";
    if (gNet.last_failure(slot) == http_fail_body_size) return "the archive " + over_limit(install_download_limit(*e));
    return "its request failed as the install ended";
}

// The end's reports: every file that a stream took and that is neither done nor extracting is
// reported. An extraction still out reports its file once it is back.
static void report_files_left()
{
    for (size_t g = 0; g < sRun.files.size(); ++g) {
        const install_file& f = sRun.files[g];
        if (f.state == file_in_stream)
            report_not_installed((int32_t)g, why_in_stream((int32_t)g), false);
        else if (f.state == file_requeued)
            report_not_installed((int32_t)g, f.why, false);
    }
}

// ---------------------------------------------------------------------------------------------
// Extraction off the main thread: inflating, writing, hashing and syncing a large file takes
// seconds, which inside the frame would freeze the window and stall every other stream's
// download. A stream hands its archive to a worker and takes no turn until the job is back.
//
// The run must end as it would with each extraction done in the turn that finished its
// download, whatever order the workers finish in. So the jobs are reported in the order they
// began, each once every earlier one is reported; a failure ends the run with the call in which
// its extraction began: no stream takes a turn after it, and the run ends once every job begun
// up to that call is reported. A job begun later was never meant to run: its file and its log
// line are kept, and a failure of it gets a warning.

class install_extract_task : public UTL_work_task {
public:
    install_extract_task(size_t s, int32_t g, int64_t c, const std::string& a, const std::string& l,
                         const std::string& sig, int64_t max)
        : stream(s), group(g), call(c), archive(a), local(l), sig_want(sig), max_size(max)
    {
    }
    void run() override
    {
        // A job that the end of the program found still waiting never begins.
        int waiting = job_waiting;
        if (!phase.compare_exchange_strong(waiting, job_begun)) return;
        LOG_capture(&log);
        result = extract_in_place(archive, local, sig_want, max_size, bad_archive, wrong_file, why);
        LOG_capture(nullptr);
    }
    std::string name() override { return "install_extract_task"; }

    const size_t stream;
    const int32_t group;
    const int64_t call; // the worklist call in which the download finished
    const std::string archive, local, sig_want;
    const int64_t max_size;
    enum { job_waiting, job_begun, job_never };
    std::atomic<int> phase{job_waiting};
    // Written by the worker, read by the main thread once the job is back.
    int result = 0;
    bool bad_archive = false, wrong_file = false;
    std::string why;
    std::ostringstream log;
    bool back = false; // main thread only
};

static void start_extraction(size_t s, int32_t group, const std::string& archive, const std::string& local,
                             const std::string& sig_want, int64_t max_size)
{
    if (!sExtractPool) {
        // One extraction per stream at most; more threads than processors would only take turns.
        const int32_t streams = (int32_t)std::max<size_t>(gServers.size(), 1);
        sExtractPool = new UTL_work_queue(std::min(streams, THREAD_cpu_count()), streams);
    }
    if (sRun.extracting.size() <= s) sRun.extracting.resize(s + 1, nullptr);
    install_extract_task* job = new install_extract_task(s, group, sRun.call, archive, local, sig_want, max_size);
    sRun.extracting[s] = job;
    sRun.in_turn.push_back(job);
    file_set(group, file_extracting);
    sExtractPool->add_task(job);
}

// A job is back from its worker: its stream is free for its next file; its report waits for
// its turn.
static void take_back(install_extract_task* job)
{
    job->back = true;
    if (job->stream < sRun.extracting.size()) sRun.extracting[job->stream] = nullptr;
    if (job->stream < gPlan.streams.size()) gPlan.streams[job->stream].need_next = 1;
    if (job->result != 0 && !(job->bad_archive && may_ask_again(job->group))) run_failed_in(job->call);
}

// The results of a finished extraction, as the single-threaded worklist had them.
static void finish_extraction(install_extract_task* job)
{
    // One that never began was reported when the program's end found it waiting.
    if (job->phase == install_extract_task::job_never) {
        delete job;
        return;
    }
    gLog << job->log.str();
    const int32_t g = job->group;
    install_entry* e = listed_entry(g);
    const int r = job->result;
    if (r != 0 && job->bad_archive && may_ask_again(g) && !sRun.ended && !sRun.dropped) {
        // The next free stream takes it; the download it brought is not counted twice.
        ask_again(g, job->why);
        gPlan.downloaded_bytes -= e->download_size;
        if (job->stream < gPlan.streams.size()) gPlan.streams[job->stream].bytes_done -= e->download_size;
        delete job;
        return;
    }
    if (r == 0) {
        file_set(g, file_done);
    } else if (sRun.dropped) {
        file_set(g, file_not_installed); // the run that begins again takes it up anew
    } else {
        const std::string why = job->bad_archive ? "the archive " + job->why
                                                 : "it could not be extracted (Error: " + FILE_error_text(r) + ")";
        std::function<void()> note;
        if (!job->wrong_file) note = [job, r] { extraction_note(job->archive, job->local, r); };
        report_not_installed(g, why, true, note);
    }
    log_expanding(job->local, r);
    // A file whose archive could not be extracted is not the listed version.
    if (e) {
        if (r == 0) e->up_to_date = 1;
        gPlan.installed_bytes += e->disk_size;
    }
    delete job;
}

// Takes back the finished extractions (with wait, every one still out), then reports those
// whose turn has come.
static void collect_extractions(bool wait)
{
    if (sExtractPool)
        while (UTL_work_task* job = wait ? sExtractPool->wait_done() : sExtractPool->poll_done())
            take_back(static_cast<install_extract_task*>(job));
    while (!sRun.in_turn.empty() && sRun.in_turn.front()->back) {
        install_extract_task* job = sRun.in_turn.front();
        sRun.in_turn.pop_front();
        finish_extraction(job);
    }
}

static bool extracting(size_t s)
{
    return s < sRun.extracting.size() && sRun.extracting[s] != nullptr;
}

// Waits for every extraction still out, reports it, and ends the workers.
static void wait_for_extractions()
{
    collect_extractions(true);
    delete sExtractPool;
    sExtractPool = nullptr;
    // A job whose worker was stopped at the program's end never comes back; its file was
    // reported then.
    sRun.extracting.clear();
    sRun.in_turn.clear();
}

// At the program's end, in any order now that the run ends: a job still waiting for a worker
// never begins, and its file is named at once; the workers finish the extraction they are in and
// stop (after a fatal alert nothing else joins them); the extractions that came back are reported.
static void stop_extractions()
{
    for (install_extract_task* job : sRun.in_turn) {
        int waiting = install_extract_task::job_waiting;
        if (job->phase.compare_exchange_strong(waiting, install_extract_task::job_never))
            report_not_installed(job->group, kNotExtracted, false);
    }
    if (sExtractPool) {
        sExtractPool->stop_workers();
        while (UTL_work_task* job = sExtractPool->poll_done()) take_back(static_cast<install_extract_task*>(job));
    }
    std::deque<install_extract_task*> out;
    for (install_extract_task* job : sRun.in_turn) {
        if (job->back) {
            finish_extraction(job);
            continue;
        }
        // One that began and never came back: its worker ended.
        if (job->phase != install_extract_task::job_never)
            report_not_installed(job->group, "its extraction did not come back", false);
        out.push_back(job);
    }
    sRun.in_turn.swap(out);
}

// A download that could not be written to the temporary folder (a full disk, above all) fails
// on every server alike: the install stops, as it does for an archive it cannot extract.
static void install_download_write_failed(int32_t err)
{
    MACIBM_alert(0, LANG_translate("The installer cannot write a downloaded file."),
                 LANG_translate("Error: ") + FILE_error_text(err), LANG_translate("Temporary Folder: ") + gTempFolder,
                 "", t_note, "utils", 434);
}

// Deletes the local file and records its folders up to the install folder as emptied. False
// when the file stays: a delete that fails is named with its error, whether actions are logged
// or not, one refused for safety by its refusal; the install goes on, and ends with problems as
// for a file not installed. A file already gone is deleted.
static bool delete_local_file(const std::string& local)
{
    const bool allowed = local_file_allowed(local);
    int r = EPERM;
    if (allowed) {
        clear_read_only_inside(local);
        r = FILE_delete_file(local);
    }
    if (gLogActions)
        gLog << "now we want to nuke a file: DELETING  file " << local << ", with result=" << r << ".\n";
    // A file refused for safety stays as it was, as one that cannot be deleted does.
    if (!allowed) {
        gInstallFailed = 1;
        return false;
    }
    sTouchedFolders.insert(folder_of(local));
    if (r != 0 && r != ENOENT) {
        gLog << "WARNING: the file " << printable(local) << " could not be deleted (Error: " << FILE_error_text(r)
             << "); it stays\n";
        gLog.flush();
        gInstallFailed = 1;
        return false;
    }
    std::string folder = folder_of(local);
    while (folder.size() > gInstallPath.size()) {
        gEmptiedFolders.insert(folder);
        folder.pop_back();
        const size_t slash = folder.rfind('/');
        if (slash == std::string::npos) break;
        folder.erase(slash + 1);
    }
    return true;
}

// Removes the folders that lost a file and are now empty. Deepest first: a folder comes after
// every folder inside it in string order, so in reverse order a parent is tried once its emptied
// children have gone.
static void remove_emptied_folders()
{
    std::vector<std::string> names;
    std::vector<int32_t> types;
    for (auto it = gEmptiedFolders.rbegin(); it != gEmptiedFolders.rend(); ++it) {
        const std::string& folder = *it;
        std::string rel;
        if (!relative_part(folder, true, rel) || folder.back() != '/' || !resolves_inside(folder, false)) {
            gLog << "WARNING: the install engine does not remove the folder \"" << printable(folder)
                 << "\": it is not a folder inside the install folder " << gInstallPath << "\n";
            continue;
        }
        if (FILE_get_directory(folder, 0, names, types) != 0) continue;
        // Removing a folder never takes anything with it: a folder that still holds hidden
        // entries stays.
        const int r = FILE_delete_file(folder);
        if (gLogActions) gLog << "cleanup: DELETING  file " << folder << ", with result=" << r << ".\n";
    }
}

// ---------------------------------------------------------------------------------------------
// The streams

static install_stream new_stream(float now)
{
    install_stream st;
    st.resume_time = now;
    return st;
}

// A file that stream s would take now other than one its server failed: a re-queued one it has not
// failed, or one nobody took yet.
static bool has_file_to_take(size_t s)
{
    const std::deque<int32_t>& q = gPlan.requeue;
    return gPlan.next_group < (int32_t)gPlan.install_groups.size() ||
           std::any_of(q.begin(), q.end(), [s](int32_t g) { return !failed_on(g, s); });
}

// The stream's server rests; what it refused before may be asked for again after the rest.
static void rest_stream(install_stream& st)
{
    st.resume_time = gTimer.hl_timer_real_time + INSTALL_RETRY_SECONDS;
    st.rest_owed = false;
}

// The stream's next group: the oldest re-queued one that its server has not failed, else the next
// one nobody took. A file that its own server failed it takes again only once every file left has
// failed on some server, so that a file no server gives never holds the others back, and only
// after a rest since its server last refused a file; from then on each such file is asked for
// again after every rest. With nothing to take, the stream stands past the last group. False when
// the stream rests instead.
static bool take_next_group(size_t s, install_stream& st, int ngroups)
{
    auto& plan = gPlan;
    const std::deque<int32_t>& q = plan.requeue;
    auto it = std::find_if(q.begin(), q.end(), [s](int32_t g) { return !failed_on(g, s); });
    if (it == q.end() && sRun.unfailed == 0 && !q.empty()) {
        if (st.rest_owed) {
            rest_stream(st);
            return false;
        }
        it = q.begin();
    }
    if (it != q.end()) {
        st.group = *it;
    } else {
        st.group = plan.next_group;
        plan.next_group = std::clamp(plan.next_group + 1, 0, ngroups);
    }
    st.need_next = 0;
    file_set(st.group, file_in_stream);
    return true;
}

bool install_status_is_about_file(int32_t status)
{
    return status == 404 || status == 410;
}

// A download's end that is no archive: its file is re-queued (its server rests), asked for again
// or not installed. True when the stream is done with the file.
static bool download_failed(size_t s, install_stream& st, const install_entry& e)
{
    const int32_t slot = INSTALL_STREAM_SLOT + (int32_t)s;
    // What a failed transfer left (part of an archive, an error page) is of no use.
    FILE_delete_file(install_stream_archive((int)s));
    if (const int32_t err = gNet.local_error(slot)) {
        report_not_installed(st.group,
                             "its download could not be written to the temporary folder (Error: " +
                                 FILE_error_text(err) + ")",
                             true, [err] { install_download_write_failed(err); });
        return true;
    }
    // An archive over the limit is a bad archive, not a server's failure: no rest.
    if (gNet.last_failure(slot) == http_fail_body_size) {
        const std::string why = over_limit(install_download_limit(e));
        if (may_ask_again(st.group))
            ask_again(st.group, why);
        else
            report_not_installed(st.group, "the archive " + why, true);
        return true;
    }
    const int32_t status = gNet.last_status(slot);
    note_failed_on(st.group, s);
    file_set(st.group, file_requeued, "its request failed and it was waiting to be asked for again");
    st.need_next = 1;
    st.error_message = LANG_translate("Server is not responding normally.");
    // "Not found" and "gone" are the server's answer about this one file: it goes on with its
    // other files at once. Every other failure rests it, and so does any failure once only files
    // it failed itself are left, so that it never asks for them in a loop.
    if (install_status_is_about_file(status) && has_file_to_take(s))
        st.rest_owed = true;
    else
        rest_stream(st);
    return false;
}

// Stream s's download of e, one step; a finished archive goes to a worker. True when the stream
// is done with the file.
static bool download_turn(size_t s, install_stream& st, const install_entry& e, const std::string& local)
{
    install_action = action_download;
    // Nothing is fetched for a file that could not be put in its place. (Where its folder leads
    // is checked once the archive is here: that costs more than a poll.)
    std::string rel;
    if (!relative_part(local, false, rel)) {
        report_not_installed(st.group, kNotPlain, true, [&] { log_refused_path(local, kNotPlain); });
        return true;
    }
    install_clear_for_request(INSTALL_STREAM_SLOT + (int32_t)s, stream_archive_name(s));
    const uint8_t r = poll_download(s, e, st.group);
    if (r == 0) {
        const float fraction = gNet.percent_done(INSTALL_STREAM_SLOT + (int32_t)s) * 0.01f;
        gCurrentFileFraction = fraction;
        gPlan.inflight_bytes += fraction * e.download_size;
        st.progress += fraction * e.download_size;
        return false;
    }
    if (r != 1) return download_failed(s, st, e);
    sTouchedFolders.insert(folder_of(local));
    gPlan.downloaded_bytes += e.download_size;
    st.bytes_done += e.download_size;
    start_extraction(s, st.group, install_stream_archive((int)s), local, e.sig_want, install_entry_size_limit(e));
    // The stream keeps the file until its extraction is back.
    return false;
}

// One turn of stream s on its current group. True when the stream is done with the file.
static bool stream_turn(size_t s, install_stream& st)
{
    const install_entry& e = gPlan.install_groups[(size_t)st.group].back();
    FILE_split_path(gCurrentFileName, gServers[s].dir + e.path + ".zip");
    const std::string local = gInstallPath + e.path;
    sRun.files[(size_t)st.group].local = local;

    if (!e.path.empty() && e.path.back() == '/') {
        report_not_installed(st.group, "its path names no file", true, [&] {
            MACIBM_alert(0, "I am working through the list and found a path that has no file!",
                         "This is impossible to download or delete!", "It is:", e.path, t_fatal, "utils", 507);
        });
        return true;
    }
    if (e.do_delete) {
        install_action = action_delete;
        file_set(st.group, delete_local_file(local) ? file_done : file_not_installed);
        return true;
    }
    if (!e.do_download) {
        install_action = e.up_to_date ? action_skip_installed : action_skip_unneeded;
        file_set(st.group, file_done);
        return true;
    }
    return download_turn(s, st, e, local);
}

// Every ready stream takes its turn, one file step each; after a failure none does: the run ends
// with the call it failed in.
static void streams_take_turns(int ngroups, float now)
{
    auto& plan = gPlan;
    for (size_t s = 0; s < gServers.size() && sRun.end_call < 0; ++s) {
        if (extracting(s)) continue;
        if (s < plan.streams.size() && now < plan.streams[s].resume_time) continue;
        if (s >= plan.streams.size()) plan.streams.resize(s + 1, new_stream(now));
        install_stream& st = plan.streams[s];
        // A stream past the last group still takes back a file another server failed, so one
        // failing server cannot keep the install retrying while this one idles.
        if ((st.need_next || (st.group >= ngroups && !plan.requeue.empty())) && !take_next_group(s, st, ngroups))
            continue;
        if (st.group < 0 || st.group >= ngroups) continue;
        if (plan.install_groups[(size_t)st.group].empty()) {
            file_set(st.group, file_done);
            st.need_next = 1;
            continue;
        }
        if (stream_turn(s, st)) st.need_next = 1;
    }
}

// Every stream's transfer is cancelled and the stream archives are deleted.
static void cancel_downloads()
{
    // The transfers end first, so that nothing writes an archive after it is gone.
    for (size_t s = 0; s < std::max(gPlan.streams.size(), gServers.size()); ++s)
        gNet.cancel_slot(INSTALL_STREAM_SLOT + (int32_t)s);
    install_remove_stream_archives();
}

// The one end of a run, however it comes: finished, failed, or stopped at the program's end
// (Stop, the close box, a quit signal, a quit during an alert, a fatal alert), or by a reset that
// is not Back. Every file taken up and not installed is reported once, from the files' states;
// then, once no extraction is out, the clean-up of a finished run: the streams' transfers and
// archives, stale temporaries in the folders the run touched, the folders it emptied. With now
// (a stop, a reset) the extraction a worker is in is waited for and a job not yet begun never
// begins; at a failure the extractions begun after it finish on their own, and the clean-up,
// which must not take a temporary from under one, waits for the reset.
static void end_run(bool now)
{
    if (sRun.call == 0 || sRun.ending || sRun.cleaned) return;
    sRun.ending = true;
    if (!sRun.ended) {
        // What came back before a stop is taken as the run had it: a bad first archive is asked
        // for again, so the end names it by its warning.
        if (now) stop_extractions();
        sRun.ended = true;
        report_files_left();
    }
    if (now || sRun.in_turn.empty()) {
        wait_for_extractions();
        cancel_downloads();
        for (const std::string& folder : sTouchedFolders) install_remove_stale_temporaries(folder, "");
        remove_emptied_folders();
        sRun.cleaned = true;
    }
    gLog.flush();
    sRun.ending = false;
}

int install_run_worklist()
{
    auto& plan = gPlan;
    // Without a rooted install folder and temporary folder every path below would be taken from
    // the program's own folder.
    if (!is_rooted_folder(gInstallPath) || !is_rooted_folder(gTempFolder)) {
        gLog << "WARNING: the install engine has no install folder or temporary folder (\"" << gInstallPath
             << "\", \"" << gTempFolder << "\"); nothing is installed.\n";
        gInstallFailed = 1;
        return 1;
    }
    const int ngroups = (int)plan.install_groups.size();
    begin_run(ngroups);
    // The failure flag is the run's: a new run starts clean.
    if (sRun.call++ == 0) gInstallFailed = 0;
    plan.inflight_bytes = 0;
    for (install_stream& st : plan.streams) st.progress = 0;
    collect_extractions(false);
    // After a quit request nothing new begins: the program's end ends the run with this frame.
    if (gQuit) return 0;

    streams_take_turns(ngroups, gTimer.hl_timer_real_time);
    if (sRun.end_call >= 0) {
        // What began before the failure is reported first, as it was done before it.
        if (!sRun.in_turn.empty() && sRun.in_turn.front()->call <= sRun.end_call) return 0;
    } else if (files_left() && !gServers.empty()) {
        return 0;
    }
    end_run(false);
    return 1;
}

void install_drop_downloads()
{
    end_run(true);
    // Without a run taken up nothing is reported, yet no transfer or archive outlives the program.
    cancel_downloads();
}

// The plan's worklist members as a new run needs them; the run's own records go. An extraction
// still out finishes before its stream's archive goes.
static void clear_run()
{
    auto& plan = gPlan;
    wait_for_extractions();
    cancel_downloads();
    sTouchedFolders.clear();
    sRun = install_run();
    plan.next_group = 0;
    plan.requeue.clear();
    plan.streams.clear();
    plan.start_time = gTimer.hl_timer_real_time;
    plan.inflight_bytes = 0;
    plan.downloaded_bytes = 0;
    plan.installed_bytes = 0;
}

void install_reset_worklist()
{
    // A run still going ends as at the program's end; one that ended has its clean-up done.
    end_run(true);
    clear_run();
}

void install_reset_for_back()
{
    // A run that had not ended is dropped: what comes back is kept quietly, and the run that
    // begins after Back takes the file up anew. The failure went with the run.
    const bool dropped = !sRun.ended;
    if (dropped)
        sRun.dropped = true;
    else
        end_run(true);
    clear_run();
    // The folders a dropped run emptied go once its extractions are done, as an ended run's did.
    if (dropped) remove_emptied_folders();
    gInstallFailed = 0;
}
