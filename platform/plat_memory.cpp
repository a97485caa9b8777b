// Memory facts of the system and the process (see plat_memory.h).
#include "platform/plat_memory.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <link.h>
#include <malloc.h>
#include <sys/resource.h>

// Reads "Name:   123 kB" lines of a /proc file into the slots whose names match.
struct kb_field {
    const char* name;
    uint64_t* slot;
};

static bool read_kb_fields(const char* path, const kb_field* fields, int count)
{
    FILE* f = std::fopen(path, "re");
    if (!f) return false;
    char line[512];
    while (std::fgets(line, sizeof line, f)) {
        for (int i = 0; i < count; ++i) {
            size_t n = std::strlen(fields[i].name);
            if (std::strncmp(line, fields[i].name, n) != 0 || line[n] != ':') continue;
            unsigned long long kb = 0;
            if (std::sscanf(line + n + 1, "%llu", &kb) == 1) *fields[i].slot = (uint64_t)kb * 1024;
        }
    }
    std::fclose(f);
    return true;
}

bool PLAT_memory_status(PLAT_mem_status& out)
{
    out = PLAT_mem_status();
    const kb_field fields[] = {{"MemTotal", &out.total_phys},
                               {"MemAvailable", &out.avail_phys},
                               {"SwapTotal", &out.total_swap},
                               {"SwapFree", &out.free_swap}};
    return read_kb_fields("/proc/meminfo", fields, 4);
}

bool PLAT_process_memory_info(PLAT_process_memory& out)
{
    out = PLAT_process_memory();
    struct rusage ru;
    if (getrusage(RUSAGE_SELF, &ru) == 0) out.page_faults = (uint64_t)ru.ru_minflt + (uint64_t)ru.ru_majflt;
    const kb_field fields[] = {{"VmHWM", &out.peak_resident}, {"VmRSS", &out.resident}, {"VmSwap", &out.swapped}};
    return read_kb_fields("/proc/self/status", fields, 3);
}

// The span of every module the dynamic loader lists, from its lowest to its highest loaded
// segment, so the inaccessible gaps the loader leaves between segments count as the module's.
struct module_span {
    uint64_t start, end;
};

static int collect_modules(struct dl_phdr_info* info, size_t, void* data)
{
    auto* out = static_cast<std::vector<module_span>*>(data);
    const uint64_t page = 4096;
    module_span m = {UINT64_MAX, 0};
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD || ph.p_memsz == 0) continue;
        uint64_t start = ((uint64_t)info->dlpi_addr + ph.p_vaddr) & ~(page - 1);
        uint64_t end = ((uint64_t)info->dlpi_addr + ph.p_vaddr + ph.p_memsz + page - 1) & ~(page - 1);
        if (start < m.start) m.start = start;
        if (end > m.end) m.end = end;
    }
    if (m.start < m.end) out->push_back(m);
    return 0;
}

bool PLAT_list_regions(std::vector<PLAT_mem_region>& out)
{
    out.clear();
    std::vector<module_span> modules;
    dl_iterate_phdr(collect_modules, &modules);

    FILE* f = std::fopen("/proc/self/maps", "re");
    if (!f) return false;
    // A path may be as long as the system allows; the rest of an over-long line is skipped.
    char line[4096 + 128];
    while (std::fgets(line, sizeof line, f)) {
        size_t len = std::strlen(line);
        bool whole = len > 0 && line[len - 1] == '\n';
        if (whole) line[--len] = 0;
        else {
            int c;
            while ((c = std::fgetc(f)) != EOF && c != '\n') {
            }
        }
        uint64_t start, end;
        char perms[8] = {0};
        int path_at = -1;
        if (std::sscanf(line, "%" SCNx64 "-%" SCNx64 " %7s %*x %*x:%*x %*u %n", &start, &end, perms, &path_at) < 3)
            continue;
        PLAT_mem_region r;
        r.start = start;
        r.end = end;
        r.read = perms[0] == 'r';
        r.write = perms[1] == 'w';
        r.exec = perms[2] == 'x';
        if (path_at > 0 && (size_t)path_at <= len) r.path = line + path_at;
        r.file = !r.path.empty() && r.path[0] == '/';
        r.base = start;
        for (const module_span& m : modules) {
            if (start < m.end && m.start < end) {
                r.image = true;
                r.base = m.start;
                break;
            }
        }
        out.push_back(std::move(r));
    }
    std::fclose(f);
    return true;
}

void PLAT_heap_info(PLAT_heap_totals& out)
{
    out = PLAT_heap_totals();
    struct mallinfo2 mi = mallinfo2();
    out.from_system = (uint64_t)mi.arena + (uint64_t)mi.hblkhd;
    out.in_use = (uint64_t)mi.uordblks + (uint64_t)mi.hblkhd;
    out.free = (uint64_t)mi.fordblks;
    std::vector<PLAT_mem_region> regions;
    if (PLAT_list_regions(regions))
        for (const PLAT_mem_region& r : regions)
            if (r.path == "[heap]") {
                out.base = r.start;
                break;
            }
}
