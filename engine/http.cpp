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

// A chunk-size line: hex digits, then nothing, blanks or a ';' extension.
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
    if (i < line.size() && line[i] != ';' && line[i] != ' ' && line[i] != '\t') return false;
    out = v;
    return true;
}

// ---------------------------------------------------------------------------------------------
// HTTPConnection

HTTPConnection::HTTPConnection(uint32_t address_, uint16_t port_) : address(address_), port(port_)
{
    last_activity = net_now();
    if (address == 0) {
        os_error = err_net_no_server;
        return;
    }
    status = -1;
    socket = std::make_unique<PCSBSocket>(0);
    socket->SOCK_connect(address, port);
}

HTTPConnection::~HTTPConnection()
{
    close_file(false);
}

void HTTPConnection::close_file(bool checked)
{
    if (file < 0) return;
    const int err = PLAT_out_close(file);
    file = -1;
    if (checked && err != 0 && os_error == 0) os_error = err;
}

bool HTTPConnection::CanReuse(uint32_t addr, uint16_t prt)
{
    if (!keep_alive) return false;
    if (prt != port || addr != address) return false;
    if (!socket || socket->SOCK_poll() != sock_connected || socket->SOCK_at_eof()) return false;
    // A reply not read to its end would leave its rest in front of the next one.
    if (!headers_done || !IsComplete()) return false;
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
    headers_done = false;
    os_error = 0;
    close_file(false);
    keep_alive = false;
    http10 = false;
    chunked = false;
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
}

void HTTPConnection::Pump()
{
    if (!socket) return;
    const uint8_t s = socket->SOCK_poll();
    if (s != sock_connected) {
        if (s == sock_closed || s == sock_error) close_file(false);
        return;
    }
    if (os_error != 0) return;
    // Nothing more can arrive once the peer has finished sending.
    if (socket->SOCK_at_eof()) {
        close_file(false);
        return;
    }

    if (!send_buf.empty()) {
        const uint32_t len = (uint32_t)std::min<size_t>(send_buf.size(), 1u << 30);
        const int32_t n = socket->SOCK_write(send_buf.data(), len);
        if (n > 0) send_buf.erase(0, (size_t)n);
        if (n < 0) {
            close_file(false);
            return;
        }
    }

    const int32_t n = socket->SOCK_read(sRecvArea, sizeof sRecvArea);
    if (n <= 0) {
        if (n < 0 || socket->SOCK_at_eof()) close_file(false);
        return;
    }
    reply_bytes += n;

    if (!headers_done) {
        recv_buf.append(sRecvArea, (size_t)n);
        scan_headers();
        if (!headers_done || os_error != 0) return;
        last_activity = net_now();
        // Body bytes that came with the end of the headers.
        std::string rest;
        rest.swap(recv_buf);
        if (!rest.empty()) take_body(rest.data(), rest.size());
        return;
    }
    last_activity = net_now();
    take_body(sRecvArea, (size_t)n);
}

