// tsan: yes
// The thread framework: alerts raised on other threads shown by the main thread, threads ended by
// their fatal alerts and by escaping exceptions, asynchronous calls with and without workers, the
// worker pool's queue order and stop, the run loop, the worker count, and the framework's end,
// which stops the work queues before the alert queues go.
#include "foundation/HL_THREAD.h"
#include "foundation/options.h"
#include "foundation/work_queue.h"
#include "frame/alert.h"
#include "frame/hl_init.h"
#include "graphics/OGL_extensions.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <sched.h>
#include <stdexcept>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono;

namespace {

std::string close_and_read(const std::string& path)
{
    hl_close_log();
    return TS_read_file(path);
}

// How each test starts: the log at path, automation mode (alerts only log; fatal and crash alerts
// end the process with 1) and the thread framework.
void start_at(const std::string& path)
{
    hl_open_log(path);
    gOptions.opts.clear();
    gOptions.opts["--qa_script"] = "";
    THREAD_init();
}

// The same with the log in a fresh folder named name; its path.
std::string start(const std::string& name)
{
    const std::string path = TS_new_dir(name) + "log.txt";
    start_at(path);
    return path;
}

// A thread started through the framework, joined by the caller.
struct started {
    UTL_thread_handle thread = nullptr, wait = nullptr;
    uint32_t id = 0;
    started(UTL_thread_func f, void* arg, int use_gl = 0) { THREAD_start(f, arg, &thread, &id, &wait, use_gl); }
    uint32_t join() { return THREAD_join(&thread, &wait); }
};

// Ends the test program when a test hangs, so none runs unbounded.
struct watchdog {
    std::promise<void> done;
    std::thread t;
    watchdog()
    {
        t = std::thread([f = done.get_future()] {
            if (f.wait_for(seconds(60)) == std::future_status::ready) return;
            fprintf(stderr, "watchdog: test did not finish in time\n");
            _exit(3);
        });
    }
    ~watchdog()
    {
        done.set_value();
        t.join();
    }
};

// Waits (bounded) until the condition holds.
template <class F> bool eventually(F f)
{
    const auto end = steady_clock::now() + seconds(20);
    while (!f()) {
        if (steady_clock::now() > end) return false;
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

std::atomic<int> gUnwound{0};
std::atomic<int> gAfterAlert{0};

struct sets_unwound {
    ~sets_unwound() { gUnwound = 1; }
};

uint32_t raises_note(void*)
{
    MACIBM_alert(0, "note from worker", "a", "b", "c", t_note, "worker", 5);
    return 11;
}

uint32_t raises_fatal(void* text)
{
    sets_unwound guard;
    MACIBM_alert(0, (const char*)text, "", "", "", t_fatal, "worker", 7);
    gAfterAlert = 1;
    return 12;
}

uint32_t throws_std(void*)
{
    throw std::runtime_error("boom");
}

uint32_t throws_int(void*)
{
    throw 5;
}

uint32_t throws_record(void*)
{
    throw exce_class("thrown note", "x", "y", "z", "thrower", 9, t_note);
}

uint32_t returns_seven(void*)
{
    return 7;
}

} // namespace

TEST(ThreadFramework, WorkerCountStaysWithinOneTo32)
{
    EXPECT_EQ(THREAD_worker_count(4, 0, "", 1), 3);
    EXPECT_EQ(THREAD_worker_count(1, 0, "", 1), 1);
    EXPECT_EQ(THREAD_worker_count(2, 0, "", 1), 1);
    EXPECT_EQ(THREAD_worker_count(64, 0, "", 1), 32);
    EXPECT_EQ(THREAD_worker_count(4, 1, "0", 1), 1);
    EXPECT_EQ(THREAD_worker_count(4, 1, "-5", 1), 1);
    EXPECT_EQ(THREAD_worker_count(4, 1, "40", 1), 32);
    EXPECT_EQ(THREAD_worker_count(4, 1, "7", 1), 7);
    EXPECT_EQ(THREAD_worker_count(4, 1, " +3x", 1), 3);
    EXPECT_EQ(THREAD_worker_count(4, 1, "abc", 1), 1);
    EXPECT_EQ(THREAD_worker_count(4, 1, "", 1), 1);
    // The value plus one must not wrap around to a negative count.
    EXPECT_EQ(THREAD_worker_count(4, 1, "2147483647", 1), 32);
    EXPECT_EQ(THREAD_worker_count(4, 1, "99999999999999999999", 1), 32);
    EXPECT_EQ(THREAD_worker_count(4, 1, "-2147483648", 1), 1);
    EXPECT_EQ(THREAD_worker_count(4, 0, "", 0), 0);
    EXPECT_EQ(THREAD_worker_count(64, 1, "8", 0), 0);
}

TEST(ThreadAlerts, NotesWaitForTheMainThreadAndTheWorkerGoesOn)
{
    std::string log = start("note");
    EXPECT_EQ(THREAD_is_inited(), 1);
    EXPECT_EQ(THREAD_is_main_thread(), 1);
    started t(raises_note, nullptr);
    EXPECT_EQ(t.join(), 11u);
    gLog << "joined\n";
    THREAD_report_exceptions(0); // errors only: the note stays queued
    gLog << "errors reported\n";
    THREAD_report_exceptions(1);
    gLog << "notes reported\n";
    THREAD_report_exceptions(1); // shown once
    THREAD_exit();
    EXPECT_EQ(THREAD_is_inited(), 0);
    EXPECT_EQ(close_and_read(log), "joined\nerrors reported\nnote from worker\na\nb\nc\n(worker:5)\nnotes reported\n"
                                   "Clean exit from threads.\n");
}

TEST(ThreadAlerts, FatalAlertEndsOnlyItsThreadAndTheFirstErrorIsShown)
{
    std::string log = TS_new_dir("fatal") + "log.txt";
    EXPECT_EXIT(
        {
            start_at(log);
            started a(raises_fatal, (void*)"first fatal");
            const uint32_t code_a = a.join();
            started b(raises_fatal, (void*)"second fatal");
            const uint32_t code_b = b.join();
            // The threads ended inside the alert: their stacks were unwound, nothing after it ran,
            // and the process is still here.
            gLog << "joined " << code_a << " " << code_b << " unwound " << gUnwound << " after " << gAfterAlert
                 << "\n";
            THREAD_report_exceptions(1);
            _exit(7);
        },
        testing::ExitedWithCode(1), "");
    EXPECT_EQ(TS_read_file(log), "joined 0 0 unwound 1 after 0\nfirst fatal\n\n\n\n(worker:7)\n");
}

TEST(ThreadAlerts, EscapingExceptionsBecomeCrashRecords)
{
    std::string log = start("throw");
    for (UTL_thread_func f : {throws_std, throws_int, throws_record}) {
        started t(f, nullptr);
        EXPECT_EQ(t.join(), 0u);
    }
    // Taken off the queue here, since showing a crash record ends the program.
    std::vector<exce_class*> records;
    while (exce_class* e = QUEUE_pop(gThreadErrors, 0)) records.push_back(e);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0]->text[0], "Caught an unhandled C++ exception");
    EXPECT_EQ(records[0]->text[1], "boom");
    EXPECT_STREQ(records[0]->file, "HL_THREAD");
    EXPECT_EQ(records[0]->line, 249);
    EXPECT_EQ(records[1]->text[0], "Caught an unhandled unknown exception");
    EXPECT_EQ(records[1]->text[1], "");
    EXPECT_EQ(records[1]->line, 251);
    EXPECT_EQ(records[2]->text[0], "thrown note");
    EXPECT_EQ(records[2]->text[3], "z");
    EXPECT_STREQ(records[2]->file, "thrower");
    for (exce_class* e : records) {
        EXPECT_EQ(e->code, t_crash);
        delete e;
    }
    EXPECT_EQ(QUEUE_pop(gThreadMessages, 0), nullptr);
    THREAD_exit();
    close_and_read(log);
}

