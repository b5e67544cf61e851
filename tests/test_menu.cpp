// The ZINDRA menu as a player runs it: the real program, its real pictures,
// real clicks and close requests from another client.
#include <gtest/gtest.h>
// Xlib's macros come after GoogleTest, whose names they would replace.
#include <X11/extensions/XTest.h>
#include <X11/xpm.h>
#include <sys/stat.h>

#include <sstream>

#include "../app/menu_layout.h"
#include "rig.h"

namespace {

const std::string Zindra = rig::Path("app/zindra");
const std::string AppDir = rig::Path("app");  // zindra with its pictures

struct Click {
  int X, Y;
  const char* Opens;    // the title of the window it opens, or ""
  const char* Printed;  // what the menu prints for it
};

// Pixels of the menu window at 66 px/cm just inside the corners of the
// regions, and just outside them.
const Click Buttons[] = {{695, 130, "game", "10.5303t1.9697n"},
                         {969, 311, "HIGHSCORES", "14.6818t4.71212n"},
                         {695, 347, "OPTIONS", "10.5303t5.25758n"},
                         {969, 548, "about game and instructions", "14.6818t8.30303n"},
                         {695, 669, "more games", "10.5303t10.1364n"}};
const Click Outside[] = {{694, 170, "", "10.5152t2.57576n"}, {800, 206, "", "12.1212t3.12121n"}};
const Click CloseBox = {95, 122, "", "1.43939t1.84848n"};

// The pixels of a picture file.
std::vector<unsigned long> Pixels(rig::Peer& peer, const std::string& file, int* width, int* height) {
  XImage* image = nullptr;
  std::vector<unsigned long> pixels;
  if (XpmReadFileToImage(peer.D, file.c_str(), &image, nullptr, nullptr) != XpmSuccess) return pixels;
  *width = image->width;
  *height = image->height;
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x) pixels.push_back(XGetPixel(image, x, y));
  XDestroyImage(image);
  return pixels;
}

bool ShowsPicture(rig::Peer& peer, Window w, const std::string& file) {
  int width = 0, height = 0;
  std::vector<unsigned long> picture = Pixels(peer, file, &width, &height);
  return !picture.empty() && rig::WaitFor([&] { return peer.Grab(w, 0, 0, width, height) == picture; });
}

// How many pixels of a 990 x 792 window have this colour.
long Ink(rig::Peer& peer, Window w, const char* colour) {
  std::vector<unsigned long> shown = peer.Grab(w, 0, 0, 990, 792);
  return std::count(shown.begin(), shown.end(), peer.Named(colour));
}

// The blue text of a 15 x 12 cm window at scale px/cm, once drawn, lies
// wholly inside it: nothing but white along its edges, 0.25 cm deep, more
// than the gap between two words.
void ExpectTextInside(rig::Peer& peer, Window w, int scale) {
  unsigned long white = peer.Named("white");
  int width = 15 * scale, height = 12 * scale;
  auto ink = [&](int x, int y, int across, int down) {
    std::vector<unsigned long> shown = peer.Grab(w, x, y, across, down);
    return static_cast<long>(shown.size()) - std::count(shown.begin(), shown.end(), white);
  };
  EXPECT_TRUE(rig::WaitFor([&] { return ink(0, 3 * scale, width, 3 * scale) > 200; })) << scale;
  rig::Sleep(100);  // every line drawn
  int edge = scale / 4;
  EXPECT_EQ(std::vector<long>({ink(0, 0, edge, height), ink(width - edge, 0, edge, height),
                               ink(0, 0, width, edge), ink(0, height - edge, width, edge)}),
            std::vector<long>(4, 0))
      << scale;
}

void WindowManagerCloses(rig::Peer& peer, Window w) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(peer.D, "_NET_CLOSE_WINDOW", False);
  e.xclient.format = 32;
  e.xclient.data.l[1] = 2;  // asked by the user
  XSendEvent(peer.D, DefaultRootWindow(peer.D), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  XSync(peer.D, False);
}

