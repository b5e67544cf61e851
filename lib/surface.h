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
// knows the box it can change.
#ifndef SLATE_LIB_SURFACE_H
#define SLATE_LIB_SURFACE_H

#include <X11/Xlib.h>
#include <X11/extensions/Xrender.h>

#include <functional>

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

  // Fills the whole backing pixmap as the window's background shows already.
  void Clear(unsigned long colour);
  // A filled rectangle.
  void FillRectangle(unsigned long colour, int x, int y, unsigned int width, unsigned int height);
  // Outlines of a line width (0: the thin line), sharp corners.
  void StrokeRectangle(unsigned long colour, int lineWidth, int x, int y, unsigned int width,
                       unsigned int height);
  void StrokeEllipse(unsigned long colour, int lineWidth, int x, int y, unsigned int width,
                     unsigned int height);
  void StrokeLines(unsigned long colour, int lineWidth, const XPoint* points, int count);
  // The ellipse inscribed in a box; a polygon, even-odd.
  void FillEllipse(unsigned long colour, int x, int y, unsigned int width, unsigned int height);
  void FillPolygon(unsigned long colour, const XPoint* points, int count);
  // A line of a width with round ends.
  void Line(unsigned long colour, int lineWidth, int x0, int y0, int x1, int y1);
  // The upper-left width x height of source at (x, y); where mask is not
  // None, only the pixels it sets.
  void Copy(Drawable source, Pixmap mask, unsigned int width, unsigned int height, int x, int y);
  // A one-bit bitmap: set bits in one colour, clear bits in another.
  void CopyBitmap(Pixmap bitmap, unsigned long set, unsigned long clear, unsigned int width,
                  unsigned int height, int x, int y);
  // The upper-left width x height of a Render picture with alpha, blended
  // over what is there.
  void Blend(Picture source, unsigned int width, unsigned int height, int x, int y);
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

  Window WindowId = 0;
  Pixmap BackingPixmap = 0;
  long long BackingWidth = 0, BackingHeight = 0;
  long long Width = 0, Height = 0;
  PixelBox Damaged;
  bool Listed = false;             // among the surfaces with damage
  _XftDraw* TextTarget = nullptr;  // Xft's target of the backing pixmap, made on first use
  Picture BlendTarget = 0;         // the Render picture of the backing pixmap, made on first use
};

}  // namespace slate

#endif  // SLATE_LIB_SURFACE_H
