// The example programs, run as child processes on an Xvfb of their own: each
// must open its window, draw what it shows (checked by reading pixels from
// another client, and after clicks where the example reacts to them) and end
// with status 0 when the window manager asks its window to close.
#include <gtest/gtest.h>
// Xlib headers after GoogleTest, whose internals use the name None.
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "rig.h"
#include "slate.h"

namespace {

namespace fs = std::filesystem;

const std::string kExampleDir = SLATE_BINARY_DIR "/examples";

// One running example and the client that watches it.
class Example {
 public:
  explicit Example(const std::string& name, const std::string& cwd = kExampleDir) : name_(name) {
    rig::Xvfb* server = rig::PrivateServer();
    if (!server) return;
    x_ = std::make_unique<rig::XClient>(server->Name());
    rig::ProcessOptions options;
    options.cwd = cwd;
    started_ = x_->ok() && process_.Start(kExampleDir + "/" + name, server->Env(options));
  }

  // Waits for the window titled title; false if it does not appear.
  bool WaitForWindow(const std::string& title) {
    if (!started_) return false;
    window_ = x_->WaitForWindow(title);
    return window_ != 0;
  }

  rig::XClient& X() { return *x_; }
  Window Win() const { return window_; }
  rig::Process& Proc() { return process_; }
  int Scale() const { return x_->ScreenWidth() / 29; }  // pixels per centimetre
  int Px(double cm) const { return static_cast<int>(cm * Scale()); }
  unsigned long Pixel(color c) { return x_->NamedPixel(ColorName[c]); }
  unsigned long At(int x, int y) { return x_->PixelAt(window_, x, y); }

  // Waits until the program has asked for mouse clicks on its window, which
  // it does last in ApiMain, so its start-up drawing is done too.
  bool WaitForClicks() {
    return rig::WaitFor([&] { return (x_->GetEventMask(window_) & ButtonPressMask) != 0; });
  }

  // Waits until pixel (x, y) of the window has the colour c.
  bool WaitForPixel(int x, int y, unsigned long pixel, int timeout_ms = 3000) {
    return rig::WaitFor([&] { return At(x, y) == pixel; }, timeout_ms);
  }

  // The window manager's close request, then the end of the program.
  rig::ProcessResult Close() {
    x_->SendDeleteRequest(window_);
    return process_.Wait(5000);
  }

