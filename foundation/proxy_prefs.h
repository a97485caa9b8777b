// The HTTP client's proxy settings that the installer preference file keeps, as the preference
// code reaches them. Their owner (the network engine's gNet) lives above the foundation: the
// frame's start-up points these at it; while they are null the three proxy tags are neither read
// nor written.
#pragma once
#include <string>

struct PREF_proxy_vars {
    std::string* host = nullptr; // the proxy's host name; empty means no proxy
    std::string* port = nullptr; // the proxy port as the user typed it
    int* port_int = nullptr;     // the proxy port as a number; 0 means none
};
extern PREF_proxy_vars gProxyVars;
