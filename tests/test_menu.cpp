// End-to-end tests of the ZINDRA menu: the real zindra program runs as a
// child process in a scratch directory holding its pictures, on an Xvfb of
// its own, and is driven and watched from another X client (XTest clicks,
// window-manager close requests, window titles, geometry and pixels).
#include <gtest/gtest.h>
// Xlib headers after GoogleTest, whose internals use the name None.
#include <X11/xpm.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "rig.h"

namespace {

namespace fs = std::filesystem;

const std::string kZindra = SLATE_BINARY_DIR "/app/zindra";
const std::string kPictureTool = SLATE_BINARY_DIR "/app/zindra-pictures";
const std::string kPictures = SLATE_SOURCE_DIR "/app/pictures";

// The menu's click map, in centimetres, with the window each region opens.
struct Region {
  double left, right, top, bottom;
  const char* opens;  // title of the window it opens; null for the close box
};
const Region kRegions[6] = {
    {10.518, 14.688, 1.968, 3.114, "game"},     {10.518, 14.688, 3.642, 4.716, "HIGHSCORES"},
    {10.518, 14.688, 5.25, 6.582, "OPTIONS"},   {10.518, 14.688, 7.026, 8.316, "about game and instructions"},
    {10.518, 14.688, 8.7, 10.14, "more games"}, {0.54, 1.44, 0.676, 1.86, nullptr},
};
const Region& kClose = kRegions[5];
const char* const kSubWindows[] = {"game", "HIGHSCORES", "OPTIONS", "about game and instructions",
                                   "more games"};

// A pixel of the menu window as the click reports it, in centimetres.
float Cm(int px, int scale) {
  return static_cast<float>(px / static_cast<double>(scale));
}

bool Inside(const Region& r, int px, int py, int scale) {
  float x = Cm(px, scale), y = Cm(py, scale);
  return x > r.left && x < r.right && y > r.top && y < r.bottom;
}

// Pixel bounds of a region: every pixel in [x0, x1] x [y0, y1] clicks inside it.
struct Span {
  int x0, y0, x1, y1;
  int Cx() const { return (x0 + x1) / 2; }
  int Cy() const { return (y0 + y1) / 2; }
};
Span Pixels(const Region& r, int scale) {
  Span s;
  s.x0 = static_cast<int>(r.left * scale) - 2;
  while (!(Cm(s.x0, scale) > r.left)) ++s.x0;
  s.x1 = static_cast<int>(r.right * scale) + 2;
  while (!(Cm(s.x1, scale) < r.right)) --s.x1;
  s.y0 = static_cast<int>(r.top * scale) - 2;
  while (!(Cm(s.y0, scale) > r.top)) ++s.y0;
  s.y1 = static_cast<int>(r.bottom * scale) + 2;
  while (!(Cm(s.y1, scale) < r.bottom)) --s.y1;
  return s;
}

// What the menu prints for a click at this pixel.
std::string Printed(int px, int py, int scale) {
  std::ostringstream out;
  out << Cm(px, scale) << 't' << Cm(py, scale) << 'n';
  return out.str();
}

struct Bounds {
  int count = 0, x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
};
Bounds InkOf(const rig::Image& image, unsigned long pixel) {
  Bounds b;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      if (image.At(x, y) != pixel) continue;
      ++b.count;
      b.x0 = std::min(b.x0, x), b.x1 = std::max(b.x1, x);
      b.y0 = std::min(b.y0, y), b.y1 = std::max(b.y1, y);
    }
  }
  return b;
}

// A string literal with its embedded NULs, without the final one.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A file of the library's corpus of broken pictures, or the fallback bytes
// when the corpus does not have it.
std::string Corpus(const std::string& name, const std::string& fallback) {
  std::string path = SLATE_SOURCE_DIR "/tests/pictures/" + name;
  return fs::exists(path) ? ReadFile(path) : fallback;
}

class ScratchDir {
 public:
  ScratchDir() {
    char name[] = "/tmp/zindra-test-XXXXXX";
    path_ = mkdtemp(name) ? name : "";
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& file) const { return path_ + "/" + file; }

