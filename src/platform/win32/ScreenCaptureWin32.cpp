// Screen capture with GDI, PNG encoding with GDI+.
// GDI+ needs these two before it, in this order.
// clang-format off
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
// clang-format on

#include <cstring>
#include <vector>

#include "ScreenCapture.h"

namespace {

HWND source_window(CaptureSource source) {
  if (source == CaptureSource::kForegroundWindow) {
    HWND front = GetForegroundWindow();
    if (front != nullptr) return front;
  }
  return GetDesktopWindow();
}

std::wstring ToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

bool FindEncoder(const wchar_t* mime, CLSID* clsid) {
  UINT count = 0, bytes = 0;
  if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
  std::vector<unsigned char> buffer(bytes);
  Gdiplus::ImageCodecInfo* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (wcscmp(codecs[i].MimeType, mime) == 0) {
      *clsid = codecs[i].Clsid;
      return true;
    }
  }
  return false;
}

}  // namespace

int capture_source_size(CaptureSource source, int* width, int* height, std::string* error) {
  RECT rect;
  if (!GetWindowRect(source_window(source), &rect)) {
    *error = "window rectangle not readable";
    return -1;
  }
  *width = rect.right - rect.left;
  *height = rect.bottom - rect.top;
  return 0;
}

int capture_region(CaptureSource source, int left, int top, int width, int height,
                   ScreenPixels* out, std::string* error) {
  HWND window = source_window(source);
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) {
    *error = "no screen device context";
    return -1;
  }
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = memory != nullptr ? CreateCompatibleBitmap(screen, width, height) : nullptr;
  if (bitmap == nullptr) {
    if (memory != nullptr) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    *error = "no bitmap of that size";
    return -1;
  }
  HGDIOBJ previous = SelectObject(memory, bitmap);
  POINT origin = {left, top};
  ClientToScreen(window, &origin);
  if (!BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY)) {
    MessageBoxW(window, L"BitBlt has failed", L"Failed", MB_OK);
  }
  SelectObject(memory, previous);

  BITMAPINFO info;
  memset(&info, 0, sizeof(info));
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
  std::vector<unsigned char> rows(stride * height);
  int copied =
      GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), rows.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (copied != height) {
    *error = "GetDIBits failed";
    return -1;
  }
  out->width = width;
  out->height = height;
  out->bgr.resize(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    memcpy(out->bgr.data() + static_cast<size_t>(y) * width * 3, rows.data() + stride * y,
           static_cast<size_t>(width) * 3);
  }
  return 0;
}

int write_png_file(const ScreenPixels& pixels, const std::string& path) {
  // GDI+ wants rows padded to 4 bytes.
  const size_t row = static_cast<size_t>(pixels.width) * 3;
  const size_t stride = (row + 3) & ~static_cast<size_t>(3);
  std::vector<unsigned char> padded(stride * pixels.height);
  for (int y = 0; y < pixels.height; ++y) {
    memcpy(padded.data() + stride * y, pixels.bgr.data() + row * y, row);
  }
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return -1;
  int result = -1;
  {
    Gdiplus::Bitmap image(pixels.width, pixels.height, static_cast<INT>(stride),
                          PixelFormat24bppRGB, padded.data());
    CLSID png;
    std::wstring wide = ToWide(path);
    if (image.GetLastStatus() == Gdiplus::Ok && FindEncoder(L"image/png", &png) &&
        image.Save(wide.c_str(), &png, nullptr) == Gdiplus::Ok) {
      result = 0;
    }
  }
  Gdiplus::GdiplusShutdown(token);
  return result;
}
