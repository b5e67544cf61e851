// The modal alert box, run in child applications on a private X server and
// driven from outside: its layout and contents as another client sees them,
// the "O K" button and the window manager's close request through XTest and
// client messages, and the alerts that SimpleWindow shows.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "rig.h"
#include "slate.h"

namespace {

constexpr int kTimeoutMs = 10000;

// Pixel values on the private server (24-bit true colour, like the main one).
struct Palette {
  explicit Palette(rig::XClient& x)
      : white(x.NamedPixel("white")),
        black(x.NamedPixel("black")),
        yellow(x.NamedPixel("yellow1")),
        face(x.NamedPixel("gray85")),
        light(x.NamedPixel("gray92")),
        dark(x.NamedPixel("gray41")) {}
  unsigned long white, black, yellow, face, light, dark;
};

Window OnlyChild(Display* dpy, Window parent) {
  Window root, up;
  Window* children = nullptr;
  unsigned int count = 0;
  Window child = 0;
  rig::XErrorTrap trap;
  if (XQueryTree(dpy, parent, &root, &up, &children, &count) && count == 1) child = children[0];
  if (children != nullptr) XFree(children);
  return child;
}

// One run of a test application that puts up an alert box.
class AlertRun {
 public:
  // Runs on server, or on the test program's private server.
  explicit AlertRun(rig::Xvfb* server = rig::PrivateServer())
      : server_(server), x_(server ? server->Name() : ":no-server"), palette_(x_) {}

  // Starts the application and waits until the box titled title is up with
  // its button drawn raised.
  ::testing::AssertionResult Start(const std::string& app, const std::string& title,
                                   std::map<std::string, std::string> env = {}) {
    if (server_ == nullptr || !x_.ok()) return ::testing::AssertionFailure() << "no X server";
    rig::ProcessOptions options;
    options.env = std::move(env);
    if (!process_.Start(rig::AppPath(app), server_->Env(options))) {
      return ::testing::AssertionFailure() << process_.Error();
    }
    return WaitForBox(title);
  }

  ::testing::AssertionResult WaitForBox(const std::string& title) {
    title_ = title;
    bool up = rig::WaitFor(
        [&] {
          box_ = x_.FindWindow(title);
          button_ = box_ ? OnlyChild(x_.dpy(), box_) : 0;
          return button_ != 0 && x_.PixelAt(button_, 0, 0) == palette_.light;
        },
        kTimeoutMs, 10);
    if (!up) {
      return ::testing::AssertionFailure()
             << "no alert box \"" << title << "\"; stdout: " << process_.Stdout()
             << " stderr: " << process_.Stderr();
    }
    return ::testing::AssertionSuccess();
  }

  // Root coordinates of a point of the box or of the button.
  void PointerToBox(int x, int y) {
    rig::Geometry g = x_.GetGeometry(box_);
    x_.MovePointer(g.inner_x + x, g.inner_y + y);
  }
  void PointerToButton(int x = 37, int y = 17) {
    rig::Geometry g = x_.GetGeometry(button_);
    x_.MovePointer(g.inner_x + x, g.inner_y + y);
  }

  // Waits until the button's corner shows the given edge colour.
  bool ButtonCornerBecomes(unsigned long pixel) {
    return rig::WaitFor([&] { return x_.PixelAt(button_, 0, 0) == pixel; }, kTimeoutMs);
  }

  bool BoxIsUp() { return x_.Exists(box_) && x_.Viewable(box_); }

  rig::ProcessResult Finish() { return process_.Wait(kTimeoutMs); }

  rig::XClient& X() { return x_; }
  rig::Process& Process() { return process_; }
  const Palette& Colours() const { return palette_; }
  Window Box() const { return box_; }
  Window Button() const { return button_; }

