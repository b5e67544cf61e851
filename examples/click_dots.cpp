// Click anywhere in the window to draw a dot there; each dot takes the next
// colour of the palette. Close the window to end.
#include "slate.h"

namespace {

SimpleWindow window("Click dots", 12.0f, 8.0f, Position(1.0f, 1.0f));

const color kDotColors[] = {Red, Green, Blue, Magenta, Cyan, Black};
const float kRadius = 0.25f;  // centimetres
int dots = 0;

// The click position is in centimetres from the window's upper-left corner.
int DrawDot(const Position& click) {
  Position half(kRadius, kRadius);
  window.RenderEllipse(click - half, click + half, kDotColors[dots % 6]);
  ++dots;
  return 1;
}

}  // namespace

void ApiMain() {
  window.Open();
  window.WriteText(Position(6.0f, 0.35f), "Click to draw a dot.", Typeface(0.5f), Black, AlignCenter);
  window.SetMouseClickCallback(DrawDot);
}
