// Read-only file views on open + mmap (see plat_map.h).
#include "platform/plat_map.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

int PLAT_map_granularity()
{
    long page = sysconf(_SC_PAGESIZE);
    return page > 0 ? (int)page : 4096;
}

int PLAT_view_open(const std::string& path, int& err)
{
    err = 0;
    if (path.empty()) {
        err = ENOENT;
        return -1;
    }
    // O_NONBLOCK so that a named pipe in the place of a data file cannot hang the program.
    int fd;
    do {
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        err = errno;
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0)
        err = errno;
    else if (!S_ISREG(st.st_mode))
        err = ENODEV;
    if (err) {
        close(fd);
        return -1;
    }
    return fd;
}

int PLAT_view_size(int fd, uint64_t& size)
{
    struct stat st;
    if (fstat(fd, &st) != 0) return errno;
    if (st.st_size < 0) return EINVAL;
    size = (uint64_t)st.st_size;
    return 0;
}

const char* PLAT_view_map(int fd, uint64_t offset, uint64_t length, int& err)
{
    err = 0;
    const uint64_t page = (uint64_t)PLAT_map_granularity();
    const uint64_t lead = offset % page;
    if (length == 0 || length > SIZE_MAX - lead || offset > (uint64_t)INT64_MAX) {
        err = EINVAL;
        return nullptr;
    }
    void* p = mmap(nullptr, (size_t)(length + lead), PROT_READ, MAP_PRIVATE, fd, (off_t)(offset - lead));
    if (p == MAP_FAILED) {
        err = errno;
        return nullptr;
    }
    return (const char*)p + lead;
}

void PLAT_view_unmap(const char* first, uint64_t length)
{
    if (!first) return;
    const uintptr_t page = (uintptr_t)PLAT_map_granularity();
    const uintptr_t lead = (uintptr_t)first % page;
    munmap((void*)((uintptr_t)first - lead), (size_t)(length + lead));
}

void PLAT_view_close(int fd)
{
    if (fd >= 0) close(fd);
}

int PLAT_make_one_dir(const std::string& path)
{
    if (path.empty()) return ENOENT;
    return mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
}
