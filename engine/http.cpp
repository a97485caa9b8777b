// The HTTP client: connections, the polled fetch and the Base64 encoder (see http.h).
#include "engine/http.h"

#include "foundation/FILE_ops.h"
#include "foundation/alert.h"
#include "foundation/frame_clock.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/version.h"
#include "platform/plat_fileio.h"

#include <algorithm>
#include <cstring>
#include <sstream>

net_client gNet;

// Every receive lands here first; all connections share it, so Pump runs on one thread only.
static char sRecvArea[65536];

// Chunk-size and chunk-end lines are short; a longer one is not a chunked body.
static const size_t kMaxChunkLine = 4096;

static float net_now()
{
    return gTimer.hl_timer_real_time;
}

static char lower_ascii(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

bool http_nocase_less::operator()(const std::string& a, const std::string& b) const
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return (unsigned char)lower_ascii(x) < (unsigned char)lower_ascii(y);
    });
}

static bool equal_nocase(const std::string& a, const char* b)
{
    const size_t n = strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (lower_ascii(a[i]) != lower_ascii(b[i])) return false;
    return true;
}

static std::string trim_blanks(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

// The comma-separated tokens of a header value, blanks trimmed, empty ones left out.
static std::vector<std::string> header_tokens(const std::string& value)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= value.size()) {
        size_t comma = value.find(',', start);
        if (comma == std::string::npos) comma = value.size();
        std::string t = trim_blanks(value.substr(start, comma - start));
        if (!t.empty()) out.push_back(t);
        start = comma + 1;
    }
    return out;
}

static bool has_token(const std::string& value, const char* token)
{
    for (const std::string& t : header_tokens(value))
        if (equal_nocase(t, token)) return true;
    return false;
}

// A Content-Length value: decimal digits only (blanks around them allowed), without overflow.
static bool parse_length(const std::string& value, int64_t& out)
{
    const std::string t = trim_blanks(value);
    if (t.empty()) return false;
    int64_t v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return false;
        const int d = c - '0';
        if (v > (INT64_MAX - d) / 10) return false;
        v = v * 10 + d;
    }
    out = v;
    return true;
}

static int hex_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    c = lower_ascii(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A chunk-size line: hex digits alone, or followed by optional blanks and a ';' extension.
// Anything else after the digits ("5 garbage", "5 ") is no size, however the digits read.
static bool parse_chunk_size(const std::string& line, int64_t& out)
{
    size_t i = 0;
    int64_t v = 0;
    for (; i < line.size(); ++i) {
        const int d = hex_value(line[i]);
        if (d < 0) break;
        if (v > (INT64_MAX - d) / 16) return false;
        v = v * 16 + d;
    }
    if (i == 0) return false;
    if (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i == line.size() || line[i] != ';') return false;
    }
    out = v;
    return true;
}

// ---------------------------------------------------------------------------------------------
// HTTPConnection: one explicit state (http_state), changed by set_state alone, and one driver,
// Pump, with each state's work in its own case.

const char* const http_state_names[HTTP_STATE_COUNT] = {
    "RESOLVING", "CONNECTING", "SENDING", "STATUS_LINE", "HEADERS",
    "BODY_LENGTH", "BODY_CHUNKED", "BODY_CLOSE", "DONE", "FAILED"};

const char* const http_failure_names[HTTP_FAILURE_COUNT] = {
    "",
    "no server address",
    "connect failed",
    "closed before the reply",
    "bad status line",
    "header block too large",
    "header block cut short",
    "bad Content-Length",
    "unknown Transfer-Encoding",
    "bad chunk size",
    "bad chunk end",
    "trailer block too large",
    "body cut short",
    "body without a length",
    "output file failed",
    "body larger than allowed",
    "time-out",
    "too slow"};

static bool is_body_state(http_state s)
{
    return s == http_body_length || s == http_body_chunked || s == http_body_close;
}

