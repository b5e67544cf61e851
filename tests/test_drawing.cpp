// Immediate-mode drawing of SimpleWindow: text, shapes, lines, pixmap copies
// and erasing, each read back from the window and from its backing pixmap.
#include <climits>
#include <cmath>
#include <vector>

#include "test_drawing_support.h"

namespace {

using dr::BothTargetsAre;
using dr::Palette;
using dr::PixelsAre;

// A centimetre value that converts to exactly this many pixels.
float Cm(int pixels) {
  return (pixels + 0.5f) / 66.0f;
}

class DrawingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(x.ok());
    ASSERT_EQ(PixelsPerCentimeter, 66.0f) << "these tests expect a 1920-pixel-wide screen";
    ASSERT_EQ(window.Open(), WindowIsOpen);
  }
  unsigned long White() const { return Palette(::White); }

  rig::XClient x;
  SimpleWindow window{"drawing", 8, 6, Position(0, 0)};
};

// Columns [left, right] of row y holding pixel, as (first, last); (-1, -1) if none.
std::pair<int, int> Extent(const rig::Image& image, int y, unsigned long pixel) {
  int first = -1, last = -1;
  for (int x = 0; x < image.width; ++x) {
    if (image.At(x, y) != pixel) continue;
    if (first < 0) first = x;
    last = x;
  }
  return {first, last};
}

