// The Windows directory services against the real Win32 calls. Search order
// is the platform's, so searches are compared as sorted sets here.
#include "walk/dir_services.h"

#include "test_support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>

namespace {

using names = std::vector<std::string>;

// Every entry a search returns, sorted; directories get a trailing '/'.
names sorted_search(const std::string& pattern) {
    names found = search_all(pattern);
    std::sort(found.begin(), found.end());
    return found;
}

TEST(DirectorySearch, AnswersPatternsEndingInASeparatorFromTheDirectory) {
    temp_dir dir;
    ASSERT_TRUE(make_directory("Sub"));
    for (const char* file : {"a.html", "b.HTML", "Sub/x.txt", "noext", "\x95\x5c.html"})
        write_file(file, "x");

    struct search_case {
        std::string pattern;
        names expected;
    };
    const search_case cases[] = {
        // Plain searches are FindFirstFileA's own. "*.htm?" is left out on
        // purpose: Wine's '?' never matches nothing at the end of a name, so
        // it skips ".htm" names where Windows finds them.
        {"*.html", {"\x95\x5c.html", "a.html", "b.HTML"}},
        {"*", {"./", "../", "Sub/", "\x95\x5c.html", "a.html", "b.HTML", "noext"}},
        {"A.HTML", {"a.html"}},
        {"?.html", {"\x95\x5c.html", "a.html", "b.HTML"}}, // one character: 0x95 0x5C is one
        {"nothing*", {}},
        {"Sub/*.txt", {"x.txt"}},
        {"Sub\\*.txt", {"x.txt"}},
        {"sub/X.TXT", {"x.txt"}},
        {dir.path() + "\\Sub\\x.txt", {"x.txt"}},
        {"missing/*", {}},
        {"", {}},
        // A pattern ending in a separator finds the directory itself, which
        // FindFirstFileA alone would not.
        {"Sub/", {"./"}},
        {"Sub\\", {"./"}},
        {"./", {"./"}},
        {".\\", {"./"}},
        {"../", {"./"}},
        {"/", {"./"}},
        {"\\", {"./"}},
        {dir.path() + "\\Sub\\", {"./"}},
        {"missing/", {}},
        {"missing\\", {}},
        {"a.html/", {}}, // a file is no directory
    };
    for (const search_case& c : cases) {
        SCOPED_TRACE("pattern '" + c.pattern + "'");
        names expected = c.expected;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(sorted_search(c.pattern), expected);
        // The existence search gives the same answer.
        EXPECT_EQ(find_any(c.pattern.c_str()), !expected.empty());
    }
}

TEST(PageFile, OpensOnlyDiskFilesAndNeverBlocks) {
    temp_dir dir;
    write_file("page.html", "abc");
    ASSERT_TRUE(make_directory("dir.html"));

    // A pipe with a server waiting on it: a read would wait for a writer.
    std::string pipe_name = "\\\\.\\pipe\\hrefcheck-test-" + std::to_string(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeA(pipe_name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 64,
                                     64, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    EXPECT_EQ(open_page_file(pipe_name.c_str()), nullptr);
    CloseHandle(server);

    EXPECT_EQ(open_page_file("NUL"), nullptr); // a character device
    EXPECT_EQ(open_page_file("dir.html"), nullptr);
    EXPECT_EQ(open_page_file("missing.html"), nullptr);

    // A page another program holds open for writing, sharing it, is read.
    HANDLE writer = CreateFileA("page.html", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    page_file* file = open_page_file("page.html");
    ASSERT_NE(file, nullptr);
    char buffer[8];
    EXPECT_EQ(read_page_file(file, buffer, sizeof buffer), 3u);
    EXPECT_EQ(std::string(buffer, 3), "abc");
    EXPECT_EQ(read_page_file(file, buffer, sizeof buffer), 0u);
    close_page_file(file);
    CloseHandle(writer);

    // One held without sharing cannot be opened.
    HANDLE locker = CreateFileA("page.html", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(locker, INVALID_HANDLE_VALUE);
    EXPECT_EQ(open_page_file("page.html"), nullptr);
    CloseHandle(locker);
}

TEST(CurrentDirectory, IsEnteredLeftAndTold) {
    temp_dir dir;
    ASSERT_TRUE(make_directory("sub"));
    ASSERT_TRUE(make_directory("\x95\x5c"));
    EXPECT_EQ(get_current_directory(), dir.path());
    directory_id top;
    ASSERT_TRUE(current_directory_id(top));
    saved_directory* saved = save_current_directory();
    ASSERT_NE(saved, nullptr);

    EXPECT_FALSE(set_current_directory("missing"));
    EXPECT_EQ(get_current_directory(), dir.path());

    // A name whose second byte is 0x5C is one character, not a separator.
    ASSERT_TRUE(set_current_directory("\x95\x5c"));
    EXPECT_EQ(get_current_directory(), dir.path() + "\\\x95\x5c");
    ASSERT_TRUE(restore_directory(saved));

    ASSERT_TRUE(set_current_directory("sub"));
    EXPECT_EQ(get_current_directory(), dir.path() + "\\sub");
    directory_id sub;
    ASSERT_TRUE(current_directory_id(sub));
    EXPECT_FALSE(sub == top);
    // The same directory reached by another way has the same identity.
    ASSERT_TRUE(set_current_directory(".."));
    directory_id again;
    ASSERT_TRUE(current_directory_id(again));
    EXPECT_TRUE(again == top);

    ASSERT_TRUE(set_current_directory("sub"));
    ASSERT_TRUE(restore_directory(saved));
    EXPECT_EQ(get_current_directory(), dir.path());

    // The root of a drive keeps its separator: "C:\".
    ASSERT_TRUE(set_current_directory("\\"));
    std::string root = get_current_directory();
    EXPECT_EQ(root.size(), 3u);
    EXPECT_EQ(root.substr(1), ":\\");
    EXPECT_EQ(root[0], dir.path()[0]);
    ASSERT_TRUE(restore_directory(saved));
    release_directory(saved);
    EXPECT_EQ(get_current_directory(), dir.path());
}

} // namespace
