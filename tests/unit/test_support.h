// Helpers shared by the unit tests: temporary directories, captured report
// channels, and Shift_JIS bytes obtained from a converter rather than the
// program. test_support.cpp is the same everywhere; test_support_posix.cpp
// and test_support_win32.cpp hold what the platform does differently.
#pragma once

#include <string>
#include <vector>

// The CP932 bytes of a UTF-8 text: converted by `iconv -f UTF-8 -t CP932`
// on POSIX, by the system's own code page 932 conversion on Windows.
std::string sjis(const std::string& utf8);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

// Creates the directory path; false when it cannot.
bool make_directory(const std::string& path);

// Makes path the current directory; false when it cannot.
bool enter_directory(const std::string& path);

// The name of a new, empty file in the system's temporary directory.
std::string temporary_file_name();

// An absolute path as a page links to it with a link that begins with '/':
// unchanged on POSIX; on Windows without the drive and with '/' separators;
// under Wine, which reads such a link from the Unix root, the Unix path.
std::string root_link(const std::string& path);

// True where the file system finds a directory whatever the case of its
// name in the path (Windows); false where case counts (POSIX).
extern const bool directory_names_ignore_case;

// Every entry a directory search (find_first, find_next) returns for
// pattern, in the order the platform gives them; directories get a trailing
// '/'.
std::vector<std::string> search_all(const std::string& pattern);

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
