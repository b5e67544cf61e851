// Window runtime, start-up: unit conversions at a
// known scale, the scale computed from the screen width, the palette and its
// failure message, the missing display, and the order of the globals.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "rig.h"
#include "slate.h"

namespace {

// Sets PixelsPerCentimeter for one test and puts the start-up value back.
class AtScale : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = PixelsPerCentimeter;
    PixelsPerCentimeter = 66;
  }
  void TearDown() override { PixelsPerCentimeter = saved_; }

 private:
  float saved_ = 0;
};

TEST_F(AtScale, CentimetresToPixelsTruncate) {
  EXPECT_EQ(l_to_d(15.0f), 990);
  EXPECT_EQ(l_to_d(12.0f), 792);
  EXPECT_EQ(l_to_d(1.0f), 66);
  EXPECT_EQ(l_to_d(0.78f), 51);   // 51.48 truncated, not rounded
  EXPECT_EQ(l_to_d(-0.5f), -33);  // toward zero
  EXPECT_EQ(l_to_d(0.0f), 0);
  EXPECT_EQ(l_to_d(Position(15, 12)), GraphicPosition(990, 792));
}

TEST_F(AtScale, PixelsToCentimetres) {
  EXPECT_EQ(d_to_l(990), 15.0f);
  EXPECT_EQ(d_to_l(33), 0.5f);
  EXPECT_EQ(d_to_l(66), 1.0f);
  EXPECT_EQ(d_to_l(0), 0.0f);
  EXPECT_EQ(d_to_l(GraphicPosition(66, 33)), Position(1.0f, 0.5f));
  // The round trip may lose a pixel, but never gains one.
  for (int n = 0; n < 2000; ++n) {
    int back = l_to_d(d_to_l(n));
    ASSERT_TRUE(back == n || back == n - 1) << n << " -> " << back;
  }
}

TEST(Points, ArithmeticAndExactComparison) {
  // Each sum is rounded to float when the result is built, so this holds exactly.
  EXPECT_TRUE(Position(0.1f, 0.2f) + Position(0.2f, 0.1f) == Position(0.3f, 0.3f));
  EXPECT_EQ(Position(1.5f, 2.0f) - Position(0.5f, 3.0f), Position(1.0f, -1.0f));
  EXPECT_FALSE(Position(NAN, 0) == Position(NAN, 0));
  EXPECT_TRUE(Position(NAN, 0) != Position(NAN, 0));
  EXPECT_TRUE(Position(1, 2) != Position(1, 3));
  EXPECT_EQ(GraphicPosition(3, 4) - GraphicPosition(5, 1), GraphicPosition(-2, 3));
  EXPECT_EQ(GraphicPosition(3, 4) + GraphicPosition(5, 1), GraphicPosition(8, 5));
  EXPECT_TRUE(GraphicPosition(3, 4) != GraphicPosition(3, 5));
  EXPECT_FALSE(GraphicPosition(3, 4) != GraphicPosition(3, 4));
  // Conversions of values beyond the pixel range saturate instead of overflowing.
  EXPECT_EQ(l_to_d(1e30f), INT_MAX);
  EXPECT_EQ(l_to_d(-1e30f), INT_MIN);
  EXPECT_EQ(l_to_d(NAN), 0);
}

TEST(Scale, StartUpScaleOfThisDisplay) {
  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr);
  int width = DisplayWidth(d, DefaultScreen(d));
  XCloseDisplay(d);
  float expected = std::max(1.0f, std::floor(static_cast<float>(width / 29.0)));
  EXPECT_EQ(PixelsPerCentimeter, expected);
  EXPECT_EQ(PixelsPerCentimeter, std::floor(PixelsPerCentimeter));  // a whole number
  EXPECT_NE(display, nullptr);
  EXPECT_EQ(ScreenNbr, DefaultScreen(display));
}

// PixelsPerCentimeter = floor(width / 29), at least 1, as an application sees it.
TEST(Scale, ByScreenWidth) {
  struct Case {
    const char* screen;
    const char* ppc;
  } cases[] = {{"1920x1080x24", "ppc 66\n"},
               {"1366x768x24", "ppc 47\n"},
               {"1024x768x24", "ppc 35\n"},
               {"800x600x24", "ppc 27\n"},
               {"20x20x24", "ppc 1\n"}};  // narrower than 29 pixels: 1, not 0
  for (const auto& c : cases) {
    SCOPED_TRACE(c.screen);
    rig::Xvfb server(c.screen);
    ASSERT_TRUE(server.Start()) << server.Error();
    auto r = rig::Run(rig::AppPath("rt_scale"), server.Env(), 20000);
    ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
    EXPECT_EQ(r.out, std::string(c.ppc) + "colors 1\nscreen 0\n");
    EXPECT_EQ(r.err, "");
  }
}

