// The work queue: a fixed set of worker threads that run jobs and hand them back to the owner
// thread, which feeds them step by step from its frame loop and collects them by polling.
#pragma once
#include "foundation/UTL_thread.h"

#include <cstdint>
#include <string>
#include <vector>

// A job of the work queue; the owner creates it and deletes it once it is taken back.
class UTL_work_task {
public:
    virtual ~UTL_work_task() {}
    virtual void run() = 0;          // on a worker thread
    virtual std::string name() = 0;
};

// Everything but the workers' routine is called on the owner thread only.
class UTL_work_queue {
public:
    UTL_work_queue(int32_t thread_count, int32_t job_limit);
    // Lets every job still waiting run, then stops and joins the workers. Finished jobs not taken
    // back are left to the owner (collect them first).
    ~UTL_work_queue();
    UTL_work_queue(const UTL_work_queue&) = delete;
    UTL_work_queue& operator=(const UTL_work_queue&) = delete;

    void add_task(UTL_work_task* job);
    // True while fewer than the job limit are out.
    bool has_room();
    // Jobs added and not yet taken back.
    int32_t outstanding();
    // A finished job, or null; never waits.
    UTL_work_task* poll_done();
    // A finished job, waiting for it; null at once when nothing is out or no worker runs. On the
    // main thread it shows the fatal alerts of workers while it waits: such a worker has ended
    // without handing its job back, and the alert ends the program.
    UTL_work_task* wait_done();
    // Lets every worker finish its current job and stop, and joins them; the jobs still waiting
    // stay queued and never run. The thread framework calls it at its end.
    void stop_workers();

    static uint32_t thread_proc(void* queue);

private:
    UTL_queue<UTL_work_task*>* in_queue;
    UTL_queue<UTL_work_task*>* done_queue;
    int32_t job_limit;
    int32_t out_count; // a plain int: only the owner thread changes it
    std::vector<UTL_thread_handle> threads;
    std::vector<UTL_thread_handle> waits;
    std::vector<uint32_t> thread_ids;
    int32_t running; // workers that started
};
