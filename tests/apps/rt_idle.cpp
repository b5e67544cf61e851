// One open window and nothing else to do (RT_TIMER_MS, when set, starts a
// slow timer on it): the main loop must sleep, not spin. Ends on the window
// manager's close request.
#include <cstdio>
#include <cstdlib>

#include "slate.h"

namespace {
SimpleWindow window("rt idle", 6, 4, Position(1, 1));
int ticks = 0;
int Tick() {
  ++ticks;
  return 1;
}
int Quit() {
  std::printf("quit ticks %d\n", ticks);
  return 1;
}
}  // namespace

void ApiMain() {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  window.Open();
  window.SetQuitCallback(Quit);
  if (const char* ms = std::getenv("RT_TIMER_MS")) {
    window.SetTimerCallback(Tick);
    window.StartTimer(std::atoi(ms));
  }
  std::printf("ready\n");
}
