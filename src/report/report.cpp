#include "report/report.h"

#include "walk/dir_services.h"

#include <iostream>

std::ofstream error_log;
std::ofstream page_list;

namespace {

// The fixed texts as Shift_JIS bytes, each under its Japanese original.
// clang-format off
// "をチェック中..."
const char checking_suffix[] =
    "\x82\xf0\x83\x60\x83\x46\x83\x62\x83\x4e\x92\x86...";
// "開始"がありません"
const char open_quote_missing_text[] =
    "\x8a\x4a\x8e\x6e\"\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1";
// "閉じる"がありません"
const char close_quote_missing_text[] =
    "\x95\xc2\x82\xb6\x82\xe9\"\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1";
// "http:// しか書いていないリンクがあります。"
const char bare_http_text[] =
    "http:// \x82\xb5\x82\xa9\x8f\x91\x82\xa2\x82\xc4\x82\xa2\x82\xc8\x82\xa2\x83\x8a\x83\x93\x83\x4e\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81\x42";
// "【エラー】　ファイルパスに\ が使われています。ローカルでは問題ありませんが，アップロードするとリンク切れになります。\は，全て / に修正しなければなりません。"
const char backslash_in_path_text[] =
    "\x81\x79\x83\x47\x83\x89\x81\x5b\x81\x7a\x81\x40\x83\x74\x83\x40\x83\x43\x83\x8b\x83\x70\x83\x58\x82\xc9\\ \x82\xaa\x8e\x67\x82\xed\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81\x42\x83\x8d\x81\x5b\x83\x4a\x83\x8b\x82\xc5\x82\xcd\x96\xe2\x91\xe8\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x82\xaa\x81\x43\x83\x41\x83\x62\x83\x76\x83\x8d\x81\x5b\x83\x68\x82\xb7\x82\xe9\x82\xc6\x83\x8a\x83\x93\x83\x4e\x90\xd8\x82\xea\x82\xc9\x82\xc8\x82\xe8\x82\xdc\x82\xb7\x81\x42\\\x82\xcd\x81\x43\x91\x53\x82\xc4 / \x82\xc9\x8f\x43\x90\xb3\x82\xb5\x82\xc8\x82\xaf\x82\xea\x82\xce\x82\xc8\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x42";
// "\tがリンク切れです ※index.htmlファイル"
const char index_missing_text[] =
    "\t\x82\xaa\x83\x8a\x83\x93\x83\x4e\x90\xd8\x82\xea\x82\xc5\x82\xb7 \x81\xa6index.html\x83\x74\x83\x40\x83\x43\x83\x8b";
// "\tがリンク切れです"
const char file_missing_text[] =
    "\t\x82\xaa\x83\x8a\x83\x93\x83\x4e\x90\xd8\x82\xea\x82\xc5\x82\xb7";
// "http:// の ポート番号の指定がおかしい。"
const char bad_port_text[] =
    "http:// \x82\xcc \x83\x7c\x81\x5b\x83\x67\x94\xd4\x8d\x86\x82\xcc\x8e\x77\x92\xe8\x82\xaa\x82\xa8\x82\xa9\x82\xb5\x82\xa2\x81\x42";
// " のサーバに接続できません。サーバが存在しないか，インターネットにつながっていません。"
const char connect_failed_text[] =
    " \x82\xcc\x83\x54\x81\x5b\x83\x6f\x82\xc9\x90\xda\x91\xb1\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81\x42\x83\x54\x81\x5b\x83\x6f\x82\xaa\x91\xb6\x8d\xdd\x82\xb5\x82\xc8\x82\xa2\x82\xa9\x81\x43\x83\x43\x83\x93\x83\x5e\x81\x5b\x83\x6c\x83\x62\x83\x67\x82\xc9\x82\xc2\x82\xc8\x82\xaa\x82\xc1\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81\x42";
// " のサーバが接続を切断しました。不正なリンクかサーバが拒否しています。"
const char no_reply_text[] =
    " \x82\xcc\x83\x54\x81\x5b\x83\x6f\x82\xaa\x90\xda\x91\xb1\x82\xf0\x90\xd8\x92\x66\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42\x95\x73\x90\xb3\x82\xc8\x83\x8a\x83\x93\x83\x4e\x82\xa9\x83\x54\x81\x5b\x83\x6f\x82\xaa\x8b\x91\x94\xdb\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81\x42";
// " のリンク先はHTTPサーバへの接続ではありません。"
const char not_http_text[] =
    " \x82\xcc\x83\x8a\x83\x93\x83\x4e\x90\xe6\x82\xcdHTTP\x83\x54\x81\x5b\x83\x6f\x82\xd6\x82\xcc\x90\xda\x91\xb1\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x42";
// " がリンク切れです。"
const char http_error_text[] =
    " \x82\xaa\x83\x8a\x83\x93\x83\x4e\x90\xd8\x82\xea\x82\xc5\x82\xb7\x81\x42";
// " 行目↑です"
const char line_number_text[] =
    " \x8d\x73\x96\xda\x81\xaa\x82\xc5\x82\xb7";
// "警告：深い階層です"
const char deep_directory_title[] =
    "\x8c\x78\x8d\x90\x81\x46\x90\x5b\x82\xa2\x8a\x4b\x91\x77\x82\xc5\x82\xb7";
// "階層目です。"
const char deep_directory_depth_text[] =
    "\x8a\x4b\x91\x77\x96\xda\x82\xc5\x82\xb7\x81\x42";
// clang-format on

// Appends text to line, turning each LF byte into CR LF so that it ends a
// line in the file as well; the flush waits for the end of the whole line.
void append_text(std::string& line, const std::string& text) {
    std::size_t from = 0;
    for (std::size_t lf; (lf = text.find('\n', from)) != std::string::npos; from = lf + 1) {
        line.append(text, from, lf - from);
        line += "\r\n";
    }
    line.append(text, from, std::string::npos);
}

// Ends line and hands it to the channel in one write, then flushes. A line
// longer than the stream's buffer would otherwise reach the file in pieces,
// and a run killed between two of them would leave half a line behind. (Only
// a kill that lands inside the system's own copy of a write spanning several
// pages can still cut a line; nothing in user space can prevent that.)
void write_line(std::ostream& out, std::string& line) {
    line += "\r\n";
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out.flush();
}

// One whole line of the error log from its pieces.
void log_line(const std::string& a, const std::string& b = std::string(),
              const std::string& c = std::string(), const std::string& d = std::string(),
              const std::string& e = std::string()) {
    std::string line;
    for (const std::string* piece : {&a, &b, &c, &d, &e})
        append_text(line, *piece);
    write_line(error_log, line);
}

} // namespace

