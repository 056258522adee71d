"""The whole run: walk order, the three outputs, the deep-directory warning,
and what happens when a report file cannot be opened or written."""

import os
import unittest

from support import (WINDOWS, SiteTest, console_line, deep_directory, entry, on_disk,
                     page_list_line, posix_only, run_hrefcheck, sjis, write)


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


if __name__ == "__main__":
    unittest.main()
