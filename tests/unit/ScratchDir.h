// A fresh directory under the temporary directory for one test, removed
// with its content afterwards.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>

#include "Clock.h"
#include "FileSystem.h"

class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix) {
    static std::atomic<int> counter{0};
    dir_ = path_join(temp_dir(),
                     prefix + "-" + std::to_string(wall_ms()) + "-" + std::to_string(counter++));
    make_dir(dir_);
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  const std::string& dir() const { return dir_; }
  std::string file(const std::string& name) const { return path_join(dir_, name); }

 private:
  std::string dir_;
};
