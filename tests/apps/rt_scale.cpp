// Prints the scale that start-up computed and opens no window, so that main
// returns as soon as ApiMain does (without calling ApiEnd).
#include <cstdio>

#include "slate.h"

void ApiMain() {
  std::printf("ppc %g\n", static_cast<double>(PixelsPerCentimeter));
  std::printf("colors %d\n", WinManager.ColorsObtained());
  std::printf("screen %d\n", ScreenNbr);
  std::fflush(stdout);
}

int ApiEnd() {
  std::printf("ApiEnd called\n");
  std::fflush(stdout);
  return 1;
}
