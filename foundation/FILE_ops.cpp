// File and folder operations, and the error texts (see FILE_ops.h).
#include "foundation/FILE_ops.h"

#include "foundation/alert.h"
#include "foundation/command_table.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/shared_paths.h"
#include "foundation/shutdown.h"
#include "foundation/translation.h"
#include "platform/plat_files.h"
#include "platform/plat_process.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

static bool is_sep(char c)
{
    return c == '/' || c == '\\';
}

// Everything up to and including the last separator; a path of fewer than 4 characters whole.
static std::string folder_part(const std::string& p)
{
    if (p.size() < 4) return p;
    size_t cut = p.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : p.substr(0, cut + 1);
}

// The last component; one trailing separator is stepped over when the path has 3 or more characters.
static std::string last_name(const std::string& p)
{
    if (p.empty()) return p;
    size_t end = p.size();
    if (p.size() >= 3 && is_sep(p[end - 1])) --end;
    size_t begin = end;
    while (begin > 0 && !is_sep(p[begin - 1])) --begin;
    return p.substr(begin, end - begin);
}

static std::string drop_one_slash(const std::string& path)
{
    if (!path.empty() && path.back() == '/') return path.substr(0, path.size() - 1);
    return path;
}

int FILE_exists(const std::string& path)
{
    // Linux opens folders like files; they still answer 0, as callers look for files.
    return PLAT_can_read_file(FILE_abs_path(path)) ? 1 : 0;
}

int FILE_is_dir(const std::string& path)
{
    std::string p = FILE_abs_path(drop_one_slash(path));
    std::string parent = folder_part(p);
    std::string name = last_name(p);
    std::vector<std::string> names;
    std::vector<int32_t> types;
    int n = FILE_get_directory(parent, 0, names, types);
    for (int i = 0; i < n; ++i)
        if (types[(size_t)i] == 1 && names[(size_t)i] == name) return 1;
    return 0;
}

FILE_result FILE_make_dir(const std::string& path)
{
    return PLAT_make_dir(FILE_abs_path(drop_one_slash(path)));
}

int FILE_is_real_error(FILE_result code)
{
    return (code == 0 || code == EEXIST || code == 183) ? 0 : 1;
}

FILE_result FILE_delete_file(const std::string& path)
{
    if (path.empty()) return ENOENT;
    std::string p = FILE_abs_path(path);
    if (p.back() == '/') {
        p.pop_back();
        return PLAT_remove_dir(p);
    }
    return PLAT_remove_file(p);
}

int FILE_is_delete_error(FILE_result /*code*/)
{
    return 0;
}

FILE_result FILE_clear_read_only(const std::string& path)
{
    return PLAT_clear_read_only(FILE_abs_path(path));
}

// The folders a tree copy is reading (its path from the top) and the folders it writes into.
struct copy_walk {
    std::vector<PLAT_file_id> reading;
    std::vector<PLAT_file_id> writing;
};

