// The allocation functions and the memory report, checked against /proc read at the same moment.
#include "foundation/debug_cmds.h"
#include "foundation/hl_memory.h"
#include "foundation/xmap.h"
#include "frame/hl_init.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>

#include <cstring>
#include <fstream>
#include <map>
#include <new>
#include <sstream>

// Huge requests must come back as null from the sanitizer's allocator, as from the system's.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1:detect_leaks=0";
}

static const uint64_t kEnd = 0x7ffffffff000ull;

static std::string unit(uint64_t v)
{
    long long n;
    char c;
    MEM_unit_rule(v, &n, &c);
    return std::to_string(n) + c;
}

static std::map<std::string, uint64_t> read_kb(const char* path)
{
    std::map<std::string, uint64_t> out;
    std::ifstream f(path);
    for (std::string line; std::getline(f, line);)
        if (size_t colon = line.find(':'); colon != std::string::npos)
            out[line.substr(0, colon)] = std::strtoull(line.c_str() + colon + 1, nullptr, 10) * 1024;
    return out;
}

// The "number letter" printed after a label.
static std::string printed(const std::string& report, const std::string& label)
{
    size_t at = report.find(label);
    long long n = 0;
    char c = 0;
    if (at == std::string::npos || std::sscanf(report.c_str() + at + label.size(), "%lld%c", &n, &c) < 1) return "?";
    return std::to_string(n) + (c == ' ' ? std::string() : std::string(1, c));
}

// A printed size agrees with the figure read before (a) and after (b), within the unit and the slack.
static bool agrees(const std::string& text, uint64_t a, uint64_t b, double slack, double bytes = 0)
{
    const char c = text.back();
    const int shift = c == 'G' ? 30 : c == 'M' ? 20 : c == 'K' ? 10 : 0;
    const double lo = (double)(std::stoull(text) << shift), step = (double)(1ull << shift);
    return lo + step > (double)std::min(a, b) * (1 - slack) - bytes && lo <= (double)std::max(a, b) * (1 + slack) + bytes;
}

struct snapshot {
    std::map<std::string, uint64_t> mem, status;
    std::vector<std::string> maps;
    uint64_t faults;
    struct mallinfo2 heap;
    void take()
    {
        mem = read_kb("/proc/meminfo");
        status = read_kb("/proc/self/status");
        maps.clear();
        std::ifstream f("/proc/self/maps");
        for (std::string line; std::getline(f, line);) maps.push_back(line);
        struct rusage ru;
        getrusage(RUSAGE_SELF, &ru);
        faults = (uint64_t)(ru.ru_minflt + ru.ru_majflt);
        heap = mallinfo2();
    }
};

