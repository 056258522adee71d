"""Pages read line by line and their links checked, end to end."""

import os
import unittest

from support import WINDOWS, SiteTest, as_path, entry, page_list_line, sjis, write

MISSING = sjis("\tがリンク切れです")
INDEX_MISSING = sjis("\tがリンク切れです ※index.htmlファイル")
BACKSLASH = sjis("【エラー】　ファイルパスに\\ が使われています。ローカルでは問題ありませんが，"
                 "アップロードするとリンク切れになります。\\は，全て / に修正しなければなりません。")


class LinkTest(SiteTest):

    def test_worked_example(self):
        lines = ["<p>%d</p>" % n for n in range(1, 12)] + ['<a href="old/page.html#top">old</a>']
        write(self.path("docs/index.html"), "\r\n".join(lines) + "\r\n")
        write(self.path("docs/old/page.htm"), "")  # page.htm does not stand for page.html
        run = self.run_site()
        docs = as_path(self.path("docs"))
        self.assertEqual(run.error_log,
                         b"old/page.html\t" + sjis("がリンク切れです") + b"\r\n" +
                         b"12" + sjis(" 行目↑です") + b"\r\n" + docs + b"\r\n" +
                         b"\tindex.html\r\n\r\n")
        self.assertIn(docs + b"\\index.html\r\n", run.page_list)
        self.assertIn(docs + b"/index.html" + sjis("をチェック中...") + b"\r\n", run.stdout)

    def test_every_local_entry_kind_in_order(self):
        write(self.path("index.html"), "")
        write(self.path("dir/index.html"), "")
        write(self.path("noindex/index.htm"), "")
        write(self.path("p/page.html"),
              '<a href="../dir/">ok</a> <a href="../noindex/">no index</a>\n'
              '\n'
              '<A HREF="..\\index.html">back</A> <a href="gone.html">gone</a>\n'
              '<a href="http://#frag"> HREF="http://"\n'
              "<a href='single'>\n"
              '<a href="unclosed\n'
              '<a href="mailto:x@y"><a href="#top"><a href="gone.html">\n')
        p = self.path("p")
        bare = sjis("http:// しか書いていないリンクがあります。")
        self.assertEqual(self.run_site().error_log,
                         entry(b"../noindex/" + INDEX_MISSING, 1, p, "page.html") +
                         entry(b"gone.html" + MISSING, 3, p, "page.html") +
                         entry(b"..\\index.html" + BACKSLASH, 3, p, "page.html") +
                         entry(bare, 4, p, "page.html") +
                         entry(bare, 4, p, "page.html") +
                         entry(sjis('開始"がありません'), 5, p, "page.html") +
                         entry(sjis('閉じる"がありません'), 6, p, "page.html") +
                         entry(b"gone.html" + MISSING, 7, p, "page.html"))

    def test_text_mode_reading(self):
        cases = [
            ("cr-only.html", b'<a href="a">\r<a href="b">\r', [(b"a", 1), (b"b", 1)]),
            ("eof.html", b'href="a"\n\x1a\nhref="b"\n', [(b"a", 1)]),
            ("crlf.html", b'\r\n\r\nhref="a"\r\nhref="b"', [(b"a", 3), (b"b", 4)]),
            ("empty.html", b"", []),
        ]
        for name, data, _ in cases:
            write(self.path(name), data)
        run = self.run_site()
        expected = b""
        for name, _, found in sorted(cases, key=lambda c: c[0].upper()):
            for link, number in found:
                expected += entry(link + MISSING, number, self.site, name)
        self.assertEqual(run.error_log, expected)

    def test_pages_that_are_not_regular_files_do_not_block(self):
        os.mkfifo(self.path("fifo.html"))
        os.symlink("/dev/zero", self.path("zero.html"))
        os.symlink("missing", self.path("dangling.html"))
        write(self.path("z.html"), 'href="gone"\n')
        run = self.run_site(timeout=30)
        # All are announced; only the regular page yields a line. Windows
        # (under Wine) turns the FIFO and the device away by their file type;
        # Wine's search does not list the dangling link at all.
        pages = ["fifo.html", "z.html", "zero.html"]
        if not WINDOWS:
            pages.insert(0, "dangling.html")
        self.assertEqual(run.page_list,
                         b"".join(page_list_line(self.site, page) for page in pages))
        self.assertEqual(run.error_log, entry(b"gone" + MISSING, 1, self.site, "z.html"))

    def test_a_long_line_is_read_whole(self):
        filler = b"x" * (50 * 1024 * 1024)
        write(self.path("long.html"), b'href="first"' + filler + b'href="last" HREF="up"')
        run = self.run_site(timeout=120)
        self.assertEqual(run.error_log,
                         entry(b"first" + MISSING, 1, self.site, "long.html") +
                         entry(b"last" + MISSING, 1, self.site, "long.html") +
                         entry(b"up" + MISSING, 1, self.site, "long.html"))

    def test_the_same_missing_link_twice_gives_two_entries(self):
        write(self.path("p.html"), '<a href="gone">1</a> <a href="gone">2</a>\n')
        self.assertEqual(self.run_site().error_log,
                         entry(b"gone" + MISSING, 1, self.site, "p.html") * 2)


if __name__ == "__main__":
    unittest.main()
