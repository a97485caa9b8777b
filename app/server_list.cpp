// The server list's body reader and the server options' records (see server_list.h).
#include "app/server_list.h"

#include "foundation/log.h"
#include "foundation/text_reader.h"

#include <algorithm>
#include <climits>
#include <cstring>

// The keyword at the cursor: the same bytes followed by a blank, a line end or the end of the
// data (a blank only, when blank_only). Moves the cursor behind it when it matches.
static bool take_keyword(xmap_file& f, const char* word, bool blank_only = false)
{
    const size_t n = strlen(word);
    if ((size_t)(f.end - f.cursor) < n || memcmp(f.cursor, word, n) != 0) return false;
    const char* after = f.cursor + n;
    const bool blank = after < f.end && (*after == ' ' || *after == '\t');
    const bool eol = after >= f.end || *after == 0 || *after == '\n' || *after == '\r';
    if (!(blank || (!blank_only && eol))) return false;
    f.cursor = after;
    return true;
}

// Blanks, the line's text up to its end without the blanks that end it (they would go into the
// Host header, the paths and the release name), then the line ends and the blanks that begin the
// next line.
static std::string take_value(xmap_file& f)
{
    TXT_skip_blanks(f);
    const char* start = f.cursor;
    TXT_skip_to_eol(f);
    const char* end = f.cursor;
    while (end > start && (end[-1] == ' ' || end[-1] == '\t')) --end;
    std::string v(start, (size_t)(end - start));
    TXT_skip_line_ends(f);
    return v;
}

// Blanks, then the characters up to a blank or a line end.
static std::string take_word(xmap_file& f)
{
    TXT_skip_blanks(f);
    const char* start = f.cursor;
    while (!TXT_at_eol(f) && !TXT_at_blank(f)) ++f.cursor;
    return std::string(start, (size_t)(f.cursor - start));
}

static void skip_line(xmap_file& f)
{
    TXT_skip_blanks(f);
    TXT_skip_to_eol(f);
    TXT_skip_line_ends(f);
}

int server_list_version(const std::string& text, long long& value)
{
    size_t i = 0;
    int sign = 1;
    if (i < text.size() && text[i] == '-') sign = -1, ++i;
    if (i < text.size() && text[i] == '+') sign = 1, ++i;
    if (i == text.size()) return 0;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return 0;
        // Past the int range the value only needs to stay past it.
        if (v <= (long long)INT_MAX + 1) v = v * 10 + (text[i] - '0');
    }
    value = sign * v;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    return 1;
}

static void warn_unusable(const ServerRecord& r, const char* from, const char* why)
{
    gLog << "WARNING: the update server \"" << r.host << "\" \"" << r.dir << "\" from " << from << " " << why
         << "; it is not used.\n";
}

// Why the host cannot go to the HTTP client, or null when it can.
static const char* host_fault(const std::string& host)
{
    if (host.empty()) return "has no host";
    if (host.back() == '/' || host.back() == '\\') return "has a host ending in a folder separator";
    return nullptr;
}

static const char kNoSlash[] = "has a folder that does not begin with '/'";

// A folder given without its final separator still names a folder: the release name goes
// below it, never glued to its last name.
static std::string as_folder(std::string dir)
{
    if (dir.empty() || (dir.back() != '/' && dir.back() != '\\')) dir += '/';
    return dir;
}

bool server_record_usable(const ServerRecord& r, const char* from)
{
    const char* why = host_fault(r.host);
    if (!why && (r.dir.empty() || r.dir[0] != '/')) why = kNoSlash;
    if (why) warn_unusable(r, from, why);
    return !why;
}

server_list_end server_list_read_body(xmap_file& f, std::vector<ServerRecord>& servers, std::string& install_name,
                                      int want_betas, std::string& newer_page)
{
    // Betas are wanted as well as updates, so a list without a beta names the final release.
    bool beta_named = false, final_named = false;
    while (f.cursor && f.cursor < f.end) {
        TXT_skip_blanks(f);
        if (take_keyword(f, "BETA")) {
            std::string v = take_value(f);
            if (want_betas) install_name = v, beta_named = true;
        } else if (take_keyword(f, "FINAL")) {
            std::string v = take_value(f);
            if (!want_betas || !beta_named) install_name = v;
            final_named = true;
        } else if (take_keyword(f, "INS_VERSION", true)) {
            const std::string number = take_word(f);
            const std::string page = take_word(f);
            long long version = 0;
            if (!server_list_version(number, version))
                gLog << "WARNING: the server list's INS_VERSION \"" << number << "\" is not a number.\n";
            else if (version > SERVER_LIST_NEWEST_UPDATER) {
                newer_page = page;
                return server_list_newer;
            }
            skip_line(f);
        } else if (take_keyword(f, "ENDOFLIST")) {
            break;
        } else if (take_keyword(f, "SERVER")) {
            ServerRecord r;
            r.host = take_value(f);
            const std::string line = take_value(f);
            r.dir = as_folder(line) + install_name + "/";
            r.name = take_value(f);
            // The folder line itself must begin with '/': the release name behind it could.
            const char* why = host_fault(r.host);
            if (!why && (line.empty() || line[0] != '/')) why = kNoSlash;
            if (why)
                warn_unusable(r, "the server list", why);
            else
                servers.push_back(std::move(r));
        } else {
            skip_line(f);
        }
    }
    if (want_betas && !beta_named && final_named)
        gLog << "The server list names no beta release; the final release \"" << install_name << "\" is taken.\n";
    return server_list_read;
}

ServerRecord server_record_from_option(const std::string& value, const std::string& install_name)
{
    ServerRecord r;
    const size_t slash = value.find('/');
    r.host = value.substr(0, slash);
    r.dir = (slash == std::string::npos ? std::string("/") : as_folder(value.substr(slash))) + install_name + "/";
    r.name = value;
    return r;
}

size_t server_clone_count(const std::string& value, size_t servers)
{
    if (servers == 0 || servers >= SERVER_STREAMS_MAX) return 0;
    size_t n = 0;
    for (size_t i = 0; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        n = n * 10 + (size_t)(value[i] - '0');
        if (n >= SERVER_STREAMS_MAX) break; // more than can be kept; also ends the reading before overflow
    }
    return std::min(n, SERVER_STREAMS_MAX - servers);
}
