// A PNG picture with transparent and half-transparent parts (balloon.png,
// in the working directory) that follows the pointer over a striped sky:
// the sky shows through around the balloon and through its highlight. The
// balloon is 1 x 1.5 cm on every screen, whatever its pixels. The scene's
// state lives in one object whose callbacks are lambdas that capture it.
// Close the window to end.
#include <algorithm>
#include <cstdio>

#include "slate.h"

namespace {

class Scene {
 public:
  void Start() {
    Window.Open();
    if (Balloon.Load("balloon.png") != PictureLoaded) {
      std::fprintf(stderr,
                   "Could not load balloon.png; run this program from the directory that holds it.\n");
      Window.WriteText(Window.GetCenter() - Position(0, 0.25f), "balloon.png could not be loaded.",
                       Typeface(0.5f), Red, AlignCenter);
      return;
    }
    Sky(Position(0, 0), Position(Width, Height));
    Balloon.SetSize(1.0f, 1.5f);
    Balloon.SetPosition(Position(5.5f, 3.0f));
    Balloon.Draw();
    // Runs as the pointer moves with no button held: the balloon follows it.
    Window.SetMouseMoveCallback([this](const Position& at) { MoveTo(at); });
  }

 private:
  // Paints the sky's bands over the box between two corners, then the
  // clouds' outlines and the line of text.
  void Sky(const Position& from, const Position& to) {
    const int bands = 6;
    float band = Height / bands;
    for (int i = 0; i < bands; ++i) {
      float top = std::max(from.GetYDistance(), i * band),
            bottom = std::min(to.GetYDistance(), (i + 1) * band);
      if (top >= bottom) continue;
      int light = 120 + 20 * i;
      Window.RenderRectangle(Position(from.GetXDistance(), top), Position(to.GetXDistance(), bottom),
                             RGBColor(light - 80, light - 20, 255), false);
    }
    Window.RenderEllipseOutline(Position(1, 5), Position(4, 6.5f), White, 0.1f);
    Window.RenderEllipseOutline(Position(8, 1.5f), Position(11, 2.8f), White, 0.1f);
    Window.WriteText(Position(Width / 2, 0.35f), "Move the pointer over the sky.", Typeface(0.5f), Black,
                     AlignCenter, White);
  }

  // Puts the balloon's centre on the pointer; the sky is painted again
  // where it was.
  void MoveTo(const Position& at) {
    Position old = Balloon.GetPosition();
    Sky(old, old + Position(Balloon.GetWidth(), Balloon.GetHeight()));
    Balloon.SetPosition(at - Position(Balloon.GetWidth() / 2, Balloon.GetHeight() / 2));
    Balloon.Draw();
  }

  const float Width = 12.0f, Height = 8.0f;
  SimpleWindow Window{"Sprite", Width, Height, Position(1.0f, 1.0f)};
  BitMap Balloon{Window};
};

Scene scene;

}  // namespace

void ApiMain() {
  scene.Start();
}
