"""End-to-end tests of http:// links: a site whose pages link to a scripted
server on 127.0.0.1, the report files compared byte for byte, and the exact
requests the server received. Links that must fail to resolve are checked in
a private network namespace, so that no lookup leaves the machine."""

import os
import select
import shutil
import socket
import subprocess
import sys
import time
import unittest

from scripted_server import (CLOSE, HANG_UP_MID_REQUEST, RESET, SILENT, Parts, ScriptedServer,
                             Trickle, request_bytes)
from support import (CRLF, HREFCHECK, SiteTest, check_quiet_stderr, console_line, entry,
                     page_list_line, read_if_file, sjis, write)

# The explanations of the codes these tests use, in UTF-8; the expected bytes
# are their CP932 conversion by iconv.
EXPLANATION = {
    404: "ファイルが存在していません。",
    410: "リソースが現在も，そして将来的にも利用不可能です。（完全なリンク切れです）",
    500: "何らかのサーバエラーが発生しました。（サーバが不調か不安定です。リンク切れに近い状態です。）",
    503: "現時点ではサーバはリクエストを処理できません。サーバが過負荷状態かメンテナス中です（一時的なリンク切れ）",
    505: "HTTP/1.1での接続ができませんでした。",
}

BAD_PORT = "http:// の ポート番号の指定がおかしい。"


def http_error(link, status_line, code=None):
    explanation = sjis(EXPLANATION[code]) if code in EXPLANATION else b""
    # A LF inside the status line ends a line in the report, like a line end.
    status_line = status_line.replace(b"\n", CRLF)
    return link.encode() + sjis(" がリンク切れです。") + status_line + b":" + explanation


def connect_failed(link):
    return link.encode() + sjis(" のサーバに接続できません。サーバが存在しないか，インターネットにつながっていません。")


def no_reply(link):
    return link.encode() + sjis(" のサーバが接続を切断しました。不正なリンクかサーバが拒否しています。")


def not_http(link):
    return link.encode() + sjis(" のリンク先はHTTPサーバへの接続ではありません。")


