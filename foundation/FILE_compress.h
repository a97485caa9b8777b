// Unpacking the zip and 7z archives the updater downloads, and the MD5 signature of a file.
// Archive entries are streamed to disk in chunks; each file is written beside its old copy and
// renamed over it only when complete and checked, so a failure never damages an existing file.
#pragma once
#include "foundation/FILE_ops.h"
#include "platform/plat_fileio.h"

#include <cstdint>
#include <string>

// One zip entry as the walk sees it. A name ending in '/' is a folder entry.
struct FILE_zip_entry {
    std::string name;           // the whole stored name, however long
    uint64_t uncompressed_size = 0;
    uint32_t external_attr = 0; // the upper 16 bits hold Unix mode bits
};

// 32 lower-case hexadecimal digits of the file's MD5; hex is set only on success.
FILE_result FILE_md5_of_file(const std::string& path, std::string& hex);

// Unpacks every entry of the zip into the folder (ending in '/'), making the folders the
// archive lists. first_name receives the first entry's name; with replace_name every file
// entry is written under that name instead. An entry whose name is not a plain relative
// path, or that would land outside the folder, ends the extraction with err_unzip_open.
FILE_result FILE_unzip_to_dir(const std::string& zip_path, const std::string& out_dir,
                              std::string* first_name = nullptr, const std::string* replace_name = nullptr);

// Unpacks the files of a 7z archive into the folder (ending in '/'); folders are not made and
// must exist. path_out receives each output path; with use_path_out set the files are written
// to the folder + the name path_out holds on entry instead.
FILE_result FILE_un7z_to_dir(const std::string& path, const std::string& out_dir, std::string* path_out = nullptr,
                             int use_path_out = 0);

// The one file an archive was fetched for: the entry called name (a plain file name) is written
// to a temporary beside target and left there, uncommitted, in out, so that the caller can check
// it before PLAT_replace_commit puts it in place (or PLAT_replace_abort drops it). Every other
// entry is skipped with a "WARNING: " line; an entry whose name is not a plain relative path
// fails the archive (err_unzip_open), as does an archive without the file. With max_size not -1,
// the file stops as soon as it would pass that many bytes: EBADMSG, with nothing logged and the
// temporary, never larger than max_size, removed; it is not the file the archive was fetched for.
FILE_result FILE_unzip_file(const std::string& zip_path, const std::string& name, const std::string& target,
                            PLAT_replace_file& out, int64_t max_size = -1);
FILE_result FILE_un7z_file(const std::string& path, const std::string& name, const std::string& target,
                           PLAT_replace_file& out, int64_t max_size = -1);

// Writes the zip's current entry (zip is an open minizip handle) to the output path.
FILE_result zip_to_file(void* zip, const std::string& out_path, const FILE_zip_entry& info);
// Symbolic links and the resource forks of "__MACOSX" are never written: both answer 0.
FILE_result FILE_unzip_symlink(void* zip, const std::string& out_path, const FILE_zip_entry& info);
FILE_result FILE_unzip_resource_fork(void* zip, const std::string& out_path, const FILE_zip_entry& info);
