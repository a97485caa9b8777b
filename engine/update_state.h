// The update state that the application fills, as the install engine reads it. It lives here,
// in the lowest layer that reads it; the engine never sets it.
#pragma once
// gLogActions lives with the installer preference file that keeps it.
#include "foundation/pref.h"

#include <string>
#include <vector>

// One update server.
struct ServerRecord {
    std::string host; // host name, no slash, no scheme
    std::string dir;  // the release's folder on the server: begins with '/', ends with the install name and '/'
    std::string name; // a third text that nothing reads
};

extern std::string gInstallPath;           // the copy being updated, ends in '/'
extern std::vector<ServerRecord> gServers; // one download stream per record
extern std::string gTempFolder;            // downloads and the directory file go there, ends in '/'
extern int gTargetOS;                      // 0 ALL, 1 APL, 2 IBM, 3 LIN
