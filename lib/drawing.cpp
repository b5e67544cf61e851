// SimpleWindow's shapes: rectangles, ellipses, polygons, lines, outlines,
// pixmap copies and erasing, in centimetres, through the window's surface;
// aliased on whole pixels (the X server's own figures), or smooth: polygons
// with fractions of pixels whose coverage Render computes.
#include <X11/Xlib.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <iostream>
#include <vector>

#include "event_loop.h"
#include "protocol.h"
#include "runtime.h"
#include "surface.h"

using slate::InkOf;
using slate::ToShort;
using slate::ToSize;
using Points = slate::Surface::Points;

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

// ---------------------------------------------------------------------------
// Smooth figures: points in pixels with their fractions, where a pixel's
// centre lies half a pixel past its coordinates. Each figure is one polygon
// (even-odd) or the union of a few.
// ---------------------------------------------------------------------------

// Centimetres to pixels, unrounded, kept where Render's fixed-point
// coordinates reach (as the aliased figures keep theirs to 16 bits).
double Exact(float centimetres) {
  double pixels = static_cast<double>(centimetres) * PixelsPerCentimeter;
  return std::isnan(pixels) ? 0.0 : std::clamp(pixels, -32000.0, 32000.0);
}

// The centre of the pixel a point in cm falls in, and beyond its fractions.
XPointDouble Centre(const Position& p) {
  return {Exact(p.GetXDistance()) + 0.5, Exact(p.GetYDistance()) + 0.5};
}

// Vertices enough that the polygon strays from its ellipse by under a tenth
// of a pixel.
int Steps(double radius) {
  double step = std::sqrt(0.8 / std::max(radius, 0.5));
  return std::clamp(static_cast<int>(std::ceil(2 * M_PI / step)), 8, 1024);
}

// The points of an ellipse from its rightmost one, turning either way.
void AddEllipse(Points& points, double cx, double cy, double rx, double ry, int steps, bool backwards) {
  for (int i = 0; i <= steps; ++i) {
    double a = 2 * M_PI * i / steps * (backwards ? -1 : 1);
    points.push_back({cx + rx * std::cos(a), cy + ry * std::sin(a)});
  }
}

// A ring between two ellipses, as one polygon: the outer one, then the
// inner one the other way, joined where both are rightmost (a level edge,
// which covers nothing). With nothing inside, a filled ellipse.
Points Ring(double cx, double cy, double rx, double ry, double width) {
  double h = width / 2;
  Points points;
  int steps = Steps(std::max(rx, ry) + h);
  AddEllipse(points, cx, cy, rx + h, ry + h, steps, false);
  if (h > 0 && rx > h && ry > h) AddEllipse(points, cx, cy, rx - h, ry - h, steps, true);
  return points;
}

// A line of a width from a to b with round ends: half a circle around each
// end, joined by the sides.
Points Stadium(const XPointDouble& a, const XPointDouble& b, double width) {
  double h = width / 2, dx = b.x - a.x, dy = b.y - a.y;
  double along = std::atan2(dy, dx);
  int steps = Steps(h) / 2;
  Points points;
  for (const XPointDouble& end : {b, a}) {
    for (int i = 0; i <= steps; ++i) {
      double t = along - M_PI / 2 + M_PI * i / steps;
      points.push_back({end.x + h * std::cos(t), end.y + h * std::sin(t)});
    }
    along += M_PI;
  }
  return points;
}

