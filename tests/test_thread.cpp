// tsan: yes
// The semaphore, the queue, thread start and join, and the work queue under load: many producers
// and consumers, signals sent to waiting threads, the work queue's order and its bound on jobs out.
#include "foundation/UTL_thread.h"
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

std::atomic<int> gSignalsSeen{0};

void on_usr1(int)
{
    gSignalsSeen.fetch_add(1, std::memory_order_relaxed);
}

// SIGUSR1 without SA_RESTART, so every blocking call it hits returns EINTR.
void install_usr1()
{
    struct sigaction sa = {};
    sa.sa_handler = on_usr1;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGUSR1, &sa, nullptr);
}

// Ends the test program when a test hangs, so none runs unbounded.
struct watchdog {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::thread t{[this] {
        std::unique_lock<std::mutex> l(m);
        if (!cv.wait_for(l, seconds(120), [this] { return done; })) {
            fprintf(stderr, "watchdog: test did not finish in time\n");
            _exit(3);
        }
    }};
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

// Sends SIGUSR1 to the threads (or to the process when none is named) every 300 us until finished.
// It must finish before the threads are joined.
struct signaller {
    std::atomic<bool> stop{false};
    std::thread t;
    explicit signaller(std::vector<pthread_t> targets)
    {
        install_usr1();
        t = std::thread([this, targets] {
            for (int round = 0; round < 400000 && !stop.load(); ++round) {
                for (pthread_t p : targets) pthread_kill(p, SIGUSR1);
                if (targets.empty()) kill(getpid(), SIGUSR1);
                std::this_thread::sleep_for(microseconds(300));
            }
        });
    }
    void finish()
    {
        stop = true;
        if (t.joinable()) t.join();
    }
    ~signaller() { finish(); }
};

int os_value(UTL_semaphore* s)
{
    int v = -1;
    sem_getvalue(&s->os.s, &v);
    return v;
}

void* item(uintptr_t v)
{
    return (void*)v;
}

// Waits (bounded) until done() holds.
template <class F> void await(F done)
{
    for (int i = 0; i < 60000 && !done(); ++i) std::this_thread::sleep_for(milliseconds(1));
}

} // namespace

TEST(Semaphore, CountKernelReleasesAndTimeOuts)
{
    watchdog wd;
    UTL_semaphore* s = nullptr;
    SEM_create(&s, 5);
    SEM_signal(s);
    EXPECT_EQ(s->count.load(), 6);
    EXPECT_EQ(os_value(s), 0); // nobody sleeps: no kernel call
    s->count.store(-2);        // as if two threads had committed to sleep
    SEM_signal(s);
    EXPECT_EQ(s->count.load(), -1);
    EXPECT_EQ(os_value(s), 1); // exactly one sleeper woken
    SEM_destroy(s);

    SEM_create(&s, 0);
    EXPECT_EQ(SEM_wait(s, 0), 0);
    EXPECT_EQ(s->count.load(), 0);
    for (int i = 0; i < 5000; ++i) SEM_signal(s); // far more units than the kernel's sleeper bound
    int taken = 0;
    while (taken < 6000 && SEM_wait(s, 0)) ++taken;
    EXPECT_EQ(taken, 5000);

    // Signals never end a timed wait early, and the timed-out wait gives its claim back.
    gSignalsSeen = 0;
    signaller sig({pthread_self()});
    auto t0 = steady_clock::now();
    EXPECT_EQ(SEM_wait(s, 300), 0);
    auto waited = duration_cast<milliseconds>(steady_clock::now() - t0).count();
    sig.finish();
    EXPECT_GE(waited, 300);
    EXPECT_LT(waited, 10000);
    EXPECT_GT(gSignalsSeen.load(), 0);
    EXPECT_EQ(s->count.load(), 0);
    EXPECT_EQ(os_value(s), 0);
    SEM_destroy(s);
}

