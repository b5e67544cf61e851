// Drawing throughput, side by side in one run: calls per second of slate's
// text, rectangles, ellipses, polygons, lines, outlines, pixmap copies,
// pictures with alpha, picture loads and the alert box's drawables (disc,
// mark, message and button, as the box draws them), next to
//  - the raw-Xlib floor: font loaded once, one graphics context, the window
//    alone;
//  - the same X requests slate makes, written by hand: each figure drawn
//    into a screen-sized pixmap, and the box they changed copied to the
//    window once at the end, as the event loop copies a pass's damage;
//  - where it is built with FLTK (libfltk1.3-dev), the same figures drawn
//    by FLTK into a window of its own;
// from a callback (ApiMain has returned: no event pump; the rate includes
// the pass of the loop that shows what was drawn) and from ApiMain (every
// call shows its figure at once and flushes). Rounds of the columns
// alternate and medians are compared, so that all see the same server.
//
// Pictures at a size and smooth ellipses are compared with slate's own
// pictures at their pixels and aliased ellipses, as ratios at the end: a
// smooth ellipse drawn again (kept) and ellipses of a hundred sizes.
//
// Then text at any size, 12-character strings from a callback at two line
// heights, next to the raw Xft floor (a font of the same height opened once,
// XftDrawStringUtf8 into the window), the same requests WriteText makes
// written by hand (drawn into the pixmap, the box they changed copied to
// the window at the end), and the core-font RenderText.
//
// Usage: bench_drawing [rounds [workload...]]   (under an X server, e.g.
// scripts/with-xvfb); the names pick workloads and tables, whole or by
// their first words ("PNG", "text").
#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrender.h>
#include <X11/xpm.h>
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "slate.h"

#ifdef SLATE_BENCH_FLTK
#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#endif

namespace {

// Calls a second: count calls, then finish (the copy of what they drew to
// the window), up to the server's answer.
double Rate(const std::function<void(int)>& draw, int count, const std::function<void()>& finish) {
  XSync(display, False);
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) draw(i);
  if (finish) finish();
  XSync(display, False);
  return count / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Workload {
  const char* Name;
  int Count;                       // calls per round
  std::function<void(int)> Floor;  // raw Xlib, the window alone; none where nothing matches
  std::function<void(int)> Same;   // slate's requests, by hand; none where they are the floor
  std::function<void(int)> Slate;  // the library
  std::function<void(int)> Peer;   // FLTK, where it is built in; none otherwise
};

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
  // Whether a workload or a table is picked by the command line.
  auto picked = [&](const std::string& name) {
    for (int a = 2; a < argc; ++a)
      if (name.compare(0, std::strlen(argv[a]), argv[a]) == 0) return true;
    return argc <= 2;
  };
  if (!WinManager.ColorsObtained()) {
    std::fprintf(stderr, "bench_drawing: the palette could not be allocated\n");
    return 1;
  }
  SimpleWindow window("bench_drawing", 15, 12, Position(0, 0));
  if (window.Open() != WindowIsOpen) {
    std::fprintf(stderr, "bench_drawing: cannot open a window\n");
    return 1;
  }
  Window id = WinManager.GetWindow(&window);
  Window root = RootWindow(display, ScreenNbr);
  int depth = DefaultDepth(display, ScreenNbr);
  Pixmap backing = XCreatePixmap(display, root, DisplayWidth(display, ScreenNbr),
                                 DisplayHeight(display, ScreenNbr), depth);
  Pixmap source = XCreatePixmap(display, root, 66, 33, depth);
  XFontStruct* font = XLoadQueryFont(display, WindowFont);
  if (!font) {
    std::fprintf(stderr, "bench_drawing: the server lacks the font %s\n", WindowFont);
    return 1;
  }
  GC gc = GetGraphicsContext(root, ColorTable[Blue], ColorTable[White]);
  XSetFont(display, gc, font->fid);
  XSetGraphicsExposures(display, gc, False);  // as the library's: no NoExpose event per copy
  GC line = GetGraphicsContext(root, ColorTable[Red], ColorTable[Red]);
  XSetLineAttributes(display, line, 3, LineDoubleDash, CapRound, JoinRound);
  XFillRectangle(display, source, gc, 0, 0, 66, 33);
  GC outline = GetGraphicsContext(root, ColorTable[Red], ColorTable[Red]);
  XSetLineAttributes(display, outline, 3, LineSolid, CapButt, JoinMiter);

