// Chunked reading and safe replacement of files (see plat_fileio.h).
#include "platform/plat_fileio.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// errno after a failed call; never 0, so a failure is never taken for success.
static int last_error()
{
    return errno ? errno : EIO;
}

int PLAT_read_open(const std::string& path, int& fd, uint64_t& size)
{
    size = 0;
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return last_error();
    struct stat st;
    int err = 0;
    if (fstat(fd, &st) != 0)
        err = last_error();
    else if (S_ISDIR(st.st_mode))
        err = EISDIR;
    if (err) {
        close(fd);
        fd = -1;
        return err;
    }
    if (S_ISREG(st.st_mode)) {
        size = (uint64_t)st.st_size;
        // Only the open had to be kept from waiting; regular files read the same either way.
        int fl = fcntl(fd, F_GETFL);
        if (fl >= 0) fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    }
    return 0;
}

int PLAT_read_full(int fd, void* buf, size_t n, size_t& got)
{
    got = 0;
    char* p = (char*)buf;
    while (got < n) {
        size_t want = n - got;
        if (want > (size_t)SSIZE_MAX) want = (size_t)SSIZE_MAX;
        ssize_t r = read(fd, p + got, want);
        if (r < 0) {
            if (errno == EINTR) continue;
            return last_error();
        }
        if (r == 0) break;
        got += (size_t)r;
    }
    return 0;
}

int PLAT_read_seek(int fd, int64_t offset, int whence, int64_t& pos)
{
    int w = whence == 1 ? SEEK_CUR : whence == 2 ? SEEK_END : SEEK_SET;
    off_t r = lseek(fd, (off_t)offset, w);
    if (r < 0) return last_error();
    pos = (int64_t)r;
    return 0;
}

void PLAT_read_close(int fd)
{
    if (fd >= 0) close(fd);
}

int PLAT_write_all(int fd, const void* data, size_t n)
{
    const char* p = (const char*)data;
    while (n > 0) {
        size_t want = n > (size_t)SSIZE_MAX ? (size_t)SSIZE_MAX : n;
        ssize_t w = write(fd, p, want);
        if (w < 0) {
            if (errno == EINTR) continue;
            return last_error();
        }
        if (w == 0) return EIO;
        p += w;
        n -= (size_t)w;
    }
    return 0;
}

