// Writes one log entry: console (coloured by level), the day's verbose file
// and its error or debug file, after sweeping dated files older than 30 days
// out of the log directory. Runs on the log thread only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

class STLLogFile;

// The time of one entry, and its text as the console and the files show it
// ("YYYY-MM-DD HH:MM:SS.mmm"), worked out once for all three.
struct LogStamp {
  explicit LogStamp(int64_t now_ms);
  int64_t ms;
  std::string text;
};

class LogWriter {
 public:
  // `log_dir` is created on first use; `console` may be null (no console).
  LogWriter(const std::string& log_dir, FILE* console);
  ~LogWriter();

  // The console line, then the files (after the sweep), then the files are
  // closed: one entry whole.
  void write(const std::string& level, const std::string& line, int64_t now_ms);
  // The two halves of write. The log thread prints a whole batch on the
  // console before it writes the batch's files, so that the console
  // shows a burst at once instead of a line per few file operations, and
  // flushes the console once after the batch.
  void writeConsole(const std::string& level, const std::string& line, const LogStamp& stamp);
  void flushConsole();
  // The files stay open after writeFiles (each line is flushed as it is
  // written) until closeFiles: the log thread closes them after each
  // batch, so a busy server does not open and close two files per line,
  // and a file removed by hand is made again with the next batch.
  void writeFiles(const std::string& level, const std::string& line, const LogStamp& stamp);
  void writeFiles(const std::string& level, const std::string& line, int64_t now_ms) {
    writeFiles(level, line, LogStamp(now_ms));
  }
  void closeFiles();

  const std::string& log_dir() const { return log_dir_; }

 private:
  STLLogFile& file(const std::string& name);

  std::string log_dir_;
  FILE* console_;
  // The date text of the last sweep: the directory is swept with the first
  // entry of each day (and the first of this writer), not with every
  // entry, since nothing that the sweep decides changes within a day.
  std::string swept_date_;
  std::map<std::string, std::unique_ptr<STLLogFile>> open_files_;
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
