// Directory services: the platform's directory search, current directory,
// page files and the mode of standard output, behind one small interface.
// dir_services_posix.cpp stands in for the Windows calls;
// dir_services_win32.cpp makes them.
#pragma once

#include <cstddef>
#include <string>

// One entry of a directory search: its name without directory, and whether it
// is a directory (after following symbolic links).
struct find_data {
    std::string name;
    bool is_directory = false;
};

struct find_search; // an open search; owned by the caller until find_close

// Starts a search for pattern (a path, relative or absolute, whose last
// component may hold '*' and '?'). Returns the search with its first entry in
// data, or nullptr when nothing matches or the search cannot be made.
find_search* find_first(const char* pattern, find_data& data);

// Puts the next entry of the search in data; false when no entry is left.
bool find_next(find_search* search, find_data& data);

// Ends the search and releases it.
void find_close(find_search* search);

// True when a search for pattern would find at least one entry: the same
// answer as find_first, for callers that read no entry. It may try a last
// component without wildcards by its exact name first.
bool find_any(const char* pattern);

// The full path of the current directory as the platform names it, without a
// trailing separator except at the root; empty when it cannot be read.
std::string get_current_directory();

// Makes the subdirectory name (relative to the current directory) current.
// False, with the current directory unchanged, when it cannot be entered.
bool set_current_directory(const char* name);

// Identity of the current directory (device and inode, or their platform
// equivalent), so that the walker can tell a directory it is already inside.
struct directory_id {
    unsigned long long device = 0;
    unsigned long long index = 0;
};
bool operator==(const directory_id& a, const directory_id& b);
bool current_directory_id(directory_id& id);

struct saved_directory; // a way back to a directory, valid however long its path and however deep
                        // the walk

// Remembers the current directory; nullptr when it cannot be remembered.
saved_directory* save_current_directory();

// Makes the saved directory current again, from it or from any directory
// below it; false when that fails.
bool restore_directory(saved_directory* saved);

// Releases what save_current_directory took.
void release_directory(saved_directory* saved);

struct page_file; // a page open for reading

// Opens name for reading in binary when it is a regular file (after following
// links). Returns nullptr for anything else: a missing or unreadable file, a
// directory, a FIFO, a socket or a device. Never blocks.
page_file* open_page_file(const char* name);

// Reads up to size bytes; returns how many were read, 0 at the end of the file
// and on a read error.
std::size_t read_page_file(page_file* file, char* buffer, std::size_t size);

// The size of the page in bytes when it was opened; 0 when not known. Only a
// hint: the file may change while it is read.
std::size_t page_file_size(page_file* file);

void close_page_file(page_file* file);

// Makes standard output pass bytes unchanged, so that the CR LF the report
// channels write is not doubled; nothing to do where it has no text mode.
void use_binary_standard_output();

// Makes room in line for at least capacity bytes, so that a long line grows
// in place. Where the platform allows, also asks for large memory pages for
// that room, which makes filling it much cheaper.
void reserve_line(std::string& line, std::size_t capacity);
