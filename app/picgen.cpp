// zindra-pictures: draws the two pictures of the ZINDRA menu, menu.xpm and
// instructions.xpm, at a given scale and writes them as XPM files.
//
//   zindra-pictures [--scale PIXELS_PER_CM] [OUTPUT_DIRECTORY]
//
// The scale defaults to the one the menu itself uses on the current display,
// floor(display width / 29) pixels per centimetre. Both pictures are 15 x 12
// cm. The buttons of the menu picture are drawn inside the clickable regions
// of the menu window, so that a click on a button is a click on its region.
// This is a plain Xlib program: it needs a display to draw on, nothing else.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/xpm.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "menu_layout.h"

namespace {

using zindra::PixelRect;

// Palette. Every colour of both pictures is named here, which keeps the
// colour count of the files small and fixed. kInk is used for the button
// labels and the close mark and for nothing else.
constexpr const char* kInk = "#fff7d6";
constexpr const char* kInkShadow = "#1a0f05";
constexpr const char* kGold = "#f2b632";
constexpr const char* kGoldLight = "#ffe07a";
constexpr const char* kGoldDark = "#7a4e0c";
constexpr const char* kTitleShadow = "#07040f";
constexpr const char* kFrameInner = "#4a2f08";
constexpr const char* kSky[] = {"#0b1230", "#0f1636", "#131a3c", "#171d42", "#1b2048", "#1f234d",
                                "#232552", "#272756", "#2b285a", "#30295d", "#342a60", "#382b62"};
constexpr const char* kStar = "#d8d4ff";
constexpr const char* kStarDim = "#8d89c9";
constexpr const char* kRock = "#120b22";
constexpr const char* kRockEdge = "#2a1d45";
constexpr const char* kCrystal = "#3fe0d0";
constexpr const char* kCrystalLight = "#b4fff6";
constexpr const char* kCrystalDark = "#168f88";
constexpr const char* kPanel = "#150d2b";
constexpr const char* kSubtitle = "#c9b8ff";
constexpr const char* kFaint = "#6f66a3";
constexpr const char* kParchment = "#f4e6c3";
constexpr const char* kParchmentEdge = "#8b5a2b";
constexpr const char* kText = "#3b2412";
constexpr const char* kHeading = "#8a1c1c";

struct ButtonLook {
  const char* face;
  const char* light;
  const char* dark;
};
constexpr ButtonLook kButtonLooks[zindra::ButtonCount] = {
    {"#2e9e4f", "#7fdc98", "#145a29"},  // PLAY
    {"#d9822b", "#ffc27f", "#7c410c"},  // HIGHSCORES
    {"#2f6fc0", "#86b3ff", "#143a6e"},  // OPTIONS
    {"#8a46c2", "#c9a0f0", "#4a1f70"},  // INSTRUCTIONS
    {"#1f9aa0", "#7fe0e4", "#0c5558"},  // MORE GAMES
};
constexpr ButtonLook kCloseLook = {"#c62828", "#ff8a80", "#6d0f0f"};

// A font used for labels and text; bold faces that the server lacks are
// imitated by drawing the text twice, one pixel apart.
struct FontChoice {
  const char* name;
  bool overstrike;
};

// An off-screen picture: a pixmap of the screen's depth with the drawing
// operations that the two pictures need, all in pixels.
class Canvas {
 public:
  Canvas(Display* display, double scale)
      : display_(display),
        scale_(scale),
        width_(zindra::CmToPixel(zindra::PictureWidthCm, scale)),
        height_(zindra::CmToPixel(zindra::PictureHeightCm, scale)) {
    int screen = DefaultScreen(display_);
    pixmap_ = XCreatePixmap(display_, RootWindow(display_, screen), width_, height_,
                            DefaultDepth(display_, screen));
    gc_ = XCreateGC(display_, pixmap_, 0, nullptr);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  ~Canvas() {
    for (auto& f : fonts_) {
      if (f.second) XFreeFont(display_, f.second);
    }
    XFreeGC(display_, gc_);
    XFreePixmap(display_, pixmap_);
  }

  int width() const { return width_; }
  int height() const { return height_; }
  double scale() const { return scale_; }
  int Px(double cm) const { return zindra::CmToPixel(cm, scale_); }

  // Pixel value of a colour given as "#rrggbb"; black if it cannot be had.
  unsigned long Pixel(const char* spec) {
    auto it = pixels_.find(spec);
    if (it != pixels_.end()) return it->second;
    int screen = DefaultScreen(display_);
    XColor c;
    unsigned long pixel = BlackPixel(display_, screen);
    if (XParseColor(display_, DefaultColormap(display_, screen), spec, &c) &&
        XAllocColor(display_, DefaultColormap(display_, screen), &c)) {
      pixel = c.pixel;
    } else {
      std::fprintf(stderr, "zindra-pictures: cannot allocate colour %s, using black\n", spec);
    }
    pixels_[spec] = pixel;
    return pixel;
  }

  // A core font by name, or "fixed" when the server lacks it. Owned here.
  XFontStruct* Font(const char* name) {
    auto it = fonts_.find(name);
    if (it != fonts_.end()) return it->second;
    XFontStruct* f = XLoadQueryFont(display_, name);
    if (!f) f = XLoadQueryFont(display_, "fixed");
    fonts_[name] = f;
    return f;
  }

  void Fill(int x, int y, int w, int h, const char* colour) {
    if (w <= 0 || h <= 0) return;
    XSetForeground(display_, gc_, Pixel(colour));
    XFillRectangle(display_, pixmap_, gc_, x, y, w, h);
  }
  void Fill(const PixelRect& b, const char* colour) { Fill(b.X0, b.Y0, b.Width(), b.Height(), colour); }

  // Outline of thickness t drawn inside the box.
  void Frame(const PixelRect& b, int t, const char* colour) {
    Fill(b.X0, b.Y0, b.Width(), t, colour);
    Fill(b.X0, b.Y1 - t + 1, b.Width(), t, colour);
    Fill(b.X0, b.Y0, t, b.Height(), colour);
    Fill(b.X1 - t + 1, b.Y0, t, b.Height(), colour);
  }

  void Polygon(const std::vector<XPoint>& points, const char* colour) {
    XSetForeground(display_, gc_, Pixel(colour));
    XFillPolygon(display_, pixmap_, gc_, const_cast<XPoint*>(points.data()), static_cast<int>(points.size()),
                 Complex, CoordModeOrigin);
  }

  void Line(int x0, int y0, int x1, int y1, int width, const char* colour) {
    XSetForeground(display_, gc_, Pixel(colour));
    XSetLineAttributes(display_, gc_, width, LineSolid, CapButt, JoinMiter);
    XDrawLine(display_, pixmap_, gc_, x0, y0, x1, y1);
    XSetLineAttributes(display_, gc_, 0, LineSolid, CapButt, JoinMiter);
  }

  // Text with its baseline starting at (x, y).
  void Text(XFontStruct* font, bool overstrike, int x, int y, const std::string& text, const char* colour) {
    if (!font) return;
    XSetFont(display_, gc_, font->fid);
    XSetForeground(display_, gc_, Pixel(colour));
    int n = static_cast<int>(text.size());
    XDrawString(display_, pixmap_, gc_, x, y, text.c_str(), n);
    if (overstrike) XDrawString(display_, pixmap_, gc_, x + 1, y, text.c_str(), n);
  }

  static int TextWidth(XFontStruct* font, bool overstrike, const std::string& text) {
    if (!font) return 0;
    return XTextWidth(font, text.c_str(), static_cast<int>(text.size())) + (overstrike ? 1 : 0);
  }

  // Large lettering: the glyphs of a small font blown up to k x k blocks,
  // with a drop shadow, a dark rim and a two-tone gold face. (x, y) is the
  // upper-left corner of the face.
  void BigText(const char* font_name, const std::string& text, int x, int y, int k) {
    XFontStruct* font = Font(font_name);
    std::vector<std::vector<bool>> mask = GlyphMask(font, text);
    if (mask.empty()) return;
    int rim = std::max(1, k / 4);
    int drop = std::max(2, k / 2);
    int rows = static_cast<int>(mask.size());
    Blocks(mask, x + drop, y + drop, k, rim, 0, rows, kTitleShadow);
    Blocks(mask, x, y, k, rim, 0, rows, kGoldDark);
    Blocks(mask, x, y, k, 0, 0, rows / 2, kGoldLight);
    Blocks(mask, x, y, k, 0, rows / 2, rows, kGold);
  }

  // Size in pixels of BigText at factor k, shadow excluded.
  static void BigTextSize(XFontStruct* font, const std::string& text, int k, int* w, int* h) {
    *w = font ? XTextWidth(font, text.c_str(), static_cast<int>(text.size())) * k : 0;
    *h = font ? (font->ascent + font->descent) * k : 0;
  }

  // Writes the picture as an XPM file; reports its colour count in *colours.
  bool Write(const std::string& path, int* colours) {
    XSync(display_, False);
    int rc = XpmWriteFileFromPixmap(display_, path.c_str(), pixmap_, 0, nullptr);
    if (rc != XpmSuccess) {
      std::fprintf(stderr, "zindra-pictures: cannot write %s: %s\n", path.c_str(), XpmGetErrorString(rc));
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

 private:
  // Which pixels of the text, drawn in font at its natural size, are ink.
  std::vector<std::vector<bool>> GlyphMask(XFontStruct* font, const std::string& text) {
    std::vector<std::vector<bool>> mask;
    if (!font || text.empty()) return mask;
    int w = XTextWidth(font, text.c_str(), static_cast<int>(text.size()));
    int h = font->ascent + font->descent;
    if (w <= 0 || h <= 0) return mask;
    Pixmap bits = XCreatePixmap(display_, pixmap_, w, h, 1);
    XGCValues values;
    values.foreground = 0;
    values.background = 0;
    values.font = font->fid;
    GC gc = XCreateGC(display_, bits, GCForeground | GCBackground | GCFont, &values);
    XFillRectangle(display_, bits, gc, 0, 0, w, h);
    XSetForeground(display_, gc, 1);
    XDrawString(display_, bits, gc, 0, font->ascent, text.c_str(), static_cast<int>(text.size()));
    XImage* image = XGetImage(display_, bits, 0, 0, w, h, 1, ZPixmap);
    if (image) {
      mask.assign(h, std::vector<bool>(w, false));
      for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) mask[row][col] = XGetPixel(image, col, row) != 0;
      }
      XDestroyImage(image);
    }
    XFreeGC(display_, gc);
    XFreePixmap(display_, bits);
    return mask;
  }

  // Draws the mask rows [from, to) as k x k blocks grown by grow pixels on
  // each side, merging horizontal runs into one rectangle.
  void Blocks(const std::vector<std::vector<bool>>& mask, int x, int y, int k, int grow, int from, int to,
              const char* colour) {
    for (int row = from; row < to; ++row) {
      const std::vector<bool>& line = mask[row];
      int n = static_cast<int>(line.size());
      for (int col = 0; col < n;) {
        if (!line[col]) {
          ++col;
          continue;
        }
        int end = col;
        while (end < n && line[end]) ++end;
        Fill(x + col * k - grow, y + row * k - grow, (end - col) * k + 2 * grow, k + 2 * grow, colour);
        col = end;
      }
    }
  }

  Display* display_;
  double scale_;
  int width_;
  int height_;
  Pixmap pixmap_;
  GC gc_;
  std::map<std::string, unsigned long> pixels_;
  std::map<std::string, XFontStruct*> fonts_;
};

// Deterministic pseudo-random numbers, so that every run draws the same sky.
class Lcg {
 public:
  explicit Lcg(unsigned seed) : state_(seed) {}
  int Next(int n) {
    state_ = state_ * 1103515245u + 12345u;
    return static_cast<int>((state_ >> 8) % static_cast<unsigned>(n));
  }

