// The program's one network endpoint: an IPv4 TCP client socket in non-blocking mode, driven
// by polling from the main thread, with the name look-up the HTTP client uses beside it.
#pragma once
#include <cstdint>

enum sock_state : uint8_t {
    sock_created = 1,    // exists and is bound, no connect issued
    sock_connecting = 2, // a connect is under way
    sock_connected = 3,  // data can be sent and received
    sock_closed = 4,     // reset, aborted, timed out or no longer connected
    sock_error = 5       // a system call failed (a refused connect too); last_error holds why
};

class PCSBSocket {
public:
    int handle = -1;         // the descriptor; -1 when it could not be made
    uint8_t state = sock_created;
    int32_t last_error = 0;  // errno value recorded with sock_error; a change to sock_closed keeps it
    uint8_t at_eof = 0;      // the peer closed its sending side in order

    // SOCK_create: makes and binds the socket (local port 0: the system picks one); sock_error
    // when it cannot.
    explicit PCSBSocket(uint16_t local_port);
    virtual ~PCSBSocket();
    PCSBSocket(const PCSBSocket&) = delete;
    PCSBSocket& operator=(const PCSBSocket&) = delete;

    // Starts connecting: sock_connecting, sock_connected when the system connects at once, or
    // sock_error with the reason. Answers 0 or the errno value.
    int32_t SOCK_connect(uint32_t address, uint16_t port);
    // Advances a connect under way (no system call in any other state) and answers the state.
    // A connect that ends in failure (refused among them) gives sock_error with the reason.
    uint8_t SOCK_poll();
    // One receive: the byte count; 0 when nothing waits or the peer closed in order (at_eof is
    // set then); -1 when the connection ended (sock_closed) or failed (sock_error).
    int32_t SOCK_read(void* buf, uint32_t length);
    // One send: the bytes taken (maybe fewer than asked), 0 when the send would wait, -1 as for
    // SOCK_read. A peer that is gone never raises a signal.
    int32_t SOCK_write(const void* buf, uint32_t length);
    // True when the peer of this idle connection has closed or reset it, or sent bytes nobody
    // asked for; reads nothing.
    bool SOCK_peer_gone() const;
    int32_t SOCK_get_error() const { return last_error; }
    uint8_t SOCK_at_eof() const { return at_eof; }
};

// Nothing to start on this system; true.
bool SOCK_startup();
// A dotted IPv4 text is taken as it stands without a look-up (except 255.255.255.255, which goes
// to the resolver); any other name is looked up. 0 when the name is not found.
uint32_t SOCK_resolve(const char* name);
