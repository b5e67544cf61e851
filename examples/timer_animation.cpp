// A ball bounces between the window's edges, one step every 40 ms, driven by
// the window's timer. A click stops the timer, and the ball with it. Close
// the window to end.
#include "slate.h"

namespace {

SimpleWindow window("Timer animation", 12.0f, 4.0f, Position(1.0f, 1.0f));

const float kSize = 1.0f;  // ball diameter, cm
const float kTop = 1.5f;   // upper edge of the ball, cm
float x = 0.0f;            // left edge of the ball, cm
float step = 0.2f;         // cm per tick; the sign gives the direction

int Tick() {
  window.Erase(Position(x, kTop), kSize, kSize);
  if (x + step < 0.0f || x + step + kSize > window.GetWidth()) step = -step;
  x += step;
  window.RenderEllipse(Position(x, kTop), Position(x + kSize, kTop + kSize), Red);
  return 1;
}

int Stop(const Position&) {
  window.StopTimer();
  window.WriteText(Position(6.0f, 3.25f), "Stopped.", Typeface(0.5f), Black, AlignCenter, White);
  return 1;
}

}  // namespace

void ApiMain() {
  window.Open();
  window.WriteText(Position(6.0f, 0.35f), "Click to stop the ball.", Typeface(0.5f), Black, AlignCenter);
  window.RenderEllipse(Position(x, kTop), Position(x + kSize, kTop + kSize), Red);
  window.SetTimerCallback(Tick);
  window.SetMouseClickCallback(Stop);
  window.StartTimer(40);
}
