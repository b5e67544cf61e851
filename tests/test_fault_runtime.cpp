// Faults inside the runtime: shutdown requests at awkward moments,
// callbacks that close their own window or every window from inside a
// timer or a click, and a picture file replaced by a bad one between loads.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "rig.h"

namespace {

namespace fs = std::filesystem;

rig::ProcessOptions Mode(const std::string& mode) {
  rig::ProcessOptions options;
  options.env["RL_MODE"] = mode;
  return options;
}

// Lines of output that start with prefix, in order.
std::vector<std::string> LinesStarting(const std::string& out, const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : rig::Lines(out))
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  return found;
}

// ---------------------------------------------------------------------------
// Terminate
// ---------------------------------------------------------------------------

using Lines = std::vector<std::string>;

TEST(TerminateFault, DuringApiMainClosesEveryWindowNewestFirstOnceTheLoopRuns) {
  rig::ProcessResult r = rig::Run(rig::AppPath("rl_terminate"), Mode("return"), 20000);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  // Terminate returns at once; the windows close from the main loop.
  EXPECT_EQ(rig::Lines(r.out),
            (Lines{"terminate", "after terminate", "quit 3", "quit 2", "quit 1", "apiend"}));
  EXPECT_EQ(r.err, "");
}

TEST(TerminateFault, DuringApiMainTheEventPumpClosesTheWindowsAndTheLibraryStaysUsable) {
  rig::XClient x;
  ASSERT_TRUE(x.ok());
  rig::Process app;
  ASSERT_TRUE(app.Start(rig::AppPath("rl_terminate"), Mode("pump")));
  ASSERT_TRUE(app.WaitForOutput("reopened\n", 20000)) << app.Stdout() << app.Stderr();
  EXPECT_EQ(rig::Lines(app.Stdout()),
            (Lines{"quit 3", "quit 2", "quit 1", "apiend", "open after pump 0", "reopened"}));
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(x.FindWindow("rl terminate " + std::to_string(n), false), 0u) << n;
  Window fourth = x.WaitForWindow("rl terminate 4");
  ASSERT_NE(fourth, 0u);
  ASSERT_TRUE(x.SendDeleteRequest(fourth));
  rig::ProcessResult r = app.Wait(20000);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(LinesStarting(r.out, "quit"), (Lines{"quit 3", "quit 2", "quit 1", "quit 4"}));
  EXPECT_EQ(rig::CountOf(r.out, "apiend"), 2);
  EXPECT_EQ(r.err, "");
}

TEST(TerminateFault, RequestedTwiceClosesEachWindowOnce) {
  rig::ProcessResult r = rig::Run(rig::AppPath("rl_terminate"), Mode("twice"), 20000);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(rig::Lines(r.out), (Lines{"terminated twice", "quit 3", "quit 2", "quit 1", "apiend"}));
  EXPECT_EQ(r.err, "");
}

TEST(TerminateFault, WithNothingOpenChangesNothing) {
  rig::XClient x;
  ASSERT_TRUE(x.ok());
  rig::Process app;
  ASSERT_TRUE(app.Start(rig::AppPath("rl_terminate"), Mode("none")));
  ASSERT_TRUE(app.WaitForOutput("opened\n", 20000)) << app.Stderr();
  Window w = x.WaitForWindow("rl terminate 1");
  ASSERT_NE(w, 0u);
  rig::SleepMs(200);
  EXPECT_TRUE(app.Running());
  EXPECT_TRUE(x.Viewable(w));
  ASSERT_TRUE(x.SendDeleteRequest(w));
  rig::ProcessResult r = app.Wait(20000);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(rig::Lines(r.out), (Lines{"terminated with nothing open", "opened", "quit 1", "apiend"}));
}

TEST(TerminateFault, FromATimerCallbackInsideTheMainLoop) {
  rig::ProcessResult r = rig::Run(rig::AppPath("rl_terminate"), Mode("timer"), 20000);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(rig::Lines(r.out),
            (Lines{"timer started", "terminate from timer", "quit 2", "quit 1", "apiend"}));
  EXPECT_EQ(r.err, "");
}

// ---------------------------------------------------------------------------
// Callbacks that close windows
// ---------------------------------------------------------------------------

