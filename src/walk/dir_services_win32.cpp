// Windows directory services: the real FindFirstFileA search and the ANSI
// current-directory calls, so matching, order and names are the platform's.
// Names and paths are bytes in the ANSI code page and pass unconverted.
#include "walk/dir_services.h"

#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

struct find_search {
    // INVALID_HANDLE_VALUE for a pattern answered from the directory's
    // attributes, which has its one entry already delivered.
    HANDLE handle;
};

namespace {

void fill(const WIN32_FIND_DATAA& found, find_data& data) {
    data.name = found.cFileName;
    data.is_directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ends_in_separator(const std::string& pattern) {
    return !pattern.empty() && (pattern.back() == '/' || pattern.back() == '\\');
}

} // namespace

find_search* find_first(const char* pattern, find_data& data) {
    std::string text(pattern);
    if (text.empty())
        return nullptr;
    if (ends_in_separator(text)) {
        // FindFirstFileA finds nothing for "docs/", "./" or "/", which would
        // make every directory link that passed the index.html test look
        // missing; the directory's attributes tell whether it exists.
        DWORD attributes = GetFileAttributesA(pattern);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return nullptr;
        data.name = ".";
        data.is_directory = true;
        return new find_search{INVALID_HANDLE_VALUE};
    }
    WIN32_FIND_DATAA found;
    HANDLE handle = FindFirstFileA(pattern, &found);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    fill(found, data);
    return new find_search{handle};
}

bool find_next(find_search* search, find_data& data) {
    if (search->handle == INVALID_HANDLE_VALUE)
        return false;
    WIN32_FIND_DATAA found;
    if (!FindNextFileA(search->handle, &found))
        return false;
    fill(found, data);
    return true;
}

void find_close(find_search* search) {
    if (search->handle != INVALID_HANDLE_VALUE)
        FindClose(search->handle);
    delete search;
}

bool find_any(const char* pattern) {
    find_data data;
    find_search* search = find_first(pattern, data);
    if (!search)
        return false;
    find_close(search);
    return true;
}

std::string get_current_directory() {
    // Asked for its size first, so a path of any length comes back whole; a
    // second call that no longer fits means it changed in between: ask again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = GetCurrentDirectoryA(0, nullptr);
        if (size == 0)
            return std::string();
        std::string path(size, '\0');
        DWORD length = GetCurrentDirectoryA(size, &path[0]);
        if (length == 0)
            return std::string();
        if (length < size) {
            path.resize(length);
            return path;
        }
    }
    return std::string();
}

bool set_current_directory(const char* name) { return SetCurrentDirectoryA(name) != 0; }

bool operator==(const directory_id& a, const directory_id& b) {
    return a.device == b.device && a.index == b.index;
}

bool current_directory_id(directory_id& id) {
    // A directory opens only with backup semantics; reading its attributes
    // needs no access right beyond that.
    HANDLE handle = CreateFileA(".", FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool known = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!known)
        return false;
    id.device = info.dwVolumeSerialNumber;
    id.index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

// SetCurrentDirectoryA takes no handle, so the way back is the full path;
// the platform's own path limit bounds how deep the walk can go anyway.
struct saved_directory {
    std::string path;
};

saved_directory* save_current_directory() {
    std::string path = get_current_directory();
    if (path.empty())
        return nullptr;
    return new saved_directory{path};
}

bool restore_directory(saved_directory* saved) {
    return SetCurrentDirectoryA(saved->path.c_str()) != 0;
}

void release_directory(saved_directory* saved) { delete saved; }

struct page_file {
    HANDLE handle;
    std::size_t size; // when opened; a hint for the line buffer only
};

page_file* open_page_file(const char* name) {
    // Full sharing, so a page that another program has open can still be
    // read; anything that is not a disk file (a pipe, the console, a
    // device such as NUL) is turned away before it could block a read.
    HANDLE handle =
        CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return nullptr;
    }
    LARGE_INTEGER size;
    std::size_t known = 0;
    if (GetFileSizeEx(handle, &size) && size.QuadPart > 0)
        known = static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX
                    ? SIZE_MAX
                    : static_cast<std::size_t>(size.QuadPart);
    return new page_file{handle, known};
}

std::size_t read_page_file(page_file* file, char* buffer, std::size_t size) {
    DWORD wanted = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD got = 0;
    if (!ReadFile(file->handle, buffer, wanted, &got, nullptr))
        return 0;
    return got;
}

std::size_t page_file_size(page_file* file) { return file->size; }

void close_page_file(page_file* file) {
    CloseHandle(file->handle);
    delete file;
}

void reserve_line(std::string& line, std::size_t capacity) {
    // Large pages need a privilege that a console program does not hold;
    // plain room is enough. A 32-bit address space may hold no single free
    // block of the size asked for, and a failed reservation would end the
    // run, so a large room is left to the string's own growth.
    const std::size_t largest_room = std::size_t(32) << 20;
    if (capacity <= largest_room)
        line.reserve(capacity);
}

void use_binary_standard_output() {
    // The report channels write CR LF themselves; in text mode the C
    // runtime would turn their LF into a second CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
}
