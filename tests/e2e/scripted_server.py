"""A scripted HTTP server for the end-to-end tests: it listens on 127.0.0.1
at a port the system picks, answers each request by the path in its request
line with a reply chosen by the test, and records the exact bytes of every
request it received, in order.

A reply is one of:
- bytes: sent at once, then the connection is closed;
- CLOSE: the connection is closed without sending anything;
- SILENT: the connection is held open and nothing is ever sent;
- RESET: the connection is reset (SO_LINGER with a zero time-out, so the
  close sends RST), without sending anything;
- HANG_UP_MID_REQUEST: only the request line is read, and the connection is
  closed with the rest of the request unread;
- Parts(first, rest): first is sent, then after a pause rest, then close;
- Trickle(data): data is sent one byte at a time, a second apart, until it is
  all sent or the peer has gone;
- a function: called with the request, it gives one of the above.

Each connection is answered on a thread of its own, so a slow reply holds up
no other connection.
"""

import socket
import struct
import threading
import time

CLOSE = object()
SILENT = object()
RESET = object()
HANG_UP_MID_REQUEST = object()


class Parts:
    def __init__(self, first, rest, pause=1.0):
        self.first = first
        self.rest = rest
        self.pause = pause


class Trickle:
    def __init__(self, data, pause=1.0):
        self.data = data
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
            threading.Thread(target=self._answer, args=(conn,), daemon=True).start()

    @staticmethod
    def _read(conn, request, end, one_byte_at_a_time=False):
        """Reads until request holds end; nothing past it when reading one
        byte at a time."""
        try:
            while end not in request:
                data = conn.recv(1 if one_byte_at_a_time else 4096)
                if not data:
                    break
                request += data
        except OSError:
            pass
        return request

    def _answer(self, conn):
        # hrefcheck sends its whole request before it waits for the reply,
        # and the request ends with an empty line. The request line names the
        # path, and so the reply; it is read alone so that the rest can be
        # left unread.
        conn.settimeout(5)
        request = self._read(conn, b"", b"\r\n", one_byte_at_a_time=True)
        words = request.split(b" ")
        path = words[1].decode("latin-1") if len(words) > 1 else ""
        reply = self.replies.get(path, UNSCRIPTED)
        if reply is not HANG_UP_MID_REQUEST:
            request = self._read(conn, request, b"\r\n\r\n")
        self.requests.append(request)
        if callable(reply):
            reply = reply(request)
        try:
            if reply is SILENT:
                self._held.append(conn)
                return
            if reply is RESET:
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            elif isinstance(reply, Parts):
                conn.sendall(reply.first)
                time.sleep(reply.pause)
                conn.sendall(reply.rest)
            elif isinstance(reply, Trickle):
                for i in range(len(reply.data)):
                    conn.sendall(reply.data[i:i + 1])
                    time.sleep(reply.pause)
            elif isinstance(reply, bytes):
                conn.sendall(reply)
        except OSError:
            pass
        conn.close()


def request_bytes(path, host="127.0.0.1"):
    """The exact request hrefcheck sends for a path and a host text."""
    return (b"GET " + path.encode("latin-1") + b" HTTP/1.1\r\nAccept: */*\r\n"
            b"Connection: close\r\nHost: " + host.encode("latin-1") + b"\r\n\r\n")
