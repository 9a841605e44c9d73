#include "LogWriter.h"

#include <cstdlib>
#include <vector>

#include "Clock.h"
#include "Console.h"
#include "FileSystem.h"
#include "STLLogFile.h"
#include "Util.h"

namespace {

const int64_t kRetentionSeconds = 2592000;  // 30 days

bool leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && leap_year(year) ? 29 : kDays[month - 1];
}

// Reads the name of one of our daily files, "YYYY-MM-DD " followed by
// "verbose.log", "error.log" or "debug.log", with a date that exists; false
// for every other name.
bool parse_daily_log_name(const std::string& name, int* year, int* month, int* day) {
  if (name.size() < 11) return false;
  const std::string kind = name.substr(11);
  if (kind != "verbose.log" && kind != "error.log" && kind != "debug.log") return false;
  for (int i = 0; i < 10; ++i) {
    bool dash = (i == 4 || i == 7);
    char c = name[static_cast<size_t>(i)];
    if (dash ? c != '-' : (c < '0' || c > '9')) return false;
  }
  if (name[10] != ' ') return false;
  *year = atoi(name.substr(0, 4).c_str());
  *month = atoi(name.substr(5, 2).c_str());
  *day = atoi(name.substr(8, 2).c_str());
  return *year >= 1970 && *month >= 1 && *month <= 12 && *day >= 1 &&
         *day <= days_in_month(*year, *month);
}

}  // namespace

int log_color_for_level(const std::string& level) {
  if (log_is_error_level(level)) return 4;
  return level == "w" ? 6 : 2;
}

bool log_is_error_level(const std::string& level) { return level == "e" || level == "x"; }

std::string log_date_text(int64_t now_ms) {
  struct tm t;
  local_tm(now_ms, &t);
  char buf[16];
  strftime(buf, sizeof(buf), "%Y-%m-%d ", &t);
  return buf;
}

void sweep_log_dir(const std::string& dir, int year, int month, int day) {
  int64_t today = local_midnight(year, month, day);
  if (today < 0) return;
  std::vector<DirEntry> entries;
  if (!list_dir(dir, &entries)) return;
  for (const DirEntry& e : entries) {
    int y, m, d;
    // Our own daily files only: nothing else that happens to lie in log/
    // (a document, a link, a folder) is ours to delete.
    if (!e.is_file || !parse_daily_log_name(e.name, &y, &m, &d)) continue;
    int64_t dated = local_midnight(y, m, d);
    if (dated >= 0 && today - dated > kRetentionSeconds) remove_file(path_join(dir, e.name));
  }
}

LogStamp::LogStamp(int64_t now_ms) : ms(now_ms), text(local_time_text(now_ms)) {}

LogWriter::LogWriter(const std::string& log_dir, FILE* console)
    : log_dir_(log_dir), console_(console) {}

LogWriter::~LogWriter() = default;

void LogWriter::write(const std::string& level, const std::string& line, int64_t now_ms) {
  LogStamp stamp(now_ms);
  writeConsole(level, line, stamp);
  flushConsole();
  writeFiles(level, line, stamp);
  closeFiles();
}

void LogWriter::writeConsole(const std::string& level, const std::string& line,
                             const LogStamp& stamp) {
  if (console_ == nullptr) return;
  // On Windows setting a colour flushes what came before it, so each line
  // still reaches the console in its own colour.
  console_set_color(log_color_for_level(level));
  fputc(' ', console_);
  fwrite(stamp.text.data(), 1, stamp.text.size(), console_);
  fputs("  ", console_);
  fwrite(line.data(), 1, line.size(), console_);
  fputc('\n', console_);
  console_set_color(7);
}

void LogWriter::flushConsole() {
  if (console_ != nullptr) fflush(console_);
}

void LogWriter::writeFiles(const std::string& level, const std::string& line,
                           const LogStamp& stamp) {
  // The stamp begins with the date text, blank included: "YYYY-MM-DD ".
  std::string date = stamp.text.substr(0, 11);
  if (date != swept_date_) {
    // A new day: yesterday's files are not written again.
    closeFiles();
    struct tm t;
    local_tm(stamp.ms, &t);
    sweep_log_dir(log_dir_, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    swept_date_ = date;
  }
  file(date + (log_is_error_level(level) ? "error.log" : "debug.log")).writeStamped(stamp.text, line.data(), line.size());
  file(date + "verbose.log").writeStamped(stamp.text, line.data(), line.size());
}

void LogWriter::closeFiles() { open_files_.clear(); }

STLLogFile& LogWriter::file(const std::string& name) {
  std::unique_ptr<STLLogFile>& f = open_files_[name];
  if (!f) f.reset(new STLLogFile(path_join(log_dir_, name)));
  return *f;
}
