// The HTTP client that fetches every file of an update. So far it holds only its proxy
// settings, which the installer preference file carries from run to run.
#pragma once
#include <cstdint>
#include <string>

struct net_client {
    std::string _proxy_host;     // host name of the HTTP proxy; empty means no proxy
    std::string _proxy_port;     // the proxy port as the user typed it
    int32_t _proxy_port_int = 0; // the proxy port as a number; 0 means none
};

extern net_client gNet;
