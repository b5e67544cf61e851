// Order of the globals and the end of the program with windows still open.
//
// A global object of this application checks, in its constructor, that the
// runtime's globals are already constructed (the display is open, the scale
// and the palette are set), and in its destructor that the display is still
// usable, whatever the link order (this file is linked before the library).
//
// RT_MODE selects how the program ends (the test closes window A with the
// window manager's close request where one is needed):
//   apiend-global  : ApiEnd opens the global window G, which is still open
//                    when the loop ends; its destructor closes it at exit.
//   apiend-heap    : ApiEnd opens a window that is never destroyed; the
//                    runtime's teardown reports it and closes it.
//   exit-in-timer  : a timer callback calls exit(0) while the global windows
//                    A and G are open.
//   exit-in-apimain: ApiMain calls exit(0) while A and G are open and A's
//                    timer runs.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "slate.h"

namespace {

struct OrderProbe {
  OrderProbe() {
    setvbuf(stdout, nullptr, _IOLBF, 0);  // before anything is written
    std::printf("probe constructed: display %s, ppc %g, colors %d\n", display ? "open" : "NULL",
                static_cast<double>(PixelsPerCentimeter), WinManager.ColorsObtained());
    std::fflush(stdout);
  }
  ~OrderProbe() {
    // An X round trip: fails (or crashes) if the runtime has already closed the display.
    int ok = display ? XSync(display, False) : 0;
    std::printf("probe destroyed: display %s\n", ok ? "usable" : "gone");
    std::fflush(stdout);
  }
};

OrderProbe probe;  // constructed before the windows below, destroyed after them
SimpleWindow a("rt exit A", 5, 4, Position(1, 1));
SimpleWindow g("rt exit G", 5, 4, Position(7, 1));
std::string mode;
SimpleWindow* neverDestroyed = nullptr;

int QuitA() {
  std::printf("quit A\n");
  return 1;
}
int ExitNow() {
  std::printf("exit from timer\n");
  std::fflush(stdout);
  std::exit(0);
}

}  // namespace

void ApiMain() {
  const char* env = std::getenv("RT_MODE");
  mode = env ? env : "";
  a.SetQuitCallback(QuitA);
  a.Open();
  if (mode == "exit-in-timer" || mode == "exit-in-apimain") {
    g.Open();
    a.SetTimerCallback(ExitNow);
    a.StartTimer(mode == "exit-in-timer" ? 200 : 100000);
  }
  std::printf("ready\n");
  if (mode == "exit-in-apimain") {
    std::printf("exit from ApiMain\n");
    std::exit(0);
  }
}

int ApiEnd() {
  std::printf("ApiEnd called\n");
  if (mode == "apiend-global") {
    std::printf("G open %d\n", g.Open());
  } else if (mode == "apiend-heap") {
    // Never destroyed; kept in a global so that a leak checker sees it as reachable.
    neverDestroyed = new SimpleWindow("rt exit H", 5, 4, Position(13, 1));
    std::printf("H open %d\n", neverDestroyed->Open());
  }
  return 1;
}
