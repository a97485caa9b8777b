// Read-only views of data files (memory-mapped, or the bytes of an embedded resource), the
// header check every data file passes, and the writer that starts a data file with its header.
#pragma once
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>

// File kinds of the header functions.
const int FILE_KIND_BINARY = 10000;
const int FILE_KIND_TEXT = 10001;

// A view of a whole file or a byte range of it, or of an embedded resource when the path begins
// "RESOURCE:". Empty (all pointers null) when nothing could be read or the file is empty.
struct xmap_file {
    int32_t byte_swap = 0;        // 1 after a binary header 'a': multi-byte values need swapping
    std::string label;            // the path given to the last map
    const char* begin = nullptr;  // first viewed byte
    const char* cursor = nullptr; // read position of the text readers, begin <= cursor <= end
    const char* end = nullptr;    // one past the last viewed byte
    int file_handle = -1;         // the open file, -1 when none
    int32_t borrowed = 0;         // 1 when begin points into an embedded resource

    explicit xmap_file(const std::string& path = "", uint64_t offset = 0, uint64_t length = 0);
    ~xmap_file();
    xmap_file(const xmap_file&) = delete;
    xmap_file& operator=(const xmap_file&) = delete;

    // Releases what the view held and views [offset, offset + length) of the file, length 0
    // meaning to its end. Returns begin: the first viewed byte, or null for an empty view.
    const char* map(const std::string& path, uint64_t offset = 0, uint64_t length = 0);
    void close();
};

// Sets the granularity that mapping offsets are rounded down to (0: none). Set once at start-up.
void xmap_set_granularity(int32_t granularity);

// Tests the data-file header at the start of the view. versions is the list of accepted versions,
// ended by 0. Returns the accepted version the header carries, or 0; on success the cursor stands
// at the first data character. type_word (text files) and rest (out, the text after the version
// on line 2) may be null.
int check_file(xmap_file& f, int kind, const int* versions, const char* type_word, std::string* rest);

// Opens the file for writing (the last three characters of the path in lower case) and writes
// the header. 1 when open and written; 0 after the alert. A notice of exactly
// "no-copyright-string" is left out.
int ouf_open(std::ofstream& out, const std::string& path, int kind, int version, const std::string& notice);

// Runs write_once (0 on success, else an error code); when it fails, makes the last folder of
// the path (one level only) and runs it once more. Returns the last attempt's result.
int FILE_write_retrying_folder(const std::string& abs_path, const std::function<int()>& write_once);
// The note that a file could not be saved, naming the path and what the user can do about it.
void FILE_save_failed_alert(const std::string& abs_path);
