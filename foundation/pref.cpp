// Preference files: reading, safe writing and the tag lists of each kind (see pref.h).
#include "foundation/pref.h"

#include "foundation/FILE_ops.h"
#include "foundation/alert.h"
#include "foundation/log.h"
#include "foundation/options.h"
#include "foundation/paths.h"
#include "foundation/proxy_prefs.h"
#include "foundation/screen_prefs.h"
#include "foundation/shared_paths.h"
#include "foundation/text_reader.h"
#include "foundation/xmap.h"
#include "platform/plat_fileio.h"

#include <climits>

static const int kPrefVersion = 10;

int gStreamCount = 0;
int gLogActions = 0;
int gWantBetas = 0;
void (*gScreenVarsHook)(PREF_screen_vars& out) = nullptr;
PREF_proxy_vars gProxyVars;

// The four message texts of the installer file mean nothing to this program; they are only
// carried from one file to the next.
static std::string sMessages[4];

// The screen-resolution file's three display profiles: only ALL is tied to the display; PLN and
// WRL belong to the wider product and pass from file to file. The two flags likewise.
enum { kProfilePLN, kProfileWRL, kProfileALL, kProfileCount };
struct screen_profile {
    int windowed_w = 0, windowed_h = 0, full_w = 0, full_h = 0;
    int full_screen = 0, full_bits = 0, full_hz = 0;
};
static screen_profile sProfiles[kProfileCount];
static const char* const kProfileNames[kProfileCount] = {"PLN", "WRL", "ALL"};
static int sKeylistUp = 1;
static int sPrefsFound = 0;

// The part of a value that fits on one line.
static std::string one_line(const std::string& value)
{
    const size_t cut = value.find_first_of(std::string("\r\n\0", 3));
    return cut == std::string::npos ? value : value.substr(0, cut);
}

static void read_entries(xmap_file& f, std::map<std::string, std::string>& tags)
{
    while (f.cursor < f.end) {
        TXT_skip_blanks(f);
        const char* tag_begin = f.cursor;
        while (!TXT_at_eol(f) && !TXT_at_blank(f)) ++f.cursor;
        std::string tag(tag_begin, f.cursor);
        TXT_skip_blanks(f);
        const char* value_begin = f.cursor;
        TXT_skip_to_eol(f);
        std::string value(value_begin, f.cursor);
        // Empty lines, blank lines and the indentation of the next entry.
        TXT_skip_line_ends(f);
        if (tag.empty()) continue;

        auto found = tags.find(tag);
        if (found != tags.end()) {
            MACIBM_alert(0, "ERROR: A prefs tag is being read twice!", tag, found->second, value, t_note, "pref",
                         158);
            found->second = value;
        } else {
            tags.emplace(std::move(tag), std::move(value));
        }
    }
}

pref_file::pref_file(const std::string& file_path, int file_mode) : mode(file_mode)
{
    if (mode == 1) {
        path = file_path;
        FILE_make_abs_path(path);
        FILE_lower_last_three(path);
        out << "I\n" << kPrefVersion << " version\n";
        return;
    }
    xmap_file view(file_path);
    static const int versions[] = {kPrefVersion, 0};
    if (check_file(view, FILE_KIND_TEXT, versions, nullptr, nullptr) != kPrefVersion) return;
    read_entries(view, tags);
}

pref_file::~pref_file()
{
    close();
}

int pref_file::close()
{
    if (mode != 1 || closed) return 0;
    closed = 1;
    const std::string bytes = out.str();
    const int err = FILE_write_retrying_folder(path, [&] { return PLAT_replace_whole_file(path, bytes); });
    if (!err) return 1;
    gLog << "WARNING: the preferences were not saved to " << path << ": " << FILE_error_text(err) << "\n";
    FILE_save_failed_alert(path);
    return 0;
}

int pref_file::exchange(const std::string& value, std::string& result, const std::string& tag)
{
    if (mode == 1) {
        out << tag << ' ' << one_line(value) << '\n';
        return 0;
    }
    const std::string option = "--pref:" + tag;
    if (CMDLINE_has_option(option.c_str())) {
        result = CMDLINE_get_option(option.c_str());
        return 1;
    }
    auto found = tags.find(tag);
    if (found == tags.end()) return 0;
    result = found->second;
    return 1;
}

int PREF_parse_int(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    // Accumulate towards the limit of the sign, stopping there instead of overflowing.
    const long long limit = negative ? -(long long)INT_MIN : (long long)INT_MAX;
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value >= limit) {
            value = limit;
            break;
        }
    }
    return negative ? (int)-value : (int)value;
}