TEST(Menu, AsAPlayerUsesIt) {
  rig::Peer peer;
  rig::Child zindra({Zindra}, {}, AppDir);
  Window loading = peer.Find("laoding");
  double shown = rig::Now();
  ASSERT_NE(loading, 0u);
  EXPECT_EQ(peer.Find("ZINDRA", 0), 0u);
  // Its two lines, magenta and red.
  EXPECT_TRUE(
      rig::WaitFor([&] { return Ink(peer, loading, "magenta1") > 100 && Ink(peer, loading, "red1") > 100; }));
  Window menu = peer.Find("ZINDRA");
  ASSERT_NE(menu, 0u);
  EXPECT_GT(rig::Now() - shown, 1900);  // two seconds of loading screen
  EXPECT_TRUE(peer.Gone("laoding"));
  EXPECT_TRUE(ShowsPicture(peer, menu, AppDir + "/menu.xpm"));

  std::string printed;
  // Beside the buttons: nothing opens (the window of the click after them
  // shows that they have been handled).
  for (const Click& c : {Outside[0], Outside[1], Buttons[4]}) {
    peer.Click(menu, c.X, c.Y);
    printed += c.Printed;
  }
  peer.Close(peer.Find(Buttons[4].Opens));
  EXPECT_TRUE(peer.Gone(Buttons[4].Opens));
  EXPECT_EQ(peer.Find("game", 0) + peer.Find("HIGHSCORES", 0), 0u);
  // Every button, twice: the second round holds no more X resources than the first.
  long resources[2];
  unsigned long bytes[2];
  for (int round = 0; round < 2; ++round) {
    for (const Click& c : Buttons) {
      peer.Click(menu, c.X, c.Y);
      printed += c.Printed;
      Window w = peer.Find(c.Opens);
      ASSERT_NE(w, 0u) << c.Opens;
      std::string title = c.Opens;
      // The first time, their text or picture.
      bool texted = title == "HIGHSCORES" || title == "more games", pictured = title.rfind("about", 0) == 0;
      EXPECT_TRUE(round || !texted || rig::WaitFor([&] { return Ink(peer, w, "blue1") > 100; })) << title;
      if (!round && texted) ExpectTextInside(peer, w, 66);
      EXPECT_TRUE(round || !pictured || ShowsPicture(peer, w, AppDir + "/instructions.xpm"));
      peer.Close(w);
      ASSERT_TRUE(peer.Gone(c.Opens));
    }
    resources[round] = peer.Resources(menu);
    bytes[round] = peer.PixmapBytes(menu);
  }
  EXPECT_EQ(resources[1], resources[0]);
  EXPECT_EQ(bytes[1], bytes[0]);

  // A burst of clicks beside the buttons, each printed, in order.
  int left, top;
  peer.Origin(menu, &left, &top);
  for (int x = 100; x < 600; ++x) {
    XTestFakeMotionEvent(peer.D, DefaultScreen(peer.D), left + x, top + 700, CurrentTime);
    XTestFakeButtonEvent(peer.D, 1, True, CurrentTime);
    XTestFakeButtonEvent(peer.D, 1, False, CurrentTime);
    std::ostringstream click;
    click << x / 66.0f << "t10.6061n";
    printed += click.str();
  }
  XSync(peer.D, False);

  // The close box closes the menu alone; the program ends with its last window.
  peer.Click(menu, Buttons[0].X, Buttons[0].Y);
  Window game = peer.Find("game");
  XRaiseWindow(peer.D, menu);
  peer.Click(menu, CloseBox.X, CloseBox.Y);
  printed += std::string(Buttons[0].Printed) + CloseBox.Printed;
  EXPECT_TRUE(peer.Gone("ZINDRA"));
  EXPECT_NE(peer.Find("game", 0), 0u);
  peer.Close(game);
  EXPECT_EQ(zindra.Wait(), 0);
  EXPECT_EQ(zindra.Out(), printed);
  EXPECT_EQ(zindra.Err(), "");
}