 private:
  std::string path_;
};

// One run of zindra on a server, seen from a client of that server.
class MenuRun {
 public:
  MenuRun(const rig::Xvfb& server, const ScratchDir& dir, int scale)
      : server_(server), dir_(dir), scale_(scale), x_(server.Name()) {}

  rig::XClient& x() { return x_; }
  rig::Process& process() { return process_; }
  int scale() const { return scale_; }

  bool Launch() {
    rig::ProcessOptions options;
    options.cwd = dir_.path();
    return process_.Start(kZindra, server_.Env(options));
  }

  // Starts zindra and waits for the menu (the loading screen takes 2 s).
  Window Start() { return Launch() ? WaitForMenu() : 0; }

  Window WaitForMenu() {
    menu_ = x_.WaitForWindow("ZINDRA", 10000);
    if (menu_ && !x_.WaitForWindowGone("laoding", 5000)) menu_ = 0;
    return menu_;
  }

  // Clicks pixel (px, py) of the menu and remembers what it should print.
  void Click(int px, int py) {
    ASSERT_TRUE(x_.ClickInWindow(menu_, px, py));
    expected_ += Printed(px, py, scale_);
  }
  void Click(const Region& r) { Click(Pixels(r, scale_).Cx(), Pixels(r, scale_).Cy()); }

  // Clicks a region and waits for the window it opens.
  Window Open(const Region& r) {
    Click(r);
    return x_.WaitForWindow(r.opens, 5000);
  }

  bool Close(Window w, const std::string& title) {
    return x_.SendDeleteRequest(w) && x_.WaitForWindowGone(title, 5000);
  }

  // Moves a window to the right so that the menu's buttons are reachable
  // and the window's left part stays on the screen.
  void MoveAside(Window w) {
    XMoveWindow(x_.dpy(), w, 1060, 66);
    x_.Sync();
    rig::WaitFor([&] { return x_.GetGeometry(w).x == 1060; }, 3000);
  }

  // Paints a window's contents black from this client (not through zindra).
  void Blacken(Window w) {
    GC gc = XCreateGC(x_.dpy(), w, 0, nullptr);
    XSetForeground(x_.dpy(), gc, BlackPixel(x_.dpy(), DefaultScreen(x_.dpy())));
    XFillRectangle(x_.dpy(), w, gc, 0, 0, 4000, 4000);
    XFreeGC(x_.dpy(), gc);
    x_.Sync();
  }

  // Number of pixels of the rectangle that differ between a window and an
  // XPM file; -1 if either cannot be read.
  long Mismatches(Window w, const std::string& xpm, int width, int height) {
    Pixmap pixmap = 0;
    XpmAttributes attributes{};
    if (XpmReadFileToPixmap(x_.dpy(), x_.Root(), xpm.c_str(), &pixmap, nullptr, &attributes) != XpmSuccess) {
      return -1;
    }
    rig::Image want = x_.Capture(pixmap, 0, 0, width, height);
    rig::Image got = x_.Capture(w, 0, 0, width, height);
    XFreePixmap(x_.dpy(), pixmap);
    XpmFreeAttributes(&attributes);
    if (!want.ok || !got.ok) return -1;
    long diff = 0;
    for (size_t i = 0; i < want.pixels.size(); ++i) diff += want.pixels[i] != got.pixels[i];
    return diff;
  }

  bool ShowsPicture(Window w, const std::string& xpm, int width, int height) {
    return rig::WaitFor([&] { return Mismatches(w, xpm, width, height) == 0; }, 5000, 20);
  }

  // Ink of one palette colour in a rectangle of a window, once there is some.
  Bounds WaitForInk(Window w, const char* colour, int x, int y, int width, int height) {
    unsigned long pixel = x_.NamedPixel(colour);
    Bounds b;
    rig::WaitFor(
        [&] {
          b = InkOf(x_.Capture(w, x, y, width, height), pixel);
          return b.count > 0;
        },
        3000, 20);
    return b;
  }