HTTPConnection::HTTPConnection(uint32_t address_, uint16_t port_) : address(address_), port(port_)
{
    last_activity = net_now();
    if (address == 0) {
        fail(http_fail_no_server, err_net_no_server);
        return;
    }
    status = -1;
    socket = std::make_unique<PCSBSocket>(0);
    socket->SOCK_connect(address, port);
    set_state(http_connecting);
}

HTTPConnection::~HTTPConnection()
{
    close_file(false);
}

void HTTPConnection::set_state(http_state next)
{
    if (next == state) return;
#ifdef CORVANE_HTTP_TRACE
    gLog << "STATE: " << http_state_names[state] << " => " << http_state_names[next] << "\n";
#endif
    if (next == http_failed) failed_in = state;
    state = next;
}

// Every failure ends here. Only the cases the error code has always recorded set one; the others
// show through the socket's state, as before.
void HTTPConnection::fail(http_failure why, int32_t error)
{
    if (error != 0) os_error = error;
    failure = why;
    close_file(false);
    set_state(http_failed);
}

void HTTPConnection::close_file(bool checked)
{
    if (file < 0) return;
    const int err = PLAT_out_close(file);
    file = -1;
    if (checked && err != 0 && os_error == 0) os_error = err;
}

bool HTTPConnection::headers_done() const
{
    return is_body_state(state) || state == http_done || (state == http_failed && is_body_state(failed_in));
}

bool HTTPConnection::CanReuse(uint32_t addr, uint16_t prt)
{
    if (!keep_alive) return false;
    if (prt != port || addr != address) return false;
    if (!socket || socket->SOCK_poll() != sock_connected || socket->SOCK_at_eof()) return false;
    // A reply not read to its end would leave its rest in front of the next one.
    if (state != http_done) return false;
    return !socket->SOCK_peer_gone();
}

void HTTPConnection::SendRequest(const char* path, bool post, const std::map<std::string, std::string>& hdrs,
                                 const char* body, int32_t body_length, const char* local_file)
{
    send_buf.clear();
    recv_buf.clear();
    headers.clear();
    content_length = -1;
    status = 0;
    status_text.clear();
    bytes_received = 0;
    last_activity = net_now();
    limits = http_limits();
    body_start = 0;
    os_error = 0;
    failure = http_fail_none;
    close_file(false);
    keep_alive = false;
    http10 = false;
    chunk_phase = chunk_size;
    chunk_left = 0;
    chunk_line.clear();
    framing_bytes = 0;
    reply_bytes = 0;
    reused = requests > 0;
    ++requests;

    local_name = local_file ? local_file : "";
    if (!local_name.empty()) FILE_make_abs_path(local_name);

    std::string escaped;
    for (const char* p = path; *p; ++p) {
        if (*p == ' ')
            escaped += "%20";
        else
            escaped += *p;
    }

    std::string req = post ? "POST " : "GET ";
    auto host = hdrs.find("Host");
    req += "http://" + (host != hdrs.end() ? host->second : std::string()) + escaped + " HTTP/1.1\r\n";
    for (const auto& [name, value] : hdrs) req += name + ": " + value + "\r\n";
    if (body) req += "Content-Length: " + std::to_string(body_length) + "\r\n";
    req += "\r\n";
    send_buf = req;
    if (body && body_length > 0) send_buf.append(body, (size_t)body_length);

    if (!socket)
        fail(http_fail_no_server);
    else
        set_state(socket->state == sock_connected ? http_sending : http_connecting);
}

// What the end of the connection means in each reading state.
static http_failure ended_early(http_state s, int64_t reply_bytes)
{
    switch (s) {
    case http_status_line: return reply_bytes == 0 ? http_fail_closed : http_fail_status_line;
    case http_headers: return http_fail_headers_cut;
    case http_body_close: return http_fail_no_length;
    default: return http_fail_body_cut;
    }
}