TEST(Semaphore, ManyWaitersAndSignallersTakeEveryUnitOnce)
{
    watchdog wd;
    UTL_semaphore* s = nullptr;
    SEM_create(&s, 0);
    const int kUnits = 8000, kGivers = 4, kTakers = 8;
    std::atomic<int> taken{0};
    std::vector<std::thread> takers;
    for (int w = 0; w < kTakers; ++w)
        takers.emplace_back([&, w] {
            const auto deadline = steady_clock::now() + seconds(60);
            for (int i = 0; taken.load() < kUnits && steady_clock::now() < deadline; ++i)
                if (SEM_wait(s, (i + w) % 3 == 1 ? 0 : 1)) taken.fetch_add(1);
        });
    std::vector<pthread_t> ids;
    for (auto& t : takers) ids.push_back(t.native_handle());
    signaller sig(ids);
    std::vector<std::thread> givers;
    for (int g = 0; g < kGivers; ++g)
        givers.emplace_back([&] {
            for (int i = 0; i < kUnits / kGivers; ++i) {
                SEM_signal(s);
                // Units trickle in, so they land on sleepers and on waits that are timing out.
                if (i % 4 == 0) std::this_thread::sleep_for(microseconds(100));
            }
        });
    for (auto& t : givers) t.join();
    await([&] { return taken.load() >= kUnits; });
    sig.finish();
    for (auto& t : takers) t.join();
    EXPECT_EQ(taken.load(), kUnits);
    EXPECT_EQ(s->count.load(), 0);
    EXPECT_EQ(os_value(s), 0); // no wake-up left over for a sleeper that is not there
    SEM_destroy(s);
}

TEST(Queue, OrderMarkersAndTimeOuts)
{
    watchdog wd;
    UTL_queue<void*>* q = QUEUE_create<void*>();
    EXPECT_EQ(QUEUE_pop(q, 0), nullptr);
    for (uintptr_t v = 1; v <= 3; ++v) QUEUE_push(q, item(v));
    EXPECT_EQ(QUEUE_pop(q, 0), item(1));
    EXPECT_EQ(QUEUE_pop(q, -1), item(2));
    EXPECT_EQ(QUEUE_pop(q, 100), item(3));

    QUEUE_push<void*>(q, nullptr); // the stop marker is an item like any other
    QUEUE_push(q, item(4));
    EXPECT_EQ(QUEUE_pop(q, -1), nullptr);
    EXPECT_EQ(QUEUE_pop(q, -1), item(4));

    EXPECT_EQ(QUEUE_pop(q, 40), nullptr);
    EXPECT_EQ(q->items->count.load(), 0);
    std::thread pusher([q] {
        std::this_thread::sleep_for(milliseconds(30));
        QUEUE_push(q, item(5));
    });
    EXPECT_EQ(QUEUE_pop(q, 5000), item(5)); // a push during a timed wait is taken by it
    pusher.join();
    EXPECT_EQ(q->items->count.load(), 0);
    QUEUE_push(q, item(6)); // items left behind are not the queue's
    QUEUE_destroy(q);
}

