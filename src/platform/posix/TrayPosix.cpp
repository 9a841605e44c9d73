// The headless tray of Linux: the menu served on a Unix control socket
// beside the executable. See Tray.h.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "FileSystem.h"
#include "Tray.h"

namespace {

const int kIoTimeoutSeconds = 5;

std::string socket_path() { return path_join(module_dir(), "ludguard.ctl"); }

bool make_address(const std::string& path, sockaddr_un* addr) {
  memset(addr, 0, sizeof(*addr));
  addr->sun_family = AF_UNIX;
  if (path.size() >= sizeof(addr->sun_path)) return false;
  memcpy(addr->sun_path, path.c_str(), path.size() + 1);
  return true;
}

void set_timeouts(int fd) {
  timeval tv = {kIoTimeoutSeconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
}

// One line without its line feed; "" on time-out or end of stream.
std::string read_line(int fd) {
  std::string line;
  char c;
  while (line.size() < 256) {
    ssize_t n = recv(fd, &c, 1, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    line += c;
  }
  return line;
}

void write_all(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

class ControlSocketTray : public Tray {
 public:
  ControlSocketTray(TrayHandler* handler, int fd, const std::string& path)
      : handler_(handler), fd_(fd), path_(path) {}
  ~ControlSocketTray() override {
    close(fd_);
    unlink(path_.c_str());
  }

  int run() override {
    handler_->onInit();
    for (;;) {
      int client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        return 1;
      }
      set_timeouts(client);
      std::string command = read_line(client);
      bool exiting = false;
      std::string reply = answer(command, &exiting);
      write_all(client, reply + "\n");
      close(client);
      if (exiting) return 0;
    }
  }

  void setIcon(int) override {}
  bool visible() const override { return false; }

 private:
  std::string answer(const std::string& command, bool* exiting) {
    if (command == "status") return "ok " + handler_->status();
    int id = command == "start"  ? kMenuStart
             : command == "stop" ? kMenuStop
             : command == "exit" ? kMenuExit
                                 : 0;
    if (id == 0) return "unknown command: " + command;
    if (!handler_->menuEnabled(id)) return "refused: " + command + " is not enabled now";
    handler_->onCommand(id);
    *exiting = id == kMenuExit;
    return "ok " + command;
  }

  TrayHandler* const handler_;
  const int fd_;
  const std::string path_;
};

}  // namespace

Tray* Tray::create(TrayHandler* handler, const std::string&) {
  std::string path = socket_path();
  sockaddr_un addr;
  if (!make_address(path, &addr)) return nullptr;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  // A socket file left by an instance that was killed; the single-instance
  // lock is ours, so nobody else serves it.
  unlink(path.c_str());
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd, 8) != 0) {
    close(fd);
    return nullptr;
  }
  return new ControlSocketTray(handler, fd, path);
}

int tray_remote_command(const std::string& command, std::string* reply) {
  reply->clear();
  sockaddr_un addr;
  if (!make_address(socket_path(), &addr)) return 1;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 1;
  set_timeouts(fd);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    close(fd);
    *reply = "no running ludguard answers on " + socket_path();
    return 1;
  }
  write_all(fd, command + "\n");
  std::string line = read_line(fd);
  close(fd);
  if (line.compare(0, 3, "ok ") == 0) {
    *reply = line.substr(3);
    return 0;
  }
  *reply = line.empty() ? "no reply" : line;
  return line.compare(0, 8, "refused:") == 0 ? 2 : 1;
}

void show_message(const std::string& text) { fprintf(stderr, "%s\n", text.c_str()); }

void attach_test_console() {}