TEST(ThreadAlerts, ThreadsWithoutTheMainContextGetNoneAndTheUserIsToldOnce)
{
    std::string log = start("gl");
    gCaps.threaded_avail = 1;
    started a(returns_seven, nullptr, 1);
    started b(returns_seven, nullptr, 1);
    EXPECT_EQ(a.join(), 7u);
    EXPECT_EQ(b.join(), 7u);
    EXPECT_EQ(gCaps.threaded_avail, 0);
    THREAD_exit();
    EXPECT_EQ(close_and_read(log), "There was a problem setting up OpenGL.\n"
                                   "You can still fly, but you may experience pauses during flight while scenery "
                                   "loads.\n\n(Please send your log.txt file to Veltrano for debugging purposes.)\n"
                                   "(OGL_extensions:931)\nClean exit from threads.\n");
}

namespace {

struct call_arg {
    std::shared_future<void> gate; // the function waits for it when set (at most 20 s)
    std::atomic<uint32_t> thread{0};
    std::atomic<int>* order = nullptr;    // hands out the positions in the order of the runs
    std::atomic<int> position{-1};
    std::atomic<int>* finished = nullptr; // counts the runs that have set everything
};

uint32_t async_fn(void* p)
{
    call_arg* a = (call_arg*)p;
    if (a->gate.valid()) a->gate.wait_for(seconds(20));
    a->thread = THREAD_current_id();
    if (a->order) a->position = a->order->fetch_add(1);
    if (a->finished) a->finished->fetch_add(1);
    return 42;
}

uint32_t async_fatal(void*)
{
    MACIBM_alert(0, "call failed", "", "", "", t_fatal, "caller", 3);
    return 1;
}

// A pool job that runs a call_arg's function and reports whether the pool should delete it.
struct pool_job : UTL_pool_task {
    call_arg arg;
    int delete_me = 0;
    std::atomic<int>* deleted = nullptr;
    std::atomic<int> number{0};
    ~pool_job() override
    {
        if (deleted) deleted->fetch_add(1);
    }
    int32_t run(int32_t thread_number) override
    {
        number = thread_number;
        async_fn(&arg);
        return delete_me;
    }
    const char* name() override { return "pool_job"; }
};

} // namespace

