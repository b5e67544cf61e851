// Benchmark application: opens an anchor window, prints its X id, then obeys
// lines on stdin while ApiMain runs:
//   "cycle N" : opens and closes a second window N times, then prints
//               "cycled N MS" (wall time in milliseconds);
//   "end"     : closes the anchor and returns.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "slate.h"

void ApiMain() {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  SimpleWindow anchor("bench runtime anchor", 3, 2, Position(1, 1));
  SimpleWindow cycled("bench runtime cycled", 6, 4, Position(5, 1));
  if (anchor.Open() != WindowIsOpen) {
    std::printf("anchor failed\n");
    return;
  }
  XSync(display, False);
  std::printf("anchor %lu\n", WinManager.GetWindow(&anchor));
  char line[128];
  while (std::fgets(line, sizeof line, stdin)) {
    int n = 0;
    if (std::sscanf(line, "cycle %d", &n) == 1) {
      auto start = std::chrono::steady_clock::now();
      int failed = 0;
      for (int i = 0; i < n; ++i) {
        if (cycled.Open() != WindowIsOpen) ++failed;
        if (cycled.Close() != WindowIsClosed) ++failed;
      }
      XSync(display, False);
      double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      std::printf("cycled %d %.1f failed %d\n", n, ms, failed);
    } else if (std::strncmp(line, "end", 3) == 0) {
      break;
    }
  }
  anchor.Close();
}
