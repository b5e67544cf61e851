// Shutdown requests (Terminate) at awkward moments. The scenario is chosen
// by the environment variable RL_MODE:
//   return  open three windows, request shutdown, return from ApiMain
//   pump    open three windows, request shutdown, keep using the windows
//           inside ApiMain until the pump has closed them all, then open a
//           fourth window that stays until it is closed from outside
//   twice   open three windows, request shutdown twice, return
//   none    request shutdown with no window open, then open one window
//   timer   open two windows; the first one's timer requests shutdown on
//           its third tick, from inside the main loop
// Every window prints "quit <n>" from its quit callback and ApiEnd prints
// "apiend"; every line is flushed.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "slate.h"

namespace {

SimpleWindow window1("rl terminate 1", 4.0, 4.0, Position(1.0, 1.0));
SimpleWindow window2("rl terminate 2", 4.0, 4.0, Position(6.0, 1.0));
SimpleWindow window3("rl terminate 3", 4.0, 4.0, Position(11.0, 1.0));
SimpleWindow window4("rl terminate 4", 4.0, 4.0, Position(16.0, 1.0));
int timerTicks = 0;

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

int Quit1() {
  Say("quit 1");
  return 0;
}
int Quit2() {
  Say("quit 2");
  return 0;
}
int Quit3() {
  Say("quit 3");
  return 0;
}
int Quit4() {
  Say("quit 4");
  return 0;
}

int TerminateOnThirdTick() {
  if (++timerTicks == 3) {
    Say("terminate from timer");
    Terminate();
  }
  return 0;
}

void OpenThree() {
  window1.Open();
  window1.SetQuitCallback(Quit1);
  window2.Open();
  window2.SetQuitCallback(Quit2);
  window3.Open();
  window3.SetQuitCallback(Quit3);
}

int OpenCount() {
  int n = 0;
  for (SimpleWindow* w : {&window1, &window2, &window3, &window4}) n += w->GetStatus() == WindowIsOpen;
  return n;
}

}  // namespace

int ApiEnd() {
  Say("apiend");
  return 1;
}

void ApiMain() {
  const char* env = std::getenv("RL_MODE");
  std::string mode = env ? env : "";
  if (mode == "return") {
    OpenThree();
    Say("terminate");
    Terminate();
    Say("after terminate");
  } else if (mode == "pump") {
    OpenThree();
    Terminate();
    // Each status query runs the event pump, which takes the returning
    // close events; give up after ten seconds.
    int rounds = 0;
    while (OpenCount() > 0 && rounds++ < 10000) usleep(1000);
    Say("open after pump " + std::to_string(OpenCount()));
    window4.Open();
    window4.SetQuitCallback(Quit4);
    window4.RenderText(Position(2.0, 2.0), "still here", Red, White);
    Say("reopened");
  } else if (mode == "twice") {
    OpenThree();
    Terminate();
    Terminate();
    Say("terminated twice");
  } else if (mode == "none") {
    Terminate();
    Say("terminated with nothing open");
    window1.Open();
    window1.SetQuitCallback(Quit1);
    Say("opened");
  } else if (mode == "timer") {
    window1.Open();
    window1.SetQuitCallback(Quit1);
    window2.Open();
    window2.SetQuitCallback(Quit2);
    window1.SetTimerCallback(TerminateOnThirdTick);
    window1.StartTimer(5);
    Say("timer started");
  } else {
    Say("unknown mode");
  }
}
