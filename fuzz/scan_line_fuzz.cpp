// Fuzzes the page scan and the link check: the input is a page, read with
// the text-mode rules, and every line is searched for attributes, each of
// them handed to check_link. Local links are checked against a small fixed
// tree in a temporary directory. http:// links go through the real probe,
// so the target first moves into a network namespace of its own with only
// the loopback up (see enter_private_network): no lookup and no connection
// can leave the machine, and it refuses to run when it cannot do that.
//
// The error log goes to memory and must hold whole entries: five lines each,
// the trailer naming a line of this page, the page's directory and the page.
#include "check/check_link.h"
#include "report/report.h"
#include "scan/scan.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char page_name[] = "page.html";
// " 行目↑です" in Shift_JIS.
const char line_number_suffix[] = " \x8d\x73\x96\xda\x81\xaa\x82\xc5\x82\xb7";

std::string tree;     // the temporary tree
std::string page_dir; // its subdirectory p, current while an input is checked
int start_dir = -1;   // the current directory outside the inputs
std::stringbuf log_memory;

// A network namespace of this process's own with only the loopback up, and
// an empty /run (and /var/run, where that is no link to it) in a mount
// namespace of its own, so that a lookup daemon that listens on a local
// socket there (nscd, systemd-resolved) cannot look a name up from outside
// either.
bool enter_private_network() {
    if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    for (const char* run : {"/run", "/var/run"}) {
        struct stat st;
        if (lstat(run, &st) == 0 && S_ISDIR(st.st_mode) &&
            mount("tmpfs", run, "tmpfs", 0, "size=64k") != 0)
            return false;
    }
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return false;
    ifreq request;
    std::memset(&request, 0, sizeof request);
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    up = up && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    close(fd);
    return up;
}

void write_empty(const std::string& path) { std::ofstream(path, std::ios::binary); }

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
    std::remove(path);
    return 0;
}

void remove_tree() { nftw(tree.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS); }

bool make_tree() {
    char name[] = "/tmp/hrefcheck-fuzz-XXXXXX";
    if (!mkdtemp(name))
        return false;
    tree = name;
    std::atexit(remove_tree);
    page_dir = tree + "/p";
    for (const char* dir : {"/p", "/p/dir", "/p/noindex", "/p/img"})
        if (mkdir((tree + dir).c_str(), 0755) != 0)
            return false;
    for (const char* file : {"/index.html", "/p/exists.html", "/p/dir/index.html", "/p/dir/a.html",
                             "/p/noindex/index.htm", "/p/img/a.gif", "/p/a b.html"})
        write_empty(tree + file);
    start_dir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return start_dir >= 0;
}

std::size_t read_memory(void* source, char* buffer, std::size_t size) {
    auto& rest = *static_cast<std::pair<const char*, std::size_t>*>(source);
    std::size_t n = size < rest.second ? size : rest.second;
    std::memcpy(buffer, rest.first, n);
    rest.first += n;
    rest.second -= n;
    return n;
}

bool ends_with(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The log holds whole entries, each closed by a trailer for this page.
void check_log(const std::string& log, unsigned long long lines_read) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end; (end = log.find("\r\n", from)) != std::string::npos; from = end + 2)
        lines.push_back(log.substr(from, end - from));
    if (from != log.size() || lines.size() % 5 != 0)
        std::abort();
    for (std::size_t i = 0; i < lines.size(); i += 5) {
        const std::string& number = lines[i + 1];
        if (!ends_with(number, line_number_suffix))
            std::abort();
        unsigned long long line = std::strtoull(number.c_str(), nullptr, 10);
        if (line == 0 || line > lines_read || lines[i + 2] != page_dir ||
            lines[i + 3] != std::string("\t") + page_name || !lines[i + 4].empty())
            std::abort();
    }
}

page_reader reader; // 64 KiB of buffer: kept off the stack

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!enter_private_network()) {
        std::fprintf(stderr, "scan_line_fuzz: cannot make a private network and mount namespace "
                             "(needs root); refusing to run, so that no link reaches the "
                             "network\n");
        std::exit(1);
    }
    if (!make_tree()) {
        std::fprintf(stderr, "scan_line_fuzz: cannot make the temporary tree\n");
        std::exit(1);
    }
    error_log.std::basic_ios<char>::rdbuf(&log_memory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    log_memory.str(std::string());
    error_log.clear();
    // Only while the input is checked, so that the fuzzer's own relative
    // paths (corpus, artifacts) keep their meaning.
    if (chdir(page_dir.c_str()) != 0)
        std::abort();
    std::pair<const char*, std::size_t> rest(reinterpret_cast<const char*>(data), size);
    reader = page_reader();
    reader.read = read_memory;
    reader.source = &rest;
    std::string line;
    unsigned long long line_number = 0;
    while (read_page_line(reader, line))
        scan_line(page_name, ++line_number, line);
    if (fchdir(start_dir) != 0)
        std::abort();
    check_log(log_memory.str(), line_number);
    return 0;
}
