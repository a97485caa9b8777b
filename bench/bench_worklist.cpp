// One update by the install engine, timed: the Install step's work (decisions, folders, then the
// download, extract and delete worklist called for up to 0.02 s per frame, frame after frame)
// over a copy whose every file is an older listed version. Prints one line: the seconds from the
// first worklist call to the last, the longest frame and the longest single call in
// milliseconds, and the frames. bench/worklist_update.sh makes the release, starts nginx, runs
// this beside curl and unzip and prints medians; on its own it needs CORVANE_BENCH_PORT (the
// proxy port on 127.0.0.1), CORVANE_BENCH_HOSTS (server names, comma-separated: one stream
// each), CORVANE_BENCH_RELEASE (the release folder on the servers, "/Corvane10/"),
// CORVANE_BENCH_DIRECTORY (the directory file), CORVANE_BENCH_INSTALL and CORVANE_BENCH_TEMP
// (folders ending in '/') and CORVANE_BENCH_LOG (the log file).
#include "app/main.h"
#include "engine/checksum_task.h"
#include "engine/http.h"
#include "engine/utils.h"
#include "engine/worklist.h"
#include "foundation/options.h"
#include "frame/hl_init.h"
#include "frame/hl_timer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

using steady = std::chrono::steady_clock;

static std::string env_text(const char* name)
{
    const char* v = getenv(name);
    return v ? v : "";
}

static double ms_between(steady::time_point a, steady::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

int main()
{
    const std::string port = env_text("CORVANE_BENCH_PORT"), hosts = env_text("CORVANE_BENCH_HOSTS"),
                      release = env_text("CORVANE_BENCH_RELEASE"), directory = env_text("CORVANE_BENCH_DIRECTORY"),
                      log = env_text("CORVANE_BENCH_LOG");
    gInstallPath = env_text("CORVANE_BENCH_INSTALL");
    gTempFolder = env_text("CORVANE_BENCH_TEMP");
    if (port.empty() || hosts.empty() || release.empty() || directory.empty() || gInstallPath.empty() ||
        gTempFolder.empty() || log.empty()) {
        fprintf(stderr, "run through bench/worklist_update.sh\n");
        return 2;
    }
    hl_open_log(log);
    gOptions.opts["--qa_script"] = ""; // alerts go to the log only
    gNet._proxy_host = "127.0.0.1";
    gNet._proxy_port_int = atoi(port.c_str());
    gTargetOS = 2;
    gLogActions = 0;
    gServers.clear();
    for (size_t start = 0; start < hosts.size();) {
        size_t comma = hosts.find(',', start);
        if (comma == std::string::npos) comma = hosts.size();
        gServers.push_back({hosts.substr(start, comma - start), release, ""});
        start = comma + 1;
    }

    // The search step's work, outside the timing.
    if (install_read_directory_file(directory) != 3) {
        fprintf(stderr, "the directory file was not read\n");
        return 1;
    }
    int next = 0;
    float progress = 0;
    while (install_scan_md5(next, progress) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    install_count_totals();
    gTimer.hl_timer_update();
    if (install_decide_actions() != 1 || install_make_folders() != 0) {
        fprintf(stderr, "the install could not start\n");
        return 1;
    }
    install_reset_worklist();

    // Frames as the Install step makes them: worklist calls for up to 0.02 s, then the next frame
    // at once (drawing and the wait for input are left out, so the network is never idle).
    const auto start = steady::now();
    double longest_frame = 0, longest_call = 0;
    long frames = 0;
    int r = 0;
    while (r == 0 && steady::now() - start < std::chrono::minutes(10)) {
        const auto frame_start = steady::now();
        ++frames;
        do {
            gTimer.hl_timer_update();
            const auto call_start = steady::now();
            r = install_run_worklist();
            longest_call = std::max(longest_call, ms_between(call_start, steady::now()));
        } while (r == 0 && steady::now() - frame_start < std::chrono::milliseconds(20));
        longest_frame = std::max(longest_frame, ms_between(frame_start, steady::now()));
    }
    const double seconds = ms_between(start, steady::now()) / 1000.0;
    if (r != 1 || gInstallFailed) {
        fprintf(stderr, "the update failed or took more than 10 minutes; see the log %s\n", log.c_str());
        return 1;
    }
    printf("%.3f %.1f %.1f %ld %.0f\n", seconds, longest_frame, longest_call, frames, (double)gPlan.downloaded_bytes);
    install_reset_worklist();
    return 0;
}
