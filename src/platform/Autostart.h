// Starting a program at logon.
//
// Windows: the value `name`, the program's path in double quotes
// (program_command_line), under the key
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run, written through a key opened
// for writing in the program's default registry view, after comparing with the value read in the
// 64-bit view ("Default" when absent). Without the rights to open the key for
// writing nothing happens.
// Linux: an XDG autostart entry "<lower-case name>.desktop" whose Exec line
// is the program's path, quoted as Exec keys quote; in the first folder of $XDG_CONFIG_DIRS (default /etc/xdg)
// + "/autostart" when that folder can be written, else in
// $XDG_CONFIG_HOME (default ~/.config) + "/autostart".
#pragma once

#include <string>

// Registers `program` (the full path of the executable) under `name`,
// writing only when the stored entry differs. Returns 1 when it wrote,
// 0 when the entry was already equal, -1 when nothing could be written.
int autostart_register(const std::string& name, const std::string& program);

// Removes the entry that autostart_register wrote; 0, or -1 when there was
// none or it could not be removed.
int autostart_unregister(const std::string& name);
