#include "InfoParser.h"

#include <vector>

#include "BaseHttpAPI.h"

const char* const kNoInfo = "no info";

bool take_info(HttpRequest& request, size_t buffer, std::string* info) {
  std::vector<char> buf(buffer + 1, '\0');
  if (BaseHttpAPI::getInfo(request, buf.data(), buffer) < 1) return false;
  // A decoded "%00" ends the text, as it always has for these handlers.
  *info = buf.data();
  return true;
}

std::string parse_info_text(const std::string& info,
                            const std::function<void(const JsonDocument&)>& read) {
  try {
    JsonDocument doc;
    parse_json(info, &doc);
    read(doc);
  } catch (const std::exception& e) {
    return BaseHttpAPI::exceptionText(e, " parse info error");
  }
  return std::string();
}

std::string parse_info(HttpRequest& request, const std::function<void(const JsonDocument&)>& read,
                       size_t buffer) {
  std::string info;
  if (!take_info(request, buffer, &info)) return kNoInfo;
  return parse_info_text(info, read);
}
