// Helpers of the side-by-side benchmarks: spawning the peer tools, timing whole processes, running
// the sides in turn and reporting medians with the machine's load beside them.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

// Runs argv (no shell) with standard input from in and standard output to out ("" leaves them
// as they are); true when it exits with 0.
inline bool BENCH_run(const std::vector<std::string>& args, const std::string& in = "", const std::string& out = "")
{
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (!in.empty()) posix_spawn_file_actions_addopen(&fa, 0, in.c_str(), O_RDONLY, 0);
    if (!out.empty()) posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid;
    const int err = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    int status = 0;
    return !err && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The one-minute load average and the processors, as "load 3.1 on 8".
inline std::string BENCH_load()
{
    double load = -1;
    if (FILE* f = fopen("/proc/loadavg", "r")) {
        if (fscanf(f, "%lf", &load) != 1) load = -1;
        fclose(f);
    }
    char text[64];
    snprintf(text, sizeof text, "load %.1f on %ld", load, sysconf(_SC_NPROCESSORS_ONLN));
    return text;
}

// One side of a comparison: a name and one timed run (false when it failed).
struct BENCH_side {
    std::string name;
    std::function<bool()> run;
    std::vector<double> seconds;
};

// Runs every side once per round, in turn, for the given rounds, so that a change in the
// machine's load falls on every side alike; then prints each side's median, its spread and
// its ratio to the first side. False when a run failed.
inline bool BENCH_alternate(const char* title, std::vector<BENCH_side>& sides, int rounds)
{
    printf("%s (%s at the start)\n", title, BENCH_load().c_str());
    fflush(stdout);
    for (int r = 0; r < rounds; ++r) {
        for (BENCH_side& side : sides) {
            const auto t0 = std::chrono::steady_clock::now();
            if (!side.run()) {
                fprintf(stderr, "%s failed\n", side.name.c_str());
                return false;
            }
            side.seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        }
    }
    double first = 0;
    for (BENCH_side& side : sides) {
        std::vector<double> t = side.seconds;
        std::sort(t.begin(), t.end());
        const double median = t.size() % 2 ? t[t.size() / 2] : (t[t.size() / 2 - 1] + t[t.size() / 2]) / 2;
        if (first == 0) first = median;
        printf("  %-44s median %8.3f s  (min %.3f, max %.3f, %zu runs)  %.2fx the first\n", side.name.c_str(), median,
               t.front(), t.back(), t.size(), median / first);
    }
    printf("  (%s at the end)\n", BENCH_load().c_str());
    fflush(stdout);
    return true;
}

// Rounds from $CORVANE_BENCH_ROUNDS, else the default.
inline int BENCH_rounds(int fallback)
{
    const char* v = getenv("CORVANE_BENCH_ROUNDS");
    const int n = v ? atoi(v) : 0;
    return n > 0 ? n : fallback;
}
