// A picture read from an XPM file (face.xpm, in the working directory),
// 1.2 cm wide on every screen, that moves to wherever the window is
// clicked: erase it, set its new position, draw it again. Close the window
// to end.
#include <cstdio>

#include "slate.h"

namespace {

SimpleWindow window("Picture move", 12.0f, 8.0f, Position(1.0f, 1.0f));
BitMap picture(window);

// Puts the picture's centre on the click (centimetres in the window).
int MoveTo(const Position& click) {
  picture.Erase();
  picture.SetPosition(click - Position(picture.GetWidth() / 2, picture.GetHeight() / 2));
  picture.Draw();
  return 1;
}

}  // namespace

void ApiMain() {
  window.Open();
  if (picture.Load("face.xpm") != PictureLoaded) {
    std::fprintf(stderr, "Could not load face.xpm; run this program from the directory that holds it.\n");
    window.WriteText(window.GetCenter() - Position(0, 0.25f), "face.xpm could not be loaded.", Typeface(0.5f),
                     Red, AlignCenter);
    return;
  }
  window.WriteText(Position(6.0f, 0.35f), "Click to move the picture.", Typeface(0.5f), Black, AlignCenter);
  picture.SetWidth(1.2f);
  picture.SetPosition(Position(1.0f, 2.0f));
  picture.Draw();
  window.SetMouseClickCallback(MoveTo);
}
