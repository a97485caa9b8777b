// Facts about the computer for the log's system report: the kernel's name and version, the
// processors and the physical memory. The readers of the kernel's texts are kept apart from the
// reading itself so that tests can feed them any text.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct PLAT_cpu_info {
    std::string name;   // "model name"; empty when the kernel does not give one
    int has_name = 0;
    unsigned mhz = 0;   // "cpu MHz" rounded to whole MHz
    int has_mhz = 0;
};

struct PLAT_system_info {
    std::string sysname, version, machine; // as uname gives them ("Linux", "#1 SMP ...", "x86_64")
    unsigned major = 0, minor = 0, patch = 0; // the leading numbers of the kernel release
    unsigned cpu_family = 0;                  // "cpu family" of the first processor, 0 unknown
    uint64_t total_memory = 0;                // physical memory in bytes
    std::vector<PLAT_cpu_info> cpus;          // one per processor the kernel lists
};

// Everything above for this computer; what cannot be read stays empty or 0.
void PLAT_get_system_info(PLAT_system_info& out);

// "6.1.0-18-amd64" -> 6, 1, 0. Each number is the run of digits where it stands (0 when none),
// capped at 4294967295; a part that is missing is 0.
void PLAT_parse_kernel_release(const std::string& release, unsigned* major, unsigned* minor, unsigned* patch);

// Reads /proc/cpuinfo's text: a "processor" line opens the next processor's block; "model name",
// "cpu MHz" and "cpu family" are taken from the lines "key<blanks>: value". Processors beyond
// max_cpus are not listed.
void PLAT_parse_cpuinfo(const std::string& text, unsigned* cpu_family, std::vector<PLAT_cpu_info>& cpus,
                        size_t max_cpus = 4096);
