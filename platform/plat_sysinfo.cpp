// The computer's facts for the system report (see plat_sysinfo.h).
#include "platform/plat_sysinfo.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

// The leading digits at text[i], capped; i moves past them. 0 when none stand there.
static unsigned read_number(const std::string& text, size_t& i)
{
    uint64_t v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        v = v * 10 + (uint64_t)(text[i] - '0');
        if (v > 0xFFFFFFFFu) v = 0xFFFFFFFFu;
        ++i;
    }
    return (unsigned)v;
}

void PLAT_parse_kernel_release(const std::string& release, unsigned* major, unsigned* minor, unsigned* patch)
{
    unsigned* parts[3] = {major, minor, patch};
    for (unsigned* p : parts) *p = 0;
    size_t i = 0;
    for (int k = 0; k < 3; ++k) {
        *parts[k] = read_number(release, i);
        if (i >= release.size() || release[i] != '.') break;
        ++i;
    }
}

static std::string trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

// "2299.998" -> 2300; anything that does not begin with a digit is not a speed.
static bool parse_mhz(const std::string& value, unsigned* mhz)
{
    size_t i = 0;
    if (value.empty() || value[0] < '0' || value[0] > '9') return false;
    unsigned whole = read_number(value, i);
    if (i + 1 < value.size() && value[i] == '.' && value[i + 1] >= '5' && value[i + 1] <= '9' &&
        whole < 0xFFFFFFFFu)
        ++whole;
    *mhz = whole;
    return true;
}

void PLAT_parse_cpuinfo(const std::string& text, unsigned* cpu_family, std::vector<PLAT_cpu_info>& cpus,
                        size_t max_cpus)
{
    *cpu_family = 0;
    cpus.clear();
    bool family_seen = false;
    bool listing = false; // inside a processor's block that is listed
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string key = trim(line.substr(0, colon));
        const std::string value = trim(line.substr(colon + 1));
        if (key == "processor") {
            listing = cpus.size() < max_cpus;
            if (listing) cpus.emplace_back();
        } else if (key == "cpu family" && !family_seen) {
            size_t i = 0;
            *cpu_family = read_number(value, i);
            family_seen = true;
        } else if (key == "model name" && listing) {
            cpus.back().name = value;
            cpus.back().has_name = 1;
        } else if (key == "cpu MHz" && listing) {
            unsigned mhz = 0;
            if (parse_mhz(value, &mhz)) {
                cpus.back().mhz = mhz;
                cpus.back().has_mhz = 1;
            }
        }
    }
}

// /proc files report no size: read until the end, at most limit bytes.
static std::string read_proc_file(const char* path, size_t limit)
{
    std::string text;
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char buf[8192];
    while (text.size() < limit) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, (size_t)n);
    }
    close(fd);
    if (text.size() > limit) text.resize(limit);
    return text;
}

void PLAT_get_system_info(PLAT_system_info& out)
{
    out = PLAT_system_info();
    struct utsname u;
    if (uname(&u) == 0) {
        out.sysname = u.sysname;
        out.version = u.version;
        out.machine = u.machine;
        PLAT_parse_kernel_release(u.release, &out.major, &out.minor, &out.patch);
    }
    PLAT_parse_cpuinfo(read_proc_file("/proc/cpuinfo", 16u << 20), &out.cpu_family, out.cpus);
    struct sysinfo si;
    if (sysinfo(&si) == 0) {
        const uint64_t unit = si.mem_unit ? si.mem_unit : 1;
        const uint64_t total = (uint64_t)si.totalram;
        out.total_memory = total > UINT64_MAX / unit ? UINT64_MAX : total * unit;
    }
}
