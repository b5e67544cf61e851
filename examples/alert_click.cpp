// A window with one line of text; clicking anywhere in it shows an alert box
// with the click's position. Dismiss the box with "O K"; close the window to end.
#include <cstdio>

#include "slate.h"

namespace {

SimpleWindow window("Alert example", 10.0f, 5.0f, Position(2.0f, 2.0f));

int OnClick(const Position& click) {
  char text[64];
  std::snprintf(text, sizeof text, "You clicked at %.1f cm, %.1f cm.", click.GetXDistance(),
                click.GetYDistance());
  window.Message(text);
  return 1;
}

}  // namespace

void ApiMain() {
  window.Open();
  window.WriteText(Position(5.0f, 2.25f), "Click anywhere in this window.", Typeface(0.5f), Black,
                   AlignCenter);
  window.SetMouseClickCallback(OnClick);
}
