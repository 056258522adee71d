/* Runs a command once and prints its wall time in seconds and its peak
 * resident memory in bytes, on one line. The command's standard output goes
 * to /dev/null (or to FILE with -o FILE); its exit code must be 0.
 *
 *     measure [-o FILE] COMMAND [ARGUMENT...]
 *
 * A small C program rather than the script itself starts the command: Linux
 * carries the peak resident memory of a process across exec, so a command
 * forked from a large interpreter would be charged with the interpreter's.
 */
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
    const char* output = "/dev/null";
    int first = 1;
    if (argc > 3 && strcmp(argv[1], "-o") == 0) {
        output = argv[2];
        first = 3;
    }
    if (first >= argc) {
        fprintf(stderr, "usage: measure [-o FILE] COMMAND [ARGUMENT...]\n");
        return 2;
    }
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t child = fork();
    if (child < 0) {
        perror("measure: fork");
        return 1;
    }
    if (child == 0) {
        int fd = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, 1) < 0) {
            perror("measure: output");
            _exit(127);
        }
        close(fd);
        execvp(argv[first], argv + first);
        perror("measure: exec");
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (wait4(child, &status, 0, &usage) != child) {
        perror("measure: wait4");
        return 1;
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    double seconds = (double)(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
    printf("%.6f %ld\n", seconds, (long)usage.ru_maxrss * 1024L);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "measure: %s ended with status %d\n", argv[first], status);
        return 1;
    }
    return 0;
}