void open_report_files() {
    use_binary_standard_output();
    error_log.open("href-err.log", std::ios::out | std::ios::trunc | std::ios::binary);
    page_list.open("file-list.txt", std::ios::out | std::ios::trunc | std::ios::binary);
}

void close_report_files() {
    error_log.close();
    page_list.close();
}

void announce_page(const std::string& page_name) {
    std::string directory = get_current_directory();
    // The console line is begun before the page-list line and ended after
    // it; each goes to its channel whole.
    std::string console_line;
    append_text(console_line, directory);
    append_text(console_line, "/");
    std::string list_line;
    append_text(list_line, directory);
    append_text(list_line, "\\");
    append_text(list_line, page_name);
    write_line(page_list, list_line);
    append_text(console_line, page_name);
    append_text(console_line, checking_suffix);
    write_line(std::cout, console_line);
}

void report_open_quote_missing() { log_line(open_quote_missing_text); }
void report_close_quote_missing() { log_line(close_quote_missing_text); }
void report_bare_http() { log_line(bare_http_text); }
void report_backslash_in_path(const std::string& link) { log_line(link, backslash_in_path_text); }
void report_index_missing(const std::string& link) { log_line(link, index_missing_text); }
void report_file_missing(const std::string& link) { log_line(link, file_missing_text); }
void report_bad_port() { log_line(bad_port_text); }
void report_connect_failed(const std::string& link) { log_line(link, connect_failed_text); }
void report_no_reply(const std::string& link) { log_line(link, no_reply_text); }
void report_not_http(const std::string& link) { log_line(link, not_http_text); }

void report_http_error(const std::string& link, const std::string& status_line,
                       const std::string& explanation) {
    log_line(link, http_error_text, status_line, ":", explanation);
}

void write_location_trailer(unsigned long long line_number, const std::string& page_name) {
    log_line(std::to_string(line_number), line_number_text);
    log_line(get_current_directory());
    log_line("\t", page_name);
    log_line("");
}

void report_deep_directory(int depth, const std::string& directory) {
    log_line(deep_directory_title);
    log_line(std::to_string(depth), deep_directory_depth_text, directory);
    log_line("");
}
