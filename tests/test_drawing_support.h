// Helpers of the drawing and picture tests, which open windows in the test
// process itself and read their pixels back from a second X connection.
//
// Including this file moves the test program onto a private Xvfb of its own
// (before the library's start-up opens the display), so that windows of
// other test programs running at the same time cannot cover the windows
// whose pixels are read.
#ifndef SLATE_TEST_DRAWING_SUPPORT_H
#define SLATE_TEST_DRAWING_SUPPORT_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "rig.h"
#include "slate.h"

namespace dr {

// Runs after the rig's display guard and before the library's WinManager.
__attribute__((constructor(107))) static void UsePrivateServer() {
  if (rig::Xvfb* server = rig::PrivateServer()) setenv("DISPLAY", server->Name().c_str(), 1);
}

inline unsigned long Palette(color c) {
  return ColorTable[c];
}

inline unsigned long WindowOf(const SimpleWindow& window) {
  return WinManager.GetWindow(&window);
}

// Handles the events queued for this process's windows the way the main
// loop does (exposures repaint from the backing pixmap), for ms milliseconds.
inline void Dispatch(int ms = 150) {
  double end = rig::NowMs() + ms;
  do {
    XSync(display, False);
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      SimpleWindow* window = WinManager.GetWindow(event);
      if (window && FilterEvent(&event, window)) WinManager.DispatchMessage(event, window);
    }
    rig::SleepMs(5);
  } while (rig::NowMs() < end);
}

// What the window shows in the given rectangle, read by another client.
inline rig::Image ReadWindow(rig::XClient& x, const SimpleWindow& window, int left, int top, int width,
                             int height) {
  XSync(display, False);
  return x.Capture(WindowOf(window), left, top, width, height);
}

// What the window's backing pixmap holds in the given rectangle: another
// client paints the window over with a colour of no palette, then the
// window repaints itself from its backing pixmap.
inline rig::Image ReadBacking(rig::XClient& x, SimpleWindow& window, int left, int top, int width,
                              int height) {
  XSync(display, False);
  Window id = WindowOf(window);
  GC gc = XCreateGC(x.dpy(), id, 0, nullptr);
  XSetForeground(x.dpy(), gc, 0x123456);
  XFillRectangle(x.dpy(), id, gc, 0, 0, 4000, 4000);
  XFreeGC(x.dpy(), gc);
  x.Sync();
  window.RefreshEvent();
  return ReadWindow(x, window, left, top, width, height);
}

// Checks every pixel of an image (whose upper-left corner is at (left, top)
// of the drawable) against expected(x, y); reports the first few misses.
template <typename Expected>
::testing::AssertionResult PixelsAre(const rig::Image& image, int left, int top, Expected expected) {
  if (!image.ok) return ::testing::AssertionFailure() << "the pixels could not be read";
  int misses = 0;
  std::string report;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      unsigned long want = expected(left + x, top + y);
      unsigned long got = image.At(x, y);
      if (got == want) continue;
      if (++misses <= 5) {
        char line[96];
        snprintf(line, sizeof line, "\n  (%d, %d): 0x%06lx, expected 0x%06lx", left + x, top + y, got, want);
        report += line;
      }
    }
  }
  if (misses == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << misses << " pixels differ" << report;
}

// The same check on the window and on its backing pixmap.
template <typename Expected>
::testing::AssertionResult BothTargetsAre(rig::XClient& x, SimpleWindow& window, int left, int top, int width,
                                          int height, Expected expected) {
  auto onScreen = PixelsAre(ReadWindow(x, window, left, top, width, height), left, top, expected);
  if (!onScreen) return ::testing::AssertionFailure() << "window: " << onScreen.message();
  auto backing = PixelsAre(ReadBacking(x, window, left, top, width, height), left, top, expected);
  if (!backing) return ::testing::AssertionFailure() << "backing pixmap: " << backing.message();
  return ::testing::AssertionSuccess();
}

// Directory of the picture corpus.
inline std::string Pictures() {
  return std::string(SLATE_SOURCE_DIR) + "/tests/pictures/";
}

}  // namespace dr

#endif  // SLATE_TEST_DRAWING_SUPPORT_H
