// The HTTP/1.1 client that fetches every file of an update: connections that move a request
// and its reply a small step per call, the polled fetch net_check with its slots, proxy settings
// and host-name cache (gNet), and the Base64 encoder of the "Authorization" header.
#pragma once
#include "engine/PCSBSocket.h"
#include "foundation/log.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The host whose "/art/beta" paths need the beta credentials; a value of the deployment.
#ifndef CORVANE_BETA_HOST
#define CORVANE_BETA_HOST "beta.corvane-sim.com"
#endif
inline constexpr const char* NET_BETA_HOST = CORVANE_BETA_HOST;

inline constexpr float NET_TIMEOUT_SECONDS = 60.0f;      // no progress for longer fails a fetch
inline constexpr float NET_LOOKUP_RETRY_SECONDS = 10.0f; // a failed look-up is asked again after this
inline constexpr int64_t HTTP_MAX_HEADER_BYTES = 65536;  // a longer reply header block fails
// A body that has lasted longer than this at a lower average rate is given up as a time-out.
inline constexpr float NET_SLOW_SECONDS = 600.0f;
inline constexpr float NET_SLOW_BYTES_PER_SECOND = 1024.0f;

// Orders header names without regard to ASCII case, as HTTP compares them.
struct http_nocase_less {
    bool operator()(const std::string& a, const std::string& b) const;
};

// Where a transfer stands. A connection moves through these top to bottom for each request;
// a kept-alive one goes from done back to sending with its slot's next request.
enum http_state : uint8_t {
    http_resolving = 0, // made, no address taken yet
    http_connecting,    // the socket is connecting
    http_sending,       // request bytes are waiting for the socket
    http_status_line,   // waiting for a status line (again after an interim 1xx reply)
    http_headers,       // reading the header lines of a reply
    http_body_length,   // reading a body of announced length
    http_body_chunked,  // reading a chunked body
    http_body_close,    // reading a body that only the end of the connection ends
    http_done,          // the reply is read whole and its file closed
    http_failed         // see `failure`; the connection is not used again
};
inline constexpr int HTTP_STATE_COUNT = http_failed + 1;
extern const char* const http_state_names[HTTP_STATE_COUNT];

// Why a transfer failed; the error report names it, since several share one error code.
enum http_failure : uint8_t {
    http_fail_none = 0,
    http_fail_no_server,   // made without an address
    http_fail_connect,     // the connect failed (the socket holds why)
    http_fail_closed,      // the connection ended before a byte of the reply
    http_fail_status_line, // bytes came, but no status line
    http_fail_header_size, // the header block passed HTTP_MAX_HEADER_BYTES
    http_fail_headers_cut, // the connection ended inside the header block
    http_fail_length,      // a Content-Length that is not a number
    http_fail_coding,      // a transfer coding other than chunked
    http_fail_chunk_size,  // a chunk-size line that is not one
    http_fail_chunk_end,   // chunk data not followed by its line end
    http_fail_trailer_size,// the trailer block passed HTTP_MAX_HEADER_BYTES
    http_fail_body_cut,    // the connection ended before the announced body did
    http_fail_no_length,   // a body without a length: its end cannot be told
    http_fail_file,        // the output file could not be opened, written or closed
    http_fail_body_size,   // the body passed (or announced more than) the request's limit
    http_fail_timeout,     // no progress for NET_TIMEOUT_SECONDS
    http_fail_slow         // the body lasted past the slow window below the least average rate
};
inline constexpr int HTTP_FAILURE_COUNT = http_fail_slow + 1;
extern const char* const http_failure_names[HTTP_FAILURE_COUNT];

// What one request may cost: the most body bytes it may bring (-1: no limit), and the least
// average rate its body must keep once it has lasted slow_seconds.
struct http_limits {
    int64_t max_body = -1;
    float slow_seconds = NET_SLOW_SECONDS;
    float slow_rate = NET_SLOW_BYTES_PER_SECOND;
};

// Where a chunked reply body stands, inside http_body_chunked.
enum http_chunk_phase : uint8_t { chunk_size = 0, chunk_data, chunk_data_end, chunk_trailer, chunk_done };

