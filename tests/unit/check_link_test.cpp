#include "check/check_link.h"

#include "test_support.h"

#include <gtest/gtest.h>

namespace {

const std::size_t npos = std::string::npos;

// The page's directory is <temp>/p; the parent holds index.html.
class CheckLink : public ::testing::Test {
  protected:
    void SetUp() override {
        write_file("index.html", "");
        ASSERT_TRUE(make_directory("p"));
        ASSERT_TRUE(enter_directory("p"));
        for (const char* dir : {"dir", "noindex", "img"})
            ASSERT_TRUE(make_directory(dir));
        for (const char* file : {"exists.html", "dir/index.html", "dir/a.html", "noindex/index.htm",
                                 "img/a.gif", "pic.gif", "list.cgi", "a b.html", "\x95\x5c.html"})
            write_file(file, "");
    }
    temp_dir dir_;
};

struct link_case {
    std::string line; // the attribute is the first "href=" or "HREF=" of the line
    std::size_t resume;
    std::vector<std::string> entries;
};

TEST_F(CheckLink, ClassifiesAndChecksEachLink) {
    const link_case cases[] = {
        // Quotes and what lies between them.
        {"<a href=\"exists.html\">", 20, {}},
        {"<a href=\"missing.html\">", 21, {"missing.html@5"}},
        {"href=", npos, {"open_quote_missing@5"}},
        {"href='exists.html'", npos, {"open_quote_missing@5"}},
        {"href=\"", npos, {"close_quote_missing@5"}},
        {"href=\"exists.html", npos, {"close_quote_missing@5"}},
        {"href= x=1 \"exists.html\"", 22, {}}, // anything before the opening quote is passed over
        {"href=\"\"", 6, {}},
        {"href=\"#top\"", 10, {}},
        {"href=\"exists.html#top\"", 21, {}},
        {"href=\"missing.html#top\"", 22, {"missing.html@5"}},
        {"href=\"mail#to:x\"", 15, {"mail@5"}},
        {"href=\" exists.html\"", 18, {" exists.html@5"}}, // nothing is trimmed
        // The scheme alone, and the skipped prefixes (case matters).
        {"href=\"http://\"", 13, {"bare_http@5"}},
        {"href=\"http://#x\"", 15, {"bare_http@5"}},
        {"href=\"https://x/\"", 16, {}},
        {"href=\"ftp://x/\"", 14, {}},
        {"href=\"mms://x\"", 13, {}},
        {"href=\"mailto:a@b\"", 16, {}},
        {"href=\"mailto:\"", 13, {}},
        {"href=\"MailTo:a@b\"", 16, {}},
        {"href=\"javascript:go()\"", 21, {}},
        {"href=\"JavaScript:go()\"", 21, {}},
        {"href=\"HTTP://x\"", 14, {"HTTP://x@5"}},
        {"href=\"Https:x\"", 13, {"Https:x@5"}},
        {"href=\"FTP:x\"", 11, {"FTP:x@5"}},
        {"href=\"MAILTO:x\"", 14, {"MAILTO:x@5"}},
        {"href=\"Mailto:x\"", 14, {"Mailto:x@5"}},
        {"href=\"JAVASCRIPT:x\"", 18, {"JAVASCRIPT:x@5"}},
        {"href=\"ftp\"", 9, {"ftp@5"}},
        {"href=\" http://x\"", 15, {" http://x@5"}},
        {"href=\"//host/x\"", 14, {"//host/x@5"}},
        // Local paths.
        {"href=\"dir\\a.html\"", 16, {"backslash_in_path:dir\\a.html@5"}},
        {"href=\"\x95\x5c.html\"", 13, {"backslash_in_path:\x95\x5c.html@5"}},
        {"href=\"dir/\"", 10, {}},
        {"href=\"dir\"", 9, {}},
        {"href=\"noindex/\"", 14, {"index_missing:noindex/@5"}},
        {"href=\"nodir/\"", 12, {"index_missing:nodir/@5"}},
        {"href=\"../\"", 9, {}}, // three bytes: the parent's index.html is there
        {"href=\"./\"", 8, {}},  // two bytes: only the directory itself is searched
        {"href=\"x/\"", 8, {"x/@5"}},
        {"href=\"/\"", 7, {}},
        {"href=\"*.gif\"", 11, {}},
        {"href=\"img/*.GIF\"", 15, {}},
        {"href=\"*.png\"", 11, {"*.png@5"}},
        {"href=\"list.cgi?p=2\"", 18, {"list.cgi?p=2@5"}},
        {"href=\"a%20b.html\"", 16, {"a%20b.html@5"}},
        {"href=\"a b.html\"", 14, {}},
        {"href=\"EXISTS.HTML\"", 17, {}},
        // The directory part is the file system's: case counts on Linux, not
        // on Windows.
        {"href=\"DIR/a.html\"", 16,
         directory_names_ignore_case ? std::vector<std::string>{}
                                     : std::vector<std::string>{"DIR/a.html@5"}},
        {"href=\"../p/exists.html\"", 22, {}},
        {"href=\"/no-such-top-directory/x.html\"", 35, {"/no-such-top-directory/x.html@5"}},
    };
    for (const link_case& c : cases) {
        SCOPED_TRACE(c.line);
        std::size_t at = c.line.find("href=");
        ASSERT_NE(at, npos);
        captured_error_log log;
        EXPECT_EQ(check_link("p.html", 5, c.line, at + 5), c.resume);
        EXPECT_EQ(summarize_entries(log.take()), c.entries);
    }
}

TEST_F(CheckLink, AbsolutePathsStartAtTheRoot) {
    captured_error_log log;
    // On Windows the root is that of the current drive, so the links leave
    // the drive out.
    std::string top = root_link(dir_.path());
    std::string present = top + "/p/exists.html";
    std::string line = "href=\"" + present + "\" x href=\"" + top + "/gone.html\"";
    EXPECT_EQ(check_link("p.html", 2, line, 5), 6 + present.size());
    EXPECT_EQ(check_link("p.html", 2, line, line.rfind("href=") + 5), line.size() - 1);
    EXPECT_EQ(summarize_entries(log.take()), (std::vector<std::string>{top + "/gone.html@2"}));
}

} // namespace
