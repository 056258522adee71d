/* A small HTTP server for the probe benchmark: listens on 127.0.0.1 at a
 * port the system picks and prints that port on a line of its own. For each
 * connection it reads the request up to its empty line, answers
 * "HTTP/1.1 200 OK" with an empty body and closes. One connection at a time;
 * it ends when its standard input reaches the end, or after LIMIT seconds.
 *
 *     loopback_server [LIMIT]
 */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
    long limit = argc > 1 ? atol(argv[1]) : 600;
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (bind(listener, (struct sockaddr*)&address, sizeof address) != 0 ||
        listen(listener, 128) != 0 ||
        getsockname(listener, (struct sockaddr*)&address, &size) != 0) {
        perror("loopback_server");
        return 1;
    }
    printf("%d\n", ntohs(address.sin_port));
    fflush(stdout);

    static const char reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n"
                                "Connection: close\r\n\r\n";
    time_t stop = time(NULL) + limit;
    struct pollfd watch[2] = {{listener, POLLIN, 0}, {0, POLLIN, 0}};
    while (time(NULL) < stop) {
        if (poll(watch, 2, 1000) <= 0)
            continue;
        if (watch[1].revents) {
            char ignored[64];
            if (read(0, ignored, sizeof ignored) <= 0)
                break;
        }
        if (!(watch[0].revents & POLLIN))
            continue;
        int fd = accept(listener, NULL, NULL);
        if (fd < 0)
            continue;
        /* Read the whole request first: closing with unread bytes would
         * reset the connection instead of ending it. */
        char request[4096];
        size_t have = 0;
        for (;;) {
            ssize_t got = recv(fd, request + have, sizeof request - 1 - have, 0);
            if (got <= 0)
                break;
            have += (size_t)got;
            request[have] = '\0';
            if (strstr(request, "\r\n\r\n") || have == sizeof request - 1)
                break;
        }
        send(fd, reply, sizeof reply - 1, MSG_NOSIGNAL);
        close(fd);
    }
    close(listener);
    return 0;
}
