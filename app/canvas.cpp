#include "canvas.h"

#include <X11/Xutil.h>
#include <X11/xpm.h>

#include <cstdio>

namespace zindra {

Canvas::Canvas(Display* display, int width, int height)
    : Width(width),
      Height(height),
      Connection(display),
      Picture(XCreatePixmap(display, DefaultRootWindow(display), width, height,
                            DefaultDepth(display, DefaultScreen(display)))),
      Context(XCreateGC(display, Picture, 0, nullptr)) {}

Canvas::~Canvas() {
  XFreeGC(Connection, Context);
  XFreePixmap(Connection, Picture);
}

// Colours are allocated once each; black stands in for one that cannot be.
unsigned long Canvas::Pixel(const char* colour) {
  auto known = Pixels.find(colour);
  if (known != Pixels.end()) return known->second;
  int screen = DefaultScreen(Connection);
  Colormap colormap = DefaultColormap(Connection, screen);
  XColor c;
  unsigned long pixel = BlackPixel(Connection, screen);
  if (XParseColor(Connection, colormap, colour, &c) && XAllocColor(Connection, colormap, &c)) {
    pixel = c.pixel;
  } else {
    std::fprintf(stderr, "zindra-pictures: cannot allocate colour %s, using black\n", colour);
  }
  Pixels[colour] = pixel;
  return pixel;
}

void Canvas::Fill(int x, int y, int width, int height, const char* colour) {
  if (width <= 0 || height <= 0) return;
  XSetForeground(Connection, Context, Pixel(colour));
  XFillRectangle(Connection, Picture, Context, x, y, width, height);
}

void Canvas::Polygon(const std::vector<XPoint>& points, const char* colour) {
  XSetForeground(Connection, Context, Pixel(colour));
  XFillPolygon(Connection, Picture, Context, const_cast<XPoint*>(points.data()),
               static_cast<int>(points.size()), Complex, CoordModeOrigin);
}

void Canvas::Clip(const PixelRect& r) {
  XRectangle rect = {static_cast<short>(r.X0), static_cast<short>(r.Y0),
                     static_cast<unsigned short>(r.Width()), static_cast<unsigned short>(r.Height())};
  XSetClipRectangles(Connection, Context, 0, 0, &rect, 1, Unsorted);
}

void Canvas::Line(int x0, int y0, int x1, int y1, int lineWidth, const char* colour) {
  XSetForeground(Connection, Context, Pixel(colour));
  XSetLineAttributes(Connection, Context, lineWidth, LineSolid, CapButt, JoinMiter);
  XDrawLine(Connection, Picture, Context, x0, y0, x1, y1);
}

void Canvas::Text(XFontStruct* font, bool bold, int x, int y, const std::string& text, const char* colour) {
  XSetFont(Connection, Context, font->fid);
  XSetForeground(Connection, Context, Pixel(colour));
  int length = static_cast<int>(text.size());
  XDrawString(Connection, Picture, Context, x, y, text.c_str(), length);
  if (bold) XDrawString(Connection, Picture, Context, x + 1, y, text.c_str(), length);
}

int Canvas::TextWidth(XFontStruct* font, bool bold, const std::string& text) {
  return XTextWidth(font, text.c_str(), static_cast<int>(text.size())) + (bold ? 1 : 0);
}

// The text is drawn on a one-bit pixmap of its own and read back.
GlyphMask Canvas::Mask(XFontStruct* font, const std::string& text) {
  GlyphMask mask;
  int width = TextWidth(font, false, text);
  int height = TextHeight(font);
  if (width <= 0 || height <= 0) return mask;
  Pixmap bits = XCreatePixmap(Connection, Picture, width, height, 1);
  GC gc = XCreateGC(Connection, bits, 0, nullptr);  // foreground 0, which clears
  XFillRectangle(Connection, bits, gc, 0, 0, width, height);
  XSetForeground(Connection, gc, 1);
  XSetFont(Connection, gc, font->fid);
  XDrawString(Connection, bits, gc, 0, font->ascent, text.c_str(), static_cast<int>(text.size()));
  XImage* image = XGetImage(Connection, bits, 0, 0, width, height, 1, ZPixmap);
  if (image) {
    mask.assign(height, std::vector<bool>(width, false));
    for (int row = 0; row < height; ++row) {
      for (int col = 0; col < width; ++col) mask[row][col] = XGetPixel(image, col, row) != 0;
    }
    XDestroyImage(image);
  }
  XFreeGC(Connection, gc);
  XFreePixmap(Connection, bits);
  return mask;
}

void Canvas::FillMask(const GlyphMask& mask, int x, int y, int block, int grow, int firstRow, int endRow,
                      const char* colour) {
  int side = block + 2 * grow;
  for (int row = firstRow; row < endRow; ++row) {
    for (size_t col = 0; col < mask[row].size(); ++col) {
      if (mask[row][col])
        Fill(x + static_cast<int>(col) * block - grow, y + row * block - grow, side, side, colour);
    }
  }
}

bool Canvas::Write(const std::string& path, int* colours) {
  XSync(Connection, False);
  int status = XpmWriteFileFromPixmap(Connection, path.c_str(), Picture, 0, nullptr);
  if (status != XpmSuccess) {
    std::fprintf(stderr, "zindra-pictures: cannot write %s: %s\n", path.c_str(), XpmGetErrorString(status));
    return false;
  }
  XpmImage image;
  *colours = 0;
  if (XpmReadFileToXpmImage(path.c_str(), &image, nullptr) == XpmSuccess) {
    *colours = static_cast<int>(image.ncolors);
    XpmFreeXpmImage(&image);
  }
  return true;
}

}  // namespace zindra
