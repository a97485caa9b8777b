// The updater's entry once the runtime is up: start-up, update state, main loop, shutdown.
#pragma once
#include <string>

extern std::string gTempFolder;
extern std::string gInstallName;
extern std::string gCmdLinePath;
extern int gTargetOS; // 0 ALL, 1 APL, 2 IBM, 3 LIN

// Returns the process exit code.
int WinMain(const char* cmd_line);
