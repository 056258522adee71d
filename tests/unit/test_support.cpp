#include "test_support.h"
#include "test_sockets.h"

#include "report/report.h"
#include "walk/dir_services.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> search_all(const std::string& pattern) {
    std::vector<std::string> found;
    find_data data;
    find_search* search = find_first(pattern.c_str(), data);
    if (!search)
        return found;
    do
        found.push_back(data.name + (data.is_directory ? "/" : ""));
    while (find_next(search, data));
    find_close(search);
    return found;
}

int closed_port() {
    listener l = open_listener();
    close_socket(l.socket);
    return l.port;
}

captured_error_log::captured_error_log() {
    file_ = temporary_file_name();
    error_log.clear();
    error_log.open(file_, std::ios::out | std::ios::trunc | std::ios::binary);
}

captured_error_log::~captured_error_log() {
    if (error_log.is_open())
        error_log.close();
    error_log.clear();
    std::remove(file_.c_str());
}

std::string captured_error_log::take() {
    error_log.close();
    error_log.clear();
    return read_file(file_);
}

std::vector<std::string> summarize_entries(const std::string& log) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end; (end = log.find("\r\n", from)) != std::string::npos; from = end + 2)
        lines.push_back(log.substr(from, end - from));
    EXPECT_EQ(from, log.size()) << "the log does not end with CR LF";
    EXPECT_EQ(lines.size() % 5, 0u) << "the log is not made of whole entries";

    const std::string line_suffix = sjis(" 行目↑です");
    const struct {
        const char* kind;
        std::string text;
    } whole[] = {{"open_quote_missing", sjis("開始\"がありません")},
                 {"close_quote_missing", sjis("閉じる\"がありません")},
                 {"bare_http", sjis("http:// しか書いていないリンクがあります。")},
                 {"bad_port", sjis("http:// の ポート番号の指定がおかしい。")}};
    const struct {
        const char* kind;
        std::string suffix;
    } after_link[] = {
        {"file_missing", sjis("\tがリンク切れです")},
        {"index_missing", sjis("\tがリンク切れです ※index.htmlファイル")},
        {"backslash_in_path",
         sjis(
             "【エラー】　ファイルパスに\\ が使われています。ローカルでは問題ありませんが，"
             "アップロードするとリンク切れになります。\\は，全て / に修正しなければなりません。")}};

    std::vector<std::string> summary;
    for (std::size_t i = 0; i + 5 <= lines.size(); i += 5) {
        const std::string& first = lines[i];
        std::string name = "unknown:" + first;
        for (const auto& w : whole)
            if (first == w.text)
                name = w.kind;
        for (const auto& a : after_link)
            if (first.size() >= a.suffix.size() &&
                first.compare(first.size() - a.suffix.size(), a.suffix.size(), a.suffix) == 0) {
                std::string link = first.substr(0, first.size() - a.suffix.size());
                name =
                    std::string(a.kind) == "file_missing" ? link : std::string(a.kind) + ":" + link;
            }
        const std::string& number = lines[i + 1];
        EXPECT_GT(number.size(), line_suffix.size());
        EXPECT_EQ(number.substr(number.size() - line_suffix.size()), line_suffix);
        EXPECT_EQ(lines[i + 4], "");
        summary.push_back(name + "@" + number.substr(0, number.size() - line_suffix.size()));
    }
    return summary;
}
