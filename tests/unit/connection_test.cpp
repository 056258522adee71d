// The POSIX connection layer's own tests: name lookups in a network
// namespace, SIGPIPE, descriptor counts and limits, and the time-out of a
// connection attempt. The tests that are the same on every platform are in
// connection_common_test.cpp.
#include "http/connection.h"

#include "test_sockets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int open_descriptor_count() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(dir);
    return count;
}

const std::uint32_t loopback = htonl(INADDR_LOOPBACK);

// Runs lookups in a child process inside a network namespace of its own,
// with no interface up, so that a name that must fail to resolve sends no
// query off the machine. Gives the addresses, or nothing when the namespace
// cannot be made (no privilege).
std::vector<std::uint32_t> resolve_offline(const std::vector<std::string>& hosts,
                                           bool& connection_refused) {
    int channel[2];
    if (pipe(channel) != 0)
        return {};
    pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        if (unshare(CLONE_NEWNET) != 0)
            _exit(2);
        for (const std::string& host : hosts) {
            std::uint32_t address = resolve_host(host.c_str());
            if (write(channel[1], &address, sizeof address) != sizeof address)
                _exit(3);
        }
        // The all-ones address of a text that neither resolves nor is
        // dotted-decimal reaches nothing.
        char refused =
            !open_connection("no-such-host.invalid", 80) && current_socket == invalid_socket;
        if (write(channel[1], &refused, 1) != 1)
            _exit(3);
        _exit(0);
    }
    close(channel[1]);
    std::vector<std::uint32_t> addresses;
    std::uint32_t address;
    while (addresses.size() < hosts.size() &&
           read(channel[0], &address, sizeof address) == sizeof address)
        addresses.push_back(address);
    char refused = 0;
    connection_refused = read(channel[0], &refused, 1) == 1 && refused;
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return addresses;
}

TEST_F(ConnectionLayer, UnresolvedTextFallsBackToDottedReading) {
    bool connection_refused = false;
    std::vector<std::uint32_t> addresses =
        resolve_offline({"127.0.0.1 x", "no-such-host.invalid", ""}, connection_refused);
    if (addresses.empty())
        GTEST_SKIP() << "no private network namespace (needs root)";
    ASSERT_EQ(addresses.size(), 3u);
    // The lookup refuses the text, but the dotted-decimal reading stops at
    // the space.
    EXPECT_EQ(addresses[0], loopback);
    EXPECT_EQ(addresses[1], 0xffffffffu);
    EXPECT_EQ(addresses[2], 0xffffffffu);
    EXPECT_TRUE(connection_refused);
}

TEST_F(ConnectionLayer, SendToVanishedPeerGivesErrorNotSignal) {
    // With the default action, a SIGPIPE would end the test binary.
    std::signal(SIGPIPE, SIG_DFL);
    listener l = open_listener();
    ASSERT_TRUE(open_connection("127.0.0.1", l.port));
    socket_handle peer = accept_peer(l);
    ASSERT_NE(peer, invalid_socket);
    close_socket(peer);
    // The first send may still be taken; the peer's reset makes a later one fail.
    long result = 0;
    for (int attempt = 0; attempt < 200 && result >= 0; ++attempt) {
        result = tcp_send("GET / HTTP/1.1\r\n\r\n", 0);
        usleep(10000);
    }
    EXPECT_EQ(result, -1);
    tcp_close();
    close_socket(l.socket);
}

TEST_F(ConnectionLayer, FailedConnectsLeaveNoDescriptorOpen) {
    int port = closed_port();
    int before = open_descriptor_count();
    ASSERT_GT(before, 0);
    // More than the usual limit of 1024 descriptors: a leak would also make
    // the later attempts fail to create their socket.
    for (int attempt = 0; attempt < 3000; ++attempt) {
        ASSERT_FALSE(open_connection("127.0.0.1", port)) << "attempt " << attempt;
        ASSERT_EQ(current_socket, invalid_socket) << "attempt " << attempt;
    }
    EXPECT_EQ(open_descriptor_count(), before);
    // The layer still works afterwards.
    listener l = open_listener();
    EXPECT_TRUE(open_connection("127.0.0.1", l.port));
    tcp_close();
    close_socket(l.socket);
}

TEST_F(ConnectionLayer, FailedSocketCreationLeavesInvalidSocket) {
    listener l = open_listener();
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    // Lower the limit to the lowest free descriptor, so that the next
    // socket cannot be created.
    int lowest_free = dup(0);
    ASSERT_GE(lowest_free, 0);
    close(lowest_free);
    rlimit lowered = saved;
    lowered.rlim_cur = static_cast<rlim_t>(lowest_free);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    bool connected = tcp_connect(loopback, l.port);
    socket_handle after = current_socket;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_FALSE(connected);
    EXPECT_EQ(after, invalid_socket);
    close_socket(l.socket);
}

// A listener whose accept queue is full drops further connection requests
// without an answer, as a host behind a silent firewall does. This test
// waits for the whole bound once.
TEST_F(ConnectionLayer, ConnectGivesUpAtTheTimeOut) {
    listener l = open_listener(0);
    std::vector<int> fillers;
    bool full = false;
    for (int i = 0; i < 32 && !full; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ASSERT_GE(fd, 0);
        fillers.push_back(fd);
        sockaddr_in address;
        std::memset(&address, 0, sizeof address);
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = loopback;
        address.sin_port = htons(static_cast<std::uint16_t>(l.port));
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            continue;
        pollfd entry = {fd, POLLOUT, 0};
        full = poll(&entry, 1, 500) == 0;
    }
    ASSERT_TRUE(full) << "the accept queue never filled up";

    auto start = std::chrono::steady_clock::now();
    bool connected = tcp_connect(loopback, l.port);
    auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
            .count();
    EXPECT_FALSE(connected);
    EXPECT_EQ(current_socket, invalid_socket);
    // Not earlier (the attempt really waited) and not much later.
    EXPECT_GE(seconds, connection_timeout_seconds - 1);
    EXPECT_LE(seconds, connection_timeout_seconds + 5);
    for (int fd : fillers)
        close(fd);
    close_socket(l.socket);
}

} // namespace
