// POSIX sockets behind the connection layer. The socket blocks like a
// Winsock 1.1 one, except that the connection attempt, the send and the
// receive each give up after connection_timeout_seconds, so that no server
// can hold the run.
#include "http/connection.h"

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

const int timeout_milliseconds = connection_timeout_seconds * 1000;

// True when fd becomes ready for events within the time-out.
bool wait_for(int fd, short events) {
    pollfd entry = {fd, events, 0};
    return poll(&entry, 1, timeout_milliseconds) == 1;
}

// A peer that stops reading would otherwise hold a long send for ever.
bool bound_sends(int fd) {
    timeval bound = {connection_timeout_seconds, 0};
    return setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound) == 0;
}

#ifdef __linux__
// A blocking connect waits as long as the kernel keeps retrying, which can
// be minutes. On Linux the send time-out set by bound_sends also bounds the
// connect, which spares a probe the switch to non-blocking mode and back.
bool connect_within_timeout(int fd, const sockaddr_in& address) {
    return connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}
#else
// A blocking connect waits as long as the kernel keeps retrying, which can
// be minutes; a non-blocking attempt lets poll cut it off at the bound. The
// socket is made blocking again afterwards.
bool connect_within_timeout(int fd, const sockaddr_in& address) {
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
        return false;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS || !wait_for(fd, POLLOUT))
            return false;
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
            return false;
    }
    return fcntl(fd, F_SETFL, flags) == 0;
}
#endif

} // namespace

std::uint32_t resolve_host(const char* host) {
    // No AI_ADDRCONFIG: it would make "localhost" fail on a machine whose
    // only interface is the loopback.
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found)
        return inet_addr(host);
    sockaddr_in first;
    std::memcpy(&first, found->ai_addr, sizeof first);
    freeaddrinfo(found);
    return first.sin_addr.s_addr;
}

bool tcp_connect(std::uint32_t address, std::int32_t port) {
    current_socket = socket(AF_INET, SOCK_STREAM, 0);
    if (current_socket == invalid_socket)
        return false;
    sockaddr_in record;
    std::memset(&record, 0, sizeof record);
    record.sin_family = AF_INET;
    record.sin_addr.s_addr = address;
    record.sin_port = htons(static_cast<std::uint16_t>(port));
    if (bound_sends(current_socket) && connect_within_timeout(current_socket, record))
        return true;
    // Nothing uses a failed attempt's socket; releasing it at once keeps a
    // site with thousands of dead links from running out of descriptors.
    tcp_close();
    return false;
}

long tcp_send(const std::string& text, int flags) {
    // MSG_NOSIGNAL: a peer that has gone away gives an error, not SIGPIPE.
    return send(current_socket, text.data(), text.size(), flags | MSG_NOSIGNAL);
}

long tcp_receive(char* buffer, int capacity, int flags) {
    // Waiting first means a receive that gives up has not touched buffer.
    if (!wait_for(current_socket, POLLIN))
        return -1;
    return recv(current_socket, buffer, capacity < 0 ? 0 : static_cast<std::size_t>(capacity),
                flags);
}

void tcp_close() {
    close(current_socket);
    current_socket = invalid_socket;
}
