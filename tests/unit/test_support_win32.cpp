// The Windows side of the test helpers. Paths are ANSI (code page 932
// under the tests' settings), like the program's own.
#include "test_sockets.h"
#include "test_support.h"

#include "http/socket_library.h"

#include <cstring>
#include <gtest/gtest.h>
#include <windows.h>
#include <winsock.h>

const bool directory_names_ignore_case = true;

std::string sjis(const std::string& utf8) {
    // Through UTF-16 with the system's converters, which know nothing of
    // hrefcheck's tables.
    int wide_size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                        static_cast<int>(utf8.size()), nullptr, 0);
    if (utf8.empty())
        return std::string();
    if (wide_size <= 0) {
        ADD_FAILURE() << "not UTF-8: " << utf8;
        return std::string();
    }
    std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        &wide[0], wide_size);
    BOOL lossy = FALSE;
    int size = WideCharToMultiByte(932, 0, wide.data(), wide_size, nullptr, 0, nullptr, &lossy);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(932, 0, wide.data(), wide_size, &out[0], size, nullptr, &lossy);
    if (size <= 0 || lossy)
        ADD_FAILURE() << "no code page 932 form for " << utf8;
    return out;
}

bool make_directory(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool enter_directory(const std::string& path) { return SetCurrentDirectoryA(path.c_str()) != 0; }

namespace {

std::string temporary_directory() {
    char buffer[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof buffer, buffer);
    if (length == 0 || length > MAX_PATH)
        return ".\\";
    return std::string(buffer, length);
}

std::string current_directory_text() {
    char buffer[MAX_PATH + 1];
    DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    return length > 0 && length <= MAX_PATH ? std::string(buffer, length) : std::string();
}

// Removes path and everything below it, without following anything.
void remove_tree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

} // namespace

std::string temporary_file_name() {
    char name[MAX_PATH + 1];
    if (!GetTempFileNameA(temporary_directory().c_str(), "hct", 0, name)) {
        ADD_FAILURE() << "cannot make a temporary file";
        return "hrefcheck-test-unnamed";
    }
    return name;
}

std::string root_link(const std::string& path) {
    // Wine reads a path that begins with '/' as a path from the Unix root
    // (Windows reads it from the root of the current drive), so under Wine
    // the link is the directory's Unix path.
    typedef char*(CDECL * unix_name_function)(const WCHAR*);
    auto unix_name = reinterpret_cast<unix_name_function>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (unix_name) {
        WCHAR wide[MAX_PATH + 1];
        if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH + 1) > 0) {
            if (char* name = unix_name(wide)) {
                std::string link = name;
                HeapFree(GetProcessHeap(), 0, name);
                return link;
            }
        }
    }
    std::string link = path.size() >= 2 && path[1] == ':' ? path.substr(2) : path;
    for (char& c : link)
        if (c == '\\')
            c = '/';
    return link;
}

temp_dir::temp_dir() : previous_(current_directory_text()) {
    std::string base =
        temporary_directory() + "hrefcheck-test-" + std::to_string(GetCurrentProcessId()) + "-";
    for (unsigned attempt = 0; attempt < 1000 && path_.empty(); ++attempt)
        if (CreateDirectoryA((base + std::to_string(attempt)).c_str(), nullptr))
            path_ = base + std::to_string(attempt);
    char full[MAX_PATH + 1];
    DWORD length = GetFullPathNameA(path_.c_str(), sizeof full, full, nullptr);
    if (length > 0 && length <= MAX_PATH)
        path_.assign(full, length);
    if (path_.empty() || !SetCurrentDirectoryA(path_.c_str()))
        ADD_FAILURE() << "cannot enter a temporary directory";
}

temp_dir::~temp_dir() {
    if (!SetCurrentDirectoryA(previous_.c_str()))
        ADD_FAILURE() << "cannot return to " << previous_;
    remove_tree(path_);
}

namespace {

SOCKET as_socket(socket_handle handle) { return static_cast<SOCKET>(handle); }

} // namespace

listener open_listener(int backlog) {
    listener l;
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    l.socket = s;
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(s, backlog) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ADD_FAILURE() << "cannot listen on 127.0.0.1";
        return l;
    }
    l.port = ntohs(address.sin_port);
    return l;
}

socket_handle accept_peer(const listener& l) {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(as_socket(l.socket), &ready);
    timeval bound = {5, 0};
    if (select(0, &ready, nullptr, nullptr, &bound) != 1)
        return invalid_socket;
    return accept(as_socket(l.socket), nullptr, nullptr);
}

long send_bytes(socket_handle socket, const char* bytes, std::size_t size) {
    return send(as_socket(socket), bytes, static_cast<int>(size), 0);
}

long receive_bytes(socket_handle socket, char* buffer, std::size_t capacity) {
    return recv(as_socket(socket), buffer, static_cast<int>(capacity), 0);
}

void close_socket(socket_handle socket) { closesocket(as_socket(socket)); }

void start_test_sockets() { socket_library_start(); }

void stop_test_sockets() { socket_library_stop(); }
