// The updater's entry once the runtime is up: start-up, update state, main loop, shutdown.
#pragma once
#include <string>
#include <vector>

// One update server.
struct ServerRecord {
    std::string host; // host name, no slash, no scheme
    std::string dir;  // the release's folder on the server: begins with '/', ends with the install name and '/'
    std::string name; // a third text that nothing reads
};

extern std::string gInstallPath; // the copy being updated, ends in '/'
extern std::vector<ServerRecord> gServers; // one download stream per record
extern std::string gTempFolder;
extern std::string gInstallName;
extern std::string gCmdLinePath;
extern int gTargetOS; // 0 ALL, 1 APL, 2 IBM, 3 LIN
extern int gWantBetas;   // look for beta releases as well ("_get_beta")
extern int gLogActions;  // log every file action of the install engine ("_log_actions")
extern int gStreamCount; // only carried from preference file to preference file ("_stream_count")

// Returns the process exit code.
int WinMain(const char* cmd_line);

// The application frame: draws the current wizard step and its page; called once per frame
// while no popup is open.
void wizard_draw_frame();
