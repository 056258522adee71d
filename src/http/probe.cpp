#include "http/probe.h"

bool probe_http_link(const std::string&) { return false; }
