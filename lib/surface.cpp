// Where the pixels of the library's windows are written (see surface.h).
#include "surface.h"

#include <X11/Xft/Xft.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "errors.h"
#include "owner.h"
#include "runtime.h"

namespace slate {

namespace {

// The surfaces with damage not yet shown.
std::vector<Surface*>& WithDamage() {
  static auto* surfaces = new std::vector<Surface*>;
  return *surfaces;
}

// The box of a figure drawn within (x, y, width, height), with pad pixels
// around it for what a line's width adds.
PixelBox Around(long long x, long long y, long long width, long long height, long long pad) {
  return PixelBox{x, y, x + width + 1, y + height + 1}.Grown(pad);
}

PixelBox AroundPoints(const XPoint* points, int count, long long pad) {
  PixelBox box{points[0].x, points[0].y, points[0].x + 1LL, points[0].y + 1LL};
  for (int i = 1; i < count; ++i) box.Add({points[i].x, points[i].y, points[i].x + 1LL, points[i].y + 1LL});
  return box.Grown(pad);
}

// What blended figures share for the life of the display: a one-bit mask
// as large as the screen for core figures, an alpha mask for smooth figures
// of several parts, made when first needed, and solid colours.
class Blending {
 public:
  Blending() {
    Window root = RootWindow(display, ScreenNbr);
    Width = DisplayWidth(display, ScreenNbr);
    Height = DisplayHeight(display, ScreenNbr);
    BitsPixmap = XCreatePixmap(display, root, Width, Height, 1);
    BitsGC = XCreateGC(display, BitsPixmap, 0, nullptr);
    XSetGraphicsExposures(display, BitsGC, False);
    BitsPicture = XRenderCreatePicture(display, BitsPixmap,
                                       XRenderFindStandardFormat(display, PictStandardA1), 0, nullptr);
    Alpha = XRenderFindStandardFormat(display, PictStandardA8);
  }
  ~Blending() {
    for (Shape& shape : Shapes) Free(shape);
    for (const auto& solid : Solids) XRenderFreePicture(display, solid.second);
    if (CoveragePicture) XRenderFreePicture(display, CoveragePicture);
    if (CoveragePixmap) XFreePixmap(display, CoveragePixmap);
    XRenderFreePicture(display, BitsPicture);
    XFreeGC(display, BitsGC);
    XFreePixmap(display, BitsPixmap);
  }
  Blending(const Blending&) = delete;
  Blending& operator=(const Blending&) = delete;

