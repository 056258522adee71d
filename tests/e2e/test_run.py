"""The whole run: walk order, the three outputs, the deep-directory warning,
and what happens when a report file cannot be opened or written."""

import os
import random
import re
import shutil
import signal
import subprocess
import time
import unittest

from support import (HREFCHECK, WINDOWS, SiteTest, check_quiet_stderr, console_line,
                     deep_directory, entry, on_disk, page_list_line, posix_only, read_if_file,
                     run_hrefcheck, sjis, write)


class RunTest(SiteTest):

    def test_walks_depth_first_in_search_order(self):
        for page in ["b.html", "a.htm", "TOP.HTML", "d.shtml", "noext", "Z/z.html",
                     "old.html/in.html", ".git/g.htm", "a/b/c/d/deep.html",
                     "a/b/c/d/DEEP2.htm", "a/b/c/x.html", "a/b/c/e/f/five.html",
                     "a/b/c/e/f/g/h/eight.html"]:
            write(self.path(page), "<p>no links</p>\n")
        write(self.path("a/b/c/d/bad.html"), '<a href="gone.html">\n')
        # Pages first, then the warning, then the subdirectories, each walked
        # whole; names sorted with letters upper-cased.
        order = [("", "a.htm"), ("", "b.html"), ("", "TOP.HTML"), (".git", "g.htm"),
                 ("a/b/c", "x.html"), ("a/b/c/d", "bad.html"), ("a/b/c/d", "deep.html"),
                 ("a/b/c/d", "DEEP2.htm"), ("a/b/c/e/f", "five.html"),
                 ("a/b/c/e/f/g/h", "eight.html"), ("old.html", "in.html"), ("Z", "z.html")]
        if WINDOWS:
            # Wine's '?' never matches nothing at the end of a name, so
            # "*.htm?" passes over the .htm pages there (Windows scans them).
            order = [(d, p) for d, p in order if not p.lower().endswith(".htm")]
        expected_console = b"".join(console_line(self.path(d), p) for d, p in order)
        expected_list = b"".join(page_list_line(self.path(d), p) for d, p in order)
        d = self.path("a/b/c/d")
        expected_log = (
            entry(b"gone.html" + sjis("\tがリンク切れです"), 1, d, "bad.html") +
            deep_directory(4, d) +
            deep_directory(5, self.path("a/b/c/e/f")) +
            deep_directory(7, self.path("a/b/c/e/f/g/h")))

        for args in ([], ["--help", "x"]):  # arguments make no difference
            with self.subTest(args=args):
                run = self.run_site(args=args)
                self.assertEqual(run.stdout, expected_console)
                self.assertEqual(run.page_list, expected_list)
                self.assertEqual(run.error_log, expected_log)

    def test_empty_site_gives_two_empty_files(self):
        write(self.path("href-err.log"), "old run\r\n")
        write(self.path("file-list.txt"), "old run\r\n")
        run = self.run_site()
        self.assertEqual((run.stdout, run.error_log, run.page_list), (b"", b"", b""))

    def test_names_come_out_byte_for_byte(self):
        # Spaces, a Shift_JIS character whose second byte is 0x5C, and a LF,
        # which ends a line in the report files like any LF in a written text.
        # The names are the program's bytes; on_disk gives their stored form.
        names = [b"with space", b"\x95\x5c dir"]
        if not WINDOWS:  # a Windows name cannot hold a LF
            names.append(b"new\nline")
        site = os.fsencode(self.site)
        for name in names:
            write(os.path.join(site, on_disk(name), on_disk(name + b".html")), "x\n")
        run = self.run_site()
        ordered = sorted(names, key=lambda n: (n.upper(), n))
        self.assertEqual(run.page_list, b"".join(
            page_list_line(os.path.join(site, on_disk(n)), on_disk(n + b".html"))
            for n in ordered))
        self.assertEqual(run.stdout, b"".join(
            console_line(os.path.join(site, on_disk(n)), on_disk(n + b".html"))
            for n in ordered))

    def test_unopenable_error_log_leaves_the_rest_working(self):
        os.mkdir(self.path("href-err.log"))
        write(self.path("p.html"), '<a href="gone.html">\n')
        run = self.run_site()
        self.assertTrue(os.path.isdir(self.path("href-err.log")))
        self.assertEqual(run.page_list, page_list_line(self.site, "p.html"))
        self.assertEqual(run.stdout, console_line(self.site, "p.html"))

    # Under Wine too: the page list is a link to /dev/full, whose writes fail.
    def test_full_disk_page_list_neither_crashes_nor_stops_the_run(self):
        os.symlink("/dev/full", self.path("file-list.txt"))
        write(self.path("a.html"), '<a href="gone.html">\n')
        write(self.path("sub/b.html"), '<a href="gone.html">\n')
        run = self.run_site()
        self.assertEqual(run.stdout, console_line(self.site, "a.html") +
                         console_line(self.path("sub"), "b.html"))
        missing = b"gone.html" + sjis("\tがリンク切れです")
        self.assertEqual(run.error_log, entry(missing, 1, self.site, "a.html") +
                         entry(missing, 1, self.path("sub"), "b.html"))

        # With the error log and the console on the full disk as well, the
        # run still ends normally.
        os.remove(self.path("href-err.log"))
        os.symlink("/dev/full", self.path("href-err.log"))
        with open("/dev/full", "wb") as full:
            process = subprocess.run([HREFCHECK], cwd=self.site, stdout=full,
                                     stderr=subprocess.PIPE, timeout=60)
        self.assertEqual(process.returncode, 0)
        check_quiet_stderr(process.stderr)

    @unittest.skipUnless(os.geteuid() == 0, "needs root to switch to an unprivileged user")
    @posix_only("Wine will not run under a user who does not own its prefix")
    def test_unwritable_start_directory_as_unprivileged_user(self):
        write(self.path("p.html"), '<a href="gone.html">\n')
        write(self.path("href-err.log"), b"earlier run\r\n")
        os.chmod(self.path("href-err.log"), 0o444)
        os.chmod(self.site, 0o555)
        self.addCleanup(os.chmod, self.site, 0o755)
        run = run_hrefcheck(self.site, prefix=["setpriv", "--reuid=65534", "--regid=65534",
                                               "--clear-groups", "--"])
        self.assertEqual(run.returncode, 0)
        self.assertEqual(run.stdout, console_line(self.site, "p.html"))
        self.assertEqual(run.error_log, b"earlier run\r\n")
        self.assertIsNone(run.page_list)

    @unittest.skipUnless(os.geteuid() == 0, "needs root to switch to an unprivileged user")
    @posix_only("Wine will not run under a user who does not own its prefix")
    def test_unreadable_page_is_announced_and_yields_no_lines(self):
        write(self.path("a.html"), '<a href="gone.html">\n')
        write(self.path("b.html"), '<a href="gone.html">\n')
        os.chmod(self.path("b.html"), 0)
        os.chown(self.site, 65534, 65534)
        run = run_hrefcheck(self.site, prefix=["setpriv", "--reuid=65534", "--regid=65534",
                                               "--clear-groups", "--"])
        self.assertEqual(run.returncode, 0)
        self.assertEqual(run.stdout, console_line(self.site, "a.html") +
                         console_line(self.site, "b.html"))
        self.assertEqual(run.error_log, entry(b"gone.html" + sjis("\tがリンク切れです"), 1,
                                              self.site, "a.html"))


