// The crash handler in child processes: the report in "crash_log.txt" for real faults, a second
// crash appended, the exit status of the signal, the log line; the stack crawl on the own stack;
// and a thread that cannot be started.
#include "foundation/UTL_thread.h"
#include "foundation/crash_handler.h"
#include "foundation/options.h"
#include "foundation/work_queue.h"
#include "frame/hl_init.h"
#include "platform/plat_system.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sstream>
#include <sys/mman.h>
#include <unistd.h>

// The faulting functions have external linkage, so their names are in the dynamic symbol table.
__attribute__((noinline)) void crash_victim_segv()
{
    volatile int* volatile p = nullptr;
    *p = 1;
}

__attribute__((noinline)) int crash_victim_fpe()
{
    volatile int zero = 0;
    return 10 / zero;
}

__attribute__((noinline)) void crash_victim_ill()
{
    __builtin_trap();
}

__attribute__((noinline)) void crash_victim_trap()
{
    asm volatile("int3");
}

__attribute__((noinline)) void crash_victim_bus(const std::string& dir)
{
    // A mapped page past the end of its file.
    std::string path = dir + "short.bin";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || write(fd, "x", 1) != 1) _exit(20);
    long page = sysconf(_SC_PAGESIZE);
    volatile char* m = (volatile char*)mmap(nullptr, (size_t)page * 2, PROT_READ, MAP_PRIVATE, fd, 0);
    if (m == MAP_FAILED) _exit(21);
    (void)m[page];
}

__attribute__((noinline)) int crash_deep(int n)
{
    volatile int pad = n;
    if (n <= 0) crash_victim_segv();
    int below = n > 0 ? crash_deep(n - 1) : 0;
    return pad + below;
}

__attribute__((noinline)) int crash_overflow(int n)
{
    volatile char pad[512];
    pad[n % 512] = (char)n;
    if (n > 100000000) return 0;
    return crash_overflow(n + 1) + pad[(n + 1) % 512];
}

struct crash_job : UTL_work_task {
    void run() override { crash_victim_segv(); }
    std::string name() override { return "crash_job"; }
};

namespace {

// Runs the fault in a child with the handler installed, working folder dir and the log open there.
#define CRASH_IN_CHILD(dir, sig, statement)                                                             \
    EXPECT_EXIT(                                                                                        \
        {                                                                                               \
            if (chdir((dir).c_str()) != 0) _exit(30);                                                   \
            hl_open_log((dir) + "log.txt");                                                             \
            gLog << "before the crash\n";                                                               \
            gLog.flush();                                                                               \
            CRASH_install_handler();                                                                    \
            statement;                                                                                  \
            _exit(31);                                                                                  \
        },                                                                                              \
        testing::KilledBySignal(sig), "")

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) out.push_back(l);
    return out;
}

