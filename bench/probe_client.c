/* The least a client can do per probe, to set hrefcheck's cost per http://
 * link against: connect to 127.0.0.1:PORT, send one GET request, receive
 * once (at most 1023 bytes), close, COUNT times in a row. No name lookup, no
 * time-outs, no socket options. Prints the seconds per probe.
 *
 *     probe_client PORT COUNT
 */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: probe_client PORT COUNT\n");
        return 2;
    }
    int port = atoi(argv[1]);
    long count = atol(argv[2]);
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons((unsigned short)port);
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    static const char request[] = "GET /p/1.html HTTP/1.1\r\nAccept: */*\r\n"
                                  "Connection: close\r\nHost: 127.0.0.1\r\n\r\n";
    char buffer[1024];
    long failed = 0;
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (long i = 0; i < count; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0 || connect(fd, (struct sockaddr*)&address, sizeof address) != 0) {
            ++failed;
        } else {
            send(fd, request, sizeof request - 1, MSG_NOSIGNAL);
            if (recv(fd, buffer, sizeof buffer - 1, 0) <= 0)
                ++failed;
        }
        if (fd >= 0)
            close(fd);
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    double seconds = (double)(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
    printf("%.9f\n", seconds / (double)count);
    if (failed) {
        fprintf(stderr, "probe_client: %ld of %ld probes failed\n", failed, count);
        return 1;
    }
    return 0;
}
