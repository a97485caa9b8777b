// Throughput of the polled HTTP fetch: one large file fetched with net_check called in a tight
// loop, as the install engine calls it. bench/http_throughput.sh starts nginx, runs this beside
// curl and prints both; on its own it needs CORVANE_BENCH_PORT, CORVANE_BENCH_HOST,
// CORVANE_BENCH_PATH and CORVANE_BENCH_OUT (the proxy port on 127.0.0.1, the host name, the
// path and the local file).
#include "engine/http.h"
#include "frame/hl_timer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

static std::string env_text(const char* name)
{
    const char* v = getenv(name);
    return v ? v : "";
}

static void BM_net_check_fetch(benchmark::State& state)
{
    const std::string port = env_text("CORVANE_BENCH_PORT");
    std::string host = env_text("CORVANE_BENCH_HOST"), path = env_text("CORVANE_BENCH_PATH"),
                out = env_text("CORVANE_BENCH_OUT");
    if (port.empty() || host.empty() || path.empty() || out.empty()) {
        state.SkipWithError("run through bench/http_throughput.sh");
        return;
    }
    gNet._proxy_host = "127.0.0.1";
    gNet._proxy_port_int = atoi(port.c_str());
    int64_t bytes = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        int r = 0;
        while (r == 0) {
            gTimer.hl_timer_update(); // the frame clock drives the time-out, as in the program
            r = gNet.net_check(3, host, path, out);
            if (std::chrono::steady_clock::now() - start > std::chrono::minutes(10)) break;
        }
        if (r != 1) {
            state.SkipWithError("the fetch failed or took more than 10 minutes");
            return;
        }
        struct stat st;
        if (stat(out.c_str(), &st) == 0) bytes += st.st_size;
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_net_check_fetch)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
