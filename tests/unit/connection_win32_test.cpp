// The Winsock connection layer's own tests: refused connections, sends to a
// vanished peer, and the time-outs of a receive and of a connection attempt.
// The tests that are the same on every platform are in
// connection_common_test.cpp.
#include "http/connection.h"

#include "test_sockets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

#include <winsock.h>

namespace {

const std::uint32_t loopback = htonl(INADDR_LOOPBACK);

TEST_F(ConnectionLayer, RefusedConnectionLeavesNoSocket) {
    int port = closed_port();
    for (int attempt = 0; attempt < 200; ++attempt) {
        ASSERT_FALSE(open_connection("127.0.0.1", port)) << "attempt " << attempt;
        ASSERT_EQ(current_socket, invalid_socket) << "attempt " << attempt;
    }
    // The layer still works afterwards.
    listener l = open_listener();
    EXPECT_TRUE(open_connection("127.0.0.1", l.port));
    tcp_close();
    close_socket(l.socket);
}

TEST_F(ConnectionLayer, SendToVanishedPeerGivesError) {
    listener l = open_listener();
    ASSERT_TRUE(open_connection("127.0.0.1", l.port));
    socket_handle peer = accept_peer(l);
    ASSERT_NE(peer, invalid_socket);
    close_socket(peer);
    // The first send may still be taken; the peer's reset makes a later one
    // fail, and the process goes on.
    long result = 0;
    for (int attempt = 0; attempt < 200 && result >= 0; ++attempt) {
        result = tcp_send("GET / HTTP/1.1\r\n\r\n", 0);
        Sleep(10);
    }
    EXPECT_EQ(result, -1);
    tcp_close();
    close_socket(l.socket);
}

long long seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() -
                                                            start)
        .count();
}

// A peer that accepts and then neither sends nor closes: the receive gives
// up at the bound, with the error value and the buffer untouched.
TEST_F(ConnectionLayer, ReceiveGivesUpAtTheTimeOut) {
    listener l = open_listener();
    ASSERT_TRUE(open_connection("127.0.0.1", l.port));
    socket_handle peer = accept_peer(l);
    ASSERT_NE(peer, invalid_socket);
    char buffer[16];
    std::memset(buffer, 'Z', sizeof buffer);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(tcp_receive(buffer, 15, 0), -1);
    long long seconds = seconds_since(start);
    EXPECT_GE(seconds, connection_timeout_seconds - 1);
    EXPECT_LE(seconds, connection_timeout_seconds + 5);
    EXPECT_EQ(std::string(buffer, 16), std::string(16, 'Z'));
    tcp_close();
    close_socket(peer);
    close_socket(l.socket);
}

// A listener whose accept queue is full drops further connection requests
// without an answer, as a host behind a silent firewall does.
TEST_F(ConnectionLayer, ConnectGivesUpAtTheTimeOut) {
    listener l = open_listener(0);
    std::vector<SOCKET> fillers;
    bool full = false;
    for (int i = 0; i < 32 && !full; ++i) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_NE(s, INVALID_SOCKET);
        fillers.push_back(s);
        u_long non_blocking = 1;
        ioctlsocket(s, FIONBIO, &non_blocking);
        sockaddr_in address;
        std::memset(&address, 0, sizeof address);
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = loopback;
        address.sin_port = htons(static_cast<u_short>(l.port));
        if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            continue;
        // Neither connected nor refused within half a second: dropped.
        fd_set ready;
        fd_set failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(s, &ready);
        FD_SET(s, &failed);
        timeval wait = {0, 500000};
        full = select(0, nullptr, &ready, &failed, &wait) == 0;
    }
    if (!full)
        GTEST_SKIP() << "this stack answers every connection request (Windows refuses "
                        "them when the queue is full; Linux under Wine drops them)";

    auto start = std::chrono::steady_clock::now();
    bool connected = tcp_connect(loopback, l.port);
    long long seconds = seconds_since(start);
    EXPECT_FALSE(connected);
    EXPECT_EQ(current_socket, invalid_socket);
    EXPECT_GE(seconds, connection_timeout_seconds - 1);
    EXPECT_LE(seconds, connection_timeout_seconds + 5);
    for (SOCKET s : fillers)
        closesocket(s);
    close_socket(l.socket);
}

} // namespace
