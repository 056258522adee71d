// Report channels: the error log, the page list and the console, and the
// layout of every line hrefcheck writes to them.
//
// Every line end is written as CR LF and flushes its channel at once. A LF
// byte inside a written text also becomes CR LF (without a flush). Texts are
// written as the same bytes they were given; the fixed texts are Shift_JIS.
// A channel that failed (open, write or close) drops every later write.
#pragma once

#include <fstream>
#include <string>

extern std::ofstream error_log; // "href-err.log": opened and closed by main, written by the checks
extern std::ofstream page_list; // "file-list.txt": opened and closed by main, written by scan_page

// Puts standard output in binary mode, then opens error_log on "href-err.log"
// and page_list on "file-list.txt" in the current directory, each created or
// emptied. A file that cannot be opened leaves its channel failed and the
// file as it was.
void open_report_files();

// Closes error_log and then page_list; a failed close is ignored.
void close_report_files();

// The console line "<directory>/<page>をチェック中..." and the page-list line
// "<directory>\<page>", with the directory read at this moment.
void announce_page(const std::string& page_name);

// First lines of the problem entries. Each writes one line (or more, when a
// text holds LF bytes) to error_log; the location trailer follows separately.
void report_open_quote_missing();
void report_close_quote_missing();
void report_bare_http();
void report_backslash_in_path(const std::string& link);
void report_index_missing(const std::string& link);
void report_file_missing(const std::string& link);
void report_bad_port();
void report_connect_failed(const std::string& link);
void report_no_reply(const std::string& link);
void report_not_http(const std::string& link);
void report_http_error(const std::string& link, const std::string& status_line,
                       const std::string& explanation);

// Closes a problem entry: "<line> 行目↑です", the current directory, a tab and
// the page name, and an empty line.
void write_location_trailer(unsigned long long line_number, const std::string& page_name);

// The three lines of the deep-directory warning for a directory at the given
// depth whose full path is directory.
void report_deep_directory(int depth, const std::string& directory);
