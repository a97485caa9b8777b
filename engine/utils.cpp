// The install engine (see utils.h): the directory-file reader and the plan, the platform filter,
// the tile names, the decisions and the modified-file question, folders and totals, the engine's
// alerts and its two-button question.
#include "engine/utils.h"

#include "engine/checksum_task.h"
#include "engine/modal_frame.h"
#include "engine/update_state.h"
#include "engine/web_page.h"
#include "foundation/FILE_ops.h"
#include "foundation/alert.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/quit.h"
#include "foundation/shared_paths.h"
#include "foundation/text_reader.h"
#include "foundation/translation.h"
#include "foundation/version.h"
#include "foundation/xmap.h"

#include <cerrno>
#include <unordered_map>

install_plan gPlan;
float gDownloadSize = 0;
float gSpaceNeeded = 0;
int gFilesToFetch = 0;
int gFilesToDelete = 0;
int gChosenTiles[INSTALL_TILE_LONS * INSTALL_TILE_LATS] = {};
std::set<std::string> gEmptiedFolders;
install_modal_hooks gInstallModal;

// Opens a question's popup (0 closes it) through the frame's hook; without the hook no popup
// opens, so the question's loop ends at once.
static void open_window(int id)
{
    // What was logged is on disk while a question waits for its answer.
    gLog.flush();
    if (gInstallModal.open_window) gInstallModal.open_window(id);
}

// True while a question's window is still open. A quit request closes it as another window
// would, so that the program can end.
static bool question_open(int popup)
{
    if (!gQuit) return gPopup == popup;
    if (gPopup == popup) open_window(0);
    return false;
}

// Where the need-new-installer alert sends the user.
static const char kProductHost[] = CORVANE_WEB_HOST;
static const char kDownloadPage[] = "https://www.corvane-sim.com/download/";

// The popups of the modified-file question and the two-button question.
static const int kModifiedFilePopup = 996;
static const int kTwoChoicesPopup = 997;

// ---------------------------------------------------------------------------------------------
// Reading the directory file

// The keyword counts only when at least one blank follows it; the cursor then stands on the
// next token. Otherwise the cursor does not move.
static bool match_keyword(xmap_file& f, const char* word)
{
    const char* p = f.cursor;
    for (; *word; ++word, ++p)
        if (p >= f.end || *p != *word) return false;
    if (p >= f.end || (*p != ' ' && *p != '\t')) return false;
    f.cursor = p;
    TXT_skip_blanks(f);
    return true;
}

static bool at_token_end(const xmap_file& f)
{
    return TXT_at_eol(f) || TXT_at_blank(f);
}

// An optional '-', an optional '+', then every character up to the token's end taken as a digit.
// The value stops growing at the int32 limits, so no text can overflow it.
static int32_t read_number(xmap_file& f)
{
    bool negative = false;
    if (!at_token_end(f) && *f.cursor == '-') {
        negative = true;
        ++f.cursor;
    }
    if (!at_token_end(f) && *f.cursor == '+') ++f.cursor;
    int64_t value = 0;
    for (; !at_token_end(f); ++f.cursor) {
        value = value * 10 + ((unsigned char)*f.cursor - '0');
        if (value > INT32_MAX) value = INT32_MAX;
        if (value < INT32_MIN) value = INT32_MIN;
    }
    TXT_skip_blanks(f);
    if (negative) value = value == INT32_MIN ? INT32_MAX : -value;
    return (int32_t)value;
}

static std::string read_word(xmap_file& f)
{
    const char* start = f.cursor;
    while (!at_token_end(f)) ++f.cursor;
    std::string word(start, f.cursor);
    TXT_skip_blanks(f);
    return word;
}

// From the cursor (already past the blanks) to the line end, trailing blanks kept.
static std::string read_rest_of_line(xmap_file& f)
{
    const char* start = f.cursor;
    TXT_skip_to_eol(f);
    return std::string(start, f.cursor);
}

static bool ends_with_dsf(const std::string& path)
{
    if (path.size() < 5) return false;
    static const char dsf[] = ".dsf";
    for (int i = 0; i < 4; ++i) {
        char c = path[path.size() - 4 + i];
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        if (c != dsf[i]) return false;
    }
    return true;
}

