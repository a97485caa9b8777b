// Mutex, semaphore, thread start and join, processor count (see UTL_thread.h); the queue is a
// template in the header.
#include "foundation/UTL_thread.h"

#include "foundation/alert.h"
#include "foundation/log.h"

#include <cstdio>

void MUTEX_init(UTL_mutex* m)
{
    PLAT_mutex_init(&m->m);
}

void MUTEX_destroy(UTL_mutex* m)
{
    PLAT_mutex_destroy(&m->m);
}

void MUTEX_lock(UTL_mutex* m)
{
    PLAT_mutex_lock(&m->m);
}

void MUTEX_unlock(UTL_mutex* m)
{
    PLAT_mutex_unlock(&m->m);
}

void SEM_create(UTL_semaphore** out, int32_t initial_count)
{
    UTL_semaphore* s = new UTL_semaphore();
    s->count.store(initial_count);
    PLAT_sem_init(&s->os);
    *out = s;
}

void SEM_destroy(UTL_semaphore* s)
{
    if (!s) return;
    PLAT_sem_destroy(&s->os);
    delete s;
}

void SEM_signal(UTL_semaphore* s)
{
    // A new count below 1 means the old one was negative: a thread has committed to sleep and
    // this unit is its wake-up.
    if (s->count.fetch_add(1) + 1 < 1) PLAT_sem_post(&s->os);
}

int32_t SEM_os_wait(UTL_semaphore* s, int32_t timeout)
{
    int err = 0;
    int r = PLAT_sem_wait(&s->os, timeout, &err);
    if (r == 1) return 1;
    printf("WaitForSingleObject: %d\n", err);
    if (timeout < 0) return 1;
    return r == 0 ? 0 : 1;
}

int32_t SEM_wait(UTL_semaphore* s, int32_t timeout)
{
    if (timeout == 0) {
        int32_t c = s->count.load();
        while (c > 0)
            if (s->count.compare_exchange_weak(c, c - 1)) return 1;
        return 0;
    }
    if (s->count.fetch_sub(1) - 1 >= 0) return 1;
    // Committed to sleep: a signaller that sees the negative count releases the kernel semaphore
    // once for this thread.
    if (timeout < 0) {
        SEM_os_wait(s, -1);
        return 1;
    }
    if (SEM_os_wait(s, timeout)) {
        // Woken by a signaller's release. Reading the count orders this thread after that
        // signaller's update in the language's memory model too, so what the signaller did before
        // (such as handing over an item that the taker then frees) is visible without relying on
        // the kernel wait alone, which the thread checker cannot see through.
        (void)s->count.load(std::memory_order_acquire);
        return 1;
    }
    // Timed out: take the commitment back, unless a signaller has already counted this thread as
    // a sleeper; then its release is on the way and is ours.
    int32_t c = s->count.load();
    for (;;) {
        if (c >= 0) {
            SEM_os_wait(s, -1);
            return 1;
        }
        if (s->count.compare_exchange_weak(c, c + 1)) return 0;
    }
}

void THREAD_create(UTL_thread_func func, void* arg, UTL_thread_handle* out_thread, uint32_t* out_id,
                   UTL_thread_handle* out_wait)
{
    UTL_thread_handle t = nullptr;
    uint32_t id = 0;
    int err = PLAT_thread_start(func, arg, &t, &id);
    *out_thread = t;
    *out_wait = t;
    *out_id = id;
    if (err != 0) {
        char text[64];
        snprintf(text, sizeof text, "err=%f", (double)err);
        MACIBM_alert(0, "\"CreateThread\" OS error", text, "", "", t_crash, "UTL_thread", 113);
    }
}

uint32_t THREAD_join(UTL_thread_handle* thread, UTL_thread_handle* wait)
{
    UTL_thread_handle t = *wait ? *wait : *thread;
    *thread = nullptr;
    *wait = nullptr;
    if (!t) return 0;
    uint32_t code = 0;
    int err = PLAT_thread_join(t, &code);
    if (err != 0) gLog << "Wait on thread for cleanup failed with " << (unsigned)err << ".\n";
    return code;
}

void THREAD_exit_current(uint32_t exit_code)
{
    PLAT_thread_exit(exit_code);
}

uint32_t THREAD_current_id()
{
    return PLAT_thread_id();
}

int32_t THREAD_cpu_count()
{
    return PLAT_cpu_count();
}