  // The one-bit mask cleared over box, and a context that sets its bits
  // with a line of a width: round ends and joins (a line's), or sharp (an
  // outline's).
  GC Bits(bool round, int lineWidth, const PixelBox& box) {
    XSetForeground(display, BitsGC, 0);
    XFillRectangle(display, BitsPixmap, BitsGC, static_cast<int>(box.X0), static_cast<int>(box.Y0),
                   static_cast<unsigned int>(box.X1 - box.X0), static_cast<unsigned int>(box.Y1 - box.Y0));
    XGCValues values;
    values.foreground = 1;
    values.line_width = lineWidth;
    values.cap_style = round ? CapRound : CapButt;
    values.join_style = round ? JoinRound : JoinMiter;
    XChangeGC(display, BitsGC, GCForeground | GCLineWidth | GCCapStyle | GCJoinStyle, &values);
    return BitsGC;
  }
  // The alpha mask, cleared over box.
  Picture Coverage(const PixelBox& box) {
    if (!CoveragePixmap) {
      CoveragePixmap = XCreatePixmap(display, RootWindow(display, ScreenNbr), Width, Height, 8);
      CoveragePicture = XRenderCreatePicture(display, CoveragePixmap, Alpha, 0, nullptr);
    }
    XRenderColor none{0, 0, 0, 0};
    XRenderFillRectangle(display, PictOpSrc, CoveragePicture, &none, static_cast<int>(box.X0),
                         static_cast<int>(box.Y0), static_cast<unsigned int>(box.X1 - box.X0),
                         static_cast<unsigned int>(box.Y1 - box.Y0));
    return CoveragePicture;
  }
  // The coverage of a polygon within box, kept on the server, where the
  // same polygon (but for a move by whole pixels) has been drawn before and
  // its box is not too large; None otherwise. The first time, the polygon
  // is only noted: a figure drawn once costs no more than without it.
  Picture KeptCoverage(const Surface::Points& points, const PixelBox& box) {
    long long width = box.X1 - box.X0, height = box.Y1 - box.Y0;
    if (width * height > MostShapePixels || width > SHRT_MAX || height > SHRT_MAX) return None;
    Surface::Points relative(points);
    unsigned long long hash = 1469598103934665603ULL;  // FNV-1a over the points' bits
    for (XPointDouble& p : relative) {
      // To a 4096th of a pixel, far finer than coverage is computed: the
      // same figure elsewhere has the same points, whatever the last bits.
      p.x = std::round((p.x - static_cast<double>(box.X0)) * 4096) / 4096;
      p.y = std::round((p.y - static_cast<double>(box.Y0)) * 4096) / 4096;
      unsigned long long bits[2];
      std::memcpy(bits, &p, sizeof bits);
      for (unsigned long long b : bits) hash = (hash ^ b) * 1099511628211ULL;
    }
    ++Clock;
    for (Shape& shape : Shapes)
      if (shape.Hash == hash && shape.Width == width && shape.Height == height &&
          shape.Relative.size() == relative.size() &&
          std::memcmp(shape.Relative.data(), relative.data(), relative.size() * sizeof(XPointDouble)) == 0) {
        shape.Used = Clock;
        return shape.Coverage;
      }
    if (std::find(Seen.begin(), Seen.end(), hash) == Seen.end()) {
      Seen.push_back(hash);
      if (Seen.size() > 64) Seen.erase(Seen.begin());
      return None;
    }
    // Room for it: the least recently used go.
    while (!Shapes.empty() && (Shapes.size() >= 16 || ShapePixels + width * height > MostShapePixels)) {
      auto oldest = std::min_element(Shapes.begin(), Shapes.end(),
                                     [](const Shape& a, const Shape& b) { return a.Used < b.Used; });
      Free(*oldest);
      Shapes.erase(oldest);
    }
    Shape shape{
        hash, std::move(relative), 0, 0, static_cast<unsigned int>(width), static_cast<unsigned int>(height),
        Clock};
    shape.Mask = XCreatePixmap(display, RootWindow(display, ScreenNbr), shape.Width, shape.Height, 8);
    shape.Coverage = XRenderCreatePicture(display, shape.Mask, Alpha, 0, nullptr);
    XRenderColor none{0, 0, 0, 0};
    XRenderFillRectangle(display, PictOpSrc, shape.Coverage, &none, 0, 0, shape.Width, shape.Height);
    XRenderCompositeDoublePoly(display, PictOpAdd, Solid({0xffff, 0xffff, 0xffff, 0xffff}), shape.Coverage,
                               Alpha, 0, 0, 0, 0, shape.Relative.data(),
                               static_cast<int>(shape.Relative.size()), 0);
    ShapePixels += width * height;
    Shapes.push_back(std::move(shape));
    return Shapes.back().Coverage;
  }

  // A solid colour, premultiplied; the last few are kept.
  Picture Solid(const XRenderColor& colour) {
    unsigned long long key = static_cast<unsigned long long>(colour.red) << 48 |
                             static_cast<unsigned long long>(colour.green) << 32 |
                             static_cast<unsigned long long>(colour.blue) << 16 | colour.alpha;
    auto found = Solids.find(key);
    if (found != Solids.end()) return found->second;
    if (Solids.size() >= 64) {
      for (const auto& solid : Solids) XRenderFreePicture(display, solid.second);
      Solids.clear();
    }
    return Solids[key] = XRenderCreateSolidFill(display, &colour);
  }

  Pixmap BitsPixmap;
  Picture BitsPicture;
  XRenderPictFormat* Alpha;

