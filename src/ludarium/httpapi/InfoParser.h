// The common first steps of the handlers that take a JSON `info`: take the
// parameter, parse it, let the caller read its members.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "HttpRequest.h"
#include "JsonReader.h"

// The failure text when the request carries no usable info.
extern const char* const kNoInfo;

// Buffers info is decoded into, terminator included: 1,023 bytes of text for
// most handlers, 1,022 where the handler's decoder kept one byte back.
const size_t kInfoBuffer = 1024;
const size_t kShortInfoBuffer = kInfoBuffer - 1;

// The parameter `info` (BaseHttpAPI::getInfo into a buffer of `buffer`
// bytes), up to its first zero byte. False when there is none: absent,
// empty or longer than the buffer holds.
bool take_info(HttpRequest& request, size_t buffer, std::string* info);

// Parses an info text and lets `read` take its members. Returns "" when
// `read` returned normally, else "exception: " + the exception's type and
// message + " parse info error" for a parse or read error.
std::string parse_info_text(const std::string& info,
                            const std::function<void(const JsonDocument&)>& read);

// Both steps: "", kNoInfo, or the parse failure. The caller logs the text
// under its own name (BaseHttpAPI::replyFailLogged) and answers it.
std::string parse_info(HttpRequest& request, const std::function<void(const JsonDocument&)>& read,
                       size_t buffer = kInfoBuffer);
