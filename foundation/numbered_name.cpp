// Numbered file names (see numbered_name.h).
#include "foundation/numbered_name.h"

#include "foundation/paths.h"
#include "platform/plat_files.h"

void make_numbered_name(const std::string& suffix, std::string& out)
{
    // A plain test for a readable file would hand out the name of a folder, an unreadable file
    // or a dangling link, and creating the file there would then fail or follow the link.
    for (long long n = 1;; ++n) {
        out = std::string("Hangaron").substr(0, 23);
        out += "_";
        out += std::to_string(n);
        out += suffix;
        std::string path = out;
        FILE_make_abs_path(path);
        if (!PLAT_path_taken(path)) return;
    }
}
