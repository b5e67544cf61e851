// Benchmark application: one open window; with RT_TIMER_MS set, a timer of
// that interval whose ticks are counted and summarised when the window is
// closed by the window manager's close request (sent by bench_runtime):
//   "ticks N first_ms F last_ms L min_gap_ms A max_gap_ms B" on stdout.
#include <cstdio>
#include <cstdlib>

#include "slate.h"

namespace {
SimpleWindow window("bench runtime idle", 6, 4, Position(1, 1));
int ticks = 0;
unsigned int first = 0, last = 0, minGap = ~0u, maxGap = 0;

int Tick() {
  unsigned int now = GetMilliseconds();
  if (ticks == 0) first = now;
  else {
    unsigned int gap = now - last;
    if (gap < minGap) minGap = gap;
    if (gap > maxGap) maxGap = gap;
  }
  last = now;
  ++ticks;
  return 1;
}

int Quit() {
  std::printf("ticks %d first_ms %u last_ms %u min_gap_ms %u max_gap_ms %u\n", ticks, first, last,
              ticks > 1 ? minGap : 0, maxGap);
  return 1;
}
}  // namespace

void ApiMain() {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  window.Open();
  window.SetQuitCallback(Quit);
  if (const char* ms = std::getenv("RT_TIMER_MS")) {
    window.SetTimerCallback(Tick);
    std::printf("start_ms %u\n", GetMilliseconds());
    window.StartTimer(std::atoi(ms));
  }
  std::printf("ready\n");
}
