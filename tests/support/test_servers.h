// Real HTTP servers on 127.0.0.1 for the network tests: nginx with one root folder per host
// name (it takes proxy-form requests), and the fault server (fault_server.py), which answers
// with broken replies and records every request it reads. Both end with the test program. Also
// the release that scripts/make-release makes for them, as the update tests check it.
#pragma once
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

struct TS_server {
    pid_t pid = -1;
    int port = 0;    // listening on 127.0.0.1:port
    std::string dir; // its own folder: configuration, logs, recorded requests
    TS_server() = default;
    TS_server(const TS_server&) = delete;
    TS_server& operator=(const TS_server&) = delete;
    ~TS_server();
};

// Starts nginx serving roots (host name -> folder); the name "" gives the folder for every other
// host, which otherwise gets 404. A "folder" beginning with "http://" (the fault server's
// "http://127.0.0.1:PORT") forwards that host's requests there instead. Waits at most timeout_s
// until it takes connections; false (and nothing left running) when it does not come up.
bool TS_nginx_start(TS_server& s, const std::map<std::string, std::string>& roots, double timeout_s = 20);
// nginx's access log, one line per request:
// "<connection number> <request number on it> <host> <status> <body bytes> "<request line>"".
std::vector<std::string> TS_nginx_access_lines(const TS_server& s);
// Requests in nginx's access log for a release's file archives (its directory archive not counted).
int TS_release_archive_requests(const TS_server& nginx);
// One request of that log: host, status and the path asked for, blanks ("%20") decoded.
struct TS_nginx_request {
    std::string host, path;
    int status = 0;
};
std::vector<TS_nginx_request> TS_nginx_requests(const TS_server& s);

// scripts/make-release, which makes a release with the real zip, and the two update servers' names
// the tests give it.
const char TS_MAKE_RELEASE[] = CORVANE_TEST_SOURCE_DIR "/../scripts/make-release";
const char TS_S1[] = "s1.corvane.test";
const char TS_S2[] = "s2.corvane.test";
// md5sum -c of copy against the list of make-release's folder rel, and none of the files rel lists
// as gone left in copy.
void TS_expect_copy_is_release(const std::string& rel, const std::string& copy);

// Starts the fault server (see fault_server.py for what each path answers).
bool TS_fault_server_start(TS_server& s, double timeout_s = 20);
struct TS_request {
    int conn = 0;      // which connection carried it, counted from 1 in the order accepted
    std::string bytes; // the request head as received, through its blank line
};
// The requests the fault server read so far, in order.
std::vector<TS_request> TS_fault_requests(const TS_server& s);
// Forgets the recorded requests, so a test sees only its own.
void TS_fault_clear(const TS_server& s);

// Ends the server and waits for it (bounded).
void TS_server_stop(TS_server& s);

// A port on 127.0.0.1 that nothing listens on at this moment.
int TS_free_port();
