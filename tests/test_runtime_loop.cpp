// The main loop, as applications live it: test
// applications (tests/apps/rt_*.cpp) run as child processes on a private
// Xvfb and are driven from another client with real clicks, the window
// manager's close request and covering windows; their stdout tells what
// their callbacks saw.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "rig.h"

namespace {

class Loop : public ::testing::Test {
 protected:
  void SetUp() override {
    server = rig::PrivateServer();
    ASSERT_NE(server, nullptr);
    xc = std::make_unique<rig::XClient>(server->Name());
    ASSERT_TRUE(xc->ok());
  }
  // Starts a test application on the private server and waits for its "ready".
  bool Start(rig::Process& p, const std::string& app, const std::string& mode = "",
             std::map<std::string, std::string> env = {}) {
    rig::ProcessOptions o = server->Env();
    if (!mode.empty()) o.env["RT_MODE"] = mode;
    for (auto& kv : env) o.env[kv.first] = kv.second;
    if (!p.Start(rig::AppPath(app), o)) {
      ADD_FAILURE() << p.Error();
      return false;
    }
    if (!p.WaitForOutput("ready\n", 10000)) {
      ADD_FAILURE() << app << " did not get ready: " << p.Stdout() << p.Stderr();
      return false;
    }
    return true;
  }
  // Waits until the application has selected mouse buttons on w: a click
  // sent before that would reach no client.
  bool WaitForButtons(Window w) {
    return rig::WaitFor([&] { return (xc->GetEventMask(w) & ButtonPressMask) && (xc->GetEventMask(w) & ButtonReleaseMask); },
                        5000);
  }
  rig::Xvfb* server = nullptr;
  std::unique_ptr<rig::XClient> xc;
};

// ---------------------------------------------------------------------------
// Close requests, ApiEnd and the shutdown request
// ---------------------------------------------------------------------------

TEST_F(Loop, CloseRequestsRunQuitCallbacksAndApiEndOnce) {
  rig::Process p;
  ASSERT_TRUE(Start(p, "rt_close"));
  Window a = xc->WaitForWindow("rt close A"), b = xc->WaitForWindow("rt close B");
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  // A client message that is not a close request changes nothing.
  ASSERT_TRUE(xc->SendClientMessage(a, xc->Intern("WM_PROTOCOLS"), 16, 1));
  ASSERT_TRUE(xc->SendClientMessage(a, xc->Intern("WM_TAKE_FOCUS"), 32, static_cast<long>(xc->Intern("WM_DELETE_WINDOW"))));
  rig::SleepMs(200);
  EXPECT_TRUE(xc->Viewable(a));
  ASSERT_TRUE(xc->SendDeleteRequest(a));
  EXPECT_TRUE(p.WaitForOutput("quit A\n"));
  EXPECT_TRUE(xc->WaitForWindowGone("rt close A"));
  EXPECT_TRUE(xc->Viewable(b));
  EXPECT_TRUE(p.Running());
  ASSERT_TRUE(xc->SendDeleteRequest(b));
  auto r = p.Wait(5000);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, "ready\nquit A\nquit B\nApiEnd called\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(Loop, TerminateWithNoWindowChangesNothing) {
  rig::ProcessOptions o = server->Env();
  o.env["RT_MODE"] = "terminate-none";
  auto r = rig::Run(rig::AppPath("rt_close"), o);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, "after Terminate\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(Loop, TerminateClosesThreeWindowsNewestFirst) {
  const std::string expected_tail = "quit C\nquit B\nquit A\nApiEnd called\n";
  struct Case {
    const char* mode;
    std::string out;
  } cases[] = {
      // Handled by the main loop once ApiMain has returned.
      {"terminate-main", "after Terminate\nready\n" + expected_tail},
      // Handled by the event pump while ApiMain still runs.
      {"terminate-pump", "after Terminate\n" + expected_tail + "status A 0\nready\n"},
      // Asked for by a timer callback under the main loop.
      {"terminate-timer", "ready\ntick: Terminate\nafter Terminate\n" + expected_tail},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    rig::ProcessOptions o = server->Env();
    o.env["RT_MODE"] = c.mode;
    auto r = rig::Run(rig::AppPath("rt_close"), o);
    ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
  }
}

// A window destroyed by another client:
// when another client destroys an application's window, the server's (real,
// not sent) DestroyNotify closes it like a close request, without destroying
// it a second time (which would be a fatal BadWindow error).
TEST_F(Loop, WindowDestroyedByAnotherClientClosesCleanly) {
  rig::Process p;
  ASSERT_TRUE(Start(p, "rt_idle"));
  Window w = xc->WaitForWindow("rt idle");
  ASSERT_NE(w, 0u);
  XDestroyWindow(xc->dpy(), w);
  xc->Sync();
  auto r = p.Wait(5000);
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, "ready\nquit ticks 0\n");
  EXPECT_EQ(r.err, "");
}

