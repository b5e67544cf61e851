// Programs as users run them: the probe's scenarios (tests/apps/probe.cpp),
// driven from another client with real input and close requests, on this
// program's X server or on servers of their own.
#include <gtest/gtest.h>
// Xlib's macros come after GoogleTest, whose names they would replace.
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "rig.h"

namespace {

const std::string Probe = rig::Path("tests/probe");
const std::string Usable = "display usable at exit\n";

int Count(const std::string& text, const std::string& word) {
  int n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

struct Scenario : rig::Child {
  explicit Scenario(const std::string& mode, std::vector<std::string> env = {})
      : Child({Probe}, (env.push_back("PROBE=" + mode), env)) {}
};

// Maps a window of another client over a place of the screen and takes it
// away again: what it covered is exposed.
void Uncover(rig::Peer& peer, int x, int y, int width, int height) {
  XSetWindowAttributes cover{};
  cover.override_redirect = True;
  Window over = XCreateWindow(peer.D, DefaultRootWindow(peer.D), x, y, width, height, 0, CopyFromParent,
                              InputOutput, CopyFromParent, CWOverrideRedirect, &cover);
  XMapRaised(peer.D, over);
  XSync(peer.D, False);
  XDestroyWindow(peer.D, over);
  XSync(peer.D, False);
}

TEST(Programs, ShutdownRequestsAndTheEnd) {
  Scenario gradient("gradient");
  // Newest window first; a second request, and one with nothing open,
  // change nothing.
  Scenario terminate("terminate");
  EXPECT_EQ(terminate.Wait(), 0);
  EXPECT_EQ(terminate.Out(),
            "nothing to close\nasked twice\nready\nquit C\nquit B\nquit A\nApiEnd\n" + Usable);

  // Another client destroys C; it is asked to close before its destruction
  // is known, and its quit callback asks again.
  rig::Peer peer;
  Scenario gone("gone");
  ASSERT_TRUE(gone.WaitOut("waiting\n"));
  XDestroyWindow(peer.D, peer.Find("probe C"));
  XSync(peer.D, False);
  EXPECT_EQ(gone.Wait(), 0);
  EXPECT_EQ(gone.Out(), "waiting\nready\nquit C\nquit B\nquit A\nApiEnd\n" + Usable);
  EXPECT_EQ(gone.Err(), "");

  // Another client destroys B and C; B is closed and C drawn into before
  // the program has read that: C then closes once, B not at all.
  Scenario drawn("drawn");
  ASSERT_TRUE(drawn.WaitOut("ready\n"));
  peer.Click(peer.Find("probe A"), 10, 10);
  ASSERT_TRUE(drawn.WaitOut("waiting\n"));
  for (const char* title : {"probe B", "probe C"}) XDestroyWindow(peer.D, peer.Find(title));
  XSync(peer.D, False);
  ASSERT_TRUE(drawn.WaitOut("quit C\n"));
  peer.Close(peer.Find("probe A"));
  EXPECT_EQ(drawn.Wait(), 0);
  EXPECT_EQ(drawn.Out(), "ready\nwaiting\nclosed and drawn\nquit C\nquit A\nApiEnd\n" + Usable);
  EXPECT_EQ(drawn.Err(), "");

  // Windows opened by ApiEnd: a global one closes in its destructor while
  // the display is usable, a leaked one is closed by the runtime, and a
  // picture destroyed after the runtime does not touch the closed display.
  Scenario exit("exit", {"PICTURE=" SLATE_SOURCE_DIR "/tests/pictures/quadrants_66x33.xpm"});
  ASSERT_TRUE(exit.WaitOut("ready\n"));
  peer.Close(peer.Find("probe A"));
  EXPECT_EQ(exit.Wait(), 0);
  EXPECT_EQ(exit.Out(), "ready\nquit A\nApiEnd\nlate 1\n" + Usable +
                            "Attempted to terminated the program with a nonempty window manager\n"
                            "display closed after the library\n");
  EXPECT_EQ(exit.Err(), "");

  // A program holding 65,536 colours of RGBColor (started first, for its
  // round trips) ends cleanly, giving them back; under load, its 65,536
  // round trips may take longer than the usual wait.
  EXPECT_EQ(gradient.Wait(30000), 0);
  EXPECT_EQ(gradient.Out(), "colours 65536\nready\n" + Usable);
  EXPECT_EQ(gradient.Err(), "");
}

TEST(Programs, ClicksExposuresTimersAndCloseRequests) {
  rig::Peer peer;
  Scenario probe("windows", {"INTERVAL=50"});
  ASSERT_TRUE(probe.WaitOut("ready\n"));
  Window a = peer.Find("probe A");
  // Covered and uncovered: repainted from the backing pixmap.
  Uncover(peer, 0, 0, 500, 400);
  EXPECT_TRUE(rig::WaitFor([&] { return peer.Pixel(a, 150, 150) == peer.Named("red1"); }));
  EXPECT_EQ(peer.Pixel(a, 132, 132), peer.Named("black"));

  peer.Click(a, 33, 66);
  peer.Click(a, 66, 33, 3);
  peer.Click(a, 10, 10);  // closes and reopens the window
  ASSERT_TRUE(probe.WaitOut("reopened 1\n"));
  Window again = 0;
  ASSERT_TRUE(rig::WaitFor([&] { return (again = peer.Find("probe A")) != a; }));
  peer.Click(again, 99, 99);
  ASSERT_TRUE(probe.WaitOut("click 1.5 1.5\n"));
  ASSERT_TRUE(rig::WaitFor([&] { return Count(probe.Out(), "tick") >= 3; }));
  peer.Close(peer.Find("probe B"));
  ASSERT_TRUE(probe.WaitOut("quit B\n"));
  peer.Close(again);
  EXPECT_EQ(probe.Wait(), 0);

  // At least three ticks, none early, none after their window closed.
  std::string out = probe.Out();
  EXPECT_GE(Count(out, "tick\n"), 3);
  EXPECT_GT(out.find("quit B"), out.rfind("tick"));
  for (size_t at; (at = out.find("tick\n")) != std::string::npos;) out.erase(at, 5);
  EXPECT_EQ(
      out,
      "ready\nclick 0.5 1\nclick 1 0.5\nclick 0.151515 0.151515\nreopened 1\nclick 1.5 1.5\nquit B\nquit A\n"
      "ApiEnd\n" +
          Usable);
}

TEST(Programs, KeysPointerAndDrags) {
  rig::Peer peer;
  Scenario probe("input");
  ASSERT_TRUE(probe.WaitOut("ready\n"));
  Window a = peer.Find("probe A");
  XWindowAttributes attributes;
  XGetWindowAttributes(peer.D, a, &attributes);
  EXPECT_EQ(attributes.all_event_masks, 0x2a04f);  // and keys, and motion
  peer.Move(a, 10, 10);  // without a window manager the keyboard follows the pointer
  for (const char* key : {"a", "Left", "Shift_L", "b"}) peer.Key(key, true);
  for (const char* key : {"b", "Shift_L", "Left", "a"}) peer.Key(key, false);
  // Held past the server's auto-repeat delay (660 ms, then 25 a second).
  peer.Key("Right", true);
  rig::Sleep(1000);
  peer.Key("Right", false);
  ASSERT_TRUE(probe.WaitOut("key release 0xff53 ''\n"));

  // The first drag holds the probe up while the pointer moves on, lets go,
  // and drags with another button: motions are taken together up to the release.
  peer.Move(a, 33, 33);
  peer.Button(1, true);
  peer.Move(a, 66, 99);
  ASSERT_TRUE(probe.WaitOut("drag 1 1.5\n"));
  peer.Move(a, 99, 99);
  peer.Move(a, 132, 66);
  peer.Button(1, false);
  peer.Button(3, true);
  peer.Move(a, 165, 33);
  peer.Button(3, false);
  peer.Close(a);
  EXPECT_EQ(probe.Wait(), 0);
  std::string out = probe.Out();
  const std::string repeat = "key press 0xff53 '' repeat\n";
  EXPECT_GE(Count(out, repeat), 3);
  for (size_t at; (at = out.find(repeat)) != std::string::npos;) out.erase(at, repeat.size());
  EXPECT_EQ(out,
            "ready\nmove 0.151515 0.151515\nkey press 0x61 'a'\nkey press 0xff51 ''\nkey press 0xffe1 ''\n"
            "key press 0x62 'B'\nkey release 0x62 'B'\nkey release 0xffe1 ''\nkey release 0xff51 ''\n"
            "key release 0x61 'a'\nkey press 0xff53 ''\nkey release 0xff53 ''\nmove 0.5 0.5\n"
            "press 0.5 0.5 1\ndrag 1 1.5\ndrag 2 1\nrelease 2 1 1\nclick 2 1\n"
            "press 2 1 3\ndrag 2.5 0.5\nrelease 2.5 0.5 3\nclick again 1 2.5 0.5\nquit A\nApiEnd\n" +
                Usable);
}

// A keyboard whose keys send these keysyms too: each on a spare key of its
// own (one that sent nothing), mapped before the program starts.
class Keyboard {
 public:
  Keyboard(rig::Peer& peer, const std::vector<const char*>& names) : Peer(peer) {
    int min = 0, max = 0, per = 0;
    XDisplayKeycodes(peer.D, &min, &max);
    KeySym* map = XGetKeyboardMapping(peer.D, static_cast<KeyCode>(min), max - min + 1, &per);
    for (int code = max; code >= min && Keys.size() < names.size(); --code) {
      if (!std::all_of(map + (code - min) * per, map + (code - min + 1) * per, [](KeySym k) { return !k; }))
        continue;
      KeySym keysym = XStringToKeysym(names[Keys.size()]);
      XChangeKeyboardMapping(peer.D, code, 1, &keysym, 1);
      Keys.emplace_back(names[Keys.size()], code);
    }
    XFree(map);
    XSync(peer.D, False);
  }
  void Type(const char* name) {
    for (const auto& [keysym, code] : Keys) {
      if (std::string(keysym) != name) continue;
      XTestFakeKeyEvent(Peer.D, code, True, CurrentTime);
      XTestFakeKeyEvent(Peer.D, code, False, CurrentTime);
      XSync(Peer.D, False);
    }
  }

 private:
  rig::Peer& Peer;
  std::vector<std::pair<const char*, int>> Keys;
};

TEST(Programs, TypedTextTitlesHoverAndFixedSizes) {
  rig::Peer peer;
  Keyboard keyboard(peer, {"eacute", "EuroSign", "Cyrillic_zhe", "U65E5", "dead_acute"});
  peer.Move(DefaultRootWindow(peer.D), 1900, 1000);  // where no window of the probe's opens
  // Under the C locale, as CI runs, and with an input method named that
  // does not run: Xlib's own, in UTF-8.
  Scenario probe("typing", {"LANG=", "LC_ALL=", "LC_CTYPE=", "XMODIFIERS=@im=nonesuch"});
  ASSERT_TRUE(probe.WaitOut("ready\n"));
  Window a = peer.Find("probe A");
  peer.Move(a, 10, 10);  // without a window manager the keyboard follows the pointer
  for (const char* key : {"eacute", "EuroSign", "Cyrillic_zhe", "U65E5", "dead_acute"}) keyboard.Type(key);
  peer.Key("e", true);
  peer.Key("e", false);
  peer.Key("Control_L", true);
  peer.Key("a", true);
  peer.Key("a", false);
  peer.Key("Control_L", false);
  for (const char* key : {"Escape", "BackSpace", "Delete", "Tab", "Return", "KP_Enter"}) {
    peer.Key(key, true);
    peer.Key(key, false);
  }
  peer.Move(peer.Find("probe B"), 10, 10);
  ASSERT_TRUE(probe.WaitOut("leave"));
  // Its title in UTF-8, and as the X conventions have it: compound text
  // (the euro sign is no Latin-1); and fixed sizes, the minimum the maximum.
  Window counter = peer.Find("Z\xc3\xa4hler \xe2\x82\xac");
  XTextProperty name;
  ASSERT_TRUE(counter && XGetWMName(peer.D, counter, &name));
  char** list = nullptr;
  int count = 0;
  ASSERT_EQ(Xutf8TextPropertyToTextList(peer.D, &name, &list, &count), Success);
  EXPECT_EQ(std::string(list[0]), "Z\xc3\xa4hler \xe2\x82\xac");
  char* encoding = XGetAtomName(peer.D, name.encoding);
  EXPECT_EQ(std::string(encoding), "COMPOUND_TEXT");
  XFree(encoding);
  XFreeStringList(list);
  XFree(name.value);
  Atom type;
  int format;
  unsigned long items, left;
  unsigned char* utf8 = nullptr;
  XGetWindowProperty(peer.D, counter, XInternAtom(peer.D, "_NET_WM_NAME", False), 0, 64, False,
                     AnyPropertyType, &type, &format, &items, &left, &utf8);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(utf8), items), "Z\xc3\xa4hler \xe2\x82\xac");
  XFree(utf8);
  for (auto [window, size] : {std::make_pair(peer.Find("probe B"), 330L), std::make_pair(counter, 264L)}) {
    std::vector<long> hints = peer.Property(window, "WM_NORMAL_HINTS");
    ASSERT_GE(hints.size(), 9u);
    EXPECT_EQ(hints[5], size);
    EXPECT_EQ(hints[7], size);
  }
  peer.Close(a);
  for (const char* title : {"probe B", "Z\xc3\xa4hler \xe2\x82\xac"}) peer.Close(peer.Find(title));
  EXPECT_EQ(probe.Wait(), 0);
  // Text in UTF-8, the key typed after a dead key composed, none for
  // control keys, the keypad's Enter as Return; releases with text only.
  EXPECT_EQ(probe.Out(),
            "ready\nenter 0.151515 0.151515\n"
            "key press 0xe9 '\xc3\xa9'\nkey release 0xe9 '\xc3\xa9'\n"
            "key press 0x20ac '\xe2\x82\xac'\nkey release 0x20ac '\xe2\x82\xac'\n"
            "key press 0x6d6 '\xd0\xb6'\nkey release 0x6d6 '\xd0\xb6'\n"
            "key press 0x10065e5 '\xe6\x97\xa5'\nkey release 0x10065e5 '\xe6\x97\xa5'\n"
            "key press 0xe9 '\xc3\xa9'\nkey release 0x65 'e'\n"
            "key press 0xffe3 ''\nkey press 0x61 ''\nkey press 0xff1b ''\nkey press 0xff08 ''\n"
            "key press 0xffff ''\nkey press 0xff09 ''\nkey press 0xff0d ''\nkey press 0xff0d ''\n"
            "leave 6.15152 0.151515\nquit A\nquit B\nApiEnd\n" +
                Usable);
}

