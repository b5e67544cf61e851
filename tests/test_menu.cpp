// The ZINDRA menu as a player runs it: the real program, its real pictures,
// real clicks and close requests from another client.
#include <gtest/gtest.h>
// Xlib's macros come after GoogleTest, whose names they would replace.
#include <X11/extensions/XTest.h>
#include <X11/xpm.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "../app/menu_layout.h"
#include "rig.h"

namespace {

const std::string Zindra = rig::Path("app/zindra");
const std::string AppDir = rig::Path("app");  // zindra with its pictures

struct Click {
  int X, Y;
  const char* Opens;  // the title of the window it opens, or ""
};

// Pixels of the menu window at 66 px/cm just inside the corners of the
// regions.
const Click Buttons[] = {{695, 130, "game"},
                         {969, 311, "HIGHSCORES"},
                         {695, 347, "OPTIONS"},
                         {969, 548, "about game and instructions"},
                         {695, 669, "more games"}};
const Click CloseBox = {95, 122, ""};

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

// Played by slate-run on this program's display. The clicks are at pixels
// just inside the corners of the regions at 66 px/cm, and just outside them.
const char PlayerScript[] = R"(wait "laoding"
expect colour magenta in "laoding" 0,0 15,12
expect colour red in "laoding" 0,0 15,12
# The loading screen stays for two seconds: no menu after one and a half.
sleep 1.5s
expect closed "ZINDRA" within 0s
wait "ZINDRA"
expect closed "laoding"
expect image APP/menu.xpm at "ZINDRA" 0,0

# Beside the buttons, nothing opens (the window of the click after them
# shows that they have been handled).
click "ZINDRA" 10.516,2.576
click "ZINDRA" 12.122,3.122
click "ZINDRA" 10.531,10.137
expect colour blue in "more games" 0,0 15,12
close "more games"
expect closed "more games"
expect closed "game" within 0s
expect closed "HIGHSCORES" within 0s

# Every button opens its window, with its text or picture.
click "ZINDRA" 10.531,1.97
wait "game"
close "game"
expect closed "game"
click "ZINDRA" 14.682,4.713
expect colour blue in "HIGHSCORES" 0,0 15,12
close "HIGHSCORES"
expect closed "HIGHSCORES"
click "ZINDRA" 10.531,5.258
wait "OPTIONS"
close "OPTIONS"
expect closed "OPTIONS"
click "ZINDRA" 14.682,8.304
expect image APP/instructions.xpm at "about game and instructions" 0,0
close "about game and instructions"
expect closed "about game and instructions"

# The close box closes the menu alone; the program ends with its last window.
click "ZINDRA" 10.531,1.97
wait "game"
click "ZINDRA" 1.4395,1.849
expect closed "ZINDRA"
expect open "game"
close "game"
expect exit 0
expect stdout is "10.5152t2.57576n12.1212t3.12121n10.5303t10.1364n10.5303t1.9697n14.6818t4.71212n10.5303t5.25758n14.6818t8.30303n10.5303t1.9697n1.43939t1.84848n"
expect stderr is ""
)";

TEST(Menu, AsAPlayerUsesIt) {
  std::string script = PlayerScript, file = rig::Path("menu-as-a-player.run");
  for (size_t at; (at = script.find("APP/")) != std::string::npos;) script.replace(at, 3, AppDir);
  std::ofstream(file) << script;
  rig::Child player(
      {rig::Path("bin/slate-run"), "--display", "--dir", AppDir, "--script", file, "--", Zindra});
  EXPECT_EQ(player.Wait(60000), 0) << player.Out() << player.Err();
  EXPECT_NE(player.Out().find("steps, all passed"), std::string::npos) << player.Out();
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
    // The game window closed last lies over the menu's button, and openbox
    // takes its frame away after it: the click waits for the button to show.
    EXPECT_TRUE(rig::WaitFor([&] { return peer.Shows(menu, Buttons[0].X, Buttons[0].Y); }));
    peer.Click(menu, Buttons[0].X, Buttons[0].Y);
    return peer.Find("game");
  };
  EXPECT_EQ(origin(menu), std::vector<int>({67, 67}));  // where a screen without a window manager shows it
  Window first = game();
  EXPECT_EQ(origin(first), std::vector<int>({67, 67}));
  peer.CloseThroughManager(first);
  ASSERT_TRUE(peer.Gone("game"));
  Window again = game();
  EXPECT_EQ(origin(again), std::vector<int>({67, 67}));
  // Moved by the user, then closed and opened again.
  XMoveWindow(peer.D, again, 401, 320);
  XSync(peer.D, False);
  ASSERT_TRUE(rig::WaitFor([&] { return origin(again) != std::vector<int>({67, 67}); }));
  rig::Sleep(100);
  std::vector<int> moved = origin(again);
  peer.CloseThroughManager(again);
  ASSERT_TRUE(peer.Gone("game"));
  EXPECT_EQ(origin(game()), moved);
  peer.CloseThroughManager(peer.Find("game"));
  peer.CloseThroughManager(menu);
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