// open() retried while a signal interrupts it; -1 with err set when it fails.
static int open_for_writing(const std::string& path, int flags, int mode, int& err)
{
    err = 0;
    int fd;
    do {
        fd = open(path.c_str(), flags, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) err = last_error();
    return fd;
}

int PLAT_out_open(const std::string& path, int& err)
{
    return open_for_writing(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666, err);
}

int PLAT_append_open(const std::string& path, int& err)
{
    return open_for_writing(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666, err);
}

int PLAT_lock_for_process(const std::string& path, int& err)
{
    const int fd = open_for_writing(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600, err);
    if (fd < 0) return -1;
    int r;
    do {
        r = flock(fd, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r == 0) return 1; // the descriptor stays open: the lock lasts as long as the process
    err = last_error();
    close(fd);
    if (err == EWOULDBLOCK) {
        err = 0;
        return 0;
    }
    return -1;
}

int PLAT_take_file(const std::string& path, int& fd, int& err)
{
    // Not opened with O_TRUNC: the holder's file must not be emptied before its lock is seen.
    fd = open_for_writing(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666, err);
    if (fd < 0) return -1;
    int r;
    do {
        r = flock(fd, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r != 0 && errno == EWOULDBLOCK) {
        close(fd);
        fd = -1;
        return 0;
    }
    do {
        r = ftruncate(fd, 0);
    } while (r != 0 && errno == EINTR);
    if (r == 0) return 1;
    err = last_error();
    close(fd);
    fd = -1;
    return -1;
}

const size_t PLAT_PATH_MAX = PATH_MAX;

int PLAT_out_write(int fd, const void* data, size_t n)
{
    const char* p = (const char*)data;
    while (n > 0) {
        size_t want = n > (size_t)SSIZE_MAX ? (size_t)SSIZE_MAX : n;
        errno = 0;
        ssize_t w = write(fd, p, want);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return w < 0 && errno != 0 ? errno : -1;
        p += w;
        n -= (size_t)w;
    }
    return 0;
}

int PLAT_out_close(int fd)
{
    // The descriptor is gone after close whatever it answers, so it is never retried.
    if (close(fd) != 0 && errno != EINTR) return errno;
    return 0;
}

static const size_t kTempBaseMax = 64;    // the temporary keeps this much of the target's name
static const char kTempMark[] = ".part-"; // between the name and the suffix
static const size_t kTempSuffix = 6;

// Six letters that differ between calls and between processes.
static std::string temp_suffix(unsigned attempt)
{
    static std::atomic<uint64_t> counter{0};
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    uint64_t x = ((uint64_t)getpid() << 40) ^ (uint64_t)ts.tv_nsec ^ ((uint64_t)ts.tv_sec << 20) ^
                 (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull) ^ attempt;
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string s;
    for (size_t i = 0; i < kTempSuffix; ++i) {
        s += kLetters[x % 36];
        x /= 36;
    }
    return s;
}

void (*PLAT_replace_hook)(const std::string& temp_path) = nullptr;


bool PLAT_is_replace_temp(const std::string& name, const std::string& target_name)
{
    const size_t mark = sizeof kTempMark - 1;
    if (name.size() < 2 + mark + kTempSuffix || name[0] != '.') return false;
    const size_t suffix_at = name.size() - kTempSuffix;
    for (size_t i = suffix_at; i < name.size(); ++i)
        if (!((name[i] >= 'a' && name[i] <= 'z') || (name[i] >= '0' && name[i] <= '9'))) return false;
    if (name.compare(suffix_at - mark, mark, kTempMark) != 0) return false;
    if (target_name.empty()) return true;
    const std::string base = target_name.substr(0, kTempBaseMax);
    return name.size() == 1 + base.size() + mark + kTempSuffix && name.compare(1, base.size(), base) == 0;
}

int PLAT_remove_replace_temps(const std::string& folder, const std::string& target_name,
                              std::vector<std::string>& removed)
{
    DIR* d = opendir(folder.c_str());
    if (!d) return last_error();
    const int fd = dirfd(d);
    std::vector<std::string> found;
    for (;;) {
        errno = 0;
        struct dirent* e = readdir(d);
        if (!e) break;
        if (PLAT_is_replace_temp(e->d_name, target_name)) found.push_back(e->d_name);
    }
    int err = errno;
    // Removed after the listing: unlinking while reading a folder may skip entries.
    for (const std::string& name : found) {
        struct stat st;
        if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
        if (unlinkat(fd, name.c_str(), 0) == 0) removed.push_back(name);
    }
    closedir(d);
    return err;
}

PLAT_replace_file::~PLAT_replace_file()
{
    PLAT_replace_abort(*this);
}

int PLAT_replace_begin(PLAT_replace_file& f, const std::string& target)
{
    PLAT_replace_abort(f);
    f.target = target;
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    // The target's own name may already be as long as the file system allows; the temporary
    // keeps only its start.
    if (base.size() > kTempBaseMax) base.resize(kTempBaseMax);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string temp = dir + "." + base + kTempMark + temp_suffix(attempt);
        // 0666 so the umask gives the new file the same permissions as any file made directly.
        int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) {
            f.fd = fd;
            f.temp = temp;
            return 0;
        }
        if (errno != EEXIST) return last_error();
    }
    return EEXIST;
}

int PLAT_replace_write(PLAT_replace_file& f, const void* data, size_t n)
{
    if (f.fd < 0) return EBADF;
    return PLAT_write_all(f.fd, data, n);
}

int PLAT_replace_commit(PLAT_replace_file& f)
{
    if (f.fd < 0) return EBADF;
    // The data must be on the disk before the name points at it, or a crash could leave an
    // empty file where the old one was.
    int err = fsync(f.fd) == 0 ? 0 : last_error();
    int fd = f.fd;
    f.fd = -1;
    if (close(fd) != 0 && !err) err = last_error();
    if (!err && PLAT_replace_hook) PLAT_replace_hook(f.temp);
    if (!err && rename(f.temp.c_str(), f.target.c_str()) != 0) err = last_error();
    if (err) unlink(f.temp.c_str());
    f.temp.clear();
    return err;
}

void PLAT_replace_abort(PLAT_replace_file& f)
{
    if (f.fd >= 0) {
        close(f.fd);
        f.fd = -1;
    }
    if (!f.temp.empty()) {
        unlink(f.temp.c_str());
        f.temp.clear();
    }
}

// Makes a rename durable; a folder that cannot be synced changes nothing for the caller.
static void sync_folder_of(const std::string& target)
{
    const size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos || slash == 0 ? std::string("/") : target.substr(0, slash);
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

int PLAT_replace_whole_file(const std::string& path, const std::string& bytes)
{
    std::string target = path;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) PLAT_real_path(path, target);

    bool exists = false;
    mode_t old_mode = 0;
    if (stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (!S_ISREG(st.st_mode)) return EINVAL;
        // A file the user made read-only stays as it is, as it would with writing in place.
        if (access(target.c_str(), W_OK) != 0) return last_error();
        exists = true;
        old_mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return last_error();
    }

    PLAT_replace_file f;
    int err = PLAT_replace_begin(f, target);
    if (!err && exists && fchmod(f.fd, old_mode) != 0) err = last_error();
    if (!err) err = PLAT_replace_write(f, bytes.data(), bytes.size());
    if (!err) err = PLAT_replace_commit(f);
    if (err) return err;
    sync_folder_of(target);
    return 0;
}

int PLAT_real_path(const std::string& path, std::string& out)
{
    char* r = realpath(path.c_str(), nullptr);
    if (!r) return last_error();
    out = r;
    free(r);
    return 0;
}
