// Whole-file replacement of small settings files (see plat_pref_write.h).
#include "platform/plat_pref_write.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void (*PLAT_pref_replace_hook)(const std::string& temp_path) = nullptr;

static int write_all(int fd, const std::string& bytes)
{
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        p += n;
        left -= (size_t)n;
    }
    return 0;
}

// A fresh, hidden file beside the target. The name is new for every attempt, so two savers
// never share one and a file left by a killed process is never reopened.
static int create_temp(const std::string& target, std::string& temp)
{
    static unsigned counter = 0;
    const size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = dir + "." + base + ".save-" + std::to_string((long)getpid()) + "-" + std::to_string(++counter);
        int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) return -errno;
    }
    return -EEXIST;
}

// Makes the rename itself durable; a folder that cannot be synced changes nothing for the caller.
static void sync_folder_of(const std::string& target)
{
    const size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos || slash == 0 ? std::string("/") : target.substr(0, slash);
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

int PLAT_pref_replace_file(const std::string& path, const std::string& bytes)
{
    std::string target = path;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char real[PATH_MAX];
        if (realpath(path.c_str(), real)) target = real;
    }

    bool exists = false;
    mode_t old_mode = 0;
    if (stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (!S_ISREG(st.st_mode)) return EINVAL;
        // A file the user made read-only stays as it is, as it would with writing in place.
        if (access(target.c_str(), W_OK) != 0) return errno;
        exists = true;
        old_mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return errno;
    }

    std::string temp;
    int fd = create_temp(target, temp);
    if (fd < 0) return -fd;

    int err = 0;
    if (exists && fchmod(fd, old_mode) != 0) err = errno;
    if (!err) err = write_all(fd, bytes);
    if (!err && fsync(fd) != 0) err = errno;
    if (close(fd) != 0 && !err) err = errno;
    if (!err && PLAT_pref_replace_hook) PLAT_pref_replace_hook(temp);
    if (!err && rename(temp.c_str(), target.c_str()) != 0) err = errno;
    if (err) {
        unlink(temp.c_str());
        return err;
    }
    sync_folder_of(target);
    return 0;
}