TEST(StartUp, NoDisplayMessageAndStatusZero) {
  rig::ProcessOptions o;
  o.env["DISPLAY"] = ":987";
  auto r = rig::Run(rig::AppPath("rt_scale"), o);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.err, "ERROR opening display [:987]\n");
  EXPECT_EQ(r.out, "");  // ApiMain never ran
}

TEST(StartUp, ApiMainWithoutWindowsEndsWithoutApiEnd) {
  rig::Xvfb* server = rig::PrivateServer();
  ASSERT_NE(server, nullptr);
  auto r = rig::Run(rig::AppPath("rt_scale"), server->Env());
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out.find("ApiEnd"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
}

// ---------------------------------------------------------------------------
// The palette
// ---------------------------------------------------------------------------

TEST(Palette, StartUpFilledBothTables) {
  rig::XClient xc;
  ASSERT_TRUE(xc.ok());
  EXPECT_EQ(WinManager.ColorsObtained(), 1);
  const char* names[] = {"black", "white", "red1", "green1", "blue1", "yellow1", "cyan1", "magenta1"};
  for (int i = 0; i < MaxColors; ++i) {
    EXPECT_STREQ(ColorName[i], names[i]);
    EXPECT_EQ(ColorTable[i], xc.NamedPixel(names[i])) << names[i];
  }
  const char* seconds[] = {"black", "white", "red2", "green2", "blue2", "yellow2", "cyan2", "magenta2"};
  for (int i = 0; i < MaxColors; ++i) EXPECT_STREQ(SecondChoiceColors[i], seconds[i]);
  const char* greys[] = {"gray85", "gray92", "gray41"};
  const char* greys2[] = {"gray86", "gray93", "gray42"};
  for (int i = 0; i < NbrButtonColors; ++i) {
    EXPECT_STREQ(ButtonColorName[i], greys[i]);
    EXPECT_STREQ(SecondChoiceButtonColors[i], greys2[i]);
    EXPECT_EQ(ButtonColorTable[i], xc.NamedPixel(greys[i])) << greys[i];
  }
}

constexpr unsigned long kUntouched = 0xdeadbeefUL;

TEST(Palette, FallbackNameIsUsedSilently) {
  rig::XClient xc;
  const char* names[] = {"black", "white", "no-such-colour-1", "green1"};
  const char* fallbacks[] = {"black", "white", "red2", "green2"};
  unsigned long table[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
  ::testing::internal::CaptureStderr();
  int result = WinManager.InitializeColors(names, fallbacks, table, 4);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, 1);
  EXPECT_EQ(err, "");
  EXPECT_EQ(table[2], xc.NamedPixel("red2"));
  EXPECT_EQ(table[3], xc.NamedPixel("green1"));  // the first choice wins when it exists
}

TEST(Palette, FailureMessageAndWhichEntriesAreFilled) {
  rig::XClient xc;
  const char* names[] = {"black", "white", "red1", "green1", "bogus-blue-1", "yellow1", "cyan1", "magenta1"};
  const char* fallbacks[] = {"black", "white", "red2", "green2", "bogus-blue-2", "yellow2", "cyan2", "magenta2"};
  unsigned long table[8];
  for (auto& entry : table) entry = kUntouched;
  ::testing::internal::CaptureStderr();
  ::testing::internal::CaptureStdout();
  int result = WinManager.InitializeColors(names, fallbacks, table, 8);
  std::string out = ::testing::internal::GetCapturedStdout();
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(err,
            "In function: WindowManager\n"
            "\tFailed to find a color match for colors: bogus-blue-1 and bogus-blue-2.\n"
            "\tClose down any applications that might be using\n"
            "\tthese colors and try again.\n");
  EXPECT_EQ(out, "");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(table[i], xc.NamedPixel(names[i])) << i;
  for (int i = 4; i < 8; ++i) EXPECT_EQ(table[i], kUntouched) << i;  // not tried after the failure
}

TEST(Palette, FailingBlackNamesTheSameColourTwice) {
  const char* names[] = {"no-black", "white"};
  const char* fallbacks[] = {"no-black", "white"};
  unsigned long table[2] = {kUntouched, kUntouched};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(WinManager.InitializeColors(names, fallbacks, table, 2), 0);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("for colors: no-black and no-black.\n"), std::string::npos) << err;
  EXPECT_EQ(table[0], kUntouched);
  EXPECT_EQ(table[1], kUntouched);
}

TEST(Palette, ZeroEntriesSucceed) {
  EXPECT_EQ(WinManager.InitializeColors(nullptr, nullptr, nullptr, 0), 1);
}