 private:
  // A polygon's coverage kept, by its points less its box's corner.
  struct Shape {
    unsigned long long Hash;
    Surface::Points Relative;
    Pixmap Mask;
    Picture Coverage;
    unsigned int Width, Height;
    unsigned long long Used;  // when last drawn, by Clock
  };
  static constexpr long long MostShapePixels = 1 << 22;  // kept in all: 4 MB of the server's
  void Free(Shape& shape) {
    XRenderFreePicture(display, shape.Coverage);
    XFreePixmap(display, shape.Mask);
    ShapePixels -= static_cast<long long>(shape.Width) * shape.Height;
  }
  std::vector<Shape> Shapes;
  std::vector<unsigned long long> Seen;  // hashes of the polygons drawn lately
  long long ShapePixels = 0;
  unsigned long long Clock = 0;
  unsigned int Width, Height;
  GC BitsGC;
  Pixmap CoveragePixmap = 0;
  Picture CoveragePicture = 0;
  std::map<unsigned long long, Picture> Solids;
};

Blending& Blender() {
  return KeptUntilClose<Blending>();
}

// How far a stroke of a width reaches beyond its path: half the width, and
// where lines join at a sharp angle, the miter, which X cuts off below 11
// degrees, at about five widths.
long long StrokePad(int lineWidth) {
  return 6LL * lineWidth + 2;
}

}  // namespace

PixelBox PixelBox::Within(long long width, long long height) const {
  return {std::max(X0, 0LL), std::max(Y0, 0LL), std::min(X1, width), std::min(Y1, height)};
}

Surface::~Surface() {
  Unbind();
}

void Surface::Bind(Window window, Pixmap backing, int backingWidth, int backingHeight, int width,
                   int height) {
  Unbind();
  WindowId = window;
  BackingPixmap = backing;
  BackingWidth = backingWidth;
  BackingHeight = backingHeight;
  Resize(width, height);
}

void Surface::Unbind() {
  if (Listed) {
    std::vector<Surface*>& listed = WithDamage();
    listed.erase(std::remove(listed.begin(), listed.end(), this), listed.end());
    Listed = false;
  }
  Damaged = PixelBox();
  if (display) {
    if (TextTarget) XftDrawDestroy(TextTarget);
    if (BlendTarget) XRenderFreePicture(display, BlendTarget);
  }
  TextTarget = nullptr;
  BlendTarget = 0;
  WindowId = 0;
  BackingPixmap = 0;
}

void Surface::Resize(int width, int height) {
  Width = width;
  Height = height;
}

void Surface::Damage(const PixelBox& box) {
  if (!BackingPixmap) return;  // drawn where it shows
  // Clipped to what the pixmap holds when it is shown: this runs for every
  // figure.
  if (!Listed) {
    Damaged = box;
    WithDamage().push_back(this);
    Listed = true;
    return;
  }
  Damaged.Add(box);
}

void Surface::DamageAll() {
  Damage({0, 0, Width, Height});
}

void Surface::Present() {
  PixelBox d = Damaged.Within(std::min(Width, BackingWidth), std::min(Height, BackingHeight));
  if (!d.Empty())
    XCopyArea(display, BackingPixmap, WindowId, Kept()->Paint(ColorTable[White], ColorTable[White]),
              static_cast<int>(d.X0), static_cast<int>(d.Y0), static_cast<unsigned int>(d.X1 - d.X0),
              static_cast<unsigned int>(d.Y1 - d.Y0), static_cast<int>(d.X0), static_cast<int>(d.Y0));
  Damaged = PixelBox();
  Listed = false;
}

void Surface::PresentAll() {
  std::vector<Surface*>& listed = WithDamage();
  if (listed.empty() || !display || !Kept()) return;
  for (Surface* surface : listed) surface->Present();
  listed.clear();
}

void Surface::Clear(unsigned long colour) {
  if (BackingPixmap)
    XFillRectangle(display, BackingPixmap, Kept()->Paint(colour, colour), 0, 0,
                   static_cast<unsigned int>(BackingWidth), static_cast<unsigned int>(BackingHeight));
}

PixelBox Surface::Bounds() const {
  return BackingPixmap ? PixelBox{0, 0, BackingWidth, BackingHeight} : PixelBox{0, 0, Width, Height};
}

Picture Surface::RenderTarget() {
  if (BlendTarget) return BlendTarget;
  Picture target = XRenderCreatePicture(
      display, Target(), XRenderFindVisualFormat(display, DefaultVisual(display, ScreenNbr)), 0, nullptr);
  if (BackingPixmap) BlendTarget = target;  // kept for the backing pixmap's life
  return target;
}

void Surface::DoneWith(Picture target) {
  if (target == BlendTarget) return;
  XRenderFreePicture(display, target);
  // The window may have been destroyed by another client meanwhile.
  Closed(target, 0);
}

template <typename Figure>
void Surface::Paint(const Ink& ink, Pen pen, int lineWidth, const PixelBox& box, Figure figure) {
  if (!ink.Shown) return;
  if (!ink.Blended) {
    GC fill = Kept()->Paint(ink.Pixel, ink.Pixel);
    GC stroke = pen == Pen::Line      ? Kept()->Line(ink.Pixel, lineWidth)
                : pen == Pen::Outline ? Kept()->Outline(ink.Pixel, lineWidth)
                                      : nullptr;
    figure(Target(), fill, stroke);
    Damage(box);
    return;
  }
  PixelBox clip = box.Within(Bounds().X1, Bounds().Y1);
  if (clip.Empty()) return;
  Blending& kit = Blender();
  GC gc = kit.Bits(pen == Pen::Line, lineWidth, clip);
  figure(kit.BitsPixmap, gc, gc);
  Picture target = RenderTarget();
  int x = static_cast<int>(clip.X0), y = static_cast<int>(clip.Y0);
  XRenderComposite(display, PictOpOver, kit.Solid(ink.Colour), kit.BitsPicture, target, 0, 0, x, y, x, y,
                   static_cast<unsigned int>(clip.X1 - clip.X0),
                   static_cast<unsigned int>(clip.Y1 - clip.Y0));
  DoneWith(target);
  Damage(clip);
}

void Surface::FillRectangle(const Ink& ink, int x, int y, unsigned int width, unsigned int height) {
  if (ink.Blended) {
    // Render fills a rectangle in a colour with alpha itself.
    PixelBox clip =
        PixelBox{x, y, x + static_cast<long long>(width), y + static_cast<long long>(height)}.Within(
            Bounds().X1, Bounds().Y1);
    if (clip.Empty()) return;
    Picture target = RenderTarget();
    XRenderFillRectangle(display, PictOpOver, target, &ink.Colour, static_cast<int>(clip.X0),
                         static_cast<int>(clip.Y0), static_cast<unsigned int>(clip.X1 - clip.X0),
                         static_cast<unsigned int>(clip.Y1 - clip.Y0));
    DoneWith(target);
    Damage(clip);
    return;
  }
  Paint(ink, Pen::FillOnly, 0, {x, y, x + static_cast<long long>(width), y + static_cast<long long>(height)},
        [&](Drawable d, GC fill, GC) { XFillRectangle(display, d, fill, x, y, width, height); });
}

void Surface::StrokeRectangle(const Ink& ink, int lineWidth, int x, int y, unsigned int width,
                              unsigned int height) {
  Paint(ink, Pen::Outline, lineWidth, Around(x, y, width, height, lineWidth / 2 + 1),
        [&](Drawable d, GC, GC stroke) { XDrawRectangle(display, d, stroke, x, y, width, height); });
}

void Surface::StrokeEllipse(const Ink& ink, int lineWidth, int x, int y, unsigned int width,
                            unsigned int height) {
  Paint(
      ink, Pen::Outline, lineWidth, Around(x, y, width, height, lineWidth / 2 + 1),
      [&](Drawable d, GC, GC stroke) { XDrawArc(display, d, stroke, x, y, width, height, 0, DeviceTwoPi); });
}

void Surface::StrokeLines(const Ink& ink, int lineWidth, const XPoint* points, int count) {
  if (count < 1) return;
  Paint(ink, Pen::Outline, lineWidth, AroundPoints(points, count, StrokePad(lineWidth)),
        [&](Drawable d, GC, GC stroke) {
          XDrawLines(display, d, stroke, const_cast<XPoint*>(points), count, CoordModeOrigin);
        });
}

void Surface::FillEllipse(const Ink& ink, int x, int y, unsigned int width, unsigned int height, bool edged) {
  Paint(ink, edged ? Pen::Outline : Pen::FillOnly, 0, Around(x, y, width, height, edged ? 1 : 0),
        [&](Drawable d, GC fill, GC stroke) {
          XFillArc(display, d, fill, x, y, width, height, 0, DeviceTwoPi);
          if (edged) XDrawArc(display, d, stroke, x, y, width, height, 0, DeviceTwoPi);
        });
}

void Surface::FillPolygon(const Ink& ink, const XPoint* points, int count, bool edged) {
  if (count < 1) return;
  Paint(ink, edged ? Pen::Outline : Pen::FillOnly, 0, AroundPoints(points, count, edged ? StrokePad(0) : 0),
        [&](Drawable d, GC fill, GC stroke) {
          XFillPolygon(display, d, fill, const_cast<XPoint*>(points), count, Complex, CoordModeOrigin);
          if (edged) XDrawLines(display, d, stroke, const_cast<XPoint*>(points), count, CoordModeOrigin);
        });
}

void Surface::Line(const Ink& ink, int lineWidth, int x0, int y0, int x1, int y1) {
  PixelBox box{std::min(x0, x1), std::min(y0, y1), std::max(x0, x1) + 1LL, std::max(y0, y1) + 1LL};
  Paint(ink, Pen::Line, lineWidth, box.Grown(lineWidth / 2 + 2),
        [&](Drawable d, GC, GC stroke) { XDrawLine(display, d, stroke, x0, y0, x1, y1); });
}

namespace {

// The box of pixels a smooth figure can touch.
PixelBox AroundSmooth(const Surface::Points& points) {
  double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
  for (const XPointDouble& p : points) {
    x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
  }
  if (!(x0 <= x1 && y0 <= y1)) return PixelBox();
  return {static_cast<long long>(std::floor(x0)) - 1, static_cast<long long>(std::floor(y0)) - 1,
          static_cast<long long>(std::ceil(x1)) + 1, static_cast<long long>(std::ceil(y1)) + 1};
}

}  // namespace

void Surface::SmoothPolygon(const Ink& ink, const Points& points) {
  if (!ink.Shown || points.size() < 3) return;
  PixelBox box = AroundSmooth(points);
  PixelBox clip = box.Within(Bounds().X1, Bounds().Y1);
  if (clip.Empty()) return;
  Blending& kit = Blender();
  Picture target = RenderTarget();
  // A polygon drawn again a whole number of pixels away (a ball, a marker)
  // has its coverage kept; the ink is blended through it once.
  if (Picture coverage = kit.KeptCoverage(points, box)) {
    int x = static_cast<int>(clip.X0), y = static_cast<int>(clip.Y0);
    XRenderComposite(display, PictOpOver, kit.Solid(ink.Colour), coverage, target, 0, 0,
                     static_cast<int>(clip.X0 - box.X0), static_cast<int>(clip.Y0 - box.Y0), x, y,
                     static_cast<unsigned int>(clip.X1 - clip.X0),
                     static_cast<unsigned int>(clip.Y1 - clip.Y0));
  } else {
    // Otherwise its coverage goes into a mask the server makes for the
    // request.
    XRenderCompositeDoublePoly(display, PictOpOver, kit.Solid(ink.Colour), target, kit.Alpha, 0, 0, 0, 0,
                               points.data(), static_cast<int>(points.size()), 0);
  }
  DoneWith(target);
  Damage(clip);
}

void Surface::SmoothUnion(const Ink& ink, const std::vector<Points>& parts) {
  if (!ink.Shown) return;
  PixelBox box;
  bool any = false;
  for (const Points& part : parts) {
    if (part.size() < 3) continue;
    PixelBox around = AroundSmooth(part);
    if (!any) box = around;
    box.Add(around);
    any = true;
  }
  PixelBox clip = box.Within(Bounds().X1, Bounds().Y1);
  if (!any || clip.Empty()) return;
  // The parts' coverage is added up in the kit's alpha mask (overlaps
  // saturate), then the ink is blended through it once.
  Blending& kit = Blender();
  Picture coverage = kit.Coverage(clip);
  for (const Points& part : parts)
    if (part.size() >= 3)
      XRenderCompositeDoublePoly(display, PictOpAdd, kit.Solid({0xffff, 0xffff, 0xffff, 0xffff}), coverage,
                                 kit.Alpha, 0, 0, 0, 0, part.data(), static_cast<int>(part.size()), 1);
  Picture target = RenderTarget();
  int x = static_cast<int>(clip.X0), y = static_cast<int>(clip.Y0);
  XRenderComposite(display, PictOpOver, kit.Solid(ink.Colour), coverage, target, 0, 0, x, y, x, y,
                   static_cast<unsigned int>(clip.X1 - clip.X0),
                   static_cast<unsigned int>(clip.Y1 - clip.Y0));
  DoneWith(target);
  Damage(clip);
}

void Surface::Copy(Drawable source, Pixmap mask, unsigned int width, unsigned int height, int x, int y) {
  GC gc = Kept()->Paint(BlackPixel(display, ScreenNbr), ColorTable[White]);
  if (mask != None) {
    XSetClipOrigin(display, gc, x, y);
    XSetClipMask(display, gc, mask);
  }
  XCopyArea(display, source, Target(), gc, 0, 0, width, height, x, y);
  if (mask != None) {
    XSetClipMask(display, gc, None);
    XSetClipOrigin(display, gc, 0, 0);
  }
  Damage({x, y, x + static_cast<long long>(width), y + static_cast<long long>(height)});
}

void Surface::CopyBitmap(Pixmap bitmap, unsigned long set, unsigned long clear, unsigned int width,
                         unsigned int height, int x, int y) {
  XCopyPlane(display, bitmap, Target(), Kept()->Paint(set, clear), 0, 0, width, height, x, y, DefaultPlane);
  Damage({x, y, x + static_cast<long long>(width), y + static_cast<long long>(height)});
}

void Surface::Blend(Picture source, unsigned int width, unsigned int height, int x, int y) {
  Picture target = RenderTarget();
  XRenderComposite(display, PictOpOver, source, None, target, 0, 0, 0, 0, x, y, width, height);
  DoneWith(target);
  Damage({x, y, x + static_cast<long long>(width), y + static_cast<long long>(height)});
}

void Surface::Compose(Picture source, Picture mask, int x, int y, unsigned int width, unsigned int height) {
  Picture target = RenderTarget();
  XRenderComposite(display, PictOpOver, source, mask, target, 0, 0, 0, 0, x, y, width, height);
  DoneWith(target);
  Damage({x, y, x + static_cast<long long>(width), y + static_cast<long long>(height)});
}

XftDraw* Surface::TextDraw() {
  if (TextTarget) return TextTarget;
  return XftDrawCreate(display, Target(), DefaultVisual(display, ScreenNbr),
                       DefaultColormap(display, ScreenNbr));
}

void Surface::TextDrawn(XftDraw* draw) {
  if (BackingPixmap) {
    TextTarget = draw;  // kept for the backing pixmap's life
    return;
  }
  // The window may have been destroyed by another client meanwhile;
  // errors about the picture made on it are forgiven with its own.
  Picture picture = XftDrawPicture(draw);
  XftDrawDestroy(draw);
  if (picture) Closed(picture, 0);
}

void Surface::Glyphs(XftFont* font, const XftColor& colour, const XftGlyphSpec* glyphs, int count,
                     const PixelBox& ink) {
  if (colour.color.alpha == 0) return;  // nothing shows
  XftDraw* draw = TextDraw();
  if (!draw) return;
  XftDrawGlyphSpec(draw, &colour, font, glyphs, count);
  TextDrawn(draw);
  Damage(ink);
}

void Surface::Cover(const XftColor& colour, const PixelBox& box, const Coverage& cover) {
  PixelBox shown = BackingPixmap ? box.Within(BackingWidth, BackingHeight) : box.Within(Width, Height);
  shown = shown.Within(SHRT_MAX, SHRT_MAX);
  XRenderPictFormat* format = XRenderFindStandardFormat(display, PictStandardA8);
  if (shown.Empty() || !format) return;
  int width = static_cast<int>(shown.X1 - shown.X0), stride = (width + 3) & ~3;
  // Bands of a quarter of a megabyte, however large the figure: one
  // request each where the server takes that much (XPutImage splits them
  // further where it does not).
  int rows = static_cast<int>(std::clamp<long long>((1 << 18) / stride, 1, shown.Y1 - shown.Y0));
  std::vector<char> bytes(static_cast<size_t>(stride) * rows);
  XImage* image = XCreateImage(display, DefaultVisual(display, ScreenNbr), 8, ZPixmap, 0, bytes.data(),
                               static_cast<unsigned int>(width), static_cast<unsigned int>(rows), 32, stride);
  if (!image) return;
  XftDraw* draw = image->bits_per_pixel == 8 ? TextDraw() : nullptr;
  if (Picture target = draw ? XftDrawPicture(draw) : 0) {
    OwnedPixmap mask(XCreatePixmap(display, RootWindow(display, ScreenNbr), static_cast<unsigned int>(width),
                                   static_cast<unsigned int>(rows), 8));
    OwnedGC gc(XCreateGC(display, mask.Get(), 0, nullptr));
    Picture coverage = XRenderCreatePicture(display, mask.Get(), format, 0, nullptr);
    Picture solid = XRenderCreateSolidFill(display, &colour.color);
    for (long long y = shown.Y0; y < shown.Y1; y += rows) {
      int band = static_cast<int>(std::min<long long>(rows, shown.Y1 - y));
      std::fill(bytes.begin(), bytes.end(), 0);
      cover(shown.X0, y, width, band, reinterpret_cast<unsigned char*>(bytes.data()), stride);
      XPutImage(display, mask.Get(), gc.Get(), image, 0, 0, 0, 0, static_cast<unsigned int>(width),
                static_cast<unsigned int>(band));
      XRenderComposite(display, PictOpOver, solid, coverage, target, 0, 0, 0, 0, static_cast<int>(shown.X0),
                       static_cast<int>(y), static_cast<unsigned int>(width),
                       static_cast<unsigned int>(band));
    }
    XRenderFreePicture(display, solid);
    XRenderFreePicture(display, coverage);
    Damage(shown);
  }
  if (draw) TextDrawn(draw);
  image->data = nullptr;  // the vector's, not to be freed with the image
  XDestroyImage(image);
}

void Surface::String(XFontStruct* font, unsigned long foreground, unsigned long background, bool band, int x,
                     int baseline, const char* text, int length) {
  GC gc = Kept()->Paint(foreground, background, font);
  if (band)
    XDrawImageString(display, Target(), gc, x, baseline, text, length);
  else
    XDrawString(display, Target(), gc, x, baseline, text, length);
  // Glyphs may reach past their advance, and above and below the font's line.
  const XCharStruct& most = font->max_bounds;
  long long width = XTextWidth(font, text, length);
  Damage({x - static_cast<long long>(most.width), baseline - std::max<long long>(font->ascent, most.ascent),
          x + width + most.width, baseline + std::max<long long>(font->descent, most.descent) + 1});
}

}  // namespace slate
