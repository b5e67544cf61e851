// Benchmark of the ZINDRA menu, measured from another X client on the
// display named by $DISPLAY (make bench runs it on a private Xvfb):
//
//  1. start-up: from starting zindra to the menu window being mapped, and to
//     its picture being on the screen, less the loading screen's 2 s pause;
//  2. response: from a click on each button to its window being mapped
//     (the server exposes a window as it maps it), and for the buttons that
//     draw something, to that drawing being on the screen;
//  3. idle CPU: the share of one processor zindra uses with the menu open
//     and nothing happening.
//
// It prints figures and asserts nothing. Clicks are real input through the
// XTEST extension, and zindra runs as a child process, both through the
// test rig.
// The rig first: it includes GoogleTest, whose headers Xlib's macros break.
// clang-format off
#include "rig.h"
// clang-format on

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/xpm.h>
#include <limits.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../app/menu_layout.h"

namespace {

namespace fs = std::filesystem;

constexpr int kStartRuns = 3;
constexpr int kClickRuns = 20;
constexpr double kLoadingPauseMs = 2000.0;
constexpr double kTimeoutMs = 10000.0;

// Title of the window each button of the click map opens.
constexpr const char* Opens[zindra::ButtonCount] = {"game", "HIGHSCORES", "OPTIONS",
                                                    "about game and instructions", "more games"};

double NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

int IgnoreErrors(Display*, XErrorEvent*) {
  return 0;
}

struct Stats {
  std::vector<double> v;
  void Add(double x) { v.push_back(x); }
  std::string Line() {
    if (v.empty()) return "no samples";
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v) sum += x;
    char buf[160];
    std::snprintf(buf, sizeof buf, "median %7.2f ms  mean %7.2f  min %7.2f  max %7.2f  (n=%zu)",
                  v[v.size() / 2], sum / v.size(), v.front(), v.back(), v.size());
    return buf;
  }
};

// Directory of this executable, to find zindra and its pictures in the build.
std::string SelfDir() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = '\0';
  return fs::path(path).parent_path().string();
}

// The observer: a client that watches top-level windows come and go.
class Observer {
 public:
  explicit Observer(Display* d) : d_(d), root_(DefaultRootWindow(d)) {
    XSelectInput(d_, root_, SubstructureNotifyMask);
    XSync(d_, False);
  }

  std::string Name(Window w) {
    char* name = nullptr;
    std::string s;
    if (XFetchName(d_, w, &name) && name) {
      s = name;
      XFree(name);
    }
    return s;
  }

  // Waits for a top-level window with this title to be mapped; returns it
  // (0 on timeout) and the time of the notification in *when.
  Window WaitMapped(const char* title, double* when) {
    double deadline = NowMs() + kTimeoutMs;
    while (NowMs() < deadline) {
      while (XPending(d_)) {
        XEvent e;
        XNextEvent(d_, &e);
        if (e.type == MapNotify && Name(e.xmap.window) == title) {
          *when = NowMs();
          return e.xmap.window;
        }
      }
      usleep(100);
    }
    return 0;
  }

  bool WaitGone(Window w) {
    double deadline = NowMs() + kTimeoutMs;
    while (NowMs() < deadline) {
      while (XPending(d_)) {
        XEvent e;
        XNextEvent(d_, &e);
        if (e.type == DestroyNotify && e.xdestroywindow.window == w) return true;
      }
      usleep(100);
    }
    return false;
  }

  // Waits until pixel (x, y) of window w has the given value.
  bool WaitPixel(Window w, int x, int y, unsigned long pixel, double* when) {
    double deadline = NowMs() + kTimeoutMs;
    while (NowMs() < deadline) {
      XImage* image = XGetImage(d_, w, x, y, 1, 1, AllPlanes, ZPixmap);
      if (image) {
        unsigned long p = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        if (p == pixel) {
          *when = NowMs();
          return true;
        }
      }
      usleep(100);
    }
    return false;
  }

  // Real clicks and close requests come from a second connection.
  void Click(Window w, int x, int y) { input_.ClickInWindow(w, x, y); }
  void RequestClose(Window w) { input_.SendDeleteRequest(w); }

 private:
  Display* d_;
  Window root_;
  rig::XClient input_;
};

// Pixel of an XPM picture at (x, y), as the screen would show it.
bool PicturePixel(Display* d, const std::string& file, int x, int y, unsigned long* pixel) {
  XImage* image = nullptr;
  XpmAttributes attributes{};
  if (XpmReadFileToImage(d, file.c_str(), &image, nullptr, &attributes) != XpmSuccess || !image) return false;
  bool ok = x < image->width && y < image->height;
  if (ok) *pixel = XGetPixel(image, x, y);
  XDestroyImage(image);
  XpmFreeAttributes(&attributes);
  return ok;
}

}  // namespace

