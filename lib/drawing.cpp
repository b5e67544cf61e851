// SimpleWindow's shapes: rectangles, ellipses, polygons, lines, outlines,
// pixmap copies and erasing, in centimetres, through the window's surface.
#include <X11/Xlib.h>

#include <algorithm>
#include <climits>
#include <iostream>
#include <vector>

#include "event_loop.h"
#include "protocol.h"
#include "runtime.h"
#include "surface.h"

using slate::PaletteColor;
using slate::ToShort;
using slate::ToSize;

namespace {

// The box between two corners in pixels: each corner converted on its own,
// the size the difference of the converted corners. Corners given the wrong
// way round are put in order.
struct CornerBox {
  CornerBox(const Position& a, const Position& b) {
    int xa = l_to_d(a.GetXDistance()), xb = l_to_d(b.GetXDistance());
    int ya = l_to_d(a.GetYDistance()), yb = l_to_d(b.GetYDistance());
    X = ToShort(std::min(xa, xb));
    Y = ToShort(std::min(ya, yb));
    W = ToSize(static_cast<long>(std::max(xa, xb)) - std::min(xa, xb));
    H = ToSize(static_cast<long>(std::max(ya, yb)) - std::min(ya, yb));
  }
  short X, Y;
  unsigned short W, H;
};

// The vertices in pixels, with the first again at the end to close the
// figure. A polygon goes in one request (the even-odd fill needs every
// vertex at once, and a line its joins), which must not be longer than the
// server takes: beyond that, a message and no points.
std::vector<XPoint> ClosedPoints(const Position* vertices, int count, long requestHeader) {
  long most = slate::RequestRoom(requestHeader) / slate::PointBytes - 1;
  if (count > most) {
    std::cout << "Unable to draw a polygon of " << count << " vertices: the X server takes at most " << most
              << ".\n"
              << std::flush;
    return {};
  }
  std::vector<XPoint> points(static_cast<size_t>(count) + 1);
  for (int i = 0; i < count; ++i) {
    points[i].x = ToShort(l_to_d(vertices[i].GetXDistance()));
    points[i].y = ToShort(l_to_d(vertices[i].GetYDistance()));
  }
  points[count] = points[0];
  return points;
}

// A line width in pixels; under one pixel, the server's thin line.
int LineWidth(float centimetres) {
  return std::clamp(l_to_d(centimetres), 0, SHRT_MAX);
}

// As many vertices as count asks for, but never past the vector's end.
int Available(const std::vector<Position>& vertices, int count) {
  return std::min(count, static_cast<int>(std::min<size_t>(vertices.size(), INT_MAX - 1)));
}

// The outline of a filled figure: in the fill colour, or black with a border.
unsigned long EdgeColour(const color& c, bool border) {
  return border ? ColorTable[Black] : PaletteColor(c);
}

}  // namespace

void SimpleWindow::RenderRectangle(const Position& upperLeft, const Position& lowerRight, const color& c,
                                   bool border) {
  if (!IsLive()) return;
  CornerBox b(upperLeft, lowerRight);
  if (!border) {
    // The outline in the fill colour adds the right column and the bottom
    // row: one fill a pixel larger covers exactly the same pixels.
    Canvas().FillRectangle(PaletteColor(c), b.X, b.Y, b.W + 1u, b.H + 1u);
  } else {
    Canvas().FillRectangle(PaletteColor(c), b.X, b.Y, b.W, b.H);
    Canvas().StrokeRectangle(ColorTable[Black], 0, b.X, b.Y, b.W, b.H);
  }
  slate::Pump();
}

void SimpleWindow::RenderEllipse(const Position& upperLeft, const Position& lowerRight, const color& c,
                                 bool border) {
  if (!IsLive()) return;
  CornerBox b(upperLeft, lowerRight);
  Canvas().FillEllipse(PaletteColor(c), b.X, b.Y, b.W, b.H);
  Canvas().StrokeEllipse(EdgeColour(c, border), 0, b.X, b.Y, b.W, b.H);
  slate::Pump();
}

void SimpleWindow::RenderPolygon(const Position* vertices, int count, const color& c, bool border) {
  if (!IsLive() || !vertices || count < 1) return;
  std::vector<XPoint> points = ClosedPoints(vertices, count, slate::FillPolyHeader);
  if (points.empty()) return;
  Canvas().FillPolygon(PaletteColor(c), points.data(), count + 1);
  Canvas().StrokeLines(EdgeColour(c, border), 0, points.data(), count + 1);
  slate::Pump();
}

void SimpleWindow::RenderPolygon(const std::vector<Position>& vertices, int count, const color& c,
                                 bool border) {
  RenderPolygon(vertices.data(), Available(vertices, count), c, border);
}

void SimpleWindow::RenderLine(const Position& start, const Position& end, const color& c, float width) {
  if (!IsLive()) return;
  short x0 = ToShort(l_to_d(start.GetXDistance())), y0 = ToShort(l_to_d(start.GetYDistance()));
  short x1 = ToShort(l_to_d(end.GetXDistance())), y1 = ToShort(l_to_d(end.GetYDistance()));
  Canvas().Line(PaletteColor(c), LineWidth(width), x0, y0, x1, y1);
  slate::Pump();
}

void SimpleWindow::RenderRectangleOutline(const Position& upperLeft, const Position& lowerRight,
                                          const color& c, float width) {
  if (!IsLive()) return;
  CornerBox b(upperLeft, lowerRight);
  Canvas().StrokeRectangle(PaletteColor(c), LineWidth(width), b.X, b.Y, b.W, b.H);
  slate::Pump();
}

void SimpleWindow::RenderEllipseOutline(const Position& upperLeft, const Position& lowerRight, const color& c,
                                        float width) {
  if (!IsLive()) return;
  CornerBox b(upperLeft, lowerRight);
  Canvas().StrokeEllipse(PaletteColor(c), LineWidth(width), b.X, b.Y, b.W, b.H);
  slate::Pump();
}

void SimpleWindow::RenderPolygonOutline(const Position* vertices, int count, const color& c, float width) {
  if (!IsLive() || !vertices || count < 1) return;
  // A line that ends where it started is joined there too.
  std::vector<XPoint> points = ClosedPoints(vertices, count, slate::PolyLineHeader);
  if (points.empty()) return;
  Canvas().StrokeLines(PaletteColor(c), LineWidth(width), points.data(), static_cast<int>(points.size()));
  slate::Pump();
}

void SimpleWindow::RenderPolygonOutline(const std::vector<Position>& vertices, int count, const color& c,
                                        float width) {
  RenderPolygonOutline(vertices.data(), Available(vertices, count), c, width);
}

void SimpleWindow::DrawBitMap(const unsigned long& pixmap, const Position& upperLeft, const Position& size) {
  if (!IsLive() || pixmap == 0) return;
  unsigned int width = static_cast<unsigned int>(std::clamp(l_to_d(size.GetXDistance()), 0, SHRT_MAX));
  unsigned int height = static_cast<unsigned int>(std::clamp(l_to_d(size.GetYDistance()), 0, SHRT_MAX));
  short x = ToShort(l_to_d(upperLeft.GetXDistance())), y = ToShort(l_to_d(upperLeft.GetYDistance()));
  Canvas().Copy(pixmap, None, width, height, x, y);
  slate::Pump();
}

void SimpleWindow::Erase(const Position& upperLeft, float width, float height) {
  if (!IsLive()) return;
  Position lowerRight = upperLeft + Position(width, height);
  RenderRectangle(upperLeft, lowerRight, White, false);
}
