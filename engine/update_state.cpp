// The update state that the application fills (see update_state.h).
#include "engine/update_state.h"

std::string gInstallPath;
std::vector<ServerRecord> gServers;
std::string gTempFolder;
int gTargetOS = 2;