 private:
  rig::Xvfb* server_;
  rig::XClient x_;
  Palette palette_;
  rig::Process process_;
  std::string title_;
  Window box_ = 0;
  Window button_ = 0;
};

// Lets the application work through events that leave nothing to wait for.
void Settle() {
  rig::SleepMs(150);
}

// ---------------------------------------------------------------------------
// Layout, read from another client
// ---------------------------------------------------------------------------

// Right edge of the message's rectangle for a text w pixels wide, computed
// the way the box does it: corner plus extent in centimetres, then truncated.
int MessageRightEdge(int w, float ppcm) {
  float extent = static_cast<float>(static_cast<double>(w) / ppcm);
  float right = 1.75f + extent;
  return static_cast<int>(static_cast<double>(right) * ppcm);
}

struct LayoutCase {
  std::string name;
  std::string title;
  std::string message;
  int width;
  int x;
  int button_x;
};

class AlertLayoutTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(AlertLayoutTest, BoxAndButtonGeometry) {
  const LayoutCase& c = GetParam();
  AlertRun run;
  ASSERT_TRUE(run.Start("al_alert", c.title, {{"AL_TITLE", c.title}, {"AL_MESSAGE", c.message}}));
  ASSERT_EQ(run.X().ScreenWidth(), 1920);
  rig::Geometry box = run.X().GetGeometry(run.Box());
  ASSERT_TRUE(box.ok);
  EXPECT_EQ(box.x, c.x);
  EXPECT_EQ(box.y, 477);
  EXPECT_EQ(box.width, c.width);
  EXPECT_EQ(box.height, 126);
  EXPECT_EQ(box.border, 1);
  rig::Geometry button = run.X().GetGeometry(run.Button());
  EXPECT_EQ(button.x - box.inner_x, c.button_x);
  EXPECT_EQ(button.y - box.inner_y, 77);
  EXPECT_EQ(button.width, 75);
  EXPECT_EQ(button.height, 35);
  EXPECT_EQ(button.border, 1);
  EXPECT_EQ(run.X().GetName(run.Box()), c.title);
  EXPECT_EQ(run.X().GetIconName(run.Box()), c.title);

