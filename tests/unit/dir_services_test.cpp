#include "walk/dir_services.h"

#include "test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

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

// find_any may settle a name without wildcards by its exact name; find_first
// always reads the whole directory. Both must give the same answer, so every
// case runs through each of them.
struct existence_search {
    const char* label;
    bool (*found)(const std::string& pattern);
};

bool full_search_finds(const std::string& pattern) {
    find_data data;
    find_search* search = find_first(pattern.c_str(), data);
    if (search)
        find_close(search);
    return search != nullptr;
}

bool find_any_finds(const std::string& pattern) { return find_any(pattern.c_str()); }

class ExistenceSearch : public testing::TestWithParam<existence_search> {};

TEST_P(ExistenceSearch, AnswersAsTheFullRule) {
    temp_dir dir;
    for (const char* file : {"index.html", "Page.HTML", "MiXeD.txt", "mixed.TXT", "123",
                             "img/logo.png", "img/Sub/deep.html"}) {
        std::string path(file);
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            mkdir(path.substr(0, slash).c_str(), 0755);
        write_file(path, "x");
    }
    ASSERT_EQ(symlink("nowhere", "dangling"), 0);
    ASSERT_EQ(symlink("img", "link_to_img"), 0);

    struct existence_case {
        std::string pattern;
        bool expected;
    };
    const existence_case cases[] = {
        {"index.html", true},
        {"INDEX.HTML", true}, // no entry of that exact name: letters fold
        {"page.html", true},  // only another spelling exists
        {"Page.HTML", true},
        {"mixed.txt", true}, // two spellings, neither exact
        {"MiXeD.txt", true},
        {"missing.html", false},
        {"index.htm", false},
        {"index.html ", false}, // nothing is trimmed
        {"123", true},          // no letters at all
        {"img", true},          // a directory counts
        {"IMG", true},
        {"img/logo.png", true},
        {"img/LOGO.PNG", true},
        {"IMG/logo.png", false}, // the directory part is the OS's, case and all
        {"img/Sub/deep.html", true},
        {"img/sub/deep.html", false},
        {"link_to_img/logo.png", true},
        {"dangling", true}, // a dangling link is an entry
        {"DANGLING", true},
        {".", true},
        {"..", true},
        {"img/..", true},
        {"index.html/x", false}, // the directory part is a file
        {"index.html/", false},
        {"img/", true},
        {"missing/", false},
        {"missing/index.html", false},
        {"/", true},
        {dir.path() + "/index.html", true},
        {dir.path() + "/Index.Html", true},
        {"*.htm?", true},
        {"*.xyz", false},
        {"img/lo?o.png", true},
        {"in*", true},
        {"", false},
    };
    for (const existence_case& c : cases) {
        SCOPED_TRACE("pattern '" + c.pattern + "'");
        EXPECT_EQ(GetParam().found(c.pattern), c.expected);
    }
}

TEST_P(ExistenceSearch, FollowsDirectoryPermissions) {
    temp_dir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    for (const char* sub : {"readable", "searchable"}) {
        ASSERT_EQ(mkdir(sub, 0755), 0);
        write_file(std::string(sub) + "/a.html", "x");
    }
    ASSERT_EQ(chmod("readable", 0644), 0);   // may be listed, not searched
    ASSERT_EQ(chmod("searchable", 0311), 0); // may be searched, not listed

    // A search finds what it can list: an entry of a directory that may be
    // listed but not searched, and nothing in one that may not be listed,
    // not even under its exact name.
    struct permission_case {
        const char* pattern;
        bool expected;
    };
    const permission_case cases[] = {
        {"readable/a.html", true},    {"readable/A.HTML", true},    {"readable/b.html", false},
        {"searchable/a.html", false}, {"searchable/A.HTML", false}, {"searchable/*", false},
    };
    // Root passes every permission check, so the searches run in a child
    // process as an unprivileged user; its exit code has one bit per case
    // that came out wrong.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(255);
        int wrong = 0;
        for (std::size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
            if (GetParam().found(cases[i].pattern) != cases[i].expected)
                wrong |= 1 << i;
        _exit(wrong);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    chmod("readable", 0755);
    chmod("searchable", 0755);
    ASSERT_TRUE(WIFEXITED(status));
    int wrong = WEXITSTATUS(status);
    ASSERT_NE(wrong, 255) << "cannot switch to an unprivileged user";
    for (std::size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_EQ((wrong >> i) & 1, 0) << "pattern '" << cases[i].pattern << "'";
}

INSTANTIATE_TEST_SUITE_P(BothSearches, ExistenceSearch,
                         testing::Values(existence_search{"FullRule", full_search_finds},
                                         existence_search{"FindAny", find_any_finds}),
                         [](const testing::TestParamInfo<existence_search>& info) {
                             return std::string(info.param.label);
                         });

// Directories of random names that differ in case, searched for random
// names: find_any and the full rule must never disagree.
TEST(FindAny, AgreesWithFullRuleOnRandomNames) {
    std::mt19937 random(2024);
    const char name_bytes[] = "aAbB.1";
    auto random_name = [&](std::size_t most) {
        std::string name;
        for (std::size_t k = 1 + random() % most; k > 0; --k)
            name += name_bytes[random() % 6];
        return name;
    };
    int found = 0, missed = 0;
    for (int round = 0; round < 100; ++round) {
        temp_dir dir;
        for (int k = 0; k < 8; ++k) {
            std::string name = random_name(3);
            if (name != "." && name != "..")
                write_file(name, "x");
        }
        for (int k = 0; k < 40; ++k) {
            std::string pattern = random_name(3);
            if (random() % 8 == 0)
                pattern[random() % pattern.size()] = random() % 2 ? '?' : '*';
            bool expected = full_search_finds(pattern);
            ASSERT_EQ(find_any(pattern.c_str()), expected) << "pattern '" << pattern << "'";
            ++(expected ? found : missed);
        }
    }
    // Both answers must have come up often, or the comparison proves little.
    EXPECT_GT(found, 500);
    EXPECT_GT(missed, 500);
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

// Beyond the kernel's limit the path is found by climbing, and the climb
// remembers the directories it passed; the walk asks for a directory, then
// for its children, its siblings' children and its parent.
TEST(CurrentDirectory, IsReadAndLeftBeyondThePathLimit) {
    temp_dir dir;
    saved_directory* top = save_current_directory();
    ASSERT_NE(top, nullptr);
    const std::string name = "level-directory-name";
    const int depth = 220;
    for (const char* branch : {"a", "b"}) {
        ASSERT_EQ(mkdir(branch, 0755), 0);
        ASSERT_TRUE(set_current_directory(branch));
        std::string expected = dir.path() + "/" + branch;
        for (int i = 0; i < depth; ++i) {
            ASSERT_EQ(mkdir(name.c_str(), 0755), 0);
            ASSERT_TRUE(set_current_directory(name.c_str()));
            expected += "/" + name;
            ASSERT_EQ(get_current_directory(), expected) << branch << " down to " << i;
        }
        ASSERT_GT(expected.size(), 4096u);
        EXPECT_FALSE(set_current_directory("missing"));
        EXPECT_EQ(get_current_directory(), expected);
        for (int i = depth; i-- > 0;) {
            ASSERT_TRUE(set_current_directory(".."));
            expected.resize(expected.size() - name.size() - 1);
            ASSERT_EQ(get_current_directory(), expected) << branch << " up to " << i;
        }
        ASSERT_TRUE(restore_directory(top));
        EXPECT_EQ(get_current_directory(), dir.path());
    }
    release_directory(top);
}

} // namespace
