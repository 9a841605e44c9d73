// Replacing a small text file so that readers, and a crash or a power cut at
// any moment, see either the old content or the new one, never a truncated
// mix or an empty file.
#pragma once

#include <string>

// Writes the text in text mode to a temporary file beside path, flushes it
// to the disk, renames it over path and flushes the directory. The
// temporary name is unique per process and per call
// (path + ".tmp." + process id + "." + counter), so two processes, or two
// threads, replacing the same file never write into each other's
// temporary file. Returns 0, or -1 when any step failed: the temporary
// file is then removed and path keeps its old content.
int write_text_file_atomic(const std::string& path, const std::string& text);

// Removes the temporary files that a crash in the middle of
// write_text_file_atomic left in dir (NAME.tmp.PID.N, plain files only).
// Only for a caller that knows that no other process writes in dir now.
// Returns how many were removed.
int remove_atomic_leftovers(const std::string& dir);