  bool AllWhite(Window w) {
    unsigned long white = x_.NamedPixel("white");
    return rig::WaitFor(
        [&] {
          rig::Image i = x_.Capture(w);
          return i.ok && i.Count(white) == i.width * i.height;
        },
        3000, 20);
  }

  // Clicks the close box; zindra must then end by itself with status 0,
  // having printed exactly the clicks made.
  void CloseMenuAndCheckExit() {
    Click(kClose);
    rig::ProcessResult r = process_.Wait(10000);
    EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
    EXPECT_EQ(r.out, expected_);
    EXPECT_EQ(r.err, "");
  }

  const std::string& expected() const { return expected_; }

 private:
  const rig::Xvfb& server_;
  const ScratchDir& dir_;
  int scale_;
  rig::XClient x_;
  rig::Process process_;
  Window menu_ = 0;
  std::string expected_;
};

void CopyPictures(const ScratchDir& dir) {
  fs::copy_file(kPictures + "/menu.xpm", dir / "menu.xpm", fs::copy_options::overwrite_existing);
  fs::copy_file(kPictures + "/instructions.xpm", dir / "instructions.xpm",
                fs::copy_options::overwrite_existing);
}

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = rig::PrivateServer();
    ASSERT_NE(server_, nullptr);
    ASSERT_FALSE(dir_.path().empty());
    CopyPictures(dir_);
    run_ = std::make_unique<MenuRun>(*server_, dir_, 66);
    ASSERT_TRUE(run_->x().ok());
  }

  rig::Xvfb* server_ = nullptr;
  ScratchDir dir_;
  std::unique_ptr<MenuRun> run_;
};

TEST_F(MenuTest, LoadingScreenComesFirstThenTheMenuWithItsPicture) {
  rig::XClient& x = run_->x();
  ASSERT_TRUE(run_->Launch());

  Window loading = x.WaitForWindow("laoding", 5000);
  ASSERT_NE(loading, 0u) << run_->process().Stdout();
  EXPECT_EQ(x.FindWindow("ZINDRA", false), 0u);
  rig::Geometry g = x.GetGeometry(loading);
  EXPECT_EQ(g.x, 66);
  EXPECT_EQ(g.y, 66);
  EXPECT_EQ(g.width, 990);
  EXPECT_EQ(g.height, 792);
  // Two lines of text, centred on (5.5, 5.5) and (6.5, 6.5) cm.
  Bounds wait = run_->WaitForInk(loading, "magenta1", 0, 0, 990, 792);
  Bounds tips = run_->WaitForInk(loading, "red1", 0, 0, 990, 792);
  ASSERT_GT(wait.count, 0);
  ASSERT_GT(tips.count, 0);
  EXPECT_NEAR((wait.x0 + wait.x1) / 2.0, 363, 5);
  EXPECT_NEAR((tips.x0 + tips.x1) / 2.0, 429, 5);
  EXPECT_NEAR((wait.y0 + wait.y1) / 2.0, 363, 12);
  EXPECT_NEAR((tips.y0 + tips.y1) / 2.0, 429, 12);

  Window menu = run_->WaitForMenu();
  ASSERT_NE(menu, 0u) << "no menu, or the loading screen stayed";
  g = x.GetGeometry(menu);
  EXPECT_EQ(g.x, 66);
  EXPECT_EQ(g.y, 66);
  EXPECT_EQ(g.width, 990);
  EXPECT_EQ(g.height, 792);
  EXPECT_EQ(x.GetName(menu), "ZINDRA");
  EXPECT_TRUE(run_->ShowsPicture(menu, dir_ / "menu.xpm", 990, 792));
  EXPECT_EQ(run_->process().Stdout(), "");
  run_->CloseMenuAndCheckExit();
}

