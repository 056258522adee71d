"""Shared helpers of the end-to-end tests: build a site in a fresh temporary
directory, run the real hrefcheck binary there, and read its three outputs.

Expected Japanese texts are converted with iconv (UTF-8 to CP932), never taken
from the program itself.
"""

import os
import shutil
import subprocess
import tempfile
import unittest

HREFCHECK = os.environ.get("HREFCHECK", "")

# "windows" when HREFCHECK runs the Windows build (under Wine). The program
# then sees the disk through Windows: the start directory is Z:\tmp\... with
# backslashes, and names stored as UTF-8 on the Linux disk are Shift_JIS
# (code page 932) in its view.
WINDOWS = os.environ.get("HREFCHECK_PLATFORM") == "windows"


def posix_only(reason):
    """Skips a case in the Windows build, for the reason given."""
    return unittest.skipIf(WINDOWS, "not on Windows: " + reason)

CRLF = b"\r\n"

_sjis_cache = {}


def sjis(text):
    """The CP932 bytes of a UTF-8 text, as iconv converts them."""
    if text not in _sjis_cache:
        _sjis_cache[text] = subprocess.run(
            ["iconv", "-f", "UTF-8", "-t", "CP932"],
            input=text.encode("utf-8"), stdout=subprocess.PIPE, check=True).stdout
    return _sjis_cache[text]


def as_bytes(piece):
    return piece if isinstance(piece, bytes) else sjis(piece)


def text(data):
    """A written text: every LF inside it becomes CR LF."""
    return data.replace(b"\n", CRLF)


def line(*pieces):
    """One report line: the pieces (str pieces converted to CP932) and CR LF."""
    return text(b"".join(as_bytes(p) for p in pieces)) + CRLF


def trailer(line_number, directory, page):
    """The four lines that close every problem entry."""
    return (line(b"%d" % line_number, " 行目↑です") + line(as_path(directory)) +
            line(b"\t", as_path(page)) + CRLF)


def entry(first_line, line_number, directory, page):
    """A whole problem entry: its first line (bytes, without CR LF) and trailer."""
    return first_line + CRLF + trailer(line_number, directory, page)


def deep_directory(depth, directory):
    return (line("警告：深い階層です") +
            line(b"%d" % depth, "階層目です。", as_path(directory)) + CRLF)


def page_list_line(directory, page):
    return line(as_path(directory), b"\\", as_path(page))


def console_line(directory, page):
    return line(as_path(directory), b"/", as_path(page), "をチェック中...")


def as_path(p):
    """A path or name on the disk (str, or bytes as stored) as the program
    writes it: the same bytes on Linux; on Windows, an absolute path is on
    drive Z: with backslashes, and the whole text is in code page 932."""
    if not WINDOWS:
        return os.fsencode(p) if isinstance(p, str) else p
    p = os.fsdecode(p) if isinstance(p, bytes) else p
    if p.startswith("/"):
        p = "Z:" + p.replace("/", "\\")
    return sjis(p)


def on_disk(name):
    """The disk bytes of a name that the program is to see as the given
    bytes: the same on Linux; on Windows, Wine stores a code page 932 name
    as UTF-8 (converted by iconv, like the expected texts)."""
    if not WINDOWS:
        return name
    return subprocess.run(["iconv", "-f", "CP932", "-t", "UTF-8"], input=name,
                          stdout=subprocess.PIPE, check=True).stdout


def write(path, data=b""):
    """Writes a file (str data as UTF-8 text), creating its directories."""
    path = os.fsencode(path)
    os.makedirs(os.path.dirname(path) or b".", exist_ok=True)
    with open(path, "wb") as f:
        f.write(data.encode("utf-8") if isinstance(data, str) else data)


class Run:
    """What one run left: exit code, console bytes and the two report files
    (None for a report file that does not exist as a regular file)."""

    def __init__(self, returncode, stdout, error_log, page_list):
        self.returncode = returncode
        self.stdout = stdout
        self.error_log = error_log
        self.page_list = page_list


def run_hrefcheck(directory, args=(), timeout=120, env=None, prefix=()):
    """Runs hrefcheck with directory as the start directory."""
    result = subprocess.run(
        list(prefix) + [HREFCHECK] + list(args), cwd=directory,
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout, env=env)
    check_quiet_stderr(result.stderr)
    return Run(result.returncode, result.stdout,
               read_if_file(os.path.join(directory, "href-err.log")),
               read_if_file(os.path.join(directory, "file-list.txt")))


def check_quiet_stderr(stderr):
    """hrefcheck never writes to standard error, so anything there (such as a
    sanitizer's report in a sanitizer build) fails the test."""
    if stderr:
        raise AssertionError("hrefcheck wrote to standard error:\n" +
                             stderr.decode("utf-8", "replace"))


def read_if_file(path):
    if not os.path.isfile(path):
        return None
    with open(path, "rb") as f:
        return f.read()


class SiteTest(unittest.TestCase):
    """A test case with a fresh, real (symlink-free) temporary start directory
    in self.site, removed afterwards."""

    def setUp(self):
        if not HREFCHECK:
            self.skipTest("HREFCHECK is not set")
        self.site = os.path.realpath(tempfile.mkdtemp(prefix="hrefcheck-e2e-"))
        self.addCleanup(shutil.rmtree, self.site, ignore_errors=True)

    def path(self, *parts):
        """A path below the start directory; the start directory itself when
        parts are empty."""
        return os.path.join(self.site, *parts) if any(parts) else self.site

    def run_site(self, **kwargs):
        result = run_hrefcheck(self.site, **kwargs)
        self.assertEqual(result.returncode, 0)
        return result