class NothingLost(SiteTest):
    """Whenever the run ends, the files hold the full run's output up to that
    moment: nothing out of order, and no finished line held back.

    Each line goes out in one write (the trace test shows it). Linux can
    still cut a write that spans pages of the page cache when SIGKILL lands
    inside it, so the line being written at the kill may be there in part."""

    def build_site(self, directories=20):
        # 60 pages a directory, each with four missing links; every 50th also
        # has one whose entry line is longer than a stream's buffer.
        for d in range(directories):
            for p in range(60):
                links = ["gone-%d-%d-%d.html" % (d, p, k) for k in range(4)]
                if p % 50 == 0:
                    links.append("long-" + "x" * 12000)
                write(self.path("dir-%02d" % d, "page-%02d.html" % p),
                      "".join('<a href="%s">x</a>\n' % link for link in links))

    def run_to_files(self):
        """Runs hrefcheck with its console on a file; gives the process."""
        for name in ("href-err.log", "file-list.txt", "console.txt"):
            if os.path.lexists(self.path(name)):
                os.remove(self.path(name))
        with open(self.path("console.txt"), "wb") as console:
            return subprocess.Popen([HREFCHECK], cwd=self.site, stdout=console,
                                    stderr=subprocess.PIPE)

    def outputs(self):
        return {name: read_if_file(self.path(name)) or b""
                for name in ("href-err.log", "file-list.txt", "console.txt")}

    def test_killed_at_random_moments_leaves_the_output_so_far(self):
        self.build_site()
        start = time.monotonic()
        process = self.run_to_files()
        _, stderr = process.communicate(timeout=120)
        duration = time.monotonic() - start
        self.assertEqual(process.returncode, 0)
        check_quiet_stderr(stderr)
        full = self.outputs()
        self.assertGreater(full["href-err.log"].count(b"\r\n"), 24000)
        # Where each page's entries end in the full error log, in walk order.
        page_names = re.findall(rb"(dir-\d\d)\\(page-\d\d\.html)\r\n", full["file-list.txt"])
        entries_end = {}
        for m in re.finditer(rb"(dir-\d\d)\r\n\t(page-\d\d\.html)\r\n\r\n",
                             full["href-err.log"]):
            entries_end[m.groups()] = m.end()
        self.assertEqual(len(page_names), 1200)
        self.assertEqual(set(entries_end), set(page_names))

        seed = random.randrange(1 << 30)
        chance = random.Random(seed)
        for attempt in range(60):
            process = self.run_to_files()
            time.sleep(chance.uniform(0, duration))
            process.send_signal(signal.SIGKILL)
            process.communicate(timeout=60)
            data = self.outputs()
            where = "seed %d, kill %d" % (seed, attempt)
            for name in data:
                self.assertEqual(data[name], full[name][:len(data[name])], where + ", " + name)
            # A page is listed, then announced on the console, then checked;
            # so each channel may be at most one line behind the one before.
            listed = data["file-list.txt"].count(b"\r\n")
            self.assertIn(data["console.txt"].count(b"\r\n"), (listed - 1, listed), where)
            log_size = len(data["href-err.log"])
            if listed >= 2:
                self.assertGreaterEqual(log_size, entries_end[page_names[listed - 2]], where)
            if listed >= 1:
                self.assertLessEqual(log_size, entries_end[page_names[listed - 1]], where)
            else:
                self.assertEqual(log_size, 0, where)

    @unittest.skipUnless(shutil.which("strace"), "needs strace")
    @posix_only("Wine's server opens the files, so the trace cannot tell which write is whose")
    def test_each_line_reaches_its_file_in_one_write(self):
        # A kill can fall between any two writes; so no write may end inside
        # a line. strace shows where each write to a report file ends.
        self.build_site(directories=3)
        # LeakSanitizer, in a sanitizer build, cannot run under strace.
        env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
        trace = os.path.join(self.site, "..", os.path.basename(self.site) + ".trace")
        self.addCleanup(lambda: os.path.exists(trace) and os.remove(trace))
        run = run_hrefcheck(self.site, env=env, prefix=[
            "strace", "-o", trace, "-e", "trace=openat,write,writev", "-e", "signal=none"])
        self.assertEqual(run.returncode, 0)
        files = {}
        written = {}
        with open(trace, "rb") as f:
            for line in f:
                call = re.match(rb'(openat|write|writev)\((AT_FDCWD, "([^"]*)"|\d+)', line)
                result = re.search(rb"= (-?\d+)", line.rsplit(b")", 1)[-1])
                if not call or not result or int(result.group(1)) < 0:
                    continue
                if call.group(1) == b"openat":
                    files[int(result.group(1))] = call.group(3)
                elif int(call.group(2)) in files:
                    name = files[int(call.group(2))]
                    written.setdefault(name, [0]).append(
                        written[name][-1] + int(result.group(1)))
        for name, data in ((b"href-err.log", run.error_log), (b"file-list.txt", run.page_list)):
            line_ends = {0} | {m.end() for m in re.finditer(b"\r\n", data)}
            self.assertEqual(written[name][-1], len(data))
            self.assertEqual([end for end in written[name] if end not in line_ends], [], name)


if __name__ == "__main__":
    unittest.main()
