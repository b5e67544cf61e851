// The window is never opened.
#include "slate.h"

SimpleWindow window("Counter", 8.0f, 6.0f, Position(1.0f, 1.0f));

void ApiMain() {
  window.RenderRectangle(Position(1.0f, 1.0f), Position(2.0f, 2.0f), Red);
}
