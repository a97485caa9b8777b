// Checked sequential file output (see plat_out_file.h).
#include "platform/plat_out_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

int PLAT_out_open(const std::string& path, int& err)
{
    err = 0;
    int fd;
    do {
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) err = errno;
    return fd;
}

int PLAT_out_write(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        data += n;
        size -= (size_t)n;
    }
    return 0;
}

int PLAT_out_close(int fd)
{
    // The descriptor is gone after close whatever it answers, so it is never retried.
    if (close(fd) != 0 && errno != EINTR) return errno;
    return 0;
}
