// The HTTP probe of an "http://" link.
#pragma once

#include <string>

// Checks an "http://" link of 8 bytes or more with one GET request and one
// receive. Writes the first line of at most one entry (bad_port,
// connect_failed, no_reply, not_http, http_error) and returns true when it
// did, false when the link passed.
bool probe_http_link(const std::string& link);
