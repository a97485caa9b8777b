// tsan: yes
// The semaphore, the queue and thread start and join, alone and under load: many producers and
// consumers, with signals sent to the threads while they wait.
#include "foundation/UTL_thread.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <sched.h>
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

// Sends SIGUSR1 to the given threads every few hundred microseconds until stopped.
struct signaller {
    std::atomic<bool> stop{false};
    std::thread t;
    explicit signaller(std::vector<pthread_t> targets)
    {
        t = std::thread([this, targets] {
            for (int round = 0; round < 200000 && !stop.load(); ++round) {
                for (pthread_t p : targets) pthread_kill(p, SIGUSR1);
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

int os_sem_value(UTL_semaphore* s)
{
    int v = -1;
    sem_getvalue(&s->os.s, &v);
    return v;
}

void* item(uintptr_t v)
{
    return (void*)v;
}

} // namespace

TEST(Semaphore, CountAndKernelReleases)
{
    UTL_semaphore* s = nullptr;
    SEM_create(&s, 5);
    SEM_signal(s);
    EXPECT_EQ(s->count.load(), 6);
    EXPECT_EQ(os_sem_value(s), 0); // nobody sleeps: no kernel release
    s->count.store(-2);            // as if two threads had committed to sleep
    SEM_signal(s);
    EXPECT_EQ(s->count.load(), -1);
    EXPECT_EQ(os_sem_value(s), 1); // exactly one sleeper released
    SEM_destroy(s);

    SEM_create(&s, 0);
    EXPECT_EQ(SEM_wait(s, 0), 0);
    EXPECT_EQ(s->count.load(), 0);
    // Far more queued units than simultaneous sleepers.
    for (int i = 0; i < 5000; ++i) SEM_signal(s);
    EXPECT_EQ(s->count.load(), 5000);
    int taken = 0;
    while (taken < 6000 && SEM_wait(s, 0)) ++taken;
    EXPECT_EQ(taken, 5000);
    EXPECT_EQ(s->count.load(), 0);
    EXPECT_EQ(os_sem_value(s), 0);
    SEM_destroy(s);
}

TEST(Semaphore, TimedWaitOutlastsSignalsAndUndoesItsClaim)
{
    install_usr1();
    watchdog wd(60);
    UTL_semaphore* s = nullptr;
    SEM_create(&s, 0);
    gSignalsSeen = 0;
    signaller sig({pthread_self()});
    auto t0 = steady_clock::now();
    int32_t r = SEM_wait(s, 300);
    auto waited = duration_cast<milliseconds>(steady_clock::now() - t0).count();
    sig.finish();
    EXPECT_EQ(r, 0);
    EXPECT_GE(waited, 300); // signals never end the wait early
    EXPECT_LT(waited, 10000);
    EXPECT_EQ(s->count.load(), 0);
    EXPECT_EQ(os_sem_value(s), 0);
    EXPECT_GT(gSignalsSeen.load(), 0);

    // A unit given while a timed waiter sleeps is taken by it.
    std::thread giver([s] {
        std::this_thread::sleep_for(milliseconds(50));
        SEM_signal(s);
    });
    EXPECT_EQ(SEM_wait(s, 5000), 1);
    giver.join();
    EXPECT_EQ(s->count.load(), 0);
    SEM_destroy(s);
}

TEST(Semaphore, ManyWaitersAndSignallersTakeEveryUnitOnce)
{
    install_usr1();
    watchdog wd(120);
    UTL_semaphore* s = nullptr;
    SEM_create(&s, 0);
    const int kUnits = 8000, kGivers = 4, kTakers = 8;
    std::atomic<int> taken{0};
    std::vector<std::thread> takers;
    for (int w = 0; w < kTakers; ++w)
        takers.emplace_back([&, w] {
            const auto deadline = steady_clock::now() + seconds(60);
            // Polls, short timed waits and waits that must run into their time-out, mixed.
            const int32_t timeouts[3] = {1, 0, 1};
            for (int i = 0; taken.load() < kUnits && steady_clock::now() < deadline; ++i)
                if (SEM_wait(s, timeouts[(i + w) % 3])) taken.fetch_add(1);
        });
    std::vector<pthread_t> ids;
    for (auto& t : takers) ids.push_back(t.native_handle());
    signaller sig(ids);
    std::vector<std::thread> givers;
    for (int g = 0; g < kGivers; ++g)
        givers.emplace_back([&] {
            for (int i = 0; i < kUnits / kGivers; ++i) {
                SEM_signal(s);
                // Units trickle in, so most land on sleepers and some on waits that are timing out.
                if (i % 4 == 0) std::this_thread::sleep_for(microseconds(100));
            }
        });
    for (auto& t : givers) t.join();
    // Signals stop before the takers are joined: a joined thread cannot be signalled.
    for (int i = 0; i < 60000 && taken.load() < kUnits; ++i) std::this_thread::sleep_for(milliseconds(1));
    sig.finish();
    for (auto& t : takers) t.join();
    EXPECT_EQ(taken.load(), kUnits);
    EXPECT_EQ(s->count.load(), 0);
    EXPECT_EQ(os_sem_value(s), 0); // no release was left over for a sleeper that was not there
    SEM_destroy(s);
}

TEST(Queue, OrderPollAndMarkers)
{
    UTL_queue<void*>* q = QUEUE_create<void*>();
    EXPECT_EQ(QUEUE_pop(q, 0), nullptr);
    EXPECT_EQ(q->items->count.load(), 0);

    QUEUE_push(q, item(1));
    QUEUE_push(q, item(2));
    QUEUE_push(q, item(3));
    EXPECT_EQ(QUEUE_pop(q, 0), item(1));
    EXPECT_EQ(QUEUE_pop(q, -1), item(2));
    EXPECT_EQ(QUEUE_pop(q, 100), item(3));

    // A null item is an item: a waiting pop returns it (the stop marker).
    QUEUE_push<void*>(q, nullptr);
    QUEUE_push(q, item(4));
    EXPECT_EQ(QUEUE_pop(q, -1), nullptr);
    EXPECT_EQ(q->items->count.load(), 1);
    EXPECT_EQ(QUEUE_pop(q, -1), item(4));

    // A timed pop that times out leaves the count as it was.
    auto t0 = steady_clock::now();
    EXPECT_EQ(QUEUE_pop(q, 40), nullptr);
    EXPECT_GE(duration_cast<milliseconds>(steady_clock::now() - t0).count(), 40);
    EXPECT_EQ(q->items->count.load(), 0);

    // A push that lands while a timed pop waits is taken by it.
    std::thread pusher([q] {
        std::this_thread::sleep_for(milliseconds(30));
        QUEUE_push(q, item(5));
    });
    EXPECT_EQ(QUEUE_pop(q, 5000), item(5));
    pusher.join();
    EXPECT_EQ(q->items->count.load(), 0);

    // Items left in a queue are not the queue's: destroying it frees only its nodes.
    QUEUE_push(q, item(6));
    QUEUE_destroy(q);
}

TEST(Queue, ManyProducersAndConsumersUnderSignals)
{
    install_usr1();
    watchdog wd(120);
    UTL_queue<void*>* q = QUEUE_create<void*>();
    const int kProducers = 6, kPerProducer = 3000, kWaiting = 4, kTimed = 4;
    const int kTotal = kProducers * kPerProducer;
    std::atomic<int> received{0};
    std::vector<std::vector<uintptr_t>> got(kWaiting + kTimed);

    // Consumers that wait without limit end on a stop marker; timed ones end once all came.
    std::vector<std::thread> waiting, timed;
    for (int c = 0; c < kWaiting; ++c)
        waiting.emplace_back([&, c] {
            for (int i = 0; i <= kTotal; ++i) {
                void* v = QUEUE_pop(q, -1);
                if (!v) return;
                got[(size_t)c].push_back((uintptr_t)v);
                received.fetch_add(1);
            }
        });
    for (int c = 0; c < kTimed; ++c)
        timed.emplace_back([&, c] {
            const auto deadline = steady_clock::now() + seconds(60);
            while (received.load() < kTotal && steady_clock::now() < deadline) {
                void* v = QUEUE_pop(q, (c % 2) ? 2 : 0);
                if (!v) continue;
                got[(size_t)(kWaiting + c)].push_back((uintptr_t)v);
                received.fetch_add(1);
            }
        });
    std::vector<pthread_t> ids;
    for (auto& t : waiting) ids.push_back(t.native_handle());
    for (auto& t : timed) ids.push_back(t.native_handle());
    gSignalsSeen = 0;
    signaller sig(ids);

    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p)
        producers.emplace_back([&, p] {
            for (int i = 0; i < kPerProducer; ++i) {
                QUEUE_push(q, item((uintptr_t)(p * kPerProducer + i + 1)));
                if (i % 256 == 0) std::this_thread::sleep_for(microseconds(200));
            }
        });
    for (auto& t : producers) t.join();
    // Signals stop before the consumers are joined: a joined thread cannot be signalled.
    for (int i = 0; i < 60000 && received.load() < kTotal; ++i) std::this_thread::sleep_for(milliseconds(1));
    sig.finish();
    for (auto& t : timed) t.join();
    for (int c = 0; c < kWaiting; ++c) QUEUE_push<void*>(q, nullptr);
    for (auto& t : waiting) t.join();

    // Nothing lost, nothing doubled, and each producer's items in the order pushed.
    std::vector<int> seen((size_t)kTotal + 1, 0);
    for (auto& list : got) {
        std::vector<uintptr_t> last(kProducers, 0);
        for (uintptr_t v : list) {
            ASSERT_GE(v, 1u);
            ASSERT_LE(v, (uintptr_t)kTotal);
            ++seen[v];
            size_t producer = (v - 1) / kPerProducer;
            EXPECT_GT(v, last[producer]);
            last[producer] = v;
        }
    }
    int missing = 0, doubled = 0;
    for (int v = 1; v <= kTotal; ++v) {
        missing += seen[(size_t)v] == 0;
        doubled += seen[(size_t)v] > 1;
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(doubled, 0);
    EXPECT_EQ(received.load(), kTotal);
    EXPECT_EQ(q->items->count.load(), 0);
    EXPECT_EQ(os_sem_value(q->items), 0);
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

uint32_t exits_early(void* arg)
{
    QUEUE_push((UTL_queue<void*>*)arg, item(1));
    THREAD_exit_current(42);
}

} // namespace

TEST(Thread, CreateJoinAndIds)
{
    UTL_thread_handle h = nullptr, w = nullptr;
    uint32_t id = 0;
    THREAD_create(returns_seven, nullptr, &h, &id, &w);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h, w);
    EXPECT_EQ(THREAD_join(&h, &w), 7u);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(w, nullptr);
    EXPECT_EQ(gSeenId.load(), id);
    EXPECT_NE(id, THREAD_current_id());
    EXPECT_EQ(THREAD_current_id(), (uint32_t)getpid()); // the test runs on the main thread

    // A thread that already ended gives its exit code at once; THREAD_exit_current sets it.
    UTL_queue<void*>* q = QUEUE_create<void*>();
    THREAD_create(exits_early, q, &h, &id, &w);
    EXPECT_EQ(QUEUE_pop(q, 10000), item(1));
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(THREAD_join(&h, &w), 42u);
    QUEUE_destroy(q);

    // A thread that never started is never waited for.
    UTL_thread_handle none = nullptr, none_wait = nullptr;
    EXPECT_EQ(THREAD_join(&none, &none_wait), 0u);
}

TEST(Thread, ProcessorCountIsTheAffinityCountAtStart)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    EXPECT_EQ(THREAD_cpu_count(), CPU_COUNT(&set));
    EXPECT_GE(THREAD_cpu_count(), 1);

    // Pinning a thread later does not change the count.
    int before = THREAD_cpu_count();
    std::thread pinned([&] {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu() >= 0 ? sched_getcpu() : 0, &one);
        sched_setaffinity(0, sizeof one, &one);
        EXPECT_EQ(THREAD_cpu_count(), before);
    });
    pinned.join();
}
