// Crash report and stack crawl (see crash_handler.h). Everything reachable from the fault handler
// formats into a fixed buffer and writes with plain file calls: no stdio, no allocation.
#include "foundation/crash_handler.h"

#include <atomic>
#include <csignal>
#include <cstring>

namespace {

const int kMaxCrawlLines = 100;

struct crash_out {
    int fd;
    size_t len;
    char buf[512];
};

void out_flush(crash_out* o)
{
    if (o->len) PLAT_crash_write(o->fd, o->buf, o->len);
    o->len = 0;
}

void out_char(crash_out* o, char c)
{
    if (o->len == sizeof o->buf) out_flush(o);
    o->buf[o->len++] = c;
}

void out_str(crash_out* o, const char* s)
{
    while (*s) out_char(o, *s++);
}

// Hexadecimal with at least min_digits digits.
void out_hex(crash_out* o, uint64_t v, int min_digits, bool upper)
{
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char tmp[16];
    int n = 0;
    do {
        tmp[n++] = digits[v & 15];
        v >>= 4;
    } while (v && n < 16);
    while (n < min_digits && n < 16) tmp[n++] = '0';
    while (n) out_char(o, tmp[--n]);
}

void out_dec(crash_out* o, int64_t v)
{
    uint64_t u = v < 0 ? (uint64_t)0 - (uint64_t)v : (uint64_t)v;
    if (v < 0) out_char(o, '-');
    char tmp[20];
    int n = 0;
    do {
        tmp[n++] = (char)('0' + u % 10);
        u /= 10;
    } while (u);
    while (n) out_char(o, tmp[--n]);
}

// Addresses at the full width of a pointer.
void out_addr(crash_out* o, uintptr_t a)
{
    out_str(o, "0x");
    out_hex(o, a, (int)sizeof(uintptr_t) * 2, false);
}

const char* base_name(const char* path)
{
    const char* b = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') b = p + 1;
    return b;
}

void copy_text(char* dst, size_t cap, const char* src)
{
    size_t n = 0;
    if (src)
        while (src[n] && n + 1 < cap) {
            dst[n] = src[n];
            ++n;
        }
    dst[n] = 0;
}

struct exception_name {
    uint32_t code;
    const char* name;
};

const exception_name kExceptionNames[22] = {
    {0xC0000005, "EXCEPTION_ACCESS_VIOLATION"},
    {0x80000002, "EXCEPTION_DATATYPE_MISALIGNMENT"},
    {0x80000003, "EXCEPTION_BREAKPOINT"},
    {0x80000004, "EXCEPTION_SINGLE_STEP"},
    {0xC000008C, "EXCEPTION_ARRAY_BOUNDS_EXCEEDED"},
    {0xC000008D, "EXCEPTION_FLT_DENORMAL_OPERAND"},
    {0xC000008E, "EXCEPTION_FLT_DIVIDE_BY_ZERO"},
    {0xC000008F, "EXCEPTION_FLT_INEXACT_RESULT"},
    {0xC0000090, "EXCEPTION_FLT_INVALID_OPERATION"},
    {0xC0000091, "EXCEPTION_FLT_OVERFLOW"},
    {0xC0000092, "EXCEPTION_FLT_STACK_CHECK"},
    {0xC0000093, "EXCEPTION_FLT_UNDERFLOW"},
    {0xC0000094, "EXCEPTION_INT_DIVIDE_BY_ZERO"},
    {0xC0000095, "EXCEPTION_INT_OVERFLOW"},
    {0xC0000096, "EXCEPTION_PRIV_INSTRUCTION"},
    {0xC0000006, "EXCEPTION_IN_PAGE_ERROR"},
    {0xC000001D, "EXCEPTION_ILLEGAL_INSTRUCTION"},
    {0xC0000025, "EXCEPTION_NONCONTINUABLE_EXCEPTION"},
    {0xC00000FD, "EXCEPTION_STACK_OVERFLOW"},
    {0xC0000026, "EXCEPTION_INVALID_DISPOSITION"},
    {0x80000001, "EXCEPTION_GUARD_PAGE"},
    {0xC0000008, "EXCEPTION_INVALID_HANDLE"},
};

// The exception code of a fault. A signal that a process sent (kill, raise) is no processor
// exception: its code is the signal number, which the name table does not hold.
uint32_t exception_code(const PLAT_crash_info* info)
{
    const int c = info->code;
    if (c <= 0) return (uint32_t)info->signo;
    switch (info->signo) {
    case SIGSEGV: {
        // A fault next to the stack pointer is the stack running into its guard.
        uintptr_t a = (uintptr_t)info->fault_addr, sp = (uintptr_t)info->sp;
        if (sp && a + 65536 >= sp && a < sp + 65536) return 0xC00000FD;
        return 0xC0000005;
    }
    case SIGBUS:
        return c == BUS_ADRALN ? 0x80000002 : 0xC0000006;
    case SIGILL:
        return (c == ILL_PRVOPC || c == ILL_PRVREG) ? 0xC0000096 : 0xC000001D;
    case SIGTRAP:
        return c == TRAP_TRACE ? 0x80000004 : 0x80000003;
    case SIGFPE:
        switch (c) {
        case FPE_INTDIV: return 0xC0000094;
        case FPE_INTOVF: return 0xC0000095;
        case FPE_FLTDIV: return 0xC000008E;
        case FPE_FLTOVF: return 0xC0000091;
        case FPE_FLTUND: return 0xC0000093;
        case FPE_FLTRES: return 0xC000008F;
        case FPE_FLTINV: return 0xC0000090;
        case FPE_FLTSUB: return 0xC000008C;
        }
        break;
    }
    return (uint32_t)info->signo;
}

// One crawl entry. A return address points after its call, which may be the next procedure's
// first byte, so it is looked up one byte earlier.
void print_entry(crash_out* o, uintptr_t address, bool return_address)
{
    CRASH_symbol sym;
    CRASH_find_symbol((const void*)(return_address && address ? address - 1 : address), &sym);
    if (sym.procedure[0] && sym.procedure_addr) {
        out_str(o, sym.procedure);
        out_str(o, " + ");
        out_dec(o, (int64_t)(address - sym.procedure_addr));
    } else if (!sym.procedure_addr) {
        out_addr(o, address);
    } else {
        out_addr(o, sym.procedure_addr);
        out_str(o, " + ");
        out_dec(o, (int64_t)(address - sym.procedure_addr));
    }
    if (sym.source[0]) {
        out_str(o, " (");
        out_str(o, base_name(sym.source));
        out_char(o, ':');
        out_dec(o, sym.line);
        out_char(o, ')');
    }
    if (sym.module[0] && sym.module_base) {
        out_str(o, " (");
        out_str(o, base_name(sym.module));
        out_str(o, " + ");
        out_dec(o, (int64_t)(address - sym.module_base));
        out_str(o, ")\n");
    } else if (!sym.module_base) {
        out_str(o, " (?\?\?)\n");
    } else {
        out_str(o, " (");
        out_addr(o, sym.module_base);
        out_str(o, " + ");
        out_dec(o, (int64_t)(address - sym.module_base));
        out_str(o, ")\n");
    }
}

void line_number(crash_out* o, int n)
{
    // The " % 2d) " of the report: a blank, the number after a sign blank, ") ".
    out_str(o, "  ");
    out_dec(o, n);
    out_str(o, ") ");
}

// addrs: the crawl taken by the caller, beginning at the return address into the caller's caller.
void write_crawl(crash_out* o, void* const* addrs, int count, const void* frame, const void* first)
{
    int n = 0;
    if (first) {
        line_number(o, n);
        print_entry(o, (uintptr_t)first, false);
        n = 1;
    }
    int start = 0;
    if (frame) {
        // Entries inside the fault handler come before the faulting frame; when the frame cannot be
        // found they are all written, so nothing of the crawl is lost.
        for (int i = 0; i < count; ++i)
            if (addrs[i] == frame) {
                start = i + 1;
                break;
            }
    }
    for (int i = start; i < count && n < kMaxCrawlLines; ++i, ++n) {
        line_number(o, n);
        print_entry(o, (uintptr_t)addrs[i], true);
    }
}

char sLogPath[4096];
std::atomic<int> sLogPathSet{0};

void on_fault(const PLAT_crash_info* info)
{
    CRASH_exception_filter(info);
}

} // namespace

