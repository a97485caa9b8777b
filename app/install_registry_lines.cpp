// The reader of the install registry's lines, apart from the file calls so that it can be tried
// on any bytes (see install_registry.h).
#include "app/install_registry.h"

#include "platform/plat_fileio.h"

void install_registry_lines(const char* begin, const char* end, std::vector<std::string>& lines)
{
    for (const char* p = begin; p < end;) {
        const char* eol = p;
        while (eol < end && *eol != '\n') ++eol;
        const char* cut = p;
        while (cut < eol && *cut != '\0' && *cut != '\r') ++cut;
        const size_t length = (size_t)(cut - p);
        // A relative line would be read against the program's folder: a copy nobody registered.
        // A line too long for a path is dropped whole: its pieces could name other folders.
        if (length > 0 && length < PLAT_PATH_MAX && *p == '/') {
            lines.emplace_back(p, length);
            if (lines.back().back() != '/') lines.back() += '/';
        }
        p = eol < end ? eol + 1 : eol;
    }
}
