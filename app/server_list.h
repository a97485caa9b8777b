// The server list that the look-up server hands out: its body reader, and the server records
// that the "--server" options make. Both only build records; fetching and applying them to the
// update state is the discovery's (server_search.h).
#pragma once
#include "engine/update_state.h"
#include "foundation/xmap.h"

#include <string>
#include <vector>

inline constexpr int SERVER_LIST_VERSION = 1000;        // the only header version read
inline constexpr int SERVER_LIST_NEWEST_UPDATER = 30002; // a higher "INS_VERSION" needs a newer updater
inline constexpr size_t SERVER_STREAMS_MAX = 64;         // "--server_clone" stops at this many records

// What reading the body ended with.
enum server_list_end {
    server_list_read = 0, // "ENDOFLIST" or the end of the data
    server_list_newer = 1 // an "INS_VERSION" above SERVER_LIST_NEWEST_UPDATER; the rest is unread
};

// Reads the body (the view's cursor stands behind the header) into servers and install_name:
// "BETA" or "FINAL" (by want_betas) names the release (with betas wanted and no "BETA" line,
// "FINAL" does, and a line says so in the log), "SERVER" and its two lines add a record
// whose dir is the folder line (given its final '/' when it lacks one) and the release name the
// lines above gave. A record with an empty host, a host ending in '/' or '\', or a folder line
// not beginning with '/' is dropped with a "WARNING: " line. newer_page receives the page
// address of an "INS_VERSION" that asks for a newer updater.
server_list_end server_list_read_body(xmap_file& f, std::vector<ServerRecord>& servers, std::string& install_name,
                                      int want_betas, std::string& newer_page);

// The "INS_VERSION" number as text ("-", "+", then digits): 1 and the value when it is one, the
// value clamped to the int range when its digits do not fit; 0 for anything else.
int server_list_version(const std::string& text, long long& value);

// True when the record can be handed to the HTTP client: a host that is not empty and does not
// end in a folder separator, and a folder beginning with '/'. Otherwise logs why with "WARNING: ".
bool server_record_usable(const ServerRecord& r, const char* from);

// The record a "--server" or "--add_server" value names: the host up to the first '/', the folder
// from there on (the server's root when there is no '/'), given its final '/' when it lacks one,
// followed by install_name and '/'.
ServerRecord server_record_from_option(const std::string& value, const std::string& install_name);

// The number of copies "--server_clone" adds: the value's leading digits (0 without any), at most
// as many as keep servers within SERVER_STREAMS_MAX records; 0 while servers is empty.
size_t server_clone_count(const std::string& value, size_t servers);
