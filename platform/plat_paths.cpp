// Folders the operating system gives the program (see plat_paths.h).
#include "platform/plat_paths.h"

#include "platform/plat_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

std::string PLAT_exe_path()
{
    std::vector<char> buf(4096);
    for (int tries = 0; tries < 4; ++tries) {
        ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return "";
        if ((size_t)n < buf.size()) return std::string(buf.data(), (size_t)n);
        buf.resize(buf.size() * 4);
    }
    return "";
}

std::string PLAT_working_dir()
{
    std::vector<char> buf(4096);
    for (int tries = 0; tries < 4; ++tries) {
        if (getcwd(buf.data(), buf.size())) {
            std::string dir = buf.data();
            if (dir.empty() || dir[0] != '/') return ""; // "(unreachable)/...": not a path of ours
            return dir.back() == '/' ? dir : dir + '/';
        }
        if (errno != ERANGE) return "";
        buf.resize(buf.size() * 4);
    }
    return "";
}

static std::string strip_trailing_slashes(std::string s)
{
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

std::string PLAT_home_dir()
{
    const char* home = getenv("HOME");
    if (home && home[0] == '/') return strip_trailing_slashes(home);
    long sz = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(sz > 0 ? (size_t)sz : 16384);
    struct passwd pw, *res = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &res) == 0 && res && res->pw_dir && res->pw_dir[0] == '/')
        return strip_trailing_slashes(res->pw_dir);
    return "";
}

static std::string with_slash(std::string s)
{
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

// Reads XDG_DESKTOP_DIR="$HOME/..." from the user-dirs file; "" when absent.
static std::string read_xdg_desktop(const std::string& home)
{
    const char* cfg = getenv("XDG_CONFIG_HOME");
    std::string file = (cfg && cfg[0] == '/') ? std::string(cfg) : home + "/.config";
    file += "/user-dirs.dirs";
    FILE* f = fopen(file.c_str(), "r");
    if (!f) return "";
    std::string result;
    char line[4096];
    while (fgets(line, sizeof line, f)) {
        const char* p = line;
        while (*p == ' ' || *p == '\t') ++p;
        if (strncmp(p, "XDG_DESKTOP_DIR=", 16) != 0) continue;
        p += 16;
        if (*p != '"') continue;
        ++p;
        const char* end = strchr(p, '"');
        if (!end) continue;
        std::string v(p, (size_t)(end - p));
        if (v.compare(0, 5, "$HOME") == 0) v = home + v.substr(5);
        if (!v.empty() && v[0] == '/') result = v;
    }
    fclose(f);
    return result;
}

std::string PLAT_desktop_dir()
{
    std::string home = PLAT_home_dir();
    if (home.empty()) return "";
    std::string d = read_xdg_desktop(home);
    if (d.empty()) d = home + "/Desktop";
    return with_slash(d);
}

// The names in the folder of the form prefix + six characters (what mkdtemp makes of prefix +
// "XXXXXX"), in byte order, so that every run sees them alike.
static std::vector<std::string> mkdtemp_names(const std::string& dir, const std::string& prefix)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A private folder of ours beside the per-user folder that another user holds: the one an
// earlier run made, while it is still a folder of ours (closed to others again), else a new one.
static int private_temp_dir(const std::string& parent, const std::string& uid, std::string& out, std::string& why)
{
    const std::string prefix = "corvane-updater-" + uid + ".";
    // The first in byte order: the same one every run, when there are several.
    for (const std::string& name : mkdtemp_names(parent, prefix)) {
        const std::string dir = with_slash(parent) + name;
        struct stat st;
        if (lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
            ((st.st_mode & 077) == 0 || chmod(dir.c_str(), 0700) == 0)) {
            out = dir + "/";
            why += " The private folder " + out + " is used instead.";
            return 0;
        }
    }
    std::string templ = with_slash(parent) + prefix + "XXXXXX";
    if (!mkdtemp(&templ[0])) {
        why += std::string(" No private folder can be made beside it: ") + strerror(errno) + ".";
        return -1;
    }
    out = templ + "/";
    why += " The private folder " + out + " is used instead.";
    return 0;
}

int PLAT_temp_dir_in(const std::string& parent, bool fallback, std::string& out, std::string& why)
{
    const std::string uid = std::to_string((unsigned long)getuid());
    std::string dir = with_slash(parent) + "corvane-updater-" + uid;
    why.clear();
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        why = "The temporary folder " + dir + " cannot be made: " + strerror(errno) + ".";
        return -1;
    }
    struct stat st;
    if (lstat(dir.c_str(), &st) != 0) {
        why = "The temporary folder " + dir + " cannot be read: " + strerror(errno) + ".";
        return -1;
    }
    if (S_ISLNK(st.st_mode))
        why = "The temporary folder " + dir + " is a link; it is not used.";
    else if (!S_ISDIR(st.st_mode))
        why = "The temporary folder " + dir + " is not a folder; it is not used.";
    else if (st.st_uid != getuid())
        why = "The temporary folder " + dir + " belongs to another user; it is not used.";
    if (!why.empty()) {
        // Anyone may make our name first in a shared parent, and we cannot remove what they made.
        if (fallback && st.st_uid != getuid()) return private_temp_dir(parent, uid, out, why);
        return -1;
    }
    if ((st.st_mode & 077) != 0 && chmod(dir.c_str(), 0700) != 0) {
        why = "The temporary folder " + dir + " is open to other users; it is not used.";
        return -1;
    }
    out = dir + "/";
    return 0;
}