// The outline of a closed polygon, of a width, centred on its edges, with
// sharp corners as X joins them: a band along each edge and a mitre at
// each corner, or a bevel where the mitre would reach past about ten
// widths (corners under 11 degrees).
std::vector<Points> Outline(const Points& vertices, double width) {
  double h = width / 2;
  // The corners without repeats, so that every edge has a direction.
  Points v;
  for (const XPointDouble& p : vertices)
    if (v.empty() || p.x != v.back().x || p.y != v.back().y) v.push_back(p);
  while (v.size() > 1 && v.front().x == v.back().x && v.front().y == v.back().y) v.pop_back();
  std::vector<Points> parts;
  size_t n = v.size();
  if (n == 1) {
    parts.push_back(Ring(v[0].x, v[0].y, 0, 0, width));
    return parts;
  }
  auto normal = [&](size_t i) {  // of the edge from vertex i to the next, to its left, of length h
    const XPointDouble &a = v[i], &b = v[(i + 1) % n];
    double length = std::hypot(b.x - a.x, b.y - a.y);
    return XPointDouble{-(b.y - a.y) / length * h, (b.x - a.x) / length * h};
  };
  for (size_t i = 0; i < n; ++i) {
    const XPointDouble &a = v[i], &b = v[(i + 1) % n];
    XPointDouble m = normal(i);
    parts.push_back(
        {{a.x + m.x, a.y + m.y}, {b.x + m.x, b.y + m.y}, {b.x - m.x, b.y - m.y}, {a.x - m.x, a.y - m.y}});
    if (n == 2 && i == 1) break;
  }
  for (size_t i = 0; i < n && n > 2; ++i) {
    // The corner at vertex i, between the edge that ends there and the one
    // that starts there, on the outer side of the turn.
    const XPointDouble& c = v[i];
    XPointDouble m0 = normal((i + n - 1) % n), m1 = normal(i);
    double turn = m0.x * m1.y - m0.y * m1.x;
    if (std::fabs(turn) < 1e-9 * h * h) continue;  // straight on
    double side = turn > 0 ? -1 : 1;
    XPointDouble p0{c.x + side * m0.x, c.y + side * m0.y}, p1{c.x + side * m1.x, c.y + side * m1.y};
    // The mitre's tip, where the two offset edges meet, along the bisector.
    double cosine = (m0.x * m1.x + m0.y * m1.y) / (h * h);
    double reach = h / std::sqrt((1 + cosine) / 2);
    if (reach > h * 10.43) {
      parts.push_back({c, p0, p1});
      continue;
    }
    double bx = m0.x + m1.x, by = m0.y + m1.y, length = std::hypot(bx, by);
    parts.push_back({c, p0, {c.x + side * bx / length * reach, c.y + side * by / length * reach}, p1});
  }
  return parts;
}

// The box between two corners in pixels with their fractions: the pixels
// the aliased figure between them covers, its far edges included.
struct SmoothBox {
  SmoothBox(const Position& a, const Position& b) {
    double xa = Exact(a.GetXDistance()), xb = Exact(b.GetXDistance());
    double ya = Exact(a.GetYDistance()), yb = Exact(b.GetYDistance());
    X0 = std::min(xa, xb), X1 = std::max(xa, xb) + 1;
    Y0 = std::min(ya, yb), Y1 = std::max(ya, yb) + 1;
  }
  double CentreX() const { return (X0 + X1) / 2; }
  double CentreY() const { return (Y0 + Y1) / 2; }
  double X0, Y0, X1, Y1;
};

// A smooth line's width in pixels: a pixel at least.
double SmoothWidth(float centimetres) {
  return std::max(1.0, Exact(centimetres));
}

Points SmoothVertices(const Position* vertices, int count) {
  Points points;
  for (int i = 0; i < count; ++i) points.push_back(Centre(vertices[i]));
  return points;
}

}  // namespace

bool SimpleWindow::IsSmooth() const {
  return Target->Canvas.Smooth();
}

void SimpleWindow::SetSmooth(bool smooth) {
  Canvas().SetSmooth(smooth);
}

// Whether shapes are drawn smooth now: asked for, and the server blends.
static bool DrawsSmooth(const slate::Surface& surface) {
  if (!surface.Smooth()) return false;
  if (slate::Kept()->Blends()) return true;
  slate::ReportNoBlending();
  return false;
}

void SimpleWindow::RenderRectangle(const Position& upperLeft, const Position& lowerRight, const color& c,
                                   bool border) {
  if (!IsLive()) return;
  CornerBox b(upperLeft, lowerRight);
  // Rectangles lie on whole pixels: smooth or not, they are the same.
  if (!border) {
    // The outline in the fill colour adds the right column and the bottom
    // row: one fill a pixel larger covers exactly the same pixels.
    Canvas().FillRectangle(InkOf(c), b.X, b.Y, b.W + 1u, b.H + 1u);
  } else {
    Canvas().FillRectangle(InkOf(c), b.X, b.Y, b.W, b.H);
    Canvas().StrokeRectangle(ColorTable[Black], 0, b.X, b.Y, b.W, b.H);
  }
  slate::Pump();
}