// rl_closer with three windows ticking every millisecond.
class CloserTest : public ::testing::Test {
 protected:
  // Starts the program and finds the windows listed, those that its own
  // timers do not close at once.
  void Start(const std::string& mode, std::vector<int> stay = {1, 2, 3}) {
    ASSERT_NE(server_, nullptr);
    ASSERT_TRUE(x_.ok());
    ASSERT_TRUE(app_.Start(rig::AppPath("rl_closer"), server_->Env(Mode(mode))));
    ASSERT_TRUE(app_.WaitForOutput("ready\n", 20000)) << app_.Stderr();
    for (int n : stay) {
      windows_[n] = x_.WaitForWindow("rl closer " + std::to_string(n));
      ASSERT_NE(windows_[n], 0u) << n;
    }
  }
  std::string Title(int n) { return "rl closer " + std::to_string(n); }

  // Closes window n through the window manager, as the user would.
  void CloseFromOutside(int n) {
    ASSERT_TRUE(x_.SendDeleteRequest(windows_[n]));
    ASSERT_TRUE(x_.WaitForWindowGone(Title(n), 10000)) << n;
  }

  // Waits for the end; checks status and that no timer fired late.
  rig::ProcessResult Finish() {
    rig::ProcessResult r = app_.Wait(20000);
    EXPECT_TRUE(r.ExitedWith(0)) << r.Describe().substr(0, 2000);
    EXPECT_EQ(rig::CountOf(r.out, "LATE TICK"), 0) << r.out.substr(0, 2000);
    EXPECT_EQ(r.err, "");
    return r;
  }

  // Tick counts written at exit.
  std::vector<long> Ticks(const std::string& out) {
    long a = -1, b = -1, c = -1;
    for (const std::string& line : rig::Lines(out))
      std::sscanf(line.c_str(), "ticks %ld %ld %ld", &a, &b, &c);
    return {a, b, c};
  }

  // Clicks go to a server of this test program's own.
  rig::Xvfb* server_ = rig::PrivateServer();
  rig::XClient x_{server_ ? server_->Name() : ""};
  rig::Process app_;
  Window windows_[4] = {};
};

TEST_F(CloserTest, TimerClosesItsOwnWindowAndItsTimerNeverFiresAgain) {
  Start("timer-self", {2, 3});
  ASSERT_TRUE(app_.WaitForOutput("closed 1\n", 10000));
  ASSERT_TRUE(x_.WaitForWindowGone(Title(1), 10000));
  rig::SleepMs(100);  // a hundred more periods for a stray tick to show
  EXPECT_TRUE(x_.Viewable(windows_[2]));
  EXPECT_TRUE(x_.Viewable(windows_[3]));
  CloseFromOutside(2);
  CloseFromOutside(3);
  rig::ProcessResult r = Finish();
  std::vector<long> ticks = Ticks(r.out);
  EXPECT_EQ(ticks[0], 5);
  EXPECT_GT(ticks[1], 5);
  EXPECT_GT(ticks[2], 5);
  EXPECT_EQ(LinesStarting(r.out, "quit").size(), 2u);  // closed by its own code: no quit callback
}

TEST_F(CloserTest, TimerClosesAnotherWindowWhoseTimerIsRunning) {
  Start("timer-other", {1, 3});
  ASSERT_TRUE(app_.WaitForOutput("closed 2\n", 10000));
  ASSERT_TRUE(x_.WaitForWindowGone(Title(2), 10000));
  rig::SleepMs(100);
  CloseFromOutside(1);
  CloseFromOutside(3);
  rig::ProcessResult r = Finish();
  std::vector<long> ticks = Ticks(r.out);
  // Window 1 went on ticking for a hundred milliseconds and more; window 2
  // stopped when it was closed.
  EXPECT_GT(ticks[0], ticks[1] + 20);
}

TEST_F(CloserTest, TimerClosesEveryWindowAndTheProgramEnds) {
  Start("timer-all", {});
  rig::ProcessResult r = Finish();
  EXPECT_EQ(LinesStarting(r.out, "closed"), (Lines{"closed 1", "closed 2", "closed 3"}));
  EXPECT_EQ(LinesStarting(r.out, "quit").size(), 0u);
  EXPECT_EQ(Ticks(r.out)[0], 5);
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(x_.FindWindow(Title(n), false), 0u);
}

