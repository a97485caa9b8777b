// Non-blocking IPv4 TCP sockets on POSIX (see plat_socket.h).
#include "platform/plat_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

int PLAT_sock_open(uint16_t local_port, int& err)
{
    err = 0;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        err = errno;
        return -1;
    }
    int one = 1;
    (void)setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(local_port);
    if (bind(fd, (const sockaddr*)&a, sizeof a) != 0) {
        err = errno;
        close(fd);
        return -1;
    }
    return fd;
}

void PLAT_sock_close(int fd)
{
    if (fd >= 0) close(fd);
}

int PLAT_sock_connect(int fd, uint32_t address, uint16_t port)
{
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = address;
    a.sin_port = htons(port);
    if (connect(fd, (const sockaddr*)&a, sizeof a) == 0) return 0;
    // An interrupted connect goes on in the background, like one under way.
    if (errno == EINTR) return EINPROGRESS;
    return errno;
}

int PLAT_sock_connect_result(int fd, int& err)
{
    err = 0;
    pollfd p = {fd, POLLOUT, 0};
    int n = poll(&p, 1, 0);
    if (n < 0) {
        if (errno == EINTR) return 0;
        err = errno;
        return -1;
    }
    if (n == 0) return 0;
    // Writable or in error: the connect has ended; its outcome is the socket's pending error,
    // since a refused connect also reports the socket writable.
    int so = 0;
    socklen_t len = sizeof so;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &so, &len) != 0) {
        err = errno;
        return -1;
    }
    if (so == 0 && (p.revents & (POLLERR | POLLHUP))) so = ECONNREFUSED;
    err = so;
    return 1;
}

long PLAT_sock_recv(int fd, void* buf, unsigned long len, int& err)
{
    err = 0;
    ssize_t n = recv(fd, buf, len, 0);
    if (n >= 0) return (long)n;
    err = (errno == EINTR || errno == EWOULDBLOCK) ? EAGAIN : errno;
    return -1;
}

long PLAT_sock_send(int fd, const void* buf, unsigned long len, int& err)
{
    err = 0;
    ssize_t n = send(fd, buf, len, MSG_NOSIGNAL);
    if (n >= 0) return (long)n;
    err = (errno == EINTR || errno == EWOULDBLOCK) ? EAGAIN : errno;
    return -1;
}

bool PLAT_sock_peer_gone(int fd)
{
    pollfd p = {fd, POLLIN | POLLRDHUP, 0};
    int n = poll(&p, 1, 0);
    if (n < 0) return errno != EINTR;
    if (n == 0) return false;
    char c;
    ssize_t got = recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got < 0) return !(errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
    return true; // closed (0) or unasked-for bytes (1)
}

uint32_t PLAT_ipv4_from_text(const char* text)
{
    return inet_addr(text);
}

uint32_t PLAT_lookup_ipv4(const char* name)
{
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &res) != 0 || !res) return 0;
    uint32_t out = 0;
    for (addrinfo* r = res; r; r = r->ai_next) {
        if (r->ai_family == AF_INET && r->ai_addr && r->ai_addrlen >= sizeof(sockaddr_in)) {
            out = ((const sockaddr_in*)r->ai_addr)->sin_addr.s_addr;
            break;
        }
    }
    freeaddrinfo(res);
    return out;
}
