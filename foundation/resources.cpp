// Look-up in the table of embedded resources (see resources.h).
#include "foundation/resources.h"

bool RES_is_resource_path(std::string& path)
{
    if (path.size() < 9 || path.compare(0, 9, "RESOURCE:") != 0) return false;
    path.erase(0, 9);
    return true;
}

static char ascii_upper(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

const unsigned char* RES_get_resource(const std::string& name, uint32_t& size)
{
    if (name.empty()) return nullptr;
    for (int i = 0; i < gResCount; ++i) {
        const RES_entry* e = gResTable[i];
        // Table names are stored in upper case, so only the asked name needs folding.
        size_t k = 0;
        while (k < name.size() && e->name[k] != 0 && ascii_upper(name[k]) == e->name[k]) ++k;
        if (k == name.size() && e->name[k] == 0) {
            size = e->size;
            return e->bytes;
        }
    }
    return nullptr;
}
