// Two windows with quit callbacks, closed from outside by the window
// manager's close request (or by a shutdown request, RT_MODE=terminate-*):
// every quit callback runs once, ApiEnd runs once after the last one, and
// the program ends with status 0.
//   RT_MODE unset         : two windows A and B, closed by the test.
//   RT_MODE=terminate-none: Terminate() with no window open; then nothing.
//   RT_MODE=terminate-main: three windows; Terminate() in ApiMain, handled
//                           by the main loop.
//   RT_MODE=terminate-pump: three windows; Terminate() in ApiMain, handled
//                           by the event pump of a later GetStatus.
//   RT_MODE=terminate-timer: three windows; Terminate() from a timer
//                           callback while the main loop runs.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "slate.h"

namespace {
SimpleWindow a("rt close A", 5, 4, Position(1, 1));
SimpleWindow b("rt close B", 5, 4, Position(7, 1));
SimpleWindow c("rt close C", 5, 4, Position(13, 1));
int QuitA() {
  std::printf("quit A\n");
  return 1;
}
int QuitB() {
  std::printf("quit B\n");
  return 0;  // the result is ignored: the window closes all the same
}
int QuitC() {
  std::printf("quit C\n");
  return 1;
}
int Tick() {
  std::printf("tick: Terminate\n");
  a.StopTimer();
  Terminate();
  std::printf("after Terminate\n");
  return 1;
}
}  // namespace

void ApiMain() {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  const char* env = std::getenv("RT_MODE");
  std::string mode = env ? env : "";
  if (mode == "terminate-none") {
    Terminate();
    std::printf("after Terminate\n");
    return;
  }
  a.SetQuitCallback(QuitA);
  b.SetQuitCallback(QuitB);
  c.SetQuitCallback(QuitC);
  a.Open();
  b.Open();
  if (mode.rfind("terminate", 0) == 0) c.Open();
  if (mode == "terminate-main" || mode == "terminate-pump") {
    Terminate();
    std::printf("after Terminate\n");
  }
  if (mode == "terminate-pump") {
    XSync(display, False);       // the three events are back in the queue
    int status = a.GetStatus();  // runs the event pump
    std::printf("status A %d\n", status);
  }
  if (mode == "terminate-timer") {
    a.SetTimerCallback(Tick);
    a.StartTimer(100);
  }
  std::printf("ready\n");
}

int ApiEnd() {
  std::printf("ApiEnd called\n");
  return 0;
}