void CRASH_install_handler()
{
    PLAT_crash_install(on_fault);
}

void CRASH_set_log_path(const char* path)
{
    sLogPathSet.store(0);
    if (!path || strlen(path) >= sizeof sLogPath) return;
    copy_text(sLogPath, sizeof sLogPath, path);
    sLogPathSet.store(1, std::memory_order_release);
}

int CRASH_exception_filter(const PLAT_crash_info* info)
{
    int fd = PLAT_crash_open_append("crash_log.txt", 1);
    const bool to_stderr = fd < 0;
    if (to_stderr) fd = 2;
    crash_out o;
    o.fd = fd;
    o.len = 0;

    const uint32_t code = exception_code(info);
    const char* name = nullptr;
    for (const exception_name& row : kExceptionNames)
        if (row.code == code) {
            name = row.name;
            break;
        }
    out_str(&o, "Unhandled exception: ");
    out_str(&o, name ? name : "Unknown");
    out_str(&o, " (");
    out_hex(&o, code, 8, true);
    out_str(&o, ")\n");
    // The flags carry the signal's sub-code; the address is the faulting instruction's.
    out_str(&o, "Flags=");
    out_hex(&o, (uint32_t)info->code, 1, false);
    out_str(&o, ", Address = ");
    out_addr(&o, (uintptr_t)info->pc);
    out_char(&o, '\n');

    void* addrs[kMaxCrawlLines + 32];
    int count = PLAT_crawl_stack(addrs, kMaxCrawlLines + 32);
    write_crawl(&o, addrs, count, info->pc, info->pc);
    out_flush(&o);
    if (!to_stderr) PLAT_crash_close(fd);

    if (sLogPathSet.load(std::memory_order_acquire)) {
        int log = PLAT_crash_open_append(sLogPath, 0);
        if (log >= 0) {
            static const char kLine[] = "This application has crashed.  Please send the file crash_log.txt to Veltrano.\n";
            PLAT_crash_write(log, kLine, sizeof kLine - 1);
            PLAT_crash_close(log);
        }
    }
    return 0;
}

