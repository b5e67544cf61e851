// Drawing in this process, read back from the window and, by blanking the
// window and letting it repaint, from its backing pixmap: text, shapes,
// pictures, and the drawables of the alert box.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <fstream>

#include "rig.h"
#include "slate.h"

namespace {

const std::string Pictures = SLATE_SOURCE_DIR "/tests/pictures/";

class Drawing : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(W.Open(), WindowIsOpen);
    Id = WinManager.GetWindow(&W);
  }
  void TearDown() override { W.Close(); }
  unsigned long Px(int x, int y) {
    XSync(display, False);
    return Peer.Pixel(Id, x, y);
  }
  std::vector<unsigned long> Grab(int x, int y, int width, int height) {
    XSync(display, False);
    return Peer.Grab(Id, x, y, width, height);
  }
  unsigned long Colour(color c) { return ColorTable[c]; }
  // What the window shows, and then what it shows once blanked and repainted
  // from its backing pixmap; the two must agree.
  std::vector<unsigned long> Shown(int x, int y, int width, int height) {
    std::vector<unsigned long> shown = Grab(x, y, width, height);
    XClearWindow(display, Id);
    W.RefreshEvent();
    XSync(display, False);
    EXPECT_EQ(Grab(x, y, width, height), shown) << "the backing pixmap differs";
    return shown;
  }
  SimpleWindow W{"drawing", 8, 6, Position(1, 1)};
  Window Id = 0;
  rig::Peer Peer;
};

TEST_F(Drawing, TextIsCentredOnItsPointOverItsBand) {
  // Centre (99, 66) px; ten characters of 9 px, ascent 12, descent 3: the
  // baseline starts at (54, 73) and the band covers columns 54-143, rows 61-75.
  W.RenderText(Position(1.5f, 1), "0123456789", Blue, Yellow);
  std::vector<unsigned long> band = Shown(53, 60, 92, 17);
  EXPECT_EQ(std::count(band.begin(), band.end(), Colour(Yellow)) +
                std::count(band.begin(), band.end(), Colour(Blue)),
            90 * 15);
  EXPECT_GT(std::count(band.begin(), band.end(), Colour(Blue)), 100);
  for (int corner : {92 + 1, 92 + 90, 92 * 15 + 1, 92 * 15 + 90})
    EXPECT_EQ(band[corner], Colour(Yellow)) << corner;
  // The box forms use the box's middle only, and odd widths lean left.
  std::vector<unsigned long> first = Grab(0, 40, 300, 50);
  XClearWindow(display, Id);
  W.RenderText(Position(1.4f, 1), Position(1.6f, 1), std::string("0123456789"), Blue, Yellow);
  EXPECT_EQ(Grab(0, 40, 300, 50), first);
  W.RenderText(Position(1.5f, 3), "abc", Black, Green);
  EXPECT_EQ(Px(85, 195), Colour(White));
  EXPECT_EQ(Px(86, 195), Colour(Green));  // 99 - 27 / 2
  EXPECT_EQ(Px(112, 200), Colour(Green));
  EXPECT_EQ(Px(113, 200), Colour(White));
}

