// Fault signals on an alternate stack, the stack crawl and symbol look-up (see plat_crash.h).
#include "platform/plat_crash.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <ucontext.h>
#include <unistd.h>

static const int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};

static std::atomic<PLAT_crash_callback> sCallback{nullptr};
static std::atomic<int> sInstalled{0};
static std::atomic<int> sReporting{0};

// The alternate stack this thread was given; it is switched off and freed when the thread ends.
struct alt_stack_owner {
    void* mem = nullptr;
    ~alt_stack_owner()
    {
        if (!mem) return;
        stack_t cur;
        if (sigaltstack(nullptr, &cur) == 0 && cur.ss_sp == mem) {
            stack_t off = {};
            off.ss_flags = SS_DISABLE;
            sigaltstack(&off, nullptr);
        }
        free(mem);
    }
};
static thread_local alt_stack_owner tAltStack;

void PLAT_crash_prepare_thread()
{
    if (!sInstalled.load(std::memory_order_acquire) || tAltStack.mem) return;
    stack_t cur;
    if (sigaltstack(nullptr, &cur) == 0 && !(cur.ss_flags & SS_DISABLE)) return;
    // Room for the report writer, the unwinder and the symbol look-up, well above the minimum.
    long minimum = sysconf(_SC_SIGSTKSZ);
    size_t size = 65536 + (minimum > 0 ? (size_t)minimum : 0);
    void* mem = malloc(size);
    if (!mem) return;
    stack_t st = {};
    st.ss_sp = mem;
    st.ss_size = size;
    if (sigaltstack(&st, nullptr) != 0) {
        free(mem);
        return;
    }
    tAltStack.mem = mem;
}

static void on_fault(int sig, siginfo_t* si, void* ctx)
{
    const int saved_errno = errno;
    if (sReporting.exchange(1) == 0) {
        PLAT_crash_info info = {};
        info.signo = sig;
        info.code = si ? si->si_code : 0;
        info.fault_addr = si ? si->si_addr : nullptr;
#if defined(__x86_64__)
        const ucontext_t* uc = (const ucontext_t*)ctx;
        if (uc) {
            info.pc = (const void*)uc->uc_mcontext.gregs[REG_RIP];
            info.sp = (const void*)uc->uc_mcontext.gregs[REG_RSP];
        }
#elif defined(__aarch64__)
        const ucontext_t* uc = (const ucontext_t*)ctx;
        if (uc) {
            info.pc = (const void*)uc->uc_mcontext.pc;
            info.sp = (const void*)uc->uc_mcontext.sp;
        }
#else
        (void)ctx;
#endif
        PLAT_crash_callback cb = sCallback.load();
        if (cb) cb(&info);
    } else {
        // Another thread is writing its report, and the process ends when it is done.
        for (;;) pause();
    }
    // The default action ends the process with this signal, so its exit status tells the signal.
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, sig);
    pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    raise(sig);
    // A fault returns to the faulting instruction, which faults again under the default action.
    errno = saved_errno;
}

int PLAT_crash_install(PLAT_crash_callback callback)
{
    sCallback.store(callback);
    sInstalled.store(1, std::memory_order_release);
    PLAT_crash_prepare_thread();

    // The first backtrace() loads the unwinder library, which must not happen inside the handler.
    void* prime[4];
    backtrace(prime, 4);

    struct sigaction sa = {};
    sa.sa_sigaction = on_fault;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int s : kFaultSignals) sigaddset(&sa.sa_mask, s);
    for (int s : kFaultSignals)
        if (sigaction(s, &sa, nullptr) != 0) return errno;
    return 0;
}

__attribute__((noinline)) int PLAT_crawl_stack(void** addrs, int max)
{
    if (max <= 0) return 0;
    void* raw[256];
    int n = backtrace(raw, 256);
    // The walk begins inside this function (or inside a sanitizer's wrapper of backtrace); the
    // crawl starts at the return address into the caller.
    void* const caller = __builtin_return_address(0);
    int start = 1;
    for (int i = 0; i < n && i < 4; ++i)
        if (raw[i] == caller) {
            start = i;
            break;
        }
    int count = 0;
    for (int i = start; i < n && count < max; ++i) addrs[count++] = raw[i];
    return count;
}

int PLAT_find_symbol(const void* addr, PLAT_symbol* out)
{
    *out = PLAT_symbol{};
    Dl_info info;
    if (!dladdr(addr, &info)) return 0;
    out->module = info.dli_fname;
    out->module_base = (uintptr_t)info.dli_fbase;
    out->name = info.dli_sname;
    out->addr = (uintptr_t)info.dli_saddr;
    return 1;
}

int PLAT_crash_open_append(const char* path, int create)
{
    int flags = O_WRONLY | O_APPEND | O_CLOEXEC | (create ? O_CREAT : 0);
    int fd;
    do {
        fd = open(path, flags, 0644);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void PLAT_crash_write(int fd, const char* bytes, size_t n)
{
    while (n > 0) {
        ssize_t w = write(fd, bytes, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (w == 0) return;
        bytes += w;
        n -= (size_t)w;
    }
}

void PLAT_crash_close(int fd)
{
    if (fd >= 0) close(fd);
}
