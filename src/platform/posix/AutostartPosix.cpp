// XDG autostart entries. See Autostart.h.
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "Autostart.h"
#include "FileSystem.h"

namespace {

std::string system_dir() {
  const char* dirs = getenv("XDG_CONFIG_DIRS");
  std::string first = (dirs != nullptr && *dirs != '\0') ? dirs : "/etc/xdg";
  first = first.substr(0, first.find(':'));
  return first + "/autostart";
}

std::string user_dir() {
  const char* config = getenv("XDG_CONFIG_HOME");
  if (config != nullptr && *config != '\0') return std::string(config) + "/autostart";
  const char* home = getenv("HOME");
  if (home == nullptr || *home == '\0') return std::string();
  return std::string(home) + "/.config/autostart";
}

std::string file_name(const std::string& name) {
  std::string lower;
  for (char c : name) lower += static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return lower + ".desktop";
}

// Exec keys quote arguments with double quotes; inside them \, ", ` and $
// are escaped with a backslash (and the backslash doubled once more by the
// string escaping of the file format).
std::string exec_quote(const std::string& command) {
  std::string out = "\"";
  for (char c : command) {
    if (c == '"' || c == '`' || c == '$') out += "\\\\";
    if (c == '\\') out += "\\\\\\";
    out += c;
  }
  return out + "\"";
}

std::string entry_text(const std::string& name, const std::string& command) {
  return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec_quote(command) +
         "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
}

// The folder (created when its parent exists) accepts new files.
bool writable_dir(const std::string& dir) {
  make_dir(dir);
  return access(dir.c_str(), W_OK) == 0;
}

int write_all(const std::string& path, const std::string& text) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) return -1;
  bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
  return (fclose(f) == 0 && ok) ? 0 : -1;
}

}  // namespace

int autostart_register(const std::string& name, const std::string& command) {
  std::string dir = system_dir();
  if (!writable_dir(dir)) {
    dir = user_dir();
    if (dir.empty()) return -1;
    make_dir(dir.substr(0, dir.rfind('/')));
    if (!writable_dir(dir)) return -1;
  }
  std::string path = dir + "/" + file_name(name);
  std::string wanted = entry_text(name, command);
  std::string present;
  read_whole_file(path, &present);
  if (present == wanted) return 0;
  // Written beside and renamed, so a reader never sees half an entry.
  std::string temp = path + ".tmp";
  if (write_all(temp, wanted) != 0) return -1;
  if (rename_file(temp, path) != 0) {
    remove_file(temp);
    return -1;
  }
  return 1;
}

int autostart_unregister(const std::string& name) {
  int removed = -1;
  for (const std::string& dir : {system_dir(), user_dir()}) {
    if (!dir.empty() && remove_file(dir + "/" + file_name(name)) == 0) removed = 0;
  }
  return removed;
}