TEST_F(MenuTest, EachButtonOpensItsWindowAndEveryClickIsPrinted) {
  Window menu = run_->Start();
  ASSERT_NE(menu, 0u);

  // PLAY and OPTIONS open empty windows.
  for (int i : {0, 2}) {
    Window w = run_->Open(kRegions[i]);
    ASSERT_NE(w, 0u) << kRegions[i].opens;
    EXPECT_EQ(run_->x().GetGeometry(w).width, 990);
    EXPECT_TRUE(run_->AllWhite(w)) << kRegions[i].opens;
    EXPECT_TRUE(run_->Close(w, kRegions[i].opens));
  }

  // HIGHSCORES and MORE GAMES write a line of blue text, and write it again
  // on a second click while the window is open. The window is moved aside
  // and painted black by this client between the clicks, without an
  // exposure, so only a new drawing brings the text back.
  struct Text {
    int region;
    int centre;  // pixels, both axes
  };
  for (Text t : {Text{1, 330}, Text{4, 297}}) {
    const char* title = kRegions[t.region].opens;
    Window w = run_->Open(kRegions[t.region]);
    ASSERT_NE(w, 0u) << title;
    Bounds ink = run_->WaitForInk(w, "blue1", 0, 0, 800, 792);
    ASSERT_GT(ink.count, 0) << title;
    EXPECT_NEAR((ink.y0 + ink.y1) / 2.0, t.centre, 12) << title;
    if (t.region == 1) {
      EXPECT_NEAR((ink.x0 + ink.x1) / 2.0, t.centre, 5);
    } else {
      EXPECT_LE(ink.x0, 2) << "the long line spills over the left edge";
    }

    run_->MoveAside(w);
    run_->Blacken(w);
    EXPECT_EQ(InkOf(run_->x().Capture(w, 0, 0, 800, 792), run_->x().NamedPixel("blue1")).count, 0);
    run_->Click(kRegions[t.region]);
    EXPECT_EQ(run_->WaitForInk(w, "blue1", 0, 0, 800, 792).count, ink.count) << title;
    EXPECT_EQ(run_->x().FindWindows(title).size(), 1u);
    EXPECT_TRUE(run_->Close(w, title));
  }

  // INSTRUCTIONS shows instructions.xpm, read again on every click.
  Window info = run_->Open(kRegions[3]);
  ASSERT_NE(info, 0u);
  EXPECT_TRUE(run_->ShowsPicture(info, dir_ / "instructions.xpm", 990, 792));
  run_->MoveAside(info);
  fs::copy_file(dir_ / "menu.xpm", dir_ / "instructions.xpm", fs::copy_options::overwrite_existing);
  run_->Click(kRegions[3]);
  EXPECT_TRUE(run_->ShowsPicture(info, dir_ / "menu.xpm", 800, 792));
  EXPECT_TRUE(run_->Close(info, "about game and instructions"));

  run_->CloseMenuAndCheckExit();
}

TEST_F(MenuTest, ClicksOutsideTheRegionsOpenNothing) {
  Window menu = run_->Start();
  ASSERT_NE(menu, 0u);
  const int s = 66;
  // The pixel just outside each edge of each region, halfway along it.
  for (const Region& r : kRegions) {
    Span p = Pixels(r, s);
    int outside[4][2] = {{p.x0 - 1, p.Cy()}, {p.x1 + 1, p.Cy()}, {p.Cx(), p.y0 - 1}, {p.Cx(), p.y1 + 1}};
    for (auto& o : outside) {
      for (const Region& any : kRegions) ASSERT_FALSE(Inside(any, o[0], o[1], s));
      run_->Click(o[0], o[1]);
    }
  }
  // Far from every region, and the window's corners.
  for (auto [px, py] : {std::pair{330, 330}, {830, 740}, {0, 0}, {989, 791}, {830, 225}}) run_->Click(px, py);

  // Clicks are handled in order: once OPTIONS is open, all of the above were.
  Window options = run_->Open(kRegions[2]);
  ASSERT_NE(options, 0u);
  for (const char* title : kSubWindows) {
    EXPECT_EQ(run_->x().FindWindow(title, false) != 0, std::string(title) == "OPTIONS") << title;
  }
  EXPECT_NE(run_->x().FindWindow("ZINDRA"), 0u);
  EXPECT_TRUE(run_->Close(options, "OPTIONS"));

  // The pixels just inside the corners of PLAY do open the game.
  Span play = Pixels(kRegions[0], s);
  for (auto [px, py] : {std::pair{play.x0, play.y0}, {play.x1, play.y1}}) {
    run_->Click(px, py);
    Window game = run_->x().WaitForWindow("game", 5000);
    ASSERT_NE(game, 0u);
    EXPECT_TRUE(run_->Close(game, "game"));
  }
  run_->CloseMenuAndCheckExit();
}

