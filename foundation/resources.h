// Embedded resources: the pictures, fonts and translation tables compiled into the program,
// reached by name or through paths that begin "RESOURCE:".
#pragma once
#include <cstdint>
#include <string>

// True when the path is at least 9 characters long and begins "RESOURCE:" (this case only);
// the prefix is then removed in place. False leaves the path as it was.
bool RES_is_resource_path(std::string& path);

// The bytes of the resource of that name, whatever the case of its letters, or null. The size is
// written only when it is found. The bytes are read-only and stay valid until the process ends.
const unsigned char* RES_get_resource(const std::string& name, uint32_t& size);

// One entry of the table the build generates from resources/resources.txt.
struct RES_entry {
    const char* name; // upper case
    const unsigned char* bytes;
    uint32_t size;
};
extern const RES_entry* const gResTable[];
extern const int gResCount;
