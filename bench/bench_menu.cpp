// The ZINDRA menu measured from another client on a server of its own: from
// the start to the menu being mapped and to its picture being shown (less
// the loading screen's 2 s pause), from a click on each button to its window
// being mapped, and the CPU the menu uses while idle. Prints figures only.
#include <X11/Xutil.h>
#include <X11/xpm.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "../app/menu_layout.h"
#include "bench.h"

namespace {

const char* Opens[zindra::ButtonCount] = {"game", "HIGHSCORES", "OPTIONS", "about game and instructions",
                                          "more games"};

std::string Figures(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  char line[100];
  std::snprintf(line, sizeof line, "median %6.2f ms, min %6.2f, max %6.2f (%zu runs)", ms[ms.size() / 2],
                ms.front(), ms.back(), ms.size());
  return line;
}

// Milliseconds from start until a window with this title is mapped, as the
// server reports it to a client watching the root window; 0 if none is.
Window Mapped(bench::Peer& peer, const std::string& title, double start, double* ms) {
  while (bench::Now() < start + 10000) {
    while (XPending(peer.D)) {
      XEvent e;
      XNextEvent(peer.D, &e);
      char* name = nullptr;
      if (e.type == MapNotify && XFetchName(peer.D, e.xmap.window, &name) && title == name) {
        *ms = bench::Now() - start;
        XFree(name);
        return e.xmap.window;
      }
      if (name) XFree(name);
    }
    usleep(50);
  }
  return 0;
}

}  // namespace

int main() {
  bench::Server server;
  bench::Peer peer(server.Name()), watcher(server.Name());
  XSelectInput(watcher.D, DefaultRootWindow(watcher.D), SubstructureNotifyMask);
  XSync(watcher.D, False);
  XImage* picture = nullptr;
  if (XpmReadFileToImage(peer.D, bench::Path("app/menu.xpm").c_str(), &picture, nullptr, nullptr) !=
      XpmSuccess)
    return std::fprintf(stderr, "bench_menu: cannot read app/menu.xpm; build zindra first\n"), 1;
  std::vector<double> mapped, shown;
  Window menu = 0;
  std::unique_ptr<bench::Program> zindra;
  for (int run = 0; run < 3; ++run) {
    double start = bench::Now(), ms = 0;
    zindra = std::make_unique<bench::Program>(std::vector<std::string>{bench::Path("app/zindra")},
                                              std::vector<std::string>{server.Env()}, bench::Path("app"));
    menu = Mapped(watcher, "ZINDRA", start, &ms);
    if (!menu) return std::fprintf(stderr, "bench_menu: the menu never appeared\n"), 1;
    mapped.push_back(ms - 2000);
    // A pixel of the picture beside the first button.
    unsigned long pixel = XGetPixel(picture, 600, 150);
    bench::WaitFor([&] { return peer.Pixel(menu, 600, 150) == pixel; }, 10000);
    shown.push_back(bench::Now() - start - 2000);
    if (run < 2) zindra.reset();
  }
  std::printf("start to menu mapped, less the pause:  %s\n", Figures(mapped).c_str());
  std::printf("start to picture shown, less the pause: %s\n", Figures(shown).c_str());

  bench::Sleep(300);
  double cpu = zindra->CpuSeconds();
  bench::Sleep(2000);
  std::printf("idle CPU with the menu open: %.2f%% of a core\n", (zindra->CpuSeconds() - cpu) / 2 * 100);

  for (int i = 0; i < zindra::ButtonCount; ++i) {
    zindra::PixelRect box = zindra::RegionPixels(zindra::ClickMap[i], 66);
    std::vector<double> times;
    for (int run = 0; run < 20; ++run) {
      double start = bench::Now(), ms = 0;
      peer.Click(menu, (box.X0 + box.X1) / 2, (box.Y0 + box.Y1) / 2);
      Window w = Mapped(watcher, Opens[i], start, &ms);
      times.push_back(ms);
      peer.Close(w);
      peer.Gone(Opens[i]);
    }
    std::printf("click %-12s to window mapped: %s\n", zindra::ButtonLabels[i], Figures(times).c_str());
  }
  XDestroyImage(picture);
  return 0;
}
