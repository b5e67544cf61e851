// Where the pixels of the library's windows are written, and nowhere else.
//
// A window's surface draws every figure once, into the window's backing
// pixmap, and records the box it changed (its damage). Damage is copied to
// the windows together: by the event loop once per pass, before it waits,
// and at once by the event pump while ApiMain runs. So a frame drawn in one
// callback appears whole, and a figure costs the server one drawing and a
// share of one copy. A surface without a backing pixmap (the alert box's
// windows, a window the library does not own) is drawn into directly.
//
// The primitives are short and share the runtime's graphics contexts; each
// knows the box it can change. A figure in a colour less than opaque is
// drawn into a mask first and blended through it once, so that no pixel of
// it is blended twice; smooth figures are polygons whose coverage Render
// computes, blended once too.
#ifndef SLATE_LIB_SURFACE_H
#define SLATE_LIB_SURFACE_H

#include <X11/Xlib.h>
#include <X11/extensions/Xrender.h>

#include <functional>
#include <vector>

#include "runtime.h"
#include "slate.h"

struct _XftDraw;
struct _XftFont;
struct _XftColor;
struct _XftGlyphSpec;

namespace slate {

// A box of pixels from (X0, Y0) up to (X1, Y1), those excluded: empty when
// either side is not positive. Wide, so that any figure's box fits.
struct PixelBox {
  long long X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  bool Empty() const { return X1 <= X0 || Y1 <= Y0; }
  PixelBox Grown(long long by) const { return {X0 - by, Y0 - by, X1 + by, Y1 + by}; }
  void Add(const PixelBox& other) {  // the box that holds both
    X0 = other.X0 < X0 ? other.X0 : X0, Y0 = other.Y0 < Y0 ? other.Y0 : Y0;
    X1 = other.X1 > X1 ? other.X1 : X1, Y1 = other.Y1 > Y1 ? other.Y1 : Y1;
  }
  PixelBox Within(long long width, long long height) const;  // clipped to (0, 0, width, height)
};

class Surface {
 public:
  Surface() = default;
  ~Surface();
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  // Draws for window, through backing (0: into the window itself) of
  // backingWidth x backingHeight pixels; the window is width x height.
  void Bind(Window window, Pixmap backing, int backingWidth, int backingHeight, int width, int height);
  // Forgets the window: frees what was made for its backing pixmap (before
  // the pixmap itself goes) and drops its damage.
  void Unbind();
  void Resize(int width, int height);  // the window's new size
  Window Shown() const { return WindowId; }
  Pixmap Backing() const { return BackingPixmap; }
  PixelBox Bounds() const;  // the pixels drawn into: the backing pixmap's, or the window's