// One HTTP/1.1 client connection to one address and port; it outlives its request and can
// carry the next one of its slot.
class HTTPConnection {
public:
    uint32_t address = 0; // IPv4, network order; 0: none
    uint16_t port = 0;
    std::unique_ptr<PCSBSocket> socket; // null when made without an address
    std::string send_buf;               // request bytes the socket has not taken yet
    std::string recv_buf;               // header bytes not yet parsed
    int32_t status = 0;                 // -1 after construction, 0 once a request is issued
    std::string status_text;
    std::map<std::string, std::string, http_nocase_less> headers; // first value of each name
    int file = -1;                      // the open output file, -1 when none
    std::string local_name;             // absolute path of the output file, "" when none
    int32_t os_error = 0;               // errno value or err_code recorded by the connection
    int64_t content_length = -1;        // announced body length; -1 while none is known
    int64_t bytes_received = 0;         // body bytes handed to the output file
    float last_activity = 0;            // gTimer real time of the request start and latest body bytes
    http_limits limits;                 // of the current request; set after SendRequest
    float body_start = 0;               // gTimer real time at which the body began

    http_state state = http_resolving;  // changed by set_state only
    http_state failed_in = http_resolving; // the state a failed transfer was in
    http_failure failure = http_fail_none;

    bool keep_alive = false;  // the last reply lets this connection carry another request
    bool http10 = false;      // the last status line was HTTP/1.0
    uint8_t chunk_phase = chunk_size;
    int64_t chunk_left = 0;   // data bytes left in the current chunk
    std::string chunk_line;   // a chunk-size or trailer line being collected
    int64_t framing_bytes = 0; // header and trailer bytes of the reply, for the cap
    int64_t reply_bytes = 0;  // bytes received for the current request
    int32_t requests = 0;     // requests issued on this connection
    bool reused = false;      // the current request is not the connection's first

    // Address 0: no socket and err_net_no_server. Otherwise a socket starts connecting.
    HTTPConnection(uint32_t address, uint16_t port);
    // Closes the output file (it keeps what was written) and the socket.
    ~HTTPConnection();
    HTTPConnection(const HTTPConnection&) = delete;
    HTTPConnection& operator=(const HTTPConnection&) = delete;

    // True when the last reply was read whole, the server keeps the connection open, it goes
    // to this address and port, and the peer has not closed it meanwhile.
    bool CanReuse(uint32_t address, uint16_t port);
    // Queues a new request (the header map must hold "Host"); nothing is sent here. The path's
    // blanks go out as "%20"; a relative local file is taken from the program's folder; without
    // a local file the body is counted and dropped.
    void SendRequest(const char* path, bool post, const std::map<std::string, std::string>& hdrs,
                     const char* body, int32_t body_length, const char* local_file);
    // One step: at most one send and one receive; the reply body goes to the output file.
    void Pump();
    std::string GetResponseText() const { return status_text; }

    // 0 no socket, 1 connecting, 2 socket error, 3 closed (or the peer finished sending),
    // 4 request bytes waiting, 6 headers incomplete, 3 body complete, 5 body arriving.
    int GetStat();
    bool IsDone() { return GetStat() == 3; }
    bool IsComplete() const { return content_length == bytes_received; }
    bool IsErr() { return os_error != 0 || GetStat() == 0 || GetStat() == 2; }
    int32_t GetOSErr() const;
    // The final reply's header block has ended (its body, or a failure after it, follows).
    bool headers_done() const;

private:
    void set_state(http_state next);
    void fail(http_failure why, int32_t error = 0);
    bool take_status_or_header(const std::string& line);
    void begin_body();
    size_t take_plain(const char* data, size_t size);
    size_t take_chunked(const char* data, size_t size);
    void write_body(const char* data, size_t size);
    void finish_body();
    void close_file(bool checked);
};

// A host-name look-up: the name and its address (0 when not found).
struct net_lookup {
    std::string host;
    uint32_t address = 0;
};

// What the host cache knows of a server name.
struct net_host {
    std::string looked_up; // the name actually looked up: the proxy's or the server's
    uint32_t address = 0;  // network order; 0: the look-up failed
    float when = 0;        // gTimer real time of the look-up
};

// Where a slot of net_check stands.
enum net_slot_state : uint8_t {
    net_slot_idle = 0, // never used, or cancelled: no connection
    net_slot_lookup,   // the request waits for its server's address
    net_slot_running,  // the slot's connection carries the request
    net_slot_resting,  // the last request failed (2); a failed look-up is not asked again for a while
    net_slot_done      // the last request succeeded (1); its connection stays for the next one
};

