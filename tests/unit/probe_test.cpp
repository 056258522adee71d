#include "http/probe.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>

using namespace std::string_literals;

namespace {

TEST(ReadDecimal, FollowsAtoiRulesAndSaturates) {
    struct {
        std::string text;
        std::int32_t expected;
    } cases[] = {
        {"80", 80},
        {" \t\n\v\f\r81", 81}, // all six white-space bytes are skipped
        {"+81", 81},
        {"-1", -1},
        {"0080", 80},
        {"81x", 81},
        {"81:82", 81},
        {"8\0"
         "1"s,
         8}, // a zero byte ends the digits like any other byte
        {"", 0},
        {"abc", 0},
        {"-", 0},
        {"+-1", 0}, // one sign only
        {"- 1", 0}, // no white space after the sign
        {"x81", 0}, // nothing is skipped but white space
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"99999999999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"-99999999999999999999999999", INT_MIN},
        {"000000000000000000000000081", 81}, // leading zeros do not saturate
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("text \"" + c.text + "\"");
        EXPECT_EQ(read_decimal(c.text, 0), c.expected);
    }
    EXPECT_EQ(read_decimal("host:8080", 5), 8080);
    EXPECT_EQ(read_decimal("404", 3), 0); // from the end: no digits
}

TEST(SplitHttpLink, TakesHostPortAndPathApart) {
    struct {
        std::string link;
        std::string host;
        std::int32_t port;
        std::string path;
    } cases[] = {
        {"http://host", "host", 80, "/"},
        {"http://host:8080/a/b.html", "host", 8080, "/a/b.html"},
        {"http://host:", "host", 0, "/"},
        {"http://host:abc", "host", 0, "/"},
        {"http://host:0/", "host", 0, "/"},
        {"http://host:0080/", "host", 80, "/"},
        {"http://host:81x/", "host", 81, "/"},
        {"http://host:81:82/", "host", 81, "/"}, // the first ':' counts
        {"http://host: 81/", "host", 81, "/"},
        {"http://host:-1/", "host", -1, "/"},
        {"http://host:65616/", "host", 65616, "/"}, // 80 + 65536: cut at connect time
        {"http://host:99999999999/", "host", INT_MAX, "/"},
        {"http://host/a:b", "host", 80, "/a:b"}, // ':' in the path is no port
        {"http://host?q=1", "host?q=1", 80, "/"},
        {"http://host/?q=1", "host", 80, "/?q=1"},
        {"http:///x", "", 80, "/x"},
        {"http://x", "x", 80, "/"},
        {"http://Ho St/A%20b c", "Ho St", 80, "/A%20b c"}, // bytes go through unchanged
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("link " + c.link);
        http_target target = split_http_link(c.link);
        EXPECT_EQ(target.host, c.host);
        EXPECT_EQ(target.port, c.port);
        EXPECT_EQ(target.path, c.path);
    }
}

TEST(BuildRequest, SendsPathAndHostWithoutPort) {
    EXPECT_EQ(build_request(split_http_link("http://host:8080/a/b.html")),
              "GET /a/b.html HTTP/1.1\r\nAccept: */*\r\nConnection: close\r\nHost: host\r\n\r\n");
    EXPECT_EQ(build_request(split_http_link("http://host")),
              "GET / HTTP/1.1\r\nAccept: */*\r\nConnection: close\r\nHost: host\r\n\r\n");
    EXPECT_EQ(build_request(split_http_link("http:///x")),
              "GET /x HTTP/1.1\r\nAccept: */*\r\nConnection: close\r\nHost: \r\n\r\n");
}

struct reply_case {
    std::string reply;
    reply_kind kind;
    std::string status_line;
    std::int32_t code;
};

std::string kind_name(reply_kind kind) {
    switch (kind) {
    case reply_kind::passed:
        return "passed";
    case reply_kind::no_reply:
        return "no_reply";
    case reply_kind::not_http:
        return "not_http";
    case reply_kind::http_error:
        return "http_error";
    }
    return "?";
}

void expect_verdict(const reply_verdict& verdict, const reply_case& c) {
    EXPECT_EQ(kind_name(verdict.kind), kind_name(c.kind));
    EXPECT_EQ(verdict.status_line, c.status_line);
    EXPECT_EQ(verdict.status_code, c.code);
}

TEST(JudgeReply, ReadsTheByteAfterTheFirstSpace) {
    const reply_kind passed = reply_kind::passed, no_reply = reply_kind::no_reply,
                     not_http = reply_kind::not_http, http_error = reply_kind::http_error;
    const reply_case cases[] = {
        {"", no_reply, "", 0},
        {"\0HTTP/1.1 404 Not Found\r\n"s, no_reply, "", 0},
        {"HTTP/1.1 200 OK\r\n\r\n", passed, "", 0},
        {"HTTP/1.1 301 Moved Permanently\r\nLocation: /\r\n", passed, "", 0},
        {"HTTP/1.1 100 Continue\r\n", passed, "", 0},
        {"HTTP/1.1 404 Not Found\r\nServer: x\r\n\r\nbody", http_error, "HTTP/1.1 404 Not Found",
         404},
        {"HTTP/1.1 404", http_error, "HTTP/1.1 404", 404}, // no line end: the whole reply
        {"HTTP/1.1 410 Gone\nServer: x\n", http_error, "HTTP/1.1 410 Gone", 410},
        {"HTTP/1.1 410 Gone\rServer: x", http_error, "HTTP/1.1 410 Gone", 410},
        // A bare LF before the first CR LF does not end the status line.
        {"HTTP/1.1 404 A\nB\r\nC", http_error, "HTTP/1.1 404 A\nB", 404},
        {"HTTP/1.1 404 A\rB\nC", http_error, "HTTP/1.1 404 A\rB", 404},
        {"HTTP/1.1 500 Internal Server Error\r\n", http_error, "HTTP/1.1 500 Internal Server Error",
         500},
        {"HTTP/1.1 418 I'm a teapot\r\n", http_error, "HTTP/1.1 418 I'm a teapot", 418},
        {"HTTP/1.1 4xx\r\n", http_error, "HTTP/1.1 4xx", 4},
        {"HTTP/1.1 5", http_error, "HTTP/1.1 5", 5},
        {"HTTP/1.1 499999999999\r\n", http_error, "HTTP/1.1 499999999999", INT_MAX},
        {"HTTP/1.1  404 Not Found\r\n", passed, "", 0}, // the byte after the space is a space
        {"HTTP/1.1 ", passed, "", 0},                   // nothing after the space
        // The first space lies on the second line; the status line is still the first.
        {"HTTP/1.1\r\nX: 503 y\r\n", http_error, "HTTP/1.1", 503},
        {"NOSPACE", not_http, "", 0},
        {"HTTP/1.1\r\n\r\n", not_http, "", 0},
        // The reply text ends at its first zero byte.
        {"HTTP/1.1 404 x\0 more\r\n"s, http_error, "HTTP/1.1 404 x", 404},
        {"HTTP/1.1\0 404"s, not_http, "", 0},
    };
    for (const reply_case& c : cases) {
        SCOPED_TRACE("reply \"" + c.reply + "\"");
        // As the probe sees it: a zeroed buffer one byte longer than the
        // largest receive.
        char buffer[1024] = {};
        ASSERT_LT(c.reply.size(), sizeof buffer);
        std::memcpy(buffer, c.reply.data(), c.reply.size());
        expect_verdict(judge_reply(buffer, sizeof buffer), c);
    }
}

TEST(JudgeReply, FullBufferWithoutLineEndIsTheStatusLine) {
    char buffer[1024] = {};
    std::string reply = "HTTP/1.1 404 " + std::string(1023 - 13, 'x');
    std::memcpy(buffer, reply.data(), reply.size());
    expect_verdict(judge_reply(buffer, sizeof buffer), {"", reply_kind::http_error, reply, 404});
}

TEST(JudgeReply, StopsAtSizeWithoutZeroByte) {
    const char data[] = {'H', 'T', 'T', 'P', ' ', '4', '0', '4', '\r', '\n'};
    expect_verdict(judge_reply(data, 6), {"", reply_kind::http_error, "HTTP 4", 4});
    expect_verdict(judge_reply(data, 5), {"", reply_kind::passed, "", 0});
    expect_verdict(judge_reply(data, 0), {"", reply_kind::no_reply, "", 0});
}

TEST(StatusExplanation, EighteenCodesInShiftJis) {
    // clang-format off
    const struct {
        std::int32_t code;
        const char* text;
    } table[] = {
        {400, "リクエストに文法の誤りがあります（このＵＲＬチェックソフトバグです）"},
        {401, "認証が必要です（※リンク切れではありません）"},
        {402, "将来のために予約されています。"},
        {403, "サーバはリクエストを理解しましたが，処理は行いません。サーバの設定で非表示にしています。"},
        {404, "ファイルが存在していません。"},
        {405, "クライアントが使ったメソッドはそのリソースに対して許可されていません。GETが使えない様です。おそらくリンク切れではありません。"},
        {406, "サーバはクライアントの希望するレスポンスを返せません。"},
        {407, "ユーザはプロキシエージェントに対して自分自身を認証する必要があります。"},
        {408, "タイムアウトです。"},
        {409, "リソースの現在の状態に矛盾が生じているために，リクエストを処理することができません。"},
        {410, "リソースが現在も，そして将来的にも利用不可能です。（完全なリンク切れです）"},
        {414, "リクエストＵＲＩが長すぎて，サーバでは受け付けられません。（不正なリンクの可能性があります。）"},
        {500, "何らかのサーバエラーが発生しました。（サーバが不調か不安定です。リンク切れに近い状態です。）"},
        {501, "GETでファイルを取得できませんでした。ほとんどリンク切れみたいです。"},
        {502, "クライアントのリクエストを処理しようとした際に，上位側から無効なレスポンスを受信しました。（不調です）"},
        {503, "現時点ではサーバはリクエストを処理できません。サーバが過負荷状態かメンテナス中です（一時的なリンク切れ）"},
        {504, "サーバがプロキシとして動作しているとき，サーバ接続先がタイムアウトしました。"},
        {505, "HTTP/1.1での接続ができませんでした。"},
    };
    // clang-format on
    std::set<std::int32_t> explained;
    for (const auto& row : table) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(std::string(status_explanation(row.code)), sjis(row.text));
        explained.insert(row.code);
    }
    // Every other code, of any length, has the empty explanation.
    for (std::int32_t code = -1000; code <= 10000; ++code) {
        if (!explained.count(code)) {
            ASSERT_STREQ(status_explanation(code), "") << "code " << code;
        }
    }
    EXPECT_STREQ(status_explanation(INT_MAX), "");
}

} // namespace
