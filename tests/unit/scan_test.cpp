#include "scan/scan.h"

#include "test_support.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

namespace {

// A page held in memory, handed out in chunks of a fixed size, so that a
// CR LF pair or a 0x1A can fall across two reads.
struct memory_page {
    std::string bytes;
    std::size_t chunk;
    std::size_t at = 0;
};

std::size_t read_memory(void* source, char* buffer, std::size_t size) {
    memory_page& page = *static_cast<memory_page*>(source);
    std::size_t n = std::min({size, page.chunk, page.bytes.size() - page.at});
    std::memcpy(buffer, page.bytes.data() + page.at, n);
    page.at += n;
    return n;
}

std::vector<std::string> read_lines(const std::string& bytes, std::size_t chunk) {
    memory_page page{bytes, chunk};
    page_reader reader;
    reader.read = read_memory;
    reader.source = &page;
    std::vector<std::string> lines;
    std::string line = "stale";
    while (read_page_line(reader, line))
        lines.push_back(line);
    return lines;
}

TEST(ReadPageLine, AppliesTheTextModeRules) {
    struct reader_case {
        const char* why;
        std::string bytes;
        std::vector<std::string> lines;
    };
    const reader_case cases[] = {
        {"empty page", "", {}},
        {"last line without LF is delivered", "a\nb", {"a", "b"}},
        {"a final LF adds no empty line", "a\nb\n", {"a", "b"}},
        {"empty lines count", "\n\nx\n", {"", "", "x"}},
        {"CR LF is one line end", "a\r\nb\r\n", {"a", "b"}},
        {"a lone CR stays in the line", "a\rb\rc", {"a\rb\rc"}},
        {"CR CR LF keeps one CR", "a\r\r\n", {"a\r"}},
        {"CR at the very end stays", "a\r", {"a\r"}},
        {"a lone CR is a line", "\r", {"\r"}},
        {"0x1A ends the page", std::string("a\nb\x1A\nc\n"), {"a", "b"}},
        {"0x1A first: no line",
         std::string("\x1A"
                     "abc"),
         {}},
        {"0x1A after a LF: no further line", std::string("a\n\x1A"), {"a"}},
        {"NUL bytes are kept", std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
    };
    for (const reader_case& c : cases) {
        for (std::size_t chunk : {1, 2, 3, 65536}) {
            SCOPED_TRACE(std::string(c.why) + ", chunk " + std::to_string(chunk));
            EXPECT_EQ(read_lines(c.bytes, chunk), c.lines);
        }
    }
}

TEST(ReadPageLine, HoldsALongLineWhole) {
    std::string big(3 * 65536 + 17, 'x');
    big[70000] = '\r';
    EXPECT_EQ(read_lines(big + "\r\nend", 65536), (std::vector<std::string>{big, "end"}));
}

// The page's size lets a long line take its room at once. The size is only
// a hint: a wrong one (the file grew or shrank) must not change a line.
TEST(ReadPageLine, TakesRoomForALongLineFromThePageSize) {
    std::string first(5 * 65536 + 3, 'a');
    first[65535] = '\r'; // a CR that falls at the end of a buffer
    std::string second(2 * 65536, 'b');
    const std::string bytes = "short\n" + first + "\r\n" + second + "\nend";
    const std::vector<std::string> expected = {"short", first, second, "end"};
    struct hint_case {
        const char* why;
        std::size_t size;
    };
    const hint_case cases[] = {
        {"exact size", bytes.size()},
        {"no size known", 0},
        {"file has grown since", bytes.size() / 3},
        {"file has shrunk since", bytes.size() * 4},
    };
    for (const hint_case& c : cases) {
        for (std::size_t chunk : {std::size_t(4096), std::size_t(65536)}) {
            SCOPED_TRACE(std::string(c.why) + ", chunk " + std::to_string(chunk));
            memory_page page{bytes, chunk};
            page_reader reader;
            reader.read = read_memory;
            reader.source = &page;
            reader.size = c.size;
            std::vector<std::string> lines;
            std::string line;
            std::size_t room = 0;
            while (read_page_line(reader, line)) {
                lines.push_back(line);
                room = std::max(room, line.capacity());
            }
            EXPECT_EQ(lines, expected);
            // Knowing the size, the long line took no more room than the page.
            if (c.size == bytes.size()) {
                EXPECT_LE(room, bytes.size());
            }
        }
    }
}

TEST(FindAttribute, FindsTheWholeNameAtOrAfterThePosition) {
    const std::string line = "href=a HREF= xhref= href";
    EXPECT_EQ(find_attribute(line, "href=", 0), 0u);
    EXPECT_EQ(find_attribute(line, "href=", 1), 14u);
    EXPECT_EQ(find_attribute(line, "href=", 15), std::string::npos); // "href" at the end has no '='
    EXPECT_EQ(find_attribute(line, "HREF=", 0), 7u);
    EXPECT_EQ(find_attribute(line, "href=", 1000), std::string::npos);
    EXPECT_EQ(find_attribute("=href", "href=", 0), std::string::npos);
    EXPECT_EQ(find_attribute("ref=", "href=", 0), std::string::npos);
}

// Every local link below is missing from the empty temporary directory, so
// each attribute handed to check_link shows up as one entry naming it.
TEST(ScanLine, HandsOverAttributesInPassOrder) {
    struct scan_case {
        const char* why;
        std::string line;
        std::vector<std::string> entries;
    };
    const scan_case cases[] = {
        {"two attributes, far enough apart", "<a href=\"a\">x</a><a href=\"b\">", {"a@7", "b@7"}},
        {"lower-case pass first, whatever the positions",
         "<A HREF=\"up\"> <a href=\"low\">",
         {"low@7", "up@7"}},
        {"an attribute 1 to 3 bytes after a closing quote is not seen",
         "href=\"a\" href=\"b\"   href=\"c\"",
         {"a@7", "c@7"}},
        {"4 bytes after the closing quote is seen", "href=\"a\"1234href=\"b\"", {"a@7", "b@7"}},
        {"other spellings are not attributes", "Href=\"a\" hREF=\"b\" href =\"c\" HREF =\"d\"", {}},
        {"the name inside a longer word counts", "data-href=\"a\" xHREF=\"b\"", {"a@7", "b@7"}},
        {"a missing quote ends only that pass",
         "HREF=\"b\" href='a' href='c'",
         {"open_quote_missing@7", "b@7"}},
        {"an unquoted value takes a later quoted one, and hides the attribute after it",
         "href=a title=\"t\" href=\"b\"",
         {"t@7"}},
        {"quotes pair up wherever they fall",
         "HREF=\"a href=\"b",
         {"close_quote_missing@7", "a href=@7"}},
        // The full-width letter Ｉ is 0x82 0x68 in Shift_JIS; with "ref=" after it the bytes
        // hold "href=" and are found, since the scan knows nothing of double-byte characters.
        {"a double-byte character can hold the name", "\x82\x68ref=\"x\"", {"x@7"}},
    };
    temp_dir dir;
    for (const scan_case& c : cases) {
        SCOPED_TRACE(c.why);
        captured_error_log log;
        scan_line("p.html", 7, c.line);
        EXPECT_EQ(summarize_entries(log.take()), c.entries);
    }
}

} // namespace
