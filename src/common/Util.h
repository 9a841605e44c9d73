// Text, number and file helpers shared by both programs. None of them
// throws or logs; failures show in the result only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Signed 64-bit integer as decimal text.
std::string int64_to_text(int64_t value);
// Unsigned 64-bit integer as decimal text.
std::string uint64_to_text(uint64_t value);

// Decimal text to unsigned 64-bit: leading blanks skipped, digits read up to
// the first non-digit; empty or non-numeric text gives 0. A value above the
// 64-bit range gives all bits set (the "none" of instruction ids) and sets
// *overflow when given; it never wraps.
uint64_t text_to_uint64(const std::string& text, bool* overflow = nullptr);

// Every occurrence of `needle` replaced, searching again from the start of
// the text after each replacement. A replacement that contains its needle
// is refused (the text comes back unchanged) instead of looping for ever.
std::string replace_all(const std::string& text, const std::string& needle,
                        const std::string& replacement);

// URL encoding into dst (size bytes): letters, digits and "._-$,;~()" are
// copied, every other byte becomes "%" and two lower-case hex digits. A byte
// whose escape would not fit before the last byte is dropped; copying stops
// when the buffer is full. dst is always zero-terminated (size > 0).
void url_encode(const char* src, char* dst, size_t size);

// "YYYY-MM-DD HH:MM:SS.mmm" in local time of a time in ms since 1970.
std::string local_time_text(int64_t ms);

// Everything before the last "/" or "\" ("" when there is none).
std::string directory_of(const std::string& path);

// Whole file in text mode; "" when it cannot be read.
std::string read_text_file(const std::string& path);

// Writes the whole text in text mode, truncating the file. Returns 0, or -1
// when the file cannot be opened or a write makes no progress.
int write_text_file(const std::string& path, const std::string& text);
// Writes the whole text to an open stream: 0, or -1 when a write makes no
// progress (a full disk, a broken stream).
int write_all(FILE* f, const std::string& text);
