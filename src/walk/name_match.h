// The wildcard and ordering rules of the POSIX directory search.
#pragma once

#include <string>

// True when name matches the last-component pattern: '*' matches any run of
// bytes (none included), '?' any one byte or nothing once the name is used
// up, ASCII letters match regardless of case, every other byte only itself.
// Works on single bytes: the second byte of a double-byte character that
// lies in the ASCII letter range counts as that letter.
bool name_matches(const std::string& pattern, const std::string& name);

// Search order: names compared as unsigned bytes with ASCII letters
// upper-cased; names that differ only in case are ordered by their raw bytes.
bool name_order_less(const std::string& a, const std::string& b);
