#include "BaseHttpAPI.h"

#include <cstring>

#include <civetweb.h>

#include "JsonReader.h"
#include "JsonWriter.h"
#include "Log.h"

const char* const BaseHttpAPI::kNoSuchApi = "{\"status\": 0, \"msg\":\"no such api\"}";

int BaseHttpAPI::onHandleEvent(HttpRequest& request) {
  replyRaw(request, kNoSuchApi);
  return 1;
}

int BaseHttpAPI::formVar(const std::string& data, const char* name, char* buf, size_t size) {
  return mg_get_var(data.data(), data.size(), name, buf, size);
}

int BaseHttpAPI::getInfo(HttpRequest& request, char* buf, size_t size) {
  return getParam(request, "info", buf, size);
}

int BaseHttpAPI::getParam(HttpRequest& request, const char* name, char* buf, size_t size) {
  memset(buf, 0, size);
  if (request.has_query()) return formVar(request.query_string(), name, buf, size);
  const std::string& body = request.body();
  if (body.empty()) return -1;
  return formVar(body, name, buf, size);
}

int BaseHttpAPI::getShortParam(HttpRequest& request, const char* name, char* buf, size_t size) {
  int n = getParam(request, name, buf, size);
  return n > kMaxParamLength ? -1 : n;
}

bool BaseHttpAPI::getShortParams(HttpRequest& request, const char* first, std::string* first_value,
                                 const char* second, std::string* second_value) {
  char buf[kMaxParamLength + 2];
  if (getShortParam(request, first, buf, sizeof(buf)) < 1) return false;
  *first_value = buf;
  if (getShortParam(request, second, buf, sizeof(buf)) < 1) return false;
  *second_value = buf;
  return true;
}

void BaseHttpAPI::replyRaw(HttpRequest& request, const std::string& body) {
  request.write(
      "HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\n"
      "Content-Type: text/plain;charset=utf-8\r\nContent-Length: " +
      std::to_string(body.size()) + "\r\n\r\n" + body);
}

void BaseHttpAPI::replyOk(HttpRequest& request) {
  JsonWriter w;
  w.begin_object().member("status", 1).member("msg", "ok").end_object();
  replyRaw(request, w.str());
}

void BaseHttpAPI::replyOk(HttpRequest& request, const std::string& name, const std::string& json) {
  JsonWriter w;
  w.begin_object().member("status", 1).member("msg", "ok").key(name).raw(json).end_object();
  replyRaw(request, w.str());
}

void BaseHttpAPI::replyFail(HttpRequest& request, const std::string& text) {
  JsonWriter w;
  w.begin_object().member("status", 0).member("msg", text).end_object();
  replyRaw(request, w.str());
}

void BaseHttpAPI::replyFailLogged(HttpRequest& request, const std::string& text, const Site& site) {
  log_format("w", site.file, site.line, site.function, "%s", text.c_str());
  replyFail(request, text);
}

void BaseHttpAPI::replyRecordset(HttpRequest& request, const std::string& error,
                                 const std::string& recordset, const Site& site) {
  if (error.empty()) {
    replyOk(request, "recordset", recordset);
  } else {
    replyFailLogged(request, error, site);
  }
}

std::string BaseHttpAPI::exceptionText(const std::exception& e, const char* context) {
  return "exception: " + exception_text(e) + context;
}

void BaseHttpAPI::replyException(HttpRequest& request, const std::exception& e, const char* context,
                                 const Site& site) {
  replyFailLogged(request, exceptionText(e, context), site);
}
