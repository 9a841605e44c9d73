#include "OriginList.h"

#include <algorithm>

#include "AtomicTextFile.h"
#include "Clock.h"
#include "FileSystem.h"
#include "Log.h"
#include "WebOrigin.h"

namespace {

const int64_t kRereadMs = 1000;

std::string trimmed(const std::string& line) {
  size_t b = line.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = line.find_last_not_of(" \t\r");
  return line.substr(b, e - b + 1);
}

// The canonical origin a line lists, "" for a comment, a blank or a line
// that names no origin.
std::string line_origin(const std::string& line) {
  std::string text = trimmed(line);
  if (text.empty() || text[0] == '#') return "";
  return canonical_origin(text);
}

}  // namespace

OriginList::OriginList(const std::string& config_dir)
    : dir_(config_dir), path_(path_join(config_dir, "origins")) {
  MutexGuard guard(&lock_);
  refresh(true);
}

void OriginList::refresh(bool force) {
  int64_t now = elapsed_ms();
  if (!force && read_once_ && now - read_at_ms_ < kRereadMs) return;
  read_at_ms_ = now;
  read_once_ = true;
  std::string text;
  ReadResult result = read_whole_file(path_, &text, FileRead::kText);
  if (result == ReadResult::kFailed) return;  // keep what was read before
  lines_.clear();
  origins_.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines_.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  for (const std::string& line : lines_) {
    std::string origin = line_origin(line);
    if (!origin.empty() && std::find(origins_.begin(), origins_.end(), origin) == origins_.end()) {
      origins_.push_back(origin);
    }
  }
}

bool OriginList::contains(const std::string& canonical) {
  MutexGuard guard(&lock_);
  refresh(false);
  return std::find(origins_.begin(), origins_.end(), canonical) != origins_.end();
}

std::vector<std::string> OriginList::origins() {
  MutexGuard guard(&lock_);
  refresh(false);
  return origins_;
}

int OriginList::add(const std::string& canonical) {
  MutexGuard guard(&lock_);
  refresh(true);
  if (std::find(origins_.begin(), origins_.end(), canonical) != origins_.end()) return 0;
  if (origins_.size() >= kMaxOrigins) return -2;
  std::vector<std::string> lines = lines_;
  lines.push_back(canonical);
  return store(lines);
}

int OriginList::remove(const std::string& canonical) {
  MutexGuard guard(&lock_);
  refresh(true);
  std::vector<std::string> lines;
  for (const std::string& line : lines_) {
    if (line_origin(line) != canonical) lines.push_back(line);
  }
  if (lines.size() == lines_.size()) return 0;
  return store(lines);
}

int OriginList::store(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  make_dir(dir_);  // the first entry may come before the folder exists
  if (write_text_file_atomic(path_, text) != 0) {
    LOG("e", "cannot write %s", path_.c_str());
    return -1;
  }
  refresh(true);
  return 0;
}
