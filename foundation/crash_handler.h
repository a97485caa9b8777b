// The crash handler: a processor fault nothing handles appends a report with a stack crawl to
// "crash_log.txt" in the working folder and a line to the log, then the process ends by the fault's
// signal. The same crawl writer serves the crash alert's "stack_crawl.txt".
#pragma once
#include "platform/plat_crash.h"

#include <cstdint>
#include <cstdio>

// One code address resolved to its module and nearest symbol; texts are cut at 1023 bytes.
struct CRASH_symbol {
    char module[1024];       // path of the module holding the address; "" when not found
    uintptr_t module_base;   // its load address; 0 when not found
    char procedure[1024];    // "" when not found
    uintptr_t procedure_addr; // 0 when not found
    char source[1024];       // source file; the dynamic symbol table has none, so always ""
    int32_t line;            // -1 when not found
};

// Installs the fault handler; the start-up routine calls it first.
void CRASH_install_handler();

// Where the "please send crash_log.txt" line goes: the log file's path (the log is open from then
// on). Without it that line is left out.
void CRASH_set_log_path(const char* path);

// Writes the report for one fault; runs inside the fault handler, so it uses async-signal-safe
// calls only. Returns 0: the fault's default action then ends the process.
int CRASH_exception_filter(const PLAT_crash_info* info);

// Writes a crawl of the calling thread's stack, at most 100 lines: first (when not null) as line 0,
// then the return addresses. With frame null they begin at the return address into the caller;
// else they begin with the caller of the frame whose code address frame is.
void CRASH_write_stack_crawl(FILE* stream, const void* frame, const void* first);

// Writes one crawl entry: procedure part, source part, module part and the line end.
void CRASH_print_address(FILE* stream, const void* address);

void CRASH_find_symbol(const void* address, CRASH_symbol* out);
