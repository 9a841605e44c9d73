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

// Where a frame reader gets its bytes: a receive that never waits, with the
// results of net_recv_now (bytes, 0 when the peer closed, -1 on failure,
// kNetWouldBlock when nothing is there).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual int receive(char* buf, int len) = 0;
};

// Results of read_message besides a byte count.
const int kReadProtocolError = -2;  // a head line beyond kMaxHeadLine
const int kReadClosed = -3;         // a receive of 0 bytes: the peer closed
const int kReadBadLength = -4;      // a head declaring a negative body or one over kMaxBody

// Takes the next frame out of the bytes received so far (`pending`, owned by
// the session). While no frame is complete it keeps receiving from the
// source until one is or the source has nothing more; bytes behind a frame
// stay in `pending` for the next call. Returns the frame's byte count when
// one was taken (message filled; its head may have failed to parse: then
// `parsed` is false), 0 when no frame is complete yet, -1 on a receive
// failure, kReadClosed, kReadProtocolError, or kReadBadLength (message
// holds the head; the stream cannot be followed past it). The body is kept
// for USER_INFO only, exactly content-length bytes; the body of any other
// frame is skipped.
int read_message(ByteSource* source, Message* message, std::string* pending);

// The same on a socket; when no frame is complete it waits at most 10 ms
// for the socket to be readable and tries once more.
int read_message(sock_t s, Message* message, std::string* pending);

// Fills the message's fields from its head text; false after logging
// "parse_head_json exception: <type>".
bool parse_head_json(Message* message);

// A student's record from a USER_INFO body, read through the one table of
// the student's fields (user_json_fields); user id -1 on any error.
User parseUserJson(const std::string& body);

bool is_connection_lost(int code);
