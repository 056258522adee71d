// The directory walker: visits the current directory and every directory
// below it, depth first, handing each page to scan_page.
#pragma once

#include <list>
#include <string>

extern int dir_depth; // depth of the directory being walked: 0 for the start directory, -1 outside
                      // the walk

// Appends to names the entries of the current directory that match pattern
// and are not directories; without a pattern (nullptr), the entries of "*"
// that are directories, "." and ".." among them. Search order; the list is
// not emptied first. Nothing is appended when the search finds nothing.
void list_directory(const char* pattern, std::list<std::string>& names);

// Walks the current directory and everything below it; returns with the same
// directory current. Subdirectories that cannot be entered, and directories
// already on the current descent path, are passed over.
void walk_directory();
