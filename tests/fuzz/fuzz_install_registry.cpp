// Fuzz target of the install registry's line reader: whatever the bytes, every folder it keeps
// is an absolute folder path of one whole line, short enough for the system.
#include "app/install_registry.h"
#include "platform/plat_fileio.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A copy of exactly the input's size, so that a read past its end is seen.
    char* bytes = (char*)malloc(size ? size : 1);
    for (size_t i = 0; i < size; ++i) bytes[i] = (char)data[i];
    std::vector<std::string> lines;
    install_registry_lines(bytes, bytes + size, lines);
    size_t line_ends = 0;
    for (size_t i = 0; i < size; ++i) line_ends += bytes[i] == '\n';
    if (lines.size() > line_ends + 1) abort();
    for (const std::string& l : lines) {
        if (l.size() < 1 || l[0] != '/' || l.back() != '/' || l.size() > PLAT_PATH_MAX) abort();
        if (l.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) abort();
    }
    free(bytes);
    return 0;
}
