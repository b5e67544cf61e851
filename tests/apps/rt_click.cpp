// The click callback is set before the window is opened; clicks then arrive
// in centimetres, one per button release, in order. After the third click
// the window is closed and opened again without setting the callback again:
// clicks must still arrive. The fifth click closes the last window from the
// application's own code, which ends the loop without ApiEnd.
#include <cstdio>

#include "slate.h"

namespace {
SimpleWindow window("rt click", 10, 8, Position(1, 1));
int clicks = 0;

int Click(const Position& p) {
  ++clicks;
  std::printf("click %d %.4f %.4f\n", clicks, static_cast<double>(p.GetXDistance()),
              static_cast<double>(p.GetYDistance()));
  if (clicks == 3) {
    std::printf("close %d\n", window.Close());
    std::printf("open %d\n", window.Open());
    std::printf("reopened\n");
  } else if (clicks == 5) {
    std::printf("close %d\n", window.Close());
  }
  return 1;
}
}  // namespace

void ApiMain() {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  window.SetMouseClickCallback(Click);  // not open yet: remembered, no X request
  std::printf("ppc %g\n", static_cast<double>(PixelsPerCentimeter));
  std::printf("open %d\n", window.Open());
  std::printf("ready\n");
}

int ApiEnd() {
  std::printf("ApiEnd called\n");
  return 1;
}