// The request a slot is working on, as net_check was given it.
struct net_request {
    std::string server, path, local_file;
    int64_t max_body = -1;  // the most body bytes the request may bring; -1: no limit
    bool revalidate = false; // asks caches on the way to fetch it from the server again
    int32_t file_error = 0; // the last request failed writing its local file: the system's error
    http_failure failure = http_fail_none; // why the last request failed
    int32_t status = 0; // the last request's reply came whole with this status, not a success; else 0
    uint8_t retried = 0; // sent again on a fresh connection already
    net_slot_state state = net_slot_idle; // changed by net_set_state only
    LOG_repeats failures; // the last failure's report, while it repeats unlogged
};

// net_result: 0 pending, 1 done, 2 failed.
struct net_client {
    std::string _proxy_host;     // host name of the HTTP proxy; empty means no proxy
    std::string _proxy_port;     // the proxy port as the user typed it
    int32_t _proxy_port_int = 0; // the proxy port as a number; 0 means none

    std::vector<std::unique_ptr<HTTPConnection>> connections; // per slot; null: none
    std::vector<net_lookup> lookups;                          // per slot: its look-up's record
    // (The look-up jobs of the worker pool would sit beside them; the look-up runs inline.)
    std::vector<net_request> requests;                        // per slot: the request under way
    std::map<std::string, net_host> host_cache;               // by server name
    // A body slower than slow_rate on average once it has lasted slow_seconds fails (tests shorten it).
    float slow_seconds = NET_SLOW_SECONDS;
    float slow_rate = NET_SLOW_BYTES_PER_SECOND;

    // Advances the download of path from server into local_file by one step. A call after the
    // slot's request ended, or with a server, path or file other than the one under way, starts
    // a new request; '\' becomes '/' in server and path, in the caller's strings. A new request
    // whose body passes max_body bytes (when not -1) fails as soon as that is known. A failure
    // that repeats the slot's previous one is not logged again; its count is, when a success, a
    // different failure, cancel_slot or end_repeats ends the run. With revalidate the request
    // (and its repetition on a fresh connection) also carries "Cache-Control: no-cache" and
    // "Pragma: no-cache", so that no proxy answers from its cache: for the server list and the
    // directory archive, which change at the same addresses with each release.
    uint8_t net_check(int32_t slot, std::string& server, std::string& path, std::string& local_file,
                      int64_t max_body = -1, bool revalidate = false);
    // The system's error when the slot's last request failed because its local file could not be
    // opened, written or closed (a full disk, not a server fault); else 0.
    int32_t local_error(int32_t slot);
    // Why the slot's last request failed (http_fail_none after a success, or while one runs).
    http_failure last_failure(int32_t slot);
    // The status of the slot's last reply when it came whole and was no success (404, 500, ...);
    // 0 after a success, a failed transfer, or while one runs.
    int32_t last_status(int32_t slot);
    // True while the slot carries a request, so that its local file is being written; false once
    // it ended or was cancelled: the next net_check starts a new request.
    bool slot_busy(int32_t slot) const;
    // Makes the slot's entries exist.
    void reserve_slot(int32_t slot);
    // 0 without a connection, -1 while no length is known, else 100 x received / length.
    float percent_done(int32_t slot);
    // The frame-timer seconds of the slot's request start, the end of its reply's header block or
    // its latest body bytes; 0 without a connection.
    float last_activity(int32_t slot);
    // Stops the slot's transfer; the output file keeps what was written. No log line, but the
    // count of a failure that repeated unlogged.
    void cancel_slot(int32_t slot);
    // Writes the count of the slot's failure that repeated unlogged (every slot's for -1) and
    // forgets that failure, so that the next one is logged in full; the transfer goes on. For
    // when the user leaves a step or quits in the middle of an outage.
    void end_repeats(int32_t slot);
};

extern net_client gNet;

// The look-up job: address = SOCK_resolve(host). Returns 0.
int net_lookup_run(net_lookup* lookup);

// Base64 (RFC 4648 alphabet, '=' padding, no line breaks) of the bytes.
std::string base64_encode(const std::string& bytes);
