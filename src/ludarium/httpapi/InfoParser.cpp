#include "InfoParser.h"

#include "BaseHttpAPI.h"

std::string parse_info(HttpRequest& request, const std::function<void(const JsonDocument&)>& read) {
  char buf[1024];
  if (BaseHttpAPI::getInfo(request, buf, sizeof(buf)) < 1) return "no info";
  try {
    JsonDocument doc;
    parse_json(buf, &doc);
    read(doc);
  } catch (const std::exception& e) {
    return "exception: " + exception_text(e) + " parse info error";
  }
  return std::string();
}