TEST(Programs, ArgumentsExitStatusAndResizes) {
  // The arguments, to a global object's constructor too; a status as given
  // from 0 to 255, and 1 for any other.
  rig::Child args({Probe, "one", "two words"}, {"PROBE=args"});
  EXPECT_EQ(args.Wait(), 3);
  EXPECT_EQ(args.Out(), Probe + "|one|two words| 3 before main\nready\n" + Usable);
  for (auto [chosen, status] : {std::make_pair("255", 255), {"256", 1}, {"512", 1}, {"-256", 1}}) {
    rig::Child exit({Probe}, {"PROBE=args", std::string("EXIT=") + chosen});
    EXPECT_EQ(exit.Wait(), status) << chosen;
  }

  // Resized from outside: told the new size, and what was drawn beyond the
  // old size shows.
  rig::Peer peer;
  Scenario resize("resize");
  ASSERT_TRUE(resize.WaitOut("ready\n"));
  Window a = peer.Find("probe A");
  XResizeWindow(peer.D, a, 500, 300);
  XSync(peer.D, False);
  ASSERT_TRUE(resize.WaitOut("resize 7.57576 4.54545\n"));
  EXPECT_TRUE(rig::WaitFor([&] { return peer.Pixel(a, 400, 30) == peer.Named("red1"); }));
  EXPECT_EQ(peer.Pixel(a, 400, 70), peer.Named("white"));
  peer.Close(a);
  EXPECT_EQ(resize.Wait(), 4);
}