static void check_report(const std::string& report, const snapshot& a, const snapshot& b)
{
    // The machine and the process.
    const long long load_a = (long long)(100 * (a.mem.at("MemTotal") - a.mem.at("MemAvailable")) / a.mem.at("MemTotal"));
    EXPECT_NEAR(std::stoll(printed(report, "    Load:")), load_a, 3);
    EXPECT_EQ(printed(report, "    Total Physical Memory:"), unit(a.mem.at("MemTotal")));
    EXPECT_TRUE(agrees(printed(report, "    Avail Physical Memory:"), a.mem.at("MemAvailable"), b.mem.at("MemAvailable"), 0.1));
    EXPECT_EQ(printed(report, "    Total Pagefile Memory:"), unit(a.mem.at("SwapTotal")));
    EXPECT_TRUE(agrees(printed(report, "    Avail Pagefile Memory:"), a.mem.at("SwapFree"), b.mem.at("SwapFree"), 0.1));
    EXPECT_EQ(printed(report, "    Total Virtual Memory:"), "131071G");
    EXPECT_NE(report.find("    This copy of Corvane is running with 3 GB of available address space.\n"), std::string::npos);
    const uint64_t faults = std::stoull(printed(report, "    Page faults:"));
    EXPECT_TRUE(faults >= a.faults && faults <= b.faults) << faults;
    EXPECT_TRUE(agrees(printed(report, "    Peak working set size:"), a.status.at("VmHWM"), b.status.at("VmHWM"), 0.02));
    EXPECT_TRUE(agrees(printed(report, "    Curr working set size:"), a.status.at("VmRSS"), b.status.at("VmRSS"), 0.02));
    EXPECT_TRUE(agrees(printed(report, "    Curr Pagefile Usage:"), a.status.at("VmSwap"), b.status.at("VmSwap"), 0.02));

    // The address space from 0 to its end without a hole or an overlap, each size by the rule.
    struct region {
        unsigned long long start, base;
        std::string size, prot, state, type, name;
    };
    std::vector<region> regions;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);) {
        region r;
        char size[24], prot[8], state[16], type[16] = "";
        if (std::sscanf(line.c_str(), "        0x%llx 0x%llx %23s (%7s %15s %15[^)]", &r.start, &r.base, size, prot, state, type) < 5)
            continue;
        r.size = size, r.prot = prot, r.state = state, r.type = type;
        r.type.erase(0, r.type.find_first_not_of(' ') == std::string::npos ? r.type.size() : r.type.find_first_not_of(' '));
        r.name = line.substr(line.find(") ") + 2);
        regions.push_back(r);
    }
    ASSERT_GT(regions.size(), 10u);
    EXPECT_EQ(regions[0].start, 0u);
    std::map<std::string, uint64_t> sum;
    std::map<unsigned long long, const region*> at;
    uint64_t largest = 0;
    for (size_t i = 0; i < regions.size(); ++i) {
        const region& r = regions[i];
        const uint64_t size = (i + 1 < regions.size() ? regions[i + 1].start : kEnd) - r.start;
        ASSERT_TRUE(size > 0 && size <= kEnd) << std::hex << r.start;
        EXPECT_EQ(r.size, unit(size)) << std::hex << r.start;
        EXPECT_TRUE(at.emplace(r.start, &r).second);
        sum[r.state] += size;
        sum[r.type] += size;
        if (r.state == "free") {
            largest = std::max(largest, size);
            EXPECT_TRUE(r.type.empty() && r.prot == "na" && r.base == 0);
        }
    }
    EXPECT_EQ(sum["free"] + sum["commit"] + sum["reserve"], kEnd);
    EXPECT_EQ(sum["image"] + sum["mapped"] + sum["private"], sum["commit"] + sum["reserve"]);
    for (auto [label, value] : {std::pair<const char*, uint64_t>{"    Total Free:", sum["free"]}, {"    Total Commited", sum["commit"]},
                                {"    Total Reserved", sum["reserve"]}, {"    Total Images", sum["image"]},
                                {"    Total Mapped", sum["mapped"]}, {"    Total Private", sum["private"]},
                                {"    Largest Free", largest}, {"    Avail Virtual Memory:", sum["free"]}})
        EXPECT_EQ(printed(report, label), unit(value)) << label;

    // Every mapping that stood still across the report is listed once with its fields.
    int compared = 0, images = 0, mapped = 0;
    for (const std::string& line : b.maps) {
        if (std::find(a.maps.begin(), a.maps.end(), line) == a.maps.end()) continue;
        unsigned long long s, e;
        char perms[8];
        int name_at = 0;
        std::sscanf(line.c_str(), "%llx-%llx %7s %*x %*x:%*x %*u %n", &s, &e, perms, &name_at);
        if (s >= kEnd) continue;
        ASSERT_TRUE(at.count(s)) << line;
        const region& r = *at[s];
        const std::string p = perms, path = line.substr((size_t)name_at);
        const bool rd = p[0] == 'r', wr = p[1] == 'w', ex = p[2] == 'x';
        EXPECT_EQ(r.size, unit(e - s)) << line;
        EXPECT_EQ(r.prot, ex ? (wr ? "xrw" : rd ? "xr" : "x") : wr ? "rw" : rd ? "r" : "na") << line;
        EXPECT_EQ(r.state, rd || wr || ex ? "commit" : "reserve") << line;
        EXPECT_EQ(r.name, path.substr(path.find_last_of('/') + 1)) << line;
        if (path.find("libc.so") != std::string::npos || path.ends_with("/test_memory") || path == "[vdso]") {
            EXPECT_TRUE(r.type == "image" && r.base <= r.start && r.base > 0) << line;
            ++images;
        }
        if (path == "[heap]" || path == "[stack]") {
            EXPECT_TRUE(r.type == "private" && r.base == r.start) << line;
        }
        if (path.find("viewed.dat") != std::string::npos) {
            EXPECT_TRUE(r.type == "mapped" && r.name == "viewed.dat" && r.prot == "r") << line;
            ++mapped;
        }
        ++compared;
    }
    EXPECT_GT(compared, 10);
    EXPECT_GE(images, 3);
    EXPECT_EQ(mapped, 1);

    // The one heap, totalled by the run-time library (the report's own working memory counts).
    EXPECT_NE(report.find("    Corvane has has 1 heaps - I will now list them.\n        Process Heap 0x"), std::string::npos);
    EXPECT_TRUE(agrees(printed(report, "        Total size:"), a.heap.arena + a.heap.hblkhd, b.heap.arena + b.heap.hblkhd, 0.05, 512 << 10));
    EXPECT_TRUE(agrees(printed(report, "        Total used:"), a.heap.uordblks + a.heap.hblkhd, b.heap.uordblks + b.heap.hblkhd, 0.05, 512 << 10));
    EXPECT_NE(report.find("    Summary info for all heaps:\n        Total size:"), std::string::npos);
}

