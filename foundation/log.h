// The log stream, as the foundation writes it. The frame's start-up defines and opens it before
// any other unit needs it, and its shutdown closes it.
#pragma once
#include <fstream>

extern std::ofstream gLog; // the log file, rewritten at every start; no lock, no line prefix