// Pictures with transparent parts on servers of 16 and 8 bits: no crash,
// their colours, and what lies under their transparent pixels kept.
TEST(Servers, PicturesOnFewerColours) {
  for (const char* screen : {"1920x1080x16", "1920x1080x8"}) {
    rig::Server server(screen);
    rig::Peer peer(server.Name());
    Scenario probe("picture",
                   {server.Env(), "PICTURE=" SLATE_SOURCE_DIR "/tests/pictures/png_rgba_33x33.png"});
    ASSERT_TRUE(probe.WaitOut("drawn 1\n")) << screen << probe.Out();
    Window a = peer.Find("probe A");
    EXPECT_EQ(std::vector<unsigned long>({peer.Pixel(a, 5, 5), peer.Pixel(a, 25, 5), peer.Pixel(a, 25, 25)}),
              std::vector<unsigned long>({peer.Named("red1"), peer.Named("blue1"), peer.Named("white")}))
        << screen;
    peer.Close(a);
    EXPECT_EQ(probe.Wait(), 0) << screen;
    EXPECT_EQ(probe.Err(), "") << screen;
  }
}

TEST(Programs, PngPicturesCostWhatTheirFilesHold) {
  // Text, profile and palette chunks of 56-byte files that claim 2^31 - 1
  // bytes are refused before anything is allocated for them (2 GB each
  // before); an 18 KB palette picture of 8192 x 8192 pixels loads, through
  // strips of rows, far below one decoded copy of 256 MiB (792 MB before).
  const std::string pictures = SLATE_SOURCE_DIR "/tests/pictures/";
  std::vector<std::string> argv = {Probe};
  for (const char* name : {"bad_png_long_text.png", "bad_png_long_itxt.png", "bad_png_long_ztxt.png",
                           "bad_png_long_splt.png", "png_palette_8192x8192.png"})
    argv.push_back(pictures + name);
  rig::Child probe(argv, {"PROBE=peak"});
  ASSERT_TRUE(probe.WaitOut("ready\n", 20000));
  std::istringstream lines(probe.Out());
  for (std::string line; std::getline(lines, line) && line != "ready";) {
    std::istringstream words(line);
    std::string name;
    int status = -1;
    long mib = -1;
    words >> name >> status >> mib;
    EXPECT_EQ(status, name.compare(0, 4, "bad_") == 0 ? 0 : 1) << line;  // not loaded, loaded
    EXPECT_LE(mib, name.compare(0, 4, "bad_") == 0 ? 1 : 32) << line;
  }
  EXPECT_EQ(Count(probe.Out(), " MiB\n"), 5) << probe.Out();
  rig::Peer peer;
  peer.Close(peer.Find("probe A"));
  EXPECT_EQ(probe.Wait(), 0);
}

// Pictures at a size, a smooth ellipse in a colour at half: on 16 bits
// scaled and blended; on 8 bits (a colormap) scaled, the ellipse aliased
// and opaque; without Render at their size in pixels, the ellipse aliased
// and opaque. One line says what the server lacks.
TEST(Servers, PicturesScaledOnEveryDepthAndUnscaledWithoutRender) {
  const std::vector<std::string> noRender = {"sh", "-c", "exec \"$@\" -extension RENDER", "sh"};
  struct {
    const char* Screen;
    std::vector<std::string> Launcher;
    bool Scaled, Blended;
    std::string Err;
  } cases[] = {{"1920x1080x16", {}, true, true, ""},
               {"1920x1080x8",
                {},
                true,
                false,
                "The X server cannot blend on this screen: shapes are drawn aliased, and colours with an "
                "alpha opaque, "
                "or not at all when less than half opaque.\n"},
               {"1920x1080x24", noRender, false, false,
                "The X server has no Render extension: pictures are drawn at their size in pixels, shapes "
                "aliased, and "
                "colours with an alpha opaque, or not at all when less than half opaque.\n"}};
  for (const auto& c : cases) {
    rig::Server server(c.Screen, c.Launcher);
    rig::Peer peer(server.Name());
    Scenario probe("picture", {server.Env(), "SIZE=1",
                               "PICTURE=" SLATE_SOURCE_DIR "/tests/pictures/png_rgba_33x33.png"});
    ASSERT_TRUE(probe.WaitOut("drawn 1\n")) << c.Screen << probe.Out();
    Window a = peer.Find("probe A");
    unsigned long red = peer.Named("red1"), blue = peer.Named("blue1"), white = peer.Named("white");
    // Scaled to 66 px, its red quadrant reaches (25, 5) and its white one
    // (50, 50); at 33 px, the blue under its transparent part shows there.
    std::vector<unsigned long> expected = {c.Scaled ? red : blue, blue, c.Scaled ? white : blue};
    EXPECT_EQ(std::vector<unsigned long>({peer.Pixel(a, 25, 5), peer.Pixel(a, 50, 5), peer.Pixel(a, 50, 50)}),
              expected)
        << c.Screen;
    unsigned long middle = peer.Pixel(a, 198, 33);
    if (c.Blended)
      EXPECT_TRUE(middle != red && middle != white) << c.Screen;
    else
      EXPECT_EQ(middle, red) << c.Screen;
    peer.Close(a);
    EXPECT_EQ(probe.Wait(), 0) << c.Screen;
    EXPECT_EQ(probe.Err(), c.Err) << c.Screen;
  }
}

