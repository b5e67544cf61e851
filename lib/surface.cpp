// Where the pixels of the library's windows are written (see surface.h).
#include "surface.h"

#include <X11/Xft/Xft.h>

#include <algorithm>
#include <climits>
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

void Surface::FillRectangle(unsigned long colour, int x, int y, unsigned int width, unsigned int height) {
  XFillRectangle(display, Target(), Kept()->Paint(colour, colour), x, y, width, height);
  Damage({x, y, x + static_cast<long long>(width), y + static_cast<long long>(height)});
}

void Surface::StrokeRectangle(unsigned long colour, int lineWidth, int x, int y, unsigned int width,
                              unsigned int height) {
  XDrawRectangle(display, Target(), Kept()->Outline(colour, lineWidth), x, y, width, height);
  Damage(Around(x, y, width, height, lineWidth / 2 + 1));
}

void Surface::StrokeEllipse(unsigned long colour, int lineWidth, int x, int y, unsigned int width,
                            unsigned int height) {
  XDrawArc(display, Target(), Kept()->Outline(colour, lineWidth), x, y, width, height, 0, DeviceTwoPi);
  Damage(Around(x, y, width, height, lineWidth / 2 + 1));
}

void Surface::StrokeLines(unsigned long colour, int lineWidth, const XPoint* points, int count) {
  if (count < 1) return;
  XDrawLines(display, Target(), Kept()->Outline(colour, lineWidth), const_cast<XPoint*>(points), count,
             CoordModeOrigin);
  Damage(AroundPoints(points, count, StrokePad(lineWidth)));
}

void Surface::FillEllipse(unsigned long colour, int x, int y, unsigned int width, unsigned int height) {
  XFillArc(display, Target(), Kept()->Paint(colour, colour), x, y, width, height, 0, DeviceTwoPi);
  Damage(Around(x, y, width, height, 0));
}

void Surface::FillPolygon(unsigned long colour, const XPoint* points, int count) {
  if (count < 1) return;
  XFillPolygon(display, Target(), Kept()->Paint(colour, colour), const_cast<XPoint*>(points), count, Complex,
               CoordModeOrigin);
  Damage(AroundPoints(points, count, 0));
}

void Surface::Line(unsigned long colour, int lineWidth, int x0, int y0, int x1, int y1) {
  XDrawLine(display, Target(), Kept()->Line(colour, lineWidth), x0, y0, x1, y1);
  PixelBox box{std::min(x0, x1), std::min(y0, y1), std::max(x0, x1) + 1LL, std::max(y0, y1) + 1LL};
  Damage(box.Grown(lineWidth / 2 + 2));
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
  XRenderPictFormat* format = XRenderFindVisualFormat(display, DefaultVisual(display, ScreenNbr));
  Picture target = BlendTarget;
  if (!target) target = XRenderCreatePicture(display, Target(), format, 0, nullptr);
  XRenderComposite(display, PictOpOver, source, None, target, 0, 0, 0, 0, x, y, width, height);
  if (BackingPixmap) {
    BlendTarget = target;  // kept for the backing pixmap's life
  } else {
    XRenderFreePicture(display, target);
    // The window may have been destroyed by another client meanwhile.
    Closed(target, 0);
  }
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
