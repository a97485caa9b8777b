// The log stream, written by every layer. It lives here, in the lowest layer that writes it; the
// frame's start-up opens it before any other unit needs it, and its shutdown closes it.
#pragma once
#include <fstream>
#include <ostream>

extern std::ofstream gLog; // the log file, rewritten at every start; no lock, no line prefix

// Where code that may run off the main thread writes its log lines: gLog, unless this thread
// has been given a buffer with LOG_capture. The log file is written by the main thread only, so
// work handed to another thread keeps its lines in a buffer of its own, and the main thread
// copies them into the log when it takes the work back.
std::ostream& LOG_out();
// Sends this thread's LOG_out lines to the buffer until it is called again with null.
void LOG_capture(std::ostream* buffer);
