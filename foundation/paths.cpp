// Path rules, the program's folder, special folders and UTF-8 / UTF-16 conversion (see paths.h).
#include "foundation/paths.h"

#include "foundation/alert.h"
#include "foundation/app_folder.h"
#include "foundation/log.h"
#include "platform/plat_paths.h"

std::string gAppFolder;

void hl_get_app_path(std::string& out, int want_file)
{
    // The program file's path is used as the system gives it (no separator rewriting on Linux).
    out = PLAT_exe_path();
    if (want_file) return;
    if (out.size() > 3) {
        size_t slash = out.rfind('/');
        if (slash != std::string::npos) out.erase(slash + 1);
    }
}

// Where no folder of a kind can be found, the user's home, then /tmp/.
static std::string fallback_dir()
{
    std::string home = PLAT_home_dir();
    return home.empty() ? std::string("/tmp/") : home + "/";
}

void FILE_get_special_dir(int kind, std::string& out)
{
    // Folders from the system are taken as it gives them: ':' and '\' are legal in Linux names.
    if (kind == os_dir_this_app || kind == os_dir_app_file) {
        hl_get_app_path(out, kind == os_dir_app_file);
        return;
    }
    out = fallback_dir();
    std::string dir;
    switch (kind) {
    case os_dir_desktop:
    case os_dir_default_apps:
        dir = PLAT_desktop_dir();
        break;
    case os_dir_temp: {
        std::string why;
        if (PLAT_temp_dir(dir, why) != 0) {
            // Downloads and the server list go there: a folder someone else controls is never used.
            MACIBM_alert(0, "The temporary folder cannot be used safely.", why,
                         "Check the TMPDIR setting or remove the folder named above.", "", t_fatal, __FILE__,
                         __LINE__);
            dir.clear();
        } else if (!why.empty() && gLog.is_open()) {
            // Someone else holds the usual folder. The first call comes before the log opens;
            // the start-up's next one tells it, once.
            static bool told = false;
            if (!told) gLog << "WARNING: " << why << "\n";
            told = true;
        }
        break;
    }
    case os_dir_prefs:
        dir = PLAT_data_dir();
        break;
    default:
        break;
    }
    if (!dir.empty()) out = dir;
}

bool FILE_is_valid_utf8(const std::string& s)
{
    size_t n = s.size();
    for (size_t i = 0; i < n;) {
        unsigned char c = (unsigned char)s[i];
        size_t follow;
        if (c < 0x80)
            follow = 0;
        else if ((c & 0xE0) == 0xC0)
            follow = 1;
        else if ((c & 0xF0) == 0xE0)
            follow = 2;
        else if ((c & 0xF8) == 0xF0)
            follow = 3;
        else
            return false;
        if (n - i - 1 < follow) return false;
        for (size_t k = 1; k <= follow; ++k)
            if (((unsigned char)s[i + k] & 0xC0) != 0x80) return false;
        i += follow + 1;
    }
    return true;
}

// Bytes 0x80 to 0x9F of the Western ANSI code page (Windows-1252); 0 where it has no character.
static const char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

static bool has_drive_prefix(const std::string& p)
{
    return p.size() >= 3 && p[1] == ':' && p[2] == '\\';
}

void FILE_normalize_path(std::string& path)
{
    if (path.empty()) return;
    if (!FILE_is_valid_utf8(path)) {
        // Text that is not UTF-8 is read as the Western code page, as the program always did.
        std::u16string wide;
        for (unsigned char c : path) {
            char16_t u = c;
            if (c >= 0x80 && c < 0xA0) u = kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : c;
            wide.push_back(u);
        }
        utf16_to_utf8(wide, path);
    }
    for (size_t i = has_drive_prefix(path) ? 3 : 0; i < path.size(); ++i)
        if (path[i] == '\\' || path[i] == ':') path[i] = '/';
}

bool FILE_is_abs_path(const std::string& path)
{
    if (has_drive_prefix(path)) return true;
    return !path.empty() && (path[0] == '/' || path[0] == '\\');
}