TEST(Menu, UnderAWindowManagerWindowsComeBackWhereTheyWere) {
  rig::Server server;
  ASSERT_TRUE(server.StartWindowManager());
  rig::Peer peer(server.Name());
  rig::Child zindra({Zindra}, {server.Env()}, AppDir);
  Window menu = peer.Find("ZINDRA");
  ASSERT_TRUE(menu && peer.Gone("laoding"));
  auto origin = [&](Window w) {
    std::vector<int> place(2);
    peer.Origin(w, &place[0], &place[1]);
    return place;
  };
  auto game = [&] {
    peer.Click(menu, Buttons[0].X, Buttons[0].Y);
    return peer.Find("game");
  };
  EXPECT_EQ(origin(menu), std::vector<int>({67, 67}));  // where a screen without a window manager shows it
  Window first = game();
  EXPECT_EQ(origin(first), std::vector<int>({67, 67}));
  WindowManagerCloses(peer, first);
  ASSERT_TRUE(peer.Gone("game"));
  Window again = game();
  EXPECT_EQ(origin(again), std::vector<int>({67, 67}));
  // Moved by the user, then closed and opened again.
  XMoveWindow(peer.D, again, 401, 320);
  XSync(peer.D, False);
  ASSERT_TRUE(rig::WaitFor([&] { return origin(again) != std::vector<int>({67, 67}); }));
  rig::Sleep(100);
  std::vector<int> moved = origin(again);
  WindowManagerCloses(peer, again);
  ASSERT_TRUE(peer.Gone("game"));
  EXPECT_EQ(origin(game()), moved);
  WindowManagerCloses(peer, peer.Find("game"));
  WindowManagerCloses(peer, menu);
  EXPECT_EQ(zindra.Wait(), 0);
  EXPECT_EQ(zindra.Err(), "");
}

// With a bad picture, the menu is blank and its click map works. At 64 px/cm
// (an 1856-pixel screen), pixel row 336 is exactly 5.25 cm, the top edge of
// OPTIONS: a click there is outside; the row below is inside.
TEST(Menu, WithABadPictureBlankButClickableToTheBorder) {
  rig::Server server("1856x1044x24");
  std::string dir = rig::Path("bad-picture");
  mkdir(dir.c_str(), 0755);
  rig::Sh("cp " SLATE_SOURCE_DIR "/tests/pictures/bad_truncated_pixels.xpm " + dir + "/menu.xpm");
  rig::Peer peer(server.Name());
  rig::Child zindra({Zindra}, {server.Env()}, dir);
  Window menu = peer.Find("ZINDRA");
  ASSERT_TRUE(menu && peer.Gone("laoding"));
  std::vector<unsigned long> blank = peer.Grab(menu, 0, 0, 960, 768);
  EXPECT_EQ(std::count(blank.begin(), blank.end(), peer.Named("white")), 960 * 768);
  peer.Click(menu, 800, 336);
  peer.Click(menu, 800, 150);  // PLAY, to know the click before was handled
  peer.Close(peer.Find("game"));
  ASSERT_TRUE(peer.Gone("game"));
  EXPECT_EQ(peer.Find("OPTIONS", 0), 0u);
  peer.Click(menu, 800, 337);
  peer.Close(peer.Find("OPTIONS"));
  peer.Close(menu);
  EXPECT_EQ(zindra.Wait(), 0);
  EXPECT_EQ(zindra.Out(), "12.5t5.25n12.5t2.34375n12.5t5.26562n");
}

