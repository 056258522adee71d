#include "scan/scan.h"

#include "check/check_link.h"
#include "report/report.h"
#include "walk/dir_services.h"

#include <cstring>

namespace {

// The most room taken at once for a long line beyond what it already holds;
// a longer line goes on growing step by step.
const std::size_t long_line_room = std::size_t(256) << 20;

// A line that has filled a whole buffer may be very long. Rather than let it
// be moved to a larger block each time it doubles, make room once for all
// that the rest of the page can add to it.
void make_room_for_long_line(const page_reader& reader, std::string& line) {
    if (line.size() < sizeof reader.buffer || line.capacity() - line.size() >= sizeof reader.buffer)
        return;
    std::size_t rest = reader.size > reader.taken ? reader.size - reader.taken : 0;
    std::size_t wanted = line.size() + (rest < long_line_room ? rest : long_line_room);
    if (wanted > line.capacity())
        reserve_line(line, wanted);
}

} // namespace

bool read_page_line(page_reader& reader, std::string& line) {
    line.clear();
    for (;;) {
        if (reader.begin == reader.end) {
            if (reader.finished)
                return !line.empty();
            std::size_t got = reader.read(reader.source, reader.buffer, sizeof reader.buffer);
            if (got == 0) {
                reader.finished = true;
                continue;
            }
            reader.taken += got;
            // 0x1A ends the page as if the file ended there.
            if (const void* stop = std::memchr(reader.buffer, 0x1A, got)) {
                got = static_cast<const char*>(stop) - reader.buffer;
                reader.finished = true;
            }
            reader.begin = 0;
            reader.end = got;
            continue;
        }
        const char* start = reader.buffer + reader.begin;
        std::size_t available = reader.end - reader.begin;
        const char* lf = static_cast<const char*>(std::memchr(start, '\n', available));
        if (!lf) {
            line.append(start, available);
            reader.begin = reader.end;
            make_room_for_long_line(reader, line);
            continue;
        }
        line.append(start, static_cast<std::size_t>(lf - start));
        reader.begin = static_cast<std::size_t>(lf - reader.buffer) + 1;
        // CR LF is one line end; the CR may have come with the previous read.
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return true;
    }
}

std::size_t find_attribute(const std::string& line, const char* name, std::size_t from) {
    // Look for the '=' (much rarer in text than the first letter) and then
    // compare the four bytes before it, so a line costs one memchr pass.
    const char* data = line.data();
    std::size_t size = line.size();
    std::size_t at = from + 4;
    while (at < size) {
        const void* eq = std::memchr(data + at, '=', size - at);
        if (!eq)
            return std::string::npos;
        at = static_cast<std::size_t>(static_cast<const char*>(eq) - data);
        if (std::memcmp(data + at - 4, name, 4) == 0)
            return at - 4;
        ++at;
    }
    return std::string::npos;
}

void scan_line(const std::string& page_name, unsigned long long line_number,
               const std::string& line) {
    for (const char* name : {"href=", "HREF="}) {
        std::size_t from = 0;
        for (;;) {
            std::size_t at = find_attribute(line, name, from);
            if (at == std::string::npos)
                break;
            std::size_t resume = check_link(page_name, line_number, line, at + 5);
            if (resume == std::string::npos)
                break;
            // The search goes on 4 bytes past the closing quote, so an
            // attribute that starts 1 to 3 bytes after it is not seen.
            from = resume + 4;
        }
    }
}

namespace {

std::size_t read_from_page_file(void* source, char* buffer, std::size_t size) {
    return read_page_file(static_cast<page_file*>(source), buffer, size);
}

} // namespace

void scan_page(const std::string& page_name) {
    page_file* file = open_page_file(page_name.c_str());
    announce_page(page_name);
    if (!file)
        return;
    page_reader reader;
    reader.read = read_from_page_file;
    reader.source = file;
    reader.size = page_file_size(file);
    std::string line;
    unsigned long long line_number = 0;
    while (read_page_line(reader, line))
        scan_line(page_name, ++line_number, line);
    close_page_file(file);
}
