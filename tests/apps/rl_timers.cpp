// Five windows whose 1 ms timers draw a running tick count while the user
// clicks them.
//
// Output (stdout, flushed line by line):
//   "ready"                          once every window is open and listening
//   "click <window> <x> <y>"         for every click, centimetres in the window
//   "ticks <window> <count>"         when a window is closed from outside
// The program ends when the last window has been closed.
#include <cstdio>
#include <string>

#include "slate.h"

namespace {

constexpr int kWindows = 5;

// Three windows on the top row and two below, 5 x 5 cm with 1 cm between.
SimpleWindow window0("rl timers 0", 5.0, 5.0, Position(1.0, 1.0));
SimpleWindow window1("rl timers 1", 5.0, 5.0, Position(7.0, 1.0));
SimpleWindow window2("rl timers 2", 5.0, 5.0, Position(13.0, 1.0));
SimpleWindow window3("rl timers 3", 5.0, 5.0, Position(1.0, 7.0));
SimpleWindow window4("rl timers 4", 5.0, 5.0, Position(7.0, 7.0));
SimpleWindow* const windows[kWindows] = {&window0, &window1, &window2, &window3, &window4};
long ticks[kWindows];

template <int N>
int Tick() {
  ++ticks[N];
  windows[N]->RenderText(Position(2.5, 2.5), "tick " + std::to_string(ticks[N]), Blue, White);
  return 0;
}

template <int N>
int Click(const Position& p) {
  std::printf("click %d %.5f %.5f\n", N, p.GetXDistance(), p.GetYDistance());
  std::fflush(stdout);
  return 0;
}

template <int N>
int Quit() {
  std::printf("ticks %d %ld\n", N, ticks[N]);
  std::fflush(stdout);
  return 0;
}

template <int N>
void Setup() {
  SimpleWindow& w = *windows[N];
  w.Open();
  w.SetTimerCallback(Tick<N>);
  w.SetMouseClickCallback(Click<N>);
  w.SetQuitCallback(Quit<N>);
  w.StartTimer(1);
}

}  // namespace

void ApiMain() {
  Setup<0>();
  Setup<1>();
  Setup<2>();
  Setup<3>();
  Setup<4>();
  std::printf("ready\n");
  std::fflush(stdout);
}