bool all_digits(const std::string& s, size_t from, size_t to)
{
    if (from >= to || to > s.size()) return false;
    for (size_t i = from; i < to; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

// "<name> + <digits>"
bool is_name_plus_offset(const std::string& s)
{
    size_t plus = s.rfind(" + ");
    return plus != std::string::npos && plus > 0 && all_digits(s, plus + 3, s.size());
}

// "  <n>) <procedure part> (<module> + <offset>)" or "... (???)"
bool is_crawl_line(const std::string& l)
{
    size_t close = l.find(") ");
    if (l.rfind("  ", 0) != 0 || close == std::string::npos || !all_digits(l, 2, close)) return false;
    if (l.size() > 6 && l.compare(l.size() - 6, 6, " (?\?\?)") == 0) return true;
    size_t open = l.rfind(" (");
    return l.back() == ')' && open != std::string::npos && open > close &&
           is_name_plus_offset(l.substr(open + 2, l.size() - open - 3));
}

bool is_flags_line(const std::string& l, const std::vector<std::string>& flags)
{
    for (const std::string& f : flags) {
        std::string head = "Flags=" + f + ", Address = 0x";
        if (l.size() != head.size() + 16 || l.rfind(head, 0) != 0) continue;
        if (l.find_first_not_of("0123456789abcdef", head.size()) == std::string::npos) return true;
    }
    return false;
}

// Checks one report starting at line `at`; returns the index after it.
size_t check_report(const std::vector<std::string>& l, size_t at, const std::string& name_and_code,
                    const std::vector<std::string>& flags, const std::string& victim)
{
    EXPECT_LT(at + 2, l.size());
    if (at + 2 >= l.size()) return l.size();
    EXPECT_EQ(l[at], "Unhandled exception: " + name_and_code);
    EXPECT_TRUE(is_flags_line(l[at + 1], flags)) << l[at + 1];
    size_t i = at + 2;
    int n = 0;
    bool victim_seen = false;
    while (i < l.size() && l[i].rfind("Unhandled exception: ", 0) != 0) {
        EXPECT_TRUE(is_crawl_line(l[i])) << l[i];
        EXPECT_EQ(l[i].rfind("  " + std::to_string(n) + ") ", 0), 0u) << l[i];
        if (l[i].find(victim) != std::string::npos) victim_seen = true;
        ++n;
        ++i;
    }
    EXPECT_GE(n, 2);
    EXPECT_LE(n, 100);
    // The faulting procedure is line 0, named from the dynamic symbol table.
    EXPECT_NE(l[at + 2].find(victim), std::string::npos) << l[at + 2];
    EXPECT_TRUE(victim_seen);
    return i;
}

const char kLogLine[] = "This application has crashed.  Please send the file crash_log.txt to Veltrano.\n";

} // namespace

TEST(CrashHandler, ReportsForSegvFpeAndIllAppendedWithTheSignalsExitStatus)
{
    std::string dir = TS_new_dir("crash");
    CRASH_IN_CHILD(dir, SIGSEGV, crash_victim_segv());
    CRASH_IN_CHILD(dir, SIGFPE, crash_victim_fpe());
    CRASH_IN_CHILD(dir, SIGILL, crash_victim_ill());
    std::vector<std::string> l = lines_of(TS_read_file(dir + "crash_log.txt"));
    size_t at = check_report(l, 0, "EXCEPTION_ACCESS_VIOLATION (C0000005)", {"1"}, "crash_victim_segv");
    at = check_report(l, at, "EXCEPTION_INT_DIVIDE_BY_ZERO (C0000094)", {"1"}, "crash_victim_fpe");
    at = check_report(l, at, "EXCEPTION_ILLEGAL_INSTRUCTION (C000001D)", {"2"}, "crash_victim_ill");
    EXPECT_EQ(at, l.size());
    // The caller of the faulting procedure follows it in the crawl.
    EXPECT_NE(TS_read_file(dir + "crash_log.txt").find("ReportsForSegvFpeAndIll"), std::string::npos);
    // The log keeps what was written before and gains one line per crash.
    EXPECT_EQ(TS_read_file(dir + "log.txt"), std::string("before the crash\n") + kLogLine);
}

TEST(CrashHandler, BusTrapAndStackOverflow)
{
    std::string dir = TS_new_dir("crash2");
    CRASH_IN_CHILD(dir, SIGBUS, crash_victim_bus(dir));
    CRASH_IN_CHILD(dir, SIGTRAP, crash_victim_trap());
    CRASH_IN_CHILD(dir, SIGSEGV, crash_overflow(0));
    std::vector<std::string> l = lines_of(TS_read_file(dir + "crash_log.txt"));
    size_t at = check_report(l, 0, "EXCEPTION_IN_PAGE_ERROR (C0000006)", {"2"}, "crash_victim_bus");
    at = check_report(l, at, "EXCEPTION_BREAKPOINT (80000003)", {"80"}, "crash_victim_trap");
    at = check_report(l, at, "EXCEPTION_STACK_OVERFLOW (C00000FD)", {"1", "2"}, "crash_overflow");
    EXPECT_EQ(at, l.size());
}

TEST(CrashHandler, CrawlStopsAtOneHundredLines)
{
    std::string dir = TS_new_dir("crash3");
    CRASH_IN_CHILD(dir, SIGSEGV, crash_deep(300));
    std::vector<std::string> l = lines_of(TS_read_file(dir + "crash_log.txt"));
    EXPECT_EQ(check_report(l, 0, "EXCEPTION_ACCESS_VIOLATION (C0000005)", {"1"}, "crash_victim_segv"), l.size());
    EXPECT_EQ(l.size(), 102u);
    ASSERT_GE(l.size(), 4u);
    EXPECT_NE(l[3].find("crash_deep"), std::string::npos) << l[3];
}

TEST(CrashHandler, FaultOnAWorkerThread)
{
    std::string dir = TS_new_dir("crash4");
    CRASH_IN_CHILD(dir, SIGSEGV, {
        crash_job job;
        UTL_work_queue wq(2, 4);
        wq.add_task(&job);
        wq.wait_done();
    });
    std::vector<std::string> l = lines_of(TS_read_file(dir + "crash_log.txt"));
    size_t at = check_report(l, 0, "EXCEPTION_ACCESS_VIOLATION (C0000005)", {"1"}, "crash_victim_segv");
    EXPECT_EQ(at, l.size());
    EXPECT_NE(TS_read_file(dir + "crash_log.txt").find("thread_proc"), std::string::npos);
}

TEST(CrashHandler, SentSignalIsUnknownAndUnwritableLogGoesToStandardError)
{
    std::string dir = TS_new_dir("crash5");
    CRASH_IN_CHILD(dir, SIGSEGV, raise(SIGSEGV));
    std::vector<std::string> l = lines_of(TS_read_file(dir + "crash_log.txt"));
    ASSERT_GE(l.size(), 2u);
    EXPECT_EQ(l[0], "Unhandled exception: Unknown (0000000B)");
    EXPECT_EQ(l[1].rfind("Flags=fffffffa, Address = 0x", 0), 0u) << l[1];

    std::string dir2 = TS_new_dir("crash6");
    TS_sh("mkdir '" + dir2 + "crash_log.txt'");
    EXPECT_EXIT(
        {
            if (chdir(dir2.c_str()) != 0) _exit(30);
            CRASH_install_handler();
            crash_victim_segv();
        },
        testing::KilledBySignal(SIGSEGV),
        "Unhandled exception: EXCEPTION_ACCESS_VIOLATION \\(C0000005\\)\nFlags=1, Address = 0x[0-9a-f]{16}\n  0\\) "
        "_Z17crash_victim_segvv \\+ [0-9]+ \\(test_crash \\+ [0-9]+\\)\n");
}

TEST(CrashHandler, DeliberateAbortWritesNoReport)
{
    std::string dir = TS_new_dir("crash7");
    CRASH_IN_CHILD(dir, SIGABRT, PLAT_abort());
    EXPECT_EQ(access((dir + "crash_log.txt").c_str(), F_OK), -1);
    EXPECT_EQ(TS_read_file(dir + "log.txt"), "before the crash\n");
}

__attribute__((noinline)) void crawl_here(FILE* f, const void* first)
{
    CRASH_write_stack_crawl(f, nullptr, first);
    asm volatile(""); // keeps this frame: no tail call
}

__attribute__((noinline)) int crawl_deep(FILE* f, int n)
{
    volatile int pad = n;
    if (n <= 0) crawl_here(f, nullptr);
    int below = n > 0 ? crawl_deep(f, n - 1) : 0;
    return pad + below;
}

TEST(StackCrawl, OwnStackEntriesAndLimits)
{
    std::string path = TS_new_dir("crawl") + "stack_crawl.txt";
    FILE* f = fopen(path.c_str(), "a");
    ASSERT_NE(f, nullptr);
    fputs("header\n", f); // buffered text comes before the crawl
    crawl_here(f, nullptr);
    crawl_here(f, (const void*)&crash_victim_segv);
    crawl_deep(f, 150);
    CRASH_print_address(f, (const void*)(uintptr_t)0x10);
    CRASH_print_address(f, (const void*)((const char*)&crash_victim_segv + 2));
    fclose(f);
    std::vector<std::string> l = lines_of(TS_read_file(path));
    ASSERT_GE(l.size(), 10u);
    EXPECT_EQ(l[0], "header");
    // Without a first address the crawl begins with the return address into the caller.
    EXPECT_EQ(l[1].rfind("  0) _Z10crawl_hereP8_IO_FILEPKv + ", 0), 0u) << l[1];
    EXPECT_TRUE(is_crawl_line(l[1])) << l[1];
    size_t i = 2;
    while (i < l.size() && l[i].rfind("  0) ", 0) != 0) ++i;
    ASSERT_LT(i + 1, l.size());
    EXPECT_EQ(l[i], "  0) _Z17crash_victim_segvv + 0 (test_crash + " +
                        std::to_string((uintptr_t)&crash_victim_segv - (uintptr_t)[] {
                            CRASH_symbol s;
                            CRASH_find_symbol((const void*)&crash_victim_segv, &s);
                            return s.module_base;
                        }()) +
                        ")");
    EXPECT_EQ(l[i + 1].rfind("  1) _Z10crawl_hereP8_IO_FILEPKv + ", 0), 0u) << l[i + 1];
    // The deep crawl: 100 lines, the last numbered 99.
    size_t deep = i + 1;
    while (deep < l.size() && l[deep].rfind("  0) ", 0) != 0) ++deep;
    ASSERT_LT(deep + 101, l.size());
    EXPECT_EQ(l[deep + 99].rfind("  99) _Z10crawl_deepP8_IO_FILEi + ", 0), 0u) << l[deep + 99];
    EXPECT_EQ(l[deep + 100], "0x0000000000000010 (?\?\?)");
    EXPECT_EQ(l[deep + 101].rfind("_Z17crash_victim_segvv + 2 (test_crash + ", 0), 0u) << l[deep + 101];
    EXPECT_TRUE(is_name_plus_offset(l[deep + 101].substr(24, l[deep + 101].size() - 25))) << l[deep + 101];

    CRASH_symbol none;
    CRASH_find_symbol((const void*)(uintptr_t)0x10, &none);
    EXPECT_EQ(none.module_base, 0u);
    EXPECT_EQ(none.line, -1);
    EXPECT_STREQ(none.source, "");
}

TEST(ThreadStart, FailureRaisesTheCrashAlert)
{
    std::string log = TS_new_dir("thread") + "log.txt";
    EXPECT_EXIT(
        {
            // No address space for a thread stack of this size: the start fails.
            pthread_attr_t a;
            pthread_attr_init(&a);
            pthread_attr_setstacksize(&a, (size_t)1 << 46);
            pthread_setattr_default_np(&a);
            CMDLINE_parse("--qa_script");
            hl_open_log(log);
            UTL_thread_handle h = nullptr;
            UTL_thread_handle w = nullptr;
            uint32_t id = 0;
            THREAD_create([](void*) -> uint32_t { return 0; }, nullptr, &h, &id, &w);
            _exit(9);
        },
        testing::ExitedWithCode(1), "");
    std::string text = TS_read_file(log);
    const std::string head = "\"CreateThread\" OS error\nerr=", tail = ".000000\n\n\n(UTL_thread:113)\n";
    size_t at = text.find(head);
    ASSERT_NE(at, std::string::npos) << text;
    ASSERT_GT(text.size(), at + head.size() + tail.size()) << text;
    EXPECT_EQ(text.compare(text.size() - tail.size(), tail.size(), tail), 0) << text;
    EXPECT_TRUE(all_digits(text, at + head.size(), text.size() - tail.size())) << text;
}
