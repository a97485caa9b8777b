// The allocation functions and the memory report, checked against /proc read at the same moment.
#include "foundation/debug_cmds.h"
#include "foundation/hl_memory.h"
#include "frame/hl_init.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>

#include <climits>
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

static std::string unit_text(uint64_t v)
{
    long long n;
    char c;
    MEM_unit_rule(v, &n, &c);
    return std::to_string(n) + c;
}

// The byte range a printed "number letter" stands for.
static void unit_range(long long n, char c, uint64_t& lo, uint64_t& hi)
{
    int shift = c == 'G' ? 30 : c == 'M' ? 20 : c == 'K' ? 10 : 0;
    lo = (uint64_t)n << shift;
    hi = ((uint64_t)n + 1) << shift;
}

static std::map<std::string, uint64_t> read_kb(const char* path)
{
    std::map<std::string, uint64_t> out;
    std::ifstream f(path);
    std::string line;
    while (std::getline(f, line)) {
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        out[line.substr(0, colon)] = std::strtoull(line.c_str() + colon + 1, nullptr, 10) * 1024;
    }
    return out;
}

static uint64_t page_faults()
{
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return (uint64_t)ru.ru_minflt + (uint64_t)ru.ru_majflt;
}

// The value printed after a label, as number and letter.
static bool field(const std::string& report, const std::string& label, long long& n, char& c)
{
    size_t at = report.find(label);
    if (at == std::string::npos) return false;
    c = 0;
    return std::sscanf(report.c_str() + at + label.size(), "%lld%c", &n, &c) >= 1;
}

// A printed size lies within [a, b], give or take the fraction slack and the absolute slack
// (the machine moves on; the report's own working memory is counted).
static void expect_size_between(const std::string& report, const std::string& label, uint64_t a, uint64_t b,
                                double slack, double bytes = 0)
{
    long long n;
    char c;
    ASSERT_TRUE(field(report, label, n, c)) << label;
    uint64_t lo, hi;
    unit_range(n, c, lo, hi);
    double want_lo = (double)std::min(a, b) * (1 - slack) - bytes, want_hi = (double)std::max(a, b) * (1 + slack) + bytes;
    EXPECT_TRUE((double)hi > want_lo && (double)lo <= want_hi + 1)
        << label << n << c << " against " << a << ".." << b;
}

struct maps_line {
    uint64_t start, end;
    std::string perms, path;
};

static std::vector<maps_line> read_maps()
{
    std::vector<maps_line> out;
    std::ifstream f("/proc/self/maps");
    std::string line;
    while (std::getline(f, line)) {
        maps_line m;
        char perms[8];
        int at = 0;
        unsigned long long s, e;
        if (std::sscanf(line.c_str(), "%llx-%llx %7s %*x %*x:%*x %*u %n", &s, &e, perms, &at) < 3) continue;
        m.start = s;
        m.end = e;
        m.perms = perms;
        m.path = at > 0 && (size_t)at <= line.size() ? line.substr((size_t)at) : "";
        out.push_back(m);
    }
    return out;
}

struct region {
    uint64_t start, base;
    long long n;
    char c;
    std::string prot, state, type, name;
};

static std::vector<region> parse_regions(const std::string& report)
{
    std::vector<region> out;
    std::istringstream in(report);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("        0x", 0) != 0 || line.find('(') == std::string::npos) continue;
        region r;
        unsigned long long s, b;
        char prot[8] = {0}, state[16] = {0}, type[16] = {0};
        int n = std::sscanf(line.c_str(), " 0x%llx 0x%llx %lld%c (%7s %15s %15[^)]", &s, &b, &r.n, &r.c, prot, state, type);
        if (n < 6) continue;
        r.start = s;
        r.base = b;
        r.prot = prot;
        r.state = state;
        r.type = n == 7 ? type : "";
        while (!r.type.empty() && r.type[0] == ' ') r.type.erase(0, 1);
        size_t close = line.find(") ");
        r.name = close == std::string::npos ? "" : line.substr(close + 2);
        out.push_back(r);
    }
    return out;
}

static std::string protection_of(const std::string& perms)
{
    bool r = perms[0] == 'r', w = perms[1] == 'w', x = perms[2] == 'x';
    if (x) return w ? "xrw" : r ? "xr" : "x";
    if (w) return "rw";
    return r ? "r" : "na";
}

