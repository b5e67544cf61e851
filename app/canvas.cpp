#include "canvas.h"

#include <X11/Xutil.h>
#include <X11/xpm.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace zindra {

namespace {

constexpr const char* FullNames[TypefaceCount] = {"DejaVu Sans", "DejaVu Sans Bold", "DejaVu Serif Bold"};

// Coverage is rounded to eighths before it is blended: edges stay smooth,
// and each colour over each background adds at most seven colours to the
// picture, which keeps the XPM file's colour table short.
constexpr int Shades = 8;

}  // namespace

// When several files hold a face (a copy in the user's fonts, say), the first
// by path is taken, whatever order fontconfig lists them in.
bool FontFiles::Find() {
  bool complete = true;
  for (int face = 0; face < TypefaceCount; ++face) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FULLNAME, reinterpret_cast<const FcChar8*>(FullNames[face]));
    FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_INDEX, nullptr);
    FcFontSet* found = pattern && objects ? FcFontList(nullptr, pattern, objects) : nullptr;
    Path[face].clear();
    for (int i = 0; found && i < found->nfont; ++i) {
      FcChar8* file = nullptr;
      int index = 0;
      if (FcPatternGetString(found->fonts[i], FC_FILE, 0, &file) != FcResultMatch) continue;
      FcPatternGetInteger(found->fonts[i], FC_INDEX, 0, &index);
      std::string path = reinterpret_cast<const char*>(file);
      if (Path[face].empty() || std::make_pair(path, index) < std::make_pair(Path[face], Index[face])) {
        Path[face] = path;
        Index[face] = index;
      }
    }
    if (found) FcFontSetDestroy(found);
    if (objects) FcObjectSetDestroy(objects);
    if (pattern) FcPatternDestroy(pattern);
    if (Path[face].empty()) {
      std::fprintf(stderr, "zindra-pictures: no font \"%s\"; it comes with fonts-dejavu-core\n",
                   FullNames[face]);
      complete = false;
    }
  }
  return complete;
}

PixelRect Coverage::Ink() const {
  PixelRect box = {Width, Height, -1, -1};
  for (int y = 0; y < Height; ++y) {
    for (int x = 0; x < Width; ++x) {
      if (At(x, y) < 128) continue;
      box = {std::min(box.X0, x), std::min(box.Y0, y), std::max(box.X1, x), std::max(box.Y1, y)};
    }
  }
  if (box.X1 < 0) return {0, 0, -1, -1};
  return box;
}

// The largest value within a disc of the radius (a little over it, which
// rounds small discs): rows of the disc of equal half-width take the same
// row maximum, which is grown one pixel at a time, so the work grows with the
// radius rather than with its square.
Coverage Coverage::Grown(int radius) const {
  if (radius <= 0 || Width == 0) return *this;
  Coverage grown;
  grown.Width = Width + 2 * radius;
  grown.Height = Height + 2 * radius;
  grown.OriginX = OriginX + radius;
  grown.OriginY = OriginY + radius;
  size_t size = static_cast<size_t>(grown.Width) * grown.Height;
  grown.Values.assign(size, 0);
  std::vector<unsigned char> rows(size, 0);  // each pixel the largest within a half-width
  for (int y = 0; y < Height; ++y)
    std::copy_n(&Values[static_cast<size_t>(y) * Width], Width, &rows[(y + radius) * grown.Width + radius]);
  std::vector<unsigned char> wider(size);
  for (int halfWidth = 0; halfWidth <= radius; ++halfWidth) {
    for (int dy = -radius; dy <= radius; ++dy) {
      if (static_cast<int>(std::sqrt(radius * radius + radius - dy * dy)) != halfWidth) continue;
      for (int y = std::max(0, -dy); y < grown.Height && y + dy < grown.Height; ++y) {
        unsigned char* out = &grown.Values[static_cast<size_t>(y) * grown.Width];
        const unsigned char* in = &rows[static_cast<size_t>(y + dy) * grown.Width];
        for (int x = 0; x < grown.Width; ++x) out[x] = std::max(out[x], in[x]);
      }
    }
    for (int y = 0; y < grown.Height; ++y) {
      const unsigned char* in = &rows[static_cast<size_t>(y) * grown.Width];
      unsigned char* out = &wider[static_cast<size_t>(y) * grown.Width];
      for (int x = 0; x < grown.Width; ++x) {
        out[x] = std::max({in[x], x > 0 ? in[x - 1] : in[x], x + 1 < grown.Width ? in[x + 1] : in[x]});
      }
    }
    rows.swap(wider);
  }
  return grown;
}

Canvas::Canvas(Display* display, const FontFiles& fonts, int width, int height)
    : Width(width),
      Height(height),
      Connection(display),
      Files(fonts),
      Picture(XCreatePixmap(display, DefaultRootWindow(display), width, height,
                            DefaultDepth(display, DefaultScreen(display)))),
      Context(XCreateGC(display, Picture, 0, nullptr)) {}

