#include "CaptureEx.h"

#include <algorithm>
#include <cstdio>

#include "FileSystem.h"

namespace {

void put16(std::string* out, uint16_t v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>(v >> 8));
}

void put32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// Coordinates far outside any screen are cut to this, which keeps the sums
// below from overflowing; regions that large are refused anyway.
const int64_t kCoordinateLimit = int64_t(1) << 40;

int64_t clamp_coordinate(int64_t v) {
  return std::max(-kCoordinateLimit, std::min(kCoordinateLimit, v));
}

}  // namespace

std::string CaptureEx::region(int64_t x1, int64_t y1, int64_t x2, int64_t y2, Region* out) {
  x1 = clamp_coordinate(x1);
  y1 = clamp_coordinate(y1);
  x2 = clamp_coordinate(x2);
  y2 = clamp_coordinate(y2);
  int64_t left = std::min(x1, x2), right = std::max(x1, x2);
  int64_t top = std::min(y1, y2), bottom = std::max(y1, y2);
  int64_t width = (right - left) / 4 * 4;
  int64_t height = bottom - top;
  if (width < 4 || height < 1) return "empty region";
  if (width > kMaxSide || height > kMaxSide || width * height * 3 > kMaxPixelBytes || left < -(int64_t(1) << 30) ||
      left > (int64_t(1) << 30) || top < -(int64_t(1) << 30) || top > (int64_t(1) << 30)) {
    return "region too large";
  }
  out->left = static_cast<int>(left);
  out->top = static_cast<int>(top);
  out->width = static_cast<int>(width);
  out->height = static_cast<int>(height);
  return std::string();
}

int CaptureEx::captureRect(CaptureSource source, int64_t x1, int64_t y1, int64_t x2, int64_t y2,
                           std::string* error) {
  Region r;
  *error = region(x1, y1, x2, y2, &r);
  if (!error->empty()) return -1;
  return capture_region(source, r.left, r.top, r.width, r.height, &pixels_, error);
}

int CaptureEx::captureFull(CaptureSource source, std::string* error) {
  int width = 0, height = 0;
  if (capture_source_size(source, &width, &height, error) != 0) return -1;
  return captureRect(source, 0, 0, width, height, error);
}

std::string CaptureEx::bmpBytes(const ScreenPixels& pixels) {
  const uint32_t image_size =
      static_cast<uint32_t>(pixels.width) * static_cast<uint32_t>(pixels.height) * 3;
  std::string out;
  out.reserve(54 + image_size);
  out += "BM";
  put32(&out, 54 + image_size);
  put16(&out, 0);
  put16(&out, 0);
  put32(&out, 54);
  put32(&out, 40);
  put32(&out, static_cast<uint32_t>(pixels.width));
  put32(&out, static_cast<uint32_t>(-pixels.height));  // negative: rows stored top first
  put16(&out, 1);
  put16(&out, 24);
  put32(&out, 0);
  put32(&out, image_size);
  for (int i = 0; i < 4; ++i) put32(&out, 0);  // resolutions and colour counts
  out.append(reinterpret_cast<const char*>(pixels.bgr.data()), pixels.bgr.size());
  return out;
}

int CaptureEx::saveBmp(const std::string& path) const {
  std::string bytes = bmpBytes(pixels_);
  FILE* f = open_file(path, "wb");
  if (f == nullptr) return -1;
  size_t written = fwrite(bytes.data(), 1, bytes.size(), f);
  int closed = fclose(f);
  return (written == bytes.size() && closed == 0) ? 0 : -1;
}

int CaptureEx::savePng(const std::string& path) const { return write_png_file(pixels_, path); }
