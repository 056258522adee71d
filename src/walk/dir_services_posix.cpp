// POSIX directory services: a directory search that behaves like the Windows
// one hrefcheck was written for (wildcards, ASCII case-insensitivity, a fixed
// order), the current directory without a length limit, and page files that
// never block.
#include "walk/dir_services.h"
#include "walk/name_match.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

struct find_search {
    int dir_fd = -1; // the searched directory, for the directory bit of each entry
    std::vector<std::string> names;
    std::size_t next = 0;
};

namespace {

bool is_directory_at(int dir_fd, const std::string& name) {
    struct stat st;
    return fstatat(dir_fd, name.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode);
}

// Fills data with the next entry of the search; false when none is left.
bool deliver(find_search* search, find_data& data) {
    if (search->next >= search->names.size())
        return false;
    data.name = search->names[search->next++];
    data.is_directory = is_directory_at(search->dir_fd, data.name);
    return true;
}

int open_directory(const std::string& path) {
    return open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// A listing of the directory dir_fd stands for, leaving dir_fd itself open
// for the fstatat calls; nullptr when it cannot be listed.
DIR* open_listing(int dir_fd) {
    int list_fd = dup(dir_fd);
    if (list_fd < 0)
        return nullptr;
    DIR* dir = fdopendir(list_fd);
    if (!dir)
        close(list_fd);
    return dir;
}

// A pattern split at its last '/': the directory part (with that '/', or "."
// when there is none) and the last component.
struct split_pattern {
    std::string dir_part;
    const char* last;
};

split_pattern split(const char* pattern) {
    const char* slash = std::strrchr(pattern, '/');
    if (!slash)
        return {".", pattern};
    return {std::string(pattern, static_cast<std::size_t>(slash - pattern) + 1), slash + 1};
}

// "docs/", "./", "/": the search finds the directory itself, when it exists.
bool is_existing_directory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// True when some entry of the directory path matches last; false also when
// the directory cannot be listed.
bool listing_has_match(const std::string& path, const std::string& last) {
    int dir_fd = open_directory(path);
    if (dir_fd < 0)
        return false;
    DIR* dir = fdopendir(dir_fd);
    if (!dir) {
        close(dir_fd);
        return false;
    }
    bool found = false;
    while (struct dirent* entry = readdir(dir)) {
        if (name_matches(last, entry->d_name)) {
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

} // namespace

find_search* find_first(const char* pattern, find_data& data) {
    if (!*pattern)
        return nullptr;
    split_pattern parts = split(pattern);
    if (!*parts.last) {
        if (!is_existing_directory(parts.dir_part))
            return nullptr;
        find_search* search = new find_search;
        search->names.push_back(".");
        data.name = ".";
        data.is_directory = true;
        search->next = 1;
        return search;
    }

    int dir_fd = open_directory(parts.dir_part);
    if (dir_fd < 0)
        return nullptr;
    DIR* dir = open_listing(dir_fd);
    if (!dir) {
        close(dir_fd);
        return nullptr;
    }
    find_search* search = new find_search;
    search->dir_fd = dir_fd;
    std::string last(parts.last);
    while (struct dirent* entry = readdir(dir)) {
        std::string name(entry->d_name);
        if (name_matches(last, name))
            search->names.push_back(name);
    }
    closedir(dir);
    std::sort(search->names.begin(), search->names.end(), name_order_less);
    if (!deliver(search, data)) {
        find_close(search);
        return nullptr;
    }
    return search;
}

bool find_any(const char* pattern) {
    if (!*pattern)
        return false;
    split_pattern parts = split(pattern);
    if (!*parts.last)
        return is_existing_directory(parts.dir_part);
    // An entry of exactly that name is in the listing and matches its own
    // name, so finding it settles the answer without reading the directory,
    // as long as find_first could read it: the directory must be readable
    // too. A miss settles nothing: the rule ignores the case of ASCII
    // letters, so "Index.HTML" may still match "index.html". Nor does any
    // other failure (a directory that may be read but not searched).
    struct stat st;
    if (!std::strpbrk(parts.last, "*?") &&
        faccessat(AT_FDCWD, parts.dir_part.c_str(), R_OK, AT_EACCESS) == 0 &&
        fstatat(AT_FDCWD, pattern, &st, AT_SYMLINK_NOFOLLOW) == 0)
        return true;
    return listing_has_match(parts.dir_part, parts.last);
}

bool find_next(find_search* search, find_data& data) { return deliver(search, data); }

void find_close(find_search* search) {
    if (search->dir_fd >= 0)
        close(search->dir_fd);
    delete search;
}

namespace {

// The directories that the last climbs went through, from the top down,
// each with the length of its path in climbed_path (the path of the lowest).
// The walk asks again and again for a directory, its children and its
// parent; a climb that meets one of these need go no further, so a deep
// tree costs a step or two per question instead of its whole depth. (A
// directory moved by someone else during the run keeps the path it had.)
struct climbed_directory {
    directory_id id;
    std::size_t path_length;
};
std::vector<climbed_directory> climbed;
std::string climbed_path;

// Builds the path of the current directory by climbing through "..", for
// paths longer than the kernel's getcwd accepts.
std::string climb_current_directory() {
    int fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::string();
    // The directories climbed from, from the bottom up, and their names.
    std::vector<directory_id> ids;
    std::vector<std::string> names;
    std::size_t known = 0; // how many of climbed still lead here
    for (;;) {
        struct stat here;
        if (fstat(fd, &here) != 0) {
            close(fd);
            return std::string();
        }
        directory_id here_id;
        here_id.device = here.st_dev;
        here_id.index = here.st_ino;
        auto met = std::find_if(climbed.begin(), climbed.end(),
                                [&](const climbed_directory& d) { return d.id == here_id; });
        if (met != climbed.end()) {
            known = static_cast<std::size_t>(met - climbed.begin()) + 1;
            break;
        }
        int parent = openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat up;
        if (parent < 0 || fstat(parent, &up) != 0) {
            if (parent >= 0)
                close(parent);
            close(fd);
            return std::string();
        }
        close(fd);
        fd = parent;
        if (up.st_dev == here.st_dev && up.st_ino == here.st_ino) {
            // The root is its own parent; its path is "/", kept as "".
            ids.push_back(here_id);
            names.emplace_back();
            break;
        }
        DIR* dir = open_listing(parent);
        if (!dir) {
            close(fd);
            return std::string();
        }
        bool found = false;
        while (struct dirent* entry = readdir(dir)) {
            std::string name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            struct stat st;
            if (fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                st.st_dev == here.st_dev && st.st_ino == here.st_ino) {
                ids.push_back(here_id);
                names.push_back(name);
                found = true;
                break;
            }
        }
        closedir(dir);
        if (!found) {
            close(fd);
            return std::string();
        }
    }
    close(fd);

    // Keeps what still leads here and adds the levels just climbed.
    climbed.resize(known);
    climbed_path.resize(known ? climbed.back().path_length : 0);
    for (std::size_t level = ids.size(); level-- > 0;) {
        if (!names[level].empty())
            climbed_path += "/" + names[level];
        climbed.push_back({ids[level], climbed_path.size()});
    }
    return climbed_path.empty() ? "/" : climbed_path;
}

} // namespace

std::string get_current_directory() {
    // The kernel tells paths of up to a page. For a longer one glibc's getcwd
    // climbs the whole tree on every call, so that climb is done here
    // instead, where it remembers the directories it passed.
    char buffer[PATH_MAX + 1];
    if (syscall(SYS_getcwd, buffer, sizeof buffer) > 0 && buffer[0] == '/')
        return std::string(buffer);
    return climb_current_directory();
}

bool set_current_directory(const char* name) { return chdir(name) == 0; }

bool operator==(const directory_id& a, const directory_id& b) {
    return a.device == b.device && a.index == b.index;
}

bool current_directory_id(directory_id& id) {
    struct stat st;
    if (stat(".", &st) != 0)
        return false;
    id.device = st.st_dev;
    id.index = st.st_ino;
    return true;
}

// The way back holds no descriptor, so that a deep walk does not run out of
// them: the walker comes back from a subdirectory it entered by name, whose
// parent is the saved directory unless the name was a link; then the saved
// full path leads there. The identity tells which case holds.
struct saved_directory {
    directory_id id;
    std::string path;
};

namespace {

bool is_current_directory(const directory_id& id) {
    directory_id now;
    return current_directory_id(now) && now == id;
}

// Enters an absolute path one component at a time, so that no single call
// meets the kernel's limit on the length of a path.
bool enter_full_path(const std::string& path) {
    if (path.empty() || path[0] != '/' || chdir("/") != 0)
        return false;
    for (std::size_t from = 1; from < path.size();) {
        std::size_t slash = path.find('/', from);
        if (slash == std::string::npos)
            slash = path.size();
        if (slash > from && chdir(path.substr(from, slash - from).c_str()) != 0)
            return false;
        from = slash + 1;
    }
    return true;
}

} // namespace

saved_directory* save_current_directory() {
    directory_id id;
    if (!current_directory_id(id))
        return nullptr;
    return new saved_directory{id, get_current_directory()};
}

bool restore_directory(saved_directory* saved) {
    if (chdir("..") == 0 && is_current_directory(saved->id))
        return true;
    return enter_full_path(saved->path) && is_current_directory(saved->id);
}

void release_directory(saved_directory* saved) { delete saved; }

struct page_file {
    int fd;
    std::size_t size; // when opened
};

page_file* open_page_file(const char* name) {
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; the
    // type test then turns away everything that is not a regular file.
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return nullptr;
    }
    return new page_file{fd, static_cast<std::size_t>(st.st_size)};
}

std::size_t read_page_file(page_file* file, char* buffer, std::size_t size) {
    for (;;) {
        ssize_t got = read(file->fd, buffer, size);
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR)
            return 0;
    }
}

std::size_t page_file_size(page_file* file) { return file->size; }

void close_page_file(page_file* file) {
    close(file->fd);
    delete file;
}

// POSIX standard output has no text mode: bytes go out as written.
void use_binary_standard_output() {}

void reserve_line(std::string& line, std::size_t capacity) {
    line.reserve(capacity);
#ifdef MADV_HUGEPAGE
    // Filling fresh memory faults it in one 4 KiB page at a time; with
    // 2 MiB pages a long line takes 512 times fewer faults. Only the whole
    // 2 MiB pages inside the room are marked.
    const std::uintptr_t huge_page = std::uintptr_t(1) << 21;
    std::uintptr_t start = reinterpret_cast<std::uintptr_t>(line.data());
    std::uintptr_t first = (start + huge_page - 1) & ~(huge_page - 1);
    std::uintptr_t end = (start + line.capacity()) & ~(huge_page - 1);
    if (end > first)
        madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
}