TEST(ThreadCall, WithoutWorkersTheFunctionRunsOnTheCaller)
{
    std::string log = start("call0");
    gCaps.threaded_avail = 0;
    THREAD_init_workers();
    ASSERT_NE(gWorkerPool, nullptr);
    EXPECT_EQ(gWorkerPool->thread_count(), 0);
    call_arg arg;
    THREAD_call* call = THREAD_call_async(async_fn, &arg);
    EXPECT_EQ(arg.thread.load(), THREAD_current_id()); // already ran
    EXPECT_STREQ(call->name(), "THREAD_call async call");
    EXPECT_EQ(THREAD_call_wait(call, 0), 1);
    EXPECT_EQ(THREAD_call_result(call), 42u);
    THREAD_exit();
    EXPECT_EQ(gWorkerPool, nullptr);
    EXPECT_EQ(close_and_read(log),
              "CPU count        : " + std::to_string(THREAD_cpu_count()) + "\nClean exit from threads.\n");
}

TEST(ThreadCall, WithWorkersTheCallOvertakesWaitingJobs)
{
    watchdog wd;
    std::string log = start("call1");
    gCaps.threaded_avail = 0; // no OpenGL for the workers
    gWorkerPool = new UTL_threadpool(1);
    std::atomic<int> order{0}, finished{0};
    std::promise<void> open;
    pool_job blocker, j1, j2;
    blocker.arg.gate = open.get_future().share();
    blocker.arg.order = j1.arg.order = j2.arg.order = &order;
    blocker.arg.finished = j1.arg.finished = j2.arg.finished = &finished;
    gWorkerPool->submit(&blocker, 0);
    ASSERT_TRUE(eventually([&] { return blocker.number.load() == 1; })); // the worker holds it
    gWorkerPool->submit(&j1, 0);
    gWorkerPool->submit(&j2, 0);
    call_arg arg;
    arg.order = &order;
    arg.finished = &finished;
    THREAD_call* call = THREAD_call_async(async_fn, &arg);
    EXPECT_EQ(THREAD_call_wait(call, 0), 0);
    EXPECT_EQ(THREAD_call_wait(call, 20), 0); // the only worker is still held
    open.set_value();
    EXPECT_EQ(THREAD_call_wait(call, -1), 1);
    EXPECT_EQ(THREAD_call_result(call), 42u);
    EXPECT_TRUE(eventually([&] { return finished.load() == 4; }));
    EXPECT_EQ(blocker.arg.position, 0);
    EXPECT_EQ(arg.position, 1);
    EXPECT_EQ(j1.arg.position, 2);
    EXPECT_EQ(j2.arg.position, 3);
    EXPECT_NE(arg.thread.load(), THREAD_current_id());
    EXPECT_EQ(j2.number.load(), 1);
    THREAD_exit();
    close_and_read(log);
}

