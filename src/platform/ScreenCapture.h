// Screen pixels and PNG encoding.
//
// Linux: X11 on the display named by $DISPLAY. The screen is the root
// window; the window in front is the one _NET_ACTIVE_WINDOW names (the root
// window when the window manager names none), and its client coordinates
// are its own window coordinates. Without a display every call fails with
// the error "no display".
// Windows: GDI on the desktop; the window in front is GetForegroundWindow
// (the desktop window when there is none). A failed copy shows the message
// box "BitBlt has failed" owned by that window and goes on with what the
// bitmap holds. PNG encoding uses GDI+.
//
// Any thread may call these at any time: each call opens and closes its own
// display connection or device contexts, and nothing is kept between calls.
// On Linux the first call makes Xlib thread-aware (XInitThreads) and installs
// a process-wide X error handler that turns X errors into failed calls
// instead of ending the process.
#pragma once

#include <string>
#include <vector>

enum class CaptureSource { kScreen, kForegroundWindow };

// 24-bit pixels, top row first, three bytes per pixel in the order blue,
// green, red, rows without padding.
struct ScreenPixels {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> bgr;
};

// The size of the whole source: the screen's size, or the outer size of the
// window in front. Returns 0, or -1 with a text in *error.
int capture_source_size(CaptureSource source, int* width, int* height, std::string* error);

// Copies the area of width x height pixels whose top-left corner is (left,
// top) in the source's coordinates (client coordinates of the window in
// front, or screen coordinates). Parts outside the screen come out black.
// width and height are above 0. Returns 0, or -1 with a text in *error.
int capture_region(CaptureSource source, int left, int top, int width, int height,
                   ScreenPixels* out, std::string* error);

// Encodes the pixels as a PNG file at path (narrow path in the system's
// code page), replacing it. Returns 0, or -1 when no file was written.
int write_png_file(const ScreenPixels& pixels, const std::string& path);
