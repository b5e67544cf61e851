// Drawing throughput: draws per second of RenderText, RenderRectangle,
// DrawBitMap and BitMap::Draw once ApiMain has completed (no event pump),
// each next to the same X requests issued directly with Xlib: the floor for
// drawing that creates its graphics contexts (and loads its font) per call
// and draws into the window and a screen-sized pixmap. Rounds of the two
// alternate, and the medians are compared, so that both see the same server.
//
// Usage: bench_drawing [rounds]   (under an X server, e.g. scripts/with-xvfb)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "slate.h"

namespace {

double Seconds(const std::function<void()>& draw, int count) {
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) draw();
  XSync(display, False);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Case {
  const char* name;
  int count;  // draws per round
  std::function<void()> library;
  std::function<void()> direct;
};

// The requests of one text draw: font load, width, two image strings, font free.
void DirectText(unsigned long window, unsigned long pixmap, const char* text, int centreX, int centreY) {
  XFontStruct* font = XLoadQueryFont(display, WindowFont);
  if (!font) return;
  int length = static_cast<int>(strlen(text));
  int w = XTextWidth(font, text, length);
  int h = font->ascent + font->descent;
  XGCValues values;
  values.foreground = ColorTable[Black];
  values.background = ColorTable[White];
  values.font = font->fid;
  for (unsigned long target : {window, pixmap}) {
    GC gc = XCreateGC(display, target, GCForeground | GCBackground | GCFont, &values);
    XDrawImageString(display, target, gc, centreX - w / 2, centreY + h / 2, text, length);
    XFreeGC(display, gc);
  }
  XFreeFont(display, font);
}

void DirectRectangle(unsigned long window, unsigned long pixmap, int x, int y, int w, int h) {
  for (unsigned long target : {window, pixmap}) {
    GC gc = GetGraphicsContext(target, ColorTable[Red], ColorTable[White]);
    XFillRectangle(display, target, gc, x, y, w, h);
    XSetForeground(display, gc, ColorTable[Black]);
    XDrawRectangle(display, target, gc, x, y, w, h);
    XFreeGC(display, gc);
  }
}

void DirectCopy(unsigned long window, unsigned long pixmap, unsigned long source, int x, int y, int w,
                int h) {
  for (unsigned long target : {window, pixmap}) {
    GC gc = GetGraphicsContext(target, BlackPixel(display, ScreenNbr), ColorTable[White]);
    XCopyArea(display, source, target, gc, 0, 0, w, h, x, y);
    XFreeGC(display, gc);
  }
}

// A 66 x 33 picture file in two colours; returns its path.
std::string WritePicture() {
  char path[] = "/tmp/bench_drawing_XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return "";
  std::string text = "/* XPM */\nstatic char *p[] = {\n\"66 33 2 1\",\n\"r c #FF0000\",\n\"b c #0000FF\",\n";
  for (int y = 0; y < 33; ++y)
    text += "\"" + std::string(33, 'r') + std::string(33, 'b') + (y < 32 ? "\",\n" : "\"\n");
  text += "};\n";
  ssize_t written = write(fd, text.data(), text.size());
  close(fd);
  return written == static_cast<ssize_t>(text.size()) ? path : "";
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
  if (!WinManager.ColorsObtained()) {
    std::fprintf(stderr, "bench_drawing: the palette could not be allocated\n");
    return 1;
  }
  SimpleWindow window("bench_drawing", 8, 6, Position(0, 0));
  if (window.Open() != WindowIsOpen) {
    std::fprintf(stderr, "bench_drawing: cannot open a window\n");
    return 1;
  }
  WinManager.ApiMainIsCompleted();

  unsigned long id = WinManager.GetWindow(&window);
  int screenWidth = DisplayWidth(display, ScreenNbr), screenHeight = DisplayHeight(display, ScreenNbr);
  unsigned long root = RootWindow(display, ScreenNbr);
  unsigned int depth = DefaultDepth(display, ScreenNbr);
  // Stands in for the window's backing pixmap in the direct requests.
  Pixmap backing = XCreatePixmap(display, root, screenWidth, screenHeight, depth);
  Pixmap source = XCreatePixmap(display, root, 66, 33, depth);
  DirectRectangle(source, source, 0, 0, 66, 33);

  std::string file = WritePicture();
  BitMap picture(window);
  if (file.empty() || picture.Load(file) != PictureLoaded) {
    std::fprintf(stderr, "bench_drawing: cannot load a picture\n");
    return 1;
  }
  unlink(file.c_str());
  picture.SetPosition(Position(2, 2));

  const char* text = "Benchmark!";
  Position centre(1.5f, 1.0f), upperLeft(1, 1), lowerRight(2, 2), corner(0.5f, 1.0f), size(1.0f, 0.5f);
  int cx = l_to_d(centre.GetXDistance()), cy = l_to_d(centre.GetYDistance());
  int x0 = l_to_d(1.0f), x1 = l_to_d(2.0f);
  int px = l_to_d(0.5f), py = l_to_d(1.0f), pw = l_to_d(1.0f), ph = l_to_d(0.5f);
  int bx = l_to_d(2.0f), bw = l_to_d(picture.GetWidth()), bh = l_to_d(picture.GetHeight());
  unsigned long pixmapId = source;

  std::vector<Case> cases = {
      {"RenderText", 2000, [&] { window.RenderText(centre, text, Black, White); },
       [&] { DirectText(id, backing, text, cx, cy); }},
      {"RenderRectangle", 20000, [&] { window.RenderRectangle(upperLeft, lowerRight, Red, true); },
       [&] { DirectRectangle(id, backing, x0, x0, x1 - x0, x1 - x0); }},
      {"DrawBitMap", 20000, [&] { window.DrawBitMap(pixmapId, corner, size); },
       [&] { DirectCopy(id, backing, source, px, py, pw, ph); }},
      {"BitMap::Draw", 20000, [&] { picture.Draw(); },
       [&] { DirectCopy(id, backing, source, bx, bx, bw, bh); }},
  };

  std::printf("bench_drawing: display %s, %dx%d, %d rounds, medians\n", DisplayString(display), screenWidth,
              screenHeight, rounds);
  std::printf("%-16s %8s %16s %16s %18s\n", "operation", "draws", "library draws/s", "Xlib draws/s",
              "library/Xlib time");
  for (const Case& c : cases) {
    Seconds(c.library, c.count / 10);  // warm up both paths
    Seconds(c.direct, c.count / 10);
    std::vector<double> library, direct;
    for (int r = 0; r < rounds; ++r) {
      library.push_back(Seconds(c.library, c.count));
      direct.push_back(Seconds(c.direct, c.count));
    }
    double lib = Median(library), xlib = Median(direct);
    std::printf("%-16s %8d %16.0f %16.0f %17.3fx\n", c.name, c.count, c.count / lib, c.count / xlib,
                lib / xlib);
  }

  XFreePixmap(display, source);
  XFreePixmap(display, backing);
  window.Close();
  return 0;
}
