// The frames of the student link and how one session sends and receives
// them. All functions act on the one socket given; a session calls them
// from its own thread only.
#pragma once

#include <cstdint>
#include <string>

#include "Message.h"
#include "Net.h"
#include "User.h"

// The head line (without newline) of a frame the server sends:
// {"protocol":"tessera","version":"1.0","content-type":"text/plain",
//  "content-length":N,"type":T,"instruct_id":"<unsigned decimal>"}.
std::string write_frame(int32_t content_length, int32_t type, uint64_t instruct_id);

// Waits at most 10 ms for the socket to be writable. 0: not writable, nothing
// sent; negative: the wait failed; else send_all's result.
int send_frame(sock_t s, const std::string& frame);

// Sends every byte; the total, 0 for null data, or -1 after printing
// "Failed send(),error code:%d" on the console.
int send_all(sock_t s, const char* data, int length);

// Limits on what a tablet may send.
const size_t kMaxHeadLine = 64 * 1024;
const int32_t kMaxBody = 1024 * 1024;

// Results of read_message besides a byte count.
const int kReadProtocolError = -2;  // a head line beyond kMaxHeadLine

// Takes the next frame out of the bytes received so far (`pending`, owned by
// the session), receiving once (10 ms readiness wait) when no frame is
// complete yet. Bytes behind a frame stay in `pending` for the next call.
// Returns the frame's byte count when one was taken (message filled; its
// head may have failed to parse: then `parsed` is false), 0 when no frame is
// complete yet or the peer closed, -1 on a receive failure, or
// kReadProtocolError. The body is kept for USER_INFO only, exactly
// content-length bytes; a USER_INFO whose content-length is negative or over
// kMaxBody keeps an empty body (so the login is refused).
int read_message(sock_t s, Message* message, std::string* pending);

// Fills the message's fields from its head text; false after logging
// "parse_head_json exception: <type>".
bool parse_head_json(Message* message);

// A student's record from a USER_INFO body; user id -1 on any error.
User parseUserJson(const std::string& body);

bool is_connection_lost(int code);
