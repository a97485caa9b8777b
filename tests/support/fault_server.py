#!/usr/bin/env python3
"""An HTTP server on 127.0.0.1 that answers with the faults a download client has to survive.

Usage: fault_server.py <folder>

It listens on a free port and writes that number to <folder>/port once it takes connections.
Every request head it reads is saved, before it answers, as <folder>/req-<seq>-c<conn>.bin
(seq counts requests, conn counts connections). The first path component chooses the answer;
the second, when it is a number, is the body size:

  ok/N          200, Content-Length N, kept alive
  http10/N      HTTP/1.0 200 with Content-Length N, then the connection closes
  http10ka/N    HTTP/1.0 200 with "Connection: keep-alive", kept alive
  http10open/N  HTTP/1.0 200 with Content-Length N and no "Connection" header, yet the server
                keeps the connection open and answers whatever else comes on it
  lower/N       header names in lower case, kept alive
  closetoken/N  "Connection: keep-alive, Close", yet the server keeps reading the connection
  chunked/N     chunked body with a chunk extension and a trailer, kept alive
  short/N       announces N, sends N/2, closes
  nolen/N       no length, body, then close
  half/N        announces N, sends N/2, then waits for the client to go
  stall         reads the request and never answers
  endless       a status line and header lines without end
  missing       404 with a short page, kept alive
  error         500 Internal Server Error with a short page, kept alive
  status/CODE   the status CODE (429 with "Retry-After: 120") with a short page, kept alive
  neglen        Content-Length -5
  hugelen       Content-Length far beyond 64 bits
  emptylen      a Content-Length header with no value, and no body
  dropnext/N    like ok, but the next request on that connection is dropped unanswered
  continue/N    an interim 100 reply with a "Content-Length: 0" of its own, and the 200 reply,
                in one send
  bare/N        "HTTP/1.1 200" without a reason phrase, headers without a blank after ':'
  extra/N[/MS]  200, Content-Length N, and ten stray bytes after the body in the same send; with
                MS, the stray bytes follow on their own MS milliseconds after the reply
  badchunk/N/S  chunked body of one chunk of N bytes whose size line is the size in hex followed
                by the text S, percent-decoded (for example "5x", or "5 x" from "%20x"), then the
                last chunk; kept alive
  endlesschunk  a chunked body whose chunks never end (until the client goes, or 4 GiB)
  slow/N[/MS[/WAIT]]  200, Content-Length N, then the body one byte at a time, every MS
                milliseconds (1000 when not given); with WAIT, the reply begins only after WAIT ms
  held/N        404 with a page of N bytes, which trickles out a byte every 0.2 s until the test
                writes <folder>/release; then the rest comes at once, kept alive
  heldfile/PATH 200 with the bytes of <folder>/files/PATH, trickled out as held does; 404 without it
  cache/PATH    a proxy's cache that kept an older release: <folder>/stale/PATH, unless the request
                carries "Cache-Control: no-cache" and <folder>/fresh/PATH exists; 404 when neither
                file is there; kept alive
  _lookup_10_/  the updater's server list: <folder>/lookup.txt when the test has written it,
                else 503 Service Unavailable

The body of N bytes is byte i = (i * 7 + 3) mod 256. The server ends by itself when its
parent goes or after LIFETIME seconds.
"""
import http.client
import os
import socket
import struct
import sys
import threading
import time
import urllib.parse

LIFETIME = 900
MAX_HEAD = 65536
ENDLESS_LIMIT = 16 * 1024 * 1024

lock = threading.Lock()
counters = {"req": 0, "conn": 0}
folder = ""


