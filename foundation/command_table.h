// The frame's command registry, as the option "--cmnds" lists it and the folder filter asks it.
// The frame's start-up points these at its command unit; while they are null there are no
// commands: the count is 0 and a listing adds nothing.
#pragma once
#include <string>
#include <vector>

struct CMD_table_hooks {
    int (*count)() = nullptr;
    // Name and description of command index 0 to count() - 1; the caller guarantees the range.
    std::string (*get_name)(int index) = nullptr;
    std::string (*get_description)(int index) = nullptr;
    // Appends the distinct next-level entries of the names below the prefix, in order of first
    // appearance: the text behind the prefix up to and including the next '/', or the whole
    // rest. The output is not emptied first.
    void (*list_prefix)(const std::string& prefix, std::vector<std::string>& out) = nullptr;
};
extern CMD_table_hooks gCommandTable;
