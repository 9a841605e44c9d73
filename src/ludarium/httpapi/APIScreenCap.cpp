#include "APIScreenCap.h"

#include <algorithm>
#include <cstdio>

#include "Base64.h"
#include "CaptureEx.h"
#include "FileSystem.h"
#include "JsonReader.h"
#include "JsonWriter.h"
#include "Log.h"

namespace {

// "cap_wnd": a boolean, or a number (non-zero is true); anything else
// leaves the default.
bool read_cap_wnd(const JsonDocument& doc) {
  if (!doc.IsObject() || !doc.HasMember("cap_wnd")) return false;
  const JsonValue& v = json_at(doc, "cap_wnd");
  if (v.IsBool()) return v.GetBool();
  if (v.IsNumber()) return v.GetDouble() != 0;
  return false;
}

std::string read_fmt(const JsonDocument& doc) {
  if (!doc.IsObject() || !doc.HasMember("fmt")) return "json";
  const JsonValue& v = json_at(doc, "fmt");
  if (v.IsObject() || v.IsArray()) return "json";
  return json_as_text(v);
}

}  // namespace

APIScreenCap::APIScreenCap() { mutex_init(&files_lock_); }

APIScreenCap::~APIScreenCap() { mutex_destroy(&files_lock_); }

int APIScreenCap::onHandleEvent(HttpRequest& request) {
  char info[1024];
  if (getShortParam(request, "info", info, sizeof(info)) < 1) {
    replyFail(request, "no info");
    return 1;
  }
  const std::string bmp_path = path_join(temp_dir(), "cap.bmp");
  const std::string png_path = path_join(temp_dir(), "cap.png");
  JsonDocument doc;
  try {
    parse_json(info, &doc);
  } catch (const std::exception& e) {
    std::string text = "exception: " + exception_text(e) + " parse info error";
    LOG("w", "%s", text.c_str());
    replyFail(request, text);
    return 1;
  }
  const bool cap_wnd = read_cap_wnd(doc);
  const std::string fmt = read_fmt(doc);
  const CaptureSource source = cap_wnd ? CaptureSource::kForegroundWindow : CaptureSource::kScreen;

  CaptureEx capture;
  std::string error;
  int result;
  try {
    const JsonValue& rect = json_at(doc, "rect");
    int64_t x = json_as_int(json_at(rect, "x"));
    int64_t y = json_as_int(json_at(rect, "y"));
    int64_t w = json_as_int(json_at(rect, "w"));
    int64_t h = json_as_int(json_at(rect, "h"));
    // Far beyond any screen: clamped, so the sums below cannot overflow.
    const int64_t limit = int64_t(1) << 40;
    auto clamp = [limit](int64_t v) { return std::max(-limit, std::min(limit, v)); };
    x = clamp(x), y = clamp(y), w = clamp(w), h = clamp(h);
    result = capture.captureRect(source, x, y, x + w, y + h, &error);
  } catch (const std::exception&) {
    result = capture.captureFull(source, &error);
  }
  if (result != 0) {
    LOG("w", "capture failed: %s", error.c_str());
    replyFail(request, error);
    return 1;
  }

  std::string png;
  {
    MutexGuard guard(&files_lock_);
    if (capture.saveBmp(bmp_path) != 0) LOG("w", "cannot write %s", bmp_path.c_str());
    // A stale cap.png from an earlier capture must not be answered for
    // this one.
    remove_file(png_path);
    if (capture.savePng(png_path) != 0) LOG("w", "cannot write %s", png_path.c_str());
    read_whole_file(png_path, &png);
  }

  if (fmt == "json" || fmt == "string") {
    std::string url = "data:image/png;base64," + base64_encode(png);
    if (fmt == "json") {
      replyOk(request, "img", json_quote(url));
    } else {
      replyRaw(request, url);
    }
  } else {
    request.write(
        "HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\nContent-Type: image/png;\r\n"
        "Content-Length: " +
        std::to_string(png.size()) + "\r\n\r\n" + png);
  }
  return 1;
}
