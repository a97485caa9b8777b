// Catching processor faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP) and the pieces a crash report
// is written with. Everything a report calls is async-signal-safe: no stdio, no allocation.
#pragma once
#include <cstddef>
#include <cstdint>

// What the fault handler knows about one fault.
struct PLAT_crash_info {
    int signo;              // the signal
    int code;               // its sub-code (si_code); 0 or less when a process sent it
    const void* fault_addr; // the address the faulting access touched (si_addr)
    const void* pc;         // the instruction that faulted
    const void* sp;         // the stack pointer at the fault
};

// Called on the faulting thread, on an alternate stack, with the other fault signals blocked.
typedef void (*PLAT_crash_callback)(const PLAT_crash_info* info);

// Installs the fault handler on an alternate stack for the calling thread (threads started by
// PLAT_thread_start get their own) and loads what the stack crawl needs, so that the first crawl
// allocates nothing. After the callback the signal's default action is taken again, so the process
// ends as the signal says. SIGABRT is left alone. Returns 0, or an errno value.
int PLAT_crash_install(PLAT_crash_callback callback);

// Gives the calling thread an alternate stack for the fault handler once it is installed (a thread
// that already has one keeps it); the stack is freed when the thread ends.
void PLAT_crash_prepare_thread();

// Return addresses of the calling thread's stack, innermost first; the first one lies in the caller
// of PLAT_crawl_stack. Returns the number stored.
int PLAT_crawl_stack(void** addrs, int max);

// The loaded module and the nearest exported symbol at or below a code address. Texts point into
// the loader's memory; fields not found are null or 0. Returns 1 when the module was found.
struct PLAT_symbol {
    const char* module;
    uintptr_t module_base;
    const char* name;
    uintptr_t addr;
};
int PLAT_find_symbol(const void* addr, PLAT_symbol* out);

// Plain file calls for a report: open for appending (created with mode 0644 when create is set),
// write all bytes (retrying short writes and interrupted calls), close. Open returns -1 on failure.
int PLAT_crash_open_append(const char* path, int create);
void PLAT_crash_write(int fd, const char* bytes, size_t n);
void PLAT_crash_close(int fd);
