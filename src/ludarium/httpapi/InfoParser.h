// The common first steps of the handlers that take a JSON `info`: take the
// parameter, parse it, let the caller read its members.
#pragma once

#include <functional>
#include <string>

#include "HttpRequest.h"
#include "JsonReader.h"

// Returns "" when info was present, parsed and `read` returned normally;
// otherwise the failure text: "no info", or "exception: " + the exception's
// type and message + " parse info error" for a parse or read error. The
// caller logs the text under its own name and answers it.
std::string parse_info(HttpRequest& request, const std::function<void(const JsonDocument&)>& read);
