#include "APIScreenCap.h"

#include <algorithm>
#include <cstdio>

#include "Base64.h"
#include "CaptureEx.h"
#include "FileSystem.h"
#include "InfoParser.h"
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

// The corners of "rect" {x, y, w, h}; false when it or one of its members
// is missing or unreadable.
bool read_rect(const JsonDocument& doc, int64_t corners[4]) {
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
    corners[0] = x, corners[1] = y, corners[2] = x + w, corners[3] = y + h;
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace


int APIScreenCap::onHandleEvent(HttpRequest& request) {
  bool cap_wnd = false;
  std::string fmt;
  bool has_rect = false;
  int64_t corners[4] = {0, 0, 0, 0};
  std::string failure = parse_info(
      request,
      [&](const JsonDocument& doc) {
        cap_wnd = read_cap_wnd(doc);
        fmt = read_fmt(doc);
        has_rect = read_rect(doc, corners);
      },
      kShortInfoBuffer);
  if (failure == kNoInfo) {
    replyFail(request, failure);  // answered without a warning
    return 1;
  }
  if (!failure.empty()) {
    replyFailLogged(request, failure, HANDLER_SITE);
    return 1;
  }
  const std::string bmp_path = path_join(temp_dir(), "cap.bmp");
  const std::string png_path = path_join(temp_dir(), "cap.png");
  const CaptureSource source = cap_wnd ? CaptureSource::kForegroundWindow : CaptureSource::kScreen;

  CaptureEx capture;
  std::string error;
  const int result =
      has_rect ? capture.captureRect(source, corners[0], corners[1], corners[2], corners[3], &error)
               : capture.captureFull(source, &error);
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