Canvas::~Canvas() {
  for (auto& font : Fonts) {
    if (font.second) XftFontClose(Connection, font.second);
  }
  XFreeGC(Connection, Context);
  XFreePixmap(Connection, Picture);
}

// Colours are allocated once each; black stands in for one that cannot be.
// Each pixel remembers the colour it was allocated for, which text blends
// with.
unsigned long Canvas::Pixel(const std::string& colour) {
  auto known = Pixels.find(colour);
  if (known != Pixels.end()) return known->second;
  int screen = DefaultScreen(Connection);
  Colormap colormap = DefaultColormap(Connection, screen);
  XColor c;
  unsigned long pixel = BlackPixel(Connection, screen);
  Rgb rgb = {0, 0, 0};
  bool allocated = XParseColor(Connection, colormap, colour.c_str(), &c);
  // The colour asked for, not what the server made of it: blends come out
  // the same on every server.
  Rgb asked = {c.red >> 8, c.green >> 8, c.blue >> 8};
  allocated = allocated && XAllocColor(Connection, colormap, &c);
  if (allocated) {
    pixel = c.pixel;
    rgb = asked;
  } else {
    std::fprintf(stderr, "zindra-pictures: cannot allocate colour %s, using black\n", colour.c_str());
  }
  Pixels[colour] = pixel;
  Colours.emplace(pixel, rgb);
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

// The font is opened from its file with every rendering choice spelt out:
// grey anti-aliasing, no hinting, no sub-pixel colour, no synthetic bold.
// Nothing is taken from fontconfig's configuration or the X resources, and
// unhinted outlines do not depend on the font engine's hinting settings, so
// the same files give the same pixels on every machine.
XftFont* Canvas::Font(const Lettering& lettering) {
  auto key = std::make_tuple(static_cast<int>(lettering.Face), lettering.Size, lettering.Narrow);
  auto known = Fonts.find(key);
  if (known != Fonts.end()) return known->second;
  FcPattern* pattern = FcPatternCreate();
  XftFont* font = nullptr;
  if (pattern) {
    FcMatrix shape;
    FcMatrixInit(&shape);
    shape.xx = lettering.Narrow;
    const std::string& path = Files.Path[lettering.Face];
    FcPatternAddString(pattern, FC_FILE, reinterpret_cast<const FcChar8*>(path.c_str()));
    FcPatternAddInteger(pattern, FC_INDEX, Files.Index[lettering.Face]);
    FcPatternAddDouble(pattern, FC_PIXEL_SIZE, lettering.Size);
    FcPatternAddMatrix(pattern, FC_MATRIX, &shape);
    FcPatternAddBool(pattern, FC_ANTIALIAS, FcTrue);
    FcPatternAddBool(pattern, FC_HINTING, FcFalse);
    FcPatternAddInteger(pattern, FC_HINT_STYLE, FC_HINT_NONE);
    FcPatternAddBool(pattern, FC_AUTOHINT, FcFalse);
    FcPatternAddInteger(pattern, FC_RGBA, FC_RGBA_NONE);
    FcPatternAddInteger(pattern, FC_LCD_FILTER, FC_LCD_NONE);
    FcPatternAddBool(pattern, FC_EMBOLDEN, FcFalse);
    FcPatternAddBool(pattern, FC_VERTICAL_LAYOUT, FcFalse);
    FcPatternAddBool(pattern, FC_MINSPACE, FcFalse);
    FcPatternAddBool(pattern, XFT_RENDER, FcTrue);
    font = XftFontOpenPattern(Connection, pattern);  // which then owns the pattern
    if (!font) FcPatternDestroy(pattern);
  }
  if (!font) {
    std::fprintf(stderr, "zindra-pictures: cannot open the font %s at %g pixels\n",
                 Files.Path[lettering.Face].c_str(), lettering.Size);
    TextFailed = true;
  }
  Fonts[key] = font;  // a font that failed is not tried again
  return font;
}

int Canvas::TextWidth(const Lettering& lettering, const std::string& text) {
  XftFont* font = Font(lettering);
  if (!font) return 0;
  XGlyphInfo box;
  XftTextExtentsUtf8(Connection, font, reinterpret_cast<const FcChar8*>(text.data()),
                     static_cast<int>(text.size()), &box);
  return box.width;
}

// The text is drawn in full alpha on an alpha-only pixmap of its own, which
// holds its coverage, and read back.
Coverage Canvas::Render(const Lettering& lettering, const std::string& text) {
  Coverage coverage;
  XftFont* font = Font(lettering);
  if (!font || text.empty()) return coverage;
  const FcChar8* utf8 = reinterpret_cast<const FcChar8*>(text.data());
  int length = static_cast<int>(text.size());
  XGlyphInfo box;
  XftTextExtentsUtf8(Connection, font, utf8, length, &box);
  constexpr int Pad = 2;  // a glyph's box may be a pixel short of its ink
  int width = box.width + 2 * Pad, height = box.height + 2 * Pad;
  Pixmap alpha = XCreatePixmap(Connection, Picture, width, height, 8);
  GC clear = XCreateGC(Connection, alpha, 0, nullptr);  // foreground 0
  XFillRectangle(Connection, alpha, clear, 0, 0, width, height);
  XftDraw* draw = XftDrawCreateAlpha(Connection, alpha, 8);
  if (draw) {
    XftColor full = {};
    full.color.alpha = 0xffff;
    coverage.OriginX = Pad + box.x;
    coverage.OriginY = Pad + box.y;
    XftDrawStringUtf8(draw, &full, font, coverage.OriginX, coverage.OriginY, utf8, length);
    XftDrawDestroy(draw);
    XImage* image = XGetImage(Connection, alpha, 0, 0, width, height, AllPlanes, ZPixmap);
    if (image) {
      coverage.Width = width;
      coverage.Height = height;
      coverage.Values.resize(static_cast<size_t>(width) * height);
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
          coverage.Values[static_cast<size_t>(y) * width + x] =
              static_cast<unsigned char>(XGetPixel(image, x, y));
      }
      XDestroyImage(image);
    }
  }
  if (coverage.Width == 0) {
    std::fprintf(stderr, "zindra-pictures: cannot draw the text \"%s\"\n", text.c_str());
    TextFailed = true;
  }
  XFreeGC(Connection, clear);
  XFreePixmap(Connection, alpha);
  return coverage;
}

