// Drawing in this process, read back from the window and, by blanking the
// window and letting it repaint, from its backing pixmap: text, shapes,
// colours, pictures, and the drawables of the alert box. The cases of text
// at any size (Text.*) run on screens of 47, 66 and 132 px/cm as well
// (tests/CMakeLists.txt).
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <fstream>
#include <functional>

#include "rig.h"
#include "slate.h"

namespace {

const std::string Pictures = SLATE_SOURCE_DIR "/tests/pictures/";
using Pixels = std::vector<unsigned long>;

// Checks a grab width pixels wide at spots given as x, y, colour, ...: the
// colours there, in order, must be those expected.
void ExpectAt(const Pixels& grab, int width, std::initializer_list<unsigned long> spots) {
  Pixels got, expected;
  for (auto s = spots.begin(); s + 2 < spots.end(); s += 3) {
    got.push_back(grab[s[1] * width + s[0]]);
    expected.push_back(s[2]);
  }
  EXPECT_EQ(got, expected);
}

long Count(const Pixels& grab, unsigned long colour) {
  return std::count(grab.begin(), grab.end(), colour);
}

// The bounds (left, top, right, bottom, inclusive) of the pixels of a grab
// width pixels wide that ink picks.
std::vector<int> Bounds(const Pixels& grab, int width, const std::function<bool(unsigned long)>& ink) {
  std::vector<int> b = {INT_MAX, INT_MAX, INT_MIN, INT_MIN};
  for (size_t i = 0; i < grab.size(); ++i) {
    int x = static_cast<int>(i) % width, y = static_cast<int>(i) / width;
    if (ink(grab[i])) b = {std::min(b[0], x), std::min(b[1], y), std::max(b[2], x), std::max(b[3], y)};
  }
  return b;
}

// A window of the test's own, open while the test runs, and what it shows.
class OnAWindow : public testing::Test {
 protected:
  OnAWindow(const char* title, float width, float height, Position at) : W(title, width, height, at) {}
  void SetUp() override {
    ASSERT_EQ(W.Open(), WindowIsOpen);
    Id = WinManager.GetWindow(&W);
  }
  void TearDown() override { W.Close(); }
  Pixels Grab(int x, int y, int width, int height) {
    XSync(display, False);
    return Peer.Grab(Id, x, y, width, height);
  }
  unsigned long Px(int x, int y) { return Grab(x, y, 1, 1)[0]; }
  // What the window shows, checked against what it shows once blanked and
  // repainted from its backing pixmap.
  Pixels Shown(int x, int y, int width, int height) {
    Pixels shown = Grab(x, y, width, height);
    XClearWindow(display, Id);
    W.RefreshEvent();
    EXPECT_EQ(Grab(x, y, width, height), shown) << "the backing pixmap differs";
    return shown;
  }
  SimpleWindow W;
  Window Id = 0;
  rig::Peer Peer;
  const unsigned long WhitePx = ColorTable[White], BlackPx = ColorTable[Black], RedPx = ColorTable[Red];
};

class Drawing : public OnAWindow {
 protected:
  Drawing() : OnAWindow("drawing", 8, 6, Position(1, 1)) {}
};

TEST_F(Drawing, TextIsCentredOnItsPointOverItsBand) {
  // Centre (99, 66) px; ten characters of 9 px, ascent 12, descent 3: the
  // baseline starts at (54, 73) and the band covers columns 54-143, rows 61-75.
  W.RenderText(Position(1.5f, 1), "0123456789", Blue, Yellow);
  Pixels band = Shown(53, 60, 92, 17);
  EXPECT_EQ(Count(band, ColorTable[Yellow]) + Count(band, ColorTable[Blue]), 90 * 15);
  EXPECT_GT(Count(band, ColorTable[Blue]), 100);
  unsigned long y = ColorTable[Yellow];
  ExpectAt(band, 92, {1, 1, y, 90, 1, y, 1, 15, y, 90, 15, y});
  // The box forms use the box's middle only, and odd widths lean left.
  Pixels first = Grab(0, 40, 300, 50);
  XClearWindow(display, Id);
  W.RenderText(Position(1.4f, 1), Position(1.6f, 1), std::string("0123456789"), Blue, Yellow);
  EXPECT_EQ(Grab(0, 40, 300, 50), first);
  W.RenderText(Position(1.5f, 3), "abc", Black, Green);  // 27 px from 99 - 13
  unsigned long g = ColorTable[Green];
  ExpectAt(Grab(85, 195, 29, 6), 29, {0, 0, WhitePx, 1, 0, g, 27, 5, g, 28, 5, WhitePx});
  // Far wider than 16-bit coordinates reach: the middle shows where it
  // belongs, and nothing of the rest lands on it.
  Pixels digits = Grab(54, 61, 90, 15);
  const std::string dashes(60000, '-');
  W.RenderText(Position(1.5f, 1), dashes + "0123456789" + dashes, Blue, Yellow);
  EXPECT_EQ(Shown(54, 61, 90, 15), digits);
}

TEST_F(Drawing, ShapesCoverTheirConvertedCorners) {
  W.RenderRectangle(Position(1, 1), Position(2, 2), Red, false);  // 66..132 both ways, inclusive
  W.RenderRectangle(Position(3, 1), Position(4, 2), Red, true);   // 198..264, the outer ring black
  // 0.78 cm is 51 px and 1 cm 66 px: the size is 66 - 51, not 0.22 cm in pixels (14).
  W.RenderRectangle(Position(0.78f, 2.5f), Position(1, 2.7f), Green, false);
  unsigned long g = ColorTable[Green], b = ColorTable[Blue], m = ColorTable[Magenta];
  ExpectAt(Shown(0, 0, 270, 180), 270,
           {66,  66,  RedPx,   132, 132, RedPx, 133, 132, WhitePx, 65, 66,  WhitePx, 198, 66,  BlackPx,
            264, 132, BlackPx, 199, 67,  RedPx, 51,  170, g,       66, 170, g,       67,  170, WhitePx});

  W.Erase(Position(1, 1), 3, 1);  // a white rectangle over both, edges included
  W.RenderEllipse(Position(1, 1), Position(2, 2), Blue, false);
  W.RenderEllipse(Position(3, 1), Position(4, 2), Blue, true);
  Position triangle[] = {{1, 2.5f}, {2, 2.5f}, {1, 3.5f}};
  // A count past the vector's end: its three vertices.
  W.RenderPolygon(std::vector<Position>(triangle, triangle + 3), 100, Cyan, true);
  W.RenderLine(Position(5, 1), Position(7, 1), Magenta, 0.5f);  // 33 px wide, round ends
  W.RenderLine(Position(5, 3), Position(7, 3), Magenta, 0);
  W.RenderRectangle(Position(6, 4), Position(7, 5), static_cast<color>(99), false);  // no such colour: black
  // Erased; outlines in the fill colour, or black; the edge that closes the
  // triangle; a wide line with its round end; a thin one; black.
  ExpectAt(Shown(0, 0, 480, 340), 480, {132, 132, WhitePx, 66,  99,  b,       198, 99,  BlackPx,
                                        231, 99,  b,       66,  200, BlackPx, 80,  180, ColorTable[Cyan],
                                        400, 50,  m,       400, 82,  m,       400, 49,  WhitePx,
                                        320, 66,  m,       400, 198, m,       400, 199, WhitePx,
                                        420, 300, BlackPx});

  // A copy of a pixmap: its origin's rectangle of the size converted.
  Pixmap source = XCreatePixmap(display, Id, 80, 80, DefaultDepth(display, ScreenNbr));
  GC gc = GetGraphicsContext(source, g, WhitePx);
  XFillRectangle(display, source, gc, 0, 0, 80, 80);
  XFreeGC(display, gc);
  W.DrawBitMap(source, Position(0.5f, 4), Position(1, 0.5f));
  XFreePixmap(display, source);
  ExpectAt(Shown(30, 262, 72, 40), 72,  // 33..98, 264..296
           {3, 2, g, 68, 34, g, 69, 34, WhitePx, 68, 35, WhitePx, 3, 1, WhitePx});
}

TEST_F(Drawing, OutlinesInAnyColourAndWidth) {
  // 0.2 cm is 13 px, centred on the edge: the edge at 66 covers 60..72.
  W.RenderRectangleOutline(Position(1, 1), Position(3, 2), Red, 0.2f);  // 66..198 x 66..132
  color navy = RGBColor(10, 20, 30);
  W.RenderEllipseOutline(Position(4, 1), Position(6, 3), navy, 0.2f);  // 264..396 x 66..198
  Position triangle[] = {{1, 3}, {3, 3}, {1, 5}};
  W.RenderPolygonOutline(std::vector<Position>(triangle, triangle + 3), 100, Green, 0);  // its 3; one pixel
  Position square[] = {{5, 4}, {7, 4}, {7, 5}, {5, 5}};
  W.RenderPolygonOutline(square, 4, Blue, 0.2f);  // closed: its first corner joined like the others
  unsigned long g = ColorTable[Green], b = ColorTable[Blue];
  ExpectAt(Shown(0, 0, 480, 340), 480,
           {60,  99,  RedPx,    59,  99,  WhitePx, 72,  99,  RedPx,    73,  99,  WhitePx, 132, 99,  WhitePx,
            132, 60,  RedPx,    132, 59,  WhitePx, 60,  60,  RedPx,    204, 126, RedPx,   205, 126, WhitePx,
            264, 132, 0x0a141e, 330, 132, WhitePx, 330, 66,  0x0a141e, 132, 198, g,       132, 199, WhitePx,
            66,  264, g,        67,  264, WhitePx, 324, 258, b,        456, 258, b,       324, 336, b,
            323, 257, WhitePx,  400, 300, WhitePx});
}

TEST_F(Drawing, AnyColourByItsParts) {
  color navy = RGBColor(12, 34, 56), rust = RGBColor(183, 65, 14);
  EXPECT_EQ(RGBColor(12, 34, 56), navy);  // allocated once
  EXPECT_EQ(RGBColor(-5, 300, 0), RGBColor(0, 255, 0));
  W.RenderRectangle(Position(0, 0), Position(1, 1), navy, false);
  W.RenderLine(Position(2, 0.5f), Position(3, 0.5f), rust, 0.2f);
  W.RenderText(Position(1, 2), "text", rust, navy);
  W.RenderEllipse(Position(4, 0), Position(5, 1), rust, true);
  // A value in the same range that RGBColor never gave draws in black.
  W.RenderRectangle(Position(6, 0), Position(7, 1), static_cast<color>(navy + 1), false);
  ExpectAt(Shown(0, 0, 400, 140), 400,
           {0, 0, 0x0c2238, 66, 66, 0x0c2238, 150, 33, 0xb7410e, 297, 33, 0xb7410e, 264, 33, BlackPx, 398, 33,
            BlackPx});
  Pixels band = Grab(48, 127, 36, 15);  // "text" in rust on navy
  EXPECT_EQ(Count(band, 0x0c2238) + Count(band, 0xb7410e), 36 * 15);
  EXPECT_GT(Count(band, 0xb7410e), 50);
  EllipseGraphic disc(RGBColor(200, 180, 20), Position(6, 3), Position(7, 4), Id);  // a retained drawable
  EXPECT_EQ(Px(429, 231), 0xc8b414u);
}

TEST_F(Drawing, ColoursWithAlphaBlendOnceOverWhatIsThere) {
  color halfRed = RGBColor(255, 0, 0, 128);
  EXPECT_EQ(RGBColor(255, 0, 0, 128), halfRed);  // kept once
  EXPECT_EQ(RGBColor(255, 0, 0, 255), RGBColor(255, 0, 0));
  EXPECT_EQ(RGBColor(1, 2, 3, 300), RGBColor(1, 2, 3));
  EXPECT_NE(RGBColor(255, 0, 0, 127), halfRed);
  W.RenderRectangle(Position(0, 0), Position(7, 5), Blue, false);
  // Over blue: (128, 0, 127); each figure blended once, its edge too (the
  // ellipse's outline and the polygon's lie over their fill); a line, an
  // outline, a band of text; nothing at all for alpha 0.
  W.RenderRectangle(Position(0.5f, 0.5f), Position(1.5f, 1.5f), halfRed, false);
  W.RenderEllipse(Position(2, 0.5f), Position(3, 1.5f), halfRed, false);
  Position triangle[] = {{3.5f, 0.5f}, {4.5f, 0.5f}, {3.5f, 1.5f}};
  W.RenderPolygon(triangle, 3, halfRed, false);
  W.RenderLine(Position(5, 1), Position(6.5f, 1), halfRed, 0.2f);
  W.RenderEllipseOutline(Position(0.5f, 2), Position(1.5f, 3), halfRed, 0.2f);
  W.WriteText(Position(2, 2), "   ", Typeface(0.5f), Black, AlignLeft, halfRed);
  W.RenderRectangle(Position(4, 2), Position(5, 3), RGBColor(0, 255, 0, 0), true);
  unsigned long blend = 0x80007f, b = ColorTable[Blue];
  ExpectAt(Shown(0, 0, 462, 330), 462,
           {33,  33,  blend, 99,  66,  blend, 165, 99,  blend, 165, 33,  blend,   198, 66,  blend,
            231, 33,  blend, 240, 40,  blend, 231, 99,  blend, 400, 66,  blend,   400, 52,  b,
            66,  132, blend, 66,  165, b,     140, 140, blend, 264, 132, BlackPx, 300, 160, b});
}

TEST_F(Drawing, SmoothShapesHaveEdgesBetweenTheirColourAndWhatIsUnder) {
  // Aliased, an ellipse and a line have two colours; smooth, their edges
  // have others between, and inside they keep their own colour exactly.
  auto colours = [&] {
    Pixels shown = Shown(0, 0, 300, 200);
    std::sort(shown.begin(), shown.end());
    return std::unique(shown.begin(), shown.end()) - shown.begin();
  };
  EXPECT_FALSE(W.IsSmooth());
  W.RenderEllipse(Position(0.5f, 0.5f), Position(2.5f, 2), Red, false);
  W.RenderLine(Position(2.5f, 0.5f), Position(4, 2.5f), Red, 0.1f);
  EXPECT_EQ(colours(), 2);
  W.RenderRectangle(Position(0, 0), Position(5, 3), White, false);
  W.SetSmooth(true);
  EXPECT_TRUE(W.IsSmooth());
  W.RenderEllipse(Position(0.5f, 0.5f), Position(2.5f, 2), Red, false);
  W.RenderLine(Position(2.5f, 0.5f), Position(4, 2.5f), Red, 0.1f);
  EXPECT_GT(colours(), 10);
  // The ellipse covers the aliased one's pixels, 33..165 by 33..132: red
  // inside, white outside, and something between on its edge.
  ExpectAt(Grab(0, 0, 300, 200), 300, {99, 82, RedPx, 99, 36, RedPx, 99, 30, WhitePx, 168, 82, WhitePx});
  unsigned long edge = Px(99, 33);
  EXPECT_TRUE(edge != RedPx && edge != WhitePx) << std::hex << edge;
  // Drawn again 2 cm further each time (its coverage then kept on the
  // server): the same pixels, moved.
  for (float x : {0.5f, 2.5f, 4.5f}) W.RenderEllipse(Position(x, 3), Position(x + 1.5f, 4), Red, false);
  Pixels first = Grab(30, 195, 106, 72);
  EXPECT_EQ(Grab(162, 195, 106, 72), first);
  EXPECT_EQ(Grab(294, 195, 106, 72), first);
  // Kept while the window closes and opens again.
  W.Close();
  ASSERT_EQ(W.Open(), WindowIsOpen);
  Id = WinManager.GetWindow(&W);
  EXPECT_TRUE(W.IsSmooth());
}

TEST_F(Drawing, PicturesLoadDrawAndRefuse) {
  BitMap none, null(static_cast<SimpleWindow*>(nullptr)), picture(W);
  EXPECT_EQ(none.GetStatus(), PictureNotLoaded);
  EXPECT_EQ(null.GetStatus(), PictureHasNoWindow);
  EXPECT_EQ(none.Load(Pictures + "quadrants_66x33.xpm"), PictureHasNoWindow);
  null.SetWindow(W);
  EXPECT_EQ(null.GetStatus(), PictureHasNoWindow);
  EXPECT_EQ(picture.Draw(), 0);

  ASSERT_EQ(picture.Load(Pictures + "quadrants_66x33.xpm"), PictureLoaded);
  EXPECT_EQ(Position(picture.GetWidth(), picture.GetHeight()), Position(1, 0.5f));
  picture.SetPosition(Position(0, 0));
  for (Position p : {Position(0, 0), Position(1, 0.5f), Position(0.5f, 0.25f)})
    EXPECT_TRUE(picture.IsInside(p));
  for (Position p : {Position(1.01f, 0.25f), Position(-0.01f, 0.25f)}) EXPECT_FALSE(picture.IsInside(p));
  EXPECT_EQ(picture.Draw(), 1);
  rig::Peer& p = Peer;
  ExpectAt(Shown(0, 0, 67, 34), 67,
           {0, 0, p.Named("#FFFF00"), 1, 0, p.Named("#FF0000"), 33, 0, p.Named("#0000FF"), 66, 0, WhitePx, 5,
            32, p.Named("#00FF00"), 5, 33, WhitePx});

  // 100 px is 1.5151515 cm, which converts back to 99 px.
  BitMap stripe(W);
  ASSERT_EQ(stripe.Load(Pictures + "stripe_100x10.xpm"), PictureLoaded);
  EXPECT_EQ(stripe.GetWidth(), 1.5151515f);
  stripe.SetPosition(Position(0, 1));
  stripe.Draw();
  ExpectAt(Grab(98, 66, 2, 1), 2, {0, 0, p.Named("#00FF00"), 1, 0, WhitePx});

  // Every form libXpm reads, one of them with its values past the first 64 KiB.
  std::ifstream quadrants(Pictures + "quadrants_66x33.xpm");
  std::string first, rest((std::getline(quadrants, first), std::istreambuf_iterator<char>(quadrants)), {});
  std::string longComment = rig::Path("long_comment_66x33.xpm");
  std::ofstream(longComment) << first << "\n/* " << std::string(65536, 'x') << " */\n" << rest;
  std::pair<std::string, const char*> forms[] = {{Pictures + "plain_comment_66x33.xpm", "#FF0000"},
                                                 {longComment, "#FFFF00"},
                                                 {Pictures + "defines_4x2.xpm", "#FF0000"},
                                                 {Pictures + "lisp_4x2.xpm", "#0000FF"},
                                                 {Pictures + "zeros_4x2.xpm", "#00FFFF"}};
  for (const auto& [file, colour] : forms) {
    ASSERT_EQ(picture.Load(file), PictureLoaded) << file;
    picture.Draw();
    EXPECT_EQ(Px(0, 0), p.Named(colour)) << file;
  }

  // Nothing else loads, silently, and nothing hangs.
  std::string fifo = rig::Path("fifo.xpm"), wide = rig::Path("wide.xpm");
  mkfifo(fifo.c_str(), 0600);
  std::ofstream(wide) << "/* XPM */\nstatic char *w[] = {\n\"8193 1 1 1\",\n\"a c #000000\",\n\""
                      << std::string(8193, 'a') << "\"};\n";
  std::vector<std::string> bad = {fifo, wide, Pictures, "/dev/zero", Pictures + "missing.xpm", ""};
  std::istringstream names(rig::Sh("ls " + Pictures + " | grep ^bad_"));
  for (std::string name; std::getline(names, name);) bad.push_back(Pictures + name);
  ASSERT_GT(bad.size(), 20u);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  for (const std::string& file : bad) EXPECT_EQ(picture.Load(file), PictureNotLoaded) << file;
  EXPECT_EQ(testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(picture.Draw(), 0);
  EXPECT_EQ(picture.GetWidth(), 0.0f);
}

// How many times a file is opened while f runs. Closes are watched too:
// the system would merge two opens in a row into one event.
template <typename F>
int Opens(const std::string& file, F f) {
  int watch = inotify_init1(IN_NONBLOCK);
  inotify_add_watch(watch, file.c_str(), IN_OPEN | IN_CLOSE);
  f();
  alignas(inotify_event) char events[4096];
  ssize_t n = read(watch, events, sizeof events);
  close(watch);
  int opens = 0;
  for (ssize_t at = 0; at < n; at += sizeof(inotify_event)) {
    const inotify_event* event = reinterpret_cast<const inotify_event*>(events + at);
    opens += (event->mask & IN_OPEN) != 0;
    at += event->len;
  }
  return opens;
}

TEST_F(Drawing, PngPicturesOfEveryKindOverWhatIsDrawn) {
  // Quadrants of 33 x 33 px: red, green, yellow, white; where there is
  // alpha, green is wholly transparent and yellow half (128), which over
  // blue gives (128, 128, 127). The grey pictures: black, white (or grey
  // 85) and grey 170.
  rig::Peer& p = Peer;
  unsigned long red = p.Named("#FF0000"), green = p.Named("#00FF00"), yellow = p.Named("#FFFF00"),
                blue = ColorTable[Blue], half = 0x80807f;
  struct {
    const char* File;
    std::vector<unsigned long> Quadrants;
  } kinds[] = {{"png_rgba_33x33.png", {red, blue, half, WhitePx}},
               {"png_rgba16_33x33.png", {red, blue, half, WhitePx}},
               {"png_rgb_33x33.png", {red, green, yellow, WhitePx}},
               {"png_palette_33x33.png", {red, blue, half, WhitePx}},
               {"png_grey2_33x33.png", {BlackPx, 0x555555, 0xaaaaaa, WhitePx}},
               {"png_grey_alpha_33x33.png", {BlackPx, blue, 0x8080ff, 0xaaaaaa}},
               {"png_interlaced_33x33.png", {red, blue, half, WhitePx}}};
  W.RenderRectangle(Position(0, 0), Position(4, 0.5f), Blue, false);
  BitMap picture(W);
  float x = 0;
  for (const auto& kind : kinds) {
    std::string file = Pictures + kind.File;
    // Read once: nothing can change the file between its check and its decoding.
    EXPECT_EQ(Opens(file, [&] { ASSERT_EQ(picture.Load(file), PictureLoaded) << kind.File; }), 1);
    EXPECT_EQ(Position(picture.GetWidth(), picture.GetHeight()), Position(0.5f, 0.5f));
    picture.SetPosition(Position(x, 0));
    EXPECT_EQ(picture.Draw(), 1);
    Pixels shown = Shown(l_to_d(x), 0, 33, 33);
    EXPECT_EQ(Pixels({shown[5 * 33 + 5], shown[5 * 33 + 25], shown[25 * 33 + 5], shown[32 * 33 + 32]}),
              kind.Quadrants)
        << kind.File;
    x += 0.5f;
  }
  // Known by its content: a PNG file under another name.
  ASSERT_EQ(picture.Load(Pictures + "png_named_66x33.xpm"), PictureLoaded);
  EXPECT_EQ(Opens(Pictures + "quadrants_66x33.xpm", [&] { picture.Load(Pictures + "quadrants_66x33.xpm"); }),
            1);
}

TEST_F(Drawing, PicturesOwnTheirPixmaps) {
  auto bytes = [&] {
    XSync(display, False);
    return Peer.PixmapBytes(Id);
  };
  unsigned long before = bytes();
  {
    BitMap picture(W);
    for (int i = 0; i < 10; ++i) picture.Load(Pictures + "quadrants_66x33.xpm");
    EXPECT_EQ(bytes(), before + 66 * 33 * 4);  // each load releases the picture before
    auto copy = std::make_unique<BitMap>(picture);
    BitMap assigned(W);
    assigned.Load(Pictures + "stripe_100x10.xpm");
    assigned = *copy;
    copy.reset();
    assigned.SetPosition(Position(0, 0));
    EXPECT_EQ(assigned.Draw(), 1);
    EXPECT_EQ(Px(33, 5), Peer.Named("#0000FF"));

    // A picture with alpha: its premultiplied colours, 33 x 33 x 4 bytes.
    for (int i = 0; i < 10; ++i) picture.Load(Pictures + "png_rgba_33x33.png");
    EXPECT_EQ(bytes(), before + 66 * 33 * 4 + 33 * 33 * 4);
    BitMap copy2(picture);
    picture.Load(Pictures + "missing.png");
    W.RenderRectangle(Position(0, 1), Position(1, 2), Blue, false);
    copy2.SetPosition(Position(0, 1));
    EXPECT_EQ(copy2.Draw(), 1);
    EXPECT_EQ(Pixels({Px(25, 71), Px(5, 91)}),
              Pixels({ColorTable[Blue], 0x80807f}));  // its transparency copied
  }
  EXPECT_EQ(bytes(), before);
}

// A drawable that counts its destructions.
int deleted = 0;
struct Counted : EllipseGraphic {
  ~Counted() override { ++deleted; }
};

TEST(Drawables, DisplayList) {
  GraphicManager list;
  EXPECT_TRUE(list.First() == nullptr && list.Next() == nullptr);
  auto *p = new Counted, *q = new Counted, *r = new Counted;
  list.InsertGraphic(q);
  list.AppendGraphic(r);
  list.InsertGraphic(p);
  EXPECT_EQ(std::vector<GraphicNode*>({list.First(), list.Next(), list.Next(), list.Next()}),
            std::vector<GraphicNode*>({p, q, r, nullptr}));
  testing::internal::CaptureStdout();
  list.AppendGraphic(nullptr);
  list.InsertGraphic(nullptr);
  EXPECT_EQ(list.GetLowerRightOfFirstMessage(), GraphicPosition(0, 0));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Unable to allocate memory in function: GraphicManager\n"
            "Unable to allocate memory in function: InsertGraphic\n"
            "A request has been made to retrieve information from the first item in a GraphicManager when "
            "there are no items in the list.\nThe program is being terminated.\n");
  EXPECT_EQ(list.GetListSize(), 3);
  list.EmptyList();
  EXPECT_EQ(deleted, 3);
  EXPECT_EQ(list.First(), nullptr);

  auto* message = new MessageGraphic("m", White, Position(1, 1), Position(2, 2), 0);
  list.AppendGraphic(new ButtonGraphic("b", Position(0, 0), Position(3, 3), 0, 0, 0));
  list.AppendGraphic(message);
  EXPECT_EQ(list.GetFirstMessage(), message);  // a button is no text drawable
  EXPECT_EQ(list.GetLowerRightOfFirstMessage(), GraphicPosition(132, 132));
}

TEST_F(Drawing, AlertDrawables) {
  X11BitMapGraphic mark(exclam_bits, Yellow, Position(0, 0), GraphicPosition(10, 30), Id);
  X11BitMapGraphic black(exclam_bits, static_cast<color>(-1), Position(1, 0), GraphicPosition(10, 30), Id);
  EllipseGraphic disc(Yellow, Position(2, 0), Position(3, 1), Id);
  EllipseGraphic odd(static_cast<color>(42), Position(4, 0), Position(5, 1), Id);
  unsigned long y = ColorTable[Yellow], k = BlackPx;
  // The mark's rows 0 and 2 in full, two pixels of row 21; out of the
  // palette, black; the disc's outline black, its inside in its colour.
  ExpectAt(Grab(0, 0, 300, 34), 300,
           {0, 0,  y, 9, 0,  y, 10, 0,  WhitePx, 0, 2,  y, 1,   2,  k, 8,   2,  k, 9,   2,  y,
            3, 21, y, 4, 21, k, 5,  21, k,       6, 21, y, 132, 33, k, 165, 33, y, 297, 33, k});
  EXPECT_EQ(Count(Grab(66, 0, 10, 30), k), 300);

  // Text: its ink centred in the rectangle (132, 165) px at the middle, black
  // on a cyan band.
  MessageGraphic text("0123456789", Cyan, Position(1, 2), Position(3, 3), 0);
  EXPECT_EQ(text.GetLocation(), GraphicPosition(0, 0));
  text.Draw(Id);
  Pixels band = Grab(66, 132, 133, 67);
  std::vector<int> ink =
      Bounds(band, 133, [&](unsigned long p) { return p != ColorTable[Cyan] && p != WhitePx; });
  EXPECT_LE(std::abs(ink[0] + ink[2] - 132), 2);
  EXPECT_LE(std::abs(ink[1] + ink[3] - 66), 2);
  EXPECT_GT(Count(band, ColorTable[Cyan]), 100 * 15);
  // Centred toward the upper left, halves truncated toward zero, no overflow.
  struct {
    GraphicPosition UpperLeft, LowerRight;
    unsigned int Width, Height;
    GraphicPosition Location;
  } centred[] = {{{10, 20}, {110, 40}, 27, 15, {47, 37}},
                 {{0, 0}, {5, 5}, 2, 2, {1, 3}},
                 {{-3, 0}, {0, 0}, 0, 0, {-1, 0}},
                 {{INT_MAX, INT_MAX}, {INT_MAX, INT_MAX}, 0, UINT_MAX, {INT_MAX, INT_MAX}}};
  for (const auto& c : centred) {
    text.SetLocation(c.UpperLeft, c.LowerRight);
    text.SetTextLocation(c.Width, c.Height);
    EXPECT_EQ(text.GetLocation(), c.Location);
  }

  // The raised button, from the window's origin to its lower-right corner:
  // light top and left, dark bottom and right (a bevel of 5 pixels at this
  // scale), meeting on diagonals; its label's ink centred between its
  // corners, a pixel further right and down when the upper-left corner
  // moves by two (the pressed look).
  XClearWindow(display, Id);
  unsigned long light = ButtonColorTable[1], dark = ButtonColorTable[2];
  ButtonGraphic button(ButtonMessage, Position(), Position(), light, dark, 0);
  button.SetLocation(DeviceOrigin, GraphicPosition(75, 35));
  button.Draw(Id);
  Pixels drawn = Grab(0, 0, 76, 36);
  ExpectAt(drawn, 76, {0,  0,  light, 4,  4,  light, 5,  5,  ButtonColorTable[0],
                       74, 0,  light, 74, 1,  dark,  70, 30, ButtonColorTable[0],
                       71, 31, dark,  0,  34, light, 1,  34, dark});
  ink = Bounds(drawn, 76, [&](unsigned long p) {
    return p != light && p != dark && p != ButtonColorTable[0] && p != WhitePx;
  });
  EXPECT_LE(std::abs(ink[0] + ink[2] - 74), 4);
  EXPECT_LE(std::abs(ink[1] + ink[3] - 34), 4);
  GraphicPosition raised = button.GetLocation();
  button.SetLocation(GraphicPosition(2, 2), GraphicPosition(75, 35));
  button.Draw(Id);
  EXPECT_EQ(button.GetLocation(), raised + GraphicPosition(1, 1));
  EXPECT_EQ(button.GetUpperLeft(), GraphicPosition(2, 2));
  EXPECT_EQ(button.GetLowerRight(), GraphicPosition(75, 35));
  EXPECT_EQ(button.GetType(), ButtonGraphicType);

  // The push button's window, as large in centimetres as 75 x 35 pixels at
  // 47 a centimetre: centred, its middle at three quarters of the box's height.
  Window parent = XCreateSimpleWindow(display, Id, 0, 0, 277, 126, 0, 0, 0);
  ButtonWindow push;
  ASSERT_EQ(push.Open(parent, 277, 126), WindowIsOpen);
  XSync(display, False);
  EXPECT_EQ(Peer.Geometry(push.GetWindow()), std::vector<int>({86, 70, 105, 49, 1}));
  unsigned long before = NextRequest(display);
  push.Close();
  EXPECT_EQ(NextRequest(display), before);
  XDestroyWindow(display, parent);
}

// ---------------------------------------------------------------------------
// Pictures at a size and an angle (also on screens of 47 and 132 px/cm)
// ---------------------------------------------------------------------------

// Pixels of 3 and 2 cm, and of 1.5 cm, at each scale.
struct PictureScale {
  int PixelsPerCm, Three, Two, OneAndHalf;
};
const PictureScale PictureScales[] = {{47, 141, 94, 70}, {66, 198, 132, 99}, {132, 396, 264, 198}};

const PictureScale& PictureScaleNow() {
  for (const PictureScale& s : PictureScales)
    if (s.PixelsPerCm == PixelsPerCentimeter) return s;
  ADD_FAILURE() << "no values for " << PixelsPerCentimeter << " px/cm";
  return PictureScales[1];
}

class PictureSizes : public OnAWindow {
 protected:
  PictureSizes() : OnAWindow("pictures", 8, 6, Position(0.5f, 0.5f)) {}
  void SetUp() override {
    OnAWindow::SetUp();
    Sky();
  }
  void Sky() { W.RenderRectangle(Position(0, 0), Position(8, 6), Blue, false); }
  // The bounds of what is not blue in the window's upper-left 7 x 5 cm.
  std::vector<int> Drawn() {
    int w = l_to_d(7.0f);
    return Bounds(Shown(0, 0, w, l_to_d(5.0f)), w, [&](unsigned long p) { return p != ColorTable[Blue]; });
  }
};

TEST_F(PictureSizes, DrawnAtASizeInCentimetresOnEveryScreen) {
  const PictureScale& s = PictureScaleNow();
  // Quadrants of 33 x 33 px: red, transparent, yellow at half, white.
  BitMap picture(W);
  ASSERT_EQ(picture.Load(Pictures + "png_rgba_33x33.png"), PictureLoaded);
  picture.SetSize(3, 2);
  picture.SetPosition(Position(1, 1));
  EXPECT_EQ(Position(picture.GetWidth(), picture.GetHeight()), Position(3, 2));
  EXPECT_EQ(picture.Draw(), 1);
  unsigned long x0 = s.PixelsPerCm, y0 = s.PixelsPerCm;
  std::vector<int> drawn = Drawn();
  EXPECT_NEAR(drawn[0], static_cast<int>(x0), 1);
  EXPECT_NEAR(drawn[1], static_cast<int>(y0), 1);
  EXPECT_NEAR(drawn[2] + 1 - drawn[0], s.Three, 1);
  EXPECT_NEAR(drawn[3] + 1 - drawn[1], s.Two, 1);
  // Its quadrants' middles: red, the blue under its transparent part,
  // yellow half over blue, white.
  int w = l_to_d(7.0f);
  unsigned long qx = s.Three / 4, qy = s.Two / 4;
  ExpectAt(Grab(0, 0, w, l_to_d(5.0f)), w,
           {x0 + qx, y0 + qy, RedPx, x0 + 3 * qx, y0 + qy, ColorTable[Blue], x0 + qx, y0 + 3 * qy, 0x80807f,
            x0 + 3 * qx, y0 + 3 * qy, WhitePx});
  EXPECT_TRUE(picture.IsInside(Position(1, 1)) && picture.IsInside(Position(4, 3)));
  EXPECT_FALSE(picture.IsInside(Position(4.01f, 2)) || picture.IsInside(Position(2, 3.01f)));

  // Turned a quarter clockwise about its centre (2.5, 2): the red quadrant
  // goes to the top right, and the box it covers is 2 x 3 cm from (1.5, 0.5).
  Sky();
  picture.SetAngle(90);
  EXPECT_EQ(picture.GetAngle(), 90.0f);
  EXPECT_EQ(Position(picture.GetWidth(), picture.GetHeight()), Position(2, 3));
  EXPECT_EQ(picture.GetPosition(), Position(1.5f, 0.5f));
  picture.Draw();
  drawn = Drawn();
  x0 = l_to_d(1.5f), y0 = l_to_d(0.5f);
  EXPECT_NEAR(drawn[0], static_cast<int>(x0), 1);
  EXPECT_NEAR(drawn[1], static_cast<int>(y0), 1);
  EXPECT_NEAR(drawn[2] + 1 - drawn[0], s.Two, 1);
  EXPECT_NEAR(drawn[3] + 1 - drawn[1], s.Three, 1);
  ExpectAt(
      Grab(0, 0, w, l_to_d(5.0f)), w,
      {x0 + 3 * qy, y0 + qx, RedPx, x0 + qy, y0 + qx, 0x80807f, x0 + 3 * qy, y0 + 3 * qx, ColorTable[Blue]});
  // Erased as the box it covers; on the turned picture alone at 45 degrees.
  picture.Erase();
  int x = static_cast<int>(x0), y = static_cast<int>(y0);
  EXPECT_EQ(Drawn(), std::vector<int>({x, y, x + s.Two, y + s.Three}));  // white, corners included
  picture.SetAngle(45);
  EXPECT_TRUE(picture.IsInside(Position(2.5f, 2)));
  EXPECT_FALSE(picture.IsInside(picture.GetPosition() + Position(0.1f, 0.1f)));

  // A width alone keeps its proportions; back to its own pixels.
  picture.SetAngle(0);
  picture.SetWidth(1.5f);
  EXPECT_EQ(Position(picture.GetWidth(), picture.GetHeight()), Position(1.5f, 1.5f));
  picture.ClearSize();
  EXPECT_EQ(picture.GetWidth(), d_to_l(33));
}

TEST_F(PictureSizes, FineDetailDrawnSmallShowsItsAverage) {
  // Columns of one white pixel and three black, 800 px wide, drawn 1.5 cm
  // wide (4 to 11 times smaller): grey 64 everywhere, where sampling one
  // pixel in four would find black, or white.
  std::string stripes = rig::Path("stripes_800x8.xpm");
  {
    std::ofstream xpm(stripes);
    xpm << "/* XPM */\nstatic char *s[] = {\n\"800 8 2 1\",\"w c #FFFFFF\",\"k c #000000\",\n";
    std::string row;
    for (int x = 0; x < 800; ++x) row += x % 4 ? 'k' : 'w';
    for (int y = 0; y < 8; ++y) xpm << '"' << row << "\",\n";
    xpm << "};\n";
  }
  BitMap picture(W);
  ASSERT_EQ(picture.Load(stripes), PictureLoaded);
  picture.SetSize(1.5f, 0.5f);
  picture.SetPosition(Position(1, 1));
  picture.Draw();
  const PictureScale& s = PictureScaleNow();
  Pixels row = Grab(s.PixelsPerCm, s.PixelsPerCm + 5, s.OneAndHalf, 1);
  for (unsigned long p : row) ASSERT_NEAR(static_cast<long>(p & 0xff), 64, 3) << std::hex << p;
}

TEST_F(PictureSizes, BadSizesAndAnglesDrawNothingOrTheLargest) {
  BitMap picture(W);
  ASSERT_EQ(picture.Load(Pictures + "quadrants_66x33.xpm"), PictureLoaded);
  picture.SetPosition(Position(1, 1));
  for (auto [width, height] : {std::make_pair(0.0f, 1.0f), std::make_pair(1.0f, -1.0f),
                               std::make_pair(NAN, 1.0f), std::make_pair(1.0f, -INFINITY)}) {
    picture.SetSize(width, height);
    EXPECT_EQ(picture.Draw(), 0) << width << " x " << height;
    EXPECT_EQ(picture.Erase(), 0);
    EXPECT_EQ(Position(picture.GetWidth(), picture.GetHeight()), Position(0, 0));
    EXPECT_FALSE(picture.IsInside(Position(1, 1)));
  }
  picture.SetWidth(NAN);
  EXPECT_EQ(picture.Draw(), 0);
  picture.SetSize(2, 1);
  picture.SetAngle(NAN);
  EXPECT_EQ(picture.Draw(), 0);
  EXPECT_EQ(Drawn()[2], INT_MIN);  // nothing at all
  // Beyond the largest drawable: cut to 32767 px a side, proportions kept,
  // over the whole window; and turned, too.
  picture.SetAngle(0);
  picture.SetWidth(INFINITY);
  EXPECT_NEAR(l_to_d(picture.GetWidth()), 32767, 1);
  EXPECT_NEAR(l_to_d(picture.GetHeight()), 16383, 1);
  picture.SetPosition(Position(-100, -100));
  EXPECT_EQ(picture.Draw(), 1);
  picture.SetSize(1e30f, 1e30f);
  picture.SetAngle(30);
  EXPECT_EQ(picture.Draw(), 1);
  Pixels shown = Shown(0, 0, 100, 100);
  EXPECT_EQ(Count(shown, ColorTable[Blue]), 0);
}

// ---------------------------------------------------------------------------
// Text at any size
// ---------------------------------------------------------------------------

// The literal values of each scale: line heights of 0.23, 0.5 and 1 cm in
// pixels, and the highest line, the screen's height.
struct Scale {
  int PixelsPerCm, Small, Half, Whole, Cap;
};
const Scale Scales[] = {{47, 10, 23, 47, 768}, {66, 15, 33, 66, 1080}, {132, 30, 66, 132, 2160}};

const Scale& Current() {
  for (const Scale& s : Scales)
    if (s.PixelsPerCm == PixelsPerCentimeter) return s;
  ADD_FAILURE() << "no values for " << PixelsPerCentimeter << " px/cm";
  return Scales[1];
}

// The smallest rectangle (inclusive) that holds every pixel unlike the
// background, and how many there are.
struct Ink {
  int X0 = INT_MAX, Y0 = INT_MAX, X1 = -1, Y1 = -1;
  long Count = 0;
};

class Text : public OnAWindow {
 protected:
  Text() : OnAWindow("text", 14, 12, Position(0.5f, 0.5f)) {}
  // The window's upper-left cm x cm, as Shown checks it.
  Pixels ShownCm(float width, float height) { return Shown(0, 0, Px(width), Px(height)); }
  Ink InkOf(float width, float height, unsigned long background = ColorTable[White]) {
    Pixels shown = ShownCm(width, height);
    int w = Px(width);
    Ink ink;
    for (size_t i = 0; i < shown.size(); ++i) {
      if (shown[i] == background) continue;
      int x = static_cast<int>(i % w), y = static_cast<int>(i / w);
      ++ink.Count;
      ink.X0 = std::min(ink.X0, x), ink.X1 = std::max(ink.X1, x);
      ink.Y0 = std::min(ink.Y0, y), ink.Y1 = std::max(ink.Y1, y);
    }
    return ink;
  }
  void Blank() { W.RenderRectangle(Position(0, 0), Position(14, 12), White); }
  static int Px(float cm) { return l_to_d(cm); }
};

TEST_F(Text, InkLiesWithinItsLineAndItsMeasuredWidth) {
  const Scale& s = Current();
  struct {
    float Size;
    int Height;
    const char* Family;
    bool Bold;
  } faces[] = {{0.23f, s.Small, "sans", false}, {0.5f, s.Half, "serif", true}, {1, s.Whole, "mono", false}};
  for (const auto& f : faces)
    for (const char* text : {"Hello, world!", "café € Ågjpqy|"}) {
      SCOPED_TRACE(std::string(text) + " in " + f.Family + " " + std::to_string(f.Size) + " cm");
      Typeface face(f.Size, f.Family, f.Bold);
      Blank();
      W.WriteText(Position(1, 1), text, face, Blue);
      int width = Px(W.MeasureText(text, face).GetXDistance());
      EXPECT_NEAR(Px(W.MeasureText(text, face).GetYDistance()), f.Height, 1);
      // From the top of the line (1 cm) down one line height, from the
      // point (1 cm) as far as measured.
      Ink ink = InkOf(9, 2.2f);
      EXPECT_GE(ink.Y0, s.PixelsPerCm - 1);
      EXPECT_LE(ink.Y1, s.PixelsPerCm + f.Height);
      EXPECT_NEAR(ink.X0, s.PixelsPerCm, 1);
      EXPECT_NEAR(ink.X1 + 1 - ink.X0, width, 1);
    }

  // The family and the weight asked for: in mono every character is as wide
  // as any other (blanks at the ends count whole), in sans not; bold inks
  // more than regular.
  auto width = [&](const char* text, const char* family) {
    return W.MeasureText(text, Typeface(0.5f, family)).GetXDistance();
  };
  EXPECT_EQ(width(" iiii ", "mono"), width(" WWWW ", "mono"));
  EXPECT_LT(width(" iiii ", "sans"), width(" WWWW ", "sans"));
  long inked[2];
  for (bool bold : {false, true}) {
    Blank();
    W.WriteText(Position(1, 1), "Ink of a line", Typeface(0.5f, "sans", bold), Blue);
    inked[bold] = InkOf(9, 2.2f).Count;
  }
  EXPECT_GT(inked[1], inked[0] * 5 / 4);
}

TEST_F(Text, AlignedToItsPointOnItsBand) {
  const Scale& s = Current();
  Typeface face(0.5f, "sans", true);
  int width = Px(W.MeasureText("Score 120", face).GetXDistance());
  // Right-aligned to 7 cm over a yellow band: the band ends there, the ink
  // within one pixel of it.
  W.WriteText(Position(7, 1), "Score 120", face, Red, AlignRight, Yellow);
  Pixels shown = ShownCm(10, 2);
  auto at = [&](int x, int y) { return shown[y * Px(10) + x]; };
  int right = 7 * s.PixelsPerCm, top = s.PixelsPerCm, bottom = top + s.Half - 1;
  unsigned long y = ColorTable[Yellow], white = ColorTable[White];
  EXPECT_EQ(std::vector<unsigned long>({at(right - width, top), at(right - 1, top), at(right - width, bottom),
                                        at(right - 1, bottom), at(right, top), at(right - width - 1, bottom),
                                        at(right - 1, top - 1), at(right - 1, bottom + 1)}),
            std::vector<unsigned long>({y, y, y, y, white, white, white, white}));
  long red = 0;
  for (int x = right - 2; x < right; ++x)
    for (int row = top; row <= bottom; ++row) red += at(x, row) != y;
  EXPECT_GT(red, 0);

  // Centred on 7 cm, and from its left end, without a band.
  for (auto [align, left] :
       {std::make_pair(AlignCenter, right - width / 2), std::make_pair(AlignLeft, right)}) {
    Blank();
    W.WriteText(Position(7, 1), "Score 120", face, Red, align);
    Ink ink = InkOf(10, 2);
    EXPECT_NEAR(ink.X0, left, 1) << align;
    EXPECT_NEAR(ink.X1 + 1, left + width, 1) << align;
  }
}

TEST_F(Text, InvalidUtf8ShowsReplacementCharacters) {
  Typeface face(0.5f);
  auto width = [&](const std::string& text) { return W.MeasureText(text, face).GetXDistance(); };
  const std::string r = "\xef\xbf\xbd";  // U+FFFD
  std::pair<std::string, std::string> same[] = {
      {"a\xff"
       "z",
       "a" + r + "z"},                                    // not a first byte
      {"a\xe2\x82z", "a" + r + "z"},                      // cut short
      {"a\xc0\xafz", "a" + r + r + "z"},                  // overlong: two bytes, two
      {"a\xed\xa0\x80z", "a" + r + r + r + "z"},          // a surrogate
      {"a\xf4\x90\x80\x80z", "a" + r + r + r + r + "z"},  // past U+10FFFF
      {"a\xf0\x9f\x98", "a" + r},                         // cut short at the end
  };
  for (const auto& [bad, replaced] : same) EXPECT_EQ(width(bad), width(replaced)) << replaced;
  EXPECT_GT(width("a" + r + r + "z"), width("a" + r + "z"));
  // Drawn the same as well; and "é" is one character, not two.
  W.WriteText(Position(1, 1), "a\xc0\xafz", face);
  Pixels bad = ShownCm(4, 2);
  Blank();
  W.WriteText(Position(1, 1), "a" + r + r + "z", face);
  EXPECT_EQ(ShownCm(4, 2), bad);
  EXPECT_LT(width("café"), width("cafÃ©"));
}

TEST_F(Text, BadSizesFamiliesAndStringsDrawNothingOrTheNearest) {
  const Scale& s = Current();
  // Nothing for a size of zero, less, NaN, or under a pixel; nothing for
  // empty or null text, far-off places or a closed window.
  for (float size : {0.0f, -1.0f, NAN, -INFINITY, 0.005f}) {
    W.WriteText(Position(1, 1), "nothing", Typeface(size), Black, AlignLeft, Red);
    EXPECT_EQ(W.MeasureText("nothing", Typeface(size)), Position(0, 0)) << size;
  }
  const char* none = nullptr;
  W.WriteText(Position(1, 1), none, Typeface(), Black, AlignLeft);
  W.WriteText(Position(1, 1), "", Typeface(), Black, AlignLeft, Red);
  W.WriteText(Position(1e9f, -1e9f), "far", Typeface(), Black, AlignRight, Red);
  W.WriteText(Position(-1e9f, 1), "far", Typeface(), Black, static_cast<TextAlignment>(99), Red);
  EXPECT_EQ(Px(W.MeasureText(none).GetXDistance()), 0);
  EXPECT_EQ(InkOf(14, 5).Count, 0);
  SimpleWindow closed("closed");
  closed.WriteText(Position(1, 1), "closed", Typeface());
  EXPECT_EQ(Px(closed.MeasureText("").GetYDistance()), s.Half);

  // Absurd sizes are capped at the screen's height; unknown families get
  // the nearest font, here the default one.
  for (float size : {1e30f, INFINITY})
    EXPECT_NEAR(Px(W.MeasureText("W", Typeface(size)).GetYDistance()), s.Cap, 1);
  W.WriteText(Position(0, 0), "W", Typeface(1e30f), Black, AlignLeft, Red);
  EXPECT_EQ(InkOf(2, 2).Count, Px(2) * Px(2));
  for (const char* family : {"no such family", "", ":::", "\\"})
    EXPECT_EQ(W.MeasureText("Hello", Typeface(0.5f, family)), W.MeasureText("Hello", Typeface(0.5f)))
        << family;
  // A line of a million characters is measured and drawn.
  std::string million(1000000, 'x');
  EXPECT_GT(W.MeasureText(million, Typeface(0.23f)).GetXDistance(), 100);
  W.WriteText(Position(0, 4), million, Typeface(0.23f), Black, AlignCenter, Yellow);
}

TEST_F(Text, GlyphsOfAnySizeAreDrawnWhole) {
  // A 16 cm full block stretched 30 times across: at 66 px/cm, a bitmap of
  // 21,000 x 1,100 pixels, more than a request carries. Its ink from 1 cm
  // across, and from just above the line's top (by the font's design) down
  // past the window.
  const Scale& s = Current();
  unsigned long blue = ColorTable[Blue], yellow = ColorTable[Yellow];
  W.WriteText(Position(1, 1), "\u2588", Typeface(16, "sans:matrix=30 0 0 1"), Blue);
  Ink ink = InkOf(14, 5);
  EXPECT_EQ(std::vector<int>({ink.X0, ink.X1, ink.Y1}),
            std::vector<int>({s.PixelsPerCm, Px(14) - 1, Px(5) - 1}));
  EXPECT_NEAR(ink.Y0, s.PixelsPerCm * 0.88, s.PixelsPerCm * 0.1);
  EXPECT_EQ(ink.Count, static_cast<long>(Px(14) - ink.X0) * (Px(5) - ink.Y0)) << "a gap in it";

  // A 10 cm line of "▚" (upper left and lower right quadrants) stretched
  // 150 times across: tens of thousands of pixels wide, its bitmap far more
  // than a request carries. Centred on 7 cm, from 1 cm down: blue on the
  // left in the upper half, on the right in the lower half, over the band.
  Blank();
  W.WriteText(Position(7, 1), "\u259a", Typeface(10, "sans:matrix=150 0 0 1"), Blue, AlignCenter, Yellow);
  const int across = Px(4) + 1;  // from 5 cm to 9 cm
  Pixels shown = Shown(Px(5), 0, across, Px(12));
  // Rows of the line: 'U' the upper half's colours at 5 and 9 cm, 'L' the
  // lower half's.
  std::string rows;
  for (int y = s.PixelsPerCm; y < 11 * s.PixelsPerCm; ++y) {
    unsigned long left = shown[y * across], right = shown[y * across + across - 1];
    rows += left == blue && right == yellow ? 'U' : left == yellow && right == blue ? 'L' : '?';
  }
  // Upper, then lower from the line's middle (to within the font's design),
  // with one anti-aliased row between.
  size_t seam = rows.find_first_not_of('U');
  EXPECT_NEAR(static_cast<double>(seam), s.PixelsPerCm * 5, 4) << rows;
  size_t lower = rows.find('L', seam);
  EXPECT_LE(lower, seam + 1) << rows;
  EXPECT_EQ(rows.find_first_not_of('L', lower), std::string::npos) << rows;

  // A block 40 pixels high and about 40,000 wide: within a request, but
  // wider than Xft's 16-bit metrics hold. From 10,000 pixels left of the
  // window, across all of it.
  Blank();
  const float pixel = 1.0f / PixelsPerCentimeter;
  Typeface thin(40.5f * pixel, "sans:matrix=1500 0 0 1");
  EXPECT_NEAR(W.MeasureText("\u2588", thin).GetXDistance() / pixel, 40000, 1000);
  W.WriteText(Position(-10000.5f * pixel, 1), "\u2588", thin, Blue);
  ink = InkOf(14, 2);
  EXPECT_EQ(std::vector<int>({ink.X0, ink.X1}), std::vector<int>({0, Px(14) - 1}));
  EXPECT_GE(ink.Count, Px(14) * 38L);
}

TEST_F(Text, LinesOfAnyLengthShowWhereTheyLand) {
  // 2,100 characters of prose at 1 cm: far more than 16-bit coordinates
  // reach at every scale. The window shows what it shows of the line's
  // first characters, from its left end (2 cm left of the window), or of its
  // last ones, from its right end.
  std::string prose;
  while (prose.size() < 2100) prose += "Over the hills the wanderer went, singing. ";
  const std::string head = prose.substr(0, 40), tail = prose.substr(prose.size() - 40);
  Typeface face(1);
  EXPECT_GT(W.MeasureText(prose, face).GetXDistance(), 32768.0f / PixelsPerCentimeter);
  W.WriteText(Position(-2, 1), prose, face, Blue);
  W.WriteText(Position(13, 4), prose, face, Red, AlignRight, Yellow);
  Pixels whole = ShownCm(14, 6);
  Blank();
  W.WriteText(Position(-2, 1), head, face, Blue);
  W.WriteText(Position(13, 4), tail, face, Red, AlignRight, Yellow);
  EXPECT_EQ(whole, ShownCm(14, 6));
  EXPECT_GT(Count(whole, ColorTable[Blue]), 10 * Px(1)) << "the first line is drawn";
  EXPECT_GT(Count(whole, ColorTable[Red]), 10 * Px(1)) << "the second line is drawn";

  // Two full blocks of about 20,000 pixels each, 40 pixels high, the first
  // from 12,000 pixels left of the window: their ink spans more than the
  // server draws in one request.
  Blank();
  const float pixel = 1.0f / PixelsPerCentimeter;
  W.WriteText(Position(-12000.5f * pixel, 1), "\u2588\u2588",
              Typeface(40.5f * pixel, "sans:matrix=740 0 0 1"), Blue);
  Ink blocks = InkOf(14, 2);
  EXPECT_EQ(std::vector<int>({blocks.X0, blocks.X1}), std::vector<int>({0, Px(14) - 1}));
  EXPECT_GE(blocks.Count, Px(14) * 38L);
}

TEST_F(Text, FontsAndTargetsAreKeptNotMadePerCall) {
  W.WriteText(Position(1, 1), "warm", Typeface(0.5f));
  XSync(display, False);
  long resources = Peer.Resources(Id);
  for (int i = 0; i < 200; ++i)
    W.WriteText(Position(1 + i % 10, 1 + i / 10 % 3), "kept " + std::to_string(i), Typeface(0.5f), Blue);
  XSync(display, False);
  EXPECT_EQ(Peer.Resources(Id), resources);
  // A window opened again draws into a new pixmap, and the old one's
  // target is gone with it.
  W.Close();
  ASSERT_EQ(W.Open(), WindowIsOpen);
  Id = WinManager.GetWindow(&W);
  W.WriteText(Position(1, 1), "again", Typeface(0.5f));
  XSync(display, False);
  EXPECT_EQ(Peer.Resources(Id), resources);
}

}  // namespace
