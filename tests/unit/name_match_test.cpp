#include "walk/name_match.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

// A deliberately plain recursive reading of the matching rules, to compare
// the real matcher against.
bool reference_match(const char* p, const char* n) {
    auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    if (*p == '\0')
        return *n == '\0';
    if (*p == '*')
        return reference_match(p + 1, n) || (*n != '\0' && reference_match(p, n + 1));
    if (*p == '?')
        return *n == '\0' ? reference_match(p + 1, n) : reference_match(p + 1, n + 1);
    return *n != '\0' && fold(*p) == fold(*n) && reference_match(p + 1, n + 1);
}

struct match_case {
    const char* pattern;
    const char* name;
    bool expected;
};

TEST(NameMatches, FollowsTheWildcardRules) {
    const match_case cases[] = {
        {"*.htm?", "a.htm", true}, // '?' matches nothing at the end
        {"*.htm?", "a.html", true},
        {"*.htm?", "TOP.HTML", true}, // ASCII letters fold
        {"*.htm?", "a.shtml", false},
        {"*.htm?", "a.htmlx", false},
        {"*.htm?", ".htm", true},
        {"*.htm?", "old.htm.bak", false},
        {"*.htm?", "index", false},
        {"a?c", "ac", false}, // '?' matches nothing only once the name is used up
        {"a?c", "abc", true},
        {"a??", "a", true},
        {"*", "", true},
        {"*", ".", true},
        {"", "", true},
        {"", "a", false},
        {"**a*", "bab", true},
        {"*a*b", "aaab", true},
        {"*a*b", "aaa", false},
        {"list.cgi?p=2", "list.cgi", false}, // a query is not dropped
        {"list.cgi?p=2", "list.cgi?p=2", true},
        {"x[a]", "xa", false}, // brackets are not special
        {"x[a]", "X[A]", true},
        {"\x82\x68ref", "\x82hREF", true},       // single bytes: 0x68 is the letter h
        {"\x95\\", "\x95\\", true},              // a 0x5C second byte is just a byte
        {"\xe9\x96\x8b", "\xc9\x96\x8b", false}, // no folding outside ASCII
    };
    for (const match_case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " vs " + c.name);
        EXPECT_EQ(name_matches(c.pattern, c.name), c.expected);
        EXPECT_EQ(reference_match(c.pattern, c.name), c.expected) << "reference disagrees";
    }
}

TEST(NameMatches, AgreesWithReferenceOnRandomInputs) {
    std::mt19937 random(12345);
    const char pattern_bytes[] = "ab*?A.";
    const char name_bytes[] = "abAB.";
    for (int i = 0; i < 200000; ++i) {
        std::string pattern, name;
        for (int k = static_cast<int>(random() % 7); k > 0; --k)
            pattern += pattern_bytes[random() % 6];
        for (int k = static_cast<int>(random() % 7); k > 0; --k)
            name += name_bytes[random() % 5];
        ASSERT_EQ(name_matches(pattern, name), reference_match(pattern.c_str(), name.c_str()))
            << "pattern '" << pattern << "' name '" << name << "'";
    }
}

TEST(NameOrder, SortsByUpperCasedBytesThenRawBytes) {
    std::vector<std::string> names = {"b",  "_x",           "a", "B", "..",     ".", "A", "Ab",
                                      "aB", "\xe3\x81\x82", "Z", "[", "a.html", "a"};
    std::sort(names.begin(), names.end(), name_order_less);
    // '_' (0x5F) and '[' (0x5B) sort after the letters once they are upper-cased.
    const std::vector<std::string> expected = {".",  "..", "A", "a", "a", "a.html", "Ab",
                                               "aB", "B",  "b", "Z", "[", "_x",     "\xe3\x81\x82"};
    EXPECT_EQ(names, expected);
}

} // namespace
