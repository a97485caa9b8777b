// The crash handler in child processes: the report appended to "crash_log.txt" for real faults,
// the exit status of the signal and the log line; the stack crawl of the own stack; and a thread
// that cannot be started.
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
#include <sys/mman.h>
#include <unistd.h>

// The faulting functions have external linkage, so the dynamic symbol table names them; the
// sanitizers must not catch the faults first.
#define VICTIM __attribute__((noinline, no_sanitize("address,undefined")))

VICTIM void crash_victim_segv()
{
    volatile int* volatile p = nullptr;
    *p = 1;
}

VICTIM int crash_victim_fpe()
{
    volatile int zero = 0;
    return 10 / zero;
}

VICTIM void crash_victim_ill()
{
    __builtin_trap();
}

VICTIM void crash_victim_trap()
{
    asm volatile("int3");
}

VICTIM void crash_victim_bus()
{
    // A mapped page past the end of its one-byte file.
    int fd = open("short.bin", O_RDWR | O_CREAT | O_TRUNC, 0644);
    long page = sysconf(_SC_PAGESIZE);
    if (fd < 0 || write(fd, "x", 1) != 1) _exit(20);
    volatile char* m = (volatile char*)mmap(nullptr, (size_t)page * 2, PROT_READ, MAP_PRIVATE, fd, 0);
    if (m != MAP_FAILED) (void)m[page];
}

VICTIM int crash_deep(int n)
{
    volatile int pad = n;
    if (n <= 0) crash_victim_segv();
    int below = n > 0 ? crash_deep(n - 1) : 0;
    return pad + below;
}

VICTIM int crash_overflow(int n)
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

// Runs the statement in a child with the handler installed, working in dir with the log open there.
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

bool is_hex_address(const std::string& s)
{
    return s.size() == 18 && s.rfind("0x", 0) == 0 && s.find_first_not_of("0123456789abcdef", 2) == std::string::npos;
}

// Checks the report that begins at line `at` and returns the line after it: header, flags and the
// faulting address, then numbered crawl lines, each ending in its module part, the first one naming
// the faulting procedure.
size_t check_report(const std::vector<std::string>& l, size_t at, const std::string& name_and_code,
                    const std::vector<std::string>& flags, const std::string& victim)
{
    if (at + 2 >= l.size()) {
        ADD_FAILURE() << "no report at line " << at;
        return l.size();
    }
    EXPECT_EQ(l[at], "Unhandled exception: " + name_and_code);
    size_t comma = l[at + 1].find(", Address = ");
    EXPECT_NE(comma, std::string::npos) << l[at + 1];
    if (comma == std::string::npos) return l.size();
    bool flags_ok = false;
    for (const std::string& f : flags) flags_ok |= l[at + 1].substr(0, comma) == "Flags=" + f;
    EXPECT_TRUE(flags_ok) << l[at + 1];
    EXPECT_TRUE(is_hex_address(l[at + 1].substr(comma + 12))) << l[at + 1];
    EXPECT_NE(l[at + 2].find(victim), std::string::npos) << l[at + 2];
    size_t i = at + 2;
    for (int n = 0; i < l.size() && l[i].rfind("Unhandled", 0) != 0; ++i, ++n) {
        EXPECT_EQ(l[i].rfind("  " + std::to_string(n) + ") ", 0), 0u) << l[i];
        EXPECT_TRUE(l[i].find(" + ") != std::string::npos && l[i].back() == ')') << l[i];
    }
    EXPECT_GE(i - at - 2, 2u);
    EXPECT_LE(i - at - 2, 100u);
    return i;
}

} // namespace

TEST(CrashHandler, ReportsForSegvFpeAndIllAreAppendedAndTheSignalEndsTheProcess)
{
    std::string dir = TS_new_dir("crash");
    CRASH_IN_CHILD(dir, SIGSEGV, crash_victim_segv());
    CRASH_IN_CHILD(dir, SIGFPE, crash_victim_fpe());
    CRASH_IN_CHILD(dir, SIGILL, crash_victim_ill());
    std::string text = TS_read_file(dir + "crash_log.txt");
    std::vector<std::string> l = TS_lines(text);
    size_t at = check_report(l, 0, "EXCEPTION_ACCESS_VIOLATION (C0000005)", {"1"}, "crash_victim_segv");
    at = check_report(l, at, "EXCEPTION_INT_DIVIDE_BY_ZERO (C0000094)", {"1"}, "crash_victim_fpe");
    at = check_report(l, at, "EXCEPTION_ILLEGAL_INSTRUCTION (C000001D)", {"2"}, "crash_victim_ill");
    EXPECT_EQ(at, l.size());
    EXPECT_NE(text.find("  1) _ZN") , std::string::npos); // the test body called the victim
    // The log keeps what was written before and gains the line (each child rewrote the log).
    EXPECT_EQ(TS_read_file(dir + "log.txt"),
              "before the crash\nThis application has crashed.  Please send the file crash_log.txt to Veltrano.\n");
}