// One report against /proc before (a) and after (b) it.
static void check_report(const std::string& report, const std::map<std::string, uint64_t>& ma,
                         const std::map<std::string, uint64_t>& mb, const std::map<std::string, uint64_t>& sa,
                         const std::map<std::string, uint64_t>& sb, uint64_t faults_a, uint64_t faults_b,
                         const std::vector<maps_line>& maps_a, const std::vector<maps_line>& maps_b,
                         const struct mallinfo2& heap_a, const struct mallinfo2& heap_b)
{
    // The machine.
    long long load;
    char unused;
    ASSERT_TRUE(field(report, "    Load:", load, unused));
    auto load_of = [](const std::map<std::string, uint64_t>& m) {
        return (long long)(100 * (m.at("MemTotal") - m.at("MemAvailable")) / m.at("MemTotal"));
    };
    EXPECT_GE(load, std::min(load_of(ma), load_of(mb)) - 3);
    EXPECT_LE(load, std::max(load_of(ma), load_of(mb)) + 3);
    long long n;
    char c;
    ASSERT_TRUE(field(report, "    Total Physical Memory:", n, c));
    EXPECT_EQ(std::to_string(n) + c, unit_text(ma.at("MemTotal")));
    expect_size_between(report, "    Avail Physical Memory:", ma.at("MemAvailable"), mb.at("MemAvailable"), 0.1);
    expect_size_between(report, "    Total Pagefile Memory:", ma.at("SwapTotal"), mb.at("SwapTotal"), 0);
    expect_size_between(report, "    Avail Pagefile Memory:", ma.at("SwapFree"), mb.at("SwapFree"), 0.1);
    ASSERT_TRUE(field(report, "    Total Virtual Memory:", n, c));
    EXPECT_EQ(std::to_string(n) + c, "131071G");
    EXPECT_NE(report.find("    This copy of Corvane is running with 3 GB of available address space.\n"), std::string::npos);

    // The process.
    long long faults;
    ASSERT_TRUE(field(report, "    Page faults:", faults, unused));
    EXPECT_GE((uint64_t)faults, faults_a);
    EXPECT_LE((uint64_t)faults, faults_b);
    expect_size_between(report, "    Peak working set size:", sa.at("VmHWM"), sb.at("VmHWM"), 0.02);
    expect_size_between(report, "    Curr working set size:", sa.at("VmRSS"), sb.at("VmRSS"), 0.02);
    expect_size_between(report, "    Curr Pagefile Usage:", sa.at("VmSwap"), sb.at("VmSwap"), 0.02);
    EXPECT_EQ(report.find("Paged-Pool"), std::string::npos);

    // The address space: from 0 to the end without a hole or an overlap, each size by the rule.
    std::vector<region> regions = parse_regions(report);
    ASSERT_GT(regions.size(), 10u);
    EXPECT_EQ(regions[0].start, 0u);
    uint64_t free_sum = 0, commit = 0, reserve = 0, image = 0, mapped = 0, priv = 0, largest = 0;
    for (size_t i = 0; i < regions.size(); ++i) {
        const region& r = regions[i];
        uint64_t next = i + 1 < regions.size() ? regions[i + 1].start : kEnd;
        ASSERT_GT(next, r.start);
        EXPECT_EQ(std::to_string(r.n) + r.c, unit_text(next - r.start)) << std::hex << r.start;
        uint64_t size = next - r.start;
        if (r.state == "free") {
            EXPECT_EQ(r.type, "");
            EXPECT_EQ(r.prot, "na");
            free_sum += size;
            largest = std::max(largest, size);
            if (i > 0) {
                EXPECT_NE(regions[i - 1].state, "free");
            }
            continue;
        }
        (r.state == "commit" ? commit : reserve) += size;
        (r.type == "image" ? image : r.type == "mapped" ? mapped : priv) += size;
    }
    EXPECT_EQ(free_sum + commit + reserve, kEnd);
    EXPECT_EQ(image + mapped + priv, commit + reserve);
    const std::pair<const char*, uint64_t> totals[] = {
        {"    Total Free:", free_sum},  {"    Total Commited", commit}, {"    Total Reserved", reserve},
        {"    Total Images", image},    {"    Total Mapped", mapped},   {"    Total Private", priv},
        {"    Largest Free", largest},  {"    Avail Virtual Memory:", free_sum}};
    for (const auto& [label, value] : totals) {
        ASSERT_TRUE(field(report, label, n, c)) << label;
        EXPECT_EQ(std::to_string(n) + c, unit_text(value)) << label;
    }

    // Every mapping that stood still across the report is listed once with its fields.
    std::map<uint64_t, int> listed;
    for (const region& r : regions) ++listed[r.start];
    int compared = 0, images = 0;
    for (const maps_line& m : maps_b) {
        if (m.start >= kEnd) continue;
        bool stable = false;
        for (const maps_line& a : maps_a)
            stable |= a.start == m.start && a.end == m.end && a.perms == m.perms && a.path == m.path;
        if (!stable) continue;
        ASSERT_EQ(listed[m.start], 1) << std::hex << m.start << " " << m.path;
        const region* r = nullptr;
        for (const region& x : regions)
            if (x.start == m.start) r = &x;
        ASSERT_TRUE(r);
        EXPECT_EQ(std::to_string(r->n) + r->c, unit_text(m.end - m.start));
        EXPECT_EQ(r->prot, protection_of(m.perms)) << m.perms;
        EXPECT_EQ(r->state, m.perms.substr(0, 3) == "---" ? "reserve" : "commit");
        std::string name = m.path.substr(m.path.find_last_of('/') == std::string::npos ? 0 : m.path.find_last_of('/') + 1);
        EXPECT_EQ(r->name, name);
        if (m.path.find("libc.so") != std::string::npos || m.path.find("test_memory") != std::string::npos ||
            m.path == "[vdso]") {
            EXPECT_EQ(r->type, "image") << m.path;
            EXPECT_LE(r->base, r->start);
            ++images;
        } else if (m.path == "[heap]" || m.path == "[stack]") {
            EXPECT_EQ(r->type, "private") << m.path;
            EXPECT_EQ(r->base, r->start);
        }
        ++compared;
    }
    EXPECT_GT(compared, 10);
    EXPECT_GE(images, 3);

    // The one heap, totalled by the run-time library.
    EXPECT_NE(report.find("    Corvane has has 1 heaps - I will now list them.\n        Process Heap 0x"), std::string::npos);
    EXPECT_NE(report.find("    Summary info for all heaps:\n        Total size:"), std::string::npos);
    expect_size_between(report, "        Total size:", heap_a.arena + heap_a.hblkhd, heap_b.arena + heap_b.hblkhd, 0.05, 512 << 10);
    expect_size_between(report, "        Total used:", heap_a.uordblks + heap_a.hblkhd, heap_b.uordblks + heap_b.hblkhd, 0.05, 512 << 10);
    EXPECT_EQ(report.find("Biggest"), std::string::npos);
}

