// The program bench_runtime measures. BENCH_MODE chooses what it does:
//   idle   one window, nothing else;
//   timer  one window with a timer of BENCH_TIMER_MS; when the window is
//          closed it prints "ticks N first F last L min A max B" (ms);
//   cycles opens and closes a second window BENCH_CYCLES times beside an
//          anchor window, printing after each hundred its own pixmap bytes
//          and resource count on the server, then ends.
#include <X11/Xlib.h>
// after Xlib, whose types it uses
#include <X11/extensions/XRes.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "slate.h"

namespace {

SimpleWindow window("bench runtime", 6, 4, Position(1, 1));
int ticks = 0;
unsigned int first = 0, last = 0, shortest = ~0u, longest = 0;

int Tick() {
  unsigned int now = GetMilliseconds();
  if (ticks++ == 0) {
    first = now;
  } else {
    shortest = std::min(shortest, now - last);
    longest = std::max(longest, now - last);
  }
  last = now;
  return 0;
}

int Quit() {
  std::printf("ticks %d first %u last %u min %u max %u\n", ticks, first, last, shortest, longest);
  return 0;
}

void Figures(int done, double ms) {
  XSync(display, False);
  Window id = WinManager.GetWindow(&window);
  unsigned long bytes = 0;
  int types = 0;
  XResType* counts = nullptr;
  XResQueryClientPixmapBytes(display, id, &bytes);
  XResQueryClientResources(display, id, &types, &counts);
  long resources = 0;
  for (int i = 0; i < types; ++i) resources += counts[i].count;
  if (counts) XFree(counts);
  std::printf("cycles %d pixmap-bytes %lu resources %ld ms %.1f\n", done, bytes, resources, ms);
}

}  // namespace

void ApiMain() {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  std::string mode = std::getenv("BENCH_MODE") ? std::getenv("BENCH_MODE") : "idle";
  window.Open();
  window.SetQuitCallback(Quit);
  if (mode == "timer") {
    window.SetTimerCallback(Tick);
    window.StartTimer(std::atoi(std::getenv("BENCH_TIMER_MS")));
  } else if (mode == "cycles") {
    SimpleWindow cycled("bench runtime cycled", 6, 4, Position(8, 1));
    int cycles = std::atoi(std::getenv("BENCH_CYCLES"));
    auto start = std::chrono::steady_clock::now();
    Figures(0, 0);
    for (int i = 1; i <= cycles; ++i) {
      cycled.Open();
      cycled.Close();
      if (i % 100 == 0 || i == 10)
        Figures(i,
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    window.Close();
  }
  std::printf("ready\n");
}
