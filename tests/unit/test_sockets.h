// The test's own end of the connections that the connection layer's tests
// make: a listener on 127.0.0.1 at a port the system picks, and the peer
// sockets it accepts. Declared once for every platform; made with POSIX
// sockets in test_support_posix.cpp and with Winsock in
// test_support_win32.cpp, so that the tests themselves need no platform call.
#pragma once

#include "http/connection.h"

#include <cstddef>
#include <gtest/gtest.h>

struct listener {
    socket_handle socket = invalid_socket;
    int port = 0;
};

// Listens on 127.0.0.1 at an ephemeral port with room for backlog waiting
// connections; fails the test (and gives no socket) when it cannot.
listener open_listener(int backlog = 16);

// The peer end of a connection that is already waiting; invalid_socket when
// none comes within five seconds.
socket_handle accept_peer(const listener& l);

// One send or receive on a test socket: the number of bytes, or -1.
long send_bytes(socket_handle socket, const char* bytes, std::size_t size);
long receive_bytes(socket_handle socket, char* buffer, std::size_t capacity);

void close_socket(socket_handle socket);

// A port on 127.0.0.1 where nothing listens: connections are refused.
int closed_port();

// Makes the test sockets usable (Winsock needs starting; POSIX sockets do
// not, and the process's signal handling is left as it is).
void start_test_sockets();
void stop_test_sockets();

// The fixture of every connection layer test, on every platform.
class ConnectionLayer : public ::testing::Test {
  protected:
    void SetUp() override { start_test_sockets(); }
    void TearDown() override { stop_test_sockets(); }
};
