// Files written front to back as bytes arrive, every step checked: creating (or emptying) the
// file, writing, and the close that tells whether everything reached the file system.
#pragma once
#include <cstddef>
#include <string>

// Creates the file at the absolute path, or empties an existing one, for writing. The descriptor,
// or -1 with an errno value in err.
int PLAT_out_open(const std::string& path, int& err);

// Writes all the bytes; 0, or the errno value of the first failure (ENOSPC on a full disk).
int PLAT_out_write(int fd, const char* data, size_t size);

// Closes the file; 0, or the errno value when the system reports that earlier writes failed.
int PLAT_out_close(int fd);
