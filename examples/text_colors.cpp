// Text in each of the eight palette colours, once on white and once on black,
// so that every colour shows on one of the two. Close the window to end.
#include "slate.h"

namespace {

SimpleWindow window("Text colours", 12.0f, 9.0f, Position(1.0f, 1.0f));

const color kColors[] = {Black, White, Red, Green, Blue, Yellow, Cyan, Magenta};
const char* const kNames[] = {"Black", "White", "Red", "Green", "Blue", "Yellow", "Cyan", "Magenta"};

}  // namespace

void ApiMain() {
  window.Open();
  window.RenderRectangle(Position(6.0f, 0.0f), Position(12.0f, 9.0f), Black);
  for (int i = 0; i < 8; ++i) {
    float y = 1.0f + i;  // one line a centimetre
    window.RenderText(Position(3.0f, y), kNames[i], kColors[i], White);
    window.RenderText(Position(9.0f, y), kNames[i], kColors[i], Black);
  }
}
