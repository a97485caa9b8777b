// Worker threads fed from an in queue, finished jobs handed back on a done queue (see work_queue.h).
#include "foundation/work_queue.h"

#include "foundation/HL_THREAD.h"

#include <vector>

static void stop_pool(void* queue)
{
    ((UTL_work_queue*)queue)->stop_workers();
}

UTL_work_queue::UTL_work_queue(int32_t thread_count, int32_t limit)
{
    in_queue = QUEUE_create<UTL_work_task*>();
    done_queue = QUEUE_create<UTL_work_task*>();
    job_limit = limit;
    out_count = 0;
    running = 0;
    const size_t n = thread_count > 0 ? (size_t)thread_count : 0;
    threads.assign(n, nullptr);
    waits.assign(n, nullptr);
    thread_ids.assign(n, 0);
    for (size_t i = 0; i < n; ++i) {
        THREAD_create(&UTL_work_queue::thread_proc, this, &threads[i], &thread_ids[i], &waits[i]);
        if (threads[i]) ++running;
    }
    THREAD_register_pool(this, &stop_pool);
}

UTL_work_queue::~UTL_work_queue()
{
    THREAD_unregister_pool(this);
    // The stop markers go behind every job still waiting, so each worker runs what is queued first.
    for (size_t i = 0; i < threads.size(); ++i) QUEUE_push<UTL_work_task*>(in_queue, nullptr);
    for (size_t i = 0; i < threads.size(); ++i) THREAD_join(&threads[i], &waits[i]);
    QUEUE_destroy(in_queue);
    QUEUE_destroy(done_queue);
}

void UTL_work_queue::add_task(UTL_work_task* job)
{
    // A null job would be taken for a stop marker and end a worker.
    if (!job) return;
    ++out_count;
    QUEUE_push(in_queue, job);
}

bool UTL_work_queue::has_room()
{
    return out_count < job_limit;
}

int32_t UTL_work_queue::outstanding()
{
    return out_count;
}

UTL_work_task* UTL_work_queue::poll_done()
{
    UTL_work_task* job = QUEUE_pop(done_queue, 0);
    if (job) --out_count;
    return job;
}

UTL_work_task* UTL_work_queue::wait_done()
{
    // Without a worker nothing can ever finish, so waiting would never end.
    if (out_count <= 0 || running == 0) return nullptr;
    if (!THREAD_is_inited() || !THREAD_is_main_thread()) {
        UTL_work_task* job = QUEUE_pop(done_queue, -1);
        if (job) --out_count;
        return job;
    }
    for (;;) {
        THREAD_report_exceptions(0);
        UTL_work_task* job = QUEUE_pop(done_queue, 100);
        if (job) {
            --out_count;
            return job;
        }
    }
}

void UTL_work_queue::stop_workers()
{
    // Take the waiting jobs out, so the stop markers come first; they go back afterwards.
    std::vector<UTL_work_task*> waiting;
    while (UTL_work_task* job = QUEUE_pop(in_queue, 0)) waiting.push_back(job);
    for (size_t i = 0; i < threads.size(); ++i)
        if (threads[i]) QUEUE_push<UTL_work_task*>(in_queue, nullptr);
    for (size_t i = 0; i < threads.size(); ++i) THREAD_join(&threads[i], &waits[i]);
    running = 0;
    for (UTL_work_task* job : waiting) QUEUE_push(in_queue, job);
}

uint32_t UTL_work_queue::thread_proc(void* queue)
{
    UTL_work_queue* q = (UTL_work_queue*)queue;
    for (;;) {
        UTL_work_task* job = QUEUE_pop(q->in_queue, -1);
        if (!job) return 0;
        job->run();
        QUEUE_push(q->done_queue, job);
    }
}
