// Reading a file in chunks, and replacing a file safely: the new bytes go to a temporary file
// beside the old one, every write is checked, and only a complete file is renamed over it.
// Paths are absolute byte strings; every call answers 0 or the system's error number, never 0
// for a failure.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Opens a file for reading; fd is -1 on failure. A folder gives EISDIR; a pipe never blocks
// the open. size is the file's size as the system reports it (0 for pipes and devices).
int PLAT_read_open(const std::string& path, int& fd, uint64_t& size);

// Reads up to n bytes; got is less than n only at the end of the file.
int PLAT_read_full(int fd, void* buf, size_t n, size_t& got);

// Moves the read position (whence 0 from the start, 1 from the current position, 2 from the
// end); pos receives the new position.
int PLAT_read_seek(int fd, int64_t offset, int whence, int64_t& pos);

void PLAT_read_close(int fd);

// Writes all n bytes, retrying interrupted and partial writes (ENOSPC when the disk is full).
int PLAT_write_all(int fd, const void* data, size_t n);

// Files written front to back as bytes arrive (downloads): creates the file, or empties an
// existing one; the descriptor, or -1 with an errno value in err.
int PLAT_out_open(const std::string& path, int& err);
// Writes all n bytes like PLAT_write_all, but answers -1 when the system took fewer bytes
// without naming an error.
int PLAT_out_write(int fd, const void* data, size_t n);
// Closes the file; 0, or the errno value when the system reports that earlier writes failed.
int PLAT_out_close(int fd);
// Opens a file for appending, creating it when missing; every write lands at the file's end.
// The descriptor (write with PLAT_out_write, close with PLAT_out_close), or -1 with err set.
int PLAT_append_open(const std::string& path, int& err);

// Takes an exclusive advisory lock on the file (made when missing) for the rest of the process,
// without waiting. The file stays open, closed on exec: the lock goes with the process, and no
// program it starts inherits it. 1 taken; 0 another process holds it; -1 failed, with err set.
int PLAT_lock_for_process(const std::string& path, int& err);

// Takes a file to be written afresh by this process alone (made when missing): an exclusive
// advisory lock without waiting, and only then is the file emptied, so a file that another
// process holds is left exactly as it was. The descriptor in fd holds the lock, closed on exec,
// until it is closed (PLAT_out_close). 1 taken; 0 another process holds it (fd -1); -1 failed,
// with err set. A file system that takes no such lock cannot tell: the file is taken unlocked.
int PLAT_take_file(const std::string& path, int& fd, int& err);

// The longest path the system takes, its terminating NUL included.
extern const size_t PLAT_PATH_MAX;

// One replacement in progress. The temporary file is hidden (a leading dot) and made with the
// usual permissions of a new file.
struct PLAT_replace_file {
    std::string target; // the file being replaced (or made)
    std::string temp;   // the temporary beside it, while one is open
    int fd = -1;

    PLAT_replace_file() = default;
    PLAT_replace_file(const PLAT_replace_file&) = delete;
    PLAT_replace_file& operator=(const PLAT_replace_file&) = delete;
    ~PLAT_replace_file(); // an unfinished replacement is abandoned: the target stays as it was
};

// Creates the temporary file in the target's folder.
int PLAT_replace_begin(PLAT_replace_file& f, const std::string& target);
int PLAT_replace_write(PLAT_replace_file& f, const void* data, size_t n);
// Flushes the temporary to the disk, closes it and renames it over the target. On failure the
// temporary is removed and the target is untouched.
int PLAT_replace_commit(PLAT_replace_file& f);
// Closes and removes the temporary; the target is untouched. Harmless when nothing is open.
void PLAT_replace_abort(PLAT_replace_file& f);

// True when name (a name alone, no folder) has the exact form of a temporary that
// PLAT_replace_begin makes: "." + the target's name (its first 64 bytes) + ".part-" + six
// lower-case letters or digits. With target_name empty, a temporary of any target.
bool PLAT_is_replace_temp(const std::string& name, const std::string& target_name);
// Deletes the regular files of the folder whose names PLAT_is_replace_temp accepts for
// target_name (links and folders of such names stay) and appends each deleted name to removed.
// 0, or the system's error when the folder cannot be listed.
int PLAT_remove_replace_temps(const std::string& folder, const std::string& target_name,
                              std::vector<std::string>& removed);

// Called, when set, once the temporary file is complete and on disk and before it is renamed
// over the target. Only tests set it, to end the process at that point.
extern void (*PLAT_replace_hook)(const std::string& temp_path);

// Replaces a settings file whole with the bytes. A link is followed, so the file it points at
// is replaced; a file without write permission is left alone (EACCES) and an existing file
// keeps its permission bits. On failure the old file is untouched.
int PLAT_replace_whole_file(const std::string& path, const std::string& bytes);

// The path with every link, "." and ".." resolved; the path must exist.
int PLAT_real_path(const std::string& path, std::string& out);
