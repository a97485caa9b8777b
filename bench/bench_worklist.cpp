// Time of an update by the install engine: the Install step's work (decisions, folders, then the
// download, extract and delete worklist called in a tight loop) over a copy whose every file is
// an older listed version. bench/worklist_update.sh makes the release, starts nginx, runs this
// beside curl and unzip and prints the times; on its own it needs CORVANE_BENCH_PORT (the proxy
// port on 127.0.0.1), CORVANE_BENCH_HOSTS (server names, comma-separated: one stream each),
// CORVANE_BENCH_RELEASE (the release folder on the servers, "/Corvane10/"), CORVANE_BENCH_DIRECTORY
// (the directory file), CORVANE_BENCH_INSTALL and CORVANE_BENCH_TEMP (folders ending in '/') and
// CORVANE_BENCH_LOG (the log file).
#include "app/main.h"
#include "engine/checksum_task.h"
#include "engine/http.h"
#include "engine/utils.h"
#include "engine/worklist.h"
#include "foundation/options.h"
#include "frame/hl_init.h"
#include "frame/hl_timer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

static std::string env_text(const char* name)
{
    const char* v = getenv(name);
    return v ? v : "";
}

static void BM_install_update(benchmark::State& state)
{
    const std::string port = env_text("CORVANE_BENCH_PORT"), hosts = env_text("CORVANE_BENCH_HOSTS"),
                      release = env_text("CORVANE_BENCH_RELEASE"), directory = env_text("CORVANE_BENCH_DIRECTORY"),
                      log = env_text("CORVANE_BENCH_LOG");
    gInstallPath = env_text("CORVANE_BENCH_INSTALL");
    gTempFolder = env_text("CORVANE_BENCH_TEMP");
    if (port.empty() || hosts.empty() || release.empty() || directory.empty() || gInstallPath.empty() ||
        gTempFolder.empty() || log.empty()) {
        state.SkipWithError("run through bench/worklist_update.sh");
        return;
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
        state.SkipWithError("the directory file was not read");
        return;
    }
    int next = 0;
    float progress = 0;
    while (install_scan_md5(next, progress) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    install_count_totals();

    for (auto _ : state) {
        gTimer.hl_timer_update();
        if (install_decide_actions() != 1 || install_make_folders() != 0) {
            state.SkipWithError("the install could not start");
            return;
        }
        install_reset_worklist();
        const auto start = std::chrono::steady_clock::now();
        int r = 0;
        while (r == 0) {
            gTimer.hl_timer_update();
            r = install_run_worklist();
            if (std::chrono::steady_clock::now() - start > std::chrono::minutes(10)) break;
        }
        if (r != 1 || gInstallFailed) {
            state.SkipWithError("the update failed or took more than 10 minutes; see the log");
            return;
        }
    }
    // The directory file's sizes are kilobytes.
    state.SetBytesProcessed((int64_t)gPlan.downloaded_bytes * 1024);
    state.counters["files"] = (double)gFilesToFetch;
    install_reset_worklist();
}
BENCHMARK(BM_install_update)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