TEST(Timing, NoSpinningWhenIdleWithTimersOrAfterTheServerDies) {
  rig::Server server;
  Scenario probe("windows", {server.Env(), "INTERVAL=10"});
  ASSERT_TRUE(probe.WaitOut("ready\n"));
  auto cpu = [&](int ms) {
    double before = probe.CpuSeconds();
    rig::Sleep(ms);
    return (probe.CpuSeconds() - before) * 1000 / ms;
  };
  rig::Sleep(100);
  int before = Count(probe.Out(), "tick");
  // Beside it, 10 ms waits of this process, each from the end of the last:
  // how many periods the machine gives a timer now, however busy it is.
  int waits = 0;
  std::thread floor([&] {
    for (double end = rig::Now() + 500; rig::Now() < end; ++waits) rig::Sleep(10);
  });
  EXPECT_LT(cpu(500), 0.2);  // a 10 ms timer runs
  floor.join();
  // 50 at best, as many as the waits when the machine is busy.
  EXPECT_GE(Count(probe.Out(), "tick") - before, waits * 2 / 3) << waits << " waits";
  auto peer = std::make_unique<rig::Peer>(server.Name());
  peer->Close(peer->Find("probe B"));
  ASSERT_TRUE(probe.WaitOut("quit B\n"));
  peer.reset();               // before its server goes
  EXPECT_LT(cpu(300), 0.05);  // no timer
  server.Kill();
  EXPECT_NE(probe.Wait(2000), -1);  // ends, rather than spinning on a dead connection
}

TEST(Servers, OutOfMemory) {
  // 100 windows need 830 MB of backing pixmaps; the server has 500 MB in
  // all. The window that gets none is not opened, and leaves nothing.
  // Nor is a picture of 4000 x 4000 pixels loaded then.
  rig::Server server("1920x1080x24", {"prlimit", "--as=500000000"});
  rig::Peer peer(server.Name());
  std::string large = rig::Path("large_4000x4000.xpm");
  std::ofstream(large) << "/* XPM */\nstatic char *p[] = {\n\"4000 4000 1 1\",\n\". c #00FF00\",\n"
                       <<
      [] {
        std::string rows;
        for (int y = 0; y < 4000; ++y) rows += "\"" + std::string(4000, '.') + "\",\n";
        return rows;
      }() << "};\n";
  Scenario probe("exhausted", {server.Env(), "PICTURE=" + large});
  ASSERT_TRUE(probe.WaitOut("ready\n", 30000)) << probe.Out();  // some 60 windows shown one by one
  std::string out = probe.Out();
  EXPECT_EQ(out.substr(0, out.find(", window ")),
            "The X server has no memory left for the backing pixmap of a window.\nstatus 2, registered 0");
  EXPECT_NE(out.find("\npicture 0\n"), std::string::npos) << out;
  Window failed = std::stoul(out.substr(out.find(", window ") + 9));
  XWindowAttributes attributes;
  EXPECT_FALSE(XGetWindowAttributes(peer.D, failed, &attributes));
  peer.Close(peer.Find("probe again"));
  EXPECT_EQ(probe.Wait(), 0);
  out = probe.Out();
  EXPECT_EQ(out.substr(out.find("again")), "again 1\nready\nApiEnd\n" + Usable);
}

// A clock that cannot be read concerns timers alone: a program waiting for
// events does not read it.
TEST(Preloaded, AFailingClockTroublesOnlyTimers) {
  rig::Peer peer;
  Scenario idle("alert", {"LD_PRELOAD=" + rig::Path("tests/libfailclock.so")});
  ASSERT_TRUE(idle.WaitOut("ready\n"));
  rig::Sleep(200);
  peer.Close(peer.Find("probe A"));
  EXPECT_EQ(idle.Wait(), 0);
  EXPECT_EQ(idle.Out(), "ready\nquit A\nApiEnd\n" + Usable);
}

// The box from another client's side: its window (the newest of its title,
// which may be its window's too) and its "O K" button.
struct Box {
  Box(rig::Peer& peer, const std::string& title) : Peer(peer) {
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    rig::WaitFor([&] {
      if (children) XFree(children);
      children = nullptr;
      Id = peer.Find(title);
      return Id && XQueryTree(peer.D, Id, &root, &parent, &children, &count) && count == 1;
    });
    if (count == 1) Button = children[0];
    if (children) XFree(children);
  }
  // The box's place and size, and the button's place in it.
  std::vector<int> Geometry() const {
    std::vector<int> box = Peer.Geometry(Id), button = Peer.Geometry(Button);
    return {box[0], box[1], box[2], box[3], button[0], button[1]};
  }
  void Press(int button = 1) {
    Peer.Move(Button, 37, 17);
    Peer.Button(button, true);
  }
  // A key pressed and let go once the box has taken the keyboard; held
  // runs while it is down.
  void Key(const char* name, const std::function<void()>& held = {}) {
    Window focus = 0;
    int revert = 0;
    EXPECT_TRUE(rig::WaitFor([&] { return XGetInputFocus(Peer.D, &focus, &revert), focus == Id; }));
    Peer.Key(name, true);
    if (held) held();
    Peer.Key(name, false);
  }
  rig::Peer& Peer;
  Window Id = 0, Button = 0;
};

// The alert scenario's box, shown by a click on its window A.
Box ShowAlert(rig::Peer& peer, Scenario& probe, Window* a) {
  EXPECT_TRUE(probe.WaitOut("ready\n"));
  *a = peer.Find("probe A");
  peer.Click(*a, 50, 50);
  return Box(peer, "probe alert");
}