static int make_temp_dir(std::string& out, std::string& why)
{
    // A TMPDIR the user set is theirs to mend; only the shared /tmp falls back to a private folder.
    const char* t = getenv("TMPDIR");
    if (t && t[0] == '/') return PLAT_temp_dir_in(strip_trailing_slashes(t), false, out, why);
    return PLAT_temp_dir_in("/tmp", true, out, why);
}

// Takes the folder's lock for the rest of the process, without waiting: the descriptor stays
// open (closed on exec). The descriptor, or -1 with err set (EWOULDBLOCK: another process holds it).
static int lock_folder(const std::string& dir, int& err)
{
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return -1;
    }
    int r;
    do {
        r = flock(fd, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r == 0) return fd;
    err = errno;
    close(fd);
    return -1;
}

// A run's own folder inside a held temporary folder gets the public name only once it is locked;
// one of that name whose lock can be taken is what a killed run left.
static const char kPrivatePrefix[] = "private-";

// This run's private folder, removed when the process ends (file-scope: still there at exit).
static std::string sPrivateParent, sPrivateName;
static int sPrivateFd = -1;
static pid_t sPrivateOwner = -1;

void PLAT_remove_private_temp_dir()
{
    // A forked child that ends is not the run.
    if (sPrivateName.empty() || getpid() != sPrivateOwner) return;
    (void)PLAT_clear_name(sPrivateParent, sPrivateName);
    sPrivateName.clear();
    if (sPrivateFd >= 0) close(sPrivateFd);
    sPrivateFd = -1;
}

// The private folders that runs ended by force left in the folder we hold: only those whose lock
// we take, so never one whose run is still going.
static void remove_left_private_dirs(const std::string& dir)
{
    for (const std::string& name : mkdtemp_names(dir, kPrivatePrefix)) {
        int err = 0;
        const int fd = lock_folder(dir + name, err);
        if (fd < 0) continue;
        (void)PLAT_clear_name(dir, name);
        close(fd);
    }
}

// The folder a run works in is held by it alone: the per-user folder, or, while another updater
// holds that one (their data folders differ), a private folder of ours inside it.
static int hold_temp_dir(std::string& dir, std::string& why)
{
    int err = 0;
    const int fd = lock_folder(dir, err);
    if (fd >= 0) {
        remove_left_private_dirs(dir);
        return 0; // kept open: the lock lasts as long as the process
    }
    const std::string shown = dir.substr(0, dir.size() - 1);
    if (!why.empty()) why += " ";
    if (err == EWOULDBLOCK)
        why += "The temporary folder " + shown + " is in use by another updater.";
    else
        why += "The temporary folder " + shown + " cannot be locked (" + strerror(err) + ").";
    std::string made = dir + "." + kPrivatePrefix + "XXXXXX";
    if (!mkdtemp(&made[0])) {
        why += std::string(" No private folder can be made in it: ") + strerror(errno) + ".";
        return -1;
    }
    std::string name = made.substr(dir.size());
    sPrivateFd = lock_folder(made, err);
    // Unlocked, it keeps the hidden name that no other run ever removes.
    if (sPrivateFd >= 0 &&
        renameat2(AT_FDCWD, made.c_str(), AT_FDCWD, (dir + name.substr(1)).c_str(), RENAME_NOREPLACE) == 0)
        name.erase(0, 1);
    sPrivateParent = dir;
    sPrivateName = name;
    sPrivateOwner = getpid();
    atexit(PLAT_remove_private_temp_dir);
    dir += name + "/";
    why += " The private folder " + dir + " is used instead.";
    return 0;
}

int PLAT_temp_dir(std::string& out, std::string& why)
{
    // Decided once per run, so every caller works in the same folder.
    static std::once_flag once;
    static int result;
    static std::string dir, reason;
    std::call_once(once, [] {
        result = make_temp_dir(dir, reason);
        if (result == 0) result = hold_temp_dir(dir, reason);
    });
    out = dir;
    why = reason;
    return result;
}

// mkdir -p with mode 0700 for the parts it makes.
static bool make_dirs(const std::string& path)
{
    std::string cur;
    size_t i = 0;
    while (i <= path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        cur = path.substr(0, j);
        if (!cur.empty() && mkdir(cur.c_str(), 0700) != 0 && errno != EEXIST) return false;
        i = j + 1;
    }
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string PLAT_data_dir()
{
    const char* x = getenv("XDG_DATA_HOME");
    std::string dir;
    if (x && x[0] == '/')
        dir = strip_trailing_slashes(x);
    else {
        std::string home = PLAT_home_dir();
        if (home.empty()) return "";
        dir = home + "/.local/share";
    }
    if (!make_dirs(dir)) return "";
    return with_slash(dir);
}
