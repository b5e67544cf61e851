// Faults around the ZINDRA menu: its X server dies under it, and the
// window manager closes its windows in every order, the menu among them,
// or all at once.
#include <gtest/gtest.h>
// Xlib headers after GoogleTest, whose internals use the name None.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "menu_support.h"
#include "rig.h"

namespace {

// State letter of a process ('Z' once it has ended and waits to be reaped), or 0.
char ProcessState(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t paren = text.rfind(')');
  return paren == std::string::npos || paren + 2 >= text.size() ? 0 : text[paren + 2];
}

// zindra on a given server, driven from a client of that server.
class Menu {
 public:
  explicit Menu(const rig::Xvfb& server)
      : server_(server), x_(std::make_unique<rig::XClient>(server.Name())) {}

  bool Launch(const std::string& program = kZindra) {
    rig::ProcessOptions options;
    options.cwd = kZindraDir;
    return x_->ok() && process_.Start(program, server_.Env(options));
  }

  // Starts zindra and waits for the menu, once the loading screen is gone.
  bool Start() {
    if (!Launch()) return false;
    menu_ = x_->WaitForWindow("ZINDRA", 30000);
    return menu_ != 0 && x_->WaitForWindowGone("laoding", 10000);
  }

  // Clicks a button and waits for its window, which is then moved off the
  // menu so that the other buttons stay reachable.
  Window Open(const Button& b) {
    int px = static_cast<int>((b.left + b.right) / 2 * kScale);
    int py = static_cast<int>((b.top + b.bottom) / 2 * kScale);
    if (!x_->ClickInWindow(menu_, px, py)) return 0;
    Window w = x_->WaitForWindow(b.opens, 20000);
    if (!w) return 0;
    XMoveWindow(x_->dpy(), w, 1100, 100);
    x_->Sync();
    return rig::WaitFor([&] { return x_->GetGeometry(w).x == 1100; }, 10000) ? w : 0;
  }

  // Opens all five windows; false if one did not open.
  bool OpenAll(Window (&windows)[5]) {
    for (int i = 0; i < 5; ++i)
      if (!(windows[i] = Open(kButtons[i]))) return false;
    return true;
  }

  rig::XClient& x() { return *x_; }
  // Drops the connection to the server (before the server is killed: Xlib
  // ends a process whose connection breaks).
  void Disconnect() { x_.reset(); }
  rig::Process& process() { return process_; }
  Window menu() const { return menu_; }