 private:
  std::string name_;
  std::unique_ptr<rig::XClient> x_;
  rig::Process process_;
  bool started_ = false;
  Window window_ = 0;
};

#define START(example, title)                                                       \
  ASSERT_NE(rig::PrivateServer(), nullptr) << "no private X server";                \
  ASSERT_TRUE(example.WaitForWindow(title))                                         \
      << "no window \"" << title << "\"; " << example.Proc().Wait(2000).Describe(); \
  ASSERT_EQ(example.Scale(), 66) << "the checks below assume a 1920-pixel screen"

#define EXPECT_CLOSES_WITH_0(example)                                             \
  do {                                                                            \
    rig::ProcessResult result = example.Close();                                  \
    EXPECT_TRUE(result.ExitedWith(0)) << result.Describe() << "\n" << result.err; \
  } while (0)

TEST(Examples, TextColorsShowsEveryColourOnWhiteOrBlack) {
  Example ex("text_colors");
  START(ex, "Text colours");
  // Magenta on black is drawn last.
  ASSERT_TRUE(rig::WaitFor([&] {
    return ex.X().Capture(ex.Win(), ex.Px(7.5), ex.Px(8.0) - 10, ex.Px(3.0), 20).Count(ex.Pixel(Magenta)) >
           20;
  }));
  rig::Image left = ex.X().Capture(ex.Win(), 0, 0, ex.Px(6.0) - 1, ex.Px(9.0));
  rig::Image right = ex.X().Capture(ex.Win(), ex.Px(6.0) + 1, 0, ex.Px(6.0) - 1, ex.Px(9.0));
  ASSERT_TRUE(left.ok && right.ok);
  // Line i is centred 1 + i cm from the top; a band of 20 pixels holds it.
  for (int i = 0; i < MaxColors; ++i) {
    color c = static_cast<color>(i);
    rig::Image band_left = ex.X().Capture(ex.Win(), ex.Px(1.5), ex.Px(1.0 + i) - 10, ex.Px(3.0), 20);
    rig::Image band_right = ex.X().Capture(ex.Win(), ex.Px(7.5), ex.Px(1.0 + i) - 10, ex.Px(3.0), 20);
    if (c != White) {
      EXPECT_GT(band_left.Count(ex.Pixel(c)), 20) << ColorName[i] << " on white";
    }
    if (c != Black) {
      EXPECT_GT(band_right.Count(ex.Pixel(c)), 20) << ColorName[i] << " on black";
    }
  }
  // Right half black, left half white outside the text.
  EXPECT_EQ(ex.At(ex.Px(11.5), ex.Px(0.3)), ex.Pixel(Black));
  EXPECT_EQ(ex.At(ex.Px(0.5), ex.Px(0.3)), ex.Pixel(White));
  EXPECT_CLOSES_WITH_0(ex);
}

TEST(Examples, ShapesDrawsFillsBordersPolygonsAndLines) {
  Example ex("shapes");
  START(ex, "Shapes");
  const unsigned long black = ex.Pixel(Black), white = ex.Pixel(White);
  ASSERT_TRUE(ex.WaitForPixel(ex.Px(12.25), ex.Px(7.25), ex.Pixel(Yellow))) << "the last line is missing";
  // Rectangles: filled to their corners; the second one with a black outline.
  EXPECT_EQ(ex.At(ex.Px(2.0), ex.Px(2.0)), ex.Pixel(Blue));
  EXPECT_EQ(ex.At(ex.Px(1.0), ex.Px(1.0)), ex.Pixel(Blue));
  EXPECT_EQ(ex.At(ex.Px(4.0), ex.Px(1.0)), black);
  EXPECT_EQ(ex.At(ex.Px(4.0) + 1, ex.Px(1.0) + 1), ex.Pixel(Blue));
  // Ellipses: red inside, white in the corners of their boxes; only the
  // second one has any black.
  EXPECT_EQ(ex.At(ex.Px(8.5), ex.Px(2.0)), ex.Pixel(Red));
  EXPECT_EQ(ex.At(ex.Px(7.0) + 3, ex.Px(1.0) + 3), white);
  EXPECT_EQ(ex.X().Capture(ex.Win(), ex.Px(7.0), ex.Px(1.0), ex.Px(3.0) + 1, ex.Px(2.0) + 1).Count(black), 0);
  EXPECT_GT(ex.X().Capture(ex.Win(), ex.Px(10.5), ex.Px(1.0), ex.Px(3.0) + 1, ex.Px(2.0) + 1).Count(black),
            100);
  // Triangle filled green; the star's tips magenta and its middle empty
  // (polygons are filled by the even-odd rule).
  EXPECT_EQ(ex.At(ex.Px(3.0), ex.Px(6.0)), ex.Pixel(Green));
  EXPECT_EQ(ex.At(ex.Px(8.0), ex.Px(4.6)), ex.Pixel(Magenta));
  EXPECT_EQ(ex.At(ex.Px(8.0), ex.Px(5.9)), white);
  // Lines: the wide ones cover their midpoints; the thin one passes near its.
  EXPECT_EQ(ex.At(ex.Px(12.25), ex.Px(5.75)), ex.Pixel(Cyan));
  EXPECT_GT(ex.X().Capture(ex.Win(), ex.Px(12.25) - 2, ex.Px(4.25) - 2, 5, 5).Count(black), 0);
  // A thick line is about 0.3 cm across: at its midpoint a vertical run of
  // yellow of roughly 20 pixels.
  int run = ex.X().Capture(ex.Win(), ex.Px(12.25), ex.Px(7.25) - 30, 1, 60).Count(ex.Pixel(Yellow));
  EXPECT_GE(run, 19);
  EXPECT_LE(run, 23);
  EXPECT_CLOSES_WITH_0(ex);
}

TEST(Examples, ClickDotsDrawsADotAtEachClickInTheNextColour) {
  Example ex("click_dots");
  START(ex, "Click dots");
  ASSERT_TRUE(ex.WaitForClicks());
  EXPECT_EQ(ex.At(150, 200), ex.Pixel(White));
  ASSERT_TRUE(ex.X().ClickInWindow(ex.Win(), 150, 200));
  EXPECT_TRUE(ex.WaitForPixel(150, 200, ex.Pixel(Red)));
  ASSERT_TRUE(ex.X().ClickInWindow(ex.Win(), 400, 300));
  EXPECT_TRUE(ex.WaitForPixel(400, 300, ex.Pixel(Green)));
  // A dot is 0.5 cm across, centred on the click.
  EXPECT_EQ(ex.At(400 + 14, 300), ex.Pixel(Green));
  EXPECT_EQ(ex.At(400 + 20, 300), ex.Pixel(White));
  EXPECT_EQ(ex.At(150, 200), ex.Pixel(Red));
  EXPECT_CLOSES_WITH_0(ex);
}

TEST(Examples, TimerAnimationMovesUntilAClickStopsIt) {
  Example ex("timer_animation");
  START(ex, "Timer animation");
  ASSERT_TRUE(ex.WaitForClicks());
  // The ball's strip: 1.5 to 2.5 cm from the top, the window's full width.
  auto strip = [&] { return ex.X().Capture(ex.Win(), 0, ex.Px(1.5), ex.Px(12.0), ex.Px(1.0) + 1); };
  rig::Image first = strip();
  ASSERT_TRUE(first.ok);
  EXPECT_GT(first.Count(ex.Pixel(Red)), 2000) << "a ball 1 cm across";
  EXPECT_TRUE(rig::WaitFor([&] { return strip().pixels != first.pixels; }, 2000)) << "the ball does not move";

  ASSERT_TRUE(ex.X().ClickInWindow(ex.Win(), ex.Px(6.0), ex.Px(3.0)));
  ASSERT_TRUE(rig::WaitFor([&] {
    return ex.X().Capture(ex.Win(), ex.Px(5.0), ex.Px(3.2), ex.Px(2.0), ex.Px(0.6)).Count(ex.Pixel(Black)) >
           0;
  })) << "no \"Stopped.\" after the click";
  rig::Image stopped = strip();
  rig::SleepMs(300);
  EXPECT_EQ(strip().pixels, stopped.pixels) << "the ball still moves after the click";
  EXPECT_GT(stopped.Count(ex.Pixel(Red)), 2000);
  EXPECT_CLOSES_WITH_0(ex);
}

TEST(Examples, PictureMoveDrawsThePictureAndMovesItToTheClick) {
  Example ex("picture_move");
  START(ex, "Picture move");
  ASSERT_TRUE(ex.WaitForClicks());
  const unsigned long face = ex.X().NamedPixel("#FFD700"), white = ex.Pixel(White);
  // The 48 x 48 picture starts at (1, 2) cm; its middle is the face's yellow.
  const int x0 = ex.Px(1.0), y0 = ex.Px(2.0);
  ASSERT_TRUE(ex.WaitForPixel(x0 + 24, y0 + 24, face));
  EXPECT_EQ(ex.At(x0, y0), white) << "the picture's corner is white";

  ASSERT_TRUE(ex.X().ClickInWindow(ex.Win(), 500, 300));
  EXPECT_TRUE(ex.WaitForPixel(500, 300, face)) << "the face is not centred on the click";
  EXPECT_EQ(ex.At(x0 + 24, y0 + 24), white) << "the old picture was not erased";
  EXPECT_EQ(ex.X().Capture(ex.Win(), x0, y0, 49, 49).Count(white), 49 * 49);
  EXPECT_CLOSES_WITH_0(ex);
}

TEST(Examples, PictureMoveWithoutItsFileSaysSoAndStillEndsCleanly) {
  char dir_template[] = "/tmp/slate-examples-XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  {
    Example ex("picture_move", dir_template);
    START(ex, "Picture move");
    EXPECT_TRUE(ex.Proc().WaitForOutput("Could not load face.xpm", 5000, true));
    EXPECT_CLOSES_WITH_0(ex);
  }
  fs::remove_all(dir_template);
}

}  // namespace
