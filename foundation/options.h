// The command-line option store: name and value texts given on the command line.
#pragma once
#include <map>
#include <string>

struct CMDLINE_options {
    std::map<std::string, std::string> opts; // ordered by byte-wise name comparison
};

extern CMDLINE_options gOptions;

// Fills gOptions from the command-line text after the program's name and echoes every option
// to the log.
void CMDLINE_parse(const char* text);
bool CMDLINE_has_option(const char* name);
std::string CMDLINE_get_option(const char* name);

// Joins argv[1..] into the command-line text the program works with (see the notes in options.cpp).
std::string CMDLINE_text_from_argv(int argc, const char* const* argv);
