// Stand-ins for what the fuzzed units reach outside themselves (see fuzz_support.h): t_note
// alerts return as in the program, the others unwind to the target, the log goes nowhere.
#include "fuzz_support.h"

#include "foundation/alert.h"

#include <fstream>

std::ofstream gLog;
int gAlertShowing = 0;

void MACIBM_alert(int, const std::string&, const std::string&, const std::string&, const std::string&, int code,
                  const char*, int)
{
    if (code != t_note) throw fuzz_alert{code};
}

xmap_file::xmap_file(const std::string&, uint64_t, uint64_t) {}

xmap_file::~xmap_file() {}

void xmap_file::close()
{
    begin = cursor = end = nullptr;
}

const char* xmap_file::map(const std::string&, uint64_t, uint64_t)
{
    return nullptr;
}

void fuzz_view(xmap_file& view, const uint8_t* data, size_t size)
{
    view.label = "fuzz-input";
    view.begin = view.cursor = (const char*)data;
    view.end = view.begin + size;
    view.borrowed = 1;
}

unsigned fuzz_touch(const unsigned char* p, int64_t n)
{
    unsigned sum = 0;
    for (int64_t i = 0; i < n; ++i) sum += p[i];
    return sum;
}