// The report of a whole run: the first replaces an older file, the second (the debug command) is
// appended, and one that cannot be written to the program's folder goes to standard output.
TEST(MemoryReport, TwoReportsMatchProcThenStandardOutput)
{
    const std::string dir = TS_new_dir("report");
    TS_write_file(dir + "MemoryLog.txt", "an older report\n");
    gAppFolder = dir;
    std::ostringstream log;
    MEM_set_log_stream(&log);

    DBG_command* cmd = DBG_list_head();
    while (cmd && std::strcmp(cmd->name, "Dump Memory Info") != 0) cmd = cmd->next;
    ASSERT_TRUE(cmd);
    EXPECT_EQ(cmd->serial, 1);
    EXPECT_EQ(cmd->callback, &MEM_dump_info_cmd);

    std::string reports[2];
    for (int i = 0; i < 2; ++i) {
        auto ma = read_kb("/proc/meminfo");
        auto sa = read_kb("/proc/self/status");
        auto maps_a = read_maps();
        uint64_t faults_a = page_faults();
        struct mallinfo2 heap_a = mallinfo2();
        size_t before = TS_read_file(dir + "MemoryLog.txt").size();
        if (i == 0) MEM_dump_info("the first report");
        else cmd->callback();
        struct mallinfo2 heap_b = mallinfo2();
        uint64_t faults_b = page_faults();
        auto maps_b = read_maps();
        auto sb = read_kb("/proc/self/status");
        auto mb = read_kb("/proc/meminfo");
        std::string text = TS_read_file(dir + "MemoryLog.txt");
        reports[i] = i == 0 ? text : text.substr(before);
        SCOPED_TRACE(i);
        check_report(reports[i], ma, mb, sa, sb, faults_a, faults_b, maps_a, maps_b, heap_a, heap_b);
    }
    const std::string file = TS_read_file(dir + "MemoryLog.txt");
    EXPECT_EQ(file, reports[0] + reports[1]);
    EXPECT_EQ(file.rfind("Windows Virtual Memory Info:\n", 0), 0u);
    EXPECT_EQ(TS_count(file, "Windows Virtual Memory Info:\n"), 2);
    EXPECT_EQ(log.str(), "I am dumping information about memory to MemoryLog.txt.  This memory dump was generated by: "
                         "the first report.\n"
                         "I am dumping information about memory to MemoryLog.txt.  This memory dump was generated by: "
                         "Remote command (from plugin).\n");

    // A program folder that cannot be written (it is a file) sends the report to standard output.
    TS_write_file(dir + "not_a_folder", "x");
    gAppFolder = dir + "not_a_folder/";
    testing::internal::CaptureStdout();
    MEM_dump_info("no folder");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Windows Virtual Memory Info:\n    Load:", 0), 0u);
    EXPECT_NE(out.find("    Summary info for all heaps:\n"), std::string::npos);
    EXPECT_EQ(TS_read_file(dir + "MemoryLog.txt"), file);
    MEM_set_log_stream(nullptr);
}

