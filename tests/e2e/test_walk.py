"""Walk robustness: links that lead back up, subdirectories that cannot be
entered, trees deeper than the platform's path limit, and a table of hostile
trees."""

import fcntl
import os
import select
import shutil
import socket
import subprocess
import termios
import time
import unittest

from support import (HREFCHECK, WINDOWS, Run, SiteTest, check_quiet_stderr, console_line,
                     deep_directory, entry, on_disk, page_list_line, posix_only, read_if_file,
                     run_hrefcheck, sjis, write)

BACKSLASH = sjis("【エラー】　ファイルパスに\\ が使われています。ローカルでは問題ありませんが，"
                 "アップロードするとリンク切れになります。\\は，全て / に修正しなければなりません。")
MISSING = sjis("\tがリンク切れです")


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
        # Windows names a directory by the path it was entered through, not
        # by where the link leads.
        up = os.path.join(top, "parent") if WINDOWS else self.site
        self.assertEqual(run.page_list, page_list_line(top, "a.html") +
                         page_list_line(up, "up.html"))

    def test_dangling_link_and_link_to_a_directory(self):
        write(self.path("real/r.html"), "x\n")
        os.symlink("nowhere", self.path("dangling"))
        os.symlink("real", self.path("alias"))
        run = self.run_site(timeout=30)
        # A link to a directory is walked like the directory. Linux names the
        # current directory by its real path, Windows by the path it was
        # entered through.
        alias = self.path("alias") if WINDOWS else self.path("real")
        self.assertEqual(run.page_list, page_list_line(alias, "r.html") +
                         page_list_line(self.path("real"), "r.html"))

    def test_subdirectory_gone_after_listing_is_passed_over(self):
        # The run is held while it announces the pages of "a", after it has
        # listed "a" and "b"; then "b" is replaced by a file.
        for i in range(200):
            write(self.path("a", "page-%03d.html" % i), "x\n")
        write(self.path("b/in-b.html"), "x\n")
        write(self.path("top.html"), "x\n")

        def replace_b():
            shutil.rmtree(self.path("b"))
            write(self.path("b"), "now a file\n")

        output = self._run_held_on_console(self.site, replace_b)
        pages = [(self.site, "top.html")] + [(self.path("a"), "page-%03d.html" % i)
                                             for i in range(200)]
        self.assertEqual(output, b"".join(console_line(d, p) for d, p in pages))

    def test_hostile_trees(self):
        # Each row builds a site of its own and gives the pages the run must
        # announce, in order, and its whole error log; a row may also give a
        # change made while the run is held on its console.
        table = [
            ("socket", self._socket_named_like_a_page),
            ("crowd", self._directory_of_100000_entries),
            ("race", self._pages_changed_between_listing_and_opening),
        ]
        for name, row in table:
            with self.subTest(name):
                if name == "crowd" and WINDOWS:
                    # Wine takes minutes to open 100,000 files one by one.
                    self.skipTest("not on Windows: too slow under Wine for CI")
                site = self.path(name)
                os.mkdir(site)
                pages, error_log, change = row(site)
                if change:
                    console = self._run_held_on_console(site, change)
                    run = Run(0, console, read_if_file(os.path.join(site, "href-err.log")),
                              read_if_file(os.path.join(site, "file-list.txt")))
                else:
                    run = run_hrefcheck(site, timeout=120)
                self.assertEqual(run.returncode, 0)
                self.assertEqual(run.stdout, b"".join(console_line(d, p) for d, p in pages))
                self.assertEqual(run.page_list, b"".join(page_list_line(d, p) for d, p in pages))
                self.assertEqual(run.error_log, error_log)

    def _socket_named_like_a_page(self, site):
        # Announced, yields no lines, and its open does not wait for a peer.
        listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.addCleanup(listener.close)
        listener.bind(os.path.join(site, "sock.html"))
        listener.listen(1)
        write(os.path.join(site, "z.html"), '<a href="gone">\n')
        return ([(site, "sock.html"), (site, "z.html")],
                entry(b"gone" + MISSING, 1, site, "z.html"), None)

    def _directory_of_100000_entries(self, site):
        names = ["p%06d.html" % i for i in range(100000)]
        for name in names[:-1]:
            open(os.path.join(site, name), "wb").close()
        write(os.path.join(site, names[-1]), '<a href="gone">\n')
        return ([(site, name) for name in names],
                entry(b"gone" + MISSING, 1, site, names[-1]), None)

    def _pages_changed_between_listing_and_opening(self, site):
        # The run is held on one of the first pages, after it has listed
        # them all: then one later page is deleted, one is replaced by a
        # FIFO and one by a new file. Each is still announced; only the new
        # file yields a line.
        fillers = ["f-%03d.html" % i for i in range(200)]
        for name in fillers:
            write(os.path.join(site, name), "x\n")
        changed = ["x-deleted.html", "x-fifo.html", "x-replaced.html"]
        for name in changed:
            write(os.path.join(site, name), '<a href="old">\n')

        def change():
            os.remove(os.path.join(site, "x-deleted.html"))
            os.remove(os.path.join(site, "x-fifo.html"))
            os.mkfifo(os.path.join(site, "x-fifo.html"))
            write(os.path.join(site, "new"), 'x\n<a href="new-link">\n')
            os.rename(os.path.join(site, "new"), os.path.join(site, "x-replaced.html"))

        return ([(site, name) for name in fillers + changed],
                entry(b"new-link" + MISSING, 2, site, "x-replaced.html"), change)

    def _run_held_on_console(self, site, change):
        """Runs hrefcheck in site with its console on a pipe of one page that
        is not read until the run blocks on it; then calls change, and reads
        the console to the end. Gives the console bytes."""
        read_end, write_end = os.pipe()
        fcntl.fcntl(write_end, fcntl.F_SETPIPE_SZ, 4096)
        process = subprocess.Popen([HREFCHECK], cwd=site, stdout=write_end,
                                   stderr=subprocess.PIPE)
        os.close(write_end)
        try:
            self._wait_until_pipe_is_full(read_end, process.pid)
            change()
            output = b""
            deadline = time.monotonic() + 60  # a hang fails the test
            while select.select([read_end], [], [], max(0, deadline - time.monotonic()))[0]:
                chunk = os.read(read_end, 65536)
                if not chunk:
                    break
                output += chunk
            else:
                self.fail("the run did not end")
            self.assertEqual(process.wait(timeout=30), 0)
            check_quiet_stderr(process.stderr.read())
        finally:
            if process.poll() is None:
                process.kill()
            process.stderr.close()
            os.close(read_end)
        return output

    def _wait_until_pipe_is_full(self, fd, pid):
        last, steady_since = -1, time.monotonic()
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            size = fcntl.ioctl(fd, termios.FIONREAD, b"\0\0\0\0")
            size = int.from_bytes(size, "little")
            if size != last:
                last, steady_since = size, time.monotonic()
            elif (size > 3800 and time.monotonic() - steady_since > 0.3 and
                  self._blocked_on_pipe(pid)):
                return
            time.sleep(0.02)
        self.fail("the run never blocked on its console")

    @staticmethod
    def _blocked_on_pipe(pid):
        # A slow machine can leave the pipe still for a while without the run
        # being blocked on it; where the kernel tells what the process waits
        # in, ask it. Under Wine the writing thread need not be the first.
        if WINDOWS:
            return True
        try:
            with open("/proc/%d/wchan" % pid) as f:
                waits_in = f.read().strip()
        except OSError:
            return True
        return waits_in in ("", "0") or "pipe_write" in waits_in

    def test_japanese_names_are_listed_entered_and_linked(self):
        # The program sees Shift_JIS names. On Linux they are stored as
        # those bytes; on Windows (Wine with code page 932) the disk holds
        # them as UTF-8. ソ (0x83 0x5C) and 表 (0x95 0x5C) end in the byte
        # of a backslash: they are still one character of a name, but a link
        # that holds one is reported, since the link check works on bytes.
        site = os.fsencode(self.site)

        def disk(*names):
            return os.path.join(site, *[on_disk(sjis(n)) for n in names])

        pages = {
            ("トップ.html",): ['href="資料/目次.html"', 'href="資料/"', 'href="ソフト/説明.html"',
                               'href="表紙.html"', 'href="無い.html"', 'href="資料/写真/"'],
            ("表紙.html",): [],
            ("ソフト", "説明.html"): ['href="../トップ.html"', 'href="図.html"'],
            ("資料", "目次.html"): ['href="../トップ.html"', 'href="写真/index.html"',
                                   'href="../無い/"'],
            ("資料", "写真", "index.html"): [],
        }
        for names, links in pages.items():
            write(disk(*names), b"".join(sjis("<a %s>リンク</a>" % link) + b"\n"
                                         for link in links))
        run = self.run_site()

        # Pages before subdirectories; ソ and ト sort before 資 and 表 both
        # as Shift_JIS bytes and as Unicode.
        order = [(), (), ("ソフト",), ("資料",), ("資料", "写真")]
        names = list(pages)
        self.assertEqual(run.page_list, b"".join(
            page_list_line(disk(*d), on_disk(sjis(n[-1]))) for d, n in zip(order, names)))
        self.assertEqual(run.stdout, b"".join(
            console_line(disk(*d), on_disk(sjis(n[-1]))) for d, n in zip(order, names)))

        top, soft, docs = disk(), disk("ソフト"), disk("資料")
        page = lambda n: on_disk(sjis(n))
        self.assertEqual(run.error_log, b"".join([
            entry(sjis("資料/\tがリンク切れです ※index.htmlファイル"), 2, top, page("トップ.html")),
            entry(sjis("ソフト/説明.html") + BACKSLASH, 3, top, page("トップ.html")),
            entry(sjis("表紙.html") + BACKSLASH, 4, top, page("トップ.html")),
            entry(sjis("無い.html\tがリンク切れです"), 5, top, page("トップ.html")),
            entry(sjis("図.html\tがリンク切れです"), 2, soft, page("説明.html")),
            entry(sjis("../無い/\tがリンク切れです ※index.htmlファイル"), 3, docs, page("目次.html")),
        ]))

    def _deep_tree(self, top, levels, name):
        """Makes levels nested directories of that name below top, with
        bottom.html at the bottom; gives the bottom's path."""
        fd = os.open(top, os.O_RDONLY)
        for _ in range(levels):
            os.mkdir(name, dir_fd=fd)
            next_fd = os.open(name, os.O_RDONLY, dir_fd=fd)
            os.close(fd)
            fd = next_fd
        page = os.open("bottom.html", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
        os.write(page, b"x\n")
        os.close(page)
        os.close(fd)
        return top + ("/" + name) * levels

    def test_tree_deeper_than_the_path_limit(self):
        bottom = self._deep_tree(self.site, 300, "directory-level-name")
        write(self.path("zz/after.html"), "x\n")  # walked only if the run came back up
        self.assertGreater(len(bottom), 4096)
        run = self.run_site(timeout=60)
        if WINDOWS:
            # SetCurrentDirectoryA takes no path longer than MAX_PATH (260
            # bytes): the walk passes over the directories it cannot enter
            # and still comes back up to the start directory.
            self.assertEqual(run.page_list, page_list_line(self.path("zz"), "after.html"))
            self.assertEqual(run.error_log, b"")
            return
        self.assertEqual(run.page_list, page_list_line(bottom, "bottom.html") +
                         page_list_line(self.path("zz"), "after.html"))
        self.assertEqual(run.error_log, deep_directory(300, bottom))

    @posix_only("the tree is deeper than Windows paths may be")
    def test_tree_deeper_than_the_descriptors_a_process_may_hold(self):
        # 800 levels with at most 32 open descriptors: the walk may hold
        # none per level.
        bottom = self._deep_tree(self.site, 800, "d")
        write(self.path("zz/after.html"), "x\n")
        run = self.run_site(timeout=120, prefix=["prlimit", "--nofile=32", "--"])
        self.assertEqual(run.page_list, page_list_line(bottom, "bottom.html") +
                         page_list_line(self.path("zz"), "after.html"))
        self.assertEqual(run.error_log, deep_directory(800, bottom))

if __name__ == "__main__":
    unittest.main()
