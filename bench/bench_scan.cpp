// The install scan (install_scan_md5 polled at 60 Hz, as the frame loop polls it, one worker per
// processor) beside `xargs -P<processors> -n 4 md5sum` on the same files, runs taken in turn,
// medians printed: 20,000 files of 4 KiB, where handing jobs over costs most, and 1 GiB in 300
// files, where hashing does. The trees are made under $CORVANE_BENCH_DIR when set (and kept),
// else in a temporary folder removed here. md5sum's digests become the directory file, so every
// scan must find every file up to date; that first pass also fills the page cache.
// $CORVANE_BENCH_ROUNDS sets the runs per side (default 5).
#include "app/main.h"
#include "bench/bench_support.h"
#include "engine/checksum_task.h"
#include "engine/utils.h"
#include "foundation/UTL_thread.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

// One tree of the comparison.
struct scan_tree {
    const char* title;
    std::string root;               // ends in '/'
    int files;
    uint64_t total;                 // bytes
    std::vector<std::string> names; // install-relative
    std::string list_file;          // the names as absolute paths, NUL-separated
};

static bool write_file(const std::string& path, uint64_t size, std::mt19937_64& gen)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::vector<uint64_t> block(1 << 16); // 512 KiB
    bool ok = true;
    for (uint64_t done = 0; ok && done < size;) {
        const size_t n = (size_t)std::min<uint64_t>(size - done, block.size() * 8);
        for (size_t i = 0; i < (n + 7) / 8; ++i) block[i] = gen();
        ok = write(fd, block.data(), n) == (ssize_t)n;
        done += n;
    }
    return close(fd) == 0 && ok;
}

// File i's size: the mean, or a third or two thirds of it more or less, in pairs that cancel;
// the last file takes what is left, so that they add up to the total.
static uint64_t file_size(const scan_tree& t, int i, uint64_t so_far)
{
    const uint64_t mean = t.total / (uint64_t)t.files;
    if (i == t.files - 1) return t.total - so_far;
    const uint64_t offset = mean / 3 * (uint64_t)((i / 2) % 3);
    return i % 2 == 0 ? mean + offset : mean - offset;
}

static const int kFolders = 12;

static bool make_tree(scan_tree& t)
{
    mkdir(t.root.c_str(), 0700);
    std::mt19937_64 gen(7);
    uint64_t total = 0;
    std::string list;
    for (int i = 0; i < t.files; ++i) {
        const std::string folder = "folder " + std::to_string(i % kFolders) + "/";
        mkdir((t.root + folder).c_str(), 0700);
        const std::string name = folder + "file" + std::to_string(i) + ".bin";
        t.names.push_back(name);
        list += t.root + name + '\0';
        struct stat st;
        const uint64_t size = file_size(t, i, total);
        total += size;
        if (stat((t.root + name).c_str(), &st) == 0 && (uint64_t)st.st_size == size) continue;
        if (!write_file(t.root + name, size, gen)) return false;
    }
    t.list_file = t.root + "names.bin";
    FILE* f = fopen(t.list_file.c_str(), "wb");
    const bool listed = f && fwrite(list.data(), 1, list.size(), f) == list.size();
    if (f) fclose(f);
    return listed && total == t.total;
}

// The directory file of the tree with md5sum's digests, read into the plan.
static bool load_plan(scan_tree& t)
{
    const std::string sums = t.root + "md5sums.txt";
    std::map<std::string, std::string> digest;
    if (!BENCH_run({"xargs", "-0", "md5sum"}, t.list_file, sums)) return false;
    FILE* in = fopen(sums.c_str(), "r");
    char line[4096];
    while (in && fgets(line, sizeof line, in)) {
        std::string l(line);
        if (!l.empty() && l.back() == '\n') l.pop_back();
        if (l.size() > 34 + t.root.size()) digest[l.substr(34 + t.root.size())] = l.substr(0, 32);
    }
    if (in) fclose(in);
    unlink(sums.c_str());
    std::string dir = "I\n1000 bench\nINSTALLER\n";
    for (const auto& n : t.names)
        dir += "FILE 1 0 0 1 1 " + (digest.count(n) ? digest[n] : std::string("missing")) + " " + n + "\n";
    const std::string dir_path = t.root + "directory.txt";
    FILE* f = fopen(dir_path.c_str(), "w");
    const bool written = f && fwrite(dir.data(), 1, dir.size(), f) == dir.size();
    if (f) fclose(f);
    gInstallPath = t.root;
    gTargetOS = 2;
    const bool ok = digest.size() == t.names.size() && written && install_read_directory_file(dir_path) == 3 &&
                    gPlan.install_groups.size() == t.names.size();
    unlink(dir_path.c_str());
    return ok;
}

// One scan as the Search step runs it: one poll per frame of 1/60 s.
static bool engine_scan()
{
    for (auto& g : gPlan.install_groups) g.back().up_to_date = 0;
    int next = 0;
    float progress = 0;
    const auto frame = std::chrono::microseconds(16667);
    auto tick = std::chrono::steady_clock::now();
    while (install_scan_md5(next, progress) == 0) {
        tick += frame;
        std::this_thread::sleep_until(tick);
    }
    for (const auto& g : gPlan.install_groups)
        if (!g.back().up_to_date) {
            fprintf(stderr, "not up to date: %s\n", g.back().path.c_str());
            return false;
        }
    return true;
}

static void remove_tree(const scan_tree& t)
{
    unlink(t.list_file.c_str());
    for (const auto& n : t.names) unlink((t.root + n).c_str());
    for (int i = 0; i < kFolders; ++i) rmdir((t.root + "folder " + std::to_string(i)).c_str());
    rmdir(t.root.c_str());
}

int main()
{
    const char* given = getenv("CORVANE_BENCH_DIR");
    const char* tmp = getenv("TMPDIR");
    const std::string tmp_root = std::string(tmp && *tmp ? tmp : "/tmp");
    std::string base = given ? given : tmp_root + "/corvane-scan-bench-" + std::to_string(getpid());
    if (base.back() != '/') base += '/';
    mkdir(base.c_str(), 0700);
    const std::string procs = std::to_string(THREAD_cpu_count());
    std::vector<scan_tree> trees = {{"20,000 files of 4 KiB", base + "small/", 20000, 20000ull * 4096, {}, ""},
                                    {"1 GiB in 300 files", base + "large/", 300, 1ull << 30, {}, ""}};
    int rc = 0;
    for (scan_tree& t : trees) {
        if (!make_tree(t) || !load_plan(t)) {
            fprintf(stderr, "cannot make the tree or its directory file in %s\n", t.root.c_str());
            rc = 1;
            break;
        }
        std::vector<BENCH_side> sides = {
            {"install_scan_md5 at 60 Hz, " + procs + " workers", engine_scan, {}},
            {"xargs -P" + procs + " -n 4 md5sum",
             [&] { return BENCH_run({"xargs", "-0", "-P", procs, "-n", "4", "md5sum"}, t.list_file, "/dev/null"); },
             {}},
        };
        const std::string title = std::string("Scan of ") + t.title + " from the page cache";
        if (!BENCH_alternate(title.c_str(), sides, BENCH_rounds(5))) rc = 1;
    }
    install_stop_md5_pool();
    if (!given) {
        for (const scan_tree& t : trees) remove_tree(t);
        rmdir(base.c_str());
    }
    return rc;
}