 private:
  unsigned state_;
};

// The night-sky background with its stars.
void DrawBackdrop(Canvas& c, unsigned seed) {
  int bands = static_cast<int>(sizeof(kSky) / sizeof(kSky[0]));
  for (int i = 0; i < bands; ++i) {
    int y0 = c.height() * i / bands;
    int y1 = c.height() * (i + 1) / bands;
    c.Fill(0, y0, c.width(), y1 - y0, kSky[i]);
  }
  Lcg rng(seed);
  int stars = 140;
  int size = std::max(1, c.Px(0.03));
  for (int i = 0; i < stars; ++i) {
    int x = rng.Next(c.width());
    int y = rng.Next(c.height());
    bool bright = rng.Next(4) == 0;
    c.Fill(x, y, bright ? size + 1 : size, bright ? size + 1 : size, bright ? kStar : kStarDim);
  }
}

// The double gold frame around the whole picture, drawn last.
void DrawFrame(Canvas& c) {
  int t = std::max(3, c.Px(0.12));
  PixelRect outer = {0, 0, c.width() - 1, c.height() - 1};
  c.Frame(outer, t, kGold);
  PixelRect inner = {t, t, c.width() - 1 - t, c.height() - 1 - t};
  c.Frame(inner, std::max(1, t / 3), kFrameInner);
}

// A crystal: a six-sided gem with a light and a dark facet.
void DrawCrystal(Canvas& c, int cx, int bottom, int w, int h) {
  short x = static_cast<short>(cx), b = static_cast<short>(bottom);
  short hw = static_cast<short>(w / 2), hh = static_cast<short>(h);
  short shoulder = static_cast<short>(h * 3 / 4);
  std::vector<XPoint> gem = {{x, static_cast<short>(b - hh)},
                             {static_cast<short>(x + hw), static_cast<short>(b - shoulder)},
                             {static_cast<short>(x + hw), static_cast<short>(b - h / 5)},
                             {x, b},
                             {static_cast<short>(x - hw), static_cast<short>(b - h / 5)},
                             {static_cast<short>(x - hw), static_cast<short>(b - shoulder)}};
  c.Polygon(gem, kCrystal);
  std::vector<XPoint> light = {gem[0], gem[5], gem[4], {x, b}};
  c.Polygon(light, kCrystalLight);
  std::vector<XPoint> dark = {gem[0], gem[1], gem[2], {x, b}};
  c.Polygon(dark, kCrystalDark);
  std::vector<XPoint> core = {gem[0],
                              {static_cast<short>(x + hw / 3), static_cast<short>(b - shoulder)},
                              {x, b},
                              {static_cast<short>(x - hw / 3), static_cast<short>(b - shoulder)}};
  c.Polygon(core, kCrystal);
}

// The cavern floor along the bottom of the left part, with crystals on it.
void DrawCavern(Canvas& c) {
  double xs[] = {0.0, 0.8, 1.6, 2.3, 3.1, 3.9, 4.6, 5.5, 6.3, 7.0, 7.9, 8.6, 9.4, 10.1};
  double ys[] = {10.6, 10.1, 10.4, 9.7, 10.2, 9.9, 10.5, 9.8, 10.3, 9.6, 10.2, 10.0, 10.4, 10.9};
  std::vector<XPoint> floor;
  for (size_t i = 0; i < sizeof(xs) / sizeof(xs[0]); ++i) {
    floor.push_back({static_cast<short>(c.Px(xs[i])), static_cast<short>(c.Px(ys[i]))});
  }
  floor.push_back({static_cast<short>(c.width()), static_cast<short>(c.Px(10.9))});
  floor.push_back({static_cast<short>(c.width()), static_cast<short>(c.height())});
  floor.push_back({0, static_cast<short>(c.height())});
  std::vector<XPoint> edge = floor;
  for (auto& p : edge) p.y = static_cast<short>(p.y - std::max(2, c.Px(0.06)));
  c.Polygon(edge, kRockEdge);
  c.Polygon(floor, kRock);
  DrawCrystal(c, c.Px(2.3), c.Px(9.95), c.Px(0.9), c.Px(1.8));
  DrawCrystal(c, c.Px(3.2), c.Px(10.25), c.Px(0.6), c.Px(1.1));
  DrawCrystal(c, c.Px(1.55), c.Px(10.3), c.Px(0.5), c.Px(0.9));
  DrawCrystal(c, c.Px(7.9), c.Px(10.15), c.Px(0.7), c.Px(1.4));
  DrawCrystal(c, c.Px(8.7), c.Px(10.2), c.Px(0.45), c.Px(0.8));
}

// A raised button with a bevel, filling box b.
void DrawBevelBox(Canvas& c, const PixelRect& b, const ButtonLook& look) {
  int bevel = std::max(2, std::min(b.Width(), b.Height()) / 12);
  c.Fill(b, look.dark);
  c.Fill(b.X0, b.Y0, b.Width() - bevel, b.Height() - bevel, look.light);
  c.Fill(b.X0 + bevel, b.Y0 + bevel, b.Width() - 2 * bevel, b.Height() - 2 * bevel, look.face);
  c.Frame(b, 1, kInkShadow);
}

// The largest label font whose widest label and height fit the button.
FontChoice PickLabelFont(Canvas& c, int button_width, int button_height) {
  static const FontChoice kChoices[] = {{"12x24", true},     {"10x20", true},     {"9x15bold", false},
                                        {"8x13bold", false}, {"7x13bold", false}, {"6x13bold", false},
                                        {"6x10", false},     {"5x8", false}};
  for (const FontChoice& f : kChoices) {
    XFontStruct* font = c.Font(f.name);
    if (!font) continue;
    int widest = 0;
    for (const char* label : zindra::ButtonLabels)
      widest = std::max(widest, Canvas::TextWidth(font, f.overstrike, label));
    int high = font->ascent + font->descent;
    if (widest + 2 <= button_width * 85 / 100 && high + 2 <= button_height * 65 / 100) return f;
  }
  return {"5x8", false};
}

// Draws the menu picture: title, cavern, the five buttons and the close box.
void DrawMenu(Canvas& c) {
  DrawBackdrop(c, 7u);
  DrawCavern(c);

  // Title, centred over the left part, below the close control.
  XFontStruct* title_font = c.Font("9x15bold");
  int k = 1, tw = 0, th = 0;
  for (int f = 1; f < 64; ++f) {
    int w, h;
    Canvas::BigTextSize(title_font, "ZINDRA", f, &w, &h);
    if (w > c.Px(8.0) || h > c.Px(2.0)) break;
    k = f, tw = w, th = h;
  }
  int title_x = c.Px(5.9) - tw / 2;
  int title_y = c.Px(2.6);
  c.BigText("9x15bold", "ZINDRA", title_x, title_y, k);

  XFontStruct* sub = c.Font(c.scale() >= 40 ? "10x20" : "7x13");
  std::string subtitle = "THE CRYSTAL CAVERNS";
  int sw = Canvas::TextWidth(sub, true, subtitle);
  int sub_y = title_y + th + c.Px(0.55) + (sub ? sub->ascent : 0);
  c.Text(sub, true, c.Px(5.9) - sw / 2, sub_y, subtitle, kSubtitle);
  int rule_y = sub_y + c.Px(0.3);
  c.Fill(c.Px(5.9) - sw / 2, rule_y, sw, std::max(1, c.Px(0.03)), kGold);

  XFontStruct* small = c.Font(c.scale() >= 40 ? "6x13" : "5x8");
  std::string footer = "v1.0   ZINDRA GAMES";
  c.Text(small, false, c.Px(0.5), c.height() - c.Px(0.45), footer, kFaint);

  // Button column: a dark panel, then each button inside its region.
  PixelRect first = zindra::RegionPixels(zindra::ClickMap[0], c.scale());
  PixelRect last = zindra::RegionPixels(zindra::ClickMap[zindra::MoreGamesButton], c.scale());
  int pad = c.Px(0.2);
  PixelRect panel = {first.X0 - pad, first.Y0 - pad, last.X1 + pad / 2, last.Y1 + pad};
  panel.X1 = std::min(panel.X1, c.width() - 1 - std::max(3, c.Px(0.12)) - 1);
  c.Fill(panel, kPanel);
  c.Frame(panel, std::max(1, c.Px(0.03)), kGoldDark);

  // Uniform buttons: as tall as the smallest region allows, centred in each.
  int inset = std::max(2, c.Px(0.05));
  int button_h = 1 << 30;
  for (int i = 0; i < zindra::ButtonCount; ++i) {
    button_h = std::min(button_h, zindra::RegionPixels(zindra::ClickMap[i], c.scale()).Height() - 2 * inset);
  }
  int button_w = first.Width() - 2 * inset;
  FontChoice label_font = PickLabelFont(c, button_w, button_h);
  XFontStruct* font = c.Font(label_font.name);
  for (int i = 0; i < zindra::ButtonCount; ++i) {
    PixelRect r = zindra::RegionPixels(zindra::ClickMap[i], c.scale());
    int top = r.Y0 + (r.Height() - button_h) / 2;
    PixelRect b = {r.X0 + inset, top, r.X0 + inset + button_w - 1, top + button_h - 1};
    DrawBevelBox(c, b, kButtonLooks[i]);
    std::string label = zindra::ButtonLabels[i];
    int lw = Canvas::TextWidth(font, label_font.overstrike, label);
    int lh = font ? font->ascent + font->descent : 0;
    int x = b.X0 + (b.Width() - lw) / 2;
    int y = b.Y0 + (b.Height() - lh) / 2 + (font ? font->ascent : 0);
    c.Text(font, label_font.overstrike, x + 2, y + 2, label, kInkShadow);
    c.Text(font, label_font.overstrike, x, y, label, kInk);
  }

  // Close control: a red box with a cross, inside its region.
  PixelRect cr = zindra::RegionPixels(zindra::ClickMap[zindra::CloseBox], c.scale());
  int side = std::min(cr.Width(), cr.Height()) - 2 * inset;
  PixelRect cb = {cr.X0 + (cr.Width() - side) / 2, cr.Y0 + (cr.Height() - side) / 2, 0, 0};
  cb.X1 = cb.X0 + side - 1;
  cb.Y1 = cb.Y0 + side - 1;
  DrawBevelBox(c, cb, kCloseLook);
  int m = side / 4;
  int stroke = std::max(2, side / 8);
  c.Line(cb.X0 + m, cb.Y0 + m, cb.X1 - m, cb.Y1 - m, stroke, kInk);
  c.Line(cb.X1 - m, cb.Y0 + m, cb.X0 + m, cb.Y1 - m, stroke, kInk);
  DrawFrame(c);
}

// Draws the instructions picture: a title and the rules on a parchment.
void DrawInstructions(Canvas& c) {
  DrawBackdrop(c, 11u);

  XFontStruct* title_font = c.Font("9x15bold");
  std::string title = "HOW TO PLAY";
  int k = 1, tw = 0, th = 0;
  for (int f = 1; f < 64; ++f) {
    int w, h;
    Canvas::BigTextSize(title_font, title, f, &w, &h);
    if (w > c.Px(10.0) || h > c.Px(1.5)) break;
    k = f, tw = w, th = h;
  }
  int title_y = c.Px(0.55);
  c.BigText("9x15bold", title, c.width() / 2 - tw / 2, title_y, k);
  int gem_h = th;
  DrawCrystal(c, c.width() / 2 - tw / 2 - c.Px(0.8), title_y + th, gem_h / 2, gem_h);
  DrawCrystal(c, c.width() / 2 + tw / 2 + c.Px(0.8), title_y + th, gem_h / 2, gem_h);

  PixelRect panel = {c.Px(0.9), title_y + th + c.Px(0.5), c.width() - 1 - c.Px(0.9), c.Px(11.0)};
  c.Fill(panel, kParchment);
  c.Frame(panel, std::max(2, c.Px(0.04)), kParchmentEdge);

  struct Line {
    char kind;  // 'H' heading, 'T' text, 'B' bullet
    const char* text;
  };
  static const Line kLines[] = {
      {'H', "THE STORY"},
      {'T', "Zindra the explorer is lost deep under the mountain."},
      {'T', "Guide her through the caverns and bring the crystals home."},
      {'H', "THE RULES"},
      {'B', "Move with the ARROW keys and jump with SPACE."},
      {'B', "Every crystal you collect scores 10 points."},
      {'B', "A golden crystal gives you an extra life."},
      {'B', "Bats and falling rocks cost a life; you start with 3."},
      {'B', "Take every crystal to open the door to the next cavern."},
      {'B', "Each cavern is faster and darker than the one before."},
      {'B', "Press P to pause and ESC to go back to the menu."},
      {'H', "GOOD LUCK, EXPLORER!"},
  };
  // The largest font that fits the widest line; headings after the first
  // get half a line of space above them.
  int nlines = static_cast<int>(sizeof(kLines) / sizeof(kLines[0]));
  int gaps = 0;
  for (int i = 1; i < nlines; ++i) gaps += kLines[i].kind == 'H' ? 1 : 0;
  int margin = c.Px(0.45);
  int indent = c.Px(0.7);
  static const char* kTextFonts[] = {"12x24", "10x20", "9x15", "8x13", "7x13", "6x12", "6x10", "5x8"};
  XFontStruct* font = nullptr;
  int step = 0;
  for (const char* name : kTextFonts) {
    font = c.Font(name);
    if (!font) continue;
    int widest = 0;
    for (const Line& l : kLines) {
      widest =
          std::max(widest, Canvas::TextWidth(font, l.kind == 'H', l.text) + (l.kind == 'B' ? indent : 0));
    }
    int h = font->ascent + font->descent;
    int room = (panel.Height() - 2 * margin) * 2 / (2 * nlines + gaps);
    step = std::min(h * 2, room);
    if (widest <= panel.Width() - 2 * margin && step >= h + 2) break;
  }
  if (!font) return;
  int block = nlines * step + gaps * step / 2;
  int y = panel.Y0 + (panel.Height() - block) / 2 + font->ascent;
  for (int i = 0; i < nlines; ++i) {
    const Line& l = kLines[i];
    if (l.kind == 'H' && i > 0) y += step / 2;
    int x = panel.X0 + margin;
    if (l.kind == 'B') {
      int gem = font->ascent;
      DrawCrystal(c, x + indent / 3, y, gem * 3 / 4, gem);
      x += indent;
    }
    c.Text(font, l.kind == 'H', x, y, l.text, l.kind == 'H' ? kHeading : kText);
    if (l.kind == 'H') {
      int w = Canvas::TextWidth(font, true, l.text);
      c.Fill(x, y + font->descent, w, std::max(1, c.Px(0.03)), kParchmentEdge);
    }
    y += step;
  }

  XFontStruct* foot = c.Font(c.scale() >= 40 ? "9x15" : "6x10");
  std::string hint = "Close this window to return to the menu.";
  int fw = Canvas::TextWidth(foot, false, hint);
  c.Text(foot, false, c.width() / 2 - fw / 2, c.Px(11.55), hint, kSubtitle);
  DrawFrame(c);
}

void Usage() {
  std::fprintf(stderr,
               "usage: zindra-pictures [--scale PIXELS_PER_CM] [OUTPUT_DIRECTORY]\n"
               "Writes menu.xpm and instructions.xpm (15 x 12 cm each) into the directory\n"
               "(default: the current one). The scale defaults to floor(display width / 29).\n");
}

}  // namespace

int main(int argc, char** argv) {
  double scale = 0;
  std::string dir = ".";
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if ((arg == "--scale" || arg == "-s") && i + 1 < argc) {
      char* end = nullptr;
      scale = std::strtod(argv[++i], &end);
      if (!end || *end != '\0' || scale < 4 || scale > 400) {
        std::fprintf(stderr, "zindra-pictures: bad scale %s\n", argv[i]);
        return 2;
      }
    } else if (arg == "-h" || arg == "--help") {
      Usage();
      return 0;
    } else if (!arg.empty() && arg[0] == '-') {
      Usage();
      return 2;
    } else {
      dir = arg;
    }
  }

  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "zindra-pictures: cannot open display %s\n", XDisplayName(nullptr));
    return 1;
  }
  if (scale == 0) {
    scale = std::floor(static_cast<float>(DisplayWidth(display, DefaultScreen(display)) / 29.0));
    if (scale < 1) scale = 1;
  }

  int status = 0;
  struct Picture {
    const char* file;
    void (*draw)(Canvas&);
  };
  const Picture pictures[] = {{"menu.xpm", DrawMenu}, {"instructions.xpm", DrawInstructions}};
  for (const Picture& p : pictures) {
    Canvas canvas(display, scale);
    p.draw(canvas);
    std::string path = dir + "/" + p.file;
    int colours = 0;
    if (!canvas.Write(path, &colours)) {
      status = 1;
      continue;
    }
    std::printf("%s: %dx%d pixels (%g px/cm), %d colours\n", path.c_str(), canvas.width(), canvas.height(),
                scale, colours);
  }
  XCloseDisplay(display);
  return status;
}