def closed_port():
    """A port on 127.0.0.1 where nothing listens."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class HttpSiteTest(SiteTest):
    """A site of one page, index.html, with one link on each line."""

    def start_server(self, replies):
        server = ScriptedServer(replies)
        self.addCleanup(server.stop)
        return server

    def run_page(self, links, **kwargs):
        write(self.path("index.html"),
              "".join('<a href="%s">link</a>\n' % link for link in links))
        result = self.run_site(**kwargs)
        self.assertEqual(result.page_list, page_list_line(self.site, "index.html"))
        self.assertEqual(result.stdout, console_line(self.site, "index.html"))
        return result

    def expected_log(self, entries):
        """entries: (line number, first line) pairs."""
        return b"".join(entry(first, number, self.site, "index.html")
                        for number, first in entries)


class HttpReplies(HttpSiteTest):
    def test_each_reply_gets_its_entry(self):
        long_reply = b"HTTP/1.1 404 " + b"x" * 2000
        replies = {
            "/ok": b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
            "/moved": b"HTTP/1.1 301 Moved Permanently\r\nLocation: /ok\r\n\r\n",
            "/crlf": b"HTTP/1.1 404 Not Found\r\nServer: t\r\n\r\nbody",
            "/lf": b"HTTP/1.1 410 Gone\nServer: t\n\n",
            "/no-line-end": b"HTTP/1.1 404",
            "/two-spaces": b"HTTP/1.1  404 Not Found\r\n\r\n",
            "/status-on-second-line": b"HTTP/1.1\r\nStatus: 503 Service Unavailable\r\n\r\n",
            "/lf-before-crlf": b"HTTP/1.1 404 Not\nFound\r\nServer: t\r\n\r\n",
            "/closed": CLOSE,
            "/zero-first": b"\0HTTP/1.1 404 Not Found\r\n\r\n",
            "/long": long_reply,
            "/teapot": b"HTTP/1.1 418 I'm a teapot\r\n\r\n",
            "/unavailable": b"HTTP/1.1 503 Service Unavailable\r\n\r\n",
            "/version": b"HTTP/1.1 505 HTTP Version Not Supported\r\n\r\n",
            "/in-parts": Parts(b"HTTP/1.1", b" 404 Not Found\r\n\r\n"),
            "/not-http": b"SSH-2.0-OpenSSH\r\n",
        }
        server = self.start_server(replies)
        paths = list(replies)
        links = [server.url(p) for p in paths]
        result = self.run_page(links)

        line = {p: paths.index(p) + 1 for p in paths}
        url = server.url
        self.assertEqual(result.error_log, self.expected_log([
            (line["/crlf"], http_error(url("/crlf"), b"HTTP/1.1 404 Not Found", 404)),
            (line["/lf"], http_error(url("/lf"), b"HTTP/1.1 410 Gone", 410)),
            (line["/no-line-end"], http_error(url("/no-line-end"), b"HTTP/1.1 404", 404)),
            (line["/status-on-second-line"],
             http_error(url("/status-on-second-line"), b"HTTP/1.1", 503)),
            (line["/lf-before-crlf"],
             http_error(url("/lf-before-crlf"), b"HTTP/1.1 404 Not\nFound", 404)),
            (line["/closed"], no_reply(url("/closed"))),
            (line["/zero-first"], no_reply(url("/zero-first"))),
            # Only 1023 bytes are read, and none of them ends the line.
            (line["/long"], http_error(url("/long"), long_reply[:1023], 404)),
            (line["/teapot"], http_error(url("/teapot"), b"HTTP/1.1 418 I'm a teapot")),
            (line["/unavailable"],
             http_error(url("/unavailable"), b"HTTP/1.1 503 Service Unavailable", 503)),
            (line["/version"],
             http_error(url("/version"), b"HTTP/1.1 505 HTTP Version Not Supported", 505)),
            # The one receive brings only the first part, which holds no space.
            (line["/in-parts"], not_http(url("/in-parts"))),
            (line["/not-http"], not_http(url("/not-http"))),
        ]))
        self.assertEqual(server.requests, [request_bytes(p) for p in paths])

    def test_every_occurrence_is_probed_again(self):
        server = self.start_server({"/gone": b"HTTP/1.1 410 Gone\r\n\r\n"})
        link = server.url("/gone")
        write(self.path("index.html"),
              '<a href="%s">a</a> <a href="%s#top">b</a>\n' % (link, link))
        result = self.run_site()
        first = http_error(link, b"HTTP/1.1 410 Gone", 410)
        self.assertEqual(result.error_log, self.expected_log([(1, first), (1, first)]))
        self.assertEqual(server.requests, [request_bytes("/gone")] * 2)


class HttpPorts(HttpSiteTest):
    def test_port_forms(self):
        server = self.start_server({
            "/": b"HTTP/1.1 404 Not Found\r\n\r\n",
            "/leading-zeros": b"HTTP/1.1 404 Not Found\r\n\r\n",
            "/trailing-letter": b"HTTP/1.1 404 Not Found\r\n\r\n",
            "/two-colons": b"HTTP/1.1 404 Not Found\r\n\r\n",
            "/wrapped": b"HTTP/1.1 404 Not Found\r\n\r\n",
            "/a:b?q=1": b"HTTP/1.1 404 Not Found\r\n\r\n",
        })
        port = server.port
        dead = closed_port()
        cases = [
            # (link, host text in the request or None when nothing is sent, path)
            ("http://127.0.0.1:/empty", None, None),
            ("http://127.0.0.1:abc/letters", None, None),
            ("http://127.0.0.1:0/zero", None, None),
            ("http://127.0.0.1:000%d/leading-zeros" % port, "127.0.0.1", "/leading-zeros"),
            ("http://127.0.0.1:%dx/trailing-letter" % port, "127.0.0.1", "/trailing-letter"),
            ("http://127.0.0.1:%d:82/two-colons" % port, "127.0.0.1", "/two-colons"),
            ("http://127.0.0.1:%d/wrapped" % (port + 65536), "127.0.0.1", "/wrapped"),
            ("http://localhost:%d" % port, "localhost", "/"),
            ("http://127.0.0.1:%d/a:b?q=1" % port, "127.0.0.1", "/a:b?q=1"),
            ("http://127.0.0.1:%d/nobody-listens" % dead, None, None),
        ]
        result = self.run_page([c[0] for c in cases])

        expected = []
        for number, (link, host, path) in enumerate(cases, 1):
            if link.endswith("/nobody-listens"):
                expected.append((number, connect_failed(link)))
            elif host is None:
                expected.append((number, sjis(BAD_PORT)))
            else:
                expected.append((number, http_error(link, b"HTTP/1.1 404 Not Found", 404)))
        self.assertEqual(result.error_log, self.expected_log(expected))
        self.assertEqual(server.requests,
                         [request_bytes(path, host) for _, host, path in cases if host])


def private_network_prefix():
    """A command prefix that runs a program in a new network namespace with
    only the loopback up, or None when that cannot be made here."""
    if not shutil.which("unshare") or not shutil.which("ip"):
        return None
    prefix = ["unshare", "--net", "sh", "-c", 'ip link set lo up && exec "$0"']
    probe = subprocess.run(prefix + ["true"], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    return prefix if probe.returncode == 0 else None


class HttpOffline(HttpSiteTest):
    def test_unresolvable_hosts_fail_to_connect(self):
        prefix = private_network_prefix()
        if prefix is None:
            self.skipTest("no private network namespace (unshare and ip, as root)")
        links = [
            "http://x",                        # 8 bytes: probed, with host text "x"
            "http:///x",                       # empty host text
            "http://host?q=1",                 # the host text is host?q=1
            "http://no-such-host.invalid/a.html",
        ]
        result = self.run_page(links, prefix=prefix)
        self.assertEqual(result.error_log, self.expected_log(
            [(number, connect_failed(link)) for number, link in enumerate(links, 1)]))


def full_accept_queue():
    """A listener on 127.0.0.1 that never accepts, with its accept queue
    full, so that a further connection attempt gets no answer at all, as
    behind a silent firewall. Gives its port; the sockets stay open until the
    test ends."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(0)
    held = [listener]
    for _ in range(32):
        filler = socket.socket()
        filler.setblocking(False)
        held.append(filler)
        try:
            filler.connect(listener.getsockname())
        except BlockingIOError:
            pass
        if not select.select([], [filler], [], 0.5)[1]:
            return listener.getsockname()[1], held
    raise AssertionError("the accept queue never filled up")