void SimpleWindow::RenderEllipse(const Position& upperLeft, const Position& lowerRight, const color& c,
                                 bool border) {
  if (!IsLive()) return;
  if (DrawsSmooth(Canvas())) {
    SmoothBox b(upperLeft, lowerRight);
    double rx = (b.X1 - b.X0) / 2, ry = (b.Y1 - b.Y0) / 2;
    Canvas().SmoothPolygon(InkOf(c), Ring(b.CentreX(), b.CentreY(), rx, ry, 0));
    // A border: a black line of a pixel inside the edge.
    if (border)
      Canvas().SmoothPolygon(ColorTable[Black], Ring(b.CentreX(), b.CentreY(), rx - 0.5, ry - 0.5, 1));
  } else {
    CornerBox b(upperLeft, lowerRight);
    if (!border) {
      Canvas().FillEllipse(InkOf(c), b.X, b.Y, b.W, b.H, true);
    } else {
      Canvas().FillEllipse(InkOf(c), b.X, b.Y, b.W, b.H);
      Canvas().StrokeEllipse(ColorTable[Black], 0, b.X, b.Y, b.W, b.H);
    }
  }
  slate::Pump();
}

void SimpleWindow::RenderPolygon(const Position* vertices, int count, const color& c, bool border) {
  if (!IsLive() || !vertices || count < 1) return;
  std::vector<XPoint> points = ClosedPoints(vertices, count, slate::FillPolyHeader);
  if (points.empty()) return;
  if (DrawsSmooth(Canvas())) {
    Points corners = SmoothVertices(vertices, count);
    Canvas().SmoothPolygon(InkOf(c), corners);
    if (border) Canvas().SmoothUnion(ColorTable[Black], Outline(corners, 1));
  } else if (!border) {
    Canvas().FillPolygon(InkOf(c), points.data(), count + 1, true);
  } else {
    Canvas().FillPolygon(InkOf(c), points.data(), count + 1);
    Canvas().StrokeLines(ColorTable[Black], 0, points.data(), count + 1);
  }
  slate::Pump();
}

void SimpleWindow::RenderPolygon(const std::vector<Position>& vertices, int count, const color& c,
                                 bool border) {
  RenderPolygon(vertices.data(), Available(vertices, count), c, border);
}

void SimpleWindow::RenderLine(const Position& start, const Position& end, const color& c, float width) {
  if (!IsLive()) return;
  if (DrawsSmooth(Canvas())) {
    Canvas().SmoothPolygon(InkOf(c), Stadium(Centre(start), Centre(end), SmoothWidth(width)));
  } else {
    short x0 = ToShort(l_to_d(start.GetXDistance())), y0 = ToShort(l_to_d(start.GetYDistance()));
    short x1 = ToShort(l_to_d(end.GetXDistance())), y1 = ToShort(l_to_d(end.GetYDistance()));
    Canvas().Line(InkOf(c), LineWidth(width), x0, y0, x1, y1);
  }
  slate::Pump();
}

void SimpleWindow::RenderRectangleOutline(const Position& upperLeft, const Position& lowerRight,
                                          const color& c, float width) {
  if (!IsLive()) return;
  CornerBox b(upperLeft, lowerRight);
  // Its edges lie on whole pixels: smooth or not, it is the same.
  Canvas().StrokeRectangle(InkOf(c), LineWidth(width), b.X, b.Y, b.W, b.H);
  slate::Pump();
}

void SimpleWindow::RenderEllipseOutline(const Position& upperLeft, const Position& lowerRight, const color& c,
                                        float width) {
  if (!IsLive()) return;
  if (DrawsSmooth(Canvas())) {
    // Centred on the path of the aliased outline, through pixel centres.
    SmoothBox b(upperLeft, lowerRight);
    Canvas().SmoothPolygon(InkOf(c), Ring(b.CentreX(), b.CentreY(), (b.X1 - b.X0 - 1) / 2,
                                          (b.Y1 - b.Y0 - 1) / 2, SmoothWidth(width)));
  } else {
    CornerBox b(upperLeft, lowerRight);
    Canvas().StrokeEllipse(InkOf(c), LineWidth(width), b.X, b.Y, b.W, b.H);
  }
  slate::Pump();
}

void SimpleWindow::RenderPolygonOutline(const Position* vertices, int count, const color& c, float width) {
  if (!IsLive() || !vertices || count < 1) return;
  // A line that ends where it started is joined there too.
  std::vector<XPoint> points = ClosedPoints(vertices, count, slate::PolyLineHeader);
  if (points.empty()) return;
  if (DrawsSmooth(Canvas()))
    Canvas().SmoothUnion(InkOf(c), Outline(SmoothVertices(vertices, count), SmoothWidth(width)));
  else
    Canvas().StrokeLines(InkOf(c), LineWidth(width), points.data(), static_cast<int>(points.size()));
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