// End to end: on an 8-bit screen whose colormap another client has filled
// with private cells, some palette colour cannot be allocated under either
// name. The program reports the first one that fails, never calls ApiMain and
// ends with status 0.
TEST(Palette, ApplicationEndsWhenAColourCannotBeAllocated) {
  rig::Xvfb server("640x480x8");
  ASSERT_TRUE(server.Start()) << server.Error();
  rig::XClient hog(server.Name());
  ASSERT_TRUE(hog.ok());
  Display* d = hog.dpy();
  Visual* visual = DefaultVisual(d, DefaultScreen(d));
  if (visual->c_class != PseudoColor) GTEST_SKIP() << "the 8-bit Xvfb screen is not PseudoColor";
  Colormap cmap = DefaultColormap(d, DefaultScreen(d));
  // Take every free cell as a private read/write cell.
  unsigned long pixel;
  int taken = 0;
  while (XAllocColorCells(d, cmap, False, nullptr, 0, &pixel, 1)) ++taken;
  XSync(d, False);
  ASSERT_GT(taken, 0);
  auto r = rig::Run(rig::AppPath("rt_scale"), server.Env());
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, "");  // ApiMain never ran
  // Which colour fails first depends on the cells the server had already
  // shared; the message names one of the eleven pairs, in the fixed form.
  const char* pairs[] = {"black and black", "white and white", "red1 and red2", "green1 and green2",
                         "blue1 and blue2", "yellow1 and yellow2", "cyan1 and cyan2", "magenta1 and magenta2",
                         "gray85 and gray86", "gray92 and gray93", "gray41 and gray42"};
  bool matched = false;
  for (const char* pair : pairs)
    matched = matched || r.err == std::string("In function: WindowManager\n"
                                              "\tFailed to find a color match for colors: ") +
                                      pair +
                                      ".\n\tClose down any applications that might be using\n"
                                      "\tthese colors and try again.\n";
  EXPECT_TRUE(matched) << r.err;
}

// ---------------------------------------------------------------------------
// Order of the globals, and the end of a program with windows still open
// ---------------------------------------------------------------------------

class ExitApp : public ::testing::Test {
 protected:
  void SetUp() override {
    server = rig::PrivateServer();
    ASSERT_NE(server, nullptr);
  }
  rig::ProcessResult RunMode(const std::string& mode, bool close_a) {
    rig::ProcessOptions o = server->Env();
    o.env["RT_MODE"] = mode;
    rig::Process p;
    EXPECT_TRUE(p.Start(rig::AppPath("rt_exit"), o)) << p.Error();
    if (close_a) {
      rig::XClient xc(server->Name());
      EXPECT_TRUE(p.WaitForOutput("ready\n"));
      Window a = xc.WaitForWindow("rt exit A");
      EXPECT_NE(a, 0u);
      EXPECT_TRUE(xc.SendDeleteRequest(a));
    }
    return p.Wait(10000);
  }
  rig::Xvfb* server = nullptr;
};

constexpr char kProbeUp[] = "probe constructed: display open, ppc 66, colors 1\n";
constexpr char kProbeDown[] = "probe destroyed: display usable\n";
constexpr char kNonEmpty[] = "Attempted to terminated the program with a nonempty window manager\n";

TEST_F(ExitApp, GlobalWindowOpenedByApiEndClosesAtExit) {
  auto r = RunMode("apiend-global", true);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, std::string(kProbeUp) + "ready\nquit A\nApiEnd called\nG open 1\n" + kProbeDown);
  EXPECT_EQ(r.err, "");  // in particular no X error
}

TEST_F(ExitApp, LeakedWindowIsClosedByTheRuntimeAtExit) {
  auto r = RunMode("apiend-heap", true);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  // The application's globals go first (the display still usable), then the
  // runtime reports the window it still holds and closes it.
  EXPECT_EQ(r.out, std::string(kProbeUp) + "ready\nquit A\nApiEnd called\nH open 1\n" + kProbeDown + kNonEmpty);
  EXPECT_EQ(r.err, "");
}

TEST_F(ExitApp, ExitFromATimerCallbackWithGlobalWindowsOpen) {
  auto r = RunMode("exit-in-timer", false);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, std::string(kProbeUp) + "ready\nexit from timer\n" + kProbeDown);
  EXPECT_EQ(r.err, "");
}

TEST_F(ExitApp, ExitFromApiMainWithGlobalWindowsOpen) {
  auto r = RunMode("exit-in-apimain", false);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, std::string(kProbeUp) + "ready\nexit from ApiMain\n" + kProbeDown);
  EXPECT_EQ(r.err, "");
}

}  // namespace