TEST(CrashHandler, BusTrapStackOverflowWorkerThreadAndLongCrawl)
{
    std::string dir = TS_new_dir("crash2");
    CRASH_IN_CHILD(dir, SIGBUS, crash_victim_bus());
    CRASH_IN_CHILD(dir, SIGTRAP, crash_victim_trap());
    CRASH_IN_CHILD(dir, SIGSEGV, crash_overflow(0)); // the report needs the alternate stack
    CRASH_IN_CHILD(dir, SIGSEGV, {
        crash_job job;
        UTL_work_queue wq(2, 4);
        wq.add_task(&job);
        wq.wait_done();
    });
    CRASH_IN_CHILD(dir, SIGSEGV, crash_deep(300));
    std::vector<std::string> l = TS_lines(TS_read_file(dir + "crash_log.txt"));
    size_t at = check_report(l, 0, "EXCEPTION_IN_PAGE_ERROR (C0000006)", {"2"}, "crash_victim_bus");
    at = check_report(l, at, "EXCEPTION_BREAKPOINT (80000003)", {"80"}, "crash_victim_trap");
    at = check_report(l, at, "EXCEPTION_STACK_OVERFLOW (C00000FD)", {"1", "2"}, "crash_overflow");
    size_t worker = at;
    at = check_report(l, at, "EXCEPTION_ACCESS_VIOLATION (C0000005)", {"1"}, "crash_victim_segv");
    ASSERT_LT(worker + 3, l.size());
    EXPECT_NE(l[worker + 3].find("thread_proc"), std::string::npos) << l[worker + 3];
    size_t deep = at;
    at = check_report(l, at, "EXCEPTION_ACCESS_VIOLATION (C0000005)", {"1"}, "crash_victim_segv");
    EXPECT_EQ(at - deep, 102u); // at most 100 crawl lines, the faulting address included
    EXPECT_NE(l[deep + 3].find("crash_deep"), std::string::npos) << l[deep + 3];
    EXPECT_EQ(at, l.size());
}

TEST(CrashHandler, SentSignalUnwritableReportAndDeliberateAbort)
{
    std::string dir = TS_new_dir("crash3");
    CRASH_IN_CHILD(dir, SIGSEGV, raise(SIGSEGV));
    std::vector<std::string> l = TS_lines(TS_read_file(dir + "crash_log.txt"));
    ASSERT_GE(l.size(), 2u);
    EXPECT_EQ(l[0], "Unhandled exception: Unknown (0000000B)"); // no processor exception
    EXPECT_EQ(l[1].rfind("Flags=fffffffa, Address = 0x", 0), 0u) << l[1];
    // Nor is a kill -SEGV, from this process or another: its code is 0.
    const size_t first = l.size();
    CRASH_IN_CHILD(dir, SIGSEGV, kill(getpid(), SIGSEGV));
    l = TS_lines(TS_read_file(dir + "crash_log.txt"));
    ASSERT_GE(l.size(), first + 2);
    EXPECT_EQ(l[first], "Unhandled exception: Unknown (0000000B)");
    EXPECT_EQ(l[first + 1].rfind("Flags=0, Address = 0x", 0), 0u) << l[first + 1];

    // When "crash_log.txt" cannot be opened the report goes to standard error.
    std::string dir2 = TS_new_dir("crash4");
    mkdir((dir2 + "crash_log.txt").c_str(), 0700);
    EXPECT_EXIT(
        {
            if (chdir(dir2.c_str()) != 0) _exit(30);
            CRASH_install_handler();
            crash_victim_segv();
        },
        testing::KilledBySignal(SIGSEGV),
        "^Unhandled exception: EXCEPTION_ACCESS_VIOLATION \\(C0000005\\)\nFlags=1, Address = 0x[0-9a-f]{16}\n  0\\) "
        "_Z17crash_victim_segvv \\+ [0-9]+ \\(test_crash \\+ [0-9]+\\)\n");

    // The crash alert's abort writes no report.
    std::string dir3 = TS_new_dir("crash5");
    CRASH_IN_CHILD(dir3, SIGABRT, PLAT_abort());
    EXPECT_EQ(access((dir3 + "crash_log.txt").c_str(), F_OK), -1);
    EXPECT_EQ(TS_read_file(dir3 + "log.txt"), "before the crash\n");
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

TEST(StackCrawl, OwnStackEntriesAndLimit)
{
    std::string path = TS_new_dir("crawl") + "stack_crawl.txt";
    FILE* f = fopen(path.c_str(), "a");
    ASSERT_NE(f, nullptr);
    fputs("header\n", f); // buffered text stays in front of the crawl
    crawl_here(f, (const void*)&crash_victim_segv);
    crawl_deep(f, 150);
    CRASH_print_address(f, (const void*)(uintptr_t)0x10);
    fclose(f);
    std::vector<std::string> l = TS_lines(TS_read_file(path));
    ASSERT_GE(l.size(), 104u);
    EXPECT_EQ(l[0], "header");
    CRASH_symbol sym;
    CRASH_find_symbol((const void*)&crash_victim_segv, &sym);
    EXPECT_EQ(l[1], "  0) _Z17crash_victim_segvv + 0 (test_crash + " +
                        std::to_string((uintptr_t)&crash_victim_segv - sym.module_base) + ")");
    // Then the return address into the caller of the crawl writer.
    EXPECT_EQ(l[2].rfind("  1) _Z10crawl_hereP8_IO_FILEPKv + ", 0), 0u) << l[2];
    size_t deep = 3;
    while (deep < l.size() && l[deep].rfind("  0) ", 0) != 0) ++deep;
    ASSERT_LT(deep + 100, l.size());
    EXPECT_EQ(l[deep].rfind("  0) _Z10crawl_hereP8_IO_FILEPKv + ", 0), 0u) << l[deep];
    EXPECT_EQ(l[deep + 99].rfind("  99) _Z10crawl_deepP8_IO_FILEi + ", 0), 0u) << l[deep + 99];
    EXPECT_EQ(l[deep + 100], "0x0000000000000010 (?\?\?)"); // not in any module
    EXPECT_EQ(sym.line, -1);
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
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    std::string code = text.substr(at + head.size(), text.size() - tail.size() - at - head.size());
    EXPECT_EQ(code.find_first_not_of("0123456789"), std::string::npos) << text;
}