bool FILE_is_safe_relative_path(const std::string& path, bool folder_ok)
{
    size_t len = path.size();
    if (folder_ok && len > 1 && path[len - 1] == '/') --len;
    if (len == 0) return false;
    size_t start = 0;
    for (size_t i = 0; i <= len; ++i) {
        if (i < len && (path[i] == '\\' || path[i] == '\0')) return false;
        if (i < len && path[i] != '/') continue;
        // One name ends here: a leading '/' and "//" leave an empty one.
        const size_t n = i - start;
        if (n == 0) return false;
        if (n == 1 && path[start] == '.') return false;
        if (n == 2 && path[start] == '.' && path[start + 1] == '.') return false;
        // "C:" names a drive on the system the data was made for, wherever it stands.
        const char c0 = path[start];
        if (n >= 2 && path[start + 1] == ':' && ((c0 >= 'A' && c0 <= 'Z') || (c0 >= 'a' && c0 <= 'z')))
            return false;
        start = i + 1;
    }
    return true;
}

void FILE_make_abs_path(std::string& path)
{
    if (!FILE_is_abs_path(path)) path = gAppFolder + path;
}

std::string FILE_abs_path(const std::string& path)
{
    std::string p = path;
    FILE_make_abs_path(p);
    return p;
}

void FILE_lower_last_three(std::string& path)
{
    if (path.size() <= 3) return;
    for (size_t i = path.size() - 3; i < path.size(); ++i)
        if (path[i] >= 'A' && path[i] <= 'Z') path[i] = (char)(path[i] - 'A' + 'a');
}

void FILE_get_abs_path(const std::string& path, std::u16string& out)
{
    std::string abs = path;
    FILE_make_abs_path(abs);
    utf8_to_utf16(abs, out);
}

void utf8_to_utf16(const std::string& in, std::u16string& out)
{
    out.clear();
    const size_t n = in.size();
    size_t i = 0;
    while (i < n) {
        unsigned char c = (unsigned char)in[i];
        uint32_t cp;
        size_t follow;
        if (c < 0x80) {
            cp = c;
            follow = 0;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            follow = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            follow = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            follow = 3;
        } else {
            // A stray continuation byte or 11111xxx.
            cp = 0;
            follow = 0;
        }
        // The character ends before the first byte behind it that is not a continuation byte,
        // so a broken sequence never swallows the characters that follow it.
        size_t next = i + 1;
        while (next < n && ((unsigned char)in[next] & 0xC0) == 0x80) ++next;
        if (next - i - 1 < follow) {
            // Too few continuation bytes (broken, or cut off by the end): one U+0000.
            cp = 0;
        } else {
            for (size_t k = 1; k <= follow; ++k) cp = (cp << 6) + ((unsigned char)in[i + k] & 0x3F);
        }
        if (cp <= 0xFFFF) {
            out.push_back((char16_t)cp);
        } else {
            out.push_back((char16_t)(0xD800 | (((cp - 0x10000) >> 10) & 0x3FF)));
            out.push_back((char16_t)(0xDC00 | (cp & 0x3FF)));
        }
        i = next;
    }
}

void utf16_to_utf8(const std::u16string& in, std::string& out)
{
    out.clear();
    const size_t n = in.size();
    for (size_t i = 0; i < n; ++i) {
        uint32_t cp = in[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            // A high surrogate as the last unit stands alone.
            if (i + 1 < n) {
                cp = 0x10000 + (((cp & 0x3FF) << 10) | (in[i + 1] & 0x3FF));
                ++i;
            }
        }
        if (cp < 0x80) {
            out.push_back((char)cp);
        } else if (cp < 0x800) {
            out.push_back((char)(0xC0 | (cp >> 6)));
            out.push_back((char)(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back((char)(0xE0 | (cp >> 12)));
            out.push_back((char)(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back((char)(0x80 | (cp & 0x3F)));
        } else {
            out.push_back((char)(0xF0 | ((cp >> 18) & 0x07)));
            out.push_back((char)(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back((char)(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back((char)(0x80 | (cp & 0x3F)));
        }
    }
}
