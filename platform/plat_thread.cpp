// pthread and POSIX-semaphore layer under the program's thread primitives (see plat_thread.h).
#include "platform/plat_thread.h"

#include "platform/plat_crash.h"

#include <cerrno>
#include <ctime>
#include <sched.h>
#include <unistd.h>

void PLAT_mutex_init(PLAT_mutex* m)
{
    pthread_mutexattr_t a;
    pthread_mutexattr_init(&a);
    pthread_mutexattr_settype(&a, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&m->m, &a);
    pthread_mutexattr_destroy(&a);
}

void PLAT_mutex_destroy(PLAT_mutex* m)
{
    pthread_mutex_destroy(&m->m);
}

void PLAT_mutex_lock(PLAT_mutex* m)
{
    pthread_mutex_lock(&m->m);
}

void PLAT_mutex_unlock(PLAT_mutex* m)
{
    pthread_mutex_unlock(&m->m);
}

int PLAT_sem_init(PLAT_semaphore* s)
{
    return sem_init(&s->s, 0, 0) == 0 ? 0 : errno;
}

void PLAT_sem_destroy(PLAT_semaphore* s)
{
    sem_destroy(&s->s);
}

int PLAT_sem_post(PLAT_semaphore* s)
{
    return sem_post(&s->s) == 0 ? 0 : errno;
}

int PLAT_sem_wait(PLAT_semaphore* s, int32_t timeout_ms, int* err)
{
    *err = 0;
    if (timeout_ms == 0) {
        for (;;) {
            if (sem_trywait(&s->s) == 0) return 1;
            if (errno == EINTR) continue;
            *err = errno;
            return errno == EAGAIN ? 0 : -1;
        }
    }
    if (timeout_ms < 0) {
        for (;;) {
            if (sem_wait(&s->s) == 0) return 1;
            if (errno == EINTR) continue;
            *err = errno;
            return -1;
        }
    }
    // One deadline on the monotonic clock: a wait that a signal cut short resumes with the time
    // that is left, and changes of the wall clock do not stretch or cut it.
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += timeout_ms / 1000;
    deadline.tv_nsec += (long)(timeout_ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    for (;;) {
        if (sem_clockwait(&s->s, CLOCK_MONOTONIC, &deadline) == 0) return 1;
        if (errno == EINTR) continue;
        *err = errno;
        return errno == ETIMEDOUT ? 0 : -1;
    }
}

struct PLAT_thread {
    pthread_t handle;
    PLAT_thread_entry entry;
    void* arg;
    uint32_t tid;
    sem_t started; // posted by the new thread once it has read entry and arg and set tid
};

static void* thread_main(void* p)
{
    PLAT_thread* t = (PLAT_thread*)p;
    PLAT_thread_entry entry = t->entry;
    void* arg = t->arg;
    t->tid = (uint32_t)gettid();
    PLAT_crash_prepare_thread();
    // From here on the record belongs to the starter and the joiner only.
    sem_post(&t->started);
    return (void*)(uintptr_t)entry(arg);
}

int PLAT_thread_start(PLAT_thread_entry entry, void* arg, PLAT_thread** out, uint32_t* out_id)
{
    *out = nullptr;
    *out_id = 0;
    PLAT_thread* t = new PLAT_thread();
    t->entry = entry;
    t->arg = arg;
    if (sem_init(&t->started, 0, 0) != 0) {
        int e = errno;
        delete t;
        return e;
    }
    int e = pthread_create(&t->handle, nullptr, thread_main, t);
    if (e != 0) {
        sem_destroy(&t->started);
        delete t;
        return e;
    }
    while (sem_wait(&t->started) != 0 && errno == EINTR) {
    }
    *out = t;
    *out_id = t->tid;
    return 0;
}

int PLAT_thread_join(PLAT_thread* t, uint32_t* exit_code)
{
    *exit_code = 0;
    void* ret = nullptr;
    int e = pthread_join(t->handle, &ret);
    if (e == 0) {
        if (ret != PTHREAD_CANCELED) *exit_code = (uint32_t)(uintptr_t)ret;
    } else {
        pthread_detach(t->handle);
    }
    sem_destroy(&t->started);
    delete t;
    return e;
}

void PLAT_thread_exit(uint32_t exit_code)
{
    pthread_exit((void*)(uintptr_t)exit_code);
}

uint32_t PLAT_thread_id()
{
    return (uint32_t)gettid();
}

int PLAT_thread_lock_to_cpu0(unsigned long long* previous)
{
    *previous = 0;
    cpu_set_t old_set;
    CPU_ZERO(&old_set);
    int e = pthread_getaffinity_np(pthread_self(), sizeof old_set, &old_set);
    if (e != 0) return e;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    e = pthread_setaffinity_np(pthread_self(), sizeof one, &one);
    if (e != 0) return e;
    for (int i = 0; i < 64; ++i)
        if (CPU_ISSET(i, &old_set)) *previous |= 1ULL << i;
    return 0;
}

static int count_cpus_raw()
{
    // The affinity mask says how many processors this process may use; grow the set for very
    // large machines.
    for (int n = 1024; n <= 65536; n *= 2) {
        cpu_set_t* set = CPU_ALLOC(n);
        if (!set) break;
        size_t size = CPU_ALLOC_SIZE(n);
        CPU_ZERO_S(size, set);
        if (sched_getaffinity(0, size, set) == 0) {
            int count = CPU_COUNT_S(size, set);
            CPU_FREE(set);
            return count;
        }
        int e = errno;
        CPU_FREE(set);
        if (e != EINVAL) break;
    }
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? (int)online : 0;
}

static int count_cpus()
{
    int n = count_cpus_raw();
    return n < 1 ? 1 : n;
}

// Taken while the program starts, before any thread is pinned to one processor.
static const int sCpuCountAtStart = count_cpus();

int PLAT_cpu_count()
{
    // Only a caller that runs before this file's static start-up sees 0 here.
    return sCpuCountAtStart >= 1 ? sCpuCountAtStart : count_cpus();
}
