#include "APIConsoleGroups.h"

#include <set>
#include <stdexcept>

#include "InfoParser.h"
#include "Log.h"
#include "UriMatch.h"

APIConsoleGroups::APIConsoleGroups(ConsoleGroups& groups) : groups_(groups) {}

int APIConsoleGroups::onHandleEvent(HttpRequest& request) {
  std::string uri = request.uri();
  if (uri_is(uri, "/getConsoleGroups")) {
    replyOk(request, "groups", groups_.json());
  } else if (uri_is(uri, "/setConsoleGroups")) {
    setGroups(request);
  } else {
    return BaseHttpAPI::onHandleEvent(request);
  }
  return 1;
}

void APIConsoleGroups::setGroups(HttpRequest& request) {
  std::vector<ConsoleGroups::Group> groups;
  std::string error = parse_info(
      request,
      [&groups](const JsonDocument& doc) {
        const JsonValue& list = json_at(doc, "groups");
        if (!list.IsArray()) throw std::invalid_argument("\"groups\" is not an array");
        std::set<int64_t> seen;
        for (const JsonValue& g : list.GetArray()) {
          const JsonValue& id = json_at(g, "group_id");
          if (!id.IsInt()) throw std::invalid_argument("a group id is not a 32-bit integer");
          std::string name = json_as_text(json_at(g, "name"));
          if (name.empty()) continue;  // an unnamed group needs no entry
          if (!seen.insert(id.GetInt()).second) throw std::invalid_argument("a group id twice");
          groups.emplace_back(id.GetInt(), name);
        }
      },
      kInfoLimit);
  if (!error.empty()) {
    replyFailLogged(request, error, HANDLER_SITE);
    return;
  }
  if (groups_.replace(groups) != 0) {
    replyFail(request, "the groups could not be saved");
    return;
  }
  LOG("d", "%d named groups", static_cast<int>(groups.size()));
  replyOk(request);
}
