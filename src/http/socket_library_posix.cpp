#include "http/socket_library.h"

#include <csignal>

void socket_library_start() {
    // POSIX sockets need no start-up. A write to a peer or a console pipe
    // that has gone away must fail like any other write, not end the run.
    std::signal(SIGPIPE, SIG_IGN);
}

void socket_library_stop() {}
