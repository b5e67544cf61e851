// The shapes a window can draw: rectangles, ellipses, polygons and lines,
// filled in a palette colour, with or without a black border. All sizes are
// in centimetres. Close the window to end.
#include <vector>

#include "slate.h"

namespace {

SimpleWindow window("Shapes", 14.0f, 9.0f, Position(1.0f, 1.0f));

}  // namespace

void ApiMain() {
  window.Open();

  // Top row: the same figures without a border (left) and with one (right).
  window.RenderRectangle(Position(1.0f, 1.0f), Position(3.0f, 3.0f), Blue);
  window.RenderRectangle(Position(4.0f, 1.0f), Position(6.0f, 3.0f), Blue, true);
  window.RenderEllipse(Position(7.0f, 1.0f), Position(10.0f, 3.0f), Red);
  window.RenderEllipse(Position(10.5f, 1.0f), Position(13.5f, 3.0f), Red, true);

  // Polygons: a triangle from an array, a star from a vector.
  const Position triangle[] = {Position(1.0f, 7.0f), Position(3.0f, 4.0f), Position(5.0f, 7.0f)};
  window.RenderPolygon(triangle, 3, Green, true);
  std::vector<Position> star = {Position(8.0f, 4.0f), Position(9.2f, 7.5f), Position(6.2f, 5.3f),
                                Position(9.8f, 5.3f), Position(6.8f, 7.5f)};
  window.RenderPolygon(star, static_cast<int>(star.size()), Magenta, true);

  // Lines: thin, 0.1 cm and 0.3 cm wide (round ends).
  window.RenderLine(Position(11.0f, 4.0f), Position(13.5f, 4.5f), Black);
  window.RenderLine(Position(11.0f, 5.5f), Position(13.5f, 6.0f), Cyan, 0.1f);
  window.RenderLine(Position(11.0f, 7.0f), Position(13.5f, 7.5f), Yellow, 0.3f);
}
