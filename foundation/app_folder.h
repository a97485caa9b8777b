// The program's folder, as the path rules read it, and the program file's path. Both live in the
// path unit (paths.cpp); the frame's start-up sets gAppFolder once.
#pragma once
#include <string>

extern std::string gAppFolder; // the program's folder, ends in '/'; set once at start-up

// The program file's path (want_file non-zero), or its folder ending in '/'.
void hl_get_app_path(std::string& out, int want_file);