static void exchange_int(pref_file& f, int& variable, const char* tag)
{
    std::string value;
    if (f.exchange(std::to_string(variable), value, tag) == 1) variable = PREF_parse_int(value);
}

static void exchange_text(pref_file& f, std::string& variable, const char* tag)
{
    // An empty text gets no line at all, so reading the file leaves the variable as it was.
    if (f.mode == 1 && one_line(variable).empty()) return;
    std::string value;
    if (f.exchange(variable, value, tag) == 1) variable = value;
}

std::string PREF_file_path(int kind)
{
    switch (kind) {
    case 10:
        return std::string(PREFERENCES_FOLDER) + "Corvane Screen Res.prf";
    case 11: {
        std::string dir;
        FILE_get_special_dir(os_dir_prefs, dir);
        return dir + "Corvane Installer.prf";
    }
    case 12:
        return std::string(PREFERENCES_FOLDER) + "Corvane Calibration.prf";
    default:
        return PREFERENCES_FOLDER;
    }
}

static void exchange_profile_int(pref_file& f, int& variable, const char* field, int profile)
{
    exchange_int(f, variable, (std::string(field) + kProfileNames[profile]).c_str());
}

static void screen_resolution_tags(pref_file& f)
{
    PREF_screen_vars v;
    if (!gScreenVarsHook) return;
    gScreenVarsHook(v);
    screen_profile& all = sProfiles[kProfileALL];
    if (f.mode == 1) {
        sPrefsFound = 1;
        all = {*v.windowed_w, *v.windowed_h, *v.full_w, *v.full_h, *v.full_screen, *v.full_bits, *v.full_hz};
    }
    for (int p = 0; p < kProfileCount; ++p) {
        exchange_profile_int(f, sProfiles[p].windowed_w, "_x_res_wind_", p);
        exchange_profile_int(f, sProfiles[p].windowed_h, "_y_res_wind_", p);
        exchange_profile_int(f, sProfiles[p].full_w, "_x_res_full_", p);
        exchange_profile_int(f, sProfiles[p].full_h, "_y_res_full_", p);
    }
    for (int p = 0; p < kProfileCount; ++p) {
        exchange_profile_int(f, sProfiles[p].full_screen, "_is_full_", p);
        exchange_profile_int(f, sProfiles[p].full_bits, "_bpp_full_", p);
        exchange_profile_int(f, sProfiles[p].full_hz, "_hz_full_", p);
    }
    if (f.mode == 0) {
        *v.windowed_w = all.windowed_w;
        *v.windowed_h = all.windowed_h;
        *v.full_w = all.full_w;
        *v.full_h = all.full_h;
        *v.full_hz = all.full_hz;
        *v.full_bits = all.full_bits;
        *v.full_screen = all.full_screen;
    }
    exchange_int(f, *v.use_vsync1, "_use_vsync1");
    exchange_int(f, *v.use_vsync2, "_use_vsync2");
    exchange_int(f, *v.language, "_lang");
    exchange_int(f, *v.fsaa_wanted, "_alias_req");
    exchange_int(f, sKeylistUp, "_keylist_up");
    exchange_int(f, sPrefsFound, "_prefs_found");
    // Written, the flag tells whether two windows were open; it never survives into the program,
    // which opens the second window only when asked anew.
    *v.second_wanted = v.window_count == 2 ? 1 : 0;
    exchange_int(f, *v.second_wanted, "_sec_mon_inuse");
    *v.second_wanted = 0;
    // A window smaller than the updater's pages (or absurdly large) falls back to 1024 x 768.
    if (*v.windowed_w < 600 || *v.windowed_w > 9999) *v.windowed_w = 1024;
    if (*v.windowed_h < 600 || *v.windowed_h > 9999) *v.windowed_h = 768;
}

void PREF_read_write(int kind, int direction)
{
    if (kind < 10 || kind > 12) return;
    const int mode = direction == 1 ? 1 : 0;
    pref_file f(PREF_file_path(kind), mode);
    if (kind == 10) screen_resolution_tags(f);
    if (kind == 11) {
        exchange_text(f, sMessages[0], "_message_1");
        exchange_text(f, sMessages[1], "_message_2");
        exchange_text(f, sMessages[2], "_message_3");
        exchange_text(f, sMessages[3], "_message_4");
        exchange_int(f, gStreamCount, "_stream_count");
        exchange_int(f, gLogActions, "_log_actions");
        if (gProxyVars.host) {
            exchange_text(f, *gProxyVars.host, "_proxy_host");
            exchange_text(f, *gProxyVars.port, "_proxy_port");
            exchange_int(f, *gProxyVars.port_int, "_proxy_port_int");
        }
        exchange_int(f, gWantBetas, "_get_beta");
    }
    f.close();
}
