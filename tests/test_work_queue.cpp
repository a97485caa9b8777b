// tsan: yes
// The work queue: feeding by room, collecting by polling and waiting, the bounded count of jobs out,
// the stop markers behind the waiting jobs, and workers that are sent signals while they wait.
#include "foundation/work_queue.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <future>
#include <mutex>
#include <set>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono;

namespace {

std::atomic<int> gOrder{0};

struct test_job : UTL_work_task {
    int index;
    std::atomic<int> runs{0};
    int order = -1;                     // position among all runs, written by the worker
    uint32_t worker = 0;                // thread that ran it
    std::shared_future<void> gate;      // when valid, the job waits for it (at most 20 s)
    explicit test_job(int i) : index(i) {}
    void run() override
    {
        if (gate.valid()) gate.wait_for(seconds(20));
        order = gOrder.fetch_add(1);
        worker = THREAD_current_id();
        runs.fetch_add(1);
    }
    std::string name() override { return "test_job"; }
};

void on_usr1(int) {}

// Ends the test program if a test hangs, so no test runs unbounded.
struct watchdog {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::thread t;
    explicit watchdog(int seconds)
    {
        t = std::thread([this, seconds] {
            std::unique_lock<std::mutex> l(m);
            if (!cv.wait_for(l, std::chrono::seconds(seconds), [this] { return done; })) {
                fprintf(stderr, "watchdog: test did not finish in %d s\n", seconds);
                _exit(3);
            }
        });
    }
    ~watchdog()
    {
        {
            std::lock_guard<std::mutex> l(m);
            done = true;
        }
        cv.notify_all();
        t.join();
    }
};

} // namespace

TEST(WorkQueue, FeedsByRoomAndHandsEveryJobBackOnce)
{
    watchdog wd(120);
    // Signals go only to the workers: this thread (and what it starts later) blocks them.
    struct sigaction sa = {};
    sa.sa_handler = on_usr1;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGUSR1, &sa, nullptr);

    const int kJobs = 2000, kLimit = 8;
    std::vector<test_job*> jobs;
    for (int i = 0; i < kJobs; ++i) jobs.push_back(new test_job(i));
    std::set<test_job*> back;
    uint32_t self = THREAD_current_id();
    {
        UTL_work_queue wq(4, kLimit);
        sigset_t usr1;
        sigemptyset(&usr1);
        sigaddset(&usr1, SIGUSR1);
        pthread_sigmask(SIG_BLOCK, &usr1, nullptr);
        std::atomic<bool> stop{false};
        std::thread sender([&] {
            for (int i = 0; i < 100000 && !stop.load(); ++i) {
                kill(getpid(), SIGUSR1);
                std::this_thread::sleep_for(microseconds(200));
            }
        });

        int next = 0, max_out = 0;
        const auto deadline = steady_clock::now() + seconds(60);
        while ((int)back.size() < kJobs && steady_clock::now() < deadline) {
            while (next < kJobs && wq.has_room()) wq.add_task(jobs[(size_t)next++]);
            max_out = std::max(max_out, (int)wq.outstanding());
            while (UTL_work_task* done = wq.poll_done()) {
                EXPECT_TRUE(back.insert((test_job*)done).second);
            }
            if (next == kJobs) {
                if (UTL_work_task* done = wq.wait_done()) {
                    EXPECT_TRUE(back.insert((test_job*)done).second);
                }
            }
        }
        stop = true;
        sender.join();
        EXPECT_EQ(max_out, kLimit);
        EXPECT_EQ(wq.outstanding(), 0);
        EXPECT_EQ(wq.poll_done(), nullptr);
        pthread_sigmask(SIG_UNBLOCK, &usr1, nullptr);
    }
    EXPECT_EQ((int)back.size(), kJobs);
    std::set<uint32_t> workers;
    for (test_job* j : jobs) {
        EXPECT_EQ(j->runs.load(), 1);
        EXPECT_NE(j->worker, self);
        workers.insert(j->worker);
        delete j;
    }
    EXPECT_LE(workers.size(), 4u);
}

TEST(WorkQueue, RoomFollowsTheJobsOut)
{
    watchdog wd(120);
    std::promise<void> open;
    std::shared_future<void> gate = open.get_future().share();
    std::vector<test_job*> jobs;
    {
        UTL_work_queue wq(1, 8);
        EXPECT_EQ(wq.wait_done(), nullptr); // nothing out: no wait
        for (int i = 0; i < 8; ++i) {
            EXPECT_TRUE(wq.has_room());
            jobs.push_back(new test_job(i));
            jobs.back()->gate = gate;
            wq.add_task(jobs.back());
        }
        EXPECT_FALSE(wq.has_room());
        EXPECT_EQ(wq.outstanding(), 8);
        EXPECT_EQ(wq.poll_done(), nullptr);
        open.set_value();
        UTL_work_task* first = wq.wait_done();
        EXPECT_EQ(first, jobs[0]);
        EXPECT_TRUE(wq.has_room());
        EXPECT_EQ(wq.outstanding(), 7);
        for (int i = 1; i < 8; ++i) EXPECT_EQ(wq.wait_done(), jobs[(size_t)i]); // one worker: in order
        EXPECT_EQ(wq.wait_done(), nullptr);
    }
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(jobs[(size_t)i]->runs.load(), 1);
        delete jobs[(size_t)i];
    }
}

TEST(WorkQueue, DestroyRunsEveryWaitingJobBeforeTheWorkersStop)
{
    watchdog wd(120);
    std::promise<void> open;
    std::shared_future<void> gate = open.get_future().share();
    std::vector<test_job*> jobs;
    std::thread opener;
    gOrder = 0;
    {
        UTL_work_queue wq(2, 100);
        // The first two jobs hold both workers, so the rest are still waiting at destruction.
        for (int i = 0; i < 30; ++i) {
            jobs.push_back(new test_job(i));
            if (i < 2) jobs.back()->gate = gate;
            wq.add_task(jobs.back());
        }
        opener = std::thread([&open] {
            std::this_thread::sleep_for(milliseconds(50));
            open.set_value();
        });
    }
    opener.join();
    std::set<int> orders;
    for (test_job* j : jobs) {
        EXPECT_EQ(j->runs.load(), 1) << j->index;
        orders.insert(j->order);
        delete j;
    }
    EXPECT_EQ(orders.size(), 30u);
}

TEST(WorkQueue, WithoutWorkersNothingRunsAndNothingWaits)
{
    test_job job(0);
    {
        UTL_work_queue wq(0, 4);
        wq.add_task(&job);
        EXPECT_EQ(wq.outstanding(), 1);
        EXPECT_EQ(wq.poll_done(), nullptr);
        EXPECT_EQ(wq.wait_done(), nullptr);
        wq.add_task(nullptr); // not a job: ignored
        EXPECT_EQ(wq.outstanding(), 1);
    }
    EXPECT_EQ(job.runs.load(), 0);
}