TEST(Programs, AlertBoxes) {
  rig::Peer peer;
  Scenario probe("alert");
  Window a;
  Box box = ShowAlert(peer, probe, &a);
  ASSERT_NE(box.Button, 0u);
  EXPECT_EQ(box.Geometry(), std::vector<int>({766, 452, 388, 176, 142, 108}));
  ASSERT_TRUE(
      rig::WaitFor([&] { return peer.Pixel(box.Id, 51, 34) == peer.Named("yellow1"); }));  // the mark's top
  // The mark's bar, the disc around it, the button's light and dark edges.
  EXPECT_EQ(std::vector<unsigned long>({peer.Pixel(box.Id, 53, 37), peer.Pixel(box.Id, 45, 59),
                                        peer.Pixel(box.Button, 10, 1), peer.Pixel(box.Button, 103, 10)}),
            std::vector<unsigned long>(
                {peer.Named("black"), peer.Named("yellow1"), peer.Named("gray92"), peer.Named("gray41")}));

  peer.Close(a);  // dropped while the box is up
  // The box is modal for its program alone: another client's window takes
  // the pointer and its clicks meanwhile.
  Window other = XCreateSimpleWindow(peer.D, DefaultRootWindow(peer.D), 0, 900, 100, 100, 0, 0, 0);
  XSelectInput(peer.D, other, ButtonPressMask);
  XMapWindow(peer.D, other);
  XSync(peer.D, False);
  peer.Click(other, 50, 50);
  XEvent pressed;
  EXPECT_TRUE(rig::WaitFor([&] { return XCheckTypedWindowEvent(peer.D, other, ButtonPress, &pressed); }));
  XDestroyWindow(peer.D, other);
  peer.Click(box.Id, 20, 100);  // beside the button: nothing
  auto looks = [&](const char* edge) {
    return rig::WaitFor([&] { return peer.Pixel(box.Button, 10, 1) == peer.Named(edge); }, 1000);
  };
  box.Press();
  EXPECT_TRUE(looks("gray41"));  // pressed in
  peer.Move(box.Id, 20, 100);
  peer.Button(1, false);  // released off the button: still up, raised again
  EXPECT_TRUE(looks("gray92"));
  box.Press();
  peer.Button(3, true);
  peer.Button(3, false);  // another button's release does not end the press
  EXPECT_TRUE(looks("gray41"));
  ASSERT_NE(peer.Find("probe alert", 0), 0u);
  peer.Button(1, false);
  // When the callback runs, the box has gone and the pointer is free: the
  // server shows both while the callback waits, sending nothing (a busy
  // server may not have done so yet when the callback starts).
  ASSERT_TRUE(probe.WaitOut("callback\n"));
  EXPECT_TRUE(peer.Gone("probe alert", 500));
  EXPECT_TRUE(rig::WaitFor(
      [&] {
        bool free = XGrabPointer(peer.D, DefaultRootWindow(peer.D), False, 0, GrabModeAsync, GrabModeAsync,
                                 None, None, CurrentTime) == GrabSuccess;
        if (free) XUngrabPointer(peer.D, CurrentTime);
        return free;
      },
      500));
  EXPECT_EQ(probe.Out().find("callback done"), std::string::npos);
  ASSERT_TRUE(probe.WaitOut("callback done\n"));

  // Assigning a window: two refusals, then the program shuts down.
  peer.Click(a, 66, 66);
  Box assignment(peer, "SimpleWindow Assignment");
  peer.Close(assignment.Id, 16);  // not a close request
  rig::Sleep(100);
  EXPECT_NE(peer.Find("SimpleWindow Assignment", 0), 0u);
  peer.Close(assignment.Id);
  Box copy(peer, "SimpleWindow Copy Constructor");
  EXPECT_EQ(copy.Geometry(), std::vector<int>({711, 452, 499, 176, 197, 108}));
  copy.Key("space");  // the box has the keyboard: Space presses "O K"
  EXPECT_EQ(probe.Wait(), 0);
  EXPECT_EQ(probe.Out(),
            "ready\nclick 0.757576 0.757576\ncallback\ncallback done\nclick 1 1\nquit A\nApiEnd\n" + Usable);
}

// Another client destroys a box: it counts as closed, and the program goes on.
TEST(Programs, AnAlertBoxDestroyedByAnotherClient) {
  rig::Peer peer;
  Scenario probe("alert");
  Window a;
  Box box = ShowAlert(peer, probe, &a);
  ASSERT_NE(box.Button, 0u);
  XDestroyWindow(peer.D, box.Id);
  XSync(peer.D, False);
  ASSERT_TRUE(probe.WaitOut("callback done\n")) << probe.Out() << probe.Err();
  peer.Close(a);
  EXPECT_EQ(probe.Wait(), 0);
  EXPECT_EQ(probe.Out(),
            "ready\nclick 0.757576 0.757576\ncallback\ncallback done\nquit A\nApiEnd\n" + Usable);
  EXPECT_EQ(probe.Err(), "");
}

TEST(Programs, AModalBoxLosesNothingElse) {
  rig::Peer peer;
  Scenario probe("modal");
  ASSERT_TRUE(probe.WaitOut("ready\n"));
  Window a = peer.Find("probe A"), b = peer.Find("probe B");
  // A key held in A when a click on A shows a box, and let go while it is up.
  peer.Move(a, 10, 10);
  peer.Key("Shift_L", true);
  ASSERT_TRUE(probe.WaitOut("key press 0xffe1"));
  peer.Click(a, 50, 50);
  Box box(peer, "probe A");
  ASSERT_NE(box.Button, 0u);
  peer.Key("Shift_L", false);
  // Meanwhile another client destroys C, B is asked to close, and B,
  // uncovered, repaints at once: the box has seen everything before it.
  XDestroyWindow(peer.D, peer.Find("probe C"));
  peer.Close(b);
  Uncover(peer, 462, 66, 200, 200);
  EXPECT_TRUE(rig::WaitFor([&] { return peer.Pixel(b, 100, 100) == peer.Named("red1"); }));
  EXPECT_EQ(probe.Out(), "ready\nkey press 0xffe1 ''\n");
  // Return pressed in the box: "O K" shows pressed in while it is held, and
  // the box goes on its release, which A never gets.
  box.Key("Return", [&] {
    EXPECT_TRUE(rig::WaitFor([&] { return peer.Pixel(box.Button, 10, 1) == peer.Named("gray41"); }));
  });
  // After it: the key's release, whose callback asks for shutdown; C's
  // destruction, which closes it once (another request would be an error);
  // then B, whose quit callback shows a box of its own while A's turn waits.
  ASSERT_TRUE(probe.WaitOut("quit B\n")) << probe.Out() << probe.Err();
  Box bye(peer, "probe B");
  bye.Press();
  peer.Button(1, false);
  EXPECT_EQ(probe.Wait(), 0);
  EXPECT_EQ(probe.Out(),
            "ready\nkey press 0xffe1 ''\nmessage closed\nkey release 0xffe1 ''\nquit C\nquit B\nquit A\n"
            "ApiEnd\n" +
                Usable);
  EXPECT_EQ(probe.Err(), "");
}