  ASSERT_TRUE(run.X().SendDeleteRequest(run.Box()));
  rig::ProcessResult r = run.Finish();
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
}

std::vector<LayoutCase> LayoutCases() {
  const std::string wideTitle(214, 'W');  // 1926 pixels: wider than the screen
  const std::string wideMessage(220, 'M');
  // A message that needs between 1900 and 1920 pixels with its margin.
  const std::string longMessage(198, 'm');
  const int needed = MessageRightEdge(198 * 9, 66.0f) + 15;
  return {
      {"Default", "Untitled", "Hello", 277, 822, 101},
      {"CopyRefusal", "SimpleWindow Copy Constructor", "SimpleWindow objects may not be copied!", 481, 720,
       203},
      {"Title21", std::string(21, 'T'), "Hi", 277, 822, 101},
      {"Title22", std::string(22, 'T'), "Hi", 208, 856, 67},
      {"TitleWiderThanScreen", wideTitle, "Hi", 1900, 10, 913},
      {"MessageWiderThanScreen", "Untitled", wideMessage, 1900, 10, 913},
      {"WideTitleLongMessage", wideTitle, longMessage, needed, 960 - needed / 2, needed / 2 - 37},
  };
}

INSTANTIATE_TEST_SUITE_P(Alert, AlertLayoutTest, testing::ValuesIn(LayoutCases()),
                         [](const testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

TEST(AlertTest, ContentsHintsAndRepaint) {
  AlertRun run;
  ASSERT_TRUE(run.Start("al_alert", "Untitled"));
  const Palette& p = run.Colours();
  rig::XClient& x = run.X();
  EXPECT_EQ(x.GetEventMask(run.Box()), AlertWindowEventMask);
  EXPECT_EQ(x.GetProtocols(run.Box()), std::vector<std::string>{"WM_DELETE_WINDOW"});
  rig::SizeHints hints = x.GetSizeHints(run.Box());
  EXPECT_TRUE(hints.HasMin() && !hints.HasMax());
  EXPECT_EQ(hints.min_width, 120);

  // The message is the last thing drawn.
  auto textDrawn = [&] { return x.Capture(run.Box(), 115, 48, 45, 15).Count(p.black) > 30; };
  auto expectContents = [&] {
    rig::Image image = x.Capture(run.Box());
    ASSERT_TRUE(image.ok);
    EXPECT_EQ(image.At(5, 5), p.white);
    EXPECT_EQ(image.At(40, 59), p.yellow);  // the disc, from (33, 33) to (85, 85)
    EXPECT_EQ(image.At(33, 59), p.black);   // its outline
    EXPECT_EQ(image.At(51, 36), p.yellow);  // the mark at (51, 34): clear bit on yellow
    EXPECT_EQ(image.At(52, 36), p.black);   // set bit
    EXPECT_EQ(image.At(55, 60), p.black);   // the dot
    int black = 0, white = 0;
    for (int yy = 48; yy < 63; ++yy) {
      for (int xx = 115; xx < 160; ++xx) {
        black += image.At(xx, yy) == p.black;
        white += image.At(xx, yy) == p.white;
      }
    }
    EXPECT_GT(black, 30);  // "Hello" on its white band
    EXPECT_EQ(black + white, 45 * 15);
    rig::Image button = x.Capture(run.Button());
    EXPECT_EQ(button.At(10, 0), p.light);
    EXPECT_EQ(button.At(74, 10), p.dark);
    EXPECT_EQ(button.At(10, 10), p.face);
  };
  ASSERT_TRUE(rig::WaitFor(textDrawn, kTimeoutMs));
  expectContents();

  // Covered and uncovered, the box and its button paint themselves again.
  Window cover = x.Cover(run.Box(), p.black);
  ASSERT_NE(cover, 0u);
  EXPECT_EQ(x.PixelAt(run.Box(), 40, 59), p.black);
  x.Uncover(cover);
  ASSERT_TRUE(rig::WaitFor([&] { return x.PixelAt(run.Button(), 10, 0) == p.light; }, kTimeoutMs));
  ASSERT_TRUE(rig::WaitFor(textDrawn, kTimeoutMs));
  expectContents();

  ASSERT_TRUE(x.ClickInWindow(run.Button(), 37, 17));
  rig::ProcessResult r = run.Finish();
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
}

// ---------------------------------------------------------------------------
// Behaviour, driven with XTest and client messages
// ---------------------------------------------------------------------------

TEST(AlertTest, OkClosesTheBoxThenRunsTheCallback) {
  AlertRun run;
  ASSERT_TRUE(run.Start("al_alert", "Untitled"));
  ASSERT_TRUE(run.X().ClickInWindow(run.Button(), 37, 17));
  rig::ProcessResult r = run.Finish();
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, "showing\ncallback: box gone\nreturned\n");
  EXPECT_FALSE(run.X().Exists(run.Box()));

  AlertRun quiet;
  ASSERT_TRUE(quiet.Start("al_alert", "Untitled", {{"AL_NO_CALLBACK", "1"}}));
  ASSERT_TRUE(quiet.X().ClickInWindow(quiet.Button(), 5, 5));
  r = quiet.Finish();
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, "showing\nreturned\n");
}

TEST(AlertTest, ReleasingOffTheButtonKeepsTheBoxOpen) {
  AlertRun run;
  ASSERT_TRUE(run.Start("al_alert", "Untitled"));
  const Palette& p = run.Colours();
  run.PointerToButton();
  run.X().Press(1);
  ASSERT_TRUE(run.ButtonCornerBecomes(p.dark)) << "not drawn pressed";
  EXPECT_EQ(run.X().PixelAt(run.Button(), 74, 10), p.light);

  run.PointerToBox(20, 110);  // inside the box, off the button
  run.X().Release(1);
  ASSERT_TRUE(run.ButtonCornerBecomes(p.light)) << "not drawn raised again";
  EXPECT_TRUE(run.BoxIsUp());
  EXPECT_EQ(run.Process().Stdout(), "showing\n");

  // A second press, released on the button this time, ends it.
  run.PointerToButton();
  run.X().Press(1);
  ASSERT_TRUE(run.ButtonCornerBecomes(p.dark));
  run.X().Release(1);
  rig::ProcessResult r = run.Finish();
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, "showing\ncallback: box gone\nreturned\n");
}