__attribute__((noinline)) void CRASH_write_stack_crawl(FILE* stream, const void* frame, const void* first)
{
    if (!stream) return;
    void* addrs[kMaxCrawlLines + 32];
    int count = PLAT_crawl_stack(addrs, kMaxCrawlLines + 32);
    fflush(stream);
    crash_out o;
    o.fd = fileno(stream);
    o.len = 0;
    // The crawl's first entry lies in this function; the walk begins with its caller.
    if (count > 0) write_crawl(&o, addrs + 1, count - 1, frame, first);
    out_flush(&o);
}

void CRASH_print_address(FILE* stream, const void* address)
{
    if (!stream) return;
    fflush(stream);
    crash_out o;
    o.fd = fileno(stream);
    o.len = 0;
    print_entry(&o, (uintptr_t)address, false);
    out_flush(&o);
}

void CRASH_find_symbol(const void* address, CRASH_symbol* out)
{
    out->module[0] = 0;
    out->module_base = 0;
    out->procedure[0] = 0;
    out->procedure_addr = 0;
    out->source[0] = 0;
    out->line = -1;
    PLAT_symbol sym;
    if (!PLAT_find_symbol(address, &sym)) return;
    copy_text(out->module, sizeof out->module, sym.module);
    out->module_base = sym.module_base;
    copy_text(out->procedure, sizeof out->procedure, sym.name);
    out->procedure_addr = sym.addr;
}