TEST(Queue, ManyProducersAndConsumersUnderSignals)
{
    watchdog wd;
    UTL_queue<void*>* q = QUEUE_create<void*>();
    const int kProducers = 6, kPerProducer = 3000, kWaiting = 4, kTimed = 4;
    const int kTotal = kProducers * kPerProducer;
    std::atomic<int> received{0};
    std::vector<std::vector<uintptr_t>> got(kWaiting + kTimed);
    // Consumers that wait without limit end on a stop marker; timed ones once everything came.
    std::vector<std::thread> consumers;
    for (int c = 0; c < kWaiting + kTimed; ++c)
        consumers.emplace_back([&, c] {
            const auto deadline = steady_clock::now() + seconds(60);
            while (steady_clock::now() < deadline) {
                void* v = QUEUE_pop(q, c < kWaiting ? -1 : c % 2 * 2);
                if (!v && (c < kWaiting || received.load() >= kTotal)) return;
                if (!v) continue;
                got[(size_t)c].push_back((uintptr_t)v);
                received.fetch_add(1);
            }
        });
    std::vector<pthread_t> ids;
    for (auto& t : consumers) ids.push_back(t.native_handle());
    gSignalsSeen = 0;
    signaller sig(ids);
    await([] { return gSignalsSeen.load() > 0; }); // the signaller may start late on a busy machine
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p)
        producers.emplace_back([&, p] {
            for (int i = 0; i < kPerProducer; ++i) {
                QUEUE_push(q, item((uintptr_t)(p * kPerProducer + i + 1)));
                if (i % 256 == 0) std::this_thread::sleep_for(microseconds(200));
            }
        });
    for (auto& t : producers) t.join();
    await([&] { return received.load() >= kTotal; });
    sig.finish();
    // The timed consumers end first, so each stop marker reaches a consumer that waits for one.
    for (int c = kWaiting; c < kWaiting + kTimed; ++c) consumers[(size_t)c].join();
    for (int c = 0; c < kWaiting; ++c) QUEUE_push<void*>(q, nullptr);
    for (int c = 0; c < kWaiting; ++c) consumers[(size_t)c].join();

    // Nothing lost, nothing doubled, and each producer's items in the order pushed.
    std::vector<int> seen((size_t)kTotal + 1, 0);
    for (auto& list : got) {
        std::vector<uintptr_t> last(kProducers, 0);
        for (uintptr_t v : list) {
            ASSERT_TRUE(v >= 1 && v <= (uintptr_t)kTotal);
            ++seen[v];
            EXPECT_GT(v, last[(v - 1) / kPerProducer]);
            last[(v - 1) / kPerProducer] = v;
        }
    }
    int wrong = 0;
    for (int v = 1; v <= kTotal; ++v) wrong += seen[(size_t)v] != 1;
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(q->items->count.load(), 0);
    EXPECT_EQ(os_value(q->items), 0);
    EXPECT_GT(gSignalsSeen.load(), 0);
    QUEUE_destroy(q);
}

namespace {

std::atomic<uint32_t> gSeenId{0};

uint32_t returns_seven(void*)
{
    gSeenId = THREAD_current_id();
    return 7;
}

uint32_t exits_early(void*)
{
    THREAD_exit_current(42);
}

} // namespace

TEST(Thread, CreateJoinIdsAndProcessorCount)
{
    UTL_thread_handle h = nullptr, w = nullptr;
    uint32_t id = 0;
    THREAD_create(returns_seven, nullptr, &h, &id, &w);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h, w);
    EXPECT_EQ(THREAD_join(&h, &w), 7u);
    EXPECT_TRUE(h == nullptr && w == nullptr);
    EXPECT_EQ(gSeenId.load(), id);
    EXPECT_EQ(THREAD_current_id(), (uint32_t)getpid()); // the tests run on the main thread

    THREAD_create(exits_early, nullptr, &h, &id, &w);
    std::this_thread::sleep_for(milliseconds(20)); // usually ended by now: the code is kept
    EXPECT_EQ(THREAD_join(&h, &w), 42u);
    EXPECT_EQ(THREAD_join(&h, &w), 0u); // never started (or already joined): not waited for

    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    EXPECT_EQ(THREAD_cpu_count(), CPU_COUNT(&set));
}

namespace {

std::atomic<int> gRunOrder{0};

struct test_job : UTL_work_task {
    std::atomic<int> runs{0};
    int order = -1;                // position among all runs
    uint32_t worker = 0;           // thread that ran it
    std::shared_future<void> gate; // when set, the job waits for it (at most 20 s)
    void run() override
    {
        if (gate.valid()) gate.wait_for(seconds(20));
        order = gRunOrder.fetch_add(1);
        worker = THREAD_current_id();
        runs.fetch_add(1);
    }
    std::string name() override { return "test_job"; }
};

} // namespace