// ---------------------------------------------------------------------------
// Clicks
// ---------------------------------------------------------------------------

TEST_F(Loop, ClicksArriveInCentimetresInOrderAlsoAfterReopening) {
  rig::Process p;
  ASSERT_TRUE(Start(p, "rt_click"));
  EXPECT_NE(p.Stdout().find("ppc 66\nopen 1\n"), std::string::npos) << p.Stdout();
  Window w = xc->WaitForWindow("rt click");
  ASSERT_NE(w, 0u);
  auto g = xc->GetGeometry(w);
  EXPECT_EQ(g.x, 66);
  EXPECT_EQ(g.width, 660);
  ASSERT_TRUE(WaitForButtons(w));
  // Two quick clicks: handled one event per pass, in order.
  ASSERT_TRUE(xc->ClickInWindow(w, 66, 33));
  ASSERT_TRUE(xc->ClickInWindow(w, 132, 99));
  EXPECT_TRUE(p.WaitForOutput("click 2 "));
  // A press alone reaches no callback; the release delivers the click.
  xc->MovePointer(g.inner_x + 330, g.inner_y + 165);
  xc->Press();
  rig::SleepMs(200);
  EXPECT_EQ(p.Stdout().find("click 3"), std::string::npos);
  xc->Release();
  // The third click closes the window and opens it again.
  ASSERT_TRUE(p.WaitForOutput("reopened\n"));
  Window w2 = 0;
  EXPECT_TRUE(rig::WaitFor([&] { return (w2 = xc->FindWindow("rt click")) != 0 && w2 != w; }, 5000));
  ASSERT_NE(w2, 0u);
  ASSERT_TRUE(WaitForButtons(w2));  // selected again by Open, without a new SetMouseClickCallback
  ASSERT_TRUE(xc->ClickInWindow(w2, 33, 66));
  EXPECT_TRUE(p.WaitForOutput("click 4 "));
  ASSERT_TRUE(xc->ClickInWindow(w2, 10, 10));
  auto r = p.Wait(5000);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out,
            "ppc 66\nopen 1\nready\n"
            "click 1 1.0000 0.5000\n"
            "click 2 2.0000 1.5000\n"
            "click 3 5.0000 2.5000\nclose 0\nopen 1\nreopened\n"
            "click 4 0.5000 1.0000\n"
            "click 5 0.1515 0.1515\nclose 0\n");  // closed by the application: no ApiEnd
  EXPECT_EQ(r.err, "");  // no X error from the callback set before Open
}

// ---------------------------------------------------------------------------
// Repainting from the backing pixmap
// ---------------------------------------------------------------------------

TEST_F(Loop, CoveredWindowIsRepaintedFromItsBackingPixmap) {
  rig::Process p;
  ASSERT_TRUE(Start(p, "rt_paint"));
  Window w = xc->WaitForWindow("rt paint"), cb = xc->WaitForWindow("rt paint cb");
  ASSERT_NE(w, 0u);
  ASSERT_NE(cb, 0u);
  unsigned long red = xc->NamedPixel("red1"), blue = xc->NamedPixel("blue1"), green = xc->NamedPixel("green1"),
                white = xc->NamedPixel("white"), black = xc->NamedPixel("black");
  ASSERT_TRUE(rig::WaitFor([&] { return xc->PixelAt(w, 130, 130) == red; }, 3000)) << std::hex << xc->PixelAt(w, 130, 130);
  EXPECT_EQ(xc->PixelAt(w, 330, 130), blue);
  EXPECT_EQ(xc->PixelAt(w, 30, 30), white);
  EXPECT_EQ(xc->PixelAt(cb, 130, 130), green);

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    Window cover = xc->Cover(w, black);
    Window cover2 = xc->Cover(cb, black);
    ASSERT_NE(cover, 0u);
    EXPECT_EQ(xc->PixelAt(cover, 130, 130), black);
    xc->Uncover(cover);
    xc->Uncover(cover2);
    // No refresh callback: the window copies its backing pixmap back.
    EXPECT_TRUE(rig::WaitFor([&] {
      auto image = xc->Capture(w);
      return image.ok && image.At(130, 130) == red && image.At(330, 130) == blue && image.At(30, 30) == white &&
             image.Count(black) <= 2 * (image.width + image.height);  // the border only
    }, 3000));
    // With a refresh callback: only the callback runs, nothing is copied, so
    // the server's white background shows (which also proves that the red
    // above was painted again by the application, not kept by the server).
    EXPECT_TRUE(p.WaitForOutput("refresh " + std::to_string(round + 1) + "\n"));
    rig::SleepMs(100);
    EXPECT_EQ(xc->PixelAt(cb, 130, 130), white);
  }
  EXPECT_EQ(rig::CountOf(p.Stdout(), "refresh"), 2);  // one per exposure series
  ASSERT_TRUE(xc->SendDeleteRequest(w));
  ASSERT_TRUE(xc->SendDeleteRequest(cb));
  auto r = p.Wait(5000);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.err, "");
}