TEST_F(CloserTest, TimerClosesAndReopensItsOwnWindowFiftyTimes) {
  Start("timer-reopen", {2, 3});
  ASSERT_TRUE(app_.WaitForOutput("reopened 50\n", 20000)) << app_.Stdout();
  // Every reopening made a new X window: exactly one window titled 1 exists.
  ASSERT_TRUE(rig::WaitFor([&] { return x_.FindWindows(Title(1), false).size() == 1; }, 5000));
  windows_[1] = x_.FindWindow(Title(1));
  ASSERT_NE(windows_[1], 0u);
  // Its client holds one window per open SimpleWindow and one backing pixmap each.
  std::map<std::string, int> resources;
  ASSERT_TRUE(rig::WaitFor(
      [&] {
        resources = x_.ClientResources(windows_[1]);
        return resources["WINDOW"] == 3 && resources["PIXMAP"] == 3;
      },
      5000))
      << "WINDOW " << resources["WINDOW"] << ", PIXMAP " << resources["PIXMAP"];
  for (int n = 1; n <= 3; ++n) CloseFromOutside(n);
  rig::ProcessResult r = Finish();
  EXPECT_GE(Ticks(r.out)[0], 50);
}

TEST_F(CloserTest, ClickClosesItsOwnWindow) {
  Start("click-self");
  ASSERT_TRUE(x_.ClickInWindow(windows_[1], 50, 50));
  ASSERT_TRUE(app_.WaitForOutput("closed 1\n", 10000));
  ASSERT_TRUE(x_.WaitForWindowGone(Title(1), 10000));
  // A click that arrives for the closed window is dropped.
  x_.ClickInWindow(windows_[2], 50, 50);
  rig::SleepMs(50);
  CloseFromOutside(2);
  CloseFromOutside(3);
  Finish();
}

TEST_F(CloserTest, ClickClosesEveryWindowAndTheProgramEnds) {
  Start("click-all");
  // Several clicks in one burst: the ones after the first find no window.
  rig::Geometry g = x_.GetGeometry(windows_[1]);
  ASSERT_TRUE(g.ok);
  for (int i = 0; i < 5; ++i) x_.Click(g.inner_x + 20 + i, g.inner_y + 20);
  rig::ProcessResult r = Finish();
  EXPECT_EQ(LinesStarting(r.out, "closed"), (Lines{"closed 1", "closed 2", "closed 3"}));
}

// ---------------------------------------------------------------------------
// A picture replaced by a bad file between two loads
// ---------------------------------------------------------------------------

class PictureFault : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = rig::PrivateServer();
    ASSERT_NE(server_, nullptr);
    x_ = std::make_unique<rig::XClient>(server_->Name());
    ASSERT_TRUE(x_->ok());
    char name[] = "/tmp/rl-picture-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
    file_ = dir_ + "/picture.xpm";
    Replace(kGood);
    rig::ProcessOptions options;
    options.env["RL_PICTURE"] = file_;
    ASSERT_TRUE(app_.Start(rig::AppPath("rl_picture"), server_->Env(options)));
    ASSERT_TRUE(app_.WaitForOutput("ready\n", 20000)) << app_.Stderr();
    window_ = x_->WaitForWindow("rl picture");
    ASSERT_NE(window_, 0u);
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }

  // Sends a command and returns its reply line.
  std::string Ask(const std::string& command) {
    int before = static_cast<int>(rig::Lines(app_.Stdout()).size());
    if (!app_.WriteStdin(command + "\n")) return "(not sent)";
    rig::WaitFor([&] { return static_cast<int>(rig::Lines(app_.Stdout()).size()) > before; }, 10000, 2);
    std::vector<std::string> lines = rig::Lines(app_.Stdout());
    return static_cast<int>(lines.size()) > before ? lines[before] : "(no reply)";
  }

  // Puts new content at the picture's path (through a new file, as an editor would).
  void Replace(const std::string& content) {
    std::error_code ec;
    fs::remove_all(file_, ec);
    std::ofstream(file_ + ".new", std::ios::binary) << content;
    fs::rename(file_ + ".new", file_);
  }
  void ReplaceWithCopyOf(const std::string& source) {
    std::error_code ec;
    fs::remove_all(file_, ec);
    fs::copy_file(source, file_);
  }

  rig::Image Shot() { return x_->Capture(window_, 0, 0, 200, 200); }
  int PixmapCount() { return x_->ClientResources(window_)["PIXMAP"]; }

  static const std::string kGood;  // 4 x 2 pixels: red and blue columns
  rig::Xvfb* server_ = nullptr;
  std::unique_ptr<rig::XClient> x_;
  rig::Process app_;
  Window window_ = 0;
  std::string dir_, file_;
};