TEST_F(Drawing, ShapesCoverTheirConvertedCorners) {
  W.RenderRectangle(Position(1, 1), Position(2, 2), Red, false);  // 66..132 both ways, inclusive
  W.RenderRectangle(Position(3, 1), Position(4, 2), Red, true);   // 198..264, the outer ring black
  // 0.78 cm is 51 px and 1 cm 66 px: the size is 66 - 51, not 0.22 cm in pixels (14).
  W.RenderRectangle(Position(0.78f, 2.5f), Position(1, 2.7f), Green, false);
  std::vector<unsigned long> shown = Shown(0, 0, 270, 180);
  auto at = [&](int x, int y) { return shown[y * 270 + x]; };
  EXPECT_EQ(at(66, 66), Colour(Red));
  EXPECT_EQ(at(132, 132), Colour(Red));
  EXPECT_EQ(at(133, 132), Colour(White));
  EXPECT_EQ(at(65, 66), Colour(White));
  EXPECT_EQ(at(198, 66), Colour(Black));
  EXPECT_EQ(at(264, 132), Colour(Black));
  EXPECT_EQ(at(199, 67), Colour(Red));
  EXPECT_EQ(at(51, 170), Colour(Green));
  EXPECT_EQ(at(66, 170), Colour(Green));
  EXPECT_EQ(at(67, 170), Colour(White));

  W.Erase(Position(1, 1), 3, 1);  // a white rectangle over both, edges included
  W.RenderEllipse(Position(1, 1), Position(2, 2), Blue, false);
  W.RenderEllipse(Position(3, 1), Position(4, 2), Blue, true);
  Position triangle[] = {{1, 2.5f}, {2, 2.5f}, {1, 3.5f}};
  W.RenderPolygon(std::vector<Position>(triangle, triangle + 3), 3, Cyan, true);
  W.RenderLine(Position(5, 1), Position(7, 1), Magenta, 0.5f);  // 33 px wide, round ends
  W.RenderLine(Position(5, 3), Position(7, 3), Magenta, 0);
  W.RenderRectangle(Position(6, 4), Position(7, 5), static_cast<color>(99), false);  // no such colour: black
  shown = Shown(0, 0, 480, 340);
  auto at2 = [&](int x, int y) { return shown[y * 480 + x]; };
  EXPECT_EQ(at2(132, 132), Colour(White));  // erased
  EXPECT_EQ(at2(66, 99), Colour(Blue));     // the outline in the fill colour
  EXPECT_EQ(at2(198, 99), Colour(Black));
  EXPECT_EQ(at2(231, 99), Colour(Blue));
  EXPECT_EQ(at2(66, 200), Colour(Black));  // the edge that closes the triangle
  EXPECT_EQ(at2(80, 180), Colour(Cyan));
  EXPECT_EQ(at2(400, 50), Colour(Magenta));
  EXPECT_EQ(at2(400, 82), Colour(Magenta));
  EXPECT_EQ(at2(400, 49), Colour(White));
  EXPECT_EQ(at2(320, 66), Colour(Magenta));  // round beyond the end point
  EXPECT_EQ(at2(400, 198), Colour(Magenta));
  EXPECT_EQ(at2(400, 199), Colour(White));
  EXPECT_EQ(at2(420, 300), Colour(Black));

  // A copy of a pixmap: its origin's rectangle of the size converted.
  Pixmap source = XCreatePixmap(display, Id, 80, 80, DefaultDepth(display, ScreenNbr));
  GC gc = GetGraphicsContext(source, Colour(Green), Colour(White));
  XFillRectangle(display, source, gc, 0, 0, 80, 80);
  XFreeGC(display, gc);
  W.DrawBitMap(source, Position(0.5f, 4), Position(1, 0.5f));
  XFreePixmap(display, source);
  shown = Shown(30, 262, 72, 40);
  EXPECT_EQ(shown[2 * 72 + 3], Colour(Green));    // (33, 264)
  EXPECT_EQ(shown[34 * 72 + 68], Colour(Green));  // (98, 296)
  EXPECT_EQ(shown[34 * 72 + 69], Colour(White));  // (99, 296)
  EXPECT_EQ(shown[35 * 72 + 68], Colour(White));  // (98, 297)
  EXPECT_EQ(shown[1 * 72 + 3], Colour(White));    // (33, 263)
}

TEST_F(Drawing, AnyColourByItsParts) {
  color navy = RGBColor(12, 34, 56), rust = RGBColor(183, 65, 14);
  EXPECT_EQ(RGBColor(12, 34, 56), navy);  // allocated once
  EXPECT_NE(navy, rust);
  EXPECT_EQ(RGBColor(-5, 300, 0), RGBColor(0, 255, 0));
  W.RenderRectangle(Position(0, 0), Position(1, 1), navy, false);
  W.RenderLine(Position(2, 0.5f), Position(3, 0.5f), rust, 0.2f);
  W.RenderText(Position(1, 2), "text", rust, navy);
  W.RenderEllipse(Position(4, 0), Position(5, 1), rust, true);
  // A value in the same range that RGBColor never gave draws in black.
  W.RenderRectangle(Position(6, 0), Position(7, 1), static_cast<color>(navy + 1), false);
  std::vector<unsigned long> shown = Shown(0, 0, 400, 140);
  auto at = [&](int x, int y) { return shown[y * 400 + x]; };
  EXPECT_EQ(
      std::vector<unsigned long>({at(0, 0), at(66, 66), at(150, 33), at(297, 33), at(264, 33), at(398, 33)}),
      std::vector<unsigned long>({0x0c2238, 0x0c2238, 0xb7410e, 0xb7410e, Colour(Black), Colour(Black)}));
  std::vector<unsigned long> band = Grab(48, 127, 36, 15);  // "text" in rust on navy
  EXPECT_EQ(
      std::count(band.begin(), band.end(), 0x0c2238ul) + std::count(band.begin(), band.end(), 0xb7410eul),
      36 * 15);
  EXPECT_GT(std::count(band.begin(), band.end(), 0xb7410eul), 50);
  EllipseGraphic disc(RGBColor(200, 180, 20), Position(6, 3), Position(7, 4), Id);  // a retained drawable
  EXPECT_EQ(Px(429, 231), 0xc8b414u);
}

