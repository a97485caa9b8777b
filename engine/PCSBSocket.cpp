// The non-blocking TCP socket and the name look-up (see PCSBSocket.h).
#include "engine/PCSBSocket.h"

#include "platform/plat_socket.h"

#include <cerrno>

PCSBSocket::PCSBSocket(uint16_t local_port)
{
    int err = 0;
    handle = PLAT_sock_open(local_port, err);
    if (handle < 0) {
        state = sock_error;
        last_error = err;
    }
}

PCSBSocket::~PCSBSocket()
{
    PLAT_sock_close(handle);
}

int32_t PCSBSocket::SOCK_connect(uint32_t address, uint16_t port)
{
    if (handle < 0) {
        state = sock_error;
        last_error = EBADF;
        return EBADF;
    }
    state = sock_connecting;
    int r = PLAT_sock_connect(handle, address, port);
    if (r == 0) {
        state = sock_connected;
    } else if (r != EINPROGRESS) {
        // A refusal can come back at once on this system; it is an error like one seen later.
        state = sock_error;
        last_error = r;
    }
    return r;
}

uint8_t PCSBSocket::SOCK_poll()
{
    if (state != sock_connecting) return state;
    int err = 0;
    int r = PLAT_sock_connect_result(handle, err);
    if (r > 0) {
        if (err == 0) {
            state = sock_connected;
        } else {
            state = sock_error;
            last_error = err;
        }
    } else if (r < 0) {
        state = sock_error;
        last_error = err;
    }
    return state;
}

// Errors after which the connection is simply over, rather than broken by a fault of our own.
static bool is_close_error(int err, bool sending)
{
    switch (err) {
    case ECONNABORTED:
    case ECONNRESET:
    case ENOTCONN:
    case ETIMEDOUT:
        return true;
    case EPIPE:
    case ESHUTDOWN:
        return sending;
    default:
        return false;
    }
}

// A read or write that failed: the peer's close ends the socket as closed, any other error is
// kept with it. Always -1, the answer of the failed call.
static int32_t failed_transfer(PCSBSocket& s, int err, bool sending)
{
    if (is_close_error(err, sending)) {
        s.state = sock_closed;
    } else {
        s.state = sock_error;
        s.last_error = err;
    }
    return -1;
}

int32_t PCSBSocket::SOCK_read(void* buf, uint32_t length)
{
    int err = 0;
    long n = PLAT_sock_recv(handle, buf, length, err);
    if (n > 0) return (int32_t)n;
    if (n == 0) {
        if (length > 0) at_eof = 1;
        return 0;
    }
    if (err == EAGAIN) return 0;
    return failed_transfer(*this, err, false);
}

int32_t PCSBSocket::SOCK_write(const void* buf, uint32_t length)
{
    int err = 0;
    long n = PLAT_sock_send(handle, buf, length, err);
    if (n >= 0) return (int32_t)n;
    if (err == EAGAIN) return 0;
    return failed_transfer(*this, err, true);
}

bool PCSBSocket::SOCK_peer_gone() const
{
    return handle < 0 || PLAT_sock_peer_gone(handle);
}

bool SOCK_startup()
{
    return true;
}

uint32_t SOCK_resolve(const char* name)
{
    uint32_t a = PLAT_ipv4_from_text(name);
    if (a != 0xFFFFFFFFu) return a;
    return PLAT_lookup_ipv4(name);
}