void HTTPConnection::Pump()
{
    if (state == http_resolving || state == http_done || state == http_failed) return;
    // The time-outs: no progress for too long, whatever the transfer waits for; or a body that
    // trickles in too slowly on average once it has lasted long enough to tell.
    const float now = net_now();
    if (now - last_activity > NET_TIMEOUT_SECONDS) {
        fail(http_fail_timeout);
        return;
    }
    if (is_body_state(state) && now - body_start > limits.slow_seconds &&
        (double)bytes_received < (double)limits.slow_rate * (double)(now - body_start)) {
        fail(http_fail_slow);
        return;
    }

    bool received = false;   // this call's one receive is made
    const char* in = nullptr; // received bytes of this call not yet taken
    size_t in_len = 0;
    std::string rest;         // body bytes that came with the end of the header block
    // The call's one receive; false when nothing came (the state says whether the connection ended).
    auto receive = [&]() -> bool {
        if (received) return false;
        received = true;
        const int32_t n = socket->SOCK_read(sRecvArea, sizeof sRecvArea);
        if (n < 0 || (n == 0 && socket->SOCK_at_eof())) {
            fail(ended_early(state, reply_bytes));
            return false;
        }
        if (n == 0) return false;
        reply_bytes += n;
        if (is_body_state(state)) last_activity = net_now();
        in = sRecvArea;
        in_len = (size_t)n;
        return true;
    };

    for (;;) {
        switch (state) {
        case http_resolving:
            return;

        case http_connecting: {
            const uint8_t s = socket->SOCK_poll();
            if (s == sock_connected) {
                set_state(http_sending);
                break;
            }
            if (s == sock_closed || s == sock_error) fail(http_fail_connect);
            return;
        }

        case http_sending: {
            const uint32_t len = (uint32_t)std::min<size_t>(send_buf.size(), 1u << 30);
            const int32_t n = len ? socket->SOCK_write(send_buf.data(), len) : 0;
            if (n < 0) {
                fail(http_fail_closed);
                return;
            }
            if (n > 0) send_buf.erase(0, (size_t)n);
            // No reply can come before the server has the whole request.
            if (!send_buf.empty()) return;
            set_state(http_status_line);
            break;
        }

        case http_status_line:
        case http_headers: {
            const size_t e = recv_buf.find("\r\n");
            if (e == std::string::npos) {
                if (framing_bytes + (int64_t)recv_buf.size() > HTTP_MAX_HEADER_BYTES) {
                    fail(http_fail_header_size, err_net_bad_state);
                    return;
                }
                if (!receive()) return;
                recv_buf.append(in, in_len);
                in_len = 0;
                break;
            }
            framing_bytes += (int64_t)e + 2;
            if (framing_bytes > HTTP_MAX_HEADER_BYTES) {
                fail(http_fail_header_size, err_net_bad_state);
                return;
            }
            if (e > 0) {
                // A status line (an interim reply's, then the final one's) starts a header block.
                if (take_status_or_header(recv_buf.substr(0, e))) set_state(http_headers);
                recv_buf.erase(0, e + 2);
                break;
            }
            recv_buf.erase(0, 2);
            // The end of an interim (1xx) reply: its final reply follows, maybe in the same bytes.
            if (status < 200) {
                set_state(http_status_line);
                break;
            }
            begin_body();
            rest.swap(recv_buf);
            in = rest.data();
            in_len = rest.size();
            break;
        }

        case http_body_length:
        case http_body_chunked:
        case http_body_close: {
            if (in_len == 0 && !receive()) return;
            const size_t used = state == http_body_chunked ? take_chunked(in, in_len) : take_plain(in, in_len);
            in += used;
            in_len -= used;
            break;
        }

        case http_done:
            // Bytes after a finished body belong to no reply: they are dropped and the
            // connection is not trusted with another request.
            if (in_len > 0) keep_alive = false;
            return;

        case http_failed:
            return;
        }
    }
}