// ---------------------------------------------------------------------------
// The main loop sleeps when there is nothing to do
// ---------------------------------------------------------------------------

double IdleCpuShare(rig::Process& p, int ms) {
  double cpu0 = p.CpuSeconds(), t0 = rig::NowMs();
  rig::SleepMs(ms);
  double cpu1 = p.CpuSeconds(), t1 = rig::NowMs();
  return (cpu1 - cpu0) / ((t1 - t0) / 1000.0);
}

TEST_F(Loop, IdleLoopDoesNotSpin) {
  rig::Process p;
  ASSERT_TRUE(Start(p, "rt_idle"));
  Window w = xc->WaitForWindow("rt idle");
  ASSERT_NE(w, 0u);
  rig::SleepMs(200);
  double share = IdleCpuShare(p, 1000);
  EXPECT_LT(share, 0.20) << "an idle program used " << share * 100 << "% of a core";
  RecordProperty("idle_cpu_percent", std::to_string(share * 100));
  // Still responsive after sleeping.
  ASSERT_TRUE(xc->SendDeleteRequest(w));
  auto r = p.Wait(5000);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, "ready\nquit ticks 0\n");
}

TEST_F(Loop, LoopWithASlowTimerSleepsBetweenTicks) {
  rig::Process p;
  ASSERT_TRUE(Start(p, "rt_idle", "", {{"RT_TIMER_MS", "200"}}));
  Window w = xc->WaitForWindow("rt idle");
  ASSERT_NE(w, 0u);
  double share = IdleCpuShare(p, 1000);
  EXPECT_LT(share, 0.20) << "a program with a 200 ms timer used " << share * 100 << "% of a core";
  ASSERT_TRUE(xc->SendDeleteRequest(w));
  auto r = p.Wait(5000);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  int ticks = -1;
  std::sscanf(r.out.c_str(), "ready\nquit ticks %d", &ticks);
  EXPECT_GE(ticks, 4);  // ~1.2 s at 200 ms
  EXPECT_LE(ticks, 8);
}

// ---------------------------------------------------------------------------
// Timers under the main loop
// ---------------------------------------------------------------------------

rig::ProcessResult RunTimerApp(rig::Xvfb* server, const std::string& mode, std::map<std::string, std::string> env = {}) {
  rig::ProcessOptions o = server->Env();
  o.env["RT_MODE"] = mode;
  for (auto& kv : env) o.env[kv.first] = kv.second;
  return rig::Run(rig::AppPath("rt_timer"), o, 20000);
}

TEST_F(Loop, TimerRateNeverEarly) {
  auto r = RunTimerApp(server, "rate", {{"RT_INTERVAL", "100"}, {"RT_TICKS", "10"}});
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  std::vector<unsigned int> times;
  for (const auto& line : rig::Lines(r.out)) {
    unsigned int t;
    if (std::sscanf(line.c_str(), "start %u", &t) == 1 || std::sscanf(line.c_str(), "tick %u", &t) == 1)
      times.push_back(t);
  }
  ASSERT_EQ(times.size(), 11u) << r.out;
  for (size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], 100u) << r.out;
  double mean = (times.back() - times.front()) / 10.0;
  EXPECT_LT(mean, 130.0) << r.out;
  EXPECT_NE(r.out.find("done\n"), std::string::npos);
  EXPECT_EQ(r.out.find("ApiEnd"), std::string::npos);  // closed by the application itself
  EXPECT_EQ(r.err, "");
}

TEST_F(Loop, ZeroIntervalTimerFiresOnEveryPass) {
  auto r = RunTimerApp(server, "zero");
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  int ticks = 0;
  ASSERT_EQ(std::sscanf(r.out.c_str(), "ready\nzero ticks %d", &ticks), 1) << r.out;
  EXPECT_GT(ticks, 300);  // many passes in 300 ms: the loop does not sleep while a timer is due
}

TEST_F(Loop, TimerCallbacksThatCloseTheirOwnWindow) {
  auto r = RunTimerApp(server, "close-own");
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, "ready\nA tick 1\nA close 0\nB tick 1\nB tick 2\nB tick 3\nB close 0\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(Loop, StoppedTimerStaysStopped) {
  auto r = RunTimerApp(server, "stop");
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, "ready\nA tick 1\nA tick 2\nA tick 3\nA ticks 3\n");
}

TEST_F(Loop, TimerCallbacksThatCloseAndOpenOtherWindows) {
  auto r = RunTimerApp(server, "open-close");
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_EQ(r.out, "ready\nA tick 1\nB close 0\nC open 1\nC tick 1\nA close 0\nC tick 2\nC tick 3\nC close 0\n");
  EXPECT_EQ(r.err, "");
}

}  // namespace
