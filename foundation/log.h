// The log stream, written by every layer. It lives here, in the lowest layer that writes it; the
// frame's start-up opens it before any other unit needs it, and its shutdown closes it.
#pragma once
#include <fstream>
#include <ostream>
#include <string>

extern std::ofstream gLog; // the log file, rewritten at every start; no lock, no line prefix

// Where code that may run off the main thread writes its log lines: gLog, unless this thread
// has been given a buffer with LOG_capture. The log file is written by the main thread only, so
// work handed to another thread keeps its lines in a buffer of its own, and the main thread
// copies them into the log when it takes the work back.
std::ostream& LOG_out();
// Sends this thread's LOG_out lines to the buffer until it is called again with null.
void LOG_capture(std::ostream* buffer);

// A report that may come again word for word (a server that stays away gives the same one every
// time): logged once, then only counted, and one line tells the count when something else ends
// the run. Main thread only: it writes gLog.
struct LOG_repeats {
    std::string report;  // the report logged last, while it may come again
    std::string subject; // what the count line names; empty while no report is kept
    int count = 0;       // times it came again since it was logged
};
// True, and counted, when report is the one kept.
bool LOG_repeated(LOG_repeats& r, const std::string& report);
// Keeps the report just logged, named by subject in its count line.
void LOG_repeats_keep(LOG_repeats& r, const std::string& report, const std::string& subject);
// Writes "The <subject> came N more time(s)." and line_end when the kept report came again, and
// forgets it, so that the next one is logged in full.
void LOG_repeats_end(LOG_repeats& r, const char* line_end = "\n");