// Takes a status line (true) or, inside a header block, a header line.
bool HTTPConnection::take_status_or_header(const std::string& line)
{
    // The reason phrase may be empty or missing ("HTTP/1.1 200").
    if (line.size() >= 12 && line.compare(0, 5, "HTTP/") == 0) {
        int v = 0;
        for (size_t i = 9; i < 12 && line[i] >= '0' && line[i] <= '9'; ++i) v = v * 10 + (line[i] - '0');
        status = v;
        status_text = line.size() > 13 ? line.substr(13) : std::string();
        http10 = line.compare(0, 9, "HTTP/1.0 ") == 0;
        headers.clear(); // an interim reply's headers are not the final one's
        return true;
    }
    // Before a status line nothing is a header.
    if (state != http_headers) return false;
    // Blanks around the value are optional ("Name:value" is as good as "Name: value").
    const size_t c = line.find(':');
    if (c != std::string::npos && c > 0) {
        size_t v = c + 1;
        while (v < line.size() && (line[v] == ' ' || line[v] == '\t')) ++v;
        size_t end = line.size();
        while (end > v && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
        headers.emplace(line.substr(0, c), line.substr(v, end - v));
    }
    return false;
}

// The end of a final header block: how the body is framed gives the next state.
void HTTPConnection::begin_body()
{
    auto conn = headers.find("Connection");
    const std::string conn_value = conn != headers.end() ? conn->second : std::string();
    keep_alive = http10 ? has_token(conn_value, "keep-alive") : !has_token(conn_value, "close");

    auto te = headers.find("Transfer-Encoding");
    std::vector<std::string> codings = te != headers.end() ? header_tokens(te->second) : std::vector<std::string>();
    auto cl = headers.find("Content-Length");
    if (!codings.empty()) {
        set_state(http_body_chunked);
        // Only a chunked body can be taken apart here; anything else would reach the file coded.
        if (!equal_nocase(codings.back(), "chunked")) {
            fail(http_fail_coding, err_net_bad_state);
            return;
        }
        chunk_phase = chunk_size;
    } else if (cl != headers.end()) {
        set_state(http_body_length);
        if (!parse_length(cl->second, content_length)) {
            content_length = -1;
            fail(http_fail_length, err_net_bad_state);
            return;
        }
    } else {
        set_state(http_body_close);
    }
    body_start = net_now();
    if (limits.max_body >= 0 && content_length > limits.max_body) {
        fail(http_fail_body_size, err_net_bad_state);
        return;
    }

    if (!local_name.empty()) {
        int err = 0;
        file = PLAT_out_open(local_name, err);
        if (file < 0) {
            fail(http_fail_file, err);
            return;
        }
    }
    last_activity = net_now();
    if (content_length == bytes_received) finish_body();
}

// Body bytes of a reply framed by its length or by the end of the connection; answers how
// many were taken (a body never runs past its announced length).
size_t HTTPConnection::take_plain(const char* data, size_t size)
{
    if (content_length >= 0 && (int64_t)size > content_length - bytes_received)
        size = (size_t)std::max<int64_t>(0, content_length - bytes_received);
    write_body(data, size);
    return size;
}

void HTTPConnection::write_body(const char* data, size_t size)
{
    if (size == 0) return;
    // Whatever the framing promised, a body past the limit is not what was asked for.
    if (limits.max_body >= 0 && (int64_t)size > limits.max_body - bytes_received) {
        fail(http_fail_body_size, err_net_bad_state);
        return;
    }
    bytes_received += (int64_t)size;
    if (file >= 0) {
        // A write that fails without a system error number still fails, with our own code.
        const int err = PLAT_out_write(file, data, size);
        if (err != 0) {
            fail(http_fail_file, err > 0 ? err : err_net_write_file);
            return;
        }
    }
    if (IsComplete()) finish_body();
}

void HTTPConnection::finish_body()
{
    close_file(true);
    if (os_error != 0)
        fail(http_fail_file);
    else
        set_state(http_done);
}

// Bytes of a chunked body, through the chunk phases; answers how many were taken (the rest
// follow the body's end).
size_t HTTPConnection::take_chunked(const char* data, size_t size)
{
    size_t i = 0;
    while (i < size && state == http_body_chunked) {
        if (chunk_phase == chunk_data) {
            const size_t take = (size_t)std::min<int64_t>((int64_t)(size - i), chunk_left);
            write_body(data + i, take);
            i += take;
            chunk_left -= (int64_t)take;
            if (chunk_left == 0) chunk_phase = chunk_data_end;
            continue;
        }
        // The other phases read one line each.
        const char* nl = (const char*)memchr(data + i, '\n', size - i);
        const size_t take = nl ? (size_t)(nl - (data + i)) + 1 : size - i;
        chunk_line.append(data + i, take);
        i += take;
        if (chunk_phase == chunk_trailer) {
            framing_bytes += (int64_t)take;
            if (framing_bytes > HTTP_MAX_HEADER_BYTES) {
                fail(http_fail_trailer_size, err_net_bad_state);
                break;
            }
        } else if (chunk_line.size() > kMaxChunkLine) {
            fail(chunk_phase == chunk_size ? http_fail_chunk_size : http_fail_chunk_end, err_net_bad_state);
            break;
        }
        if (!nl) continue;
        std::string line = chunk_line.substr(0, chunk_line.size() - 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        chunk_line.clear();
        if (chunk_phase == chunk_data_end) {
            if (!line.empty())
                fail(http_fail_chunk_end, err_net_bad_state);
            else
                chunk_phase = chunk_size;
        } else if (chunk_phase == chunk_size) {
            int64_t n = 0;
            if (!parse_chunk_size(line, n) || n > INT64_MAX - bytes_received) {
                fail(http_fail_chunk_size, err_net_bad_state);
            } else if (n == 0) {
                chunk_phase = chunk_trailer;
            } else {
                chunk_left = n;
                chunk_phase = chunk_data;
            }
        } else if (line.empty()) { // the blank line after the trailers
            chunk_phase = chunk_done;
            content_length = bytes_received;
            finish_body();
        }
    }
    return i;
}

int HTTPConnection::GetStat()
{
    if (!socket) return 0;
    const uint8_t s = socket->SOCK_poll();
    if (s == sock_created || s == sock_connecting) return 1;
    if (s == sock_error) return 2;
    if (s == sock_closed) return 3;
    if (socket->SOCK_at_eof()) return 3;
    if (!send_buf.empty()) return 4;
    if (!headers_done()) return 6;
    if (IsComplete()) return 3;
    return 5;
}

int32_t HTTPConnection::GetOSErr() const
{
    if (os_error != 0) return os_error;
    if (socket) return socket->SOCK_get_error();
    return err_net_alloc;
}

// ---------------------------------------------------------------------------------------------
// The polled fetch

int net_lookup_run(net_lookup* lookup)
{
    lookup->address = SOCK_resolve(lookup->host.c_str());
    return 0;
}

void net_client::reserve_slot(int32_t slot)
{
    if (slot < 0) return;
    const size_t n = (size_t)slot + 1;
    if (connections.size() < n) connections.resize(n);
    if (lookups.size() < n) lookups.resize(n);
    if (requests.size() < n) requests.resize(n);
}

float net_client::percent_done(int32_t slot)
{
    if (slot < 0) return 0;
    reserve_slot(slot);
    const HTTPConnection* c = connections[(size_t)slot].get();
    if (!c) return 0;
    if (c->content_length < 0) return -1;
    if (c->content_length == 0) return 100;
    return (float)(100.0 * (double)c->bytes_received / (double)c->content_length);
}

float net_client::last_activity(int32_t slot)
{
    if (slot < 0) return 0;
    reserve_slot(slot);
    const HTTPConnection* c = connections[(size_t)slot].get();
    return c ? c->last_activity : 0;
}

static void backslashes_to_slashes(std::string& s)
{
    std::replace(s.begin(), s.end(), '\\', '/');
}

static std::map<std::string, std::string> request_headers(const std::string& server, const std::string& path,
                                                         bool revalidate)
{
    std::map<std::string, std::string> h;
    h["Host"] = server;
    // A caching proxy would otherwise answer with an older release's list; "Pragma" is for
    // HTTP/1.0 proxies.
    if (revalidate) {
        h["Cache-Control"] = "no-cache";
        h["Pragma"] = "no-cache";
    }
    h["User-agent"] = std::string("Installer-") + "IBM/" + CORVANE_VERSION_TEXT;
    if (server == NET_BETA_HOST && path.find("/art/beta") != std::string::npos)
        h["Authorization"] = "Basic " + base64_encode(std::string("quorvadelt") + ":" + "driftwel58");
    return h;
}

// The port of every connection: the proxy port when it is a real port, else 80.
static uint16_t request_port(int32_t proxy_port)
{
    static int32_t warned = 0;
    if (proxy_port >= 1 && proxy_port <= 65535) return (uint16_t)proxy_port;
    if (proxy_port != 0 && proxy_port != warned) {
        warned = proxy_port;
        gLog << "WARNING: the proxy port " << proxy_port << " is outside 1 to 65535; port 80 is used.\n";
    }
    return 80;
}

static void write_timeout(std::ostream& log, const HTTPConnection& c, const std::string& local_file,
                          const std::string& server, const std::string& path)
{
    log << "Timeout for " << local_file << "\n";
    log << "   server     =" << server << "\n";
    log << "   file       =" << path << "\n";
    // A body that came too slowly is told from one that stopped.
    if (c.failure == http_fail_slow)
        log << "   failure    =" << http_failure_names[c.failure] << ": " << c.bytes_received << " bytes in "
            << (int)(net_now() - c.body_start) << " s\n";
    log << "\n";
}

static void write_error(std::ostream& log, HTTPConnection& c, const std::string& local_file,
                        const std::string& server, const std::string& path)
{
    log << "HTTP Error for " << local_file << "\n";
    log << "   server     =" << server << "\n";
    log << "   file       =" << path << "\n";
    log << "   IsDone     =" << (c.IsDone() ? 1 : 0) << "\n";
    log << "   IsComplete =" << (c.IsComplete() ? 1 : 0) << "\n";
    log << "   IsErr      =" << (c.IsErr() ? 1 : 0) << "\n";
    log << "   GetStat    =" << c.GetStat() << "\n";
    log << "   GetOSErr   =" << c.GetOSErr() << "\n";
    log << "   response   =" << c.GetResponseText() << " (#" << c.status << ")\n";
    // Several cases share one code (20008 above all), so the case is named. A connect that
    // failed is told by GetStat and the system's error number.
    if (c.state == http_failed && c.failure != http_fail_none && c.failure != http_fail_connect &&
        c.failure != http_fail_no_server)
        log << "   failure    =" << http_failure_names[c.failure] << "\n";
    log << "\n";
}

// The count of the slot's unlogged repeats, once something else ends their run.
static void end_repeat_run(net_request& rq)
{
    // A blank line ends it, as it ends the report it counts.
    LOG_repeats_end(rq.failures, "\n\n");
}

// The report of a failed request. One that repeats the slot's previous failure word for word is
// only counted: a server that stays away would otherwise fill the log with the same lines.
static void log_failure(net_request& rq, HTTPConnection& c, const std::string& local_file, const std::string& server,
                        const std::string& path)
{
    std::ostringstream report;
    if (c.failure == http_fail_timeout || c.failure == http_fail_slow)
        write_timeout(report, c, local_file, server, path);
    else
        write_error(report, c, local_file, server, path);
    if (LOG_repeated(rq.failures, report.str())) return;
    end_repeat_run(rq);
    // With repeats left out the stream's buffer can take long to fill: the report is pushed out
    // at once, to be read while the program runs.
    gLog << report.str();
    gLog.flush();
    LOG_repeats_keep(rq.failures, report.str(), "failure above for " + local_file);
}

// The one place a slot's state changes.
static void net_set_state(net_request& rq, net_slot_state next)
{
    rq.state = next;
}

void net_client::cancel_slot(int32_t slot)
{
    if (slot < 0) return;
    reserve_slot(slot);
    connections[(size_t)slot].reset();
    net_request& rq = requests[(size_t)slot];
    end_repeat_run(rq);
    rq.server.clear();
    rq.path.clear();
    rq.local_file.clear();
    rq.max_body = -1;
    rq.revalidate = false;
    rq.file_error = 0;
    rq.failure = http_fail_none;
    rq.status = 0;
    rq.retried = 0;
    net_set_state(rq, net_slot_idle);
}

void net_client::end_repeats(int32_t slot)
{
    for (size_t s = 0; s < requests.size(); ++s)
        if (slot < 0 || (size_t)slot == s) end_repeat_run(requests[s]);
}

// The server's address is known: looked up before for the same name (the proxy's or the
// server's), and either found or failed so recently that it is not asked again yet.
static bool host_known(const std::map<std::string, net_host>& cache, const std::string& server,
                       const std::string& target, float now)
{
    auto it = cache.find(server);
    return it != cache.end() && it->second.looked_up == target &&
           (it->second.address != 0 || (now >= it->second.when && now - it->second.when < NET_LOOKUP_RETRY_SECONDS));
}

bool net_client::slot_busy(int32_t slot) const
{
    if (slot < 0 || (size_t)slot >= requests.size()) return false;
    const net_slot_state st = requests[(size_t)slot].state;
    return st == net_slot_lookup || st == net_slot_running;
}

int32_t net_client::local_error(int32_t slot)
{
    if (slot < 0) return 0;
    reserve_slot(slot);
    return requests[(size_t)slot].file_error;
}

http_failure net_client::last_failure(int32_t slot)
{
    if (slot < 0) return http_fail_none;
    reserve_slot(slot);
    return requests[(size_t)slot].failure;
}

int32_t net_client::last_status(int32_t slot)
{
    if (slot < 0) return 0;
    reserve_slot(slot);
    return requests[(size_t)slot].status;
}

// The limits of the slot's current request, given to each connection that carries it.
static http_limits request_limits(const net_client& net, const net_request& rq)
{
    http_limits l;
    l.max_body = rq.max_body;
    l.slow_seconds = net.slow_seconds;
    l.slow_rate = net.slow_rate;
    return l;
}

uint8_t net_client::net_check(int32_t slot, std::string& server, std::string& path, std::string& local_file,
                              int64_t max_body, bool revalidate)
{
    if (slot < 0) return 2;
    reserve_slot(slot);
    static bool sockets_started = false;
    if (!sockets_started) {
        (void)SOCK_startup();
        sockets_started = true;
    }

    const size_t s = (size_t)slot;
    net_request& rq = requests[s];
    if (rq.state == net_slot_running) {
        // Another file asked for on a busy slot: the old transfer is dropped, never answered for.
        std::string srv = server, pth = path;
        backslashes_to_slashes(srv);
        backslashes_to_slashes(pth);
        if (srv != rq.server || pth != rq.path || local_file != rq.local_file) cancel_slot(slot);
    }
    const std::string target = _proxy_host.empty() ? server : _proxy_host;

    for (;;) {
        switch (rq.state) {
        case net_slot_idle:
        case net_slot_resting:
        case net_slot_done: {
            // A new request: the server's address first. Why the last one failed no longer holds.
            rq.file_error = 0;
            rq.failure = http_fail_none;
            rq.status = 0;
            if (!host_known(host_cache, server, target, net_now())) {
                net_lookup& job = lookups[s];
                job.host = target;
                job.address = 0;
                net_set_state(rq, net_slot_lookup);
                break;
            }
            const uint32_t address = host_cache[server].address;
            if (address == 0) {
                net_set_state(rq, net_slot_resting);
                return 2;
            }
            if (!server.empty() && (server.back() == '/' || server.back() == '\\')) {
                MACIBM_alert(0, "net_check error! You have a dirchar at the end of the server name!", "You should not!",
                             "Our convention is that a server name is simply a server name... with no slash!", server,
                             t_crash, "http", 381);
                net_set_state(rq, net_slot_resting);
                return 2;
            }
            if (path.empty() || (path[0] != '/' && path[0] != '\\')) {
                MACIBM_alert(0, "net_check error! You do not have a dirchar at the beginning of the directory name!",
                             "You should!",
                             "Our convention is that a directory name does start with a slash because it must include "
                             "the hard drive,which is a dir char on unix!",
                             path, t_crash, "http", 382);
                net_set_state(rq, net_slot_resting);
                return 2;
            }
            backslashes_to_slashes(server);
            backslashes_to_slashes(path);

            const uint16_t port = request_port(_proxy_port_int);
            std::unique_ptr<HTTPConnection>& c = connections[s];
            if (c && !c->CanReuse(address, port)) c.reset();
            if (!c) c = std::make_unique<HTTPConnection>(address, port);
            c->SendRequest(path.c_str(), false, request_headers(server, path, revalidate), nullptr, 0,
                           local_file.c_str());
            rq.server = server;
            rq.path = path;
            rq.local_file = local_file;
            rq.max_body = max_body;
            rq.revalidate = revalidate;
            rq.retried = 0;
            c->limits = request_limits(*this, rq);
            net_set_state(rq, net_slot_running);
            break;
        }

        case net_slot_lookup: {
            // The look-up belongs on the worker pool (THREAD_call_async, then THREAD_call_wait
            // with 0 here) so that a slow resolver could leave the frame loop; the pool has no
            // workers in this program, so it runs here, at once, either way.
            net_lookup& job = lookups[s];
            net_lookup_run(&job);
            host_cache[server] = net_host{job.host, job.address, net_now()};
            net_set_state(rq, net_slot_idle); // the address is known now
            break;
        }

        case net_slot_running: {
            HTTPConnection* c = connections[s].get();
            if (!c) { // dropped from outside: start over
                net_set_state(rq, net_slot_idle);
                break;
            }
            c->Pump();
            // A kept-alive connection that the server closed before answering: once more, on a new one.
            if (c->state == http_failed && c->failure == http_fail_closed && c->reused && !rq.retried) {
                rq.retried = 1;
                const uint32_t address = c->address;
                const uint16_t port = c->port;
                connections[s] = std::make_unique<HTTPConnection>(address, port);
                connections[s]->SendRequest(rq.path.c_str(), false, request_headers(rq.server, rq.path, rq.revalidate),
                                            nullptr, 0, rq.local_file.c_str());
                connections[s]->limits = request_limits(*this, rq);
                return 0;
            }
            if (c->state == http_done && c->status >= 200 && c->status <= 299) {
                end_repeat_run(rq);
                net_set_state(rq, net_slot_done);
                return 1;
            }
            if (c->state != http_done && c->state != http_failed) return 0;
            log_failure(rq, *c, local_file, server, path);
            if (c->failure == http_fail_file) rq.file_error = c->GetOSErr();
            rq.failure = c->state == http_failed ? c->failure : http_fail_none;
            rq.status = c->state == http_done ? c->status : 0;
            connections[s].reset();
            net_set_state(rq, net_slot_resting);
            return 2;
        }
        }
    }
}

// ---------------------------------------------------------------------------------------------

std::string base64_encode(const std::string& bytes)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = ((uint32_t)(unsigned char)bytes[i] << 16) | ((uint32_t)(unsigned char)bytes[i + 1] << 8) |
                           (uint32_t)(unsigned char)bytes[i + 2];
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t v = (uint32_t)(unsigned char)bytes[i] << 16;
        if (rest == 2) v |= (uint32_t)(unsigned char)bytes[i + 1] << 8;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += rest == 2 ? alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}
