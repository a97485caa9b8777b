// Thread primitives of the program: the recursive mutex, the counting semaphore that takes and gives
// units without a kernel call when nobody sleeps, starting and joining threads, and the thread-safe
// first-in first-out queue every hand-over between threads is built on.
// Every wait takes a time-out: -1 (any negative value) waits without limit, 0 only tries, else
// milliseconds.
#pragma once
#include "platform/plat_thread.h"

#include <atomic>
#include <cstdint>
#include <list>

// Critical section, embedded by value; its owning thread may enter it again.
struct UTL_mutex {
    PLAT_mutex m;
};

void MUTEX_init(UTL_mutex* m);
void MUTEX_destroy(UTL_mutex* m);
void MUTEX_lock(UTL_mutex* m);
void MUTEX_unlock(UTL_mutex* m);

struct UTL_semaphore {
    // Positive: units that can be taken at once. Negative: minus the number of threads that have
    // committed to sleep on the kernel semaphore and were not yet woken.
    std::atomic<int32_t> count;
    // Released only to wake a committed sleeper.
    PLAT_semaphore os;
};

void SEM_create(UTL_semaphore** out, int32_t initial_count);
void SEM_destroy(UTL_semaphore* s);
void SEM_signal(UTL_semaphore* s);
// 1 when a unit was taken, 0 when none came within the time-out.
int32_t SEM_wait(UTL_semaphore* s, int32_t timeout);
// The kernel sleep under SEM_wait: 1 woken (a failed wait counts as woken), 0 timed out.
int32_t SEM_os_wait(UTL_semaphore* s, int32_t timeout);

typedef uint32_t (*UTL_thread_func)(void* arg);
// A started thread; null when it never started.
typedef PLAT_thread* UTL_thread_handle;

// Starts func(arg) at once. The wait handle is the same thread a second time; both are null when
// the thread could not be started (which raises the crash alert).
void THREAD_create(UTL_thread_func func, void* arg, UTL_thread_handle* out_thread, uint32_t* out_id,
                   UTL_thread_handle* out_wait);
// Waits for the thread to end, releases it and returns its exit code; both handles become null.
// A thread that never started is not waited for (returns 0).
uint32_t THREAD_join(UTL_thread_handle* thread, UTL_thread_handle* wait);
[[noreturn]] void THREAD_exit_current(uint32_t exit_code);
uint32_t THREAD_current_id();
// Processors this process may run on, counted at start; at least 1.
int32_t THREAD_cpu_count();

// Thread-safe FIFO of pointer-sized items. It never owns what its items point to; a null item is
// a legal item (the stop or start marker of its users).
template <class T> struct UTL_queue {
    UTL_mutex lock;
    UTL_semaphore* items; // follows the items in the list that no taker has claimed yet
    std::list<T> list;
};

template <class T> UTL_queue<T>* QUEUE_create()
{
    UTL_queue<T>* q = new UTL_queue<T>();
    MUTEX_init(&q->lock);
    SEM_create(&q->items, 0);
    return q;
}

template <class T> void QUEUE_destroy(UTL_queue<T>* q)
{
    if (!q) return;
    MUTEX_destroy(&q->lock);
    SEM_destroy(q->items);
    delete q;
}

template <class T> void QUEUE_push(UTL_queue<T>* q, T item)
{
    MUTEX_lock(&q->lock);
    q->list.push_back(item);
    MUTEX_unlock(&q->lock);
    // Signalled after the lock is left, so a woken taker never waits for the pusher's lock; the
    // item is in the list before its unit can be taken.
    SEM_signal(q->items);
}

// The front item, or null when none came within the time-out.
template <class T> T QUEUE_pop(UTL_queue<T>* q, int32_t timeout)
{
    for (;;) {
        if (!SEM_wait(q->items, timeout)) return T();
        MUTEX_lock(&q->lock);
        if (!q->list.empty()) {
            T item = q->list.front();
            q->list.pop_front();
            MUTEX_unlock(&q->lock);
            return item;
        }
        MUTEX_unlock(&q->lock);
        if (timeout >= 0) return T();
    }
}

// As QUEUE_pop, but tells a null item from a time-out: 1 with the front item in *out, 0 when
// none came within the time-out (*out untouched).
template <class T> int32_t QUEUE_pop_item(UTL_queue<T>* q, int32_t timeout, T* out)
{
    for (;;) {
        if (!SEM_wait(q->items, timeout)) return 0;
        MUTEX_lock(&q->lock);
        if (!q->list.empty()) {
            *out = q->list.front();
            q->list.pop_front();
            MUTEX_unlock(&q->lock);
            return 1;
        }
        MUTEX_unlock(&q->lock);
        if (timeout >= 0) return 0;
    }
}