TEST(WorkQueue, FeedsByRoomAndHandsEveryJobBackOnceUnderSignals)
{
    watchdog wd;
    const int kJobs = 2000, kLimit = 8;
    std::vector<test_job> jobs(kJobs);
    std::set<UTL_work_task*> back;
    int max_out = 0;
    {
        UTL_work_queue wq(4, kLimit);
        // Signals sent to the process land on the workers: this thread and the sender block them.
        sigset_t usr1;
        sigemptyset(&usr1);
        sigaddset(&usr1, SIGUSR1);
        pthread_sigmask(SIG_BLOCK, &usr1, nullptr);
        signaller sig({});
        int next = 0;
        const auto deadline = steady_clock::now() + seconds(60);
        while ((int)back.size() < kJobs && steady_clock::now() < deadline) {
            while (next < kJobs && wq.has_room()) wq.add_task(&jobs[(size_t)next++]);
            max_out = std::max(max_out, (int)wq.outstanding());
            while (UTL_work_task* done = wq.poll_done()) back.insert(done);
            if (next == kJobs)
                if (UTL_work_task* done = wq.wait_done()) back.insert(done);
        }
        sig.finish();
        EXPECT_EQ(wq.outstanding(), 0);
        EXPECT_EQ(wq.wait_done(), nullptr); // nothing out: no wait
        pthread_sigmask(SIG_UNBLOCK, &usr1, nullptr);
    }
    EXPECT_EQ(max_out, kLimit);
    EXPECT_EQ((int)back.size(), kJobs);
    for (test_job& j : jobs) {
        EXPECT_EQ(j.runs.load(), 1);
        EXPECT_NE(j.worker, THREAD_current_id());
    }
}

TEST(WorkQueue, RoomFollowsTheJobsOutAndStopMarkersComeLast)
{
    watchdog wd;
    std::promise<void> open;
    std::shared_future<void> gate = open.get_future().share();
    std::vector<test_job> jobs(30);
    {
        UTL_work_queue wq(1, 8);
        jobs[0].gate = gate;
        for (int i = 0; i < 8; ++i) wq.add_task(&jobs[(size_t)i]);
        EXPECT_FALSE(wq.has_room());
        EXPECT_EQ(wq.poll_done(), nullptr);
        open.set_value();
        EXPECT_EQ(wq.wait_done(), &jobs[0]);
        EXPECT_TRUE(wq.has_room());
        EXPECT_EQ(wq.outstanding(), 7);
        for (int i = 1; i < 8; ++i) EXPECT_EQ(wq.wait_done(), &jobs[(size_t)i]); // one worker: in order
    }
    // Destruction with jobs still waiting: the stop markers go behind them, so all of them run.
    std::promise<void> open2;
    gRunOrder = 0;
    std::thread opener;
    {
        UTL_work_queue wq(2, 100);
        jobs[8].gate = jobs[9].gate = open2.get_future().share(); // these hold both workers
        for (int i = 8; i < 30; ++i) wq.add_task(&jobs[(size_t)i]);
        opener = std::thread([&open2] {
            std::this_thread::sleep_for(milliseconds(50));
            open2.set_value();
        });
    }
    opener.join();
    for (test_job& j : jobs) EXPECT_EQ(j.runs.load(), 1);
    EXPECT_EQ(gRunOrder.load(), 22);
}

TEST(WorkQueue, WithoutWorkersNothingRunsAndNothingWaits)
{
    test_job job;
    {
        UTL_work_queue wq(0, 4);
        wq.add_task(&job);
        wq.add_task(nullptr); // not a job: ignored
        EXPECT_EQ(wq.outstanding(), 1);
        EXPECT_EQ(wq.poll_done(), nullptr);
        EXPECT_EQ(wq.wait_done(), nullptr);
    }
    EXPECT_EQ(job.runs.load(), 0);
}
