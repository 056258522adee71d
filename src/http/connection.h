// The connection layer: hrefcheck's only contact with the network. Six small
// operations over one process-wide TCP socket, current_socket; none takes a
// socket argument, so there is never more than one connection.
// connection_posix.cpp makes them with POSIX sockets, connection_win32.cpp
// with Winsock 1.1; open_connection and current_socket live in
// connection.cpp, the same on every platform.
#pragma once

#include <cstdint>
#include <string>

#if defined(_WIN32)
typedef std::uintptr_t socket_handle; // Winsock's SOCKET
#else
typedef int socket_handle; // a file descriptor
#endif

// The platform's invalid-socket value: all bits set.
const socket_handle invalid_socket = static_cast<socket_handle>(-1);

// Bound, in seconds, on each connection attempt, each send and the receive.
// A server that accepts and then stays silent costs at most this long.
const int connection_timeout_seconds = 15;

extern socket_handle
    current_socket; // written by tcp_connect and tcp_close; invalid_socket when no socket is open

// The first IPv4 address of host (a name or a dotted-decimal text, looked up
// unchanged), in network byte order. When the lookup fails, inet_addr(host):
// the dotted-decimal reading, or all bits set, which no connection reaches.
std::uint32_t resolve_host(const char* host);

// Creates a socket in current_socket and connects it to address (network
// byte order) at the low 16 bits of port. True when connected; false when the
// socket cannot be created, the connection fails, or it is not made within
// the time-out. After false, current_socket is invalid_socket and no socket
// is left open.
bool tcp_connect(std::uint32_t address, std::int32_t port);

// resolve_host, then tcp_connect; the result of tcp_connect.
bool open_connection(const char* host, std::int32_t port);

// One send of all of text (zero bytes included) on current_socket, with flags
// passed on. The number of bytes sent, or -1; never raises a signal. Bytes
// not taken by the one call are not sent again.
long tcp_send(const std::string& text, int flags);

// One receive of at most capacity bytes into buffer, with flags passed on.
// The number of bytes received, 0 when the peer closed the connection, or -1
// on an error or when nothing came within the time-out. No terminator is
// added; the bytes of buffer beyond those received keep their values.
long tcp_receive(char* buffer, int capacity, int flags);

// Closes current_socket, whatever the outcome, and sets it to invalid_socket.
void tcp_close();
