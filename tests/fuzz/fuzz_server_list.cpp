// Fuzz target of the server list's body reader: every input is read with and without the beta
// box, and every record it keeps must be one the HTTP client takes without its crash alert.
#include "app/server_list.h"
#include "fuzz_support.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (int betas = 0; betas < 2; ++betas) {
        xmap_file view;
        fuzz_view(view, data, size);
        std::vector<ServerRecord> servers;
        std::string name = "Not Yet Scanned", page;
        const server_list_end end = server_list_read_body(view, servers, name, betas, page);
        if (view.cursor < view.begin || view.cursor > view.end) abort();
        if (end != server_list_newer && !page.empty()) abort();
        for (const ServerRecord& r : servers) {
            if (r.host.empty() || r.host.back() == '/' || r.host.back() == '\\') abort();
            if (r.dir.empty() || r.dir[0] != '/' || r.dir.back() != '/') abort();
        }
        for (char c : page)
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0) abort();
    }
    return 0;
}