TEST_F(Drawing, FiguresBeyondTheWindowAreKeptForWhenItGrows) {
  W.RenderRectangle(Position(9, 1), Position(10, 2), Red, false);
  XResizeWindow(display, Id, 700, 400);
  ASSERT_TRUE(rig::WaitFor([&] { return W.GetWidth() == d_to_l(700); }));
  W.RefreshEvent();
  EXPECT_EQ(Px(600, 100), Colour(Red));
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
  EXPECT_EQ(picture.GetWidth(), 1.0f);
  EXPECT_EQ(picture.GetHeight(), 0.5f);
  picture.SetPosition(Position(0, 0));
  for (Position p : {Position(0, 0), Position(1, 0.5f), Position(0.5f, 0.25f)})
    EXPECT_EQ(picture.IsInside(p), 1);
  for (Position p : {Position(1.01f, 0.25f), Position(-0.01f, 0.25f)}) EXPECT_EQ(picture.IsInside(p), 0);
  EXPECT_EQ(picture.Draw(), 1);
  std::vector<unsigned long> shown = Shown(0, 0, 67, 34);
  rig::Peer& p = Peer;
  EXPECT_EQ(shown[0], p.Named("#FFFF00"));
  EXPECT_EQ(shown[1], p.Named("#FF0000"));
  EXPECT_EQ(shown[33], p.Named("#0000FF"));
  EXPECT_EQ(shown[66], Colour(White));
  EXPECT_EQ(shown[32 * 67 + 5], p.Named("#00FF00"));
  EXPECT_EQ(shown[33 * 67 + 5], Colour(White));

  // 100 px is 1.5151515 cm, which converts back to 99 px.
  BitMap stripe(W);
  ASSERT_EQ(stripe.Load(Pictures + "stripe_100x10.xpm"), PictureLoaded);
  EXPECT_EQ(stripe.GetWidth(), 1.5151515f);
  stripe.SetPosition(Position(0, 1));
  stripe.Draw();
  EXPECT_EQ(Px(98, 66), p.Named("#00FF00"));
  EXPECT_EQ(Px(99, 66), Colour(White));

  // Every form libXpm reads, one of them with its values past the first 64 KiB.
  std::ifstream quadrants(Pictures + "quadrants_66x33.xpm");
  std::string first, rest((std::getline(quadrants, first), std::istreambuf_iterator<char>(quadrants)), {});
  std::string longComment = rig::Path("long_comment_66x33.xpm");
  std::ofstream(longComment) << first << "\n/* " << std::string(65536, 'x') << " */\n" << rest;
  struct Sample {
    std::string File;
    int X, Y;
    const char* Colour;
  };
  std::string plain = Pictures + "plain_comment_66x33.xpm", defines = Pictures + "defines_4x2.xpm";
  std::string lisp = Pictures + "lisp_4x2.xpm", zeros = Pictures + "zeros_4x2.xpm";
  for (const Sample& sample : std::vector<Sample>{{plain, 0, 0, "#FF0000"},
                                                  {plain, 33, 0, "#0000FF"},
                                                  {longComment, 0, 0, "#FFFF00"},
                                                  {longComment, 33, 0, "#0000FF"},
                                                  {defines, 0, 0, "#FF0000"},
                                                  {defines, 3, 0, "#00FF00"},
                                                  {lisp, 0, 0, "#0000FF"},
                                                  {lisp, 0, 1, "#FFFF00"},
                                                  {zeros, 0, 0, "#00FFFF"},
                                                  {zeros, 1, 0, "#FF00FF"}}) {
    ASSERT_EQ(picture.Load(sample.File), PictureLoaded) << sample.File;
    picture.Draw();
    EXPECT_EQ(Px(sample.X, sample.Y), p.Named(sample.Colour)) << sample.File;
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

TEST_F(Drawing, PicturesOwnTheirPixmaps) {
  XSync(display, False);
  unsigned long bytes = Peer.PixmapBytes(Id);
  {
    BitMap picture(W);
    picture.Load(Pictures + "quadrants_66x33.xpm");
    XSync(display, False);
    unsigned long loaded = Peer.PixmapBytes(Id);
    EXPECT_EQ(loaded, bytes + 66 * 33 * 4);
    for (int i = 0; i < 10; ++i) picture.Load(Pictures + "quadrants_66x33.xpm");
    XSync(display, False);
    EXPECT_EQ(Peer.PixmapBytes(Id), loaded);  // each load releases the picture before

    auto copy = std::make_unique<BitMap>(picture);
    BitMap assigned(W);
    assigned.Load(Pictures + "stripe_100x10.xpm");
    assigned = *copy;
    copy.reset();
    assigned.SetPosition(Position(0, 0));
    EXPECT_EQ(assigned.Draw(), 1);
    EXPECT_EQ(Px(33, 5), Peer.Named("#0000FF"));
  }
  XSync(display, False);
  EXPECT_EQ(Peer.PixmapBytes(Id), bytes);
}

// A drawable that counts its destructions.
int deleted = 0;
struct Counted : EllipseGraphic {
  ~Counted() override { ++deleted; }
};

TEST(Drawables, DisplayList) {
  GraphicManager list;
  EXPECT_EQ(list.First(), nullptr);
  EXPECT_EQ(list.Next(), nullptr);
  auto *p = new Counted, *q = new Counted, *r = new Counted;
  list.InsertGraphic(p);
  list.AppendGraphic(q);
  list.AppendGraphic(r);
  EXPECT_EQ(std::vector<GraphicNode*>({list.First(), list.Next(), list.Next(), list.Next()}),
            std::vector<GraphicNode*>({p, q, r, nullptr}));
  EXPECT_EQ(list.GetListSize(), 3);
  testing::internal::CaptureStdout();
  list.AppendGraphic(nullptr);
  list.InsertGraphic(nullptr);
  GraphicPosition none = list.GetLowerRightOfFirstMessage();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Unable to allocate memory in function: GraphicManager\n"
            "Unable to allocate memory in function: InsertGraphic\n"
            "A request has been made to retrieve information from the first item in a GraphicManager when "
            "there are no items in the list.\nThe program is being terminated.\n");
  EXPECT_EQ(none, GraphicPosition(0, 0));
  EXPECT_EQ(list.GetListSize(), 3);
  list.EmptyList();
  EXPECT_EQ(deleted, 3);
  EXPECT_EQ(list.First(), nullptr);

  auto* message = new MessageGraphic("m", White, Position(1, 1), Position(2, 2), 0);
  list.AppendGraphic(new ButtonGraphic("b", Position(0, 0), Position(3, 3), 0, 0, 0));
  list.InsertGraphic(new EllipseGraphic());
  list.AppendGraphic(message);
  EXPECT_EQ(list.GetFirstMessage(), message);  // a button is no text drawable
  EXPECT_EQ(list.GetLowerRightOfFirstMessage(), GraphicPosition(132, 132));
}

TEST_F(Drawing, AlertDrawables) {
  X11BitMapGraphic mark(exclam_bits, Yellow, Position(0, 0), GraphicPosition(10, 30), Id);
  X11BitMapGraphic black(exclam_bits, static_cast<color>(-1), Position(1, 0), GraphicPosition(10, 30), Id);
  std::vector<unsigned long> m = Grab(0, 0, 11, 30), b = Grab(66, 0, 10, 30);
  unsigned long y = Colour(Yellow), k = Colour(Black);
  EXPECT_EQ(std::vector<unsigned long>(m.begin(), m.begin() + 11),
            std::vector<unsigned long>({y, y, y, y, y, y, y, y, y, y, Colour(White)}));
  EXPECT_EQ(std::vector<unsigned long>(m.begin() + 22, m.begin() + 32),
            std::vector<unsigned long>({y, k, k, k, k, k, k, k, k, y}));
  EXPECT_EQ(std::vector<unsigned long>(m.begin() + 21 * 11, m.begin() + 21 * 11 + 10),
            std::vector<unsigned long>({y, y, y, y, k, k, y, y, y, y}));
  EXPECT_EQ(std::count(b.begin(), b.end(), k), 300);  // a colour out of the palette is black

  EllipseGraphic disc(Yellow, Position(2, 0), Position(3, 1), Id);
  EllipseGraphic odd(static_cast<color>(42), Position(4, 0), Position(5, 1), Id);
  EXPECT_EQ(Px(132, 33), k);  // the outline, black
  EXPECT_EQ(Px(165, 33), y);
  EXPECT_EQ(Px(297, 33), k);  // a colour out of the palette

  MessageGraphic text("0123456789", Cyan, Position(1, 2), Position(3, 3), 0);
  EXPECT_EQ(text.GetLocation(), GraphicPosition(0, 0));
  text.Draw(Id);
  EXPECT_EQ(text.GetLocation(), GraphicPosition(132 - 45, 165 + 7));
  std::vector<unsigned long> band = Grab(87, 160, 90, 15);  // black text on a cyan band
  long cyan = std::count(band.begin(), band.end(), Colour(Cyan));
  EXPECT_EQ(cyan + std::count(band.begin(), band.end(), k), 90 * 15);
  EXPECT_GT(cyan, 90 * 15 / 2);
  text.SetLocation(GraphicPosition(10, 20), GraphicPosition(110, 40));
  text.SetTextLocation(27, 15);
  EXPECT_EQ(text.GetLocation(), GraphicPosition(47, 37));
  text.SetLocation(GraphicPosition(0, 0), GraphicPosition(5, 5));
  text.SetTextLocation(2, 2);
  EXPECT_EQ(text.GetLocation(), GraphicPosition(1, 3));
  text.SetLocation(GraphicPosition(-3, 0), GraphicPosition(0, 0));
  text.SetTextLocation(0, 0);
  EXPECT_EQ(text.GetLocation(), GraphicPosition(-1, 0));
  text.SetLocation(GraphicPosition(INT_MAX, INT_MAX), GraphicPosition(INT_MAX, INT_MAX));
  text.SetTextLocation(0, UINT_MAX);
  EXPECT_EQ(text.GetLocation(), GraphicPosition(INT_MAX, INT_MAX));

  // The raised button: light top and left, dark bottom and right, meeting on
  // diagonals; its label centred half-way to the label corner.
  XClearWindow(display, Id);
  ButtonGraphic button(ButtonMessage, OkayUpPosition, Position(75, 35), ButtonColorTable[1],
                       ButtonColorTable[2], Id);
  std::vector<unsigned long> look = Grab(0, 0, 76, 36);
  auto at = [&](int x, int yy) { return look[yy * 76 + x]; };
  unsigned long light = ButtonColorTable[1], dark = ButtonColorTable[2];
  EXPECT_EQ(std::vector<unsigned long>(
                {at(0, 0), at(3, 3), at(74, 0), at(74, 1), at(0, 34), at(1, 34), at(20, 10)}),
            std::vector<unsigned long>({light, light, light, dark, light, dark, ButtonColorTable[0]}));
  EXPECT_EQ(button.GetLocation(), GraphicPosition(49, 33));
  EXPECT_EQ(button.GetUpperLeft(), GraphicPosition(125, 52));
  EXPECT_EQ(button.GetType(), ButtonGraphicType);

  // The push button's window sits centred, its middle at three quarters of the box's height.
  Window parent = XCreateSimpleWindow(display, Id, 0, 0, 277, 126, 0, 0, 0);
  ButtonWindow push;
  ASSERT_EQ(push.Open(parent, 277, 126), WindowIsOpen);
  Window root;
  int x, yy;
  unsigned int width, height, border, depthBits;
  XGetGeometry(display, push.GetWindow(), &root, &x, &yy, &width, &height, &border, &depthBits);
  EXPECT_EQ(std::vector<int>({x, yy, int(width), int(height)}), std::vector<int>({101, 77, 75, 35}));
  unsigned long before = NextRequest(display);
  push.Close();
  EXPECT_EQ(NextRequest(display), before);
  XDestroyWindow(display, parent);
}

}  // namespace