// A callback's exception unwinds the library's state: the pump goes on, a
// box up goes with its grab, the loop takes the next click; one that
// nothing catches ends the program with its message and status 1.
TEST(Programs, ExceptionsFromCallbacksLeaveTheLoopWhole) {
  rig::Peer peer;
  Scenario probe("throwing");
  ASSERT_TRUE(probe.WaitOut("ready\n"));
  EXPECT_EQ(probe.Out(), "caught timer\ntick\ntick\nready\n");
  Window a = peer.Find("probe A"), b = peer.Find("probe B");
  peer.Click(a, 50, 50);
  Box box(peer, "probe A");
  ASSERT_NE(box.Button, 0u);
  XResizeWindow(peer.D, b, 400, 300);
  XSync(peer.D, False);
  ASSERT_TRUE(probe.WaitOut("caught resize\n")) << probe.Err();
  XWindowAttributes attributes;
  EXPECT_TRUE(rig::WaitFor([&] { return !XGetWindowAttributes(peer.D, box.Id, &attributes); }));
  EXPECT_EQ(XGrabPointer(peer.D, DefaultRootWindow(peer.D), False, 0, GrabModeAsync, GrabModeAsync, None,
                         None, CurrentTime),
            GrabSuccess);
  XUngrabPointer(peer.D, CurrentTime);
  peer.Click(a, 66, 33);
  ASSERT_TRUE(probe.WaitOut("click 1 0.5\n"));
  peer.Click(a, 66, 33);
  EXPECT_EQ(probe.Wait(), 1);
  EXPECT_EQ(probe.Err(), "The program ended with an exception: click\n");
}

// What a callback draws shows when it returns, whole: not before.
TEST(Programs, AFrameDrawnInACallbackShowsWhenItReturns) {
  rig::Peer peer;
  std::string file = rig::Path("frame-drawn");
  std::remove(file.c_str());
  Scenario probe("frame", {"FRAME=" + file});
  ASSERT_TRUE(probe.WaitOut("ready\n"));
  Window a = peer.Find("probe A");
  peer.Click(a, 50, 50);
  ASSERT_TRUE(probe.WaitOut("drawn\n"));
  EXPECT_EQ(peer.Pixel(a, 100, 100), peer.Named("white"));
  std::ofstream(file) << "go";
  ASSERT_TRUE(probe.WaitOut("returning\n"));
  EXPECT_TRUE(rig::WaitFor([&] { return peer.Pixel(a, 100, 100) == peer.Named("red1"); }));
  peer.Close(a);
  EXPECT_EQ(probe.Wait(), 0);
}

// A message is broken at its "\n", and wrapped at 15 cm: the box grows in
// height, centred still, and a message longer than the screen is cut.
TEST(Programs, MessagesOfManyLines) {
  rig::Peer peer;
  Scenario probe("lines");
  std::vector<std::vector<int>> geometries;
  for (int box = 1; box <= 3; ++box) {
    Box shown(peer, "probe A");
    ASSERT_NE(shown.Button, 0u) << box;
    geometries.push_back(shown.Geometry());
    if (box == 1) {
      // Two lines of ink, one above the other, right of the disc, above the button.
      int bands = 0;
      EXPECT_TRUE(rig::WaitFor([&] {
        std::vector<unsigned long> rows = peer.Grab(shown.Id, 100, 0, 250, 120);
        std::vector<bool> inked(120);
        for (size_t i = 0; i < rows.size(); ++i)
          inked[i / 250] = inked[i / 250] || rows[i] != peer.Named("white");
        bands = 0;
        for (size_t y = 1; y < inked.size(); ++y) bands += inked[y] && !inked[y - 1];
        return bands == 2;
      })) << bands;
    }
    shown.Key("Return");
    ASSERT_TRUE(rig::WaitFor([&] { return Count(probe.Out(), "closed\n") == box; })) << box;
  }
  // One line more is 21 px more; 300 characters in 4 lines within 15 cm
  // (990 px); as many lines as 1080 px hold, less the screen's margins.
  EXPECT_EQ(geometries[0], std::vector<int>({766, 442, 388, 197, 142, 129}));
  EXPECT_EQ(geometries[1], std::vector<int>({467, 421, 986, 239, 441, 171}));
  EXPECT_EQ(geometries[2], std::vector<int>({466, 32, 989, 1016, 442, 948}));
  peer.Close(peer.Find("probe A"));
  EXPECT_EQ(probe.Wait(), 0);
}

// The bounding box (left, top, right, bottom, inclusive) of the pixels of a
// grab width pixels wide for which ink(x, y, pixel) holds.
std::vector<int> Bounds(const std::vector<unsigned long>& grab, int width,
                        const std::function<bool(int, int, unsigned long)>& ink) {
  std::vector<int> b = {INT_MAX, INT_MAX, INT_MIN, INT_MIN};
  for (size_t i = 0; i < grab.size(); ++i) {
    int x = static_cast<int>(i) % width, y = static_cast<int>(i) / width;
    if (!ink(x, y, grab[i])) continue;
    b = {std::min(b[0], x), std::min(b[1], y), std::max(b[2], x), std::max(b[3], y)};
  }
  return b;
}

bool Apart(const std::vector<int>& p, const std::vector<int>& q) {
  return p[2] < q[0] || q[2] < p[0] || p[3] < q[1] || q[3] < p[1];
}

