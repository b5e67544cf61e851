// A bar chart of the values given as arguments, for example
//
//   ./chart apples=12 pears=7 plums=9
//
// (with none, a sample). Each value is a whole number from 0 to 100. On a
// bad argument the program says why on standard error and ends with exit
// status 2. Drag the top of a bar to change its value; S sorts the bars;
// the chart fits the window when it is resized. Closing the window prints
// the values in the form of the arguments.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "slate.h"

namespace {

struct Bar {
  std::string Name;
  int Value;
  color Fill = Black;
};

constexpr int MaxValue = 100;

// "name=number" with a number from 0 to MaxValue; false for anything else.
bool ParseBar(const std::string& argument, Bar* bar) {
  size_t equals = argument.find('=');
  if (equals == 0 || equals == std::string::npos || equals + 1 == argument.size()) return false;
  std::string number = argument.substr(equals + 1);
  if (number.size() > 3 || number.find_first_not_of("0123456789") != std::string::npos) return false;
  bar->Name = argument.substr(0, equals);
  bar->Value = std::atoi(number.c_str());
  return bar->Value <= MaxValue;
}

class Chart {
 public:
  explicit Chart(std::vector<Bar> bars) : Bars(std::move(bars)) {}

  void Show() {
    Window.Open();
    for (size_t i = 0; i < Bars.size(); ++i)
      Bars[i].Fill = RGBColor(60 + static_cast<int>(i * 47 % 160), 120, 200 - static_cast<int>(i * 31 % 120));
    // Every callback is a lambda that captures the chart.
    Window.SetMousePressCallback(
        [this](const Position& at, int button) { Dragged = button == LeftMouseButton ? BarAt(at) : -1; });
    Window.SetMouseDragCallback([this](const Position& at) { DragTo(at); });
    Window.SetMouseReleaseCallback([this](const Position&, int) { Dragged = -1; });
    Window.SetKeyPressCallback([this](const Key& key) {
      if (key.Symbol != 's') return;
      std::stable_sort(Bars.begin(), Bars.end(),
                       [](const Bar& a, const Bar& b) { return a.Value > b.Value; });
      Draw();
    });
    Window.SetResizeCallback([this](const Position&) { Draw(); });
    Window.SetQuitCallback([this] {
      for (const Bar& bar : Bars) std::printf("%s=%d ", bar.Name.c_str(), bar.Value);
      std::printf("\n");
    });
    Draw();
  }

 private:
  // The chart's layout in the window's current size, in cm.
  float Left() const { return 1.0f; }
  float Base() const { return Window.GetHeight() - 1.5f; }
  float Top() const { return 1.5f; }
  float Slot() const { return (Window.GetWidth() - 2 * Left()) / Bars.size(); }
  float Height(int value) const { return (Base() - Top()) * value / MaxValue; }

  void Draw() {
    Window.Erase(Position(0, 0), Window.GetWidth(), Window.GetHeight());
    Window.WriteText(Position(Window.GetWidth() / 2, 0.35f), "Drag a bar's top; S sorts.", Typeface(0.5f),
                     Black, AlignCenter);
    for (size_t i = 0; i < Bars.size(); ++i) DrawBar(i);
    Window.RenderLine(Position(Left() - 0.2f, Base()), Position(Window.GetWidth() - Left() + 0.2f, Base()),
                      Black, 0.05f);
  }

  void DrawBar(size_t i) {
    const Bar& bar = Bars[i];
    float x0 = Left() + Slot() * i + Slot() * 0.15f, x1 = Left() + Slot() * (i + 1) - Slot() * 0.15f;
    Position top(x0, Base() - Height(bar.Value)), bottom(x1, Base());
    Window.RenderRectangle(top, bottom, bar.Fill, false);
    Window.RenderRectangleOutline(top, bottom, Black, 0.05f);
    float middle = (x0 + x1) / 2;
    Window.WriteText(Position(middle, Base() + 0.35f), bar.Name, Typeface(0.45f), Black, AlignCenter);
    Window.WriteText(Position(middle, top.GetYDistance() - 0.6f), std::to_string(bar.Value),
                     Typeface(0.45f, "sans", true), Black, AlignCenter);
  }

  // The bar under a point, or -1.
  int BarAt(const Position& at) const {
    float slot = (at.GetXDistance() - Left()) / Slot();
    return slot >= 0 && slot < Bars.size() ? static_cast<int>(slot) : -1;
  }

  void DragTo(const Position& at) {
    if (Dragged < 0) return;
    float value = (Base() - at.GetYDistance()) / (Base() - Top()) * MaxValue;
    Bars[Dragged].Value = std::clamp(static_cast<int>(value + 0.5f), 0, MaxValue);
    Draw();
  }

  std::vector<Bar> Bars;
  int Dragged = -1;
  SimpleWindow Window{"Chart", 14.0f, 9.0f, Position(1.0f, 1.0f)};
};

}  // namespace

void ApiMain() {
  std::vector<Bar> bars;
  const std::vector<std::string>& arguments = ProgramArguments();
  for (size_t i = 1; i < arguments.size(); ++i) {
    Bar bar;
    if (!ParseBar(arguments[i], &bar)) {
      std::fprintf(stderr, "chart: '%s' is not name=number with a number from 0 to %d\n",
                   arguments[i].c_str(), MaxValue);
      SetExitStatus(2);
      return;
    }
    bars.push_back(bar);
  }
  if (bars.empty()) bars = {{"apples", 12}, {"pears", 7}, {"plums", 9}, {"figs", 4}};
  static Chart chart(bars);
  chart.Show();
}
