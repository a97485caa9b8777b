// File and folder calls of the operating system: listing, making and removing, copying,
// the writable flag, identities and free disk space. Paths are absolute byte strings;
// every call answers 0 or the system's error number.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct PLAT_dir_entry {
    std::string name;       // as the file system holds it, no path
    bool is_folder = false; // a link counts as what it points at
};

// Every entry of the folder ("." and ".." included), in the order the file system gives them.
int PLAT_list_dir(const std::string& folder, std::vector<PLAT_dir_entry>& out);

// True when the path opens for reading and is not a folder. Never waits on a pipe.
bool PLAT_can_read_file(const std::string& path);

// True when the path (links followed) is a folder.
bool PLAT_is_folder(const std::string& path);

// True when anything at all stands at the path: a file of any kind or permission, a folder, or
// a link (dangling too). False when nothing can be seen there for any reason; a caller that
// then creates the file gets the system's own error.
bool PLAT_path_taken(const std::string& path);

int PLAT_make_dir(const std::string& path);
int PLAT_remove_dir(const std::string& path);  // the folder must be empty
int PLAT_remove_file(const std::string& path); // never a folder

// Clears the name in the folder, whatever stands there: a file, a link (never what it points at)
// or a folder with everything in it (links inside are removed, never followed; at most 256
// levels deep). name is a plain name: no '/', not "." or "..". 0 also when nothing stood there.
int PLAT_clear_name(const std::string& folder, const std::string& name);

// Gives the owner write permission back when the file (links followed) lacks it.
int PLAT_clear_read_only(const std::string& path);

// Copies a regular file's bytes, permission bits and times. The destination is written as a
// hidden temporary file beside it and renamed over it only once complete, so a failed copy
// leaves the old destination as it was.
int PLAT_copy_file(const std::string& src, const std::string& dst);

// Device and inode of the path, links followed; tells the same folder under two names apart.
struct PLAT_file_id {
    uint64_t dev = 0, ino = 0;
    bool operator==(const PLAT_file_id&) const = default;
};
int PLAT_get_file_id(const std::string& path, PLAT_file_id& out);

// Size of the file system that holds the path, and the bytes an unprivileged caller may use.
int PLAT_disk_space(const std::string& path, uint64_t& total, uint64_t& avail);

// The system's own text for an error number; false when the system does not know the number.
bool PLAT_error_text(int code, std::string& out);
