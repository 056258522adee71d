// The HTTP probe of an "http://" link, and the pieces it is made of: taking
// the link apart, the request, the judgement of the reply and the table of
// status explanations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Checks an "http://" link of 8 bytes or more with one GET request and one
// receive. Writes the first line of at most one entry (bad_port,
// connect_failed, no_reply, not_http, http_error) and returns true when it
// did, false when the link passed.
bool probe_http_link(const std::string& link);

// Where an "http://" link points.
struct http_target {
    std::string host;       // from after "http://" to the first '/', cut before its first ':'
    std::int32_t port = 80; // 80, or the number after that ':'; 0 is a bad port
    std::string path;       // from that '/' to the end of the link, or "/" without one
};

// Takes link (beginning with "http://") apart. The port is read from the
// bytes after the first ':' of the host part by read_decimal, so "host:",
// "host:abc" and "host:0" all give port 0.
http_target split_http_link(const std::string& link);

// The request bytes for target: the GET line, Accept, Connection, and a Host
// header that holds the host text without the port, then an empty line.
std::string build_request(const http_target& target);

// The number that atoi would read from text at from: white space (space, tab,
// LF, VT, FF, CR) skipped, an optional '+' or '-', then decimal digits up to
// the first other byte or the end; 0 without digits. Saturates at the signed
// 32-bit limits instead of overflowing.
std::int32_t read_decimal(const std::string& text, std::size_t from);

enum class reply_kind { passed, no_reply, not_http, http_error };

struct reply_verdict {
    reply_kind kind = reply_kind::passed;
    std::string status_line;      // http_error: the reply up to its first line end
    std::int32_t status_code = 0; // http_error: the number after the first space
};

// Judges the start of a reply: the reply text is data up to its first zero
// byte (or all size bytes). Empty: no_reply. No space in it: not_http. The
// byte after the first space is '4' or '5': http_error, with the status line
// (ended by the first CR LF, else the first LF, else the first CR, else the
// whole text) and the status code. Anything else: passed.
reply_verdict judge_reply(const char* data, std::size_t size);

// The Japanese explanation of an HTTP status code, as Shift_JIS bytes; an
// empty text for a code without one.
const char* status_explanation(std::int32_t code);
