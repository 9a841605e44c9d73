// Writes one log entry: console (coloured by level), the day's verbose file
// and its error or debug file, after sweeping dated files older than 30 days
// out of the log directory. Runs on the log thread only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class LogWriter {
 public:
  // `log_dir` is created on first use; `console` may be null (no console).
  LogWriter(const std::string& log_dir, FILE* console);

  // The console line, then the files (after the sweep): one entry whole.
  void write(const std::string& level, const std::string& line, int64_t now_ms);
  // The two halves of write. The log thread prints a whole batch on the
  // console before it writes the batch's files, so that the console
  // shows a burst at once instead of a line per few file operations.
  void writeConsole(const std::string& level, const std::string& line, int64_t now_ms);
  void writeFiles(const std::string& level, const std::string& line, int64_t now_ms);

  const std::string& log_dir() const { return log_dir_; }

 private:
  std::string log_dir_;
  FILE* console_;
};

// Console attribute for a level: 4 red for "e"/"x", 6 yellow for "w", else 2.
int log_color_for_level(const std::string& level);
bool log_is_error_level(const std::string& level);

// "YYYY-MM-DD " of the local date of now_ms (with the trailing blank).
std::string log_date_text(int64_t now_ms);

// Deletes our daily files in `dir` ("YYYY-MM-DD verbose.log", "… error.log",
// "… debug.log", plain files with a date that exists) dated more than 30
// days (2,592,000 s, local midnight to local midnight) before the given
// date. Every other name, link and subdirectory is left alone.
void sweep_log_dir(const std::string& dir, int year, int month, int day);
