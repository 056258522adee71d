#include "http/socket_library.h"

#include <winsock.h>

void socket_library_start() {
    // Version 1.1; the description record is not needed afterwards.
    WSADATA data;
    WSAStartup(0x0101, &data);
}

void socket_library_stop() { WSACleanup(); }