static void classify_tile(install_entry& e)
{
    const std::string& p = e.path;
    const bool in_tile_folder = p.find("Global Scenery/") != std::string::npos ||
                                p.find("/-global overlays-/") != std::string::npos ||
                                p.find("/-global terrain-/") != std::string::npos ||
                                p.find("/default scenery/DSF 820") != std::string::npos;
    int lon = 0, lat = 0;
    if (in_tile_folder && ends_with_dsf(p) && install_tile_from_path(lon, lat, p)) {
        e.is_tile = 1;
        e.tile_lon = lon;
        e.tile_lat = lat;
    }
}

// The reader's state between records.
struct dir_reader {
    std::string prefix;         // the last DIR record's folder
    int32_t disk = 0;           // the last DISK record's number
    std::string last_path;      // path of the previous kept record
    bool have_last = false;
    std::unordered_map<std::string, size_t> group_of_path; // path -> its latest group
    std::vector<char> superseded; // per group: the same path comes back further down
};

static void read_file_record(xmap_file& f, dir_reader& r)
{
    install_entry e;
    read_number(f); // a number the format carries and nothing reads
    e.os = read_number(f);
    e.extra = read_number(f);
    e.download_size = (float)read_number(f);
    e.disk_size = (float)read_number(f);
    e.sig_want = read_word(f);
    const std::string path_text = read_rest_of_line(f);
    e.disk = r.disk;
    if (e.os < 0) e.os = 0;
    if (e.os > 6) e.os = 6;

    if (path_text.find("Earth Orbit Textures") != std::string::npos) return;
    e.path = r.prefix + path_text;

    if (!e.path.empty() && e.path.back() == '/') {
        MACIBM_alert(0, "I am reading the directory text file and found a path that has no file!",
                     "This is impossible to download or delete!", "It is:", e.path, t_fatal, "utils", 816);
        return;
    }
    // A path that could leave the install folder is never scanned, written or deleted.
    if (!FILE_is_safe_relative_path(e.path)) {
        gLog << "WARNING: the directory file lists an unsafe path; its record is skipped: \"" << e.path << "\"\n";
        return;
    }
    classify_tile(e);

    auto& groups = gPlan.install_groups;
    if (!r.have_last || e.path != r.last_path) {
        // Records of one path that are not adjacent would make two groups, and two download
        // streams could then work on one file at once: the later group wins.
        auto [it, fresh] = r.group_of_path.try_emplace(e.path, groups.size());
        if (!fresh) {
            gLog << "WARNING: the directory file lists \"" << e.path
                 << "\" again further down; only its later records are used.\n";
            r.superseded[it->second] = 1;
            it->second = groups.size();
        }
        groups.emplace_back();
        r.superseded.push_back(0);
        r.last_path = e.path;
        r.have_last = true;
    }
    groups.back().push_back(std::move(e));
}

static void read_records(xmap_file& f)
{
    dir_reader r;
    TXT_skip_line_ends(f);
    while (f.cursor < f.end) {
        TXT_skip_blanks(f);
        if (match_keyword(f, "DIR"))
            r.prefix = read_rest_of_line(f);
        else if (match_keyword(f, "DISK")) {
            r.disk = read_number(f);
            TXT_skip_to_eol(f);
        } else if (match_keyword(f, "FILE"))
            read_file_record(f, r);
        else
            TXT_skip_to_eol(f);
        TXT_skip_line_ends(f);
    }

    auto& groups = gPlan.install_groups;
    size_t kept = 0;
    for (size_t i = 0; i < groups.size(); ++i)
        if (!r.superseded[i]) {
            if (kept != i) groups[kept] = std::move(groups[i]);
            ++kept;
        }
    groups.resize(kept);
}

int install_read_directory_file(const std::string& path)
{
    // The scan's workers write into the groups about to be replaced.
    install_stop_md5_pool();
    install_scan_forget();
    gEmptiedFolders.clear();
    gDownloadSize = 0;
    gSpaceNeeded = 0;
    gFilesToFetch = 0;
    gFilesToDelete = 0;
    gPlan.install_groups.clear();

    xmap_file f(path);
    if (!f.begin) {
        MACIBM_alert(0, "I tried to read a directory file that does not exist!", "The file is:", path, "", t_fatal,
                     "utils", 771);
        return 2;
    }
    static const int versions[] = {1000, 0};
    if (check_file(f, FILE_KIND_TEXT, versions, "INSTALLER", nullptr) == 0) {
        install_need_new_installer_dialog(path);
        f.close();
        return 2;
    }
    read_records(f);
    f.close();
    gLog.flush();
    return 3;
}