TEST(ThreadCall, WaitingShowsAWorkersFatalAlert)
{
    std::string log = TS_new_dir("callfatal") + "log.txt";
    EXPECT_EXIT(
        {
            start_at(log);
            gCaps.threaded_avail = 0;
            gWorkerPool = new UTL_threadpool(1);
            THREAD_call* call = THREAD_call_async(async_fatal, nullptr);
            THREAD_call_wait(call, -1); // the worker ended without finishing the call
            _exit(7);
        },
        testing::ExitedWithCode(1), "");
    EXPECT_EQ(TS_read_file(log), "call failed\n\n\n\n(caller:3)\n");
}

TEST(WorkerPool, FrontAndBackPushes)
{
    // The queue alone: a block at the front keeps its order and goes before what was there.
    UTL_task_queue* q = UTL_task_queue_create();
    pool_job x, a, b, c;
    UTL_pool_task* one[] = {&x};
    UTL_pool_task* three[] = {&a, &b, &c};
    UTL_task_queue_push(q, one, 1, 0);
    UTL_task_queue_push(q, three, 3, 1);
    UTL_task_queue_push(q, three, 0, 1); // nothing
    EXPECT_EQ(UTL_task_queue_pop(q, 0), &a);
    EXPECT_EQ(UTL_task_queue_pop(q, 0), &b);
    EXPECT_EQ(UTL_task_queue_pop(q, 0), &c);
    EXPECT_EQ(UTL_task_queue_pop(q, 10), &x);
    EXPECT_EQ(UTL_task_queue_pop(q, 0), nullptr);
    EXPECT_EQ(UTL_task_queue_pop(q, 10), nullptr);
    UTL_task_queue_destroy(q);

    // One worker held while J1 to J3 go to the back and J4 to the front: J4 runs first.
    watchdog wd;
    gCaps.threaded_avail = 0;
    std::atomic<int> order{0}, finished{0}, deleted{0};
    std::promise<void> open;
    {
        UTL_threadpool pool(1);
        EXPECT_EQ(pool.thread_count(), 1);
        pool_job* blocker = new pool_job();
        blocker->arg.gate = open.get_future().share();
        blocker->delete_me = 1; // the pool deletes it after its run
        blocker->deleted = &deleted;
        pool_job j[4];
        for (pool_job* p : {blocker, &j[0], &j[1], &j[2], &j[3]}) {
            p->arg.order = &order;
            p->arg.finished = &finished;
        }
        pool.submit(blocker, 0);
        ASSERT_TRUE(eventually([&] { return blocker->number.load() == 1; })); // the worker holds it
        pool.submit(&j[0], 0);
        pool.submit(&j[1], 0);
        pool.submit(&j[2], 0);
        pool.submit(&j[3], 1);
        open.set_value();
        EXPECT_TRUE(eventually([&] { return finished.load() == 5; }));
        EXPECT_EQ(j[3].arg.position, 1);
        EXPECT_EQ(j[0].arg.position, 2);
        EXPECT_EQ(j[1].arg.position, 3);
        EXPECT_EQ(j[2].arg.position, 4);
        EXPECT_TRUE(eventually([&] { return deleted.load() == 1; }));
        for (pool_job& p : j) p.deleted = &deleted; // jobs that returned 0 stay with their owner
    }
    EXPECT_EQ(deleted.load(), 5); // the four local jobs, by their own scope
}

