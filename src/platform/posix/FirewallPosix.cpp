// The firewall layer on Linux: a record of authorised applications in a
// text file, no packet filtering. See Firewall.h.
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "FileSystem.h"
#include "Firewall.h"

namespace {

struct App {
  bool enabled;
  std::string path;
  std::string name;
};

class RecordFirewall : public FirewallBackend {
 public:
  explicit RecordFirewall(const std::string& record_path) : record_path_(record_path) {}

  fw_result com_initialize() override { return kFwOk; }
  void com_uninitialize() override {}
  fw_result create_manager() override { return kFwOk; }
  fw_result get_local_policy() override { return kFwOk; }
  fw_result get_current_profile() override { return kFwOk; }
  void release_manager_and_policy() override {}
  void release_profile() override {}

  fw_result get_authorized_applications() override {
    apps_.clear();
    std::string text;
    ReadResult read = read_whole_file(record_path_, &text);
    if (read == ReadResult::kMissing) return kFwOk;
    if (read != ReadResult::kOk) return kFwAccessDenied;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      start = end + 1;
      size_t tab1 = line.find('\t');
      size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
      if (tab2 == std::string::npos) continue;
      apps_.push_back(App{line.substr(0, tab1) == "1", line.substr(tab1 + 1, tab2 - tab1 - 1),
                          line.substr(tab2 + 1)});
    }
    return kFwOk;
  }
  void release_applications() override { apps_.clear(); }

  bool make_path_text(const std::string& path) override {
    path_ = path;
    return true;
  }
  bool make_name_text(const std::string& name) override {
    name_ = name;
    return true;
  }
  void free_texts() override {}

  fw_result item(bool* found) override {
    found_ = -1;
    for (size_t i = 0; i < apps_.size(); ++i) {
      if (apps_[i].path == path_) found_ = static_cast<int>(i);
    }
    *found = found_ >= 0;
    return kFwOk;
  }
  fw_result get_enabled(bool* enabled) override {
    *enabled = found_ >= 0 && apps_[found_].enabled;
    return kFwOk;
  }
  void release_item() override { found_ = -1; }

  fw_result create_application() override { return kFwOk; }
  fw_result put_process_image_file_name() override { return kFwOk; }
  fw_result put_name() override { return kFwOk; }

  // An entry with the same image path replaces the earlier one, enabled.
  fw_result add() override {
    std::vector<App> apps = others();
    apps.push_back(App{true, path_, name_});
    return save(apps);
  }
  void release_application() override {}

  fw_result remove() override { return save(others()); }

 private:
  // The listed applications but the one of the path text.
  std::vector<App> others() const {
    std::vector<App> apps;
    for (const App& app : apps_) {
      if (app.path != path_) apps.push_back(app);
    }
    return apps;
  }

  // Replaces the record with `apps` (a new file renamed over the old one).
  fw_result save(const std::vector<App>& apps) {
    std::string text;
    for (const App& app : apps) {
      text += (app.enabled ? "1\t" : "0\t") + app.path + "\t" + app.name + "\n";
    }
    make_dir(record_path_.substr(0, record_path_.find_last_of('/')));
    std::string temp = record_path_ + ".tmp";
    FILE* f = fopen(temp.c_str(), "wb");
    if (f == nullptr) return kFwAccessDenied;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    if (fclose(f) != 0 || !ok || rename_file(temp, record_path_) != 0) {
      remove_file(temp);
      return kFwAccessDenied;
    }
    apps_ = apps;
    return kFwOk;
  }

  const std::string record_path_;
  std::vector<App> apps_;
  std::string path_;
  std::string name_;
  int found_ = -1;
};

}  // namespace

FirewallBackend* FirewallBackend::create(const std::string& record_path) {
  return new RecordFirewall(record_path);
}
