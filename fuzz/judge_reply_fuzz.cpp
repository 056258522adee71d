// Fuzzes the judgement of a reply over arbitrary bytes, both as a buffer of
// the exact size (so that any read past its end is caught) and the way the
// probe hands it over: at most 1023 bytes in a zeroed buffer of 1024. The
// verdict is compared with a plain reading of the rules written here.
#include "http/probe.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The reply text: the bytes before the first zero byte.
std::string reply_text(const char* data, std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size && data[i] != '\0'; ++i)
        text += data[i];
    return text;
}

std::string reference_status_line(const std::string& text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '\r' && text[i + 1] == '\n')
            return text.substr(0, i);
    for (char end : {'\n', '\r'})
        for (std::size_t i = 0; i < text.size(); ++i)
            if (text[i] == end)
                return text.substr(0, i);
    return text;
}

// The digits right after the space; the first one is '4' or '5' here, so
// there is no white space or sign to skip.
std::int32_t reference_code(const std::string& text, std::size_t from) {
    std::int64_t value = 0;
    for (std::size_t i = from; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT32_MAX)
            return INT32_MAX;
    }
    return static_cast<std::int32_t>(value);
}

void check(const char* data, std::size_t size) {
    reply_verdict verdict = judge_reply(data, size);
    std::string text = reply_text(data, size);
    std::size_t space = text.find(' ');
    if (text.empty()) {
        if (verdict.kind != reply_kind::no_reply)
            std::abort();
        return;
    }
    if (space == std::string::npos) {
        if (verdict.kind != reply_kind::not_http)
            std::abort();
        return;
    }
    char digit = space + 1 < text.size() ? text[space + 1] : '\0';
    if (digit != '4' && digit != '5') {
        if (verdict.kind != reply_kind::passed)
            std::abort();
        return;
    }
    if (verdict.kind != reply_kind::http_error ||
        verdict.status_line != reference_status_line(text) ||
        verdict.status_code != reference_code(text, space + 1))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    check(reinterpret_cast<const char*>(data), size);
    char buffer[1024];
    std::memset(buffer, 0, sizeof buffer);
    std::memcpy(buffer, data, size < 1023 ? size : 1023);
    check(buffer, sizeof buffer);
    return 0;
}