const std::string PictureFault::kGood =
    "/* XPM */\nstatic char *p[] = {\n\"4 2 2 1\",\n\"r c #FF0000\",\n\"b c "
    "#0000FF\",\n\"rrbb\",\n\"rrbb\"};\n";

TEST_F(PictureFault, BadFilesBetweenGoodLoadsFailCleanlyAndLeaveTheDrawnPicture) {
  unsigned long red = x_->NamedPixel("red"), blue = x_->NamedPixel("blue"), white = x_->NamedPixel("white");
  ASSERT_EQ(Ask("load"), "load 1");
  ASSERT_EQ(Ask("draw"), "draw 1");
  ASSERT_TRUE(
      rig::WaitFor([&] { return x_->PixelAt(window_, 0, 0) == red && x_->PixelAt(window_, 3, 1) == blue; }));
  int pixmaps = PixmapCount();
  ASSERT_GT(pixmaps, 0);

  // Damaged and missing files of every sort, each followed by a good load.
  std::string menu = SLATE_SOURCE_DIR "/app/pictures/menu.xpm";
  std::ifstream in(menu, std::ios::binary);
  std::string real((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(real.size(), 1000u);
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"empty", ""},
      {"text", "this is not a picture\n"},
      {"binary", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)},
      {"header only", "/* XPM */\nstatic char *p[] = {\n\"4 2 2 1\",\n"},
      {"truncated", real.substr(0, real.size() / 2)},
      {"cut in a colour", real.substr(0, real.find("c #") + 4)},
      {"bad colour",
       "/* XPM */\nstatic char *p[] = {\n\"4 2 2 1\",\n\"r c #GGHHII\",\n\"b c nosuchcolour\",\n"
       "\"rrbb\",\n\"rrbb\"};\n"},
      {"huge size", "/* XPM */\nstatic char *p[] = {\n\"100000 100000 1 1\",\n\"r c #FF0000\",\n\"rr\"};\n"},
      {"too few rows",
       "/* XPM */\nstatic char *p[] = {\n\"4 9 2 1\",\n\"r c #FF0000\",\n\"b c #0000FF\",\n\"rrbb\"};\n"},
      {"unknown pixel",
       "/* XPM */\nstatic char *p[] = {\n\"4 2 2 1\",\n\"r c #FF0000\",\n\"b c #0000FF\",\n"
       "\"rrzz\",\n\"rrzz\"};\n"},
      {"missing", ""},
      {"directory", ""},
  };
  for (int round = 0; round < 2; ++round) {
    for (const auto& [what, content] : bad) {
      if (what == "missing") {
        fs::remove(file_);
      } else if (what == "directory") {
        fs::remove(file_);
        fs::create_directory(file_);
      } else {
        Replace(content);
      }
      std::string reply = Ask("load");
      if (what == "unknown pixel" && reply == "load 1") {
        // libXpm may accept an unknown pixel character; then it must draw.
        EXPECT_EQ(Ask("draw"), "draw 1") << what;
      } else {
        EXPECT_EQ(reply, "load 0") << what;
        EXPECT_EQ(Ask("draw"), "draw 0") << what;
        EXPECT_EQ(Ask("erase"), "erase 0") << what;
        // What was drawn before stays.
        EXPECT_EQ(x_->PixelAt(window_, 0, 0), red) << what;
      }
      Replace(kGood);
      ASSERT_EQ(Ask("load"), "load 1") << "after " << what;
      ASSERT_EQ(Ask("draw"), "draw 1") << "after " << what;
    }
  }
  // Erase, then a good load of another picture: the new one is shown.
  ASSERT_EQ(Ask("erase"), "erase 1");
  EXPECT_TRUE(rig::WaitFor([&] { return x_->PixelAt(window_, 0, 0) == white; }));
  ReplaceWithCopyOf(menu);
  ASSERT_EQ(Ask("load"), "load 1");
  ASSERT_EQ(Ask("draw"), "draw 1");
  EXPECT_TRUE(rig::WaitFor([&] { return x_->PixelAt(window_, 0, 0) != white; }));
  // After all those failed and good loads the client holds as many pixmaps as before.
  EXPECT_TRUE(rig::WaitFor([&] { return PixmapCount() == pixmaps; }, 5000))
      << PixmapCount() << " vs " << pixmaps;
  ASSERT_TRUE(app_.WriteStdin("close\n"));
  rig::ProcessResult r = app_.Wait(20000);
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe().substr(0, 2000);
  EXPECT_EQ(r.err, "");
}

}  // namespace