TEST(AlertTest, OtherButtonsAndClicksOutsideTheButtonChangeNothing) {
  AlertRun run;
  ASSERT_TRUE(run.Start("al_alert", "Untitled"));
  const Palette& p = run.Colours();
  rig::Geometry box = run.X().GetGeometry(run.Box());
  run.X().Click(box.inner_x + 20, box.inner_y + 110, 1);  // in the box, off the button
  run.X().Click(box.inner_x + 200, box.inner_y + 20, 3);
  run.X().Click(box.inner_x + 60, box.inner_y + 60, 1);  // on the exclamation mark

  // Held down, the press ignores other buttons' presses and releases.
  run.PointerToButton();
  run.X().Press(1);
  ASSERT_TRUE(run.ButtonCornerBecomes(p.dark));
  run.X().Press(3);
  run.X().Release(3);
  run.X().Press(2);
  run.X().Release(2);
  Settle();
  EXPECT_TRUE(run.BoxIsUp());
  EXPECT_EQ(run.X().PixelAt(run.Button(), 0, 0), p.dark);
  EXPECT_EQ(run.Process().Stdout(), "showing\n");

  run.X().Release(1);
  rig::ProcessResult r = run.Finish();
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, "showing\ncallback: box gone\nreturned\n");
}

TEST(AlertTest, WindowManagerCloseEndsTheBoxLikeOk) {
  AlertRun run;
  ASSERT_TRUE(run.Start("al_alert", "Untitled"));
  rig::XClient& x = run.X();
  const Palette& p = run.Colours();
  // Close requests to the button, or in the wrong format, are not for the box.
  ASSERT_TRUE(x.SendDeleteRequest(run.Button()));
  ASSERT_TRUE(x.SendClientMessage(run.Box(), x.Intern("WM_PROTOCOLS"), 16, x.Intern("WM_DELETE_WINDOW")));
  ASSERT_TRUE(x.SendClientMessage(run.Box(), x.Intern("WM_PROTOCOLS"), 8, x.Intern("WM_DELETE_WINDOW")));
  // A press after them shows that they have been handled, and dropped.
  run.PointerToButton();
  x.Press(1);
  ASSERT_TRUE(run.ButtonCornerBecomes(p.dark));
  run.PointerToBox(20, 110);
  x.Release(1);
  ASSERT_TRUE(run.ButtonCornerBecomes(p.light));
  EXPECT_TRUE(run.BoxIsUp());
  EXPECT_EQ(run.Process().Stdout(), "showing\n");

  ASSERT_TRUE(x.SendDeleteRequest(run.Box()));
  rig::ProcessResult r = run.Finish();
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, "showing\ncallback: box gone\nreturned\n");
}

