// Helpers shared by the unit tests: temporary directories, captured report
// channels, and Shift_JIS bytes obtained from iconv rather than the program.
#pragma once

#include <string>
#include <vector>

// The CP932 bytes of a UTF-8 text, converted by `iconv -f UTF-8 -t CP932`.
std::string sjis(const std::string& utf8);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

// A fresh temporary directory, made current for the test's lifetime and
// removed afterwards; the previous current directory is restored.
class temp_dir {
  public:
    temp_dir();
    ~temp_dir();
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::string previous_;
};

// Binds error_log to a temporary file for the test; take() closes it and
// returns everything written.
class captured_error_log {
  public:
    captured_error_log();
    ~captured_error_log();
    std::string take();

  private:
    std::string file_;
};

// Sums up a captured error log, one string per problem entry: the link (or
// the entry kind for entries that do not name the link) and "@" and the line
// number of its trailer, such as "a.html@3" or "open_quote_missing@1".
// Anything that does not parse as whole entries fails the test.
std::vector<std::string> summarize_entries(const std::string& log);
