// Drawing kept in the backing pixmap. "rt paint" has no refresh callback:
// once covered and uncovered it must show its red and blue rectangles again.
// "rt paint cb" has a refresh callback: an exposure runs only the callback,
// which prints a line and repaints nothing. Ends when both are closed.
#include <cstdio>

#include "slate.h"

namespace {
SimpleWindow painted("rt paint", 8, 5, Position(1, 1));
SimpleWindow withCallback("rt paint cb", 8, 5, Position(10, 1));
int refreshes = 0;
int Refresh() {
  std::printf("refresh %d\n", ++refreshes);
  return 1;
}
}  // namespace

void ApiMain() {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  painted.Open();
  painted.RenderRectangle(Position(1, 1), Position(3, 3), Red);
  painted.RenderRectangle(Position(4, 1), Position(6, 3), Blue);
  withCallback.Open();
  withCallback.SetRefreshCallback(Refresh);
  withCallback.RenderRectangle(Position(1, 1), Position(3, 3), Green);
  std::printf("ready\n");
}
