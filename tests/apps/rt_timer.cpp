// Timers under the main loop. RT_MODE:
//   rate      : a RT_INTERVAL ms timer (default 100) prints each tick's
//               GetMilliseconds reading; after RT_TICKS ticks (default 10) the
//               window is closed by the application, which ends the loop
//               without ApiEnd.
//   zero      : a 0 ms timer fires on every pass; after 300 ms it prints its
//               count and closes the window.
//   close-own : window A's 50 ms timer closes A itself on its first tick;
//               window B's 150 ms timer closes B on its third tick.
//   stop      : A's 30 ms timer stops itself after 3 ticks; B's 400 ms timer
//               then prints A's count and closes both windows.
//   open-close: B's 0 ms timer runs on every pass; A's 20 ms timer closes B
//               and opens C on its first (and only) tick (B's callback must
//               not run again); C's 20 ms timer closes A, and C after 3 ticks.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "slate.h"

namespace {
SimpleWindow a("rt timer A", 5, 4, Position(1, 1));
SimpleWindow b("rt timer B", 5, 4, Position(7, 1));
SimpleWindow c("rt timer C", 5, 4, Position(13, 1));
int ticksA = 0, ticksB = 0, ticksC = 0;
int limit = 10;
unsigned int started = 0;

int Rate() {
  std::printf("tick %u\n", GetMilliseconds());
  if (++ticksA == limit) {
    std::printf("done\n");
    a.Close();
  }
  return 1;
}
int Zero() {
  ++ticksA;
  if (GetMilliseconds() - started >= 300) {
    std::printf("zero ticks %d\n", ticksA);
    a.Close();
  }
  return 1;
}
int CloseOwnA() {
  std::printf("A tick %d\n", ++ticksA);
  std::printf("A close %d\n", a.Close());
  return 1;
}
int CloseOwnB() {
  std::printf("B tick %d\n", ++ticksB);
  if (ticksB == 3) std::printf("B close %d\n", b.Close());
  return 1;
}
int StopA() {
  std::printf("A tick %d\n", ++ticksA);
  if (ticksA == 3) a.StopTimer();
  return 1;
}
int StopB() {
  std::printf("A ticks %d\n", ticksA);
  a.Close();
  b.Close();
  return 1;
}
int OpenCloseA() {
  std::printf("A tick %d\n", ++ticksA);
  if (ticksA == 1) {
    a.StopTimer();  // one tick only, so that the output does not depend on timing
    std::printf("B close %d\n", b.Close());
    std::printf("C open %d\n", c.Open());
    c.StartTimer(20);
  }
  return 1;
}
int OpenCloseB() {
  ++ticksB;
  if (b.GetStatus() != WindowIsOpen) std::printf("B tick while closed\n");
  return 1;
}
int OpenCloseC() {
  std::printf("C tick %d\n", ++ticksC);
  if (ticksC == 1) std::printf("A close %d\n", a.Close());
  if (ticksC == 3) std::printf("C close %d\n", c.Close());
  return 1;
}
}  // namespace

void ApiMain() {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  const char* env = std::getenv("RT_MODE");
  std::string mode = env ? env : "rate";
  if (mode != "open-close") a.Open();
  if (mode == "rate") {
    int interval = std::getenv("RT_INTERVAL") ? std::atoi(std::getenv("RT_INTERVAL")) : 100;
    if (std::getenv("RT_TICKS")) limit = std::atoi(std::getenv("RT_TICKS"));
    a.SetTimerCallback(Rate);
    std::printf("start %u\n", GetMilliseconds());
    a.StartTimer(interval);
  } else if (mode == "zero") {
    a.SetTimerCallback(Zero);
    started = GetMilliseconds();
    a.StartTimer(0);
  } else if (mode == "close-own") {
    b.Open();
    a.SetTimerCallback(CloseOwnA);
    b.SetTimerCallback(CloseOwnB);
    a.StartTimer(50);
    b.StartTimer(150);
  } else if (mode == "stop") {
    b.Open();
    a.SetTimerCallback(StopA);
    b.SetTimerCallback(StopB);
    a.StartTimer(30);
    b.StartTimer(400);
  } else if (mode == "open-close") {
    // B registered before A, so that A's callback, which closes B, runs
    // before B's turn in the same pass of the timer poll.
    b.Open();
    a.Open();
    a.SetTimerCallback(OpenCloseA);
    b.SetTimerCallback(OpenCloseB);
    c.SetTimerCallback(OpenCloseC);
    b.StartTimer(0);
    a.StartTimer(20);
  }
  std::printf("ready\n");
}

int ApiEnd() {
  std::printf("ApiEnd called\n");
  return 1;
}
