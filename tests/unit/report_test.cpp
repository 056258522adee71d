#include "report/report.h"

#include "test_support.h"

#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <sstream>

namespace {

const std::string crlf = "\r\n";

struct layout_case {
    const char* kind;
    std::function<void()> write;
    std::string expected;
};

// Expected Japanese bytes come from sjis(), which runs iconv -f UTF-8 -t CP932.
TEST(ReportLayout, EveryEntryLineIsExactShiftJis) {
    temp_dir dir; // the trailer names the current directory
    const std::string link = "dir/\x95\\.html";
    const layout_case cases[] = {
        {"open_quote_missing", report_open_quote_missing, sjis("開始\"がありません") + crlf},
        {"close_quote_missing", report_close_quote_missing, sjis("閉じる\"がありません") + crlf},
        {"bare_http", report_bare_http, sjis("http:// しか書いていないリンクがあります。") + crlf},
        {"backslash_in_path", [&] { report_backslash_in_path(link); },
         link +
             sjis("【エラー】　ファイルパスに\\ が使われています。ローカルでは問題ありませんが，"
                  "アップロードするとリンク切れになります。\\は，全て / "
                  "に修正しなければなりません。") +
             crlf},
        {"index_missing", [&] { report_index_missing(link); },
         link + sjis("\tがリンク切れです ※index.htmlファイル") + crlf},
        {"file_missing", [&] { report_file_missing(link); },
         link + sjis("\tがリンク切れです") + crlf},
        {"bad_port", report_bad_port, sjis("http:// の ポート番号の指定がおかしい。") + crlf},
        {"connect_failed", [] { report_connect_failed("http://x/"); },
         "http://x/" +
             sjis(" のサーバに接続できません。サーバが存在しないか，インターネットにつながっていま"
                  "せん。") +
             crlf},
        {"no_reply", [] { report_no_reply("http://x/"); },
         "http://x/" +
             sjis(" のサーバが接続を切断しました。不正なリンクかサーバが拒否しています。") + crlf},
        {"not_http", [] { report_not_http("http://x/"); },
         "http://x/" + sjis(" のリンク先はHTTPサーバへの接続ではありません。") + crlf},
        {"http_error", [] { report_http_error("http://x/", "HTTP/1.1 404 Not Found", "EXPL"); },
         "http://x/" + sjis(" がリンク切れです。") + "HTTP/1.1 404 Not Found:EXPL" + crlf},
        {"http_error without explanation",
         [] { report_http_error("http://x/", "HTTP/1.1 418 Teapot", ""); },
         "http://x/" + sjis(" がリンク切れです。") + "HTTP/1.1 418 Teapot:" + crlf},
        // A LF inside a written text ends a line in the file too; a lone CR stays.
        {"http_error with LF and CR in the status line",
         [] { report_http_error("http://x/", "HTTP/1.1 404\nX\rY", ""); },
         "http://x/" + sjis(" がリンク切れです。") + "HTTP/1.1 404\r\nX\rY:" + crlf},
        {"location_trailer", [] { write_location_trailer(12, "index.html"); },
         "12" + sjis(" 行目↑です") + crlf + dir.path() + crlf + "\tindex.html" + crlf + crlf},
        {"location_trailer on line 1", [] { write_location_trailer(1, "\x95\\ a.htm"); },
         "1" + sjis(" 行目↑です") + crlf + dir.path() + crlf + "\t\x95\\ a.htm" + crlf + crlf},
        {"deep_directory", [] { report_deep_directory(4, "/s/a/b/c/d"); },
         sjis("警告：深い階層です") + crlf + "4" + sjis("階層目です。") + "/s/a/b/c/d" + crlf +
             crlf},
    };
    for (const layout_case& c : cases) {
        SCOPED_TRACE(c.kind);
        captured_error_log log;
        c.write();
        EXPECT_EQ(log.take(), c.expected);
    }
}

TEST(ReportLayout, PageAnnouncementGoesToConsoleAndPageList) {
    temp_dir dir;
    page_list.clear();
    page_list.open("list.txt", std::ios::binary | std::ios::trunc);
    std::ostringstream console;
    std::streambuf* saved = std::cout.rdbuf(console.rdbuf());
    announce_page("a b.html");
    announce_page("\x95\\.htm");
    std::cout.rdbuf(saved);
    // Each line reaches the file as it ends, before the channel is closed.
    EXPECT_EQ(read_file("list.txt"),
              dir.path() + "\\a b.html" + crlf + dir.path() + "\\\x95\\.htm" + crlf);
    page_list.close();
    EXPECT_EQ(console.str(), dir.path() + "/a b.html" + sjis("をチェック中...") + crlf +
                                 dir.path() + "/\x95\\.htm" + sjis("をチェック中...") + crlf);
}

TEST(ReportLayout, EachLineEndFlushes) {
    temp_dir dir;
    error_log.clear();
    error_log.open("log.txt", std::ios::binary | std::ios::trunc);
    report_file_missing("a");
    EXPECT_EQ(read_file("log.txt"), "a" + sjis("\tがリンク切れです") + crlf);
    report_bad_port();
    EXPECT_EQ(read_file("log.txt"), "a" + sjis("\tがリンク切れです") + crlf +
                                        sjis("http:// の ポート番号の指定がおかしい。") + crlf);
    error_log.close();
}

} // namespace