// A whole run: the first report replaces an older file, the second (the debug command) is
// appended, and one that cannot be written to the program's folder goes to standard output.
TEST(MemoryReport, TwoReportsMatchProcThenStandardOutput)
{
    const std::string dir = TS_new_dir("report");
    TS_write_file(dir + "MemoryLog.txt", "an older report\n");
    gAppFolder = dir;
    std::ostringstream log;
    MEM_set_log_stream(&log);
    // A file viewed by the program stands in the list as "mapped".
    TS_write_file(dir + "viewed.dat", std::string(64 << 10, 'v'));
    xmap_file view(dir + "viewed.dat");
    ASSERT_TRUE(view.begin);

    DBG_command* cmd = DBG_list_head();
    while (cmd && std::strcmp(cmd->name, "Dump Memory Info") != 0) cmd = cmd->next;
    ASSERT_TRUE(cmd);
    EXPECT_EQ(cmd->serial, 1);

    std::string reports[2];
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        snapshot a, b;
        a.take();
        size_t before = i == 0 ? 0 : TS_read_file(dir + "MemoryLog.txt").size();
        i == 0 ? MEM_dump_info("the first report") : cmd->callback();
        b.take();
        reports[i] = TS_read_file(dir + "MemoryLog.txt").substr(before);
        check_report(reports[i], a, b);
    }
    const std::string file = TS_read_file(dir + "MemoryLog.txt");
    EXPECT_EQ(file, reports[0] + reports[1]);
    EXPECT_EQ(file.rfind("Windows Virtual Memory Info:\n", 0), 0u);
    EXPECT_EQ(log.str(), "I am dumping information about memory to MemoryLog.txt.  This memory dump was generated by: "
                         "the first report.\n"
                         "I am dumping information about memory to MemoryLog.txt.  This memory dump was generated by: "
                         "Remote command (from plugin).\n");

    // The program's folder is a file here, so nothing can be written in it.
    TS_write_file(dir + "not_a_folder", "x");
    gAppFolder = dir + "not_a_folder/";
    testing::internal::CaptureStdout();
    MEM_dump_info("no folder");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Windows Virtual Memory Info:\n    Load:", 0), 0u);
    EXPECT_NE(out.find("    Summary info for all heaps:\n"), std::string::npos);
    EXPECT_EQ(TS_read_file(dir + "MemoryLog.txt"), file);
    MEM_set_log_stream(nullptr);
}

TEST(MemoryReport, UnitRuleWritesWholeNumbers)
{
    const std::pair<uint64_t, const char*> cases[] = {
        {0, "0B"},        {1000, "1000B"},         {1433, "1433B"},          {1434, "1K"},
        {1468006, "1433K"}, {1468007, "1M"},       {4294967295ull, "4095M"}, {15032385536ull, "14336M"},
        {15032385537ull, "14G"}, {UINT64_MAX, "17179869183G"}};
    for (const auto& [v, want] : cases) EXPECT_EQ(unit(v), want) << v;
}

static void* volatile sSink; // keeps results alive so no allocation is dropped
static void* sBallast = nullptr;
static int sHandlerCalls = 0;

// Under an address-space limit a request fails until the new-handler gives the ballast back, on
// its third call; exits with 10 + the handler's calls when the request then succeeded.
[[noreturn]] static void allocate_under_limit()
{
    struct rlimit lim = {(rlim_t)(read_kb("/proc/self/status")["VmSize"] + (512u << 20)), RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &lim);
    sBallast = std::malloc(384u << 20);
    std::set_new_handler([] {
        if (++sHandlerCalls == 3) std::free(sBallast), sBallast = nullptr;
    });
    void* p = sBallast ? operator new(size_t(256) << 20) : nullptr;
    _exit(p && !sBallast ? 10 + sHandlerCalls : 3);
}

TEST(Allocation, ZeroBytesHugeRequestsAndTheNewHandler)
{
    void* a = operator new(0);
    void* b = operator new(0);
    void* c = operator new[](0);
    EXPECT_TRUE(a != b && a != c && malloc_usable_size(a) >= 1);
    operator delete(a);
    operator delete(b);
    operator delete[](c);
    operator delete(nullptr);

    // Without a handler an impossible request throws; the size reaches malloc whole.
    std::set_new_handler(nullptr);
    volatile size_t impossible = SIZE_MAX / 2;
    EXPECT_THROW(sSink = operator new(impossible), std::bad_alloc);
    EXPECT_THROW(sSink = new char[impossible], std::bad_alloc);
    EXPECT_EQ(operator new(impossible, std::nothrow), nullptr);

    // Above 4 GiB: that many bytes, or bad_alloc when the system will not give them, never a
    // block cut to the low 32 bits of the size.
    const size_t big = (size_t(1) << 32) + 4096;
    try {
        void* p = MEM_tagged_new(big, "test", 0);
        EXPECT_GE(malloc_usable_size(p), big);
        operator delete(p);
    } catch (const std::bad_alloc&) {
    }

    EXPECT_EXIT(allocate_under_limit(), testing::ExitedWithCode(13), "");
}
