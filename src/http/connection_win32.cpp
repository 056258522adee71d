// Winsock 1.1 behind the connection layer. The socket blocks, except that
// the connection attempt, the send and the receive each give up after
// connection_timeout_seconds, so that no server can hold the run.
#include "http/connection.h"

#include <cstring>

#include <winsock.h>

namespace {

const DWORD timeout_milliseconds = connection_timeout_seconds * 1000;

SOCKET as_socket(socket_handle handle) { return static_cast<SOCKET>(handle); }

// True when the socket becomes readable (or writable) within the time-out.
// Winsock reports a failed non-blocking connect in the exception set, so
// that set is watched too, and counts as not ready.
bool wait_for(SOCKET socket, bool writable) {
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    timeval bound = {connection_timeout_seconds, 0};
    int count =
        select(0, writable ? nullptr : &ready, writable ? &ready : nullptr, &failed, &bound);
    return count > 0 && FD_ISSET(socket, &ready) && !FD_ISSET(socket, &failed);
}

bool set_blocking(SOCKET socket, bool blocking) {
    u_long non_blocking = blocking ? 0 : 1;
    return ioctlsocket(socket, FIONBIO, &non_blocking) == 0;
}

// A blocking connect waits as long as the stack keeps retrying; a
// non-blocking attempt lets select cut it off at the bound. The socket is
// made blocking again afterwards.
bool connect_within_timeout(SOCKET socket, const sockaddr_in& address) {
    if (!set_blocking(socket, false))
        return false;
    if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK || !wait_for(socket, true))
            return false;
        int error = 0;
        int size = sizeof error;
        if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0 ||
            error != 0)
            return false;
    }
    return set_blocking(socket, true);
}

// A peer that stops reading would otherwise hold a long send for ever.
// Winsock takes this bound in milliseconds.
bool bound_sends(SOCKET socket) {
    DWORD bound = timeout_milliseconds;
    return setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&bound),
                      sizeof bound) == 0;
}

} // namespace

std::uint32_t resolve_host(const char* host) {
    hostent* found = gethostbyname(host);
    if (!found || !found->h_addr_list || !found->h_addr_list[0])
        return inet_addr(host);
    // The record holds the address in network byte order already.
    std::uint32_t address;
    std::memcpy(&address, found->h_addr_list[0], sizeof address);
    return address;
}

bool tcp_connect(std::uint32_t address, std::int32_t port) {
    current_socket = socket(AF_INET, SOCK_STREAM, 0);
    if (current_socket == invalid_socket)
        return false;
    sockaddr_in record;
    std::memset(&record, 0, sizeof record);
    record.sin_family = AF_INET;
    record.sin_addr.s_addr = address;
    // The conversion keeps the low 16 bits, for any port value.
    record.sin_port = htons(static_cast<u_short>(port));
    if (connect_within_timeout(as_socket(current_socket), record) &&
        bound_sends(as_socket(current_socket)))
        return true;
    // Nothing uses a failed attempt's socket; releasing it at once keeps a
    // site with thousands of dead links from running out of sockets.
    tcp_close();
    return false;
}

long tcp_send(const std::string& text, int flags) {
    // Winsock raises no signal: a peer that has gone away gives an error.
    int size = text.size() > 0x7fffffffu ? 0x7fffffff : static_cast<int>(text.size());
    return send(as_socket(current_socket), text.data(), size, flags);
}

long tcp_receive(char* buffer, int capacity, int flags) {
    // Waiting first means a receive that gives up has not touched buffer.
    if (!wait_for(as_socket(current_socket), false))
        return -1;
    return recv(as_socket(current_socket), buffer, capacity < 0 ? 0 : capacity, flags);
}

void tcp_close() {
    closesocket(as_socket(current_socket));
    current_socket = invalid_socket;
}