TEST_F(MenuTest, CloseBoxClosesOnlyTheMenuAndTheProgramEndsWithTheLastWindow) {
  Window menu = run_->Start();
  ASSERT_NE(menu, 0u);
  Window game = run_->Open(kRegions[0]);
  ASSERT_NE(game, 0u);
  XRaiseWindow(run_->x().dpy(), menu);
  run_->x().Sync();
  run_->Click(kClose);
  EXPECT_TRUE(run_->x().WaitForWindowGone("ZINDRA", 5000));
  EXPECT_TRUE(run_->x().Viewable(game));
  rig::SleepMs(300);
  EXPECT_TRUE(run_->process().Running());

  ASSERT_TRUE(run_->x().SendDeleteRequest(game));
  rig::ProcessResult r = run_->process().Wait(10000);
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, run_->expected());
}

// On a 1856-pixel-wide screen (64 px/cm) pixel row 336 is exactly 5.25 cm,
// the top edge of OPTIONS: a click there matches nothing, the row below
// does. The menu runs here without any picture and must still work.
TEST(MenuOnOtherScreens, ClickExactlyOnABorderOpensNothingAndNoPictureIsNeeded) {
  rig::Xvfb server("1856x1044x24");
  ASSERT_TRUE(server.Start()) << server.Error();
  ScratchDir dir;
  MenuRun run(server, dir, 64);
  ASSERT_TRUE(run.x().ok());
  Window menu = run.Start();
  ASSERT_NE(menu, 0u);
  EXPECT_EQ(run.x().GetGeometry(menu).width, 960);
  EXPECT_TRUE(run.AllWhite(menu));

  int column = Pixels(kRegions[2], 64).Cx();
  ASSERT_EQ(Cm(336, 64), 5.25f);
  run.Click(column, 336);
  Window game = run.Open(kRegions[0]);  // handled after the border click
  ASSERT_NE(game, 0u);
  EXPECT_EQ(run.x().FindWindow("OPTIONS", false), 0u);
  EXPECT_TRUE(run.Close(game, "game"));

  run.Click(column, 337);
  Window options = run.x().WaitForWindow("OPTIONS", 5000);
  ASSERT_NE(options, 0u);
  EXPECT_TRUE(run.Close(options, "OPTIONS"));
  EXPECT_NE(run.expected().find("t5.25n"), std::string::npos);
  run.CloseMenuAndCheckExit();
}

// Whatever is wrong with menu.xpm, the menu opens blank and works.
TEST(MenuWithoutPicture, BadMenuPictureLeavesTheMenuBlankAndClickable) {
  std::string real = ReadFile(kPictures + "/menu.xpm");
  struct Case {
    const char* name;
    std::string bytes;  // written as menu.xpm, unless missing
    bool missing;
  };
  std::vector<Case> cases = {
      {"missing", "", true},
      {"empty", Corpus("bad_empty.xpm", ""), false},
      {"garbage",
       Corpus("bad_garbage.xpm",
              Bytes("\x7f\x13 not an image at all \x01\x02\xff\xfe") + std::string(5000, '#')),
       false},
      {"truncated corpus picture", Corpus("bad_truncated_pixels.xpm", real.substr(0, real.size() / 2)),
       false},
      {"truncated menu picture", real.substr(0, real.size() / 3), false},
      {"png", Corpus("bad_png.xpm", Bytes("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x02\0\0\0")),
       false},
  };
  // Each case on a server of its own, all started together so that their
  // loading screens run at the same time.
  struct Setup {
    std::unique_ptr<rig::Xvfb> server = std::make_unique<rig::Xvfb>("1920x1080x24");
    ScratchDir dir;
    std::unique_ptr<MenuRun> run;
  };
  std::vector<Setup> setups(cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    Setup& s = setups[i];
    ASSERT_TRUE(s.server->Start()) << s.server->Error();
    if (!cases[i].missing) std::ofstream(s.dir / "menu.xpm", std::ios::binary) << cases[i].bytes;
    s.run = std::make_unique<MenuRun>(*s.server, s.dir, 66);
    ASSERT_TRUE(s.run->Launch());
  }
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    MenuRun& run = *setups[i].run;
    Window menu = run.WaitForMenu();
    ASSERT_NE(menu, 0u);
    EXPECT_TRUE(run.AllWhite(menu));
    Window scores = run.Open(kRegions[1]);
    ASSERT_NE(scores, 0u);
    EXPECT_TRUE(run.Close(scores, "HIGHSCORES"));
    run.CloseMenuAndCheckExit();
  }
}

