// The registry Run key. See Autostart.h.
#include <windows.h>

#include "Autostart.h"
#include "CommandLine.h"

namespace {
const char* const kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
}  // namespace

int autostart_register(const std::string& name, const std::string& program) {
  // Quoted, or Windows would split a path with a blank at logon.
  const std::string command = program_command_line(program);
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_WRITE, &key) != ERROR_SUCCESS) return -1;
  std::string present = "Default";
  HKEY key64 = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &key64) ==
      ERROR_SUCCESS) {
    char value[1024];
    DWORD type = 0;
    DWORD size = sizeof(value) - 1;
    if (RegQueryValueExA(key64, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
      value[size] = 0;
      present = value;
    }
    RegCloseKey(key64);
  }
  int result = 0;
  if (present != command) {
    result =
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS
            ? 1
            : -1;
  }
  RegCloseKey(key);
  return result;
}

int autostart_unregister(const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_WRITE, &key) != ERROR_SUCCESS) return -1;
  LONG r = RegDeleteValueA(key, name.c_str());
  RegCloseKey(key);
  return r == ERROR_SUCCESS ? 0 : -1;
}
