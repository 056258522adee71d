// Link extraction and classification, and the local link check.
#pragma once

#include <cstddef>
#include <string>

// Takes the double-quoted link that follows start in line (just past "href="
// or "HREF="), cuts it at its first '#', and passes it over, reports it, or
// hands it to check_local_link or probe_http_link. Every entry written during
// the call is closed with the location trailer. Returns the index of the
// closing quote, or npos when the opening or the closing quote is missing.
std::size_t check_link(const std::string& page_name, unsigned long long line_number,
                       const std::string& line, std::size_t start);

// Checks a local path against the file system, from the current directory:
// backslash_in_path, index_missing (for a link of 3 bytes or more ending in
// '/'), file_missing. True when it wrote an entry's first line.
bool check_local_link(const std::string& link);

// True when a directory search for path (its last component may hold
// wildcards) finds at least one entry.
bool file_exists(const std::string& path);
