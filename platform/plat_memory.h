// What the system tells about memory: the machine's totals, the process's own counters, the
// regions of its address space and the run-time heap's totals. Every size is in bytes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The machine (from /proc/meminfo); false when it cannot be read, with everything 0.
struct PLAT_mem_status {
    uint64_t total_phys = 0, avail_phys = 0; // MemTotal, MemAvailable
    uint64_t total_swap = 0, free_swap = 0;  // SwapTotal, SwapFree
};
bool PLAT_memory_status(PLAT_mem_status& out);

// The process: page faults (minor and major) and, from /proc/self/status, the resident set's
// peak and current size and what lies in swap; false when the status cannot be read.
struct PLAT_process_memory {
    uint64_t page_faults = 0;
    uint64_t peak_resident = 0, resident = 0, swapped = 0; // VmHWM, VmRSS, VmSwap
};
bool PLAT_process_memory_info(PLAT_process_memory& out);

// The end of the user address space of an x86_64 process; nothing of the process lies above
// it but the legacy vsyscall page.
inline constexpr uint64_t PLAT_USER_SPACE_END = 0x7ffffffff000ull;

// One line of /proc/self/maps.
struct PLAT_mem_region {
    uint64_t start = 0, end = 0;
    bool read = false, write = false, exec = false;
    bool image = false;      // inside a loaded module's segments, as the dynamic loader lists them
    bool file = false;       // backed by a file (the path begins with '/')
    uint64_t base = 0;       // the load address of the module for an image, else start
    std::string path;        // the file, or a name such as "[heap]"; may be empty
};
// Every mapping, lowest first; false (and nothing) when the list cannot be read.
bool PLAT_list_regions(std::vector<PLAT_mem_region>& out);

// The run-time heap's totals, over all its arenas.
struct PLAT_heap_totals {
    uint64_t from_system = 0; // bytes the heap took from the system: its arenas and mapped blocks
    uint64_t in_use = 0;      // bytes in blocks handed out (mapped blocks included)
    uint64_t free = 0;        // free bytes inside the arenas
    uint64_t base = 0;        // start of the main arena ("[heap]"), 0 when it has none yet
};
void PLAT_heap_info(PLAT_heap_totals& out);
