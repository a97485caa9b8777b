// File and folder calls of the operating system (see plat_files.h).
#include "platform/plat_files.h"
#include "platform/plat_fileio.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

// errno after a failed call; never 0, so a failure is never taken for success.
static int last_error()
{
    return errno ? errno : EIO;
}

int PLAT_list_dir(const std::string& folder, std::vector<PLAT_dir_entry>& out)
{
    out.clear();
    DIR* d = opendir(folder.c_str());
    if (!d) return last_error();
    const int fd = dirfd(d);
    for (;;) {
        errno = 0;
        struct dirent* e = readdir(d);
        if (!e) break;
        PLAT_dir_entry entry;
        entry.name = e->d_name;
        if (e->d_type == DT_DIR) {
            entry.is_folder = true;
        } else if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            // Some file systems give no type, and a link is listed as what it points at.
            struct stat st;
            entry.is_folder = fstatat(fd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        out.push_back(std::move(entry));
    }
    int err = errno;
    closedir(d);
    return err;
}

bool PLAT_can_read_file(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    close(fd);
    return ok;
}

bool PLAT_is_folder(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PLAT_path_taken(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

int PLAT_make_dir(const std::string& path)
{
    return mkdir(path.c_str(), 0777) == 0 ? 0 : last_error();
}

int PLAT_remove_dir(const std::string& path)
{
    return rmdir(path.c_str()) == 0 ? 0 : last_error();
}

int PLAT_remove_file(const std::string& path)
{
    return unlink(path.c_str()) == 0 ? 0 : last_error();
}

// Deeper folders than this are left: each level holds a descriptor open while it is emptied.
static const int kClearDepth = 256;

static int remove_at(int dir, const char* name, int depth);

// Removes everything in the folder open as fd, then closes it.
static int empty_folder(int fd, int depth)
{
    DIR* d = fdopendir(fd);
    if (!d) {
        const int err = last_error();
        close(fd);
        return err;
    }
    // Names are read first: removing entries while the listing runs may skip some.
    std::vector<std::string> names;
    int err = 0;
    for (;;) {
        errno = 0;
        struct dirent* e = readdir(d);
        if (!e) {
            err = errno;
            break;
        }
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    }
    for (const std::string& n : names)
        if (const int r = remove_at(dirfd(d), n.c_str(), depth + 1); r && !err) err = r;
    closedir(d);
    return err;
}

static int remove_at(int dir, const char* name, int depth)
{
    struct stat st;
    if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT ? 0 : last_error();
    if (S_ISDIR(st.st_mode)) {
        if (depth >= kClearDepth) return ELOOP;
        const int fd = openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return last_error();
        if (const int err = empty_folder(fd, depth)) return err;
    }
    if (unlinkat(dir, name, S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0) == 0 || errno == ENOENT) return 0;
    return last_error();
}

int PLAT_clear_name(const std::string& folder, const std::string& name)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return EINVAL;
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const int dir = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) return last_error();
    const int err = remove_at(dir, name.c_str(), 0);
    close(dir);
    return err;
}

int PLAT_clear_read_only(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return last_error();
    if (st.st_mode & S_IWUSR) return 0;
    return chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0 ? 0 : last_error();
}

// Copies the open source into the open temporary file, with the source's permissions and times.
static int copy_contents(int in, int out, const struct stat& st)
{
    std::vector<char> buf(1 << 18);
    for (;;) {
        ssize_t r = read(in, buf.data(), buf.size());
        if (r < 0) {
            if (errno == EINTR) continue;
            return last_error();
        }
        if (r == 0) break;
        if (int err = PLAT_write_all(out, buf.data(), (size_t)r)) return err;
    }
    if (fchmod(out, st.st_mode & 0777) != 0) return last_error();
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (futimens(out, times) != 0) return last_error();
    if (fsync(out) != 0) return last_error();
    return 0;
}

int PLAT_copy_file(const std::string& src, const std::string& dst)
{
    // O_NONBLOCK so that a pipe never holds the open; only regular files are copied.
    int in = open(src.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (in < 0) return last_error();
    struct stat st;
    if (fstat(in, &st) != 0) {
        int err = last_error();
        close(in);
        return err;
    }
    if (!S_ISREG(st.st_mode)) {
        close(in);
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    int fl = fcntl(in, F_GETFL);
    if (fl >= 0) fcntl(in, F_SETFL, fl & ~O_NONBLOCK);

    // The temporary file is hidden (a leading dot), so folder listings never show it.
    size_t slash = dst.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : dst.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? dst : dst.substr(slash + 1);
    std::string tmp = dir + "." + base + ".copy-XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    int out = mkostemp(name.data(), O_CLOEXEC);
    if (out < 0) {
        int err = last_error();
        close(in);
        return err;
    }
    int err = copy_contents(in, out, st);
    close(in);
    if (close(out) != 0 && !err) err = last_error();
    if (!err && rename(name.data(), dst.c_str()) != 0) err = last_error();
    if (err) unlink(name.data());
    return err;
}

int PLAT_get_file_id(const std::string& path, PLAT_file_id& out)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return last_error();
    out.dev = (uint64_t)st.st_dev;
    out.ino = (uint64_t)st.st_ino;
    return 0;
}

int PLAT_disk_space(const std::string& path, uint64_t& total, uint64_t& avail)
{
    struct statvfs vf;
    if (statvfs(path.c_str(), &vf) != 0) return last_error();
    total = (uint64_t)vf.f_blocks * (uint64_t)vf.f_frsize;
    avail = (uint64_t)vf.f_bavail * (uint64_t)vf.f_frsize;
    return 0;
}

bool PLAT_error_text(int code, std::string& out)
{
    // strerrordesc_np tells known numbers from unknown ones in any language; the text itself
    // comes from strerror_r, as the user's locale words it.
    if (!strerrordesc_np(code)) return false;
    char buf[256];
    const char* text = strerror_r(code, buf, sizeof buf);
    if (!text || !text[0]) return false;
    out = text;
    return true;
}
