#include "http/connection.h"

socket_handle current_socket = invalid_socket;

bool open_connection(const char* host, std::int32_t port) {
    return tcp_connect(resolve_host(host), port);
}