TEST(Servers, AlertBoxesKeepTheirSizeInCentimetres) {
  struct {
    const char* Screen;
    double Scale;
    std::vector<int> Geometry;  // the box's place and size, the button's place and size
    std::vector<int> Disc;      // its outline's bounds in the box
    int Bevel;
  } scales[] = {
      {"1366x768x24", 47, {545, 321, 277, 126, 101, 77, 75, 35}, {23, 23, 61, 61}, 4},
      {"1920x1080x24", 66, {766, 452, 388, 176, 142, 108, 105, 49}, {33, 33, 85, 85}, 5},
      {"3840x2160x24", 132, {1532, 904, 777, 353, 283, 215, 210, 98}, {66, 66, 171, 171}, 11},
  };
  for (const auto& s : scales) {
    SCOPED_TRACE(s.Screen);
    rig::Server server(s.Screen);
    rig::Peer peer(server.Name());
    Scenario probe("modal", {server.Env()});
    ASSERT_TRUE(probe.WaitOut("ready\n"));
    peer.Click(peer.Find("probe A"), 50, 50);
    Box box(peer, "probe A");
    ASSERT_NE(box.Button, 0u);
    std::vector<int> geometry = box.Geometry(), button = peer.Geometry(box.Button);
    geometry.insert(geometry.end(), {button[2], button[3]});
    EXPECT_EQ(geometry, s.Geometry);
    // Box, button and disc as large in centimetres as at 47 pixels a centimetre.
    for (int i : {2, 3, 6, 7})
      EXPECT_NEAR(geometry[i] / s.Scale, scales[0].Geometry[i] / 47.0, 0.1 * scales[0].Geometry[i] / 47.0);

    const int w = geometry[2], h = geometry[3], bw = geometry[6], bh = geometry[7];
    const unsigned long white = peer.Named("white"), face = peer.Named("gray85");
    const unsigned long edges[] = {face, peer.Named("gray92"), peer.Named("gray41")};
    std::vector<int> buttonArea = {geometry[4], geometry[5], geometry[4] + bw + 1, geometry[5] + bh + 1};
    std::vector<unsigned long> shown;
    ASSERT_TRUE(rig::WaitFor([&] {  // drawn once the disc's outline is
      shown = peer.Grab(box.Id, 0, 0, w, h);
      return shown.size() == size_t(w) * h && shown[s.Disc[1] * w + (s.Disc[0] + s.Disc[2]) / 2] != white;
    }));
    std::vector<int> disc = Bounds(shown, w, [&](int x, int y, unsigned long p) {
      return p != white && x < s.Disc[2] + 5 && y < buttonArea[1];
    });
    EXPECT_EQ(disc, s.Disc);
    // The message: every other mark outside the button, apart from both.
    std::vector<int> message = Bounds(shown, w, [&](int x, int y, unsigned long p) {
      return p != white && Apart({x, y, x, y}, disc) && Apart({x, y, x, y}, buttonArea);
    });
    ASSERT_NE(message[0], INT_MAX) << "no message drawn";
    EXPECT_TRUE(message[0] > disc[2] && message[2] < w && message[3] < buttonArea[1] && message[1] >= 0)
        << message[0] << "," << message[1] << "," << message[2] << "," << message[3];
    EXPECT_GE(message[2] - message[0], 0.4 * s.Scale);  // "hello" is no dot

    // The label's ink centred in the button within 2 pixels, inside the
    // bevel, raised and pressed.
    for (bool pressed : {false, true}) {
      if (pressed) box.Press();
      std::vector<int> label;
      EXPECT_TRUE(rig::WaitFor([&] {
        if (pressed && peer.Pixel(box.Button, 1, 1) != edges[2]) return false;
        label = Bounds(peer.Grab(box.Button, 0, 0, bw, bh), bw, [&](int, int, unsigned long p) {
          return std::find(std::begin(edges), std::end(edges), p) == std::end(edges);
        });
        return label[0] != INT_MAX;
      }));
      EXPECT_LE(std::abs(label[0] + label[2] - (bw - 1)), 4) << label[0] << "-" << label[2] << " in " << bw;
      EXPECT_LE(std::abs(label[1] + label[3] - (bh - 1)), 4) << label[1] << "-" << label[3] << " in " << bh;
      EXPECT_TRUE(label[0] >= s.Bevel && label[1] >= s.Bevel && label[2] < bw - s.Bevel &&
                  label[3] < bh - s.Bevel);
    }
    peer.Button(1, false);
    ASSERT_TRUE(probe.WaitOut("message closed\n"));
    for (const char* window : {"probe A", "probe B", "probe C"}) peer.Close(peer.Find(window));
    EXPECT_EQ(probe.Wait(), 0);
  }
}

// A server whose only core font is file, under the name alias.
std::unique_ptr<rig::Server> WithOnlyFont(const std::string& file, const std::string& alias) {
  auto server = std::make_unique<rig::Server>();
  std::string dir = rig::Path("fonts-" + alias);
  mkdir(dir.c_str(), 0755);
  rig::Sh("cp /usr/share/fonts/X11/misc/" + file + " " + dir + " && mkfontdir " + dir);
  std::string xlfd = rig::Sh("sed -n 2p " + dir + "/fonts.dir | cut -d' ' -f2-");
  std::ofstream(dir + "/fonts.alias") << alias << " " << xlfd;
  rig::Peer peer(server->Name());
  char* path[] = {&dir[0]};
  XSetFontPath(peer.D, path, 1);
  XSync(peer.D, False);
  return server;
}

TEST(Servers, MissingFonts) {
  // Without the window font, text and alerts say so and ask for shutdown.
  auto server = WithOnlyFont("9x15B-ISO8859-1.pcf.gz", "9x15bold");
  Scenario text("text", {server->Env()});
  EXPECT_EQ(text.Wait(), 0);
  EXPECT_EQ(text.Out(),
            "Unable to load the desired font: 9x15\ndrawn\nquit A\nApiEnd\n"
            "Unable to load the desired font: 9x15\n\n\nAlertWindow::AddMessageToList\n"
            "Unable to obtain to allocate memory to a font structure\n"
            "Unable to load the desired font: 9x15\n\n\nAlertWindow::SetLocationAndSize\n"
            "Unable to allocate memory to a font structure\n"
            "after message\nready\n" +
                Usable);

  // Without the bold font, the button has no label but works.
  server = WithOnlyFont("9x15-ISO8859-1.pcf.gz", "9x15");
  rig::Peer peer(server->Name());
  Scenario bold("text", {server->Env()});
  ASSERT_TRUE(bold.WaitOut("drawn\n"));
  Box box(peer, "probe C");
  ASSERT_NE(box.Button, 0u);
  box.Press();
  peer.Button(1, false);
  EXPECT_EQ(bold.Wait(), 0);  // the missing font asked for shutdown
  const std::string failure =
      "Unable to load the desired font: 9x15bold\nIn function: LoadFont\n"
      "Unable to allocate memory to a font structure.\n";
  std::string out = bold.Out();
  for (size_t at; (at = out.find(failure + failure)) != std::string::npos;) out.erase(at, failure.size());
  EXPECT_EQ(out, "drawn\n" + failure + "after message\nready\nquit A\nApiEnd\n" + Usable);
}

TEST(Programs, RequestsLargerThanTheServerTakes) {
  // A 20 MB title is cut short; a polygon one vertex too many for a request
  // is refused, filled or outlined; 20 MB of text are drawn, in a window and
  // in an alert.
  rig::Peer peer;
  Scenario huge("huge", {"VERTICES=4194298"});
  ASSERT_TRUE(huge.WaitOut("drawn\n", 20000));
  peer.Close(Box(peer, "probe C").Id);
  EXPECT_EQ(huge.Wait(20000), 0);
  EXPECT_EQ(huge.Out(),
            "opened 1\nUnable to draw a polygon of 4194298 vertices: the X server takes at most 4194297.\n"
            "Unable to draw a polygon of 4194299 vertices: the X server takes at most 4194298.\n"
            "drawn\nready\n" +
                Usable);
  EXPECT_EQ(huge.Err(), "");
}

