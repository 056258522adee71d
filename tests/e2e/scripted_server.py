"""A scripted HTTP server for the end-to-end tests: it listens on 127.0.0.1
at a port the system picks, answers each request by the path in its request
line with a reply chosen by the test, and records the exact bytes of every
request it received, in order.

A reply is one of:
- bytes: sent at once, then the connection is closed;
- CLOSE: the connection is closed without sending anything;
- SILENT: the connection is held open and nothing is ever sent;
- Parts(first, rest): first is sent, then after a pause rest, then close.
"""

import socket
import threading
import time

CLOSE = object()
SILENT = object()


class Parts:
    def __init__(self, first, rest, pause=1.0):
        self.first = first
        self.rest = rest
        self.pause = pause


UNSCRIPTED = b"HTTP/1.1 599 Unscripted path\r\n\r\n"


class ScriptedServer:
    def __init__(self, replies):
        self.replies = dict(replies)
        self.requests = []
        self._held = []
        self._listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._listener.bind(("127.0.0.1", 0))
        self._listener.listen(64)
        self.port = self._listener.getsockname()[1]
        # accept() wakes up now and then to see whether the test is over.
        self._listener.settimeout(0.1)
        self._stopping = threading.Event()
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def stop(self):
        self._stopping.set()
        self._thread.join(timeout=10)
        self._listener.close()
        for conn in self._held:
            conn.close()

    def _serve(self):
        while not self._stopping.is_set():
            try:
                conn, _ = self._listener.accept()
            except socket.timeout:
                continue
            self._answer(conn)

    def _answer(self, conn):
        # hrefcheck sends its whole request before it waits for the reply,
        # and the request ends with an empty line.
        conn.settimeout(5)
        request = b""
        try:
            while b"\r\n\r\n" not in request:
                data = conn.recv(4096)
                if not data:
                    break
                request += data
        except OSError:
            pass
        self.requests.append(request)
        words = request.split(b" ")
        path = words[1].decode("latin-1") if len(words) > 1 else ""
        reply = self.replies.get(path, UNSCRIPTED)
        try:
            if reply is SILENT:
                self._held.append(conn)
                return
            if isinstance(reply, Parts):
                conn.sendall(reply.first)
                time.sleep(reply.pause)
                conn.sendall(reply.rest)
            elif reply is not CLOSE:
                conn.sendall(reply)
        except OSError:
            pass
        conn.close()


def request_bytes(path, host="127.0.0.1"):
    """The exact request hrefcheck sends for a path and a host text."""
    return (b"GET " + path.encode("latin-1") + b" HTTP/1.1\r\nAccept: */*\r\n"
            b"Connection: close\r\nHost: " + host.encode("latin-1") + b"\r\n\r\n")
