// The list of installed copies this computer knows, kept in a small file in the XDG data folder,
// and the test whether a folder is a copy at all.
#pragma once
#include <string>
#include <vector>

extern std::vector<std::string> gInstalledCopies; // registered folders that exist, in file order

// The form every registered folder has: absolute (a relative path is taken from the program's
// folder) and ending in '/'. Empty for an empty path.
std::string install_folder_path(const std::string& path);

// The usable lines of the registry file's bytes, in order, whether their folders exist or not:
// a line ends at LF and is cut at its first NUL or CR; empty lines, lines not beginning with '/'
// and lines too long for a path are dropped whole; a missing final '/' is added.
void install_registry_lines(const char* begin, const char* end, std::vector<std::string>& lines);

// Refills gInstalledCopies from the registry file.
void read_install_registry();
// Appends gInstallPath to the registry file unless a line already names it.
void register_install_folder();
// 1 when gInstallPath holds the folders a copy of the simulator has.
int is_installed_copy();
// The folder, or the nearest folder above it, that holds a copy (the folder's text with names
// taken off its end, each keeping its trailing '/'); "" when none on the way up does.
std::string find_installed_copy(const std::string& folder);