def body(n):
    pattern = bytes((i * 7 + 3) % 256 for i in range(256))
    return (pattern * (n // 256 + 1))[:n]


def record(conn_id, head):
    with lock:
        counters["req"] += 1
        seq = counters["req"]
    name = os.path.join(folder, "req-%04d-c%03d.bin" % (seq, conn_id))
    with open(name + ".part", "wb") as f:
        f.write(head)
    os.rename(name + ".part", name)


def read_head(sock, buf):
    """One request head (through the blank line) and the bytes after it; None when the
    client closed or sent nothing sensible."""
    while b"\r\n\r\n" not in buf:
        if len(buf) > MAX_HEAD:
            return None
        try:
            got = sock.recv(65536)
        except OSError:
            return None
        if not got:
            return None
        buf += got
    end = buf.index(b"\r\n\r\n") + 4
    return buf[:end], buf[end:]


def wait_for_close(sock):
    sock.settimeout(LIFETIME)
    try:
        while sock.recv(65536):
            pass
    except OSError:
        pass


def reply(sock, status_line, headers, payload=b""):
    text = status_line + "\r\n" + "".join("%s: %s\r\n" % h for h in headers) + "\r\n"
    sock.sendall(text.encode("latin-1") + payload)


def serve(sock, conn_id, mode, n, path, names, head):
    """Answers one request; False when the connection is to end."""
    if mode == "ok" or mode == "dropnext":
        reply(sock, "HTTP/1.1 200 OK", [("Content-Length", n), ("Content-Type", "application/octet-stream")], body(n))
        return True
    if mode == "http10":
        reply(sock, "HTTP/1.0 200 OK", [("Content-Length", n)], body(n))
        return False
    if mode == "http10open":
        reply(sock, "HTTP/1.0 200 OK", [("Content-Length", n)], body(n))
        return True
    if mode == "http10ka":
        reply(sock, "HTTP/1.0 200 OK", [("Content-Length", n), ("Connection", "keep-alive")], body(n))
        return True
    if mode == "lower":
        reply(sock, "HTTP/1.1 200 OK", [("content-length", n), ("connection", "keep-alive")], body(n))
        return True
    if mode == "closetoken":
        reply(sock, "HTTP/1.1 200 OK", [("Content-Length", n), ("Connection", "keep-alive, Close")], body(n))
        return True
    if mode == "chunked":
        data = body(n)
        out = b""
        pos = 0
        for size in (1, 7, 1000):
            if pos >= len(data):
                break
            piece = data[pos:pos + size]
            ext = ";name=value" if size == 7 else ""
            out += b"%x%s\r\n" % (len(piece), ext.encode()) + piece + b"\r\n"
            pos += len(piece)
        if pos < len(data):
            out += b"%X\r\n" % (len(data) - pos) + data[pos:] + b"\r\n"
        out += b"0\r\nX-Trailer: done\r\n\r\n"
        reply(sock, "HTTP/1.1 200 OK", [("Transfer-Encoding", "chunked")])
        # The framing goes out in small pieces so that it straddles the client's reads.
        for i in range(0, len(out), 5):
            sock.sendall(out[i:i + 5])
            if i < 100:
                time.sleep(0.001)
        return True
    if mode == "short":
        reply(sock, "HTTP/1.1 200 OK", [("Content-Length", n)], body(n // 2))
        return False
    if mode == "nolen":
        reply(sock, "HTTP/1.1 200 OK", [("Content-Type", "text/plain")], body(n))
        return False
    if mode == "half":
        reply(sock, "HTTP/1.1 200 OK", [("Content-Length", n)], body(n // 2))
        wait_for_close(sock)
        return False
    if mode == "stall":
        wait_for_close(sock)
        return False
    if mode == "endless":
        sock.sendall(b"HTTP/1.1 200 OK\r\n")
        sent = 0
        i = 0
        try:
            while sent < ENDLESS_LIMIT:
                line = b"X-Filler-%d: %s\r\n" % (i, b"a" * 200)
                sock.sendall(line)
                sent += len(line)
                i += 1
        except OSError:
            pass
        return False
    if mode == "neglen":
        reply(sock, "HTTP/1.1 200 OK", [("Content-Length", "-5")], b"abcde")
        return True
    if mode == "hugelen":
        reply(sock, "HTTP/1.1 200 OK", [("Content-Length", "99999999999999999999999")], b"abcde")
        return True
    if mode == "emptylen":
        reply(sock, "HTTP/1.1 200 OK", [("Content-Length", "")])
        return True
    if mode == "bare":
        sock.sendall(b"HTTP/1.1 200\r\ncontent-length:%d\r\nConnection:keep-alive \r\n\r\n" % n + body(n))
        return True
    if mode == "extra":
        if len(names) > 2 and names[2].isdigit():
            reply(sock, "HTTP/1.1 200 OK", [("Content-Length", n)], body(n))
            time.sleep(int(names[2]) / 1000.0)
            sock.sendall(b"0123456789")
        else:
            reply(sock, "HTTP/1.1 200 OK", [("Content-Length", n)], body(n) + b"0123456789")
        return True
    if mode == "badchunk":
        suffix = urllib.parse.unquote(names[2]) if len(names) > 2 else ""
        reply(sock, "HTTP/1.1 200 OK", [("Transfer-Encoding", "chunked")],
              b"%x%s\r\n" % (n, suffix.encode("latin-1")) + body(n) + b"\r\n0\r\n\r\n")
        return True
    if mode == "endlesschunk":
        reply(sock, "HTTP/1.1 200 OK", [("Transfer-Encoding", "chunked")])
        piece = b"%x\r\n" % 65536 + body(65536) + b"\r\n"
        try:
            for _ in range(65536):
                sock.sendall(piece)
        except OSError:
            pass
        return False
    if mode == "slow":
        pause = int(names[2]) / 1000.0 if len(names) > 2 and names[2].isdigit() else 1.0
        if len(names) > 3 and names[3].isdigit():
            time.sleep(int(names[3]) / 1000.0)
        reply(sock, "HTTP/1.1 200 OK", [("Content-Length", n)])
        try:
            for b in body(n):
                sock.sendall(bytes([b]))
                time.sleep(pause)
        except OSError:
            pass
        return False
    name = os.path.join(folder, "files", urllib.parse.unquote("/".join(names[1:])))
    if mode == "held" or (mode == "heldfile" and ".." not in names and os.path.isfile(name)):
        page = body(n) if mode == "held" else open(name, "rb").read()
        n = len(page)
        reply(sock, "HTTP/1.1 404 Not Found" if mode == "held" else "HTTP/1.1 200 OK", [("Content-Length", n)])
        sent = 0
        while sent < n - 1 and not os.path.exists(os.path.join(folder, "release")):
            sock.sendall(page[sent:sent + 1])
            sent += 1
            time.sleep(0.2)
        sock.sendall(page[sent:])
        return True
    if mode == "continue":
        sock.sendall(b"HTTP/1.1 100 Continue\r\nContent-Length: 0\r\n\r\n" +
                     b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % n + body(n))
        return True
    if mode == "cache":
        rel = urllib.parse.unquote("/".join(names[1:]))
        fresh = os.path.join(folder, "fresh", rel)
        no_cache = any(h.strip().lower() == "cache-control: no-cache" for h in head.decode("latin-1").split("\r\n"))
        name = fresh if no_cache and os.path.isfile(fresh) else os.path.join(folder, "stale", rel)
        if ".." not in names and os.path.isfile(name):
            with open(name, "rb") as f:
                data = f.read()
            reply(sock, "HTTP/1.1 200 OK", [("Content-Length", len(data))], data)
            return True
    if mode == "_lookup_10_":
        name = os.path.join(folder, "lookup.txt")
        if os.path.exists(name):
            with open(name, "rb") as f:
                data = f.read()
            reply(sock, "HTTP/1.1 200 OK", [("Content-Length", len(data))], data)
        else:
            page = b"busy\n"
            reply(sock, "HTTP/1.1 503 Service Unavailable", [("Content-Length", len(page)), ("Retry-After", "1")], page)
        return True
    if mode == "error":
        reply(sock, "HTTP/1.1 500 Internal Server Error", [("Content-Length", 6)], b"error\n")
        return True
    if mode == "status" and 100 <= n <= 599:
        retry = [("Retry-After", "120")] if n == 429 else []
        reply(sock, "HTTP/1.1 %d %s" % (n, http.client.responses.get(n, "Status")),
              [("Content-Length", 6)] + retry, b"error\n")
        return True
    page = ("no such file: %s\n" % path).encode("latin-1", "replace")
    reply(sock, "HTTP/1.1 404 Not Found", [("Content-Length", len(page)), ("Content-Type", "text/plain")], page)
    return True


def handle(sock, conn_id):
    sock.settimeout(LIFETIME)
    buf = b""
    drop_next = False
    try:
        while True:
            got = read_head(sock, buf)
            if got is None:
                return
            head, buf = got
            record(conn_id, head)
            if drop_next:
                # Ends the connection without a word, as a server whose keep-alive ran out.
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                return
            line = head.split(b"\r\n", 1)[0].decode("latin-1")
            parts = line.split(" ")
            target = parts[1] if len(parts) > 1 else "/"
            if target.startswith("http://"):
                slash = target.find("/", 7)
                target = target[slash:] if slash >= 0 else "/"
            names = [p for p in target.split("/") if p]
            mode = names[0] if names else ""
            n = int(names[1]) if len(names) > 1 and names[1].isdigit() else 0
            if not serve(sock, conn_id, mode, n, target, names, head):
                return
            if mode == "dropnext":
                drop_next = True
    except OSError:
        pass
    finally:
        try:
            sock.close()
        except OSError:
            pass


def watchdog(parent):
    start = time.time()
    while time.time() - start < LIFETIME and os.getppid() == parent:
        time.sleep(0.5)
    os._exit(0)


def main():
    global folder
    folder = sys.argv[1]
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    threading.Thread(target=watchdog, args=(os.getppid(),), daemon=True).start()
    port_file = os.path.join(folder, "port")
    with open(port_file + ".part", "w") as f:
        f.write("%d\n" % listener.getsockname()[1])
    os.rename(port_file + ".part", port_file)
    while True:
        sock, _ = listener.accept()
        with lock:
            counters["conn"] += 1
            conn_id = counters["conn"]
        threading.Thread(target=handle, args=(sock, conn_id), daemon=True).start()


if __name__ == "__main__":
    main()
