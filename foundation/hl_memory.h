// The program's allocation functions (every plain and array new and delete comes here) and the
// memory report "MemoryLog.txt": the machine's memory, the process's counters, every region of
// its address space and the run-time heap, with totals.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iosfwd>

// At least size bytes (a size of 0 counts as 1). On failure the installed new-handler is called
// until the request succeeds; without one, std::bad_alloc is thrown. Tag and extra are not kept.
void* MEM_tagged_new(size_t size, const char* tag, int32_t extra);

// Writes the report, headed in the log by the reason. The first report of a run replaces an
// older file in the program's folder, later ones are appended; a file that cannot be opened
// sends the report to standard output. Main thread only.
void MEM_dump_info(const char* reason);

// Lists one heap into the stream and gives its totals. The run-time heap of this system cannot
// be walked block by block, so the uncommitted and biggest-block counters stay 0.
void MEM_dump_heaps(FILE* out, uint64_t heap, uint64_t* size, uint64_t* free_bytes, uint64_t* uncommitted,
                    uint64_t* used, uint64_t* overhead, uint64_t* biggest_free, uint64_t* biggest_uncommitted);

// The debug command "Dump Memory Info".
void MEM_dump_info_cmd();

// The log stream the report's first line goes to; the frame's start-up hands over its log.
// Without one that line is left out.
void MEM_set_log_stream(std::ostream* log);

// How every size in the report is written: a number and a unit letter, B, K, M or G.
void MEM_unit_rule(uint64_t bytes, long long* number, char* letter);
