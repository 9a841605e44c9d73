#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "ScreenCapture.h"

namespace {

// Xlib's default error handler ends the process; a capture of a window that
// vanished meanwhile must only fail. Installed once, process-wide.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

void init_xlib() {
  static std::once_flag once;
  std::call_once(once, [] {
    XInitThreads();
    XSetErrorHandler(ignore_x_error);
  });
}

class DisplayConnection {
 public:
  DisplayConnection() {
    init_xlib();
    display_ = XOpenDisplay(nullptr);
  }
  ~DisplayConnection() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  DisplayConnection(const DisplayConnection&) = delete;
  DisplayConnection& operator=(const DisplayConnection&) = delete;

  Display* get() const { return display_; }

 private:
  Display* display_;
};

Window active_window(Display* display, Window root) {
  Atom property = XInternAtom(display, "_NET_ACTIVE_WINDOW", True);
  if (property == None) return root;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  Window result = root;
  if (XGetWindowProperty(display, root, property, 0, 1, False, XA_WINDOW, &type, &format, &count,
                         &after, &data) == Success &&
      type == XA_WINDOW && format == 32 && count == 1 && data != nullptr) {
    Window w = *reinterpret_cast<Window*>(data);
    if (w != None) result = w;
  }
  if (data != nullptr) XFree(data);
  return result;
}

Window source_window(Display* display, CaptureSource source) {
  Window root = DefaultRootWindow(display);
  return source == CaptureSource::kForegroundWindow ? active_window(display, root) : root;
}

// Position of a mask's lowest bit and its width, to scale a channel to 8 bits.
void mask_shift(unsigned long mask, int* shift, int* bits) {
  *shift = 0;
  *bits = 0;
  if (mask == 0) return;
  while ((mask & 1) == 0) {
    mask >>= 1;
    ++*shift;
  }
  while (mask & 1) {
    mask >>= 1;
    ++*bits;
  }
}

unsigned char channel(unsigned long pixel, int shift, int bits) {
  if (bits == 0) return 0;
  unsigned long v = (pixel >> shift) & ((1UL << bits) - 1);
  return bits >= 8 ? static_cast<unsigned char>(v >> (bits - 8))
                   : static_cast<unsigned char>(v * 255 / ((1UL << bits) - 1));
}

// Copies an XImage into the BGR buffer at (dx, dy).
void copy_image(XImage* image, ScreenPixels* out, int dx, int dy) {
  int rs, rb, gs, gb, bs, bb;
  mask_shift(image->red_mask, &rs, &rb);
  mask_shift(image->green_mask, &gs, &gb);
  mask_shift(image->blue_mask, &bs, &bb);
  for (int y = 0; y < image->height; ++y) {
    unsigned char* row = out->bgr.data() + (static_cast<size_t>(dy + y) * out->width + dx) * 3;
    for (int x = 0; x < image->width; ++x) {
      unsigned long pixel = XGetPixel(image, x, y);
      row[x * 3] = channel(pixel, bs, bb);
      row[x * 3 + 1] = channel(pixel, gs, gb);
      row[x * 3 + 2] = channel(pixel, rs, rb);
    }
  }
}

}  // namespace

int capture_source_size(CaptureSource source, int* width, int* height, std::string* error) {
  DisplayConnection display;
  if (display.get() == nullptr) {
    *error = "no display";
    return -1;
  }
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display.get(), source_window(display.get(), source), &attributes)) {
    *error = "window attributes not readable";
    return -1;
  }
  *width = attributes.width + 2 * attributes.border_width;
  *height = attributes.height + 2 * attributes.border_width;
  return 0;
}

int capture_region(CaptureSource source, int left, int top, int width, int height,
                   ScreenPixels* out, std::string* error) {
  DisplayConnection display;
  if (display.get() == nullptr) {
    *error = "no display";
    return -1;
  }
  Display* d = display.get();
  Window root = DefaultRootWindow(d);
  int x = left, y = top;
  if (source == CaptureSource::kForegroundWindow) {
    Window child;
    if (!XTranslateCoordinates(d, source_window(d, source), root, left, top, &x, &y, &child)) {
      *error = "window coordinates not translatable";
      return -1;
    }
  }
  XWindowAttributes screen;
  if (!XGetWindowAttributes(d, root, &screen)) {
    *error = "screen attributes not readable";
    return -1;
  }
  out->width = width;
  out->height = height;
  out->bgr.assign(static_cast<size_t>(width) * height * 3, 0);
  // XGetImage refuses areas beyond the root window: take the part on the
  // screen; the rest stays black.
  long ix1 = std::max<long>(x, 0), iy1 = std::max<long>(y, 0);
  long ix2 = std::min<long>(static_cast<long>(x) + width, screen.width);
  long iy2 = std::min<long>(static_cast<long>(y) + height, screen.height);
  if (ix1 >= ix2 || iy1 >= iy2) return 0;
  XImage* image = XGetImage(d, root, static_cast<int>(ix1), static_cast<int>(iy1),
                            static_cast<unsigned>(ix2 - ix1), static_cast<unsigned>(iy2 - iy1),
                            AllPlanes, ZPixmap);
  if (image == nullptr) {
    *error = "XGetImage failed";
    return -1;
  }
  copy_image(image, out, static_cast<int>(ix1 - x), static_cast<int>(iy1 - y));
  XDestroyImage(image);
  return 0;
}

int write_png_file(const ScreenPixels& pixels, const std::string& path) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) return -1;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    fclose(f);
    return -1;
  }
  // libpng reports errors by longjmp; nothing with a destructor lives
  // between here and the writes.
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    fclose(f);
    return -1;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(pixels.width),
               static_cast<png_uint_32>(pixels.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  const size_t stride = static_cast<size_t>(pixels.width) * 3;
  for (int y = 0; y < pixels.height; ++y) {
    png_write_row(png, const_cast<png_bytep>(pixels.bgr.data() + stride * y));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return fclose(f) == 0 ? 0 : -1;
}