// ---------------------------------------------------------------------------------------------
// Tiles and the platform filter

void FILE_split_path(std::string& out, const std::string& path)
{
    out.clear();
    if (path.empty()) return;
    long i = (long)path.size() - 1;
    if (path.size() >= 3 && (path[(size_t)i] == '/' || path[(size_t)i] == '\\')) --i;
    while (i >= 1 && path[(size_t)i] != '/' && path[(size_t)i] != '\\') --i;
    if (path[(size_t)i] == '/' || path[(size_t)i] == '\\')
        out = path.substr((size_t)i + 1);
    else
        out = path;
}

int char_digit_value(char c)
{
    if (c == '+') return 1;
    if (c == '-') return -1;
    if (c >= '0' && c <= '9') return c - '0';
    return 0;
}

bool is_signed_digits(const std::string& s)
{
    if (s.empty()) return false;
    for (char c : s)
        if (!(c >= '0' && c <= '9') && c != '+' && c != '-') return false;
    return true;
}

// A signed whole number of at most nine digits (so it always fits), or -1.
static int read_tile_degrees(const std::string& text)
{
    if (!is_signed_digits(text)) return -1;
    size_t i = 0;
    int sign = 1;
    if (text[0] == '+')
        i = 1;
    else if (text[0] == '-') {
        i = 1;
        sign = -1;
    }
    const size_t digits = text.size() - i;
    if (digits == 0 || digits > 9) return -1;
    int value = 0;
    for (; i < text.size(); ++i) value = value * 10 + char_digit_value(text[i]);
    return sign * value;
}

int install_tile_from_path(int& lon, int& lat, const std::string& path)
{
    std::string name;
    FILE_split_path(name, path);
    const std::string lat_text = name.substr(0, 3);
    const std::string lon_text = name.size() > 3 ? name.substr(3, 4) : std::string();
    const int lat_deg = read_tile_degrees(lat_text);
    const int lon_deg = read_tile_degrees(lon_text);
    lat = (lat_deg + 90) / 10;
    lon = (lon_deg + 180) / 10;
    return lat >= 0 && lat < INSTALL_TILE_LATS && lon >= 0 && lon < INSTALL_TILE_LONS ? 1 : 0;
}

int install_group_wanted(int group, int entry)
{
    const auto& groups = gPlan.install_groups;
    if (group < 0 || (size_t)group >= groups.size()) return 0;
    if (entry < 0 || (size_t)entry >= groups[group].size()) return 0;
    return install_os_wanted(groups[group][entry].os, gTargetOS);
}

