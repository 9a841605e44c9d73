#include "ConsoleGroups.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "JsonReader.h"
#include "Log.h"
#include "UserManager.h"

const char* const ConsoleGroups::kLegacyLogin = "ludarium-console-groups";

ConsoleGroups::ConsoleGroups(const std::string& config_dir)
    : table_(config_dir, "groups",
             {{"group_id", JsonFileTable::Kind::kInt32}, {"name", JsonFileTable::Kind::kText}}, 0) {
}

std::vector<ConsoleGroups::Group> ConsoleGroups::rowsAsGroups() {
  std::vector<Group> out;
  for (const JsonFileTable::Row& row : table_.rows()) {
    out.emplace_back(static_cast<int32_t>(std::strtol(row[0].c_str(), nullptr, 10)), row[1]);
  }
  // The table keeps its keys in byte order ("10" before "2").
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<ConsoleGroups::Group> ConsoleGroups::groups() {
  MutexGuard guard(table_.mutex());
  JsonFileTable::ReadOutcome read = table_.read();
  if (!read.damage.empty()) {
    LOG("e", "%s cannot be read (%s); set aside as %s", table_.path().c_str(), read.damage.c_str(),
        read.set_aside.empty() ? "(the rename failed)" : read.set_aside.c_str());
  }
  return rowsAsGroups();
}

std::string ConsoleGroups::json() {
  MutexGuard guard(table_.mutex());
  std::vector<JsonFileTable::Row> rows;
  for (const Group& g : groups()) rows.push_back({std::to_string(g.first), g.second});
  return table_.json(rows);
}

int ConsoleGroups::replace(const std::vector<Group>& groups) {
  MutexGuard guard(table_.mutex());
  table_.read();
  std::vector<JsonFileTable::Row> old = table_.rows();
  for (const JsonFileTable::Row& row : old) table_.erase(row[0]);
  for (const Group& g : groups) table_.put({std::to_string(g.first), g.second});
  if (table_.write() == 0) return 0;
  LOG("e", "cannot write %s: the groups are not changed", table_.path().c_str());
  // The table keeps a change the file did not take: back to what it was.
  for (const JsonFileTable::Row& row : table_.rows()) table_.erase(row[0]);
  for (const JsonFileTable::Row& row : old) table_.put(row);
  return -1;
}

std::vector<ConsoleGroups::Group> ConsoleGroups::parseLines(const std::string& text) {
  std::vector<Group> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    size_t i = 0;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    size_t digits = i + (i < line.size() && line[i] == '-' ? 1 : 0);
    size_t j = digits;
    while (j < line.size() && std::isdigit(static_cast<unsigned char>(line[j]))) ++j;
    if (j == digits || j - digits > 9) continue;
    std::string name = line.substr(j);
    size_t first = name.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    name = name.substr(first, name.find_last_not_of(" \t\r") - first + 1);
    out.emplace_back(static_cast<int32_t>(std::strtol(line.c_str() + i, nullptr, 10)), name);
  }
  return out;
}

void ConsoleGroups::adoptLoginEntry(const std::string& config_dir) {
  UserManager logins(config_dir);
  std::string text;
  bool found = false;
  try {
    JsonDocument doc;
    parse_json(logins.getUsers(), &doc);
    if (doc.IsArray()) {
      for (const JsonValue& entry : doc.GetArray()) {
        if (json_as_text(json_at(entry, "loginnm")) == kLegacyLogin) {
          text = json_as_text(json_at(entry, "data"));
          found = true;
        }
      }
    }
  } catch (const std::exception& e) {
    LOG("w", "login-user store: %s", exception_text(e).c_str());
    return;
  }
  if (!found) return;
  MutexGuard guard(table_.mutex());
  std::vector<Group> merged = groups();
  for (const Group& g : parseLines(text)) {
    bool named = std::any_of(merged.begin(), merged.end(),
                             [&g](const Group& have) { return have.first == g.first; });
    if (!named) merged.push_back(g);
  }
  if (replace(merged) != 0) return;  // the login stays for the next start
  logins.delUser(kLegacyLogin);
  LOG("d", "the console's groups moved from the login %s to %s", kLegacyLogin,
      table_.path().c_str());
}