void HTTPConnection::scan_headers()
{
    while (!headers_done) {
        const size_t e = recv_buf.find("\r\n");
        if (e == std::string::npos) break;
        framing_bytes += (int64_t)e + 2;
        if (framing_bytes > HTTP_MAX_HEADER_BYTES) break;
        if (e == 0) {
            recv_buf.erase(0, 2);
            // The end of an interim (1xx) reply: its final reply follows, maybe in the same bytes.
            if (status < 200) continue;
            headers_done = true;
            start_body();
            return;
        }
        const std::string line = recv_buf.substr(0, e);
        recv_buf.erase(0, e + 2);
        // The reason phrase may be empty or missing ("HTTP/1.1 200").
        if (line.size() >= 12 && line.compare(0, 5, "HTTP/") == 0) {
            int v = 0;
            for (size_t i = 9; i < 12 && line[i] >= '0' && line[i] <= '9'; ++i) v = v * 10 + (line[i] - '0');
            status = v;
            status_text = line.size() > 13 ? line.substr(13) : std::string();
            http10 = line.compare(0, 9, "HTTP/1.0 ") == 0;
            headers.clear(); // an interim reply's headers are not the final one's
        } else {
            // Blanks around the value are optional ("Name:value" is as good as "Name: value").
            const size_t c = line.find(':');
            if (c != std::string::npos && c > 0) {
                size_t v = c + 1;
                while (v < line.size() && (line[v] == ' ' || line[v] == '\t')) ++v;
                size_t end = line.size();
                while (end > v && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
                headers.emplace(line.substr(0, c), line.substr(v, end - v));
            }
        }
    }
    if (!headers_done && framing_bytes + (int64_t)recv_buf.size() > HTTP_MAX_HEADER_BYTES)
        os_error = err_net_bad_state;
}

void HTTPConnection::start_body()
{
    auto conn = headers.find("Connection");
    const std::string conn_value = conn != headers.end() ? conn->second : std::string();
    keep_alive = http10 ? has_token(conn_value, "keep-alive") : !has_token(conn_value, "close");

    auto te = headers.find("Transfer-Encoding");
    std::vector<std::string> codings = te != headers.end() ? header_tokens(te->second) : std::vector<std::string>();
    if (!codings.empty()) {
        // Only a chunked body can be taken apart here; anything else would reach the file coded.
        if (!equal_nocase(codings.back(), "chunked")) {
            os_error = err_net_bad_state;
            return;
        }
        chunked = true;
        chunk_phase = chunk_size;
    } else {
        auto cl = headers.find("Content-Length");
        if (cl != headers.end() && !parse_length(cl->second, content_length)) {
            content_length = -1;
            os_error = err_net_bad_state;
            return;
        }
    }

    if (!local_name.empty()) {
        int err = 0;
        file = PLAT_out_open(local_name, err);
        if (file < 0) {
            os_error = err;
            return;
        }
    }
    if (content_length == bytes_received) close_file(true);
}

void HTTPConnection::take_body(const char* data, size_t size)
{
    if (chunked) {
        take_chunked(data, size);
        return;
    }
    // Bytes after a finished body belong to no reply: they are dropped and the connection is
    // not trusted with another request.
    if (IsComplete() && file < 0) {
        keep_alive = false;
        return;
    }
    // A body never runs past its announced length: what follows it in the same read is stray.
    if (content_length >= 0 && (int64_t)size > content_length - bytes_received) {
        size = (size_t)std::max<int64_t>(0, content_length - bytes_received);
        keep_alive = false;
    }
    write_body(data, size);
}

void HTTPConnection::write_body(const char* data, size_t size)
{
    if (size == 0) return;
    bytes_received += (int64_t)size;
    if (file >= 0) {
        const int err = PLAT_write_all(file, data, size);
        if (err != 0) {
            os_error = err;
            close_file(false);
            return;
        }
    }
    if (IsComplete()) close_file(true);
}

void HTTPConnection::finish_body()
{
    chunk_phase = chunk_done;
    content_length = bytes_received;
    close_file(true);
}

void HTTPConnection::take_chunked(const char* data, size_t size)
{
    size_t i = 0;
    while (i < size && os_error == 0) {
        if (chunk_phase == chunk_done) {
            keep_alive = false;
            return;
        }
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
            if (framing_bytes > HTTP_MAX_HEADER_BYTES) os_error = err_net_bad_state;
        } else if (chunk_line.size() > kMaxChunkLine) {
            os_error = err_net_bad_state;
        }
        if (!nl || os_error != 0) continue;
        std::string line = chunk_line.substr(0, chunk_line.size() - 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        chunk_line.clear();
        if (chunk_phase == chunk_data_end) {
            if (!line.empty())
                os_error = err_net_bad_state;
            else
                chunk_phase = chunk_size;
        } else if (chunk_phase == chunk_size) {
            int64_t n = 0;
            if (!parse_chunk_size(line, n) || n > INT64_MAX - bytes_received) {
                os_error = err_net_bad_state;
            } else if (n == 0) {
                chunk_phase = chunk_trailer;
            } else {
                chunk_left = n;
                chunk_phase = chunk_data;
            }
        } else if (line.empty()) { // the blank line after the trailers
            finish_body();
        }
    }
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
    if (!headers_done) return 6;
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

void net_client::cancel_slot(int32_t slot)
{
    if (slot < 0) return;
    reserve_slot(slot);
    connections[(size_t)slot].reset();
    requests[(size_t)slot] = net_request();
}

static void backslashes_to_slashes(std::string& s)
{
    std::replace(s.begin(), s.end(), '\\', '/');
}

static std::map<std::string, std::string> request_headers(const std::string& server, const std::string& path)
{
    std::map<std::string, std::string> h;
    h["Host"] = server;
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

static void log_timeout(const std::string& local_file, const std::string& server, const std::string& path)
{
    gLog << "Timeout for " << local_file << "\n";
    gLog << "   server     =" << server << "\n";
    gLog << "   file       =" << path << "\n";
    gLog << "\n";
}

static void log_error(HTTPConnection& c, const std::string& local_file, const std::string& server,
                      const std::string& path)
{
    gLog << "HTTP Error for " << local_file << "\n";
    gLog << "   server     =" << server << "\n";
    gLog << "   file       =" << path << "\n";
    gLog << "   IsDone     =" << (c.IsDone() ? 1 : 0) << "\n";
    gLog << "   IsComplete =" << (c.IsComplete() ? 1 : 0) << "\n";
    gLog << "   IsErr      =" << (c.IsErr() ? 1 : 0) << "\n";
    gLog << "   GetStat    =" << c.GetStat() << "\n";
    gLog << "   GetOSErr   =" << c.GetOSErr() << "\n";
    gLog << "   response   =" << c.GetResponseText() << " (#" << c.status << ")\n";
    gLog << "\n";
}

uint8_t net_client::net_check(int32_t slot, std::string& server, std::string& path, std::string& local_file)
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
    HTTPConnection* c = connections[s].get();
    bool due = !c || c->IsComplete();
    if (!due) {
        // Another file asked for on a busy slot: the old transfer is dropped, never answered for.
        std::string srv = server, pth = path;
        backslashes_to_slashes(srv);
        backslashes_to_slashes(pth);
        if (srv != rq.server || pth != rq.path || local_file != rq.local_file) {
            cancel_slot(slot);
            c = nullptr;
            due = true;
        }
    }

    if (due) {
        const std::string target = _proxy_host.empty() ? server : _proxy_host;
        const float now = net_now();
        auto it = host_cache.find(server);
        const bool known = it != host_cache.end() && it->second.looked_up == target &&
                           (it->second.address != 0 ||
                            (now >= it->second.when && now - it->second.when < NET_LOOKUP_RETRY_SECONDS));
        if (!known) {
            net_lookup& job = lookups[s];
            job.host = target;
            job.address = 0;
            // The look-up belongs on the worker pool (THREAD_call_async, then THREAD_call_wait
            // with 0) so that a slow resolver could leave the frame loop; the pool has no
            // workers in this program, so it runs here, at once, either way.
            net_lookup_run(&job);
            host_cache[server] = net_host{target, job.address, now};
        }
        const uint32_t address = host_cache[server].address;
        if (address == 0) return 2;

        if (!server.empty() && (server.back() == '/' || server.back() == '\\')) {
            MACIBM_alert(0, "net_check error! You have a dirchar at the end of the server name!", "You should not!",
                         "Our convention is that a server name is simply a server name... with no slash!", server,
                         t_crash, "http", 381);
            return 2;
        }
        if (path.empty() || (path[0] != '/' && path[0] != '\\')) {
            MACIBM_alert(0, "net_check error! You do not have a dirchar at the beginning of the directory name!",
                         "You should!",
                         "Our convention is that a directory name does start with a slash because it must include "
                         "the hard drive,which is a dir char on unix!",
                         path, t_crash, "http", 382);
            return 2;
        }
        backslashes_to_slashes(server);
        backslashes_to_slashes(path);

        const uint16_t port = request_port(_proxy_port_int);
        if (c && !c->CanReuse(address, port)) {
            connections[s].reset();
            c = nullptr;
        }
        if (!c) {
            connections[s] = std::make_unique<HTTPConnection>(address, port);
            c = connections[s].get();
        }
        c->SendRequest(path.c_str(), false, request_headers(server, path), nullptr, 0, local_file.c_str());
        rq = net_request{server, path, local_file, 0};
    }

    if (!c) return 0;
    c->Pump();

    // A kept-alive connection that the server closed before answering: once more, on a new one.
    if (c->reused && c->reply_bytes == 0 && !rq.retried) {
        const int st = c->GetStat();
        if (st == 2 || st == 3) {
            rq.retried = 1;
            const uint32_t address = c->address;
            const uint16_t port = c->port;
            connections[s] = std::make_unique<HTTPConnection>(address, port);
            c = connections[s].get();
            c->SendRequest(rq.path.c_str(), false, request_headers(rq.server, rq.path), nullptr, 0,
                           rq.local_file.c_str());
            return 0;
        }
    }

    if (!c->IsDone() && !c->IsComplete()) {
        if (!c->IsErr()) {
            if (net_now() - c->last_activity > NET_TIMEOUT_SECONDS) {
                log_timeout(local_file, server, path);
                connections[s].reset();
                return 2;
            }
            return 0;
        }
    }
    if (c->status >= 200 && c->status <= 299 && c->IsComplete() && !c->IsErr()) return 1;
    log_error(*c, local_file, server, path);
    connections[s].reset();
    return 2;
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