int install_os_wanted(int os, int target)
{
    if (os == target) return 1;
    if (os == 0) return 1;
    if (os == 6 && target == 3) return 1;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Decisions and the modified-file question

static bool tile_chosen(const install_entry& e)
{
    if (e.tile_lon < 0 || e.tile_lon >= INSTALL_TILE_LONS || e.tile_lat < 0 || e.tile_lat >= INSTALL_TILE_LATS)
        return false;
    return gChosenTiles[e.tile_lon * INSTALL_TILE_LATS + e.tile_lat] != 0;
}

// The local path up to and including its last separator.
static std::string folder_of(const std::string& local)
{
    if (local.size() <= 3) return local;
    std::string name;
    FILE_split_path(name, local);
    return local.substr(0, local.size() - name.size());
}

int install_decide_actions()
{
    // The scan's workers must not write what is read here; normally they are long gone.
    install_stop_md5_pool();
    std::set<std::string> act_folders, keep_folders;
    auto& groups = gPlan.install_groups;
    for (size_t g = 0; g < groups.size(); ++g) {
        if (groups[g].empty()) continue;
        install_entry& e = groups[g].back();
        e.do_download = 0;
        e.do_delete = 0;
        int act = install_group_wanted((int)g, (int)groups[g].size() - 1);
        if (!act) continue;
        // Nothing has chosen this tile: it is neither fetched nor removed from the user's disk.
        if (e.is_tile && !tile_chosen(e)) continue;
        // Never checked (the scan was stopped): what is on disk is unknown, so nothing is touched.
        if (e.sig_have.empty()) continue;

        const std::string local = gInstallPath + e.path;
        const bool del = e.sig_want == "GONE";
        const bool has = e.sig_have != "NONE";
        const bool same = has && e.sig_have == e.sig_want;

        if (!has && del)
            act = 0;
        else if (has && same)
            act = 0;
        else if (has) {
            bool listed = false;
            for (const install_entry& v : groups[g])
                if (v.sig_want == e.sig_have) listed = true;
            if (!listed) {
                const std::string folder = folder_of(local);
                if (act_folders.count(folder))
                    act = 1;
                else if (keep_folders.count(folder))
                    act = 0;
                else {
                    gLog << "File: " << local << "  sig_want=" << e.sig_want << "  sig_have=" << e.sig_have << "\n";
                    gLog.flush();
                    switch (install_ask_modified_file(local, del ? 1 : 0)) {
                    case answer_act: act = 1; break;
                    case answer_keep: act = 0; break;
                    case answer_act_dir:
                        act = 1;
                        act_folders.insert(folder);
                        break;
                    case answer_keep_dir:
                        act = 0;
                        keep_folders.insert(folder);
                        break;
                    default: return 0;
                    }
                }
            }
        }
        // The question ran frames: take the entry afresh.
        install_entry& d = groups[g].back();
        d.do_download = act && !del ? 1 : 0;
        d.do_delete = act && del ? 1 : 0;
    }
    return 1;
}

install_answer install_ask_modified_file(const std::string& path, int delete_form)
{
    open_window(kModifiedFilePopup);
    const auto frame = gInstallModal.modified_file_frame;
    while (frame && question_open(kModifiedFilePopup)) {
        // Translated in every frame, as the language may change under an open window.
        std::string line1, line3;
        std::vector<std::string> labels;
        if (delete_form) {
            line1 = LANG_translate("I am about to DELETE:");
            line3 = LANG_translate("because we no longer use this file, but it appears you have modified it. "
                                   "What to do?");
            labels = {LANG_translate("DELETE THE OLD FILE"), LANG_translate("KEEP THE OLD FILE"),
                      LANG_translate("DELETE EVERY OLD FILE IN THIS DIRECTORY"),
                      LANG_translate("KEEP EVERY OLD FILE IN THIS DIRECTORY"),
                      LANG_translate("CANCEL THE WHOLE INSTALLATION!")};
        } else {
            line1 = LANG_translate("I am about to install:");
            line3 = LANG_translate("but it appears you have modified this file. What to do?");
            labels = {LANG_translate("OVERWRITE THE OLD FILE"), LANG_translate("KEEP THE OLD FILE"),
                      LANG_translate("OVERWRITE EVERY OLD FILE IN THIS DIRECTORY"),
                      LANG_translate("KEEP EVERY OLD FILE IN THIS DIRECTORY"),
                      LANG_translate("CANCEL THE WHOLE INSTALLATION!")};
        }
        const int clicked = frame(line1, path, line3, labels);
        if (clicked >= answer_act && clicked <= answer_keep_dir) {
            open_window(0);
            return (install_answer)clicked;
        }
    }
    return answer_cancel;
}

// ---------------------------------------------------------------------------------------------
// Folders and totals

// Makes one folder. An existing folder is fine; anything else already standing in its place is
// not, as nothing could be extracted into it.
static int make_folder(const std::string& path)
{
    const int r = FILE_make_dir(path);
    if (!FILE_is_real_error(r) && r != 0 && !FILE_is_dir(path)) return ENOTDIR;
    return FILE_is_real_error(r) ? r : 0;
}

int install_make_folders()
{
    std::string root = gInstallPath;
    if (!root.empty() && root.back() == '/') root.pop_back();
    if (root.empty()) {
        // Without an install folder every path below would land in the program's own folder.
        install_error_alert(gInstallPath, ENOENT);
        return ENOENT;
    }
    const std::string base = root + "/";

    // The install folder, level by level from below the top.
    std::vector<std::string> levels;
    const size_t first = root.find('/');
    for (size_t at = first == std::string::npos ? first : root.find('/', first + 1); at != std::string::npos;
         at = root.find('/', at + 1))
        levels.push_back(root.substr(0, at));
    levels.push_back(root);

    // Every folder a download goes into; in string order a parent comes before its children.
    std::set<std::string> folders;
    auto& groups = gPlan.install_groups;
    for (size_t g = 0; g < groups.size(); ++g) {
        if (groups[g].empty()) continue;
        const install_entry& e = groups[g].back();
        if (!e.do_download || !install_group_wanted((int)g, (int)groups[g].size() - 1)) continue;
        std::string p = e.path;
        for (size_t cut = p.rfind('/'); cut != std::string::npos; cut = p.rfind('/')) {
            p.erase(cut);
            if (!p.empty()) folders.insert(p);
        }
    }
    for (const std::string& f : folders) levels.push_back(base + f);

    for (const std::string& level : levels)
        if (const int r = make_folder(level)) {
            install_error_alert(level, r);
            return r;
        }

    // The simulator's user-data folders; one that cannot be made is reported, the rest still tried.
    const std::string output = OUTPUT_FOLDER;
    const std::string standard[] = {output,          output + "FMS plans", output + "logbooks",
                                    output + "replays", output + "situations", RESOURCES_FOLDER,
                                    output + "preferences"};
    for (const std::string& name : standard)
        if (const int r = make_folder(base + name)) install_error_alert(base + name, r);
    return 0;
}

void install_error_alert(const std::string& folder, int code)
{
    MACIBM_alert(0,
                 LANG_translate("I am unable to install or update Corvane. An error occurred while creating new "
                                "folders. Make sure you are installing to a directory that you have access to!"),
                 LANG_translate("Error: ") + FILE_error_text(code),
                 LANG_translate("Install Location: ") + gInstallPath, LANG_translate("Install Path:") + folder,
                 t_note, "utils", 181);
}

void install_count_totals()
{
    // The scan's workers must not write what is read here; normally they are long gone.
    install_stop_md5_pool();
    gDownloadSize = 0;
    gSpaceNeeded = 0;
    gFilesToFetch = 0;
    gFilesToDelete = 0;
    auto& groups = gPlan.install_groups;
    for (size_t g = 0; g < groups.size(); ++g) {
        if (groups[g].empty()) continue;
        const install_entry& e = groups[g].back();
        if (!install_group_wanted((int)g, (int)groups[g].size() - 1)) continue;
        if (e.is_tile && !tile_chosen(e)) continue;
        if (e.sig_want == "GONE") {
            if (!e.sig_have.empty() && e.sig_have != "NONE") ++gFilesToDelete;
        } else if (!e.up_to_date) {
            gDownloadSize += e.download_size;
            gSpaceNeeded += e.disk_size;
            ++gFilesToFetch;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Alerts and the two-button question

// Without a browser to open it in, the address is all the user has to find the page; what names
// the page is translated by the caller.
static void open_page_before_quit(const std::string& what, const std::string& address, int note_line)
{
    std::string failure;
    open_url_before_quit(address, &failure);
    if (!failure.empty())
        MACIBM_alert(0, what, address, LANG_translate("Error: ") + failure,
                     LANG_translate("Please open it in your web browser."), t_note, "utils", note_line);
}

void install_newer_updater_dialog(const std::string& address)
{
    MACIBM_alert(0, LANG_translate("There is a newer version of the Corvane web updater available."),
                 LANG_translate("I will take you to the web page where you can downoad it."), "", "", t_note,
                 "utils", 80);
    open_page_before_quit(LANG_translate("I could not open the web page of the new updater:"), address, 81);
    gQuit = 1;
}

void install_need_new_installer_dialog(const std::string& path)
{
    MACIBM_alert(0,
                 LANG_translate("OK I am checking the Veltrano servers and I am finding file formats that are "
                                "newer than I can understand!"),
                 LANG_translate("In other words, you need to get a new installer!"),
                 LANG_translate("No problem... grab it at the download section of ") + kProductHost + ".", path,
                 t_note, "utils", 89);
    open_page_before_quit(LANG_translate("I could not open the Corvane download page:"), kDownloadPage, 90);
    gQuit = 1;
}

int install_ask_two_choices(const std::string& top, const std::string& label1, const std::string& text1,
                            const std::string& label2, const std::string& text2)
{
    open_window(kTwoChoicesPopup);
    const auto frame = gInstallModal.two_choices_frame;
    while (frame && question_open(kTwoChoicesPopup)) {
        const int clicked = frame(top, label1, text1, label2, text2);
        if (clicked == 1 || clicked == 2) {
            open_window(0);
            return clicked == 1 ? 1 : 0;
        }
    }
    return 3;
}
