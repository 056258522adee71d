// The POSIX side of the test helpers.
#include "test_sockets.h"
#include "test_support.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <gtest/gtest.h>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

const bool directory_names_ignore_case = false;

std::string sjis(const std::string& utf8) {
    static std::map<std::string, std::string> converted;
    auto known = converted.find(utf8);
    if (known != converted.end())
        return known->second;
    std::string in_name = temporary_file_name();
    write_file(in_name, utf8);
    std::string command = "iconv -f UTF-8 -t CP932 " + in_name;
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, got);
        if (pclose(pipe) != 0)
            ADD_FAILURE() << "iconv failed on " << utf8;
    }
    unlink(in_name.c_str());
    converted[utf8] = out;
    return out;
}

bool make_directory(const std::string& path) { return mkdir(path.c_str(), 0755) == 0; }

bool enter_directory(const std::string& path) { return chdir(path.c_str()) == 0; }

std::string temporary_file_name() {
    char name[] = "/tmp/hrefcheck-test-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) {
        ADD_FAILURE() << "cannot make a temporary file";
        return "/tmp/hrefcheck-test-unnamed";
    }
    close(fd);
    return name;
}

std::string root_link(const std::string& path) { return path; }

namespace {

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
    std::remove(path);
    return 0;
}

std::string current_directory_text() {
    char buffer[8192];
    return getcwd(buffer, sizeof buffer) ? buffer : "/";
}

} // namespace

temp_dir::temp_dir() : previous_(current_directory_text()) {
    char name[] = "/tmp/hrefcheck-test-XXXXXX";
    path_ = mkdtemp(name) ? name : "";
    char real[8192];
    if (realpath(path_.c_str(), real))
        path_ = real;
    if (path_.empty() || chdir(path_.c_str()) != 0)
        ADD_FAILURE() << "cannot enter a temporary directory";
}

temp_dir::~temp_dir() {
    if (chdir(previous_.c_str()) != 0)
        ADD_FAILURE() << "cannot return to " << previous_;
    nftw(path_.c_str(), remove_entry, 64, FTW_DEPTH | FTW_PHYS);
}

listener open_listener(int backlog) {
    listener l;
    l.socket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (l.socket < 0 || bind(l.socket, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(l.socket, backlog) != 0 ||
        getsockname(l.socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ADD_FAILURE() << "cannot listen on 127.0.0.1";
        return l;
    }
    l.port = ntohs(address.sin_port);
    return l;
}

socket_handle accept_peer(const listener& l) {
    pollfd entry = {l.socket, POLLIN, 0};
    if (poll(&entry, 1, 5000) != 1)
        return invalid_socket;
    return accept(l.socket, nullptr, nullptr);
}

long send_bytes(socket_handle socket, const char* bytes, std::size_t size) {
    return send(socket, bytes, size, 0);
}

long receive_bytes(socket_handle socket, char* buffer, std::size_t capacity) {
    return recv(socket, buffer, capacity, 0);
}

void close_socket(socket_handle socket) { close(socket); }

void start_test_sockets() {}

void stop_test_sockets() {}