  // A picture with alpha, and what the floor blends it with.
  const std::string pictures = SLATE_SOURCE_DIR "/tests/pictures/";
  BitMap alpha(window), loaded(window);
  if (alpha.Load(pictures + "png_rgba_33x33.png") != PictureLoaded) {
    std::fprintf(stderr, "bench_drawing: cannot load %spng_rgba_33x33.png\n", pictures.c_str());
    return 1;
  }
  XRenderPictFormat* argb = XRenderFindStandardFormat(display, PictStandardARGB32);
  XRenderPictFormat* screen = XRenderFindVisualFormat(display, DefaultVisual(display, ScreenNbr));
  Pixmap argbPixmap = XCreatePixmap(display, root, 33, 33, 32);
  Picture argbPicture = XRenderCreatePicture(display, argbPixmap, argb, 0, nullptr);
  Picture windowPicture = XRenderCreatePicture(display, id, screen, 0, nullptr);
  Picture backingPicture = XRenderCreatePicture(display, backing, screen, 0, nullptr);
  // Loads: libXpm reading the file by name, and libpng's simple reader with
  // one upload of the picture as ARGB, neither with a check, against
  // slate's read, check and load of the same files.
  const std::string xpm = pictures + "quadrants_66x33.xpm", png = pictures + "png_rgba_33x33.png";
  auto xpmFloor = [&](int) {
    Pixmap p = 0;
    XpmAttributes attributes{};
    if (XpmReadFileToPixmap(display, id, xpm.c_str(), &p, nullptr, &attributes) == XpmSuccess)
      XFreePixmap(display, p);
    XpmFreeAttributes(&attributes);
  };
  // A photograph-sized picture with alpha (990 x 792, noisy, as a camera
  // gives), loaded and drawn: libpng's simple reader, one upload and one
  // blend by Render, against slate's read, check, load and draw.
  auto writePng = [](const std::string& file, unsigned int width, unsigned int height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> rgba(width * height * 4);
    unsigned int noise = 1;
    for (size_t i = 0; i < rgba.size(); ++i) {
      noise = noise * 1103515245 + 12345;
      size_t x = i / 4 % width, y = i / 4 / width;
      int base[4] = {int(x * 255 / width), int(y * 255 / height), 128, int((x + y) % 256)};
      rgba[i] = static_cast<unsigned char>(std::clamp(base[i % 4] + int(noise >> 28) - 8, 0, 255));
    }
    png_image_write_to_file(&image, file.c_str(), 0, rgba.data(), 0, nullptr);
  };
  const std::string large = std::string(SLATE_BINARY_DIR) + "/bench/large_990x792.png";
  writePng(large, 990, 792);
  // A 256 x 256 picture with alpha drawn at its pixels and at 3 cm, and
  // the same Render requests by hand: its premultiplied pixels uploaded
  // once, the transform and the bilinear filter set once, one composite a
  // draw.
  const std::string square = std::string(SLATE_BINARY_DIR) + "/bench/square_256x256.png";
  writePng(square, 256, 256);
  BitMap natural(window), scaled(window);
  if (natural.Load(square) != PictureLoaded || scaled.Load(square) != PictureLoaded) {
    std::fprintf(stderr, "bench_drawing: cannot load %s\n", square.c_str());
    return 1;
  }
  scaled.SetSize(3, 3);
  Pixmap squarePixmap = XCreatePixmap(display, root, 256, 256, 32);
  {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    png_image_begin_read_from_file(&image, square.c_str());
    image.format = PNG_FORMAT_BGRA;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
    for (size_t i = 0; i < pixels.size(); i += 4)
      for (int c = 0; c < 3; ++c)
        pixels[i + c] = static_cast<unsigned char>(pixels[i + c] * pixels[i + 3] / 255);
    XImage* x = XCreateImage(display, DefaultVisual(display, ScreenNbr), 32, ZPixmap, 0,
                             reinterpret_cast<char*>(pixels.data()), 256, 256, 32, 0);
    GC g = XCreateGC(display, squarePixmap, 0, nullptr);
    XPutImage(display, squarePixmap, g, x, 0, 0, 0, 0, 256, 256);
    XFreeGC(display, g);
    x->data = nullptr;
    XDestroyImage(x);
  }
  Picture squarePicture = XRenderCreatePicture(display, squarePixmap, argb, 0, nullptr);
  Picture squareScaled = XRenderCreatePicture(display, squarePixmap, argb, 0, nullptr);
  double squareScale = 256.0 / l_to_d(3.0f);
  XTransform squareTransform = {
      {{XDoubleToFixed(squareScale), 0, 0}, {0, XDoubleToFixed(squareScale), 0}, {0, 0, XDoubleToFixed(1)}}};
  XRenderSetPictureTransform(display, squareScaled, &squareTransform);
  XRenderSetPictureFilter(display, squareScaled, FilterBilinear, nullptr, 0);
  XRenderPictureAttributes pad;
  pad.repeat = RepeatPad;
  XRenderChangePicture(display, squareScaled, CPRepeat, &pad);
  // libpng's simple reader and one upload of the picture as ARGB; with a
  // target, one blend of it there at (at, at).
  auto pngFloor = [&](const std::string& file, Picture target, int at) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str())) return;
    image.format = PNG_FORMAT_BGRA;
    std::vector<char> pixels(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
    XImage* x = XCreateImage(display, DefaultVisual(display, ScreenNbr), 32, ZPixmap, 0, pixels.data(),
                             image.width, image.height, 32, 0);
    Pixmap p = XCreatePixmap(display, root, image.width, image.height, 32);
    GC g = XCreateGC(display, p, 0, nullptr);
    XPutImage(display, p, g, x, 0, 0, 0, 0, image.width, image.height);
    if (target) {
      Picture picture = XRenderCreatePicture(display, p, argb, 0, nullptr);
      XRenderComposite(display, PictOpOver, picture, None, target, 0, 0, 0, 0, at, at, image.width,
                       image.height);
      XRenderFreePicture(display, picture);
    }
    XFreeGC(display, g);
    XFreePixmap(display, p);
    x->data = nullptr;  // the vector's
    XDestroyImage(x);
  };

  // The alert box's drawables as it lays them out at 66 px/cm, drawn at
  // once; the button into the window itself.
  EllipseGraphic disc(Yellow, Position(0.5f, 0.5f), Position(1.3f, 1.3f), 0);
  X11BitMapGraphic bits(exclam_bits, Yellow, Position(0.78f, 0.52f), GraphicPosition(10, 30), 0);
  MessageGraphic message("hello", White, Position(1.75f, 0.7f), Position(1.75f, 0.7f), 0);
  message.SetLowerRight(GraphicPosition(156, 67));
  ButtonGraphic button(ButtonMessage, Position(), Position(), ButtonColorTable[1], ButtonColorTable[2], 0);
  button.SetLocation(DeviceOrigin, GraphicPosition(105, 49));
  std::vector<GraphicNode*> alert = {&disc, &bits, &message, &button};

  const char* text = "12345";
  const int length = static_cast<int>(strlen(text));
  const int textWidth = XTextWidth(font, text, length), textHeight = font->ascent + font->descent;
  // Positions walk over a 10 x 10 grid of 1 cm cells, so that no two
  // consecutive calls draw at the same place.
  auto cm = [](int i) { return Position(0.5f + (i % 10), 0.5f + (i / 10 % 10)); };
  auto px = [&](int i) { return l_to_d(cm(i)); };
  // The box every workload draws within: the grid, and a cell beyond it.
  GraphicPosition grid0 = px(0), grid1 = px(99) + l_to_d(Position(1, 1));
  // What the event loop does after a pass: the box that changed, copied
  // from the pixmap to the window.
  auto copyDamage = [&] {
    XCopyArea(display, backing, id, gc, grid0.GetXCoordinate(), grid0.GetYCoordinate(),
              grid1.GetXCoordinate() - grid0.GetXCoordinate(),
              grid1.GetYCoordinate() - grid0.GetYCoordinate(), grid0.GetXCoordinate(),
              grid0.GetYCoordinate());
  };
  auto shown = [] { WinManager.CheckEvents(); };  // a pass of the loop: damage shown
