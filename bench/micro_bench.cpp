// Micro-benchmarks of the hot paths, to compare before and after a change:
// the scanner over one long line, and the directory matcher and searches.
//
//     cmake --build build --target micro_bench && build/micro_bench
#include "check/check_link.h"
#include "scan/scan.h"
#include "walk/dir_services.h"
#include "walk/name_match.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <ftw.h>
#include <unistd.h>

namespace {

// Ordinary text with an attribute every 10 KB or so; the links are
// fragments, which check_link passes over without touching the disk.
std::string long_line(std::size_t size) {
    static const char words[] = "the site page link check list index news archive about contact ";
    std::string line;
    line.reserve(size);
    std::size_t next_link = 10000;
    while (line.size() < size) {
        line += words;
        if (line.size() >= next_link) {
            line += line.size() % 3 ? "<a href=\"#top\">top</a> " : "<A HREF=\"#top\">top</A> ";
            next_link += 10000;
        }
    }
    line.resize(size);
    return line;
}

void find_attribute_long_line(benchmark::State& state) {
    const std::string line = long_line(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::size_t found = 0;
        for (std::size_t at = 0; (at = find_attribute(line, "href=", at)) != std::string::npos;
             at += 5)
            ++found;
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size()));
}
BENCHMARK(find_attribute_long_line)->Arg(1 << 20)->Arg(16 << 20);

void scan_line_long_line(benchmark::State& state) {
    const std::string line = long_line(static_cast<std::size_t>(state.range(0)));
    const std::string page = "long.html";
    for (auto _ : state)
        scan_line(page, 1, line);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size()));
}
BENCHMARK(scan_line_long_line)->Arg(1 << 20)->Arg(16 << 20);

struct memory_page {
    const std::string* bytes;
    std::size_t at;
};

std::size_t read_memory(void* source, char* buffer, std::size_t size) {
    memory_page& page = *static_cast<memory_page*>(source);
    std::size_t n = std::min(size, page.bytes->size() - page.at);
    std::memcpy(buffer, page.bytes->data() + page.at, n);
    page.at += n;
    return n;
}

// One page of one long line read from memory, with the page's size known
// (argument 1) or not (argument 0).
void read_page_line_long_line(benchmark::State& state) {
    const std::string bytes = long_line(32 << 20);
    for (auto _ : state) {
        memory_page page{&bytes, 0};
        page_reader reader;
        reader.read = read_memory;
        reader.source = &page;
        reader.size = state.range(0) ? bytes.size() : 0;
        std::string line;
        while (read_page_line(reader, line))
            benchmark::DoNotOptimize(line.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(read_page_line_long_line)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

std::vector<std::string> directory_names() {
    std::vector<std::string> names = {".", "..", "index.html", "img01.png", "img02.png"};
    for (int k = 1; k < 30; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "p%04d.html", k);
        names.push_back(name);
    }
    return names;
}

// The wildcard matcher over one directory's names.
void name_matches_directory(benchmark::State& state) {
    const std::vector<std::string> names = directory_names();
    const std::string patterns[] = {"*.htm?", "p0017.html", "P0017.HTML", "gone.html"};
    const std::string& pattern = patterns[state.range(0)];
    state.SetLabel(pattern);
    for (auto _ : state) {
        int matched = 0;
        for (const std::string& name : names)
            matched += name_matches(pattern, name);
        benchmark::DoNotOptimize(matched);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * names.size()));
}
BENCHMARK(name_matches_directory)->DenseRange(0, 3);

// A directory like one of a site, made and entered for the searches below.
class site_directory {
  public:
    site_directory() {
        char name[] = "/tmp/hrefcheck-bench-XXXXXX";
        if (!mkdtemp(name) || !getcwd(previous_, sizeof previous_) || chdir(name) != 0)
            std::abort();
        path_ = name;
        for (const std::string& file : directory_names())
            if (file != "." && file != "..")
                if (FILE* f = std::fopen(file.c_str(), "w"))
                    std::fclose(f);
    }
    ~site_directory() {
        if (chdir(previous_) != 0)
            std::abort();
        nftw(
            path_.c_str(), [](const char* p, const struct stat*, int, FTW*) { return remove(p); },
            8, FTW_DEPTH | FTW_PHYS);
    }

  private:
    std::string path_;
    char previous_[4096];
};

const char* const search_links[] = {"p0017.html", "P0017.HTML", "gone.html", "*.png"};

// file_exists of a local link: an exact hit, a hit under another case, a
// miss, and a wildcard.
void file_exists_link(benchmark::State& state) {
    site_directory dir;
    const std::string link = search_links[state.range(0)];
    state.SetLabel(link);
    for (auto _ : state)
        benchmark::DoNotOptimize(file_exists(link));
}
BENCHMARK(file_exists_link)->DenseRange(0, 3);

// The same links through the full search that lists and sorts the directory.
void find_first_link(benchmark::State& state) {
    site_directory dir;
    const std::string link = search_links[state.range(0)];
    state.SetLabel(link);
    for (auto _ : state) {
        find_data data;
        find_search* search = find_first(link.c_str(), data);
        if (search)
            find_close(search);
        benchmark::DoNotOptimize(search);
    }
}
BENCHMARK(find_first_link)->DenseRange(0, 3);

} // namespace

BENCHMARK_MAIN();