static bool id_in(const std::vector<PLAT_file_id>& ids, const PLAT_file_id& id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

static FILE_result copy_tree(const std::string& src, const std::string& dst, copy_walk& walk)
{
    const std::string src_dir = src + "/";
    const std::string dst_dir = dst + "/";
    const std::string abs_src = FILE_abs_path(src_dir);
    const std::string abs_dst = FILE_abs_path(dst_dir);

    // A folder already on the way down (a link that loops back) or one the copy writes into
    // (the destination inside the source) would be copied without end: it is left out.
    PLAT_file_id src_id;
    if (FILE_result err = PLAT_get_file_id(abs_src, src_id)) return err;
    if (id_in(walk.reading, src_id) || id_in(walk.writing, src_id)) {
        gLog << "WARNING: not copying " << abs_src << " into itself (a link that loops, or the copy's own folder).\n";
        return 0;
    }

    FILE_result made = FILE_make_dir(dst_dir);
    if (FILE_is_real_error(made)) return made;
    // An existing file in the folder's place is no folder to copy into.
    if (!PLAT_is_folder(abs_dst)) return ENOTDIR;
    PLAT_file_id dst_id;
    if (FILE_result err = PLAT_get_file_id(abs_dst, dst_id)) return err;
    if (dst_id == src_id) return 0;
    walk.writing.push_back(dst_id);

    std::vector<std::string> names;
    std::vector<int32_t> types;
    int n = FILE_get_directory(src_dir, 0, names, types);
    walk.reading.push_back(src_id);
    FILE_result result = 0;
    for (int i = 0; i < n && result == 0; ++i) {
        const std::string& name = names[(size_t)i];
        // The listing already knows what FILE_is_dir would find for the entry.
        if (types[(size_t)i] == 1)
            result = copy_tree(src_dir + name, dst_dir + name, walk);
        else
            result = PLAT_copy_file(FILE_abs_path(src_dir + name), FILE_abs_path(dst_dir + name));
    }
    walk.reading.pop_back();
    return result;
}

FILE_result FILE_copy(const std::string& src, const std::string& dst)
{
    if (!FILE_is_dir(src)) return PLAT_copy_file(FILE_abs_path(src), FILE_abs_path(dst));
    copy_walk walk;
    return copy_tree(src, dst, walk);
}

FILE_result FILE_get_disk_space(const std::string& path, uint64_t* total, uint64_t* avail)
{
    uint64_t t = 0, a = 0;
    if (FILE_result err = PLAT_disk_space(FILE_abs_path(folder_part(path)), t, a)) return err;
    if (total) *total = t;
    if (avail) *avail = a;
    return 0;
}

// Blank-separated words; double quotes group blanks into one word and are removed.
static std::vector<std::string> split_params(const std::string& text)
{
    std::vector<std::string> out;
    std::string cur;
    bool quoted = false, have = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            have = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (have) out.push_back(cur);
            cur.clear();
            have = false;
        } else {
            cur += c;
            have = true;
        }
    }
    if (have) out.push_back(cur);
    return out;
}

FILE_result FILE_launch(const std::string& path, const std::string& params, int shutdown, std::string* opener_failure)
{
    const std::string abs = FILE_abs_path(path);
    PLAT_opener opener;
    FILE_result err = PLAT_launch(abs, split_params(params), FILE_OPENER_WAIT_MS, &opener);
    const std::string failure = FILE_opener_failure(abs, err, opener);
    if (opener_failure) *opener_failure = failure;
    if (err) return err;
    // Started, but nothing could open the file: the user is told, as of a start that failed.
    if (!failure.empty()) return ENOEXEC;
    if (shutdown && gShutdownHook) gShutdownHook(1);
    exit(1);
}

std::string FILE_opener_failure(const std::string& what, int start_error, const PLAT_opener& opener)
{
    if (opener.name.empty()) return std::string();
    std::string failure;
    if (start_error) {
        gLog << "WARNING: could not start " << opener.name << " for " << what << ": " << FILE_error_text(start_error)
             << "\n";
        failure = opener.name + ": " + FILE_error_text(start_error);
    } else if (opener.exit_status || opener.end_signal) {
        const int status = opener.exit_status;
        const std::string n = std::to_string(status ? status : opener.end_signal);
        const std::string english = status ? "exited with status " + n : "was ended by signal " + n;
        gLog << "WARNING: " << opener.name << " did not open " << what << ": it " << english << "\n";
        failure = opener.name + ": " +
                  LANG_substitute_1(status ? LANG_translate("exited with status %1:status%")
                                           : LANG_translate("was ended by signal %1:signal%"),
                                    n);
    }
    if (!failure.empty()) gLog.flush();
    return failure;
}

struct ext_type {
    const char* ext;
    int32_t type;
};

