// Free numbered file names beside the program: "Hangaron_1.mov", "Hangaron_2.mov" and so on.
#pragma once
#include <string>

// out = "Hangaron_" + the lowest n from 1 up whose name is free + suffix. A name counts as taken
// when anything stands there in the program's folder: a file of any kind, a folder or a link.
void make_numbered_name(const std::string& suffix, std::string& out);
