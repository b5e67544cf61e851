// Callbacks that close windows from inside the event loop. Three windows
// are open, each with a 1 ms timer counting its ticks and a click callback.
// The scenario is chosen by the environment variable RL_MODE:
//   timer-self    window 1's timer closes window 1 on its fifth tick
//   timer-other   window 1's timer closes window 2 on its fifth tick
//   timer-all     window 1's timer closes every window on its fifth tick
//   timer-reopen  window 1's timer closes and reopens window 1 on each of
//                 its first 50 ticks, restarting its own timer
//   click-self    a click on window 1 closes window 1
//   click-all     a click on window 1 closes every window
// Output, flushed line by line: "ready"; "closed <n>" when a callback has
// closed window n; "reopened <count>"; "quit <n> ticks <count>" when a
// window is closed from outside; "ticks <a> <b> <c>" at exit; and
// "LATE TICK <n>" if a timer ever fires for a window that is not open.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "slate.h"

namespace {

SimpleWindow window1("rl closer 1", 4.0, 4.0, Position(1.0, 1.0));
SimpleWindow window2("rl closer 2", 4.0, 4.0, Position(6.0, 1.0));
SimpleWindow window3("rl closer 3", 4.0, 4.0, Position(11.0, 1.0));
SimpleWindow* const windows[3] = {&window1, &window2, &window3};
long ticks[3];
int reopened = 0;
std::string mode;

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void CloseAndSay(int n) {
  windows[n - 1]->Close();
  Say("closed " + std::to_string(n));
}

void CloseEverything() {
  for (int n = 1; n <= 3; ++n)
    if (windows[n - 1]->GetStatus() == WindowIsOpen) CloseAndSay(n);
}

template <int N>
int Tick() {
  SimpleWindow& self = *windows[N - 1];
  // A closed window's timer must be stopped; GetStatus does not pump here
  // because this runs after ApiMain or inside a pump pass.
  if (self.GetStatus() != WindowIsOpen) Say("LATE TICK " + std::to_string(N));
  long t = ++ticks[N - 1];
  self.RenderText(Position(2.0, 2.0), std::to_string(t), Blue, White);
  if (N != 1) return 0;
  if (mode == "timer-self" && t == 5) CloseAndSay(1);
  if (mode == "timer-other" && t == 5) CloseAndSay(2);
  if (mode == "timer-all" && t == 5) CloseEverything();
  if (mode == "timer-reopen" && reopened < 50) {
    self.Close();
    self.Open();
    self.StartTimer(1);
    if (++reopened == 50) Say("reopened 50");
  }
  return 0;
}

template <int N>
int Click(const Position&) {
  if (N != 1) return 0;
  if (mode == "click-self") CloseAndSay(1);
  if (mode == "click-all") CloseEverything();
  return 0;
}

template <int N>
int Quit() {
  Say("quit " + std::to_string(N) + " ticks " + std::to_string(ticks[N - 1]));
  return 0;
}

template <int N>
void Setup() {
  SimpleWindow& w = *windows[N - 1];
  w.Open();
  w.SetTimerCallback(Tick<N>);
  w.SetMouseClickCallback(Click<N>);
  w.SetQuitCallback(Quit<N>);
  w.StartTimer(1);
}

// Written when the process ends, whichever way the loop ended.
struct Report {
  ~Report() {
    std::printf("ticks %ld %ld %ld\n", ticks[0], ticks[1], ticks[2]);
    std::fflush(stdout);
  }
} report;

}  // namespace

void ApiMain() {
  const char* env = std::getenv("RL_MODE");
  mode = env ? env : "";
  Setup<1>();
  Setup<2>();
  Setup<3>();
  Say("ready");
}
