#!/usr/bin/env python3
"""Serves the http:// links of the sample site on the loopback, then runs a
command while the server is up, and stops it again.

    cd examples/site && python3 ../serve.py ../../build/hrefcheck

The pages in examples/site/net/ link to http://127.0.0.1:48080/..., and each
path below answers in its own way, so that one run shows every kind of
network entry without any connection leaving the machine. Run without this
server, each of those links is reported as a server that cannot be reached.
"""

import socket
import subprocess
import sys
import threading

PORT = 48080

CLOSE = None  # close the connection without answering

REPLIES = {
    "/": b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
    "/moved": b"HTTP/1.1 301 Moved Permanently\r\nLocation: /\r\n\r\n",
    "/missing.html": b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n",
    "/gone.html": b"HTTP/1.1 410 Gone\r\nContent-Length: 0\r\n\r\n",
    "/teapot": b"HTTP/1.1 418 I'm a teapot\r\nContent-Length: 0\r\n\r\n",
    "/busy": b"HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n",
    "/hangup": CLOSE,
    "/banner": b"SSH-2.0-sample\r\n",
}


def answer(conn):
    conn.settimeout(5)
    request = b""
    try:
        while b"\r\n\r\n" not in request:
            data = conn.recv(4096)
            if not data:
                break
            request += data
        words = request.split(b" ")
        path = words[1].decode("latin-1") if len(words) > 1 else ""
        reply = REPLIES.get(path, REPLIES["/missing.html"])
        if reply is not CLOSE:
            conn.sendall(reply)
    except OSError:
        pass
    conn.close()


def serve(listener, stopping):
    while not stopping.is_set():
        try:
            conn, _ = listener.accept()
        except socket.timeout:
            continue
        answer(conn)


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: serve.py COMMAND [ARGUMENT...]")
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        listener.bind(("127.0.0.1", PORT))
    except OSError as error:
        sys.exit("serve.py: cannot listen on 127.0.0.1:%d: %s" % (PORT, error))
    listener.listen(16)
    listener.settimeout(0.1)
    stopping = threading.Event()
    thread = threading.Thread(target=serve, args=(listener, stopping), daemon=True)
    thread.start()
    try:
        code = subprocess.call(sys.argv[1:])
    finally:
        stopping.set()
        thread.join(timeout=5)
        listener.close()
    sys.exit(code)


if __name__ == "__main__":
    main()
