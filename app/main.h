// The updater's entry once the runtime is up: start-up, update state, main loop, shutdown.
#pragma once
#include "engine/update_state.h"
#include "frame/app_frame.h"

#include <string>
#include <vector>

extern std::string gInstallName;
extern std::string gCmdLinePath;
extern int gWantBetas;   // look for beta releases as well ("_get_beta")
extern int gStreamCount; // only carried from preference file to preference file ("_stream_count")

// Returns the process exit code.
int WinMain(const char* cmd_line);

