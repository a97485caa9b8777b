// Update-server discovery: the server list fetched from the look-up server, the server options
// applied to it, and the release's directory file fetched from one of the servers, unpacked and
// read into the update plan; polled once per frame by the Search for Updates step.
#pragma once
#include "engine/update_state.h"

#include <string>

#ifndef CORVANE_LOOKUP_HOST
#define CORVANE_LOOKUP_HOST "update.corvane-sim.com"
#endif
inline constexpr const char* LOOKUP_HOST = CORVANE_LOOKUP_HOST;
inline constexpr const char* SERVER_LIST_PATH = "/_lookup_10_/server_list_10.txt";
inline constexpr int SERVER_LIST_SLOT = 0;      // the HTTP slot of the server list
inline constexpr int DIRECTORY_SLOT = 1;        // the HTTP slot of the directory archive
inline constexpr long long SERVER_LIST_MAX_BYTES = 1 << 20;
inline constexpr long long DIRECTORY_ARCHIVE_MAX_BYTES = 256ll << 20;
// After a failed server-list or archive request, or a list that names no usable server, the
// next one waits this long, twice as long after each further failure, up to the longest wait; a
// success takes the wait away.
inline constexpr float SEARCH_RETRY_FIRST_SECONDS = 1.0f;
inline constexpr float SEARCH_RETRY_LONGEST_SECONDS = 30.0f;

// Where the discovery stands.
enum search_phase {
    search_fetching = 0, // the directory archive is not fetched yet
    search_unpacked = 1, // "directory.txt" is unpacked and waits to be read
    search_refused = 2,  // the directory file's header was refused
    search_read = 3      // the plan is read; the scan may run
};

extern int gServerIndex; // the record the directory archive is fetched from
extern int gSearchPhase; // a search_phase
extern int gFilesScanned; // groups handed to the scan so far; 0 when a scan starts again

// One polled step: the server list while gServers is empty, else the directory archive, its
// unpacking and reading. Never waits on the network.
void find_update_servers();

// "--install_name", "--server", "--add_server" and "--server_clone", in that order, on
// gInstallName and gServers.
void server_apply_options();

// Writes how often a server list without a usable server came again unlogged, and forgets that
// list, so that it is logged in full when it comes next; for Back and quit.
void server_search_end_repeats();

// Forgets the rest after a failed unpacking or request, so that the next call asks at once; for
// when the user leaves the step (Back, then Next, means "try now").
void server_search_reset_rest();
