// The program-wide worker pool: worker threads that run UTL_pool_task jobs from one blocking
// task queue, where a job may be put in front of the waiting ones; and the run loop, the message
// queue made current for the program at start-up.
#pragma once
#include "foundation/UTL_thread.h"

#include <cstdint>
#include <list>
#include <vector>

// A job of the worker pool.
class UTL_pool_task {
public:
    virtual ~UTL_pool_task() {}
    // Does the job. thread_number is the worker's number from 1, or -1 when the job runs on the
    // calling thread because the pool has no workers. Non-zero: the pool deletes the job after.
    virtual int32_t run(int32_t thread_number) = 0;
    virtual const char* name() = 0;
};

// The pool's blocking queue: items taken from the front, put at the front or the back. It never
// owns what its items point to; a null item is a worker's stop marker.
struct UTL_task_queue {
    UTL_mutex lock;
    UTL_semaphore* items; // counts the items no taker has claimed yet
    std::list<UTL_pool_task*> list;
};

UTL_task_queue* UTL_task_queue_create();
// Frees the queue; the items still in it are not deleted.
void UTL_task_queue_destroy(UTL_task_queue* q);
// Inserts count items as one block in their order: before the front item when at_front is
// non-zero, else after the back item.
void UTL_task_queue_push(UTL_task_queue* q, UTL_pool_task* const* items, int32_t count, int32_t at_front);
// The front item, or null when none came within the time-out (-1 without limit, 0 poll, else ms).
UTL_pool_task* UTL_task_queue_pop(UTL_task_queue* q, int32_t timeout);

class UTL_threadpool {
public:
    // Starts thread_count workers (0 allowed: then nothing submitted ever runs).
    explicit UTL_threadpool(int32_t thread_count);
    // Stops every worker as soon as its current job returns and joins them; jobs still waiting
    // are neither run nor deleted. Called on the main thread after the last submission.
    ~UTL_threadpool();
    UTL_threadpool(const UTL_threadpool&) = delete;
    UTL_threadpool& operator=(const UTL_threadpool&) = delete;

    // Queues one job (any thread), in front of the waiting ones when at_front is non-zero.
    void submit(UTL_pool_task* job, int32_t at_front);
    int32_t thread_count();
    // The routine of every worker; takes a heap start record that it frees.
    static uint32_t thread_proc(void* start_record);

    std::vector<UTL_thread_handle> threads;
    std::vector<UTL_thread_handle> waits;
    std::vector<uint32_t> thread_ids;
    UTL_task_queue* tasks;
};

// The run loop: a queue of pointer-sized messages. Nothing in this program posts to it.
typedef UTL_queue<void*> UTL_run_loop;
extern UTL_run_loop* gRunLoop;

UTL_run_loop* RL_alloc();
// Makes a run loop the current one (gRunLoop).
void RL_create();
// The front message, or null when none came within the time-out.
void* RL_wait(UTL_run_loop* rl, int32_t timeout);
// Frees the current run loop; warns on standard output when a message was still waiting.
void RL_destroy();
