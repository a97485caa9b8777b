// Read-only file views for the data-file readers: opening a file, its size, mapping a byte
// range and releasing it again; and the one-level folder creation the header writer retries with.
#pragma once
#include <cstdint>
#include <string>

// The granularity that mapping offsets are rounded down to (the page size); at least 1.
int PLAT_map_granularity();

// Opens a regular file for reading. The descriptor (never -1), or -1 with an errno value in err;
// folders, pipes and devices are refused (ENODEV for them) and never block.
int PLAT_view_open(const std::string& path, int& err);

// The file's size in bytes: 0, or an errno value when it cannot be read.
int PLAT_view_size(int fd, uint64_t& size);

// Maps [offset, offset + length) of the file read-only; length must be at least 1. Any offset
// works: the mapping starts on the page that holds it. The first byte asked for, or null with an
// errno value in err.
const char* PLAT_view_map(int fd, uint64_t offset, uint64_t length, int& err);

// Releases a view made by PLAT_view_map with the pointer and length it was given.
void PLAT_view_unmap(const char* first, uint64_t length);

void PLAT_view_close(int fd);

// Creates one folder (its parent must exist); 0, or an errno value (EEXIST when it is there).
int PLAT_make_one_dir(const std::string& path);
