// Threads, locks and semaphores of the operating system (pthreads and POSIX semaphores), and the
// processor count. The program's own thread primitives in foundation/UTL_thread are built on these.
#pragma once
#include <cstdint>
#include <pthread.h>
#include <semaphore.h>

// A recursive mutex: its owning thread may lock it again.
struct PLAT_mutex {
    pthread_mutex_t m;
};

void PLAT_mutex_init(PLAT_mutex* m);
void PLAT_mutex_destroy(PLAT_mutex* m);
void PLAT_mutex_lock(PLAT_mutex* m);
void PLAT_mutex_unlock(PLAT_mutex* m);

// A kernel semaphore used only to put threads to sleep and wake them.
struct PLAT_semaphore {
    sem_t s;
};

// Creates it with a count of 0; 0 on success, else an errno value.
int PLAT_sem_init(PLAT_semaphore* s);
void PLAT_sem_destroy(PLAT_semaphore* s);
// Adds one unit; 0 on success, else an errno value.
int PLAT_sem_post(PLAT_semaphore* s);
// Takes one unit, waiting up to timeout_ms (-1 without limit, 0 only tries). A wait cut short by
// a signal goes on with the time left, so only a post wakes it. Returns 1 when a unit was taken,
// 0 when the time ran out, -1 when the wait failed (the reason in *err).
int PLAT_sem_wait(PLAT_semaphore* s, int32_t timeout_ms, int* err);

// A started thread; the caller holds it until PLAT_thread_join frees it.
struct PLAT_thread;
typedef uint32_t (*PLAT_thread_entry)(void* arg);

// Starts entry(arg) on a new thread with the default stack size. On success returns 0 and gives
// the thread and its kernel thread id; on failure returns the errno value and *out is null.
int PLAT_thread_start(PLAT_thread_entry entry, void* arg, PLAT_thread** out, uint32_t* out_id);
// Waits for the thread to end and frees it. Returns 0 and the thread's exit code in *exit_code,
// or an errno value when the wait failed (the thread is then let go without being waited for).
int PLAT_thread_join(PLAT_thread* t, uint32_t* exit_code);
// Ends the calling thread with this exit code.
[[noreturn]] void PLAT_thread_exit(uint32_t exit_code);
// Kernel id of the calling thread.
uint32_t PLAT_thread_id();
// Keeps the calling thread on processor 0 only. 0 on success with the processors it was allowed
// before as a bit mask (processors 0 to 63) in *previous; else an errno value.
int PLAT_thread_lock_to_cpu0(unsigned long long* previous);

// Number of processors this process may run on, as it was when the program started (before any
// thread was pinned); at least 1.
int PLAT_cpu_count();