// The picture under the coverage is read back, each pixel blended from the
// colour it stands for, and the blends drawn as points, one request per
// colour, through the clip.
void Canvas::Paint(const Coverage& coverage, int x, int y, const char* colour, int firstRow, int endRow) {
  int row0 = std::max({firstRow, 0, -y}), row1 = std::min({endRow, coverage.Height, Height - y});
  int col0 = std::max(0, -x), col1 = std::min(coverage.Width, Width - x);
  if (row0 >= row1 || col0 >= col1) return;
  unsigned long inkPixel = Pixel(colour);
  Rgb ink = Colours[inkPixel];
  XImage* under =
      XGetImage(Connection, Picture, x + col0, y + row0, col1 - col0, row1 - row0, AllPlanes, ZPixmap);
  if (!under) return;
  std::map<std::pair<unsigned long, int>, unsigned long> blends;  // (background, shade): pixel
  std::map<unsigned long, std::vector<XPoint>> points;
  for (int row = row0; row < row1; ++row) {
    for (int col = col0; col < col1; ++col) {
      int shade = (coverage.At(col, row) * Shades + 127) / 255;
      if (shade == 0) continue;
      unsigned long pixel = inkPixel;
      if (shade < Shades) {
        unsigned long background = XGetPixel(under, col - col0, row - row0);
        auto blend = blends.find({background, shade});
        if (blend == blends.end()) {
          auto known = Colours.find(background);
          Rgb b = known != Colours.end() ? known->second : Rgb{0, 0, 0};
          auto mix = [shade](int from, int to) {
            return (from * (Shades - shade) + to * shade + Shades / 2) / Shades;
          };
          char name[8];
          std::snprintf(name, sizeof name, "#%02x%02x%02x", mix(b.R, ink.R), mix(b.G, ink.G),
                        mix(b.B, ink.B));
          blend = blends.emplace(std::make_pair(background, shade), Pixel(name)).first;
        }
        pixel = blend->second;
      }
      points[pixel].push_back({static_cast<short>(x + col), static_cast<short>(y + row)});
    }
  }
  XDestroyImage(under);
  for (auto& group : points) {
    XSetForeground(Connection, Context, group.first);
    XDrawPoints(Connection, Picture, Context, group.second.data(), static_cast<int>(group.second.size()),
                CoordModeOrigin);
  }
}

PixelRect Canvas::Text(const Lettering& lettering, int x, int y, const std::string& text,
                       const char* colour) {
  Coverage coverage = Render(lettering, text);
  int left = x - coverage.OriginX, top = y - coverage.OriginY;
  Paint(coverage, left, top, colour);
  return coverage.Ink().Moved(left, top);
}

bool Canvas::Write(const std::string& path, int* colours) {
  if (TextFailed) {
    std::fprintf(stderr, "zindra-pictures: %s not written: a text could not be drawn\n", path.c_str());
    return false;
  }
  // The picture is read back once: its colours counted, then written.
  XpmImage image;
  int status = XpmCreateXpmImageFromPixmap(Connection, Picture, 0, &image, nullptr);
  if (status == XpmSuccess) {
    *colours = static_cast<int>(image.ncolors);
    status = XpmWriteFileFromXpmImage(path.c_str(), &image, nullptr);
    XpmFreeXpmImage(&image);
  }
  if (status != XpmSuccess) {
    std::fprintf(stderr, "zindra-pictures: cannot write %s: %s\n", path.c_str(), XpmGetErrorString(status));
    return false;
  }
  return true;
}

}  // namespace zindra