  // Fills the whole backing pixmap as the window's background shows already.
  void Clear(unsigned long colour);
  // A filled rectangle.
  void FillRectangle(const Ink& ink, int x, int y, unsigned int width, unsigned int height);
  // Outlines of a line width (0: the thin line), sharp corners.
  void StrokeRectangle(const Ink& ink, int lineWidth, int x, int y, unsigned int width, unsigned int height);
  void StrokeEllipse(const Ink& ink, int lineWidth, int x, int y, unsigned int width, unsigned int height);
  void StrokeLines(const Ink& ink, int lineWidth, const XPoint* points, int count);
  // The ellipse inscribed in a box; a polygon, even-odd; edged, with the
  // thin outline in the same ink (one figure, blended once).
  void FillEllipse(const Ink& ink, int x, int y, unsigned int width, unsigned int height, bool edged = false);
  void FillPolygon(const Ink& ink, const XPoint* points, int count, bool edged = false);
  // A line of a width with round ends.
  void Line(const Ink& ink, int lineWidth, int x0, int y0, int x1, int y1);
  // Smooth figures, in pixels with their fractions (a pixel's centre is at
  // its coordinates plus one half): a polygon, closed, even-odd; the union
  // of several. Only where the server has Render.
  using Points = std::vector<XPointDouble>;
  void SmoothPolygon(const Ink& ink, const Points& points);
  void SmoothUnion(const Ink& ink, const std::vector<Points>& parts);
  // Whether the window's shapes are drawn smooth (antialiased).
  bool Smooth() const { return SmoothShapes; }
  void SetSmooth(bool smooth) { SmoothShapes = smooth; }
  // The upper-left width x height of source at (x, y); where mask is not
  // None, only the pixels it sets.
  void Copy(Drawable source, Pixmap mask, unsigned int width, unsigned int height, int x, int y);
  // A one-bit bitmap: set bits in one colour, clear bits in another.
  void CopyBitmap(Pixmap bitmap, unsigned long set, unsigned long clear, unsigned int width,
                  unsigned int height, int x, int y);
  // The upper-left width x height of a Render picture with alpha, blended
  // over what is there.
  void Blend(Picture source, unsigned int width, unsigned int height, int x, int y);
  // The box (x, y, width, height) painted with a Render picture through
  // the transform and filter set on it, and through mask (None: none)
  // alike, blended; the transform's space has its origin at the box's
  // corner.
  void Compose(Picture source, Picture mask, int x, int y, unsigned int width, unsigned int height);
  // Glyphs of a scalable font, each from the left end of its baseline,
  // whose ink lies within ink: less than 32768 pixels wide and high, or the
  // server draws none of them.
  void Glyphs(_XftFont* font, const _XftColor& colour, const _XftGlyphSpec* glyphs, int count,
              const PixelBox& ink);
  // A colour blended through the coverage (0 to 255) of a figure whose ink
  // lies within box, as far as the target holds it: cover(x, y, width,
  // rows, out, stride) writes the coverage of rows rows of width pixels
  // from pixel (x, y) into out, a row every stride bytes. Asked for in
  // bands, each sent in requests the server takes.
  using Coverage =
      std::function<void(long long x, long long y, int width, int rows, unsigned char* out, int stride)>;
  void Cover(const _XftColor& colour, const PixelBox& box, const Coverage& cover);
  // Characters of a core font from the left end of their baseline: over
  // their band in background when band is true.
  void String(XFontStruct* font, unsigned long foreground, unsigned long background, bool band, int x,
              int baseline, const char* text, int length);

  // The whole window to be shown again (an exposure).
  void DamageAll();
  // Copies the damage of every surface to its window.
  static void PresentAll();

 private:
  Drawable Target() const { return BackingPixmap ? BackingPixmap : WindowId; }
  _XftDraw* TextDraw();            // Xft's target: the kept one, or one for this call
  void TextDrawn(_XftDraw* draw);  // keeps it with a backing pixmap, else frees it
  void Damage(const PixelBox& box);
  void Present();
  // The Render picture of the target, and its end after a drawing.
  Picture RenderTarget();
  void DoneWith(Picture target);
  // A figure of core requests in an ink, within box: drawn as it is, or
  // into the mask and blended through it. figure(drawable, fill, stroke)
  // gets the contexts to fill and to stroke with: pen says which stroke,
  // if any (the line's, with round ends, or the outline's).
  enum class Pen { FillOnly, Line, Outline };
  template <typename Figure>
  void Paint(const Ink& ink, Pen pen, int lineWidth, const PixelBox& box, Figure figure);

  Window WindowId = 0;
  Pixmap BackingPixmap = 0;
  long long BackingWidth = 0, BackingHeight = 0;
  long long Width = 0, Height = 0;
  PixelBox Damaged;
  bool Listed = false;             // among the surfaces with damage
  _XftDraw* TextTarget = nullptr;  // Xft's target of the backing pixmap, made on first use
  Picture BlendTarget = 0;         // the Render picture of the backing pixmap, made on first use
  bool SmoothShapes = false;       // kept while the window closes and opens again
};

}  // namespace slate

#endif  // SLATE_LIB_SURFACE_H
