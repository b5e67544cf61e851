// A ship that turns and a shield that shows what is behind it: a PNG
// picture with transparent parts (ship.png, in the working directory)
// drawn 1.6 cm wide on every screen and turned about its centre by the
// arrow keys, over a field of stars; space raises or lowers a shield, a
// disc of a colour with alpha. The window draws its shapes smooth. Close
// the window to end.
#include <cstdio>

#include "slate.h"

namespace {

class Scene {
 public:
  void Start() {
    Window.Open();
    Window.SetSmooth(true);
    if (Ship.Load("ship.png") != PictureLoaded) {
      std::fprintf(stderr, "Could not load ship.png; run this program from the directory that holds it.\n");
      Window.WriteText(Window.GetCenter() - Position(0, 0.25f), "ship.png could not be loaded.",
                       Typeface(0.5f), Red, AlignCenter);
      return;
    }
    Ship.SetWidth(1.6f);
    Ship.SetPosition(Centre - Position(0.8f, 0.8f));
    Paint();
    Window.SetKeyPressCallback([this](const Key& key) {
      if (key.Symbol == KeyLeft || key.Symbol == KeyRight) {
        // 15 degrees a press, clockwise to the right, about the ship's centre.
        Ship.SetAngle(Ship.GetAngle() + (key.Symbol == KeyRight ? 15.0f : -15.0f));
      } else if (key.Symbol == KeySpace) {
        Shielded = !Shielded;
      } else {
        return;
      }
      Paint();
    });
  }

 private:
  // The whole scene: the sky and its stars, the shield behind the ship
  // and over the stars, the ship, the line of help.
  void Paint() {
    Window.RenderRectangle(Position(0, 0), Position(Width, Height), RGBColor(10, 15, 40), false);
    for (int i = 0; i < 60; ++i) {
      // Places that look scattered, the same every time.
      float x = (i * 37 % 120) / 10.0f, y = (i * 53 % 70) / 10.0f + 0.9f, size = 0.04f + (i % 4) * 0.02f;
      Window.RenderEllipse(Position(x, y), Position(x + size, y + size), i % 5 ? White : Yellow, false);
    }
    Window.RenderLine(Position(1, 7), Position(11, 6.2f), RGBColor(255, 255, 255, 60), 0.3f);
    if (Shielded) {
      Window.RenderEllipse(Centre - Position(1.3f, 1.3f), Centre + Position(1.3f, 1.3f),
                           RGBColor(90, 200, 255, 96), false);
      Window.RenderEllipseOutline(Centre - Position(1.3f, 1.3f), Centre + Position(1.3f, 1.3f),
                                  RGBColor(160, 230, 255, 200), 0.06f);
    }
    Ship.Draw();
    Window.WriteText(Position(Width / 2, 0.3f), "Left and Right turn the ship; space raises the shield.",
                     Typeface(0.45f), White, AlignCenter);
  }

  const float Width = 12.0f, Height = 8.0f;
  const Position Centre{6.0f, 4.3f};
  SimpleWindow Window{"Ship", Width, Height, Position(1.0f, 1.0f)};
  BitMap Ship{Window};
  bool Shielded = false;
};

Scene scene;

}  // namespace

void ApiMain() {
  scene.Start();
}
