// The Winsock connection layer against listening sockets that each test
// opens on 127.0.0.1 itself. A connection completes in the stack's backlog,
// so a test can connect first and accept afterwards without a second thread.
#include "http/connection.h"
#include "http/socket_library.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

#include <winsock.h>

namespace {

struct listener {
    SOCKET socket = INVALID_SOCKET;
    int port = 0;
};

const std::uint32_t loopback = htonl(INADDR_LOOPBACK);

class ConnectionLayer : public ::testing::Test {
  protected:
    void SetUp() override { socket_library_start(); }
    void TearDown() override { socket_library_stop(); }

    listener open_listener(int backlog = 16) {
        listener l;
        l.socket = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address;
        std::memset(&address, 0, sizeof address);
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = loopback;
        int size = sizeof address;
        if (l.socket == INVALID_SOCKET ||
            bind(l.socket, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            listen(l.socket, backlog) != 0 ||
            getsockname(l.socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            ADD_FAILURE() << "cannot listen on 127.0.0.1";
            return l;
        }
        l.port = ntohs(address.sin_port);
        return l;
    }

    // The peer end of a connection that is already waiting; INVALID_SOCKET
    // when none comes within five seconds.
    SOCKET accept_peer(const listener& l) {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(l.socket, &ready);
        timeval bound = {5, 0};
        if (select(0, &ready, nullptr, nullptr, &bound) != 1)
            return INVALID_SOCKET;
        return accept(l.socket, nullptr, nullptr);
    }

    // A port on 127.0.0.1 where nothing listens: connections are refused.
    int closed_port() {
        listener l = open_listener();
        closesocket(l.socket);
        return l.port;
    }
};

TEST_F(ConnectionLayer, ConnectsSendsReceivesOnceAndCloses) {
    listener l = open_listener();
    ASSERT_TRUE(open_connection("127.0.0.1", l.port));
    EXPECT_NE(current_socket, invalid_socket);
    SOCKET peer = accept_peer(l);
    ASSERT_NE(peer, INVALID_SOCKET);

    // Sent by its length: the zero byte goes out too.
    const std::string request("GET /\0x", 7);
    EXPECT_EQ(tcp_send(request, 0), 7);
    char got[16];
    std::string received;
    while (received.size() < request.size()) {
        int n = recv(peer, got, sizeof got, 0);
        ASSERT_GT(n, 0);
        received.append(got, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(received, request);

    ASSERT_EQ(send(peer, "HTTP/1.1 200 OK", 15, 0), 15);
    char buffer[32];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(tcp_receive(buffer, 31, 0), 15);
    EXPECT_EQ(std::string(buffer, 15), "HTTP/1.1 200 OK");
    // No terminator is added; the rest of the buffer is as it was.
    EXPECT_EQ(std::string(buffer + 15, 17), std::string(17, 'Z'));

    tcp_close();
    EXPECT_EQ(current_socket, invalid_socket);
    closesocket(peer);
    closesocket(l.socket);
}

TEST_F(ConnectionLayer, ReceiveTakesAtMostCapacity) {
    listener l = open_listener();
    ASSERT_TRUE(open_connection("localhost", l.port));
    SOCKET peer = accept_peer(l);
    ASSERT_NE(peer, INVALID_SOCKET);
    ASSERT_EQ(send(peer, "0123456789", 10, 0), 10);
    char buffer[8];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(tcp_receive(buffer, 4, 0), 4);
    EXPECT_EQ(std::string(buffer, 8), "0123ZZZZ");
    tcp_close();
    closesocket(peer);
    closesocket(l.socket);
}

TEST_F(ConnectionLayer, OnlyTheLowSixteenBitsOfThePortCount) {
    listener l = open_listener();
    const std::int32_t ports[] = {l.port + 65536, l.port + 5 * 65536, l.port - 65536,
                                  l.port - 32767 * 65536};
    for (std::int32_t port : ports) {
        SCOPED_TRACE(port);
        ASSERT_TRUE(tcp_connect(loopback, port));
        SOCKET peer = accept_peer(l);
        EXPECT_NE(peer, INVALID_SOCKET);
        tcp_close();
        if (peer != INVALID_SOCKET)
            closesocket(peer);
    }
    closesocket(l.socket);
}

TEST_F(ConnectionLayer, ResolvesLocalhostAndDottedText) {
    EXPECT_EQ(resolve_host("localhost"), loopback);
    EXPECT_EQ(resolve_host("127.0.0.1"), loopback);
    // Network byte order: the first byte in memory is the first number.
    std::uint32_t address = resolve_host("10.1.2.3");
    unsigned char bytes[4];
    std::memcpy(bytes, &address, 4);
    EXPECT_EQ(bytes[0], 10);
    EXPECT_EQ(bytes[1], 1);
    EXPECT_EQ(bytes[2], 2);
    EXPECT_EQ(bytes[3], 3);
}

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
    closesocket(l.socket);
}

TEST_F(ConnectionLayer, PeerClosingWithoutSendingGivesZeroAndLeavesBuffer) {
    listener l = open_listener();
    ASSERT_TRUE(open_connection("127.0.0.1", l.port));
    SOCKET peer = accept_peer(l);
    ASSERT_NE(peer, INVALID_SOCKET);
    closesocket(peer);
    char buffer[16];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(tcp_receive(buffer, 15, 0), 0);
    EXPECT_EQ(std::string(buffer, 16), std::string(16, 'Z'));
    tcp_close();
    closesocket(l.socket);
}

TEST_F(ConnectionLayer, SendToVanishedPeerGivesError) {
    listener l = open_listener();
    ASSERT_TRUE(open_connection("127.0.0.1", l.port));
    SOCKET peer = accept_peer(l);
    ASSERT_NE(peer, INVALID_SOCKET);
    closesocket(peer);
    // The first send may still be taken; the peer's reset makes a later one
    // fail, and the process goes on.
    long result = 0;
    for (int attempt = 0; attempt < 200 && result >= 0; ++attempt) {
        result = tcp_send("GET / HTTP/1.1\r\n\r\n", 0);
        Sleep(10);
    }
    EXPECT_EQ(result, -1);
    tcp_close();
    closesocket(l.socket);
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
    SOCKET peer = accept_peer(l);
    ASSERT_NE(peer, INVALID_SOCKET);
    char buffer[16];
    std::memset(buffer, 'Z', sizeof buffer);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(tcp_receive(buffer, 15, 0), -1);
    long long seconds = seconds_since(start);
    EXPECT_GE(seconds, connection_timeout_seconds - 1);
    EXPECT_LE(seconds, connection_timeout_seconds + 5);
    EXPECT_EQ(std::string(buffer, 16), std::string(16, 'Z'));
    tcp_close();
    closesocket(peer);
    closesocket(l.socket);
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
    closesocket(l.socket);
}

} // namespace