TEST(WorkerPool, StopsAfterTheCurrentJobAndDropsTheWaitingOnes)
{
    gCaps.threaded_avail = 0;
    std::atomic<int> order{0};
    std::promise<void> open;
    pool_job blocker, j1, j2;
    blocker.arg.gate = open.get_future().share();
    blocker.arg.order = j1.arg.order = j2.arg.order = &order;
    std::thread opener;
    {
        UTL_threadpool pool(1);
        pool.submit(&blocker, 0);
        pool.submit(&j1, 0);
        pool.submit(&j2, 0);
        EXPECT_TRUE(eventually([&] { return blocker.number.load() == 1; }));
        opener = std::thread([&open] {
            std::this_thread::sleep_for(milliseconds(50));
            open.set_value();
        });
    }
    opener.join();
    EXPECT_EQ(blocker.arg.position, 0);
    EXPECT_EQ(j1.arg.position, -1);
    EXPECT_EQ(j2.arg.position, -1);

    // Without workers nothing runs and destruction does not wait.
    pool_job never;
    {
        UTL_threadpool pool(0);
        EXPECT_EQ(pool.thread_count(), 0);
        pool.submit(&never, 0);
    }
    EXPECT_EQ(never.number.load(), 0);
}

TEST(RunLoop, WarnsWhenAMessageIsLeft)
{
    RL_create();
    ASSERT_NE(gRunLoop, nullptr);
    EXPECT_EQ(RL_wait(gRunLoop, 0), nullptr);
    EXPECT_EQ(RL_wait(gRunLoop, 10), nullptr);
    int message = 0;
    QUEUE_push<void*>(gRunLoop, &message);
    EXPECT_EQ(RL_wait(gRunLoop, -1), &message);
    testing::internal::CaptureStdout();
    RL_destroy();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(gRunLoop, nullptr);

    RL_create();
    QUEUE_push<void*>(gRunLoop, &message);
    testing::internal::CaptureStdout();
    RL_destroy();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "WARNING: runloop not empty.\n");
}

namespace {

struct gated_task : UTL_work_task {
    std::shared_future<void> gate;
    std::atomic<int>* started = nullptr;
    std::atomic<int> runs{0};
    const char* fatal = nullptr; // raises this fatal alert instead of finishing
    const char* note = nullptr;  // raises this note, then finishes
    void run() override
    {
        if (started) started->fetch_add(1);
        if (gate.valid()) gate.wait_for(seconds(20));
        if (note) MACIBM_alert(0, note, "", "", "", t_note, "scan", 1);
        if (fatal) MACIBM_alert(0, fatal, "", "", "", t_fatal, "scan", 2);
        runs.fetch_add(1);
    }
    std::string name() override { return "gated_task"; }
};

} // namespace

TEST(ThreadExit, CleanExitStopsTheWorkQueuesBeforeTheAlertQueuesGo)
{
    watchdog wd;
    std::string log = start("exit");
    gCaps.threaded_avail = 0;
    THREAD_init_workers();
    std::promise<void> open;
    std::atomic<int> started{0};
    gated_task a, b, c, d;
    a.gate = b.gate = open.get_future().share();
    a.started = b.started = &started;
    c.note = "note from the scan";
    std::thread opener;
    {
        UTL_work_queue wq(2, 10);
        for (gated_task* t : {&a, &b, &c, &d}) wq.add_task(t);
        EXPECT_TRUE(eventually([&] { return started.load() == 2; })); // each worker holds a gated job
        opener = std::thread([&open] {
            std::this_thread::sleep_for(milliseconds(50));
            open.set_value();
        });
        THREAD_exit(); // joins the scan's workers: the held jobs finish, the waiting ones never run
        EXPECT_EQ(THREAD_is_inited(), 0);
        EXPECT_EQ(gThreadErrors, nullptr);
        EXPECT_EQ(a.runs.load() + b.runs.load(), 2);
        EXPECT_EQ(c.runs.load() + d.runs.load(), 0);
        EXPECT_EQ(wq.wait_done(), nullptr); // no worker left: no wait
        EXPECT_NE(wq.poll_done(), nullptr); // the two finished jobs come back
        EXPECT_NE(wq.poll_done(), nullptr);
        EXPECT_EQ(wq.poll_done(), nullptr);
        THREAD_exit();                      // a second end changes nothing
    }
    opener.join();
    EXPECT_EQ(c.runs.load() + d.runs.load(), 0);
    EXPECT_EQ(close_and_read(log),
              "CPU count        : " + std::to_string(THREAD_cpu_count()) + "\nClean exit from threads.\n");
}

