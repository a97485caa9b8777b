// Throughput of the install scan (install_scan_md5 polled as the frame loop polls it, one worker
// per processor) on a 1 GiB tree of a few hundred files, beside `xargs -P<processors> md5sum` on
// the same files, in one run. The tree is $CORVANE_BENCH_DIR when set (made there when empty and
// kept), else a temporary one made and removed here. md5sum's digests become the directory file,
// so every scan must find every file up to date; that first pass also fills the page cache.
#include "app/main.h"
#include "engine/checksum_task.h"
#include "engine/utils.h"
#include "foundation/UTL_thread.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

static const uint64_t kTotal = 1ull << 30;
static const int kFiles = 300;
static const int kFolders = 12;

static std::string gRoot;               // ends in '/'
static std::vector<std::string> gNames; // install-relative
static std::string gListFile;           // the names as absolute paths, NUL-separated

static bool write_file(const std::string& path, uint64_t size, std::mt19937_64& gen)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::vector<uint64_t> block(1 << 16); // 512 KiB
    bool ok = true;
    for (uint64_t done = 0; ok && done < size;) {
        for (uint64_t& w : block) w = gen();
        const size_t n = (size_t)std::min<uint64_t>(size - done, block.size() * 8);
        ok = write(fd, block.data(), n) == (ssize_t)n;
        done += n;
    }
    return close(fd) == 0 && ok;
}

// File i's size: the mean, or a third or two thirds of it more or less, in pairs that cancel;
// the last file takes what is left, so that they add up to 1 GiB.
static uint64_t file_size(int i, uint64_t so_far)
{
    const uint64_t mean = kTotal / kFiles;
    if (i == kFiles - 1) return kTotal - so_far;
    const uint64_t offset = mean / 3 * (uint64_t)((i / 2) % 3);
    return i % 2 == 0 ? mean + offset : mean - offset;
}

static bool make_tree()
{
    std::mt19937_64 gen(7);
    uint64_t total = 0;
    for (int i = 0; i < kFiles; ++i) {
        const std::string folder = "folder " + std::to_string(i % kFolders) + "/";
        mkdir((gRoot + folder).c_str(), 0700);
        const std::string name = folder + "file" + std::to_string(i) + ".bin";
        gNames.push_back(name);
        struct stat st;
        const uint64_t size = file_size(i, total);
        total += size;
        if (stat((gRoot + name).c_str(), &st) == 0 && (uint64_t)st.st_size == size) continue;
        if (!write_file(gRoot + name, size, gen)) return false;
    }
    return total == kTotal;
}

// Runs argv with standard input from a file and standard output to a file (or /dev/null);
// true when it exits with 0.
static bool run(const std::vector<std::string>& args, const std::string& in, const std::string& out)
{
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back((char*)a.c_str());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid;
    const int err = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    int status = 0;
    return !err && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

static std::string nproc_text()
{
    return std::to_string(THREAD_cpu_count());
}

static void BM_install_scan_md5(benchmark::State& state)
{
    for (auto _ : state) {
        for (auto& g : gPlan.install_groups) g.back().up_to_date = 0;
        int next = 0;
        float progress = 0;
        // One call per "frame"; a real frame is longer, which only adds latency at the end.
        while (install_scan_md5(next, progress) == 0) std::this_thread::sleep_for(std::chrono::microseconds(500));
        for (const auto& g : gPlan.install_groups)
            if (!g.back().up_to_date) state.SkipWithError(("not up to date: " + g.back().path).c_str());
    }
    state.SetBytesProcessed((int64_t)(state.iterations() * kTotal));
    state.SetLabel(nproc_text() + " workers");
}

// args: 0 = as xargs packs the names (all into one md5sum here), else names per md5sum.
static void BM_xargs_md5sum(benchmark::State& state)
{
    std::vector<std::string> args = {"xargs", "-0", "-P", nproc_text()};
    if (state.range(0) > 0) {
        args.push_back("-n");
        args.push_back(std::to_string(state.range(0)));
    }
    args.push_back("md5sum");
    for (auto _ : state)
        if (!run(args, gListFile, "/dev/null")) state.SkipWithError("xargs md5sum failed");
    state.SetBytesProcessed((int64_t)(state.iterations() * kTotal));
    state.SetLabel("xargs -P" + nproc_text() + (state.range(0) > 0 ? " -n " + std::to_string(state.range(0)) : "") +
                   " md5sum");
}

BENCHMARK(BM_install_scan_md5)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_xargs_md5sum)->Arg(0)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char** argv)
{
    const char* given = getenv("CORVANE_BENCH_DIR");
    const char* tmp = getenv("TMPDIR");
    gRoot = given ? given : std::string(tmp && *tmp ? tmp : "/tmp") + "/corvane-scan-bench-" + std::to_string(getpid());
    if (gRoot.back() != '/') gRoot += '/';
    mkdir(gRoot.c_str(), 0700);
    int rc = 0;
    const std::string sums = gRoot + "md5sums.txt";
    gListFile = gRoot + "names.bin";
    if (!make_tree()) {
        fprintf(stderr, "cannot write the 1 GiB tree in %s\n", gRoot.c_str());
        rc = 1;
    } else {
        std::string list;
        for (const auto& n : gNames) list += gRoot + n + '\0';
        FILE* f = fopen(gListFile.c_str(), "wb");
        const bool listed = f && fwrite(list.data(), 1, list.size(), f) == list.size();
        if (f) fclose(f);
        // md5sum's digests, which the directory file lists.
        std::map<std::string, std::string> digest;
        if (listed && run({"xargs", "-0", "md5sum"}, gListFile, sums)) {
            FILE* in = fopen(sums.c_str(), "r");
            char line[4096];
            while (in && fgets(line, sizeof line, in)) {
                std::string l(line);
                if (!l.empty() && l.back() == '\n') l.pop_back();
                if (l.size() > 34 + gRoot.size()) digest[l.substr(34 + gRoot.size())] = l.substr(0, 32);
            }
            if (in) fclose(in);
        }
        std::string dir = "I\n1000 bench\nINSTALLER\n";
        for (const auto& n : gNames)
            dir += "FILE 1 0 0 1 1 " + (digest.count(n) ? digest[n] : std::string("missing")) + " " + n + "\n";
        const std::string dir_path = gRoot + "directory.txt";
        f = fopen(dir_path.c_str(), "w");
        const bool written = f && fwrite(dir.data(), 1, dir.size(), f) == dir.size();
        if (f) fclose(f);
        gInstallPath = gRoot;
        gTargetOS = 2;
        if (digest.size() != gNames.size() || !written || install_read_directory_file(dir_path) != 3 ||
            gPlan.install_groups.size() != gNames.size()) {
            fprintf(stderr, "md5sum or the directory file failed in %s\n", gRoot.c_str());
            rc = 1;
        } else {
            printf("%s: %d files, %llu bytes, %s processors\n", gRoot.c_str(), kFiles, (unsigned long long)kTotal,
                   nproc_text().c_str());
            fflush(stdout);
            benchmark::Initialize(&argc, argv);
            benchmark::RunSpecifiedBenchmarks();
            benchmark::Shutdown();
        }
    }
    install_stop_md5_pool();
    unlink(sums.c_str());
    unlink(gListFile.c_str());
    unlink((gRoot + "directory.txt").c_str());
    if (!given) {
        for (const auto& n : gNames) unlink((gRoot + n).c_str());
        for (int i = 0; i < kFolders; ++i) rmdir((gRoot + "folder " + std::to_string(i)).c_str());
        rmdir(gRoot.c_str());
    }
    return rc;
}
