// Fuzzes the text-mode page reader over arbitrary bytes. The first byte of
// the input picks how many bytes each read hands over, so that a CR LF pair
// or a 0x1A falls across reads; the rest is the page. The lines are compared
// with a plain reading of the rules written here.
#include "scan/scan.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct memory_page {
    const char* bytes;
    std::size_t size;
    std::size_t chunk;
    std::size_t at;
};

std::size_t read_memory(void* source, char* buffer, std::size_t size) {
    memory_page& page = *static_cast<memory_page*>(source);
    std::size_t n = std::min({size, page.chunk, page.size - page.at});
    std::memcpy(buffer, page.bytes + page.at, n);
    page.at += n;
    return n;
}

// The page ends at its first 0x1A; each LF ends a line, and a CR right
// before it goes with it; a last line without LF counts when it is not empty.
std::vector<std::string> reference_lines(const std::string& page) {
    std::string text = page.substr(0, page.find('\x1a'));
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c != '\n') {
            line += c;
            continue;
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        line.clear();
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

page_reader reader; // 64 KiB of buffer: kept off the stack

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    std::size_t chunk = data[0] == 0xff ? sizeof reader.buffer : data[0] % 16 + 1;
    memory_page page = {reinterpret_cast<const char*>(data) + 1, size - 1, chunk, 0};
    reader = page_reader();
    reader.read = read_memory;
    reader.source = &page;
    std::vector<std::string> lines;
    std::string line;
    while (read_page_line(reader, line))
        lines.push_back(line);
    if (lines != reference_lines(std::string(page.bytes, page.size)))
        std::abort();
    return 0;
}
