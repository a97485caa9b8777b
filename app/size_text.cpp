// Size, rate and duration texts, the fixed-point digit writer of the install page and the
// disk-space panel (see size_text.h).
#include "app/size_text.h"

#include "engine/update_state.h"
#include "engine/utils.h"
#include "foundation/FILE_ops.h"
#include "foundation/translation.h"
#include "graphics/OGL_font.h"
#include "platform/plat_system.h"

#include <climits>
#include <cmath>

int float_to_int(float x)
{
    if (std::isnan(x)) return 0;
    // Both ends are powers of two, so the float comparisons are exact.
    if (x >= 2147483648.0f) return INT_MAX;
    if (x <= -2147483648.0f) return INT_MIN;
    return (int)x;
}

// Counts, sizes and rates are read in the "C" numeric form everywhere: "1.0 GB".
static std::string format_one(const char* format, double value)
{
    char buf[500];
    PLAT_format_c(buf, sizeof buf, format, value);
    return buf;
}

std::string format_bytes(float kb)
{
    // The step to gigabytes comes at 1,024,000 KB, so a size never reads "1000 MB" and more.
    if (kb > 1024000.0f) return format_one("%.1f GB", kb / 1048576.0);
    if (kb > 1024.0f) return format_one("%.0f MB", kb / 1024.0);
    return format_one("%.0f KB", kb);
}

std::string format_int(int n)
{
    char buf[16];
    PLAT_format_c(buf, sizeof buf, "%d", n);
    return buf;
}

std::string format_rate(float kb_per_second)
{
    const int n = float_to_int(kb_per_second);
    return LANG_substitute_1(
        LANG_translate_plural(n, "%1:rate% kilobyte/second", "%1:rate% kilobytes/second"), format_int(n));
}

std::string format_duration(float seconds)
{
    int n;
    std::string text;
    if (seconds < 120.0f) {
        n = float_to_int(seconds);
        text = LANG_translate_plural(n, "%1:seconds% second", "%1:seconds% seconds");
    } else if (seconds < 7200.0f) {
        n = float_to_int(seconds / 60.0f);
        text = LANG_translate_plural(n, "%1:minutes% minute", "%1:minutes% minutes");
    } else {
        // NaN lands here too and reads as 0 hours.
        n = float_to_int(seconds / 3600.0f);
        text = LANG_translate_plural(n, "%1:hours% hour", "%1:hours% hours");
    }
    return LANG_substitute_1(text, format_int(n));
}

std::string format_float_pair(const char* format, float a, float b)
{
    char buf[500];
    PLAT_format_c(buf, sizeof buf, format, (double)a, (double)b);
    return buf;
}

float round_half_away(float x)
{
    if (std::isnan(x)) return 0.0f;
    // In double: in float, 0.49999997 + 0.5 rounds up to 1 and the half would be counted twice.
    const double d = x;
    return (float)std::trunc(d >= 0 ? d + 0.5 : d - 0.5);
}

unsigned int power_of_ten(int n)
{
    // From 10^32 on the low 32 bits are all zero; the loop never needs to run longer.
    if (n > 32) n = 32;
    unsigned int p = 1;
    for (int i = 0; i < n; ++i) p *= 10u;
    return p;
}

void format_digits(int value, std::string& out, int digits, unsigned char mode, int minus)
{
    std::string s;
    if (value < 0 || minus)
        s += '-';
    else if (mode == 3)
        s += '+';
    // The magnitude in unsigned arithmetic: the most negative int has no positive int.
    const unsigned int v = value < 0 ? 0u - (unsigned int)value : (unsigned int)value;
    const bool fill = mode == 1 || mode == 2 || mode == 3;
    const bool blanks = mode == 2;
    unsigned int power = 10000000u;
    for (int place = 7; place >= 1; --place, power /= 10u) {
        const bool has_digit = v >= power;
        if (!has_digit && !(fill && digits > place)) continue;
        s += (!has_digit && blanks) ? ' ' : (char)('0' + v / power % 10u);
    }
    s += (char)('0' + v % 10u);
    out = s;
}

bool disk_space_text(uint64_t total_bytes, uint64_t free_bytes, float needed_kb, const std::string& enough_text,
                     const std::string& short_text, std::string& out)
{
    const float total_kb = (float)(total_bytes / 1000u);
    const float free_kb = (float)(free_bytes / 1000u);
    const bool enough = needed_kb < free_kb;
    out = LANG_substitute_4(LANG_translate("Disk size: %1:total disk space%\nFree disk space: %2:free disk "
                                           "space%\nDisk space needed to install: %3:required disk space%\n\n%4:"
                                           "status message%"),
                            format_bytes(total_kb), format_bytes(free_kb), format_bytes(needed_kb),
                            enough ? enough_text : short_text);
    return enough;
}

bool draw_disk_space(const std::string& enough_text, const std::string& short_text)
{
    uint64_t total = 0, avail = 0;
    // Without an answer from the disk nothing is shown and the update is not held back.
    if (FILE_get_disk_space(gInstallPath, &total, &avail) != 0) return true;
    std::string text;
    const bool enough = disk_space_text(total, avail, gSpaceNeeded, enough_text, short_text, text);
    OGL_draw_string(54, 220.0f, 130.0f, text, 560.0f, 0, 0);
    return enough;
}