TEST(Font, WindowFontHasTheExpectedMetrics) {
  XFontStruct* font = reinterpret_cast<XFontStruct*>(1);
  ASSERT_EQ(LoadFont(&font, WindowFont), 1);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->ascent, 12);
  EXPECT_EQ(font->descent, 3);
  EXPECT_EQ(XTextWidth(font, "ABCDEFGHIJ", 10), 90);
  XFreeFont(display, font);

  font = reinterpret_cast<XFontStruct*>(1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(LoadFont(&font, "no-such-font-at-all"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to load the desired font: no-such-font-at-all\n");
  EXPECT_EQ(font, nullptr);
}

TEST_F(DrawingTest, TextBandIsPlacedAroundTheCentre) {
  Position centre(Cm(100), Cm(50));
  ASSERT_EQ(l_to_d(centre), GraphicPosition(100, 50));
  // Ten blanks: only the background band shows, over columns 55-144 and rows 45-59.
  window.RenderText(centre, std::string(10, ' '), Black, Yellow);
  auto band = [&](int x, int y) {
    return (x >= 55 && x <= 144 && y >= 45 && y <= 59) ? Palette(Yellow) : White();
  };
  EXPECT_TRUE(BothTargetsAre(x, window, 45, 35, 110, 35, band));

  // Glyphs are painted in the text colour inside the same band.
  window.RenderText(centre, "ABCDEFGHIJ", Red, Yellow);
  rig::Image text = dr::ReadWindow(x, window, 45, 35, 110, 35);
  EXPECT_GT(text.Count(Palette(Red)), 100);
  EXPECT_EQ(text.Count(Palette(Red)) + text.Count(Palette(Yellow)), 90 * 15);
  EXPECT_TRUE(PixelsAre(dr::ReadBacking(x, window, 45, 35, 110, 35), 45, 35,
                        [&](int x, int y) { return text.At(x - 45, y - 35); }));

  // An odd width: 27 pixels start 13 pixels left of the centre.
  window.RenderText(Position(Cm(100), Cm(150)), "   ", Black, Green);
  EXPECT_TRUE(BothTargetsAre(x, window, 80, 140, 40, 25, [&](int x, int y) {
    return (x >= 87 && x <= 113 && y >= 145 && y <= 159) ? Palette(Green) : White();
  }));

  // An empty text draws nothing.
  window.RenderText(Position(Cm(300), Cm(50)), "", Black, Blue);
  EXPECT_TRUE(BothTargetsAre(x, window, 280, 30, 40, 40, [&](int, int) { return White(); }));
}

TEST_F(DrawingTest, AllFourTextFormsAgree) {
  // Point forms at the centre of the box, then box forms with the corners
  // either way round: each draws the same at the same place.
  Position upperLeft(1.0f, 0.5f), lowerRight(2.0f, 1.5f), centre(1.5f, 1.0f);
  window.RenderText(centre, std::string("Centred"), Black, Cyan);
  rig::Image reference = dr::ReadWindow(x, window, 0, 0, 200, 120);
  ASSERT_GT(reference.Count(Palette(Cyan)), 0);
  auto same = [&](int x, int y) { return reference.At(x, y); };
  auto redraw = [&](auto draw) {
    window.Erase(Position(0, 0), 4, 2);
    draw();
    return BothTargetsAre(x, window, 0, 0, 200, 120, same);
  };
  EXPECT_TRUE(redraw([&] { window.RenderText(centre, "Centred", Black, Cyan); }));
  EXPECT_TRUE(redraw([&] { window.RenderText(upperLeft, lowerRight, "Centred", Black, Cyan); }));
  EXPECT_TRUE(redraw([&] { window.RenderText(lowerRight, upperLeft, "Centred", Black, Cyan); }));
  EXPECT_TRUE(redraw([&] { window.RenderText(upperLeft, lowerRight, std::string("Centred"), Black, Cyan); }));
  EXPECT_TRUE(redraw([&] { window.RenderText(lowerRight, upperLeft, std::string("Centred"), Black, Cyan); }));
}

TEST_F(DrawingTest, WideTextSpillsEvenlyOutOfItsBox) {
  // The box spans columns 66-132; 20 characters are 180 pixels wide.
  window.RenderText(Position(1.0f, 0.5f), Position(2.0f, 1.0f), std::string(20, ' '), Black, Magenta);
  rig::Image row = dr::ReadWindow(x, window, 0, 0, 250, 60);
  auto [first, last] = Extent(row, 45, Palette(Magenta));
  ASSERT_GE(first, 0);
  EXPECT_EQ(last - first + 1, 180);
  EXPECT_LE(std::abs((66 - first) - (last - 132)), 1) << first << " to " << last;
}

TEST_F(DrawingTest, DrawingSurvivesCoveringAndUncovering) {
  window.RenderText(Position(Cm(100), Cm(50)), "Survivor", Black, Yellow);
  window.RenderRectangle(Position(1, 1), Position(2, 2), Blue, true);
  rig::Image before = dr::ReadWindow(x, window, 0, 0, 200, 200);
  Window cover = x.Cover(dr::WindowOf(window));
  ASSERT_NE(cover, 0u);
  x.Uncover(cover);
  rig::Image exposed = dr::ReadWindow(x, window, 0, 0, 200, 200);
  ASSERT_EQ(exposed.Count(White()), 200 * 200) << "the server keeps no copy of covered windows";
  dr::Dispatch();
  EXPECT_TRUE(PixelsAre(dr::ReadWindow(x, window, 0, 0, 200, 200), 0, 0,
                        [&](int x, int y) { return before.At(x, y); }));
}

TEST_F(DrawingTest, RectangleCoversBothCornersInclusive) {
  window.RenderRectangle(Position(1, 1), Position(2, 2), Red, false);
  EXPECT_TRUE(BothTargetsAre(x, window, 60, 60, 80, 80, [&](int x, int y) {
    return (x >= 66 && x <= 132 && y >= 66 && y <= 132) ? Palette(Red) : White();
  }));

  window.RenderRectangle(Position(3, 1), Position(4, 2), Red, true);
  EXPECT_TRUE(BothTargetsAre(x, window, 192, 60, 80, 80, [&](int x, int y) {
    if (x < 198 || x > 264 || y < 66 || y > 132) return White();
    bool ring = x == 198 || x == 264 || y == 66 || y == 132;
    return ring ? Palette(Black) : Palette(Red);
  }));
}

TEST_F(DrawingTest, EllipseOutlineOnlyWithBorder) {
  window.RenderEllipse(Position(1, 1), Position(3, 2), Green, false);
  rig::Image plain = dr::ReadWindow(x, window, 60, 60, 140, 80);
  EXPECT_EQ(plain.Count(Palette(Black)), 0);
  EXPECT_EQ(plain.Count(Palette(Green)) + plain.Count(White()), 140 * 80);
  EXPECT_EQ(plain.At(132 - 60, 99 - 60), Palette(Green)) << "centre";
  EXPECT_EQ(plain.At(67 - 60, 67 - 60), White()) << "corner of the box";
  EXPECT_EQ(plain.At(66 - 60, 99 - 60), Palette(Green)) << "leftmost point";
  EXPECT_EQ(plain.At(65 - 60, 99 - 60), White());

  window.RenderEllipse(Position(4, 1), Position(6, 2), Green, true);
  rig::Image ringed = dr::ReadBacking(x, window, 258, 60, 140, 80);
  EXPECT_GT(ringed.Count(Palette(Black)), 200);
  EXPECT_EQ(ringed.At(264 - 258, 99 - 60), Palette(Black)) << "leftmost point";
  EXPECT_EQ(ringed.At(330 - 258, 99 - 60), Palette(Green)) << "centre";
}

TEST_F(DrawingTest, PolygonIsClosedAndFilled) {
  // Triangle (66, 66), (198, 66), (66, 198); the closing edge runs up column 66.
  std::vector<Position> triangle = {Position(1, 1), Position(3, 1), Position(1, 3)};
  window.RenderPolygon(triangle.data(), 3, Blue, true);
  rig::Image image = dr::ReadWindow(x, window, 0, 0, 220, 220);
  EXPECT_EQ(image.At(66, 130), Palette(Black)) << "closing edge";
  EXPECT_EQ(image.At(130, 66), Palette(Black)) << "first edge";
  EXPECT_EQ(image.At(132, 132), Palette(Black)) << "second edge";
  EXPECT_EQ(image.At(90, 90), Palette(Blue)) << "inside";
  EXPECT_EQ(image.At(160, 160), White()) << "beyond the slanted edge";
  EXPECT_EQ(image.At(65, 130), White());
  EXPECT_TRUE(PixelsAre(dr::ReadBacking(x, window, 0, 0, 220, 220), 0, 0,
                        [&](int x, int y) { return image.At(x, y); }));

  // The vector form never reads past the vector, and nothing is drawn for
  // fewer than one vertex.
  window.Erase(Position(0, 0), 4, 4);
  window.RenderPolygon(triangle, 1000, Blue, true);
  EXPECT_TRUE(PixelsAre(dr::ReadWindow(x, window, 0, 0, 220, 220), 0, 0,
                        [&](int x, int y) { return image.At(x, y); }));
  window.Erase(Position(0, 0), 4, 4);
  XSync(display, False);
  unsigned long before = NextRequest(display);
  window.RenderPolygon(triangle, 0, Red, true);
  window.RenderPolygon(triangle, -5, Red, true);
  window.RenderPolygon(triangle.data(), 0, Red, true);
  window.RenderPolygon(std::vector<Position>(), 3, Red, true);
  window.RenderPolygon(nullptr, 3, Red, true);
  EXPECT_EQ(NextRequest(display), before);
}

TEST_F(DrawingTest, LinesHaveTheirWidthAndRoundEnds) {
  // 0.5 cm is 33 pixels: rows 116-148 around row 132, from column 66 to 198.
  window.RenderLine(Position(1, 2), Position(3, 2), Red, 0.5f);
  rig::Image image = dr::ReadWindow(x, window, 0, 0, 260, 200);
  int painted = 0;
  for (int y = 0; y < 200; ++y) painted += image.At(132, y) == Palette(Red);
  EXPECT_EQ(painted, 33);
  EXPECT_EQ(image.At(132, 116), Palette(Red));
  EXPECT_EQ(image.At(132, 148), Palette(Red));
  // Round ends: beyond each end on the axis, but not in the corners.
  EXPECT_EQ(image.At(56, 132), Palette(Red));
  EXPECT_EQ(image.At(208, 132), Palette(Red));
  EXPECT_EQ(image.At(52, 118), White());
  EXPECT_EQ(image.At(212, 146), White());
  EXPECT_TRUE(PixelsAre(dr::ReadBacking(x, window, 0, 0, 260, 200), 0, 0,
                        [&](int x, int y) { return image.At(x, y); }));

  // Width 0 is the one-pixel line.
  window.RenderLine(Position(1, 4), Position(3, 4), Blue, 0.0f);
  EXPECT_TRUE(BothTargetsAre(x, window, 60, 260, 150, 8, [&](int x, int y) {
    return (y == 264 && x >= 66 && x <= 198) ? Palette(Blue) : White();
  }));
}

TEST_F(DrawingTest, PixmapCopyLandsInBothTargets) {
  // A 100 x 50 source: green, blue corners of the 66 x 33 part, red just beyond it.
  Pixmap source =
      XCreatePixmap(display, RootWindow(display, ScreenNbr), 100, 50, DefaultDepth(display, ScreenNbr));
  GC gc = XCreateGC(display, source, 0, nullptr);
  XSetForeground(display, gc, 0x00FF00);
  XFillRectangle(display, source, gc, 0, 0, 100, 50);
  XSetForeground(display, gc, 0xFF0000);
  XFillRectangle(display, source, gc, 66, 0, 1, 50);
  XFillRectangle(display, source, gc, 0, 33, 100, 1);
  XSetForeground(display, gc, 0x0000FF);
  XDrawPoint(display, source, gc, 0, 0);
  XDrawPoint(display, source, gc, 65, 32);
  XFreeGC(display, gc);

  unsigned long id = source;
  window.DrawBitMap(id, Position(0.5f, 1.0f), Position(1.0f, 0.5f));
  EXPECT_TRUE(BothTargetsAre(x, window, 28, 60, 80, 45, [&](int x, int y) -> unsigned long {
    if (x < 33 || x > 98 || y < 66 || y > 98) return White();
    if ((x == 33 && y == 66) || (x == 98 && y == 98)) return 0x0000FF;
    return 0x00FF00;
  }));
  XFreePixmap(display, source);
}

TEST_F(DrawingTest, EraseRestoresWhiteForGood) {
  window.RenderRectangle(Position(1, 1), Position(3, 3), Magenta, true);
  window.Erase(Position(1, 1), 1, 1);
  auto erased = [&](int x, int y) {
    if (x >= 66 && x <= 132 && y >= 66 && y <= 132) return White();
    if (x < 66 || x > 198 || y < 66 || y > 198) return White();
    bool ring = x == 66 || x == 198 || y == 66 || y == 198;
    return ring ? Palette(Black) : Palette(Magenta);
  };
  EXPECT_TRUE(BothTargetsAre(x, window, 60, 60, 150, 150, erased));
  Window cover = x.Cover(dr::WindowOf(window));
  x.Uncover(cover);
  dr::Dispatch();
  EXPECT_TRUE(PixelsAre(dr::ReadWindow(x, window, 60, 60, 150, 150), 60, 60, erased));
}

TEST(DrawingResize, FigureBeyondTheWindowAppearsWhenItGrows) {
  rig::XClient x;
  ASSERT_TRUE(x.ok());
  SimpleWindow small("small", 3, 3, Position(0, 0));
  ASSERT_EQ(small.Open(), WindowIsOpen);
  small.RenderRectangle(Position(4, 4), Position(5, 5), Red, false);
  small.RenderRectangle(Position(2, 2), Position(4, 4), Blue, false);
  XResizeWindow(display, dr::WindowOf(small), 400, 400);
  ASSERT_TRUE(rig::WaitFor([&] {
    dr::Dispatch(20);
    return x.GetGeometry(dr::WindowOf(small)).width == 400;
  }));
  dr::Dispatch();
  EXPECT_EQ(small.GetWidth(), d_to_l(400));
  EXPECT_TRUE(PixelsAre(dr::ReadWindow(x, small, 120, 120, 280, 280), 120, 120, [](int x, int y) {
    if (x >= 132 && x <= 264 && y >= 132 && y <= 264) return Palette(Blue);  // drawn last
    if (x >= 264 && x <= 330 && y >= 264 && y <= 330) return Palette(Red);
    return Palette(White);
  }));
}

TEST(DrawingClosed, WindowsThatAreNotOpenIgnoreDrawing) {
  SimpleWindow never("never");
  SimpleWindow closed("closed", 2, 2, Position(0, 0));
  ASSERT_EQ(closed.Open(), WindowIsOpen);
  ASSERT_EQ(closed.Close(), WindowIsClosed);
  unsigned long pixmap = RootWindow(display, ScreenNbr);
  std::vector<Position> square = {Position(0, 0), Position(1, 0), Position(1, 1)};
  XSync(display, False);
  unsigned long before = NextRequest(display);
  for (SimpleWindow* w : {&never, &closed}) {
    w->RenderText(Position(1, 1), "text", Black, White);
    w->RenderText(Position(1, 1), std::string("text"), Black, White);
    w->RenderText(Position(0, 0), Position(1, 1), "text", Black, White);
    w->RenderText(Position(0, 0), Position(1, 1), std::string("text"), Black, White);
    w->RenderRectangle(Position(0, 0), Position(1, 1), Red, true);
    w->RenderEllipse(Position(0, 0), Position(1, 1), Red, true);
    w->RenderPolygon(square.data(), 3, Red, true);
    w->RenderPolygon(square, 3, Red, true);
    w->RenderLine(Position(0, 0), Position(1, 1), Red, 0.5f);
    w->DrawBitMap(pixmap, Position(0, 0), Position(1, 1));
    w->Erase(Position(0, 0), 1, 1);
  }
  EXPECT_EQ(NextRequest(display), before) << "no request reached the X server";
}

}  // namespace
