// Non-blocking IPv4 TCP client sockets and host-name look-ups. Addresses are IPv4 values in
// network byte order, ports in host order. Every call answers at once (the look-up excepted)
// and reports failures as errno values; no call ever raises SIGPIPE.
#pragma once
#include <cstdint>

// A new TCP socket, non-blocking, closed on exec, with Nagle's delay off, bound to the any-address
// and the local port (0: the system picks one). The descriptor, or -1 with an errno value in err.
int PLAT_sock_open(uint16_t local_port, int& err);
void PLAT_sock_close(int fd);

// Starts connecting: 0 when connected at once, EINPROGRESS while the connect is under way,
// else the errno value of the failure (ECONNREFUSED among them).
int PLAT_sock_connect(int fd, uint32_t address, uint16_t port);

// Looks, without waiting, whether a connect under way has ended: 0 still under way; 1 ended,
// with err the connect's outcome (0 connected, else its errno value); -1 the look itself failed
// (err its errno value).
int PLAT_sock_connect_result(int fd, int& err);

// One receive / one send: the byte count (0 from a receive: the peer closed in order), or -1
// with err set; EAGAIN means nothing can move now (an interrupted call counts as that too).
long PLAT_sock_recv(int fd, void* buf, unsigned long len, int& err);
long PLAT_sock_send(int fd, const void* buf, unsigned long len, int& err);

// True when the peer of a connected, idle socket has closed or reset it, or has sent bytes that
// nobody asked for: either way the connection cannot carry another request. Reads nothing.
bool PLAT_sock_peer_gone(int fd);

// The value of a dotted IPv4 text ("10.0.0.1" and the older short forms), or 0xFFFFFFFF when
// the text is not one (as for "255.255.255.255" itself).
uint32_t PLAT_ipv4_from_text(const char* text);

// The first IPv4 address the system's resolver gives for the name; 0 when it has none. Blocks
// for as long as the look-up takes.
uint32_t PLAT_lookup_ipv4(const char* name);