// At 1366 x 768 (47 px/cm), with pictures drawn for that scale, the ink of
// every button label (and of the close mark) lies inside its click region,
// and clicking a label opens its window.
TEST(MenuOnOtherScreens, LabelsLieInsideTheirRegionsAt47PixelsPerCentimetre) {
  rig::Xvfb server("1366x768x24");
  ASSERT_TRUE(server.Start()) << server.Error();
  ScratchDir dir;
  rig::ProcessOptions options;
  options.args = {dir.path()};
  rig::ProcessResult made = rig::Run(kPictureTool, server.Env(options), 30000);
  ASSERT_TRUE(made.ExitedWith(0)) << made.Describe();
  EXPECT_NE(made.out.find("705x564 pixels (47 px/cm)"), std::string::npos) << made.out;
  for (const char* file : {"menu.xpm", "instructions.xpm"}) {
    std::ifstream in(dir / file);
    std::string line;
    for (int i = 0; i < 3; ++i) std::getline(in, line);
    int w = 0, h = 0, colours = 0, chars = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "\"%d %d %d %d", &w, &h, &colours, &chars), 4) << line;
    EXPECT_EQ(w, 705);
    EXPECT_EQ(h, 564);
    EXPECT_LT(colours, 64) << file;
    EXPECT_EQ(chars, 1) << file;
  }

  MenuRun run(server, dir, 47);
  ASSERT_TRUE(run.x().ok());
  Window menu = run.Start();
  ASSERT_NE(menu, 0u);
  ASSERT_TRUE(run.ShowsPicture(menu, dir / "menu.xpm", 705, 564));
  rig::Image image = run.x().Capture(menu);
  ASSERT_TRUE(image.ok);

  // The labels are drawn in a colour of their own.
  unsigned long ink = run.x().NamedPixel("#fff7d6");
  Bounds in[6];
  int stray = 0;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      if (image.At(x, y) != ink) continue;
      int hit = -1;
      for (int i = 0; i < 6; ++i) {
        if (Inside(kRegions[i], x, y, 47)) hit = i;
      }
      if (hit < 0) {
        ++stray;
        continue;
      }
      Bounds& b = in[hit];
      ++b.count;
      b.x0 = std::min(b.x0, x), b.x1 = std::max(b.x1, x);
      b.y0 = std::min(b.y0, y), b.y1 = std::max(b.y1, y);
    }
  }
  EXPECT_EQ(stray, 0) << "label ink outside every region";
  for (int i = 0; i < 6; ++i) EXPECT_GT(in[i].count, 20) << "region " << i + 1;

  for (int i = 0; i < 5; ++i) {
    run.Click((in[i].x0 + in[i].x1) / 2, (in[i].y0 + in[i].y1) / 2);
    Window w = run.x().WaitForWindow(kRegions[i].opens, 5000);
    ASSERT_NE(w, 0u) << kRegions[i].opens;
    EXPECT_EQ(run.x().GetGeometry(w).width, 705);
    EXPECT_TRUE(run.Close(w, kRegions[i].opens));
  }
  run.Click((in[5].x0 + in[5].x1) / 2, (in[5].y0 + in[5].y1) / 2);
  rig::ProcessResult r = run.process().Wait(10000);
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, run.expected());
}

}  // namespace
