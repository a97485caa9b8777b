// MD5 throughput of FILE_md5_of_file on a 1 GiB file against md5sum on the same file, in one run.
// The file is $CORVANE_BENCH_FILE when set (kept), else a temporary one (made and removed here).
// Both sides read from the page cache: the file is hashed once before timing starts.
#include "foundation/FILE_compress.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

static const uint64_t kSize = 1ull << 30;
static std::string gPath;

static bool make_file(const std::string& path)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::mt19937_64 gen(42);
    std::vector<uint64_t> block(1 << 19); // 4 MiB
    bool ok = true;
    for (uint64_t done = 0; ok && done < kSize; done += block.size() * 8) {
        for (uint64_t& w : block) w = gen();
        ok = write(fd, block.data(), block.size() * 8) == (ssize_t)(block.size() * 8);
    }
    return close(fd) == 0 && ok;
}

// md5sum's digest of the file ("" when it fails); its output is read through a pipe.
static std::string run_md5sum(const std::string& path)
{
    int p[2];
    if (pipe(p) != 0) return "";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, p[1], 1);
    posix_spawn_file_actions_addclose(&fa, p[0]);
    const char* argv[] = {"md5sum", path.c_str(), nullptr};
    pid_t pid;
    int err = posix_spawnp(&pid, "md5sum", &fa, nullptr, (char* const*)argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    close(p[1]);
    std::string out;
    char buf[256];
    ssize_t n;
    while (!err && (n = read(p[0], buf, sizeof buf)) > 0) out.append(buf, (size_t)n);
    close(p[0]);
    int status = 0;
    if (err || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return "";
    return out.substr(0, 32);
}

static void BM_FILE_md5_of_file(benchmark::State& state)
{
    std::string hex;
    for (auto _ : state)
        if (FILE_md5_of_file(gPath, hex) != 0) state.SkipWithError("FILE_md5_of_file failed");
    state.SetBytesProcessed((int64_t)(state.iterations() * kSize));
}

static void BM_md5sum(benchmark::State& state)
{
    for (auto _ : state)
        if (run_md5sum(gPath).empty()) state.SkipWithError("md5sum failed");
    state.SetBytesProcessed((int64_t)(state.iterations() * kSize));
}

BENCHMARK(BM_FILE_md5_of_file)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_md5sum)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char** argv)
{
    const char* given = getenv("CORVANE_BENCH_FILE");
    const char* tmp = getenv("TMPDIR");
    gPath = given ? given : std::string(tmp && *tmp ? tmp : "/tmp") + "/corvane-md5-bench-" + std::to_string(getpid());
    if (!given && !make_file(gPath)) {
        fprintf(stderr, "cannot write the 1 GiB test file %s\n", gPath.c_str());
        unlink(gPath.c_str());
        return 1;
    }
    std::string ours;
    int err = FILE_md5_of_file(gPath, ours);
    std::string theirs = run_md5sum(gPath);
    printf("%s\nFILE_md5_of_file %s (result %d)\nmd5sum           %s\n", gPath.c_str(), ours.c_str(), err,
           theirs.c_str());
    fflush(stdout);
    int rc = 0;
    if (err || ours != theirs) {
        fprintf(stderr, "the digests differ\n");
        rc = 1;
    } else {
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    if (!given) unlink(gPath.c_str());
    return rc;
}