int main() {
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    std::fprintf(stderr, "bench_menu: cannot open display %s\n", XDisplayName(nullptr));
    return 1;
  }
  XSetErrorHandler(IgnoreErrors);
  std::string app = SelfDir() + "/../app";
  std::string zindra = app + "/zindra";
  if (access(zindra.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "bench_menu: %s is missing; build it first\n", zindra.c_str());
    XCloseDisplay(d);
    return 1;
  }
  char dir_template[] = "/tmp/bench-menu-XXXXXX";
  std::string dir = mkdtemp(dir_template) ? dir_template : "";
  std::error_code ec;
  for (const char* f : {"menu.xpm", "instructions.xpm"}) {
    fs::copy_file(app + "/" + f, dir + "/" + f, fs::copy_options::overwrite_existing, ec);
  }

  int screen = DefaultScreen(d);
  int scale = static_cast<int>(DisplayWidth(d, screen) / 29);
  auto centre = [scale](double a, double b) { return static_cast<int>((a + b) / 2 * scale); };
  Observer observer(d);
  std::printf("bench_menu: %dx%d screen, %d px/cm\n", DisplayWidth(d, screen), DisplayHeight(d, screen),
              scale);

  // A pixel of each picture that differs from the white window background.
  unsigned long white = WhitePixel(d, screen), menu_pixel = white, info_pixel = white;
  const zindra::Region& play = zindra::ClickMap[zindra::PlayButton];
  int px = centre(play.Left, play.Right) - 20, py = centre(play.Top, play.Bottom);
  PicturePixel(d, dir + "/menu.xpm", px, py, &menu_pixel);
  PicturePixel(d, dir + "/instructions.xpm", 20, 20, &info_pixel);

  // 1. Start-up.
  Stats mapped, drawn;
  Window menu = 0;
  rig::ProcessOptions options;
  options.cwd = dir;
  auto zindra_process = std::make_unique<rig::Process>();
  for (int run = 0; run < kStartRuns; ++run) {
    if (run > 0) zindra_process = std::make_unique<rig::Process>();
    double t0 = NowMs();
    zindra_process->Start(zindra, options);
    double t_map = 0, t_draw = 0;
    menu = observer.WaitMapped("ZINDRA", &t_map);
    if (!menu) {
      std::printf("start-up: the menu never appeared\n");
      XCloseDisplay(d);
      return 1;
    }
    mapped.Add(t_map - t0 - kLoadingPauseMs);
    if (menu_pixel != white && observer.WaitPixel(menu, px, py, menu_pixel, &t_draw)) {
      drawn.Add(t_draw - t0 - kLoadingPauseMs);
    }
    if (run + 1 < kStartRuns) {
      zindra_process->Signal(SIGKILL);
      zindra_process->Wait(3000);
      observer.WaitGone(menu);
    }
  }
  std::printf("start to menu mapped, less the 2 s pause:   %s\n", mapped.Line().c_str());
  std::printf("start to menu picture shown, less the pause: %s\n", drawn.Line().c_str());

  // Let the loading screen close and the menu settle.
  usleep(300 * 1000);

  // 3. Idle CPU, before any click.
  double cpu0 = zindra_process->CpuSeconds(), w0 = NowMs();
  usleep(2000 * 1000);
  double cpu1 = zindra_process->CpuSeconds(), w1 = NowMs();
  if (cpu0 >= 0 && cpu1 >= 0) {
    std::printf("idle CPU with the menu open: %.1f%% of one processor over %.1f s\n",
                100.0 * (cpu1 - cpu0) / ((w1 - w0) / 1000.0), (w1 - w0) / 1000.0);
  }

  // 2. Click to window.
  for (int i = 0; i < zindra::ButtonCount; ++i) {
    const zindra::Region& b = zindra::ClickMap[i];
    const char* label = zindra::ButtonLabels[i];
    Stats shown, content;
    int bx = centre(b.Left, b.Right), by = centre(b.Top, b.Bottom);
    for (int run = 0; run < kClickRuns; ++run) {
      double t0 = NowMs(), t_map = 0, t_content = 0;
      observer.Click(menu, bx, by);
      Window w = observer.WaitMapped(Opens[i], &t_map);
      if (!w) {
        std::printf("%s: no window appeared\n", label);
        break;
      }
      shown.Add(t_map - t0);
      // HIGHSCORES: its blue text at the centre of (3, 3)-(7, 7) cm;
      // INSTRUCTIONS: its picture.
      bool ok = false;
      if (std::strcmp(label, "HIGHSCORES") == 0) {
        XColor blue, exact;
        if (XAllocNamedColor(d, DefaultColormap(d, screen), "blue1", &blue, &exact)) {
          int tx = 5 * scale, ty = 5 * scale;
          // The first text pixel found on the centre row is enough.
          double deadline = NowMs() + kTimeoutMs;
          while (!ok && NowMs() < deadline) {
            XImage* row = XGetImage(d, w, tx - 80, ty - 10, 160, 20, AllPlanes, ZPixmap);
            if (row) {
              for (int yy = 0; yy < 20 && !ok; ++yy) {
                for (int xx = 0; xx < 160 && !ok; ++xx) ok = XGetPixel(row, xx, yy) == blue.pixel;
              }
              XDestroyImage(row);
            }
            if (ok) t_content = NowMs();
          }
        }
      } else if (std::strcmp(label, "INSTRUCTIONS") == 0 && info_pixel != white) {
        ok = observer.WaitPixel(w, 20, 20, info_pixel, &t_content);
      }
      if (ok) content.Add(t_content - t0);
      observer.RequestClose(w);
      observer.WaitGone(w);
    }
    std::printf("click %-12s to window mapped:  %s\n", label, shown.Line().c_str());
    if (!content.v.empty()) std::printf("click %-12s to contents shown: %s\n", label, content.Line().c_str());
  }

  // Close the menu with its close box; zindra then ends by itself.
  const zindra::Region& closeBox = zindra::ClickMap[zindra::CloseBox];
  observer.Click(menu, centre(closeBox.Left, closeBox.Right), centre(closeBox.Top, closeBox.Bottom));
  zindra_process->Wait(3000);
  fs::remove_all(dir, ec);
  XCloseDisplay(d);
  return 0;
}