// Four characters each; ".OZ" is the one three-character extension and is tested on its own.
static const ext_type kExtTypes[] = {
    {".AFL", 4},  {".WPN", 5},  {".ACF", 3},  {".OBJ", 7},  {".SIT", 9},  {".REP", 10}, {".TXT", 20},
    {".FMS", 11}, {".TRA", 13}, {".CAR", 14}, {".SPA", 15}, {".REG", 16}, {".WAV", 6},  {".BMP", 2},
    {".PNG", 2},  {".FDR", 8},  {".DSF", 17}, {".HGT", 18}, {".PRO", 21},
};

static char upper_ascii(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

static char lower_ascii(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

static std::string upper_tail(const std::string& s, size_t n)
{
    std::string t = s.size() < n ? s : s.substr(s.size() - n);
    for (char& c : t) c = upper_ascii(c);
    return t;
}

static bool starts_with_nocase(const std::string& s, const std::string& prefix)
{
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (lower_ascii(s[i]) != lower_ascii(prefix[i])) return false;
    return true;
}

int FILE_type_filter(const std::string& folder, const std::string& name, int kind, int32_t& type)
{
    const std::string tail4 = upper_tail(name, 4);
    bool matched = false;
    for (const ext_type& row : kExtTypes)
        if (tail4 == row.ext) {
            type = row.type;
            matched = true;
            break;
        }
    if (!matched && upper_tail(name, 3) == ".OZ") type = 19;

    if (kind == 12) {
        // Cockpit panel pictures and the numbered variants (x-2.png) are not offered as pictures.
        const std::string full = folder + name;
        const std::string panels = std::string(BITMAPS_FOLDER) + "cockpit/-panel";
        if (starts_with_nocase(full, panels)) return 0;
        if (full.size() >= 6) {
            const std::string from6 = full.substr(full.size() - 6);
            for (const char* mark : {"-1.", "-2.", "-3.", "-4."})
                if (from6.compare(0, 3, mark) == 0) return 0;
        }
    }

    if (name.empty() || name[0] == '.') return 0;
    if (type == 1 || kind == 0 || type == kind || (kind == 12 && type == 2)) return 1;
    return 0;
}

bool FILE_less_nocase(const char* a, const char* a_end, const char* b, const char* b_end)
{
    for (; a != a_end && b != b_end; ++a, ++b) {
        unsigned char ca = (unsigned char)lower_ascii(*a);
        unsigned char cb = (unsigned char)lower_ascii(*b);
        if (ca != cb) return ca < cb;
    }
    return a == a_end && b != b_end;
}

static bool less_nocase(const std::string& a, const std::string& b)
{
    return FILE_less_nocase(a.data(), a.data() + a.size(), b.data(), b.data() + b.size());
}

int FILE_get_directory(const std::string& folder, int kind, std::vector<std::string>& names,
                       std::vector<int32_t>& types)
{
    names.clear();
    types.clear();
    // Kinds 22 and 23 do not read the disk: 22 lists nothing, 23 lists the command registry
    // below the folder text, its next levels shown as folders.
    if (kind == 22) return 0;
    if (kind == 23) {
        if (gCommandTable.list_prefix) gCommandTable.list_prefix(folder, names);
        for (std::string& name : names) {
            int32_t type = 23;
            if (!name.empty() && is_sep(name.back())) {
                name.pop_back();
                type = 1;
            }
            types.push_back(type);
        }
        return (int)names.size();
    }

    const std::string abs = FILE_abs_path(folder);
    if (abs.size() > 3 && !is_sep(abs.back())) {
        MACIBM_alert(0, "Working path does not appear to be a directory!",
                     "This is not consistent with my labelling practices!",
                     "I need to end all paths with the directory indicator!", folder, t_crash, "FILE_ops", 561);
        return 0;
    }

    std::vector<PLAT_dir_entry> entries;
    PLAT_list_dir(abs, entries);
    // The system hands entries over in no fixed order; sorting them by bytes first makes the
    // order of names that differ only in case the same on every run.
    std::sort(entries.begin(), entries.end(),
              [](const PLAT_dir_entry& x, const PLAT_dir_entry& y) { return x.name < y.name; });
    for (const PLAT_dir_entry& e : entries) {
        int32_t type = e.is_folder ? 1 : 0;
        if (!FILE_type_filter(folder, e.name, kind, type)) continue;
        names.push_back(e.name);
        types.push_back(type);
    }

    const size_t n = names.size();
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < i; ++j)
            if (less_nocase(names[i], names[j])) {
                std::swap(names[i], names[j]);
                std::swap(types[i], types[j]);
            }
    return (int)n;
}

struct error_row {
    int32_t code;
    const char* text;
};

// Searched from the top, first match wins; the texts are shown to users exactly as they stand.
static const error_row FILE_error_table[] = {
    {err_unzip_open, "We were unable to open a zip file. It may be missing or damaged"},
    {err_unzip_read, "We were unable to read from a zip file (short-read error). It may be missing or damaged"},
    {err_zip_create, "We were unable to create a zip file"},
    {err_zip_write, "We were unable to write to a zip file. It may be missing or damaged"},
    {err_zip_fork_size, "We cannot compress a zip file because its source file resource fork is more than 2 GB. The source file is probably damaged"},
    {err_file_read_open, "We could not open a file to read from it"},
    {err_net_reconnect, "We were unable to connct to the network due to an internal reconnect error"},
    {err_net_bad_state, "We wre unable to connect to the network due to a bad state error"},
    {err_net_alloc, "We could not allocate a connection to the network"},
    {err_net_write_file, "We could not write the incoming file from the web to disk"},
    {err_net_no_server, "We could not find the server over the network"},
    {err_zip_fork_header, "Part of the downloaded zip file is corrupted (the resource fork header is bad)"},
    {11, "Resource temporarily unavailable"},
    {35, "Resource deadlock avoided"},
    {36, "File name too long"},
    {38, "Function not implemented"},
    {39, "Directory not empty"},
    {88, "Wide character encoding error"},
    {7, "Argument list too long"},
    {13, "Permission denied. Perhaps you do not have access to a directory or file system"},
    {9, "Bad file descriptor"},
    {16, "Device busy"},
    {10, "No child processes"},
    {33, "Numerical argument out of domain"},
    {17, "File exists"},
    {14, "Bad address"},
    {27, "File too large"},
    {40, "File Position Error"},
    {4, "Interrupted system call"},
    {22, "Invalid argument"},
    {5, "Input/output error"},
    {21, "Is a directory"},
    {24, "Too many open files"},
    {31, "Too many links"},
    {23, "Too many open files in system"},
    {19, "Operation not supported by device"},
    {2, "No such file or directory"},
    {0, "No error detected"},
    {8, "Exec format error"},
    {77, "No locks available"},
    {12, "Out of memory"},
    {28, "No space left on device. Perhaps your hard drive is full"},
    {20, "Not a directory"},
    {25, "Inappropriate ioctl for device"},
    {6, "Device not configured"},
    {1, "Operation not permitted. Perhaps you do not have access to a directory or file system"},
    {32, "Broken pipe"},
    {34, "Result too large"},
    {30, "The destination file system is read-only"},
    {26, "Signal error"},
    {29, "Illegal seek"},
    {3, "No such process"},
    {99, "Unknown error"},
    {18, "Cross-device link"},
    {0, nullptr},
};

std::string FILE_error_text(int32_t code)
{
    if (code == 0) return std::string();
    for (const error_row* row = FILE_error_table; row->text; ++row)
        if (row->code == code) return row->text;
    std::string text;
    if (PLAT_error_text(code, text)) return text;
    char buf[32];
    snprintf(buf, sizeof buf, "Error code %d", (int)code);
    return buf;
}