 private:
  const rig::Xvfb& server_;
  std::unique_ptr<rig::XClient> x_;
  rig::Process process_;
  Window menu_ = 0;
};

// ---------------------------------------------------------------------------
// The X server dies
// ---------------------------------------------------------------------------

enum class Moment { kStartUp, kIdle, kWindowsOpen, kClicking, kTimers };

struct ServerDeath {
  Moment moment;
  const char* name;
};

class ServerDeathTest : public ::testing::TestWithParam<ServerDeath> {};

TEST_P(ServerDeathTest, ProgramEndsPromptlyWithoutSpinning) {
  const ServerDeath& scenario = GetParam();
  rig::Xvfb server;
  ASSERT_TRUE(server.Start()) << server.Error();
  Menu menu(server);
  switch (scenario.moment) {
    case Moment::kStartUp:
      // During the two seconds of the loading screen.
      ASSERT_TRUE(menu.Launch());
      ASSERT_NE(menu.x().WaitForWindow("laoding", 30000), 0u);
      break;
    case Moment::kIdle:
      ASSERT_TRUE(menu.Start());
      break;
    case Moment::kWindowsOpen: {
      ASSERT_TRUE(menu.Start());
      Window windows[5];
      ASSERT_TRUE(menu.OpenAll(windows));
      break;
    }
    case Moment::kClicking:
      ASSERT_TRUE(menu.Start());
      // Clicks queued for the menu when the server goes.
      for (int i = 0; i < 300; ++i) menu.x().ClickInWindow(menu.menu(), 200 + i, 300);
      break;
    case Moment::kTimers:
      // Five windows with 1 ms timers: the loop wakes every millisecond.
      ASSERT_TRUE(menu.Launch(rig::AppPath("rl_timers")));
      ASSERT_TRUE(menu.process().WaitForOutput("ready\n", 30000));
      break;
  }
  pid_t pid = menu.process().Pid();
  menu.Disconnect();
  rig::SleepMs(200);
  double cpu_before = rig::ProcessCpuSeconds(pid);
  double killed_at = rig::NowMs();
  ASSERT_EQ(kill(server.Pid(), SIGKILL), 0);

  // Watch the program end without reaping it, so that its final CPU time
  // can still be read.
  bool ended = rig::WaitFor([&] { return ProcessState(pid) == 'Z'; }, 20000, 2);
  double seconds = (rig::NowMs() - killed_at) / 1000;
  double cpu_after = rig::ProcessCpuSeconds(pid);
  rig::ProcessResult r = menu.process().Wait(1000);
  server.Stop();
  ASSERT_TRUE(ended) << "still running 20 s after its server died: " << r.Describe().substr(0, 1000);
  // Xlib's default handler of a broken connection reports it and exits.
  EXPECT_TRUE(r.exited) << r.Describe().substr(0, 1000);
  EXPECT_NE(r.err.find("X connection to"), std::string::npos) << r.err;
  EXPECT_LT(seconds, 5.0);
  EXPECT_LT(cpu_after - cpu_before, 1.0) << "the program spun after its server died";
  std::printf("%s: ended %.3f s after the server was killed, %.3f s of CPU meanwhile, status %d\n",
              scenario.name, seconds, cpu_after - cpu_before, r.exit_code);
}

INSTANTIATE_TEST_SUITE_P(Menu, ServerDeathTest,
                         ::testing::Values(ServerDeath{Moment::kStartUp, "StartUp"},
                                           ServerDeath{Moment::kIdle, "Idle"},
                                           ServerDeath{Moment::kWindowsOpen, "WindowsOpen"},
                                           ServerDeath{Moment::kClicking, "Clicking"},
                                           ServerDeath{Moment::kTimers, "Timers"}),
                         [](const ::testing::TestParamInfo<ServerDeath>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// The window manager closes the windows
// ---------------------------------------------------------------------------

class CloseOrderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = rig::PrivateServer();
    ASSERT_NE(server_, nullptr);
    menu_ = std::make_unique<Menu>(*server_);
    ASSERT_TRUE(menu_->Start()) << menu_->process().Stderr();
  }
  void TearDown() override { menu_.reset(); }

  rig::XClient& x() { return menu_->x(); }

  rig::Xvfb* server_ = nullptr;
  std::unique_ptr<Menu> menu_;
};

TEST_F(CloseOrderTest, SubWindowsClosedInEveryOrderWhileTheMenuStays) {
  std::vector<int> order = {0, 1, 2, 3, 4};
  int orders = 0;
  do {
    Window windows[5];
    ASSERT_TRUE(menu_->OpenAll(windows)) << "order " << orders << "; " << menu_->process().Stderr();
    for (size_t k = 0; k < order.size(); ++k) {
      int i = order[k];
      ASSERT_TRUE(x().SendDeleteRequest(windows[i]));
      ASSERT_TRUE(x().WaitForWindowGone(kButtons[i].opens, 10000)) << kButtons[i].opens;
      // The windows not yet closed are untouched.
      for (size_t later = k + 1; later < order.size(); ++later)
        ASSERT_TRUE(x().Viewable(windows[order[later]])) << kButtons[order[later]].opens;
    }
    ASSERT_TRUE(x().Viewable(menu_->menu()));
    ++orders;
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(orders, 120);
  ASSERT_TRUE(x().SendDeleteRequest(menu_->menu()));
  rig::ProcessResult r = menu_->process().Wait(20000);
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe().substr(0, 1000);
  EXPECT_EQ(rig::CountOf(r.out, "n"), 5 * 120);
  EXPECT_EQ(r.err, "");
}

// The menu closed first, second, ... last among all six windows: the
// program goes on while any window is open and ends with the last one.
class MenuPositionTest : public CloseOrderTest, public ::testing::WithParamInterface<int> {};

TEST_P(MenuPositionTest, ProgramEndsWithItsLastWindowWhereverTheMenuIsClosed) {
  int menu_at = GetParam();
  Window windows[5];
  ASSERT_TRUE(menu_->OpenAll(windows));
  // Sub-windows from the last opened to the first, with the menu inserted.
  std::vector<std::pair<Window, std::string>> order;
  for (int i = 4; i >= 0; --i) order.push_back({windows[i], kButtons[i].opens});
  order.insert(order.begin() + menu_at, {menu_->menu(), "ZINDRA"});
  for (size_t k = 0; k < order.size(); ++k) {
    ASSERT_TRUE(menu_->process().Running()) << "ended before its last window closed";
    ASSERT_TRUE(x().SendDeleteRequest(order[k].first));
    ASSERT_TRUE(x().WaitForWindowGone(order[k].second, 10000)) << order[k].second;
  }
  rig::ProcessResult r = menu_->process().Wait(20000);
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe().substr(0, 1000);
  EXPECT_EQ(rig::CountOf(r.out, "n"), 5);
  EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Menu, MenuPositionTest, ::testing::Range(0, 6));

TEST_F(CloseOrderTest, AllSixClosedAtOnceAndEachAskedTwice) {
  Window windows[5];
  ASSERT_TRUE(menu_->OpenAll(windows));
  std::vector<Window> all(windows, windows + 5);
  all.push_back(menu_->menu());
  // Twelve close requests in one burst: every second one is for a window
  // that the first has already closed.
  Display* dpy = x().dpy();
  Atom protocols = x().Intern("WM_PROTOCOLS"), remove = x().Intern("WM_DELETE_WINDOW");
  {
    rig::XErrorTrap trap;
    for (int copy = 0; copy < 2; ++copy) {
      for (Window w : all) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = w;
        event.xclient.message_type = protocols;
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(remove);
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(dpy, w, False, NoEventMask, &event);
      }
    }
    XSync(dpy, False);
  }
  rig::ProcessResult r = menu_->process().Wait(20000);
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe().substr(0, 1000);
  EXPECT_EQ(r.err, "");
  for (const Button& b : kButtons) EXPECT_EQ(x().FindWindow(b.opens, false), 0u) << b.opens;
  EXPECT_EQ(x().FindWindow("ZINDRA", false), 0u);
}

// ---------------------------------------------------------------------------
// The server lacks the text font
// ---------------------------------------------------------------------------

// Every text of the menu is drawn in "9x15". Without it each drawing reports
// the font and asks for shutdown: the loading screen closes early, the menu
// (opened later) keeps working, and the first text drawn while the menu is
// up closes everything and ends the program normally.
TEST(MenuWithoutItsFont, EachTextAsksForShutdownAndTheProgramEndsCleanly) {
  rig::Xvfb server;
  ASSERT_TRUE(server.Start()) << server.Error();
  char dir[] = "/tmp/rl-fonts-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string fonts_dir = dir;
  std::ofstream(fonts_dir + "/fonts.dir") << "0\n";
  // The font path stays as set while this connection is open.
  rig::XClient fonts(server.Name());
  ASSERT_TRUE(fonts.ok());
  {
    char* path[] = {&fonts_dir[0]};
    rig::XErrorTrap trap;
    XSetFontPath(fonts.dpy(), path, 1);
    trap.Sync(fonts.dpy());
    ASSERT_EQ(trap.Count(), 0) << trap.Describe();
  }
  const std::string kMissing = "Unable to load the desired font: 9x15\n";
  {
    Menu menu(server);
    ASSERT_TRUE(menu.Start()) << menu.process().Stdout() << menu.process().Stderr();
    ASSERT_EQ(menu.process().Stdout(), kMissing + kMissing);  // the loading screen's two texts
    Window options = menu.Open(kButtons[2]);                  // holds no text
    ASSERT_NE(options, 0u);
    const Button& scores = kButtons[1];
    ASSERT_TRUE(menu.x().ClickInWindow(menu.menu(),
                                       static_cast<int>((scores.left + scores.right) / 2 * kScale),
                                       static_cast<int>((scores.top + scores.bottom) / 2 * kScale)));
    rig::ProcessResult r = menu.process().Wait(20000);
    EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
    EXPECT_EQ(rig::CountOf(r.out, kMissing), 3) << r.out;
    // The two clicks, then the high-score text's failure.
    ASSERT_GT(r.out.size(), 3 * kMissing.size()) << r.out;
    std::string clicks = r.out.substr(0, r.out.size() - kMissing.size()).substr(2 * kMissing.size());
    EXPECT_EQ(rig::CountOf(clicks, "t"), 2) << r.out;
    EXPECT_EQ(rig::CountOf(clicks, "n"), 2) << r.out;
    EXPECT_EQ(r.err, "");
    for (const char* title : {"ZINDRA", "OPTIONS", "HIGHSCORES", "laoding"})
      EXPECT_EQ(menu.x().FindWindow(title, false), 0u) << title;
  }
  std::remove((fonts_dir + "/fonts.dir").c_str());
  rmdir(dir);
}

}  // namespace
