"""Walk robustness: links that lead back up, subdirectories that cannot be
entered, and trees deeper than the platform's path limit."""

import fcntl
import os
import shutil
import subprocess
import termios
import time
import unittest

from support import (HREFCHECK, SiteTest, console_line, deep_directory, page_list_line,
                     run_hrefcheck, write)


class WalkTest(SiteTest):

    def test_link_back_to_a_parent_does_not_loop(self):
        write(self.path("a.html"), "x\n")
        write(self.path("sub/b.html"), "x\n")
        os.symlink("..", self.path("sub/up"))
        os.symlink(".", self.path("sub/self"))
        os.symlink(self.site, self.path("sub/top"))
        run = self.run_site(timeout=30)
        self.assertEqual(run.page_list, page_list_line(self.site, "a.html") +
                         page_list_line(self.path("sub"), "b.html"))

    def test_link_to_the_start_directorys_parent_is_walked_once(self):
        # The site lies in <tmp>/top; <tmp>/up.html lies outside it.
        top = self.path("top")
        write(os.path.join(top, "a.html"), "x\n")
        write(self.path("up.html"), "x\n")
        os.symlink("..", os.path.join(top, "parent"))
        run = run_hrefcheck(top, timeout=30)
        self.assertEqual(run.page_list, page_list_line(top, "a.html") +
                         page_list_line(self.site, "up.html"))

    def test_dangling_link_and_link_to_a_directory(self):
        write(self.path("real/r.html"), "x\n")
        os.symlink("nowhere", self.path("dangling"))
        os.symlink("real", self.path("alias"))
        run = self.run_site(timeout=30)
        # A link to a directory is walked like the directory; the system
        # names the current directory by its real path.
        self.assertEqual(run.page_list, page_list_line(self.path("real"), "r.html") * 2)

    def test_subdirectory_gone_after_listing_is_passed_over(self):
        # The console is a pipe of one page that the test does not read: the
        # run blocks while it announces the pages of "a", after it has listed
        # "a" and "b". Then "b" is replaced by a file, and the pipe drained.
        for i in range(200):
            write(self.path("a", "page-%03d.html" % i), "x\n")
        write(self.path("b/in-b.html"), "x\n")
        write(self.path("top.html"), "x\n")
        read_end, write_end = os.pipe()
        fcntl.fcntl(write_end, fcntl.F_SETPIPE_SZ, 4096)
        process = subprocess.Popen([HREFCHECK], cwd=self.site, stdout=write_end)
        os.close(write_end)
        try:
            self._wait_until_pipe_is_full(read_end)
            shutil.rmtree(self.path("b"))
            write(self.path("b"), "now a file\n")
            output = b""
            while chunk := os.read(read_end, 65536):
                output += chunk
            self.assertEqual(process.wait(timeout=30), 0)
        finally:
            if process.poll() is None:
                process.kill()
            os.close(read_end)
        pages = [(self.site, "top.html")] + [(self.path("a"), "page-%03d.html" % i)
                                             for i in range(200)]
        self.assertEqual(output, b"".join(console_line(d, p) for d, p in pages))

    def _wait_until_pipe_is_full(self, fd):
        last, steady_since = -1, time.monotonic()
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            size = fcntl.ioctl(fd, termios.FIONREAD, b"\0\0\0\0")
            size = int.from_bytes(size, "little")
            if size != last:
                last, steady_since = size, time.monotonic()
            elif size > 3800 and time.monotonic() - steady_since > 0.3:
                return
            time.sleep(0.02)
        self.fail("the run never blocked on its console")

    def test_tree_deeper_than_the_path_limit(self):
        name = "directory-level-name"
        fd = os.open(self.site, os.O_RDONLY)
        for _ in range(300):
            os.mkdir(name, dir_fd=fd)
            next_fd = os.open(name, os.O_RDONLY, dir_fd=fd)
            os.close(fd)
            fd = next_fd
        page = os.open("bottom.html", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
        os.write(page, b"x\n")
        os.close(page)
        os.close(fd)
        write(self.path("zz/after.html"), "x\n")  # walked only if the run came back up
        bottom = self.site + ("/" + name) * 300
        self.assertGreater(len(bottom), 4096)
        run = self.run_site(timeout=60)
        self.assertEqual(run.page_list, page_list_line(bottom, "bottom.html") +
                         page_list_line(self.path("zz"), "after.html"))
        self.assertEqual(run.error_log, deep_directory(300, bottom))


if __name__ == "__main__":
    unittest.main()
