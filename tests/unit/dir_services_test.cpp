#include "walk/dir_services.h"

#include "test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Every entry a search returns, in order; directories get a trailing '/'.
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

using names = std::vector<std::string>;

TEST(DirectorySearch, FollowsThePatternRules) {
    temp_dir dir;
    for (const char* file : {"a.htm", "b.html", "TOP.HTML", "d.shtml", "noext", ".hidden.html",
                             "with space.htm", "Sub/x.txt"}) {
        if (std::string(file) == "Sub/x.txt")
            mkdir("Sub", 0755);
        write_file(file, "x");
    }
    mkdir("old.html", 0755);
    ASSERT_EQ(symlink("Sub", "link_to_sub"), 0);
    ASSERT_EQ(symlink("nowhere", "dangling"), 0);

    struct search_case {
        std::string pattern;
        names expected;
    };
    const search_case cases[] = {
        // The page pattern: .htm and .html in any case, directories included
        // (the caller drops them), sorted with letters upper-cased.
        {"*.htm?", {".hidden.html", "a.htm", "b.html", "old.html/", "TOP.HTML", "with space.htm"}},
        {"*",
         {"./", "../", ".hidden.html", "a.htm", "b.html", "d.shtml", "dangling", "link_to_sub/",
          "noext", "old.html/", "Sub/", "TOP.HTML", "with space.htm"}},
        {"?", {"./"}},
        {"A.HTM", {"a.htm"}},
        {"nothing*", {}},
        // Only the last component ignores case; the directory part is the OS's.
        {"Sub/X.TXT", {"x.txt"}},
        {"sub/x.txt", {}},
        {"Sub/*", {"./", "../", "x.txt"}},
        {"link_to_sub/*.txt", {"x.txt"}},
        {dir.path() + "/Sub/x.txt", {"x.txt"}},
        // A pattern ending in '/' finds the directory itself.
        {"Sub/", {"./"}},
        {"./", {"./"}},
        {"/", {"./"}},
        {"link_to_sub/", {"./"}},
        {"missing/", {}},
        {"a.htm/", {}},
        // A dangling link is an entry, but not a directory.
        {"dangling", {"dangling"}},
        {"missing/*", {}},
        {"", {}},
    };
    for (const search_case& c : cases) {
        SCOPED_TRACE("pattern '" + c.pattern + "'");
        EXPECT_EQ(search_all(c.pattern), c.expected);
    }
}

TEST(PageFile, OpensOnlyRegularFilesWithoutBlocking) {
    temp_dir dir;
    write_file("page.html", "abc");
    ASSERT_EQ(mkfifo("fifo.html", 0644), 0);
    mkdir("dir.html", 0755);
    ASSERT_EQ(symlink("page.html", "link.html"), 0);
    ASSERT_EQ(symlink("/dev/zero", "zero.html"), 0);

    EXPECT_EQ(open_page_file("fifo.html"), nullptr); // would block a plain open
    EXPECT_EQ(open_page_file("dir.html"), nullptr);
    EXPECT_EQ(open_page_file("zero.html"), nullptr); // would never end
    EXPECT_EQ(open_page_file("missing.html"), nullptr);
    for (const char* name : {"page.html", "link.html"}) {
        page_file* file = open_page_file(name);
        ASSERT_NE(file, nullptr) << name;
        char buffer[8];
        EXPECT_EQ(read_page_file(file, buffer, sizeof buffer), 3u);
        EXPECT_EQ(std::string(buffer, 3), "abc");
        EXPECT_EQ(read_page_file(file, buffer, sizeof buffer), 0u);
        close_page_file(file);
    }
}

TEST(CurrentDirectory, IsReadAndLeftBeyondThePathLimit) {
    temp_dir dir;
    saved_directory* top = save_current_directory();
    ASSERT_NE(top, nullptr);
    std::string expected = dir.path();
    const std::string name = "level-directory-name";
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(mkdir(name.c_str(), 0755), 0);
        ASSERT_TRUE(set_current_directory(name.c_str()));
        expected += "/" + name;
    }
    ASSERT_GT(expected.size(), 4096u);
    EXPECT_EQ(get_current_directory(), expected);
    EXPECT_FALSE(set_current_directory("missing"));
    EXPECT_EQ(get_current_directory(), expected);
    ASSERT_TRUE(restore_directory(top));
    release_directory(top);
    EXPECT_EQ(get_current_directory(), dir.path());
}

} // namespace
