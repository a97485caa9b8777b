// Worker pool, its task queue and the run loop (see thread_pool.h).
#include "foundation/thread_pool.h"

#include "foundation/HL_THREAD.h"

#include <cstdio>

UTL_run_loop* gRunLoop = nullptr;

UTL_task_queue* UTL_task_queue_create()
{
    UTL_task_queue* q = new UTL_task_queue();
    MUTEX_init(&q->lock);
    SEM_create(&q->items, 0);
    return q;
}

void UTL_task_queue_destroy(UTL_task_queue* q)
{
    if (!q) return;
    MUTEX_destroy(&q->lock);
    SEM_destroy(q->items);
    delete q;
}

void UTL_task_queue_push(UTL_task_queue* q, UTL_pool_task* const* items, int32_t count, int32_t at_front)
{
    if (count <= 0) return;
    MUTEX_lock(&q->lock);
    q->list.insert(at_front ? q->list.begin() : q->list.end(), items, items + count);
    MUTEX_unlock(&q->lock);
    // After the lock is left, so a woken taker never waits for it.
    for (int32_t i = 0; i < count; ++i) SEM_signal(q->items);
}

UTL_pool_task* UTL_task_queue_pop(UTL_task_queue* q, int32_t timeout)
{
    for (;;) {
        if (!SEM_wait(q->items, timeout)) return nullptr;
        MUTEX_lock(&q->lock);
        if (!q->list.empty()) {
            UTL_pool_task* item = q->list.front();
            q->list.pop_front();
            MUTEX_unlock(&q->lock);
            return item;
        }
        MUTEX_unlock(&q->lock);
        if (timeout >= 0) return nullptr;
    }
}

namespace {
struct worker_start {
    UTL_threadpool* pool;
    int32_t number; // 1 to N
};
} // namespace

UTL_threadpool::UTL_threadpool(int32_t thread_count)
{
    const size_t n = thread_count > 0 ? (size_t)thread_count : 0;
    threads.assign(n, nullptr);
    waits.assign(n, nullptr);
    thread_ids.assign(n, 0);
    tasks = UTL_task_queue_create();
    for (size_t i = 0; i < n; ++i) {
        worker_start* rec = new worker_start{this, (int32_t)i + 1};
        THREAD_start(&UTL_threadpool::thread_proc, rec, &threads[i], &thread_ids[i], &waits[i], 1);
        // A worker that never started cannot free its record.
        if (!threads[i]) delete rec;
    }
}

UTL_threadpool::~UTL_threadpool()
{
    // The stop markers go in front of every waiting job, in one push, so each worker stops as
    // soon as its current job returns.
    std::vector<UTL_pool_task*> stops(threads.size(), nullptr);
    UTL_task_queue_push(tasks, stops.data(), (int32_t)stops.size(), 1);
    for (size_t i = 0; i < threads.size(); ++i) THREAD_join(&threads[i], &waits[i]);
    UTL_task_queue_destroy(tasks);
}

void UTL_threadpool::submit(UTL_pool_task* job, int32_t at_front)
{
    UTL_task_queue_push(tasks, &job, 1, at_front);
}

int32_t UTL_threadpool::thread_count()
{
    return (int32_t)threads.size();
}

uint32_t UTL_threadpool::thread_proc(void* start_record)
{
    worker_start* rec = (worker_start*)start_record;
    UTL_threadpool* pool = rec->pool;
    const int32_t number = rec->number;
    delete rec;
    for (;;) {
        UTL_pool_task* job = UTL_task_queue_pop(pool->tasks, -1);
        if (!job) return 0;
        if (job->run(number)) delete job;
    }
}

UTL_run_loop* RL_alloc()
{
    return QUEUE_create<void*>();
}

void RL_create()
{
    gRunLoop = RL_alloc();
}

void* RL_wait(UTL_run_loop* rl, int32_t timeout)
{
    return QUEUE_pop(rl, timeout);
}

void RL_destroy()
{
    if (!gRunLoop) return;
    if (QUEUE_pop(gRunLoop, 0)) {
        printf("WARNING: runloop not empty.\n");
        fflush(stdout);
    }
    QUEUE_destroy(gRunLoop);
    gRunLoop = nullptr;
}
