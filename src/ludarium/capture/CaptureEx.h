// One screen capture: grabs a region of the screen or of the window in front
// as 24-bit pixels, and writes them as a BMP or PNG file. One object per
// request, used by one thread; the platform layer does the grabbing.
#pragma once

#include <cstdint>
#include <string>

#include "ScreenCapture.h"

class CaptureEx {
 public:
  // Bounds of one capture, so that a request cannot ask for gigabytes.
  static const int kMaxSide = 16384;
  // And on its pixel bytes (width x height x 3): two sides at the limit
  // would ask for 768 MiB, more than a 32-bit process can find in one piece.
  // 128 MiB holds an 8K screen.
  static const int64_t kMaxPixelBytes = int64_t(128) << 20;

  struct Region {
    int left = 0;
    int top = 0;
    int width = 0;  // a multiple of 4
    int height = 0;
  };

  // The region between two corners: normalised, width cut down to a
  // multiple of 4. Returns "" or the failure text: "empty region" (under 4
  // pixels wide or of zero height) or "region too large" (a side over kMaxSide,
  // more than kMaxPixelBytes, or a corner beyond 2^30).
  static std::string region(int64_t x1, int64_t y1, int64_t x2, int64_t y2, Region* out);

  // Captures the region between the corners (the source's coordinates).
  // Returns 0, or -1 with the failure text in *error.
  int captureRect(CaptureSource source, int64_t x1, int64_t y1, int64_t x2, int64_t y2,
                  std::string* error);
  // The whole screen, or the window in front from its client origin with
  // its outer size.
  int captureFull(CaptureSource source, std::string* error);

  const ScreenPixels& pixels() const { return pixels_; }

  // The kept pixels as a 24-bit top-down BMP (the file bytes below), or as
  // a PNG; 0 or -1.
  int saveBmp(const std::string& path) const;
  int savePng(const std::string& path) const;

  // 14-byte file header ("BM", file size, 0, 0, offset 54), 40-byte
  // information header (40, width, -height, 1 plane, 24 bits, no
  // compression, image size, zeros), then the pixels as they are.
  static std::string bmpBytes(const ScreenPixels& pixels);

 private:
  ScreenPixels pixels_;
};
