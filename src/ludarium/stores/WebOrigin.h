// The origin of a web page as the local API compares it: "scheme://host:port"
// with the scheme and host in lower case and the port always written (80 for
// http, 443 for https when the text leaves it out), or "null", the origin a
// browser sends for sandboxed frames and local files.
#pragma once

#include <string>

// The canonical form of an origin text ("http://Example.org" becomes
// "http://example.org:80"); a path, query or user part is dropped, so a
// Referer URL gives its page's origin. "" when the text is not an http or
// https origin (or "null").
std::string canonical_origin(const std::string& text);

// The host of a canonical origin ("[::1]" keeps its brackets); "" for "null".
std::string origin_host(const std::string& canonical);

// Whether a host (from an origin or a Host header, without its port) names
// this machine: 127.0.0.1, localhost or [::1], without regard to case.
bool is_loopback_host(const std::string& host);
