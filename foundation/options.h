// The command-line option store: name and value texts given on the command line, the echo of
// every option to the log, and the standard print-and-exit options.
#pragma once
#include <map>
#include <ostream>
#include <string>

struct CMDLINE_options {
    std::map<std::string, std::string> opts; // ordered by byte-wise name comparison
};

// Filled once at start-up on the main thread, read-only afterwards.
extern CMDLINE_options gOptions;

// Fills gOptions from the command-line text after the program's name, echoes every option to
// the log, then serves the standard options; does not return when one of them ends the process.
void CMDLINE_parse(const char* text);
// The tokeniser alone: adds every option of the text to the store, echoing to the given stream.
void CMDLINE_tokenize(CMDLINE_options& store, const char* text, std::ostream& log);

// The arguments after the program's name that are no option (do not begin with '-'), and every
// argument after a lone "--", joined by single blanks: a folder whose blanks the shell split
// stays whole; an empty argument adds nothing. Read from the arguments, not
// from the joined text, so that an option value holding quotes cannot spill into the folder.
std::string CMDLINE_folder_words(int argc, const char* const* argv);

// Exact, case-sensitive name lookups on gOptions.
bool CMDLINE_has_option(const char* name);
std::string CMDLINE_get_option(const char* name); // empty when absent or given without '='

// Serves "--cmnds", "--version", "-h" and "--help" (the first present, in that order): prints to
// standard output and ends the process with exit code 0, or with 1 and a line on standard error
// when the output could not be written. Returns when none was given. Once
// CMDLINE_text_from_argv has run, only an option that an argument gave whole counts.
void CMDLINE_handle_standard();
// The same for the options of a text that is not stored or echoed anywhere (the store is left
// empty when none was given).
void CMDLINE_handle_standard_unlogged(const char* text);
// What the standard options print.
std::string CMDLINE_cmnds_text(const std::string& value);
std::string CMDLINE_usage_text();

// Hands the name of every "--dref:" option, in name order, to the tunables registry.
void CMDLINE_apply_drefs();

// Joins the option arguments of argv[1..] (those that begin with '-', each kept one option) into
// the command-line text the program works with (see the notes in options.cpp); the text ends
// before a lone "--", which ends the options. Also notes the option names that arguments give
// whole ("--version", "--cmnds=sim/"), which alone serve as standard options.
std::string CMDLINE_text_from_argv(int argc, const char* const* argv);
