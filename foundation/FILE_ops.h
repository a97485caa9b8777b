// File and folder operations on UTF-8 paths (relative paths are relative to the program's
// folder), and the error codes and English texts that file, archive and network code share.
#pragma once
#include "platform/plat_process.h"

#include <cstdint>
#include <string>
#include <vector>

// 0 for success, else a system error number (errno) or one of the program's own err_code values.
typedef int FILE_result;

enum err_code : int32_t {
    err_unzip_open = 20001,    // an archive cannot be opened or is not an archive
    err_unzip_read = 20002,    // short read of a zip entry
    err_zip_create = 20003,
    err_zip_write = 20004,     // short write while extracting
    err_zip_fork_size = 20005,
    err_file_read_open = 20006,
    err_net_reconnect = 20007,
    err_net_bad_state = 20008,
    err_net_alloc = 20009,     // no connection can be allocated
    err_net_write_file = 20010, // the incoming file cannot be written
    err_net_no_server = 20011, // the server cannot be found
    err_zip_fork_header = 20012
};

// Entry types of a listing: 1 folder, 0 anything else, 2 to 21 by the name's extension
// (2 pictures, 20 ".txt" and so on); a folder with a listed extension takes that type.
// Filter kinds: 0 everything, a type to keep only that type (folders are always kept),
// 12 pictures without the cockpit panels and numbered variants, 22 nothing at all,
// 23 the command registry's names instead of the disk (no entries while no registry is linked in).

// 1 when the path opens for reading as a file, else 0 (also 0 for a folder).
int FILE_exists(const std::string& path);
// 1 when the parent folder lists a folder of exactly that name (one trailing '/' allowed).
int FILE_is_dir(const std::string& path);
// Makes the last folder of the path only; 0 or the error code (17 when it exists).
FILE_result FILE_make_dir(const std::string& path);
// 0 for success and for the already-exists codes (17, 183), else 1.
int FILE_is_real_error(FILE_result code);
// A path ending in '/' removes an empty folder, any other path a file; 2 for an empty path.
FILE_result FILE_delete_file(const std::string& path);
// No delete error counts as a failure of the caller's work: always 0.
int FILE_is_delete_error(FILE_result code);
FILE_result FILE_clear_read_only(const std::string& path);
// Copies a file (overwriting the destination) or a whole folder tree; 0 or the first error.
FILE_result FILE_copy(const std::string& src, const std::string& dst);
// Size and bytes free to the caller of the disk that holds the path's folder; either output
// may be null.
FILE_result FILE_get_disk_space(const std::string& path, uint64_t* total, uint64_t* avail);
// How long a start through the desktop's opener waits for it: long enough for an opener with
// nothing to open the file or page with to say so (xdg-open does within a second), short enough
// not to hold up a program that is quitting.
const int FILE_OPENER_WAIT_MS = 2000;

// Opens the file: an executable is run with the parameter text (blank-separated, double
// quotes group), anything else goes to the desktop's opener, which is waited for (see above).
// On success the process ends with exit code 1, after the orderly shutdown when the flag is set;
// otherwise the error code comes back and nothing was started (ENOEXEC when the opener failed
// within the wait). opener_failure (if given) then receives the opener's failure as
// FILE_opener_failure gives it, and is empty when the error is the file's.
FILE_result FILE_launch(const std::string& path, const std::string& params, int shutdown,
                        std::string* opener_failure = nullptr);
// What became of a start through the desktop's opener, for the user: its name and why it did not
// open what it was given ("xdg-open: No such file or directory" when start_error says it could
// not be started, "xdg-open: exited with status 3" or "xdg-open: was ended by signal 9" when it
// failed within the wait, translated); empty when it was not used, opened it or runs on. A
// failure is logged as a warning naming what.
std::string FILE_opener_failure(const std::string& what, int start_error, const PLAT_opener& opener);
// Lists a folder path ending in '/' (or '\') into parallel vectors, names in case-blind
// order; the result is the number of entries (0 when the folder cannot be read).
int FILE_get_directory(const std::string& folder, int kind, std::vector<std::string>& names,
                       std::vector<int32_t>& types);
// Sets the type from the name's extension and answers whether the entry passes the filter.
int FILE_type_filter(const std::string& folder, const std::string& name, int kind, int32_t& type);
// Case-blind (ASCII only) order of two byte ranges, bytes compared unsigned; a name sorts
// before any longer name that begins with it.
bool FILE_less_nocase(const char* a, const char* a_end, const char* b, const char* b_end);

// English text for any FILE_result; "" for 0.
std::string FILE_error_text(int32_t code);
