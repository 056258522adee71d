// The page scanner: reads one page line by line and hands every "href=" and
// "HREF=" attribute on it to check_link.
#pragma once

#include <cstddef>
#include <string>

// Announces the page (console and page list), reads it line by line and
// checks every attribute on each line. A page that cannot be opened, or that
// is not a regular file, is announced and yields no lines.
void scan_page(const std::string& page_name);

// Searches one line: first every "href=" from left to right, then every
// "HREF=", each handed to check_link, resuming 4 bytes after the position it
// returns and ending the pass at npos.
void scan_line(const std::string& page_name, unsigned long long line_number,
               const std::string& line);

// Reads a page in binary with the text-mode rules applied: CR LF is read as
// LF, a lone CR stays in the line, the byte 0x1A ends the page. The bytes
// come from read(source, buffer, size), which returns 0 at the end.
// size, when not 0, is what the page is expected to hold in all; it only
// helps a long line find room at once.
struct page_reader {
    std::size_t (*read)(void* source, char* buffer, std::size_t size) = nullptr;
    void* source = nullptr;
    std::size_t size = 0;
    char buffer[65536];
    std::size_t begin = 0, end = 0;
    std::size_t taken = 0; // bytes read from the source so far
    bool finished = false;
};

// Puts the next line, without its line end, in line. False when no line is
// left: the end of the page came before any byte since the last line end.
bool read_page_line(page_reader& reader, std::string& line);

// Where "href=" or "HREF=" (name, 5 bytes) next begins at or after from in
// line; npos when nowhere.
std::size_t find_attribute(const std::string& line, const char* name, std::size_t from);
