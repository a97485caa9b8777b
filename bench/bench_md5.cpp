// MD5 of a 512 MiB file: FILE_md5_of_file as a whole process (this program started again with
// "--md5 file") and as a call, beside md5sum on the same file, runs taken in turn, medians
// printed. The file is $CORVANE_BENCH_FILE when set (kept), else a temporary one made and removed
// here. Both sides read from the page cache: the file is hashed once before timing starts.
// Usage: bench_md5 [--md5 file]; $CORVANE_BENCH_ROUNDS sets the runs per side (default 7).
#include "bench/bench_support.h"
#include "foundation/FILE_compress.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

static const uint64_t kSize = 512ull << 20;

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

// The first 32 characters of a file ("" when it cannot be read).
static std::string first_32(const std::string& path)
{
    char buf[33] = {0};
    FILE* f = fopen(path.c_str(), "r");
    const size_t n = f ? fread(buf, 1, 32, f) : 0;
    if (f) fclose(f);
    return std::string(buf, n);
}

int main(int argc, char** argv)
{
    // The whole-process side: what a program that only hashes one file costs.
    if (argc == 3 && strcmp(argv[1], "--md5") == 0) {
        std::string hex;
        const int err = FILE_md5_of_file(argv[2], hex);
        if (err) return 1;
        printf("%s  %s\n", hex.c_str(), argv[2]);
        return 0;
    }
    const char* given = getenv("CORVANE_BENCH_FILE");
    const char* tmp = getenv("TMPDIR");
    const std::string base = std::string(tmp && *tmp ? tmp : "/tmp") + "/corvane-md5-bench-" + std::to_string(getpid());
    const std::string path = given ? given : base;
    const std::string out = base + ".out";
    if (!given && !make_file(path)) {
        fprintf(stderr, "cannot write the 512 MiB test file %s\n", path.c_str());
        unlink(path.c_str());
        return 1;
    }
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string me = n > 0 ? std::string(self, (size_t)n) : argv[0];

    std::string ours;
    const int err = FILE_md5_of_file(path, ours);
    const bool theirs_ok = BENCH_run({"md5sum", path}, "", out);
    const std::string theirs = first_32(out);
    const bool process_ok = BENCH_run({me, "--md5", path}, "", out);
    printf("%s\nFILE_md5_of_file %s (result %d)\nwhole process    %s\nmd5sum           %s\n", path.c_str(),
           ours.c_str(), err, first_32(out).c_str(), theirs.c_str());
    int rc = 0;
    if (err || !theirs_ok || !process_ok || ours != theirs || first_32(out) != theirs) {
        fprintf(stderr, "the digests differ\n");
        rc = 1;
    } else {
        std::string hex;
        std::vector<BENCH_side> sides = {
            {"FILE_md5_of_file, whole process", [&] { return BENCH_run({me, "--md5", path}, "", "/dev/null"); }, {}},
            {"md5sum, whole process", [&] { return BENCH_run({"md5sum", path}, "", "/dev/null"); }, {}},
            {"FILE_md5_of_file, call", [&] { return FILE_md5_of_file(path, hex) == 0; }, {}},
        };
        if (!BENCH_alternate("MD5 of a 512 MiB file from the page cache", sides, BENCH_rounds(7))) rc = 1;
    }
    unlink(out.c_str());
    if (!given) unlink(path.c_str());
    return rc;
}
