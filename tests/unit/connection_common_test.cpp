// The connection layer against listening sockets that each test opens on
// 127.0.0.1 itself, the same on every platform. A connection completes in
// the stack's backlog, so a test can connect first and accept afterwards
// without a second thread. connection_test.cpp (POSIX) and
// connection_win32_test.cpp (Winsock) hold the tests that differ.
#include "http/connection.h"

#include "test_sockets.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

// 127.0.0.1 in network byte order, computed without the platform's htonl.
std::uint32_t loopback_address() {
    const unsigned char bytes[4] = {127, 0, 0, 1};
    std::uint32_t address;
    std::memcpy(&address, bytes, sizeof address);
    return address;
}

const std::uint32_t loopback = loopback_address();

TEST_F(ConnectionLayer, ConnectsSendsReceivesOnceAndCloses) {
    listener l = open_listener();
    ASSERT_TRUE(open_connection("127.0.0.1", l.port));
    EXPECT_NE(current_socket, invalid_socket);
    socket_handle peer = accept_peer(l);
    ASSERT_NE(peer, invalid_socket);

    // Sent by its length: the zero byte goes out too.
    const std::string request("GET /\0x", 7);
    EXPECT_EQ(tcp_send(request, 0), 7);
    char got[16];
    std::string received;
    while (received.size() < request.size()) {
        long n = receive_bytes(peer, got, sizeof got);
        ASSERT_GT(n, 0);
        received.append(got, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(received, request);

    ASSERT_EQ(send_bytes(peer, "HTTP/1.1 200 OK", 15), 15);
    char buffer[32];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(tcp_receive(buffer, 31, 0), 15);
    EXPECT_EQ(std::string(buffer, 15), "HTTP/1.1 200 OK");
    // No terminator is added; the rest of the buffer is as it was.
    EXPECT_EQ(std::string(buffer + 15, 17), std::string(17, 'Z'));

    tcp_close();
    EXPECT_EQ(current_socket, invalid_socket);
    close_socket(peer);
    close_socket(l.socket);
}

TEST_F(ConnectionLayer, ReceiveTakesAtMostCapacity) {
    listener l = open_listener();
    // By address and by name (the name goes through the platform's lookup).
    for (const char* host : {"127.0.0.1", "localhost"}) {
        SCOPED_TRACE(host);
        ASSERT_TRUE(open_connection(host, l.port));
        socket_handle peer = accept_peer(l);
        ASSERT_NE(peer, invalid_socket);
        ASSERT_EQ(send_bytes(peer, "0123456789", 10), 10);
        char buffer[8];
        std::memset(buffer, 'Z', sizeof buffer);
        EXPECT_EQ(tcp_receive(buffer, 4, 0), 4);
        EXPECT_EQ(std::string(buffer, 8), "0123ZZZZ");
        tcp_close();
        close_socket(peer);
    }
    close_socket(l.socket);
}

TEST_F(ConnectionLayer, OnlyTheLowSixteenBitsOfThePortCount) {
    listener l = open_listener();
    const std::int32_t ports[] = {l.port + 65536, l.port + 5 * 65536, l.port - 65536,
                                  l.port - 32767 * 65536};
    for (std::int32_t port : ports) {
        SCOPED_TRACE(port);
        ASSERT_TRUE(tcp_connect(loopback, port));
        socket_handle peer = accept_peer(l);
        EXPECT_NE(peer, invalid_socket);
        tcp_close();
        if (peer != invalid_socket)
            close_socket(peer);
    }
    close_socket(l.socket);
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

TEST_F(ConnectionLayer, PeerClosingWithoutSendingGivesZeroAndLeavesBuffer) {
    listener l = open_listener();
    ASSERT_TRUE(open_connection("127.0.0.1", l.port));
    socket_handle peer = accept_peer(l);
    ASSERT_NE(peer, invalid_socket);
    close_socket(peer);
    char buffer[16];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(tcp_receive(buffer, 15, 0), 0);
    EXPECT_EQ(std::string(buffer, 16), std::string(16, 'Z'));
    tcp_close();
    close_socket(l.socket);
}

} // namespace