TEST(MemoryReport, UnitRuleWritesWholeNumbers)
{
    const std::pair<uint64_t, const char*> cases[] = {
        {0, "0B"},         {1000, "1000B"},          {1433, "1433B"},          {1434, "1K"},
        {1468006, "1433K"}, {1468007, "1M"},         {4294967295ull, "4095M"}, {15032385536ull, "14336M"},
        {15032385537ull, "14G"}, {UINT64_MAX, "17179869183G"}};
    for (const auto& [v, want] : cases) EXPECT_EQ(unit_text(v), want) << v;
}

// Keeps a result alive so the compiler cannot drop an allocation.
static void* volatile sSink;

static void* sBallast = nullptr;
static int sHandlerCalls = 0;
static void free_ballast_on_third_call()
{
    if (++sHandlerCalls == 3) {
        std::free(sBallast);
        sBallast = nullptr;
    }
}

// Exits 10 + the handler's calls when the request succeeded once the ballast was gone.
[[noreturn]] static void allocate_under_limit()
{
    auto status = read_kb("/proc/self/status");
    struct rlimit lim = {(rlim_t)(status["VmSize"] + (512u << 20)), RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &lim);
    sBallast = std::malloc(384u << 20);
    if (!sBallast) _exit(2);
    std::set_new_handler(free_ballast_on_third_call);
    void* p = operator new(size_t(256) << 20);
    _exit(p && !sBallast ? 10 + sHandlerCalls : 3);
}

TEST(Allocation, ZeroBytesHugeRequestsAndTheNewHandler)
{
    // Two empty requests are two blocks.
    void* a = operator new(0);
    void* b = operator new(0);
    void* c = operator new[](0);
    EXPECT_NE(a, b);
    EXPECT_NE(a, c);
    EXPECT_GE(malloc_usable_size(a), 1u);
    operator delete(a);
    operator delete(b);
    operator delete[](c);
    operator delete(nullptr);
    operator delete[](nullptr);

    // Without a handler an impossible request throws; the size reaches malloc whole.
    std::set_new_handler(nullptr);
    volatile size_t impossible = SIZE_MAX / 2;
    EXPECT_THROW(sSink = operator new(impossible), std::bad_alloc);
    EXPECT_THROW(sSink = MEM_tagged_new(impossible, "test", 0), std::bad_alloc);
    EXPECT_THROW(sSink = new char[impossible], std::bad_alloc);

    // Above 4 GiB: that many bytes, or bad_alloc when the system will not give them; never a
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
