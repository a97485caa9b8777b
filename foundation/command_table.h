// The frame's command registry, as the option "--cmnds" lists it and the folder filter asks it.
// The frame's command unit fills these in.
#pragma once
#include <string>
#include <vector>

int CMD_count();
// Name and description of command index 0 to CMD_count() - 1; the caller guarantees the range.
std::string CMD_get_name(int index);
std::string CMD_get_description(int index);
// Appends the distinct next-level entries of the names below the prefix, in order of first
// appearance: the text behind the prefix up to and including the next '/', or the whole rest.
// The output is not emptied first.
void CMD_list_prefix(const std::string& prefix, std::vector<std::string>& out);
