// Text at any size: line heights in centimetres, three families and bold,
// UTF-8, alignment to a point, and a scoreboard whose names are right-aligned
// to a column as wide as the widest of them, measured first. The window looks
// the same on every screen. Close it to end.
#include <algorithm>
#include <cstdio>
#include <iterator>

#include "slate.h"

namespace {

SimpleWindow window("Text sizes", 16.0f, 11.0f, Position(1.0f, 1.0f));

const color Paper = RGBColor(250, 248, 242);
const color Ink = RGBColor(36, 40, 48);
const color Quiet = RGBColor(118, 124, 138);
const color Guide = RGBColor(214, 90, 60);
const color Band = RGBColor(255, 232, 150);
const color BarColours[] = {RGBColor(46, 134, 222), RGBColor(64, 170, 120), RGBColor(240, 170, 40),
                            RGBColor(200, 80, 140), RGBColor(130, 110, 210)};

struct Score {
  const char* Name;
  int Points;
};
const Score Scores[] = {{"Ada", 1280}, {"Grace", 1045}, {"Zoë", 870}, {"Margaret", 655}, {"Ken", 410}};

// Four sizes, each line as tall as it says.
void Sizes() {
  float top = 1.7f;
  for (float size : {0.25f, 0.4f, 0.6f, 0.9f}) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f cm", size);
    window.WriteText(Position(0.6f, top), text, Typeface(size), Ink);
    top += size + 0.2f;
  }
}

// The three families, regular and bold, and characters beyond ASCII.
void Families() {
  const char* families[] = {"sans", "serif", "mono"};
  for (size_t i = 0; i < std::size(families); ++i) {
    float top = 5.3f + i * 0.65f;
    window.WriteText(Position(0.6f, top), families[i], Typeface(0.45f, families[i]), Ink);
    window.WriteText(Position(2.3f, top), "bold", Typeface(0.45f, families[i], true), Ink);
  }
  window.WriteText(Position(0.6f, 7.4f), "café, naïve, 12 €, Ωμέγα", Typeface(0.45f, "serif"), Ink);
}

// Three lines aligned to points on one vertical line: by their left end,
// their middle (over a band) and their right end.
void Alignment() {
  const float x = 3.6f, top = 8.3f;
  window.RenderLine(Position(x, top - 0.2f), Position(x, top + 2.3f), Guide, 0.03f);
  window.WriteText(Position(x, top), "left", Typeface(0.5f), Ink, AlignLeft);
  window.WriteText(Position(x, top + 0.7f), "centred", Typeface(0.5f), Ink, AlignCenter, Band);
  window.WriteText(Position(x, top + 1.4f), "right", Typeface(0.5f), Ink, AlignRight);
}

// The scoreboard: the names' column is as wide as the widest name, measured,
// with the names right-aligned to it; bars from there, the points after them.
void Scoreboard() {
  const Typeface name(0.5f), points(0.45f, "mono", true);
  const float left = 7.0f, top = 2.7f, pitch = 0.9f, longest = 5.0f;
  float column = 0;
  for (const Score& s : Scores) column = std::max(column, window.MeasureText(s.Name, name).GetXDistance());
  window.WriteText(Position(left, 1.4f), "High scores", Typeface(0.7f, "serif", true), Ink);
  float barLeft = left + column + 0.3f;
  for (size_t i = 0; i < std::size(Scores); ++i) {
    float y = top + i * pitch, width = longest * Scores[i].Points / Scores[0].Points;
    window.WriteText(Position(left + column, y), Scores[i].Name, name, Ink, AlignRight);
    window.RenderRectangle(Position(barLeft, y), Position(barLeft + width, y + 0.5f),
                           BarColours[i % std::size(BarColours)]);
    char text[16];
    std::snprintf(text, sizeof text, "%d", Scores[i].Points);
    window.WriteText(Position(barLeft + width + 0.2f, y + 0.03f), text, points, Quiet);
  }
  window.WriteText(Position(15.4f, 7.6f), "names measured, right-aligned", Typeface(0.3f), Quiet, AlignRight);
}

}  // namespace

void ApiMain() {
  window.Open();
  window.RenderRectangle(Position(0, 0), Position(16, 11), Paper);
  window.WriteText(Position(8, 0.3f), "Text at any size", Typeface(0.8f, "serif", true), Ink, AlignCenter);
  Sizes();
  Families();
  Alignment();
  Scoreboard();
}
