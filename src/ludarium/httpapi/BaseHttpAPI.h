// Base of every handler of the local HTTP API. One object per handler class
// lives for the whole process and serves requests on all worker threads at
// once, so handlers keep no request state.
#pragma once

#include <cstddef>
#include <exception>
#include <string>

#include "HttpRequest.h"

class BaseHttpAPI {
 public:
  virtual ~BaseHttpAPI() {}

  // Handles one request; returns 1 when it wrote the response. The base
  // answers the fixed "no such api" reply.
  virtual int onHandleEvent(HttpRequest& request);

  // The fixed reply to refused requests, written as it stands.
  static const char* const kNoSuchApi;

  // The parameter `info`: from the query string when there is one, else from
  // the body; URL-decoded into buf (size bytes, zero-filled first). Returns
  // its length, or a value below 1 for "no info" (absent, empty, too long).
  static int getInfo(HttpRequest& request, char* buf, size_t size);
  // Any other parameter by the same rule, under its own name.
  static int getParam(HttpRequest& request, const char* name, char* buf, size_t size);
  // Longest parameter the capture and operation-command handlers take
  // (their 1,024-byte buffers less the terminator and one byte more).
  static const int kMaxParamLength = 1022;
  // getParam, where a value longer than kMaxParamLength also counts as
  // missing. buf must hold kMaxParamLength + 2 bytes.
  static int getShortParam(HttpRequest& request, const char* name, char* buf, size_t size);
  // Two parameters by getShortParam's rule, each up to its first zero byte.
  // False when either is missing (the second is not looked for then).
  static bool getShortParams(HttpRequest& request, const char* first, std::string* first_value,
                             const char* second, std::string* second_value);

  // Form-variable lookup in a query string or form body: the first
  // "name=value" pair (name matched without regard to case) at the start or
  // after "&", URL-decoded into buf. Returns the value's length, -1 when
  // absent, -2 when it does not fit.
  static int formVar(const std::string& data, const char* name, char* buf, size_t size);

  // The one response format: status 200 whatever the envelope says.
  static void replyRaw(HttpRequest& request, const std::string& body);
  // {"status":1,"msg":"ok"}
  static void replyOk(HttpRequest& request);
  // {"status":1,"msg":"ok","<name>":<json>}
  static void replyOk(HttpRequest& request, const std::string& name, const std::string& json);
  // {"status":0,"msg":"<text>"}
  static void replyFail(HttpRequest& request, const std::string& text);

  // Where a handler answers a failure from: the source file, line and
  // function its warning is logged under. HANDLER_SITE gives the caller's,
  // so a failure answered through the base logs as the handler's own line.
  struct Site {
    const char* file;
    int line;
    const char* function;
  };
  // Logs text as a warning under the handler's site, then answers it as a
  // failure.
  static void replyFailLogged(HttpRequest& request, const std::string& text, const Site& site);
  // The recordset when error is "" (parse_info's outcome), else the error
  // as replyFailLogged answers it.
  static void replyRecordset(HttpRequest& request, const std::string& error,
                             const std::string& recordset, const Site& site);
  // "exception: <type><message><context>", the one text a caught exception
  // is answered with; context is "" or begins with a blank.
  static std::string exceptionText(const std::exception& e, const char* context);
  // That text, logged and answered as replyFailLogged does.
  static void replyException(HttpRequest& request, const std::exception& e, const char* context,
                             const Site& site);
};

#define HANDLER_SITE \
  BaseHttpAPI::Site { __FILE__, __LINE__, __PRETTY_FUNCTION__ }
