// Path rules shared by all file code: special folders, normalisation, absolute paths,
// and the conversions between UTF-8 and UTF-16.
#pragma once
#include <cstdint>
#include <string>

typedef std::string FILE_path;

enum os_dir_kind : uint8_t {
    os_dir_this_app = 0,
    os_dir_app_file = 1, // the program file itself (its full path, no trailing '/')
    os_dir_desktop = 2,
    os_dir_default_apps = 3,
    os_dir_temp = 4,
    os_dir_prefs = 5
};

void FILE_get_special_dir(int kind, std::string& out);
void FILE_normalize_path(std::string& path);
bool FILE_is_abs_path(const std::string& path);
// True when a path read from the network or an archive may be put behind the install folder:
// not empty, relative, no backslash or NUL, and no empty, ".", ".." or drive-letter ("C:...")
// name between its '/' separators. With folder_ok one trailing '/' (a folder) is allowed.
bool FILE_is_safe_relative_path(const std::string& path, bool folder_ok = false);
void FILE_make_abs_path(std::string& path);
// The path made absolute by the FILE_make_abs_path rule, as a new string.
std::string FILE_abs_path(const std::string& path);
// Data files are written with the last three characters of their name (the extension) in lower
// case; a path of three characters or fewer stays as it is.
void FILE_lower_last_three(std::string& path);
void FILE_get_abs_path(const std::string& path, std::u16string& out);

void utf8_to_utf16(const std::string& in, std::u16string& out);
void utf16_to_utf8(const std::u16string& in, std::string& out);

// True when the bytes are well-formed by the lead-byte rule of the path normaliser.
bool FILE_is_valid_utf8(const std::string& s);