TEST(Servers, ScalableTextOnEveryDepthAndWithoutFonts) {
  // Where fontconfig finds no font, the core font stands in, after one line.
  std::string noFonts = rig::Path("no-fonts.conf");
  std::ofstream(noFonts) << "<fontconfig><cachedir>" << rig::Path("no-fonts-cache")
                         << "</cachedir></fontconfig>\n";
  struct {
    const char* Screen;
    std::vector<std::string> Env;
    std::string Err;
  } cases[] = {
      {"1920x1080x16", {}, ""},
      {"1920x1080x8", {}, ""},
      {"1920x1080x24",
       {"FONTCONFIG_FILE=" + noFonts},
       "No scalable font could be opened through fontconfig: text is drawn in the core font 9x15\n"}};
  for (auto& c : cases) {
    rig::Server server(c.Screen);
    rig::Peer peer(server.Name());
    c.Env.push_back(server.Env());
    Scenario text("scalable", c.Env);
    ASSERT_TRUE(text.WaitOut("drawn\n")) << c.Screen;
    Window w = peer.Find("probe A");
    std::vector<unsigned long> shown = peer.Grab(w, 0, 0, 330, 264);
    unsigned long blue = peer.Named("blue1"), yellow = peer.Named("yellow1");
    EXPECT_GT(std::count(shown.begin(), shown.end(), blue), 40) << c.Screen;
    EXPECT_GT(std::count(shown.begin(), shown.end(), yellow), 100) << c.Screen;
    peer.Close(w);
    EXPECT_EQ(text.Wait(), 0);
    EXPECT_EQ(text.Err(), c.Err);
  }
}

TEST(Servers, WindowsAWindowManagerNeverShows) {
  // A window manager of our own: the first window it is asked to map it
  // destroys, the second it leaves unmapped. Open returns for both.
  rig::Server server;
  rig::Peer manager(server.Name());
  XSelectInput(manager.D, DefaultRootWindow(manager.D), SubstructureRedirectMask);
  XSync(manager.D, False);
  Scenario probe("unshown", {server.Env()});
  int requests = 0;
  Window unshown = 0;
  std::vector<std::vector<long>> protocols;  // of each window as it asks to be shown
  ASSERT_TRUE(rig::WaitFor(
      [&] {
        for (XEvent e; XPending(manager.D) && (XNextEvent(manager.D, &e), true);) {
          if (e.type != MapRequest) continue;
          protocols.push_back(manager.Property(e.xmaprequest.window, "WM_PROTOCOLS"));
          if (++requests == 1)
            XDestroyWindow(manager.D, e.xmaprequest.window);
          else
            unshown = e.xmaprequest.window;
        }
        return probe.Out().find("ready\n") != std::string::npos;
      },
      10000));  // the unshown window is waited for three seconds
  EXPECT_TRUE(probe.WaitOut("quit A\n"));
  // B is there, never shown, and still answers a close request.
  ASSERT_NE(unshown, 0u);
  manager.Close(unshown);
  EXPECT_EQ(probe.Wait(), 0);
  EXPECT_EQ(probe.Out(), "opened 1\nopened 1\nready\nquit A\nquit B\nApiEnd\n" + Usable);
  EXPECT_EQ(probe.Err(), "");
  // Both asked for close requests before they asked to be shown: a window
  // manager closing a window that has not asked for them kills its program.
  long deleteWindow = static_cast<long>(XInternAtom(manager.D, "WM_DELETE_WINDOW", False));
  EXPECT_EQ(protocols, std::vector<std::vector<long>>(2, {deleteWindow}));
}

TEST(Servers, WindowsOffTheScreenAndUnderAWindowManager) {
  // Wholly off the screen, or with only a border on it: no exposure comes,
  // and Open does not wait for one, with or without a window manager.
  rig::Server server;
  ASSERT_TRUE(server.StartWindowManager());
  for (const auto& env : {std::vector<std::string>{}, {server.Env()}}) {
    Scenario off("offscreen", env);
    EXPECT_EQ(off.Wait(5000), 0) << env.size();
    EXPECT_EQ(off.Out(), "off screen 1\noff screen 1\noff screen 1\nready\n" + Usable);
  }

  // Drawn at once after Open, while ApiMain goes on: on the screen only if
  // Open awaited the window manager's showing the window.
  rig::Peer peer(server.Name());
  Scenario part("partial", {server.Env()});
  ASSERT_TRUE(part.WaitOut("drawn\n"));
  Window w = peer.Find("probe partial");
  EXPECT_EQ(peer.Pixel(w, 10, 10), peer.Named("green1"));
  peer.Close(w);
  EXPECT_EQ(part.Wait(), 0);

  // A window's alert box is a dialog of that window, of a fixed size, in
  // the middle of the screen; the window behind it takes no clicks; "O K"
  // closes it.
  Scenario modal("modal", {server.Env()});
  ASSERT_TRUE(modal.WaitOut("ready\n"));
  Window a = peer.Find("probe A");
  peer.Click(a, 50, 50);
  Box box(peer, "probe A");
  ASSERT_NE(box.Button, 0u);
  EXPECT_EQ(peer.Property(box.Id, "WM_TRANSIENT_FOR"), std::vector<long>({static_cast<long>(a)}));
  EXPECT_EQ(peer.Property(box.Id, "_NET_WM_WINDOW_TYPE"),
            std::vector<long>({static_cast<long>(XInternAtom(peer.D, "_NET_WM_WINDOW_TYPE_DIALOG", False))}));
  std::vector<long> hints = peer.Property(box.Id, "WM_NORMAL_HINTS");  // minimum and maximum size
  ASSERT_GE(hints.size(), 9u);
  EXPECT_EQ(std::vector<long>(hints.begin() + 5, hints.begin() + 9), std::vector<long>({388, 176, 388, 176}));
  std::vector<long> actions = peer.Property(box.Id, "_NET_WM_ALLOWED_ACTIONS");  // what openbox offers
  for (const char* never : {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_RESIZE"})
    EXPECT_EQ(
        std::count(actions.begin(), actions.end(), static_cast<long>(XInternAtom(peer.D, never, False))), 0);
  EXPECT_GT(actions.size(), 0u);
  int x, y;
  peer.Origin(box.Id, &x, &y);
  EXPECT_LE(std::abs(2 * x + 388 - 1920) + std::abs(2 * y + 176 - 1080), 4) << x << "," << y;
  peer.Click(a, 20, 20);
  rig::Sleep(100);
  EXPECT_EQ(modal.Out(), "ready\n");
  // The box has the keyboard: Return presses "O K", Escape closes it.
  for (const char* key : {"Return", "Escape"}) {
    if (std::string(key) == "Escape") peer.Click(a, 50, 50);
    Box(peer, "probe A").Key(key);
    ASSERT_TRUE(rig::WaitFor([&] {
      return Count(modal.Out(), "message closed\n") == (key[0] == 'R' ? 1 : 2);
    })) << key;
  }
  for (const char* window : {"probe A", "probe B", "probe C"}) peer.Close(peer.Find(window));
  EXPECT_EQ(modal.Wait(), 0);
}

}  // namespace
