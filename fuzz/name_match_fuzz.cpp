// Fuzzes the directory pattern matcher against a deliberately simple
// reference: a table of which pattern suffix matches which name suffix,
// filled from the rules one byte at a time. The input is the pattern, a zero
// byte, and the name. The search order is checked to be a total order.
#include "walk/name_match.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

char fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// matches[i][j]: pattern from i matches name from j.
bool reference_match(const std::string& pattern, const std::string& name) {
    std::size_t m = pattern.size(), n = name.size();
    std::vector<std::vector<bool>> matches(m + 1, std::vector<bool>(n + 1, false));
    matches[m][n] = true;
    for (std::size_t i = m; i-- > 0;) {
        for (std::size_t j = n + 1; j-- > 0;) {
            bool name_left = j < n;
            if (pattern[i] == '*')
                matches[i][j] = matches[i + 1][j] || (name_left && matches[i][j + 1]);
            else if (pattern[i] == '?')
                matches[i][j] = name_left ? matches[i + 1][j + 1] : matches[i + 1][j];
            else
                matches[i][j] =
                    name_left && fold(pattern[i]) == fold(name[j]) && matches[i + 1][j + 1];
        }
    }
    return matches[0][0];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The reference costs pattern times name; longer inputs add nothing.
    if (size > 1024)
        return 0;
    std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t zero = input.find('\0');
    std::string pattern = input.substr(0, zero);
    std::string name = zero == std::string::npos ? std::string() : input.substr(zero + 1);
    if (name_matches(pattern, name) != reference_match(pattern, name))
        std::abort();
    bool less = name_order_less(pattern, name);
    bool greater = name_order_less(name, pattern);
    if ((less && greater) || (pattern == name) != (!less && !greater))
        std::abort();
    return 0;
}
