#include "walk/name_match.h"

namespace {

unsigned char fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c; }

} // namespace

bool name_matches(const std::string& pattern, const std::string& name) {
    // Greedy match with a single backtrack point at the last '*': a later
    // '*' can absorb whatever an earlier one could, so the last is enough,
    // and the cost stays at O(pattern * name) even for hostile patterns.
    std::size_t p = 0, n = 0;
    std::size_t star_p = std::string::npos, star_n = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star_p = p++;
            star_n = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || fold(static_cast<unsigned char>(pattern[p])) ==
                                             fold(static_cast<unsigned char>(name[n])))) {
            ++p;
            ++n;
        } else if (star_p != std::string::npos) {
            p = star_p + 1;
            n = ++star_n;
        } else {
            return false;
        }
    }
    // The name is used up: what is left of the pattern must be able to match
    // nothing, and both '*' and '?' can.
    while (p < pattern.size() && (pattern[p] == '*' || pattern[p] == '?'))
        ++p;
    return p == pattern.size();
}

bool name_order_less(const std::string& a, const std::string& b) {
    std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        unsigned char x = fold(static_cast<unsigned char>(a[i]));
        unsigned char y = fold(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    // Same name apart from case: the raw bytes decide (upper case first).
    for (std::size_t i = 0; i < common; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x != y)
            return x < y;
    }
    return false;
}