// Pictures drawn for three screens keep every label, and the close mark,
// inside its click region; each label's capitals fill 35 to 60% of the
// height of its button (46, 65 and 130 px: the shortest region less an
// inset), and the rules stay on their parchment.
TEST(Menu, PicturesForAnotherScaleKeepTheirLabelsInTheirRegions) {
  struct Screen {
    const char* Size;
    int Scale, Width, Height, Button;
  };
  for (const Screen& s : {Screen{"1366x768x24", 47, 705, 564, 46}, Screen{"1920x1080x24", 66, 990, 792, 65},
                          Screen{"3840x2160x24", 132, 1980, 1584, 130}}) {
    SCOPED_TRACE(s.Size);
    rig::Server server(s.Size);
    std::string dir = rig::Path("pictures-" + std::to_string(s.Scale));
    mkdir(dir.c_str(), 0755);
    rig::Child made({rig::Path("app/zindra-pictures"), dir}, {server.Env()});
    ASSERT_EQ(made.Wait(30000), 0) << made.Err();
    EXPECT_NE(made.Out().find("INSTRUCTIONS label"), std::string::npos);  // its share, printed
    rig::Peer peer(server.Name());
    int width = 0, height = 0;
    std::vector<unsigned long> menu = Pixels(peer, dir + "/menu.xpm", &width, &height);
    ASSERT_EQ(std::vector<int>({width, height}), std::vector<int>({s.Width, s.Height}));
    int inside[zindra::RegionCount] = {}, top[zindra::RegionCount], bottom[zindra::RegionCount] = {},
        stray = 0;
    std::fill(std::begin(top), std::end(top), height);
    unsigned long ink = peer.Named("#fff7d6");  // the labels'
    for (int i = 0; i < int(menu.size()); ++i) {
      if (menu[i] != ink) continue;
      int x = i % width, y = i / width, region = -1;
      for (int r = 0; r < zindra::RegionCount; ++r) {
        zindra::PixelRect box = zindra::RegionPixels(zindra::ClickMap[r], s.Scale);
        if (x >= box.X0 && x <= box.X1 && y >= box.Y0 && y <= box.Y1) region = r;
      }
      if (region < 0) {
        ++stray;
        continue;
      }
      ++inside[region];
      top[region] = std::min(top[region], y);
      bottom[region] = std::max(bottom[region], y);
    }
    EXPECT_EQ(stray, 0);
    for (int count : inside) EXPECT_GT(count, 20);
    for (int r = 0; r < zindra::ButtonCount; ++r) {
      double share = (bottom[r] - top[r] + 1) / double(s.Button);
      EXPECT_TRUE(share >= 0.35 && share <= 0.6) << zindra::ButtonLabels[r] << ": " << share;
    }

    // The rules and their headings lie within the parchment's box.
    std::vector<unsigned long> rules = Pixels(peer, dir + "/instructions.xpm", &width, &height);
    unsigned long parchment = peer.Named("#f4e6c3"), text = peer.Named("#3b2412"),
                  heading = peer.Named("#8a1c1c");
    zindra::PixelRect sheet = {width, height, -1, -1};
    for (int i = 0; i < int(rules.size()); ++i) {
      if (rules[i] != parchment) continue;
      sheet = {std::min(sheet.X0, i % width), std::min(sheet.Y0, i / width), std::max(sheet.X1, i % width),
               std::max(sheet.Y1, i / width)};
    }
    int written = 0, off = 0;
    for (int i = 0; i < int(rules.size()); ++i) {
      if (rules[i] != text && rules[i] != heading) continue;
      int x = i % width, y = i / width;
      (x > sheet.X0 && x < sheet.X1 && y > sheet.Y0 && y < sheet.Y1 ? written : off) += 1;
    }
    EXPECT_GT(written, 1000);
    EXPECT_EQ(off, 0);
  }
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

// On three screens, the menu's hint about more games lies inside its
// window. At 66 px/cm, every button twice: the second round holds no more X
// resources than the first; and a burst of clicks, each printed, in order.
TEST(Menu, OnThreeScreens) {
  struct Screen {
    rig::Server Server;
    int Scale;
    std::unique_ptr<rig::Peer> Peer = nullptr;
    std::unique_ptr<rig::Child> Zindra = nullptr;
  } screens[] = {{rig::Server("1366x768x24"), 47},
                 {rig::Server("1920x1080x24"), 66},
                 {rig::Server("3840x2160x24"), 132}};
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
    ASSERT_TRUE(peer.Gone("more games"));
    std::string printed;
    if (s.Scale == 66) {
      long resources[2];
      unsigned long bytes[2];
      for (int round = 0; round < 2; ++round) {
        for (const Click& c : Buttons) {
          peer.Click(menu, c.X, c.Y);
          Window w = peer.Find(c.Opens);
          ASSERT_NE(w, 0u) << c.Opens;
          peer.Close(w);
          ASSERT_TRUE(peer.Gone(c.Opens));
        }
        resources[round] = peer.Resources(menu);
        bytes[round] = peer.PixmapBytes(menu);
      }
      EXPECT_EQ(resources[1], resources[0]);
      EXPECT_EQ(bytes[1], bytes[0]);
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
    }
    peer.Close(menu);
    EXPECT_EQ(s.Zindra->Wait(), 0);
    std::string out = s.Zindra->Out();
    EXPECT_EQ(out.substr(out.size() - std::min(out.size(), printed.size())), printed) << s.Scale;
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
