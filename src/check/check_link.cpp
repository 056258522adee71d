#include "check/check_link.h"

#include "http/probe.h"
#include "report/report.h"
#include "walk/dir_services.h"

#include <cstring>

namespace {

// Links that are not checked, tried in this order; case matters.
const char* const skipped_prefixes[] = {
    "https:", "ftp:", "mms:", "mailto:", "MailTo:", "javascript:", "JavaScript:"};

const char http_scheme[] = "http://";
const std::size_t http_scheme_size = 7;

bool starts_with(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// Classifies the link and runs its check; true when an entry's first line
// was written.
bool check_link_text(const std::string& link) {
    if (link.empty())
        return false;
    if (starts_with(link, http_scheme)) {
        if (link.size() == http_scheme_size) {
            report_bare_http();
            return true;
        }
        return probe_http_link(link);
    }
    for (const char* prefix : skipped_prefixes)
        if (starts_with(link, prefix))
            return false;
    return check_local_link(link);
}

} // namespace

std::size_t check_link(const std::string& page_name, unsigned long long line_number,
                       const std::string& line, std::size_t start) {
    std::size_t open = line.find('"', start);
    std::size_t close = open == std::string::npos ? open : line.find('"', open + 1);
    bool written;
    if (open == std::string::npos) {
        report_open_quote_missing();
        written = true;
    } else if (close == std::string::npos) {
        report_close_quote_missing();
        written = true;
    } else {
        std::string link = line.substr(open + 1, close - open - 1);
        std::size_t fragment = link.find('#');
        if (fragment != std::string::npos)
            link.erase(fragment);
        written = check_link_text(link);
    }
    if (written)
        write_location_trailer(line_number, page_name);
    return close;
}

bool file_exists(const std::string& path) { return find_any(path.c_str()); }

bool check_local_link(const std::string& link) {
    if (link.find('\\') != std::string::npos) {
        report_backslash_in_path(link);
        return true;
    }
    if (link.size() >= 3 && link.back() == '/' && !file_exists(link + "index.html")) {
        report_index_missing(link);
        return true;
    }
    if (file_exists(link))
        return false;
    report_file_missing(link);
    return true;
}