#ifdef SLATE_BENCH_FLTK
  // FLTK's window, beside slate's (a window covering another would make
  // drawing into that one cost nothing), drawn into outside its draw() as a
  // program draws from a callback; its own connection, synchronised at the
  // end.
  Fl_Window fltkWindow(l_to_d(15.2f), 0, l_to_d(12), l_to_d(12), "bench_drawing FLTK");
  fltkWindow.show();
  Fl::check();
  fltkWindow.make_current();
  auto fltk = [](std::function<void(int, int)> draw, std::function<void()> setup = nullptr) {
    return [draw, setup](int i) {
      if (i == 0) {
        fl_color(FL_BLUE);
        if (setup) setup();
      }
      GraphicPosition p = l_to_d(Position(0.5f + (i % 10), 0.5f + (i / 10 % 10)));
      draw(p.GetXCoordinate(), p.GetYCoordinate());
    };
  };
  auto fltkShown = [] { XSync(fl_display, False); };
#else
  auto fltk = [](std::function<void(int, int)>, std::function<void()> = nullptr) {
    return std::function<void(int)>();
  };
  auto fltkShown = [] {};
#endif
  // A workload whose floor draws at pixel (x, y) of the window alone, and
  // whose same requests as slate's go to the backing pixmap.
  auto paired = [&](const char* name, int count, std::function<void(Drawable, int, int)> draw,
                    std::function<void(int)> slate, std::function<void(int)> peer = nullptr) {
    auto at = [&px, draw](Drawable d, int i) {
      GraphicPosition p = px(i);
      draw(d, p.GetXCoordinate(), p.GetYCoordinate());
    };
    return Workload{name,  count, [at, id](int i) { at(id, i); }, [at, backing](int i) { at(backing, i); },
                    slate, peer};
  };
  auto blend = [&](Picture target, int i) {
    XRenderComposite(display, PictOpOver, argbPicture, None, target, 0, 0, 0, 0, px(i).GetXCoordinate(),
                     px(i).GetYCoordinate(), 33, 33);
  };
  auto composite = [&](Picture source, Picture target, int i, int size) {
    XRenderComposite(display, PictOpOver, source, None, target, 0, 0, 0, 0, px(i).GetXCoordinate(),
                     px(i).GetYCoordinate(), size, size);
  };
  // A 4 x 3 cm ellipse, aliased and smooth; by hand, smooth: the polygon
  // slate sends (from a circle of points computed once), one request.
  const int ellipseWidth = l_to_d(4.0f), ellipseHeight = l_to_d(3.0f);
  std::vector<XPointDouble> circle;
  {
    double rx = (ellipseWidth + 1) / 2.0, ry = (ellipseHeight + 1) / 2.0;
    int steps = static_cast<int>(std::ceil(2 * M_PI / std::sqrt(0.8 / std::max(rx, ry))));
    for (int k = 0; k <= steps; ++k)
      circle.push_back({rx * std::cos(2 * M_PI * k / steps), ry * std::sin(2 * M_PI * k / steps)});
  }
  XRenderColor blueColour{0, 0, 0xffff, 0xffff};
  Picture solidBlue = XRenderCreateSolidFill(display, &blueColour);
  XRenderPictFormat* a8 = XRenderFindStandardFormat(display, PictStandardA8);
  std::vector<XPointDouble> ellipsePoints(circle.size());
  // slate's requests: the polygon's coverage made once in a mask, then the
  // colour blended through it.
  Pixmap keptMask = XCreatePixmap(display, root, ellipseWidth + 3, ellipseHeight + 3, 8);
  Picture kept = XRenderCreatePicture(display, keptMask, a8, 0, nullptr);
  {
    XRenderColor none{0, 0, 0, 0}, white{0xffff, 0xffff, 0xffff, 0xffff};
    XRenderFillRectangle(display, PictOpSrc, kept, &none, 0, 0, ellipseWidth + 3, ellipseHeight + 3);
    std::vector<XPointDouble> at(circle);
    for (XPointDouble& p : at) p.x += 1 + (ellipseWidth + 1) / 2.0, p.y += 1 + (ellipseHeight + 1) / 2.0;
    Picture solidWhite = XRenderCreateSolidFill(display, &white);
    XRenderCompositeDoublePoly(display, PictOpAdd, solidWhite, kept, a8, 0, 0, 0, 0, at.data(),
                               static_cast<int>(at.size()), 0);
    XRenderFreePicture(display, solidWhite);
  }
  auto keptEllipse = [&](Picture target, int i) {
    XRenderComposite(display, PictOpOver, solidBlue, kept, target, 0, 0, 0, 0, px(i).GetXCoordinate() - 1,
                     px(i).GetYCoordinate() - 1, ellipseWidth + 3, ellipseHeight + 3);
  };
  auto smoothEllipse = [&](Picture target, int i) {
    double cx = px(i).GetXCoordinate() + (ellipseWidth + 1) / 2.0,
           cy = px(i).GetYCoordinate() + (ellipseHeight + 1) / 2.0;
    for (size_t k = 0; k < circle.size(); ++k) ellipsePoints[k] = {cx + circle[k].x, cy + circle[k].y};
    XRenderCompositeDoublePoly(display, PictOpOver, solidBlue, target, a8, 0, 0, 0, 0, ellipsePoints.data(),
                               static_cast<int>(ellipsePoints.size()), 0);
  };
  std::vector<Position> triangle = {{0, 0}, {0.5f, 0}, {0, 0.5f}};
  std::vector<Workload> workloads = {
      paired(
          "text", 20000,
          [&](Drawable d, int x, int y) {
            XDrawImageString(display, d, gc, x - textWidth / 2, y + textHeight / 2, text, length);
          },
          [&](int i) { window.RenderText(cm(i), text, Blue, White); }),
      paired(
          "rectangle", 100000,
          [&](Drawable d, int x, int y) { XFillRectangle(display, d, gc, x, y, 34, 34); },
          [&](int i) { window.RenderRectangle(cm(i), cm(i) + Position(0.5f, 0.5f), Blue, false); },
          fltk([](int x, int y) { fl_rectf(x, y, 34, 34); })),
      paired(
          "ellipse", 50000,
          [&](Drawable d, int x, int y) {
            XFillArc(display, d, gc, x, y, 33, 33, 0, 23040);
            XDrawArc(display, d, gc, x, y, 33, 33, 0, 23040);
          },
          [&](int i) { window.RenderEllipse(cm(i), cm(i) + Position(0.5f, 0.5f), Blue, false); },
          fltk([](int x, int y) {
            fl_pie(x, y, 33, 33, 0, 360);
            fl_arc(x, y, 33, 33, 0, 360);
          })),
      paired(
          "polygon", 50000,
          [&](Drawable d, int x, int y) {
            XPoint points[4] = {{short(x), short(y)},
                                {short(x + 33), short(y)},
                                {short(x), short(y + 33)},
                                {short(x), short(y)}};
            XFillPolygon(display, d, gc, points, 4, Complex, CoordModeOrigin);
            XDrawLines(display, d, gc, points, 4, CoordModeOrigin);
          },
          [&](int i) {
            Position at = cm(i);
            Position corners[3] = {at + triangle[0], at + triangle[1], at + triangle[2]};
            window.RenderPolygon(corners, 3, Blue, false);
          },
          fltk([](int x, int y) {
            fl_polygon(x, y, x + 33, y, x, y + 33);
            fl_loop(x, y, x + 33, y, x, y + 33);
          })),
      paired(
          "line", 50000, [&](Drawable d, int x, int y) { XDrawLine(display, d, line, x, y, x + 33, y + 20); },
          [&](int i) { window.RenderLine(cm(i), cm(i) + Position(0.5f, 0.3f), Red, 0.05f); },
          fltk([](int x, int y) { fl_line(x, y, x + 33, y + 20); },
               [] { fl_line_style(FL_SOLID | FL_CAP_ROUND | FL_JOIN_ROUND, 3); })),
      paired(
          "DrawBitMap", 50000,
          [&](Drawable d, int x, int y) { XCopyArea(display, source, d, gc, 0, 0, 66, 33, x, y); },
          [&](int i) { window.DrawBitMap(source, cm(i), Position(1.0f, 0.5f)); }),
      paired(
          "outline", 50000,
          [&](Drawable d, int x, int y) { XDrawRectangle(display, d, outline, x, y, 33, 33); },
          [&](int i) { window.RenderRectangleOutline(cm(i), cm(i) + Position(0.5f, 0.5f), Red, 0.05f); },
          fltk([](int x, int y) { fl_rect(x, y, 34, 34); }, [] { fl_line_style(FL_SOLID, 3); })),
      {"PNG alpha", 20000, [&](int i) { blend(windowPicture, i); }, [&](int i) { blend(backingPicture, i); },
       [&](int i) {
         alpha.SetPosition(cm(i));
         alpha.Draw();
       },
       nullptr},
      {"load XPM", 500, xpmFloor, nullptr, [&](int) { loaded.Load(xpm); }, nullptr},
      {"load PNG", 500, [&](int) { pngFloor(png, None, 0); }, nullptr, [&](int) { loaded.Load(png); },
       nullptr},
      {"PNG 990x792", 20, [&](int i) { pngFloor(large, windowPicture, i % 10); }, nullptr,
       [&](int i) {
         loaded.Load(large);
         loaded.SetPosition(Position(d_to_l(i % 10), d_to_l(i % 10)));
         loaded.Draw();
       },
       nullptr},
      {"PNG 256", 5000, [&](int i) { composite(squarePicture, windowPicture, i, 256); },
       [&](int i) { composite(squarePicture, backingPicture, i, 256); },
       [&](int i) {
         natural.SetPosition(cm(i));
         natural.Draw();
       },
       nullptr},
      {"PNG 256 3cm", 5000, [&](int i) { composite(squareScaled, windowPicture, i, l_to_d(3.0f)); },
       [&](int i) { composite(squareScaled, backingPicture, i, l_to_d(3.0f)); },
       [&](int i) {
         scaled.SetPosition(cm(i));
         scaled.Draw();
       },
       nullptr},
      paired(
          "ellipse 4x3", 5000,
          [&](Drawable d, int x, int y) {
            XFillArc(display, d, gc, x, y, ellipseWidth, ellipseHeight, 0, 23040);
            XDrawArc(display, d, gc, x, y, ellipseWidth, ellipseHeight, 0, 23040);
          },
          [&](int i) { window.RenderEllipse(cm(i), cm(i) + Position(4, 3), Blue, false); }),
      {"smooth 4x3", 5000, [&](int i) { smoothEllipse(windowPicture, i); },
       [&](int i) { keptEllipse(backingPicture, i); },
       [&](int i) {
         window.SetSmooth(true);
         window.RenderEllipse(cm(i), cm(i) + Position(4, 3), Blue, false);
         window.SetSmooth(false);
       },
       nullptr},
      // A hundred sizes, none drawn again soon: its coverage computed for
      // each.
      {"smooth sizes", 5000, nullptr, nullptr,
       [&](int i) {
         window.SetSmooth(true);
         window.RenderEllipse(cm(i), cm(i) + Position(4 + (i % 101) * 0.01f, 3), Blue, false);
         window.SetSmooth(false);
       },
       nullptr},
      // The box's own drawing: its text is scalable, which no core-font
      // floor matches.
      {"alert", 5000, nullptr, nullptr,
       [&](int) {
         for (GraphicNode* node : alert) node->Draw(id);
       },
       nullptr},
  };

  std::printf("bench_drawing: display %s, %dx%d, %d rounds, medians, calls per second\n",
              DisplayString(display), DisplayWidth(display, ScreenNbr), DisplayHeight(display, ScreenNbr),
              rounds);
  std::printf("%-12s %-9s %12s %12s %12s %12s %11s %10s %10s\n", "workload", "from", "Xlib floor",
              "same reqs", "slate", "FLTK", "floor/slate", "same/slate", "FLTK/slate");
  std::map<std::string, double> fromCallback;  // slate's rates, by workload
  for (const char* phase : {"ApiMain", "callback"}) {
    // ApiMain has not returned until the first phase is over: every call of
    // the library runs the event pump, which shows what it drew at once.
    bool callback = std::strcmp(phase, "callback") == 0;
    if (callback) WinManager.ApiMainIsCompleted();
    for (const Workload& w : workloads) {
      if (!picked(w.Name)) continue;
      int count = callback ? w.Count : w.Count / 5;
      Rate(w.Slate, count / 10, shown);  // warm up
      std::vector<double> floor, same, slate, peer;
      for (int r = 0; r < rounds; ++r) {
        if (w.Floor) floor.push_back(Rate(w.Floor, count, nullptr));
        if (w.Same && callback) same.push_back(Rate(w.Same, count, copyDamage));
        slate.push_back(Rate(w.Slate, count, shown));
        if (w.Peer && callback) peer.push_back(Rate(w.Peer, count, fltkShown));
      }
      double l = Median(slate);
      if (callback) fromCallback[w.Name] = l;
      // A column without its workload shows "-"; a ratio is how many times
      // longer slate takes than the other (above 1: slate is slower).
      auto figure = [](const std::vector<double>& rates, const char* format, double over = 0) {
        char cell[32] = "-";
        if (!rates.empty())
          std::snprintf(cell, sizeof cell, format, over == 0 ? Median(rates) : Median(rates) / over);
        return std::string(cell);
      };
      std::printf("%-12s %-9s %12s %12s %12.0f %12s %11s %10s %10s\n", w.Name, phase,
                  figure(floor, "%.0f").c_str(), figure(same, "%.0f").c_str(), l,
                  figure(peer, "%.0f").c_str(), figure(floor, "%.2fx", l).c_str(),
                  figure(same, "%.2fx", l).c_str(), figure(peer, "%.2fx", l).c_str());
    }
  }

  // Slate against slate: how many times longer a draw takes.
  for (auto [slower, faster] :
       {std::make_pair("PNG 256 3cm", "PNG 256"), std::make_pair("smooth 4x3", "ellipse 4x3"),
        std::make_pair("smooth sizes", "ellipse 4x3")})
    if (fromCallback.count(slower) && fromCallback.count(faster))
      std::printf("%s takes %.2fx the time of %s, from a callback\n", slower,
                  fromCallback[faster] / fromCallback[slower], faster);

  if (picked("text"))
    std::printf("\n%-12s %-9s %12s %12s %12s %12s %10s %10s\n", "text", "height", "Xft floor", "same reqs",
                "WriteText", "RenderText", "floor/slate", "same/slate");
  Visual* visual = DefaultVisual(display, ScreenNbr);
  Colormap colormap = DefaultColormap(display, ScreenNbr);
  XftDraw* onWindow = XftDrawCreate(display, id, visual, colormap);
  XftDraw* onPixmap = XftDrawCreate(display, backing, visual, colormap);
  XftColor blue{ColorTable[Blue], {0, 0, 0xffff, 0xffff}};
  char strings[100][13];
  for (int i = 0; i < 100; ++i)
    std::snprintf(strings[i], sizeof strings[i], "Score %06d", i * 7919 % 1000000);
  auto string = [&](int i) { return reinterpret_cast<const FcChar8*>(strings[i % 100]); };
  for (float size : {0.23f, 0.5f}) {
    if (!picked("text")) break;
    // The floor's font: DejaVu Sans whose ascent and descent add up to the
    // same line height.
    int height = l_to_d(size);
    XftFont* xft = nullptr;
    for (double pixels = height * 0.7; pixels < height * 1.1; pixels += 0.05) {
      if (xft) XftFontClose(display, xft);
      xft = XftFontOpen(display, ScreenNbr, XFT_FAMILY, XftTypeString, "DejaVu Sans", XFT_PIXEL_SIZE,
                        XftTypeDouble, pixels, nullptr);
      if (!xft || xft->ascent + xft->descent >= height) break;
    }
    if (!xft) {
      std::fprintf(stderr, "bench_drawing: no scalable font\n");
      break;
    }
    Typeface face(size, "DejaVu Sans");
    auto floorText = [&](int i) {
      GraphicPosition p = px(i);
      XftDrawStringUtf8(onWindow, &blue, xft, p.GetXCoordinate(), p.GetYCoordinate() + xft->ascent, string(i),
                        12);
    };
    auto sameText = [&](int i) {
      GraphicPosition p = px(i);
      XGlyphInfo box;
      XftTextExtentsUtf8(display, xft, string(i), 12, &box);
      XftDrawStringUtf8(onPixmap, &blue, xft, p.GetXCoordinate() + box.x, p.GetYCoordinate() + xft->ascent,
                        string(i), 12);
    };
    auto writeText = [&](int i) { window.WriteText(cm(i), strings[i % 100], face, Blue); };
    auto renderText = [&](int i) { window.RenderText(cm(i), strings[i % 100], Blue, White); };
    const int count = 20000;
    Rate(writeText, count / 10, shown);  // warm up: glyphs loaded, the face found
    std::vector<double> floor, same, slate, core;
    for (int r = 0; r < rounds; ++r) {
      floor.push_back(Rate(floorText, count, nullptr));
      same.push_back(Rate(sameText, count, copyDamage));
      slate.push_back(Rate(writeText, count, shown));
      core.push_back(Rate(renderText, count, shown));
    }
    double f = Median(floor), s = Median(same), l = Median(slate);
    char label[32];
    std::snprintf(label, sizeof label, "%.2f cm %d px", size, height);
    std::printf("%-12s %-9s %12.0f %12.0f %12.0f %12.0f %9.1fx %9.1fx\n", "12 chars", label, f, s, l,
                Median(core), f / l, s / l);
    XftFontClose(display, xft);
  }
  XftDrawDestroy(onPixmap);
  XftDrawDestroy(onWindow);

  XRenderFreePicture(display, kept);
  XFreePixmap(display, keptMask);
  XRenderFreePicture(display, solidBlue);
  XRenderFreePicture(display, squareScaled);
  XRenderFreePicture(display, squarePicture);
  XFreePixmap(display, squarePixmap);
  XRenderFreePicture(display, backingPicture);
  XRenderFreePicture(display, windowPicture);
  XRenderFreePicture(display, argbPicture);
  XFreePixmap(display, argbPixmap);
  XFreeGC(display, outline);
  XFreeGC(display, line);
  XFreeGC(display, gc);
  XFreeFont(display, font);
  XFreePixmap(display, source);
  XFreePixmap(display, backing);
  window.Close();
  return 0;
}
