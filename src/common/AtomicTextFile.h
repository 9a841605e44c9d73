// Replacing a small text file so that readers, and a crash at any moment,
// see either the old content or the new one, never a truncated mix.
#pragma once

#include <string>

// Writes the text in text mode to path + ".tmp", then renames it over path.
// Returns 0, or -1 when the temporary file could not be written (it is then
// removed and path keeps its old content) or the rename failed.
int write_text_file_atomic(const std::string& path, const std::string& text);