TEST(ThreadExit, WorkQueueNotesReachTheMainThread)
{
    std::string log = start("wqnote");
    gated_task t;
    t.note = "scan note";
    {
        UTL_work_queue wq(1, 4);
        wq.add_task(&t);
        EXPECT_EQ(wq.wait_done(), &t);
    }
    EXPECT_EQ(t.runs.load(), 1);
    THREAD_report_exceptions(1);
    THREAD_exit();
    EXPECT_EQ(close_and_read(log), "scan note\n\n\n\n(scan:1)\nClean exit from threads.\n");
}

TEST(ThreadExit, WaitingForTheWorkQueueShowsAWorkersFatalAlert)
{
    std::string log = TS_new_dir("wqfatal") + "log.txt";
    EXPECT_EXIT(
        {
            start_at(log);
            gated_task t;
            t.fatal = "scan failed";
            UTL_work_queue wq(1, 4);
            wq.add_task(&t);
            wq.wait_done(); // the job never comes back: its worker ended in the alert
            _exit(7);
        },
        testing::ExitedWithCode(1), "");
    EXPECT_EQ(TS_read_file(log), "scan failed\n\n\n\n(scan:2)\n");
}

TEST(ThreadInit, LockMainThreadKeepsItOnTheFirstProcessor)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    if (!CPU_ISSET(0, &set)) GTEST_SKIP() << "processor 0 is not ours";
    unsigned long long mask = 0;
    for (int i = 0; i < 64; ++i)
        if (CPU_ISSET(i, &set)) mask |= 1ULL << i;
    std::string log = TS_new_dir("lock") + "log.txt";
    EXPECT_EXIT(
        {
            hl_open_log(log);
            gOptions.opts.clear();
            gOptions.opts["--lock_main_thread"] = "";
            THREAD_init();
            hl_close_log();
            cpu_set_t now;
            CPU_ZERO(&now);
            sched_getaffinity(0, sizeof now, &now);
            _exit(CPU_COUNT(&now) == 1 && CPU_ISSET(0, &now) ? 0 : 5);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(TS_read_file(log), "Thread affinity was " + std::to_string(mask) + " is now 1.\n");
}

TEST(ThreadExit, TheProgramStartsAndEndsTheFramework)
{
    TS_xvfb x;
    ASSERT_TRUE(TS_xvfb_start(x, "1280x1024x24"));
    std::string d = TS_new_dir("prog");
    TS_sh(std::string("cp '") + CORVANE_UPDATER_EXE + "' '" + d + "corvane-updater'");
    TS_result r = TS_run_updater_closed(d + "corvane-updater", {"--num_workers=3"}, {}, x);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::string log = TS_read_file(d + "Corvane Installer Log.txt");
    // The workers start after the window and driver detection.
    const size_t echo = log.find("     '--num_workers'='3'\n");
    EXPECT_NE(echo, std::string::npos) << log;
    EXPECT_NE(log.find("\nCPU count        : " + std::to_string(THREAD_cpu_count()) + "\n", echo), std::string::npos)
        << log;
    const std::string end = "Clean exit from threads.\n";
    EXPECT_EQ(log.compare(log.size() - std::min(log.size(), end.size()), end.size(), end), 0) << log;
}
