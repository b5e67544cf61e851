// Paint: drag with the left mouse button to draw, with the right one to
// rub out. Keys 1 to 8 choose the colour, + and - (or the wheel) the size of
// the brush, C clears the page. The line at the bottom shows the colours,
// with the chosen one raised, and the brush size. Close the window to end.
#include <algorithm>
#include <cstdio>

#include "slate.h"

namespace {

const float PageWidth = 16, PageHeight = 10.2f;  // the drawing area, cm
const float BarHeight = 0.8f;                    // the status line below it

SimpleWindow window("Paint", PageWidth, PageHeight + BarHeight, Position(1, 1));

const color Paper = RGBColor(252, 250, 242);
const color BarColour = RGBColor(214, 216, 224);
const color Inks[] = {RGBColor(30, 30, 36),   RGBColor(220, 40, 60), RGBColor(250, 140, 30),
                      RGBColor(246, 206, 40), RGBColor(60, 170, 80), RGBColor(40, 130, 230),
                      RGBColor(140, 70, 200), RGBColor(120, 80, 50)};
const int InkCount = 8;

int ink = 0;         // index into Inks
float brush = 0.3f;  // diameter, cm
int stroke = 0;      // the button that draws the stroke under way, 0 for none
Position last;       // where the stroke was last drawn

void DrawBar() {
  float top = PageHeight;
  window.RenderRectangle(Position(0, top), Position(PageWidth, top + BarHeight), BarColour);
  for (int i = 0; i < InkCount; ++i) {
    // The chosen colour is larger and outlined.
    float grow = i == ink ? 0.08f : 0;
    Position corner(0.3f + i * 0.8f, top);
    window.RenderRectangle(corner + Position(0.1f - grow, 0.15f - grow),
                           corner + Position(0.7f + grow, BarHeight - 0.15f + grow), Inks[i], i == ink);
  }
  // The help, right-aligned in the room the swatches leave, and made smaller
  // should it not fit there.
  char text[64];
  std::snprintf(text, sizeof text, "Brush %.1f cm   1-8 colour   +/- size   C clear", brush);
  const float right = PageWidth - 0.3f, room = right - (0.3f + InkCount * 0.8f + 0.3f);
  Typeface help(0.38f);
  float width = window.MeasureText(text, help).GetXDistance();
  if (width > room) help.Size *= room / width;
  window.WriteText(Position(right, top + (BarHeight - help.Size) / 2), text, help, Black, AlignRight);
}

color StrokeColour() {
  return stroke == RightMouseButton ? Paper : Inks[ink];
}

// A stroke that reaches into the status line is drawn over by it again.
void KeepBar(const Position& p) {
  if (p.GetYDistance() + brush / 2 >= PageHeight) DrawBar();
}

int Pressed(const Position& at, int button) {
  if (button == 4 || button == 5) {  // the wheel
    brush = std::clamp(brush + (button == 4 ? 0.1f : -0.1f), 0.1f, 2.0f);
    DrawBar();
    return 1;
  }
  if (stroke) return 1;  // one stroke at a time
  stroke = button;
  Position half(brush / 2, brush / 2);
  window.RenderEllipse(at - half, at + half, StrokeColour());
  last = at;
  KeepBar(at);
  return 1;
}

int Dragged(const Position& at) {
  if (!stroke) return 1;
  // Round ends as wide as the brush: segments join without seams.
  window.RenderLine(last, at, StrokeColour(), brush);
  last = at;
  KeepBar(at);
  return 1;
}

int Released(const Position&, int button) {
  if (button == stroke) stroke = 0;
  return 1;
}

int Typed(const Key& key) {
  if (key.Text.size() == 1 && key.Text[0] >= '1' && key.Text[0] < '1' + InkCount) {
    ink = key.Text[0] - '1';
  } else if (key.Text == "+" || key.Text == "=") {
    brush = std::min(brush + 0.1f, 2.0f);
  } else if (key.Text == "-") {
    brush = std::max(brush - 0.1f, 0.1f);
  } else if (key.Symbol == 'c') {
    window.RenderRectangle(Position(0, 0), Position(PageWidth, PageHeight), Paper);
  } else {
    return 0;
  }
  DrawBar();
  return 1;
}

}  // namespace

void ApiMain() {
  window.Open();
  window.RenderRectangle(Position(0, 0), Position(PageWidth, PageHeight), Paper);
  DrawBar();
  window.SetMousePressCallback(Pressed);
  window.SetMouseDragCallback(Dragged);
  window.SetMouseReleaseCallback(Released);
  window.SetKeyPressCallback(Typed);
}
