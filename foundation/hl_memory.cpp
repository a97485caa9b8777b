// Allocation functions and the memory report (see hl_memory.h).
#include "foundation/hl_memory.h"

#include "foundation/debug_cmds.h"
#include "foundation/paths.h"
#include "platform/plat_memory.h"

#include <cstdlib>
#include <new>
#include <ostream>
#include <string>
#include <vector>

void* MEM_tagged_new(size_t size, const char* /*tag*/, int32_t /*extra*/)
{
    if (size == 0) size = 1;
    for (;;) {
        if (void* p = std::malloc(size)) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

void* operator new(size_t size)
{
    return MEM_tagged_new(size, "anonymous new", 0);
}

void* operator new[](size_t size)
{
    return MEM_tagged_new(size, "anonymous new[]", 0);
}

// The no-throw forms come here too: their blocks are released by the plain delete above, so
// they must come from the same heap whatever library asks for them.
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    try {
        return MEM_tagged_new(size, "anonymous new", 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    try {
        return MEM_tagged_new(size, "anonymous new[]", 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void operator delete(void* p) noexcept
{
    if (p) std::free(p);
}

void operator delete[](void* p) noexcept
{
    if (p) std::free(p);
}

void operator delete(void* p, size_t) noexcept
{
    if (p) std::free(p);
}

void operator delete[](void* p, size_t) noexcept
{
    if (p) std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    if (p) std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    if (p) std::free(p);
}

static std::ostream* sLog = nullptr;
static int32_t sFirstDump = 1;

static DBG_command sDumpMemoryCmd("Dump Memory Info", MEM_dump_info_cmd);

void MEM_set_log_stream(std::ostream* log)
{
    sLog = log;
}

void MEM_unit_rule(uint64_t v, long long* number, char* letter)
{
    // The thresholds are 14 GiB, 1.4 MiB and 1.4 KiB; below 14 GiB, 5 * v cannot overflow.
    if (v > 15032385536ull) {
        *number = (long long)(v >> 30);
        *letter = 'G';
    } else if (5 * v > 7 * 1048576ull) {
        *number = (long long)(v >> 20);
        *letter = 'M';
    } else if (5 * v > 7 * 1024ull) {
        *number = (long long)(v >> 10);
        *letter = 'K';
    } else {
        *number = (long long)v;
        *letter = 'B';
    }
}

// One size by the unit rule, for a "% 5lld%c" pair.
struct unit_size {
    long long n;
    char c;
    explicit unit_size(uint64_t v) { MEM_unit_rule(v, &n, &c); }
};
#define UNIT(v) unit_size(v).n, unit_size(v).c

static const char* protection_text(const PLAT_mem_region& r)
{
    if (r.exec) return r.write ? "xrw" : r.read ? "xr" : "x";
    if (r.write) return "rw";
    return r.read ? "r" : "na";
}

void MEM_dump_heaps(FILE* out, uint64_t heap, uint64_t* size, uint64_t* free_bytes, uint64_t* uncommitted,
                    uint64_t* used, uint64_t* overhead, uint64_t* biggest_free, uint64_t* biggest_uncommitted)
{
    *size = *free_bytes = *uncommitted = *used = *overhead = *biggest_free = *biggest_uncommitted = 0;
    fprintf(out, "        %s 0x%04llX\n", "Process Heap", (unsigned long long)heap);

    PLAT_heap_totals t;
    PLAT_heap_info(t);
    *size = t.from_system;
    *free_bytes = t.free;
    *used = t.in_use;
    // The figures are read one arena at a time while other threads allocate: never below 0.
    *overhead = t.from_system > t.in_use + t.free ? t.from_system - t.in_use - t.free : 0;

    fprintf(out,
            "        Total size:          % 5lld%c      This is the total size of this heap including free, used blocks and overhead.\n"
            "        Total free:          % 5lld%c      This is the total free space in this heap.\n"
            "        Total used:          % 5lld%c      This is how much memory is being used by Corvane in this heap.\n"
            "        Total overhead:      % 5lld%c      This is the total overhead - the cost of bookkeeping for this heap.\n",
            UNIT(*size), UNIT(*free_bytes), UNIT(*used), UNIT(*overhead));
}

static void write_machine(FILE* out, uint64_t total_virtual, uint64_t avail_virtual)
{
    fprintf(out, "Windows Virtual Memory Info:\n");
    PLAT_mem_status m;
    PLAT_memory_status(m);
    long long load = m.total_phys ? (long long)(100 * (m.total_phys - m.avail_phys) / m.total_phys) : 0;
    fprintf(out,
            "    Load:                  % 5lld            Overall memory utilization, from 0 to 100.\n"
            "    Total Physical Memory: % 5lld%c           Total physical memory on this machine.\n"
            "    Avail Physical Memory: % 5lld%c           Currently available physical memory.\n"
            "    Total Pagefile Memory: % 5lld%c           Total size of the paging file, used and available.\n"
            "    Avail Pagefile Memory: % 5lld%c           Available paging file.\n"
            "    Total Virtual Memory:  % 5lld%c           Total virtual address space available to Corvane, used and unused.\n"
            "    Avail Virtual Memory:  % 5lld%c           Unused virutal address space for Corvane.\n",
            load, UNIT(m.total_phys), UNIT(m.avail_phys), UNIT(m.total_swap), UNIT(m.free_swap), UNIT(total_virtual),
            UNIT(avail_virtual));
    if (total_virtual > 2147483648ull)
        fprintf(out, "    This copy of Corvane is running with 3 GB of available address space.\n");
    else
        fprintf(out, "\tThis copy of Corvane is running with 2 GB of available address space.\n");
}

static void write_process(FILE* out)
{
    PLAT_process_memory p;
    if (!PLAT_process_memory_info(p)) {
        fprintf(out, "    This operating system is too old to list per-process information.\n");
        return;
    }
    // The system keeps no paged or non-paged pools and no peak of swap use: those lines are left out.
    fprintf(out,
            "    Page faults:          % 10lld             Total page faults Corvane has had in total.\n"
            "    Peak working set size:     % 5lld%c            This is the largest amount of physical RAM Corvane has ever needed at once time during this run.\n"
            "    Curr working set size:     % 5lld%c            This is how much physical RAM Corvane needs now to run without page-faulting and virtual memory thrash.\n"
            "    Curr Pagefile Usage:       % 5lld%c            This is how much page file Corvane is using now.\n",
            (long long)p.page_faults, UNIT(p.peak_resident), UNIT(p.resident), UNIT(p.swapped));
}

// The address space from 0 to the end of user space: every mapping, and the gaps as free.
struct region_line {
    uint64_t start, size, base;
    const char *prot, *state, *type;
    std::string name;
};

static void list_address_space(std::vector<region_line>& lines)
{
    std::vector<PLAT_mem_region> regions;
    PLAT_list_regions(regions);
    const uint64_t end = PLAT_USER_SPACE_END;
    uint64_t at = 0;
    for (const PLAT_mem_region& r : regions) {
        if (r.start >= end) break;
        if (r.start < at) continue; // the list is sorted and never overlaps; be safe anyway
        if (r.start > at) lines.push_back({at, r.start - at, 0, "na", "free", "", ""});
        uint64_t stop = r.end < end ? r.end : end;
        const bool reserved = !r.read && !r.write && !r.exec;
        const char* type = r.image ? "image" : r.file ? "mapped" : "private";
        size_t cut = r.path.find_last_of('/');
        std::string name = cut == std::string::npos ? r.path : r.path.substr(cut + 1);
        lines.push_back({r.start, stop - r.start, r.base, protection_text(r), reserved ? "reserve" : "commit", type, name});
        at = stop;
    }
    if (at < end) lines.push_back({at, end - at, 0, "na", "free", "", ""});
}

static void write_regions(FILE* out, const std::vector<region_line>& lines)
{
    uint64_t free_total = 0, committed = 0, reserved = 0, image = 0, mapped = 0, priv = 0, largest_free = 0;
    fprintf(out, "    I will now print the contents of virtual memory.\n");
    fprintf(out, "        ptr        base_ptr     len      prot   state  type\n");
    for (const region_line& l : lines) {
        fprintf(out, "        0x%016llx 0x%016llx % 5lld%c    (%3s %7s %7s) %s\n", (unsigned long long)l.start,
                (unsigned long long)l.base, UNIT(l.size), l.prot, l.state, l.type, l.name.c_str());
        const std::string state = l.state;
        if (state == "free") {
            free_total += l.size;
            if (l.size > largest_free) largest_free = l.size;
            continue;
        }
        (state == "commit" ? committed : reserved) += l.size;
        const std::string type = l.type;
        (type == "image" ? image : type == "mapped" ? mapped : priv) += l.size;
    }
    fprintf(out,
            "    Total Free:    % 5lld%c     This is the total free virtual address space Corvane can use.\n"
            "    Total Commited % 5lld%c     This is all of the memory Corvane is actually using, physical and virtual, total.\n"
            "    Total Reserved % 5lld%c     This is virtual address space Corvane has asked for that isn't backed with memory or pagefile yet.\n"
            "    Total Images   % 5lld%c     This is the total address space used for DLLs and code.\n"
            "    Total Mapped   % 5lld%c     This is the total address space used for memory-mapped files.  (Note: nedmalloc uses mapped memory for loaded scenery.)\n"
            "    Total Private  % 5lld%c     This is the total address space used for everything else, including heaps.\n"
            "    Largest Free   % 5lld%c     This is the largest contiguous free block of virtual address space.\n",
            UNIT(free_total), UNIT(committed), UNIT(reserved), UNIT(image), UNIT(mapped), UNIT(priv), UNIT(largest_free));
}

static void write_heaps(FILE* out)
{
    // The run-time library keeps one heap (its arenas are totalled together).
    const int heaps = 1;
    fprintf(out, "    Corvane has has %d heaps - I will now list them.\n", heaps);
    PLAT_heap_totals t;
    PLAT_heap_info(t);
    uint64_t sum_size = 0, sum_free = 0, sum_uncommitted = 0, sum_used = 0, sum_overhead = 0, max_free = 0,
             max_uncommitted = 0;
    for (int i = 0; i < heaps; ++i) {
        uint64_t size, free_bytes, uncommitted, used, overhead, biggest_free, biggest_uncommitted;
        MEM_dump_heaps(out, t.base, &size, &free_bytes, &uncommitted, &used, &overhead, &biggest_free,
                       &biggest_uncommitted);
        sum_size += size;
        sum_free += free_bytes;
        sum_uncommitted += uncommitted;
        sum_used += used;
        sum_overhead += overhead;
        if (biggest_free > max_free) max_free = biggest_free;
        if (biggest_uncommitted > max_uncommitted) max_uncommitted = biggest_uncommitted;
    }
    fprintf(out, "    Summary info for all heaps:\n");
    fprintf(out,
            "        Total size:          % 5lld%c      This is the total size of all heaps including free, used blocks and overhead.\n"
            "        Total free:          % 5lld%c      This is the total free space in all heaps.\n"
            "        Total used:          % 5lld%c      This is how much memory is being used by Corvane in all heaps.\n"
            "        Total overhead:      % 5lld%c      This is the total overhead - the cost of bookkeeping for all heaps.\n",
            UNIT(sum_size), UNIT(sum_free), UNIT(sum_used), UNIT(sum_overhead));
}

void MEM_dump_info(const char* reason)
{
    if (sLog) {
        *sLog << "I am dumping information about memory to MemoryLog.txt.  This memory dump was generated by: "
              << (reason ? reason : "") << ".\n";
    }

    std::string path = "MemoryLog.txt";
    FILE_make_abs_path(path);
    FILE* out = fopen(path.c_str(), sFirstDump ? "w" : "a");
    sFirstDump = 0;
    if (!out) out = stdout;

    // The regions are listed before anything is written, so the free total of the machine block
    // and the walk below describe the same moment.
    std::vector<region_line> lines;
    list_address_space(lines);
    uint64_t avail_virtual = 0;
    for (const region_line& l : lines)
        if (l.type[0] == 0) avail_virtual += l.size;

    write_machine(out, PLAT_USER_SPACE_END, avail_virtual);
    write_process(out);
    write_regions(out, lines);
    write_heaps(out);

    if (out != stdout) fclose(out);
    else fflush(stdout);
}

void MEM_dump_info_cmd()
{
    MEM_dump_info("Remote command (from plugin)");
}
