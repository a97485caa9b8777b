// Fuzz target of the system report's readers: every input is read as a kernel release and as
// /proc/cpuinfo text, with a small and a large processor limit.
#include "platform/plat_sysinfo.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text((const char*)data, size);
    unsigned a = 0, b = 0, c = 0;
    PLAT_parse_kernel_release(text, &a, &b, &c);
    unsigned family = 0;
    std::vector<PLAT_cpu_info> cpus;
    PLAT_parse_cpuinfo(text, &family, cpus, 3);
    if (cpus.size() > 3) __builtin_trap();
    PLAT_parse_cpuinfo(text, &family, cpus);
    // Every listed processor came from a "processor" line.
    if (cpus.size() > size / 10 + 1) __builtin_trap();
    return 0;
}