TEST(AlertTest, EventsOfOtherWindowsAreDroppedWhileTheBoxIsUp) {
  if (!rig::PrivateServer()) GTEST_SKIP() << "no private X server";
  rig::XClient x(rig::PrivateServer()->Name());
  rig::Process app;
  ASSERT_TRUE(app.Start(rig::AppPath("al_backdrop"), rig::PrivateServer()->Env()));
  ASSERT_TRUE(app.WaitForOutput("ready"));
  ASSERT_TRUE(app.WaitForOutputCount("tick", 2)) << "the timer does not run";
  Window backdrop = x.WaitForWindow("Backdrop");
  ASSERT_NE(backdrop, 0u);
  ASSERT_TRUE(x.ClickInWindow(backdrop, 20, 20));

  // The box carries the window's title.
  Window alert = 0;
  ASSERT_TRUE(rig::WaitFor([&] {
    for (Window w : x.FindWindows("Backdrop")) {
      if (w != backdrop && OnlyChild(x.dpy(), w) != 0) alert = w;
    }
    return alert != 0;
  }));
  Window button = OnlyChild(x.dpy(), alert);
  Palette p(x);
  ASSERT_TRUE(rig::WaitFor([&] { return x.PixelAt(button, 0, 0) == p.light; }));

  // While the box is up: no timer ticks, no repaint, no close.
  const int ticks = rig::CountOf(app.Stdout(), "tick");
  const int refreshes = rig::CountOf(app.Stdout(), "refresh");
  x.Uncover(x.Cover(backdrop));
  ASSERT_TRUE(x.SendDeleteRequest(backdrop));
  Settle();
  EXPECT_EQ(rig::CountOf(app.Stdout(), "tick"), ticks);
  EXPECT_EQ(rig::CountOf(app.Stdout(), "refresh"), refreshes);
  EXPECT_EQ(rig::CountOf(app.Stdout(), "quit"), 0);

  ASSERT_TRUE(x.ClickInWindow(button, 37, 17));
  ASSERT_TRUE(app.WaitForOutput("message returned"));
  // Those events are gone for good: the window is still open, and the main
  // loop runs again.
  ASSERT_TRUE(app.WaitForOutputCount("tick", ticks + 2));
  EXPECT_EQ(rig::CountOf(app.Stdout(), "refresh"), refreshes);
  EXPECT_EQ(rig::CountOf(app.Stdout(), "quit"), 0);
  EXPECT_TRUE(x.Viewable(backdrop));
  x.Uncover(x.Cover(backdrop));
  EXPECT_TRUE(app.WaitForOutputCount("refresh", refreshes + 1));

  ASSERT_TRUE(x.SendDeleteRequest(backdrop));
  rig::ProcessResult r = app.Wait(kTimeoutMs);
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(rig::CountOf(r.out, "quit"), 1);
}

// ---------------------------------------------------------------------------
// Alerts shown by SimpleWindow
// ---------------------------------------------------------------------------

TEST(SimpleWindowAlertTest, MessageOnAWindowNeverOpened) {
  AlertRun run;
  ASSERT_TRUE(run.Start("al_message", "Never Opened"));
  rig::Geometry box = run.X().GetGeometry(run.Box());
  EXPECT_EQ(box.width, 277);
  EXPECT_EQ(run.X().FindWindows("Never Opened").size(), 1u);
  ASSERT_TRUE(run.X().ClickInWindow(run.Button(), 37, 17));
  rig::ProcessResult r = run.Finish();
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, "returned\n");
}

TEST(SimpleWindowAlertTest, CopyIsRefusedAndTheProgramEnds) {
  AlertRun run;
  ASSERT_TRUE(run.Start("al_copy", "SimpleWindow Copy Constructor"));
  rig::Geometry box = run.X().GetGeometry(run.Box());
  EXPECT_EQ(box.x, 720);
  EXPECT_EQ(box.width, 481);
  EXPECT_NE(run.X().FindWindow("Original"), 0u);
  ASSERT_TRUE(run.X().ClickInWindow(run.Button(), 37, 17));
  rig::ProcessResult r = run.Finish();
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, "copied\nquit\n");
  EXPECT_EQ(run.X().FindWindow("Original"), 0u);
}

TEST(SimpleWindowAlertTest, AssignmentShowsBothAlertsInOrderAndTheProgramEnds) {
  AlertRun run;
  ASSERT_TRUE(run.Start("al_assign", "SimpleWindow Assignment"));
  EXPECT_EQ(run.X().FindWindow("SimpleWindow Copy Constructor"), 0u);
  ASSERT_TRUE(run.X().ClickInWindow(run.Button(), 37, 17));
  ASSERT_TRUE(run.WaitForBox("SimpleWindow Copy Constructor"));
  EXPECT_EQ(run.X().FindWindow("SimpleWindow Assignment"), 0u);
  EXPECT_EQ(run.Process().Stdout(), "");
  ASSERT_TRUE(run.X().ClickInWindow(run.Button(), 37, 17));
  rig::ProcessResult r = run.Finish();
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, "assigned\nquit\n");
}

// ---------------------------------------------------------------------------
// Missing fonts, on a server whose font path holds a single font
// ---------------------------------------------------------------------------

class AlertFontTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start()) << server_.Error();
    char dir[] = "/tmp/slate-fonts-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    fonts_ = std::make_unique<rig::XClient>(server_.Name());
  }
  void TearDown() override {
    if (!dir_.empty()) {
      unlink((dir_ + "/font.pcf.gz").c_str());
      unlink((dir_ + "/fonts.dir").c_str());
      unlink((dir_ + "/fonts.alias").c_str());
      rmdir(dir_.c_str());
    }
  }

  // Leaves the server with one font, file, under the name alias. The path
  // stays set while fonts_ keeps a connection open (the server never resets).
  void OnlyFont(const std::string& file, const std::string& xlfd, const std::string& alias) {
    {
      // A copy: the server does not follow a symbolic link here.
      std::ifstream in("/usr/share/fonts/X11/misc/" + file, std::ios::binary);
      std::ofstream out(dir_ + "/font.pcf.gz", std::ios::binary);
      ASSERT_TRUE(in && out) << file;
      out << in.rdbuf();
    }
    std::ofstream(dir_ + "/fonts.dir") << "1\nfont.pcf.gz " << xlfd << "\n";
    std::ofstream(dir_ + "/fonts.alias") << alias << " " << xlfd << "\n";
    ASSERT_TRUE(fonts_ && fonts_->ok());
    char* path[] = {&dir_[0]};
    rig::XErrorTrap trap;
    XSetFontPath(fonts_->dpy(), path, 1);
    trap.Sync(fonts_->dpy());
    ASSERT_EQ(trap.Count(), 0) << trap.Describe();
  }

  rig::Xvfb server_;
  std::string dir_;
  std::unique_ptr<rig::XClient> fonts_;
};

TEST_F(AlertFontTest, WithoutTheBoldFontTheButtonHasNoLabelButWorks) {
  OnlyFont("9x15-ISO8859-1.pcf.gz", "-misc-fixed-medium-r-normal--15-140-75-75-c-90-iso8859-1", "9x15");
  AlertRun run(&server_);
  ASSERT_TRUE(run.Start("al_alert", "Untitled"));
  const Palette& p = run.Colours();
  ASSERT_TRUE(rig::WaitFor([&] { return run.X().Capture(run.Box(), 115, 48, 45, 15).Count(p.black) > 30; }));
  // The face is filled with the plain context's foreground; no label is drawn.
  rig::Image button = run.X().Capture(run.Button());
  ASSERT_TRUE(button.ok);
  EXPECT_EQ(button.At(10, 0), p.light);
  EXPECT_EQ(button.At(74, 10), p.dark);
  EXPECT_EQ(button.Count(p.face), 0);
  const std::string failure =
      "Unable to load the desired font: 9x15bold\nIn function: LoadFont\n"
      "Unable to allocate memory to a font structure.\n";
  EXPECT_EQ(run.Process().Stdout(), "showing\n" + failure);

  ASSERT_TRUE(run.X().ClickInWindow(run.Button(), 37, 17));
  rig::ProcessResult r = run.Finish();
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
  // Drawn on opening and when pressed.
  EXPECT_EQ(r.out, "showing\n" + failure + failure + "callback: box gone\nreturned\n");
}

TEST_F(AlertFontTest, WithoutTheWindowFontNoBoxIsShown) {
  OnlyFont("9x15B-ISO8859-1.pcf.gz", "-misc-fixed-bold-r-normal--15-140-75-75-c-90-iso8859-1", "9x15bold");
  rig::ProcessResult r = rig::Run(rig::AppPath("al_alert"), server_.Env(), kTimeoutMs);
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out,
            "showing\n"
            "Unable to load the desired font: 9x15\n"
            "\n\nAlertWindow::AddMessageToList\n"
            "Unable to obtain to allocate memory to a font structure\n"
            "Unable to load the desired font: 9x15\n"
            "\n\nAlertWindow::SetLocationAndSize\n"
            "Unable to allocate memory to a font structure\n"
            "returned\n");
}

}  // namespace