// Pictures drawn for a 1366-pixel screen (47 px/cm) keep every label, and
// the close mark, inside its click region.
TEST(Menu, PicturesForAnotherScaleKeepTheirLabelsInTheirRegions) {
  rig::Server server("1366x768x24");
  std::string dir = rig::Path("pictures-47");
  mkdir(dir.c_str(), 0755);
  rig::Child made({rig::Path("app/zindra-pictures"), dir}, {server.Env()});
  ASSERT_EQ(made.Wait(30000), 0) << made.Err();
  rig::Peer peer(server.Name());
  int width = 0, height = 0;
  std::vector<unsigned long> menu = Pixels(peer, dir + "/menu.xpm", &width, &height);
  ASSERT_EQ(std::vector<int>({width, height}), std::vector<int>({705, 564}));
  int inside[zindra::RegionCount] = {}, stray = 0;
  unsigned long ink = peer.Named("#fff7d6");  // the labels'
  for (int i = 0; i < int(menu.size()); ++i) {
    if (menu[i] != ink) continue;
    int x = i % width, y = i / width, region = -1;
    for (int r = 0; r < zindra::RegionCount; ++r) {
      zindra::PixelRect box = zindra::RegionPixels(zindra::ClickMap[r], 47);
      if (x >= box.X0 && x <= box.X1 && y >= box.Y0 && y <= box.Y1) region = r;
    }
    if (region < 0)
      ++stray;
    else
      ++inside[region];
  }
  EXPECT_EQ(stray, 0);
  for (int count : inside) EXPECT_GT(count, 20);
}

// The menu's hint about more games stays inside its window on a small
// screen and on a large one too.
TEST(Menu, MoreGamesTextInsideItsWindowOnSmallAndLargeScreens) {
  struct Screen {
    rig::Server Server;
    int Scale;
    std::unique_ptr<rig::Peer> Peer = nullptr;
    std::unique_ptr<rig::Child> Zindra = nullptr;
  } screens[] = {{rig::Server("1366x768x24"), 47}, {rig::Server("3840x2160x24"), 132}};
  for (Screen& s : screens) {
    s.Peer = std::make_unique<rig::Peer>(s.Server.Name());
    s.Zindra = std::make_unique<rig::Child>(std::vector<std::string>{Zindra},
                                            std::vector<std::string>{s.Server.Env()}, AppDir);
  }
  for (Screen& s : screens) {
    rig::Peer& peer = *s.Peer;
    Window menu = peer.Find("ZINDRA");
    ASSERT_TRUE(menu && peer.Gone("laoding"));
    zindra::PixelRect button = zindra::RegionPixels(zindra::ClickMap[zindra::MoreGamesButton], s.Scale);
    peer.Click(menu, (button.X0 + button.X1) / 2, (button.Y0 + button.Y1) / 2);
    Window hint = peer.Find("more games");
    ASSERT_NE(hint, 0u);
    ExpectTextInside(peer, hint, s.Scale);
    peer.Close(hint);
    peer.Close(menu);
    EXPECT_EQ(s.Zindra->Wait(), 0);
  }
}

TEST(Menu, UnderValgrind) {
  rig::Peer peer;
  rig::Child zindra(
      {"valgrind", "--error-exitcode=99", "--leak-check=full", "--errors-for-leak-kinds=definite", Zindra},
      {}, AppDir);
  Window menu = peer.Find("ZINDRA", 60000);
  ASSERT_TRUE(menu && peer.Gone("laoding", 30000));
  for (int i : {0, 1, 3}) {
    peer.Click(menu, Buttons[i].X, Buttons[i].Y);
    Window w = peer.Find(Buttons[i].Opens, 30000);
    ASSERT_NE(w, 0u);
    peer.Close(w);
    ASSERT_TRUE(peer.Gone(Buttons[i].Opens, 30000));
  }
  peer.Click(menu, CloseBox.X, CloseBox.Y);
  EXPECT_EQ(zindra.Wait(60000), 0) << zindra.Err();
  EXPECT_NE(zindra.Err().find("ERROR SUMMARY: 0 errors"), std::string::npos);
}

}  // namespace