class HostileServers(HttpSiteTest):
    def test_each_hostile_server_gets_its_entry_within_the_bounds(self):
        # Two rows wait out the 15-second bound once each: the receive from
        # the silent server and the connection attempt to the full queue.
        not_found = b"HTTP/1.1 404 Not Found\r\n\r\n"
        server = self.start_server({
            "/silent": SILENT,
            "/reset": RESET,
            "/trickle": Trickle(not_found),
            "/ten-megabytes": b"HTTP/1.1 404 Not Found\r\n" + b"x" * (10 * 1024 * 1024),
            "/hang-up-mid-request": HANG_UP_MID_REQUEST,
            "/binary": b"HTTP/1.1 500 \x1a\xff\xfe\r\x00 after the zero\r\n",
            "/after": not_found,
        })
        never_accepts, held = full_accept_queue()
        self.addCleanup(lambda: [s.close() for s in held])
        url = server.url
        table = [
            # (link, first line of its entry)
            (url("/silent"), no_reply(url("/silent"))),
            (url("/reset"), no_reply(url("/reset"))),
            # The one receive brings the first byte alone, and it holds no space.
            (url("/trickle"), not_http(url("/trickle"))),
            # Only the first 1023 bytes are read.
            (url("/ten-megabytes"),
             http_error(url("/ten-megabytes"), b"HTTP/1.1 404 Not Found", 404)),
            (url("/hang-up-mid-request"), no_reply(url("/hang-up-mid-request"))),
            ("http://127.0.0.1:%d/never-accepted" % never_accepts,
             connect_failed("http://127.0.0.1:%d/never-accepted" % never_accepts)),
            # The reply text ends at the zero byte, the status line at the CR.
            (url("/binary"), http_error(url("/binary"), b"HTTP/1.1 500 \x1a\xff\xfe", 500)),
            # The server still answers after all that.
            (url("/after"), http_error(url("/after"), b"HTTP/1.1 404 Not Found", 404)),
        ]
        start = time.monotonic()
        result = self.run_page([link for link, _ in table], timeout=2 * 15 + 30)
        elapsed = time.monotonic() - start
        self.assertEqual(result.error_log, self.expected_log(
            [(number, first) for number, (_, first) in enumerate(table, 1)]))
        # It waited for the reply and for the connection, then gave up.
        self.assertGreaterEqual(elapsed, 2 * 15 - 1)
        self.assertEqual(server.requests, [
            request_bytes("/silent"), request_bytes("/reset"), request_bytes("/trickle"),
            request_bytes("/ten-megabytes"), b"GET /hang-up-mid-request HTTP/1.1\r\n",
            request_bytes("/binary"), request_bytes("/after")])

    def test_ten_thousand_failing_links_leave_no_descriptor_open(self):
        # The server counts hrefcheck's open descriptors while it waits for
        # the reply to the first link, and again for the last one: the same
        # things are open then (the report files, the page, the socket).
        pid = []
        counts = {}

        def count_descriptors(request):
            deadline = time.monotonic() + 10
            while not pid and time.monotonic() < deadline:
                time.sleep(0.01)
            path = request.split(b" ")[1].decode()
            counts[path] = len(os.listdir("/proc/%d/fd" % pid[0]))
            return b"HTTP/1.1 404 Not Found\r\n\r\n"

        server = self.start_server({"/first": count_descriptors, "/last": count_descriptors,
                                    "/closed": CLOSE})
        dead = "http://127.0.0.1:%d/refused" % closed_port()
        failing = [server.url("/closed") if i % 4 == 3 else dead for i in range(10000)]
        links = [server.url("/first")] + failing + [server.url("/last")]
        write(self.path("index.html"),
              "".join('<a href="%s">link</a>\n' % link for link in links))

        process = subprocess.Popen([HREFCHECK], cwd=self.site, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE)
        pid.append(process.pid)
        _, stderr = process.communicate(timeout=300)
        self.assertEqual(process.returncode, 0)
        check_quiet_stderr(stderr)

        first = http_error(server.url("/first"), b"HTTP/1.1 404 Not Found", 404)
        last = http_error(server.url("/last"), b"HTTP/1.1 404 Not Found", 404)
        expected = [(1, first)]
        expected += [(number, connect_failed(link) if link == dead else no_reply(link))
                     for number, link in enumerate(failing, 2)]
        expected.append((len(links), last))
        self.assertEqual(read_if_file(self.path("href-err.log")), self.expected_log(expected))
        self.assertEqual(set(counts), {"/first", "/last"})
        self.assertLessEqual(counts["/last"], counts["/first"])


EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples")


class HttpSample(SiteTest):
    def test_sample_network_links_with_the_sample_server(self):
        # The README runs the sample site under examples/serve.py; its
        # network page must show each kind of network entry.
        shutil.copytree(os.path.join(EXAMPLES, "site", "net"), self.path("net"))
        with open(self.path("net", "index.html"), "rb") as f:
            page_lines = f.read().split(b"\n")

        def line_of(link):
            for number, text in enumerate(page_lines, 1):
                if b'"' + link.encode() + b'"' in text or b'"' + link.encode() + b"#" in text:
                    return number
            self.fail("the sample page has no link " + link)

        base = "http://127.0.0.1:48080"
        expected = [
            (base + "/missing.html", b"HTTP/1.1 404 Not Found", 404),
            (base + "/gone.html", b"HTTP/1.1 410 Gone", 410),
            (base + "/teapot", b"HTTP/1.1 418 I'm a teapot", None),
            (base + "/busy", b"HTTP/1.1 503 Service Unavailable", 503),
        ]
        entries = [(line_of(link), http_error(link, status, code))
                   for link, status, code in expected]
        entries += [
            (line_of(base + "/hangup"), no_reply(base + "/hangup")),
            (line_of(base + "/banner"), not_http(base + "/banner")),
            (line_of("http://127.0.0.1:0/"), sjis(BAD_PORT)),
            (line_of("http://127.0.0.1:1/"), connect_failed("http://127.0.0.1:1/")),
        ]
        result = self.run_site(prefix=[sys.executable, os.path.join(EXAMPLES, "serve.py")])
        net = self.path("net")
        self.assertEqual(result.error_log, b"".join(
            entry(first, number, net, "index.html") for number, first in sorted(entries)))
        self.assertEqual(result.page_list, page_list_line(net, "index.html"))


if __name__ == "__main__":
    unittest.main()
