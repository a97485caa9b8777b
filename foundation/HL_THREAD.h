// The thread framework: which thread is the main (window and OpenGL) thread, starting threads
// that may get an OpenGL context sharing the main one's objects, alerts raised on other threads
// carried to the main thread as exce_class records, asynchronous calls on the program-wide
// worker pool, and the framework's start and orderly end.
#pragma once
#include "foundation/UTL_thread.h"
#include "foundation/thread_pool.h"

#include <atomic>
#include <cstdint>
#include <string>

// One alert on its way from another thread to the main thread.
class exce_class {
public:
    exce_class(const std::string& line1, const std::string& line2, const std::string& line3,
               const std::string& line4, const char* file, int32_t line, int32_t code);
    exce_class(const exce_class&) = default;
    virtual ~exce_class() {}

    // Shows the record: on the main thread (or with the framework down) as the alert, which
    // ends the program for fatal and crash codes; on another thread it logs it and shuts down.
    void report();
    void make_crash();

    std::string text[4]; // lines 1 to 4, already translated
    const char* file;    // not owned
    int32_t line;
    int32_t code; // alert_code
};

extern std::atomic<uint32_t> gMainThreadId;
extern std::atomic<int32_t> gThreadsInited; // 1 between THREAD_init and THREAD_exit
extern UTL_queue<exce_class*>* gThreadMessages; // notes
extern UTL_queue<exce_class*>* gThreadErrors;   // fatal and crash alerts
extern UTL_threadpool* gWorkerPool;

// One function call run as a job of the worker pool, keeping its result.
class THREAD_call : public UTL_pool_task {
public:
    THREAD_call(UTL_thread_func func, void* arg);
    ~THREAD_call() override;
    int32_t run(int32_t thread_number) override;
    const char* name() override;

    UTL_queue<void*>* done; // the call itself arrives here once the function has returned
    UTL_thread_func func;
    void* arg;
    uint32_t result;
};

// Start and end, main thread only: THREAD_init right after the command line is parsed;
// THREAD_init_workers once driver detection has settled threaded_avail; THREAD_exit from the
// orderly shutdown.
void THREAD_init();
void THREAD_init_workers();
void THREAD_exit();

int32_t THREAD_is_main_thread();
int32_t THREAD_is_inited();

// Workers of the pool for a processor count: one fewer than the processors, or the value of
// "--num_workers" when has_option is set, always within 1 to 32; 0 without threaded OpenGL.
int32_t THREAD_worker_count(int32_t cpu_count, int has_option, const std::string& option_value, int threaded);

// Starts function(argument) inside the framework's thread routine, which turns an escaping
// exception into a crash alert for the main thread. With use_gl (and threaded OpenGL available)
// the thread gets a context sharing the main context's objects. Returns once the new thread has
// taken over its start.
void THREAD_start(UTL_thread_func func, void* arg, UTL_thread_handle* out_thread, uint32_t* out_id,
                  UTL_thread_handle* out_wait, int32_t use_gl);

// Queues a copy of the record by its code; a fatal or crash record ends the calling thread
// unless it is the main thread.
void THREAD_forward_exception(const exce_class& rec);
// Main thread: shows and deletes every queued error, then every note when with_notes is set.
void THREAD_report_exceptions(int32_t with_notes);

// Pools of worker threads that the framework does not own (the work queues) register here, so
// that THREAD_exit can stop and join their workers before the alert queues go. stop must leave
// the pool with no worker running; it is called on the main thread.
typedef void (*THREAD_pool_stop_func)(void* pool);
void THREAD_register_pool(void* pool, THREAD_pool_stop_func stop);
void THREAD_unregister_pool(void* pool);

// Asynchronous calls (main thread, between THREAD_init_workers and THREAD_exit). Without
// workers the function has already run when THREAD_call_async returns.
THREAD_call* THREAD_call_async(UTL_thread_func func, void* arg);
// 1 when the call has finished; shows queued errors while it waits.
int32_t THREAD_call_wait(THREAD_call* call, int32_t timeout);
// The function's result; deletes the call. Only after THREAD_call_wait returned 1.
uint32_t THREAD_call_result(THREAD_call* call);
