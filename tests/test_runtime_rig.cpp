// Self-test of the test rig: child processes, the second X client, extra
// Xvfb servers, the X error trap and the no-display guard. Everything here
// uses plain Xlib or plain programs, not the library.
#include <X11/Xatom.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "rig.h"

namespace {

rig::ProcessResult Sh(const std::string& script, rig::ProcessOptions options = {}, int timeout_ms = 10000) {
  options.args.insert(options.args.begin(), {"-c", script});
  return rig::Run("/bin/sh", options, timeout_ms);
}

TEST(RigProcess, CapturesStatusAndBothStreams) {
  auto r = Sh("echo out; echo err >&2; exit 3");
  EXPECT_TRUE(r.ExitedWith(3)) << r.Describe();
  EXPECT_EQ(r.out, "out\n");
  EXPECT_EQ(r.err, "err\n");
}

TEST(RigProcess, LargeOutputDoesNotBlockTheChild) {
  auto r = Sh("head -c 3000000 /dev/zero | tr '\\0' a; head -c 1000000 /dev/zero | tr '\\0' b >&2");
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe().substr(0, 200);
  EXPECT_EQ(r.out.size(), 3000000u);
  EXPECT_EQ(r.err.size(), 1000000u);
}

TEST(RigProcess, TimeoutKillsAndReports) {
  double start = rig::NowMs();
  auto r = Sh("sleep 20", {}, 300);
  EXPECT_TRUE(r.started);
  EXPECT_TRUE(r.timed_out);
  EXPECT_FALSE(r.exited);
  EXPECT_LT(rig::NowMs() - start, 5000);
}

TEST(RigProcess, ReportsTheSignal) {
  auto r = Sh("kill -TERM $$");
  EXPECT_FALSE(r.exited);
  EXPECT_EQ(r.signal, SIGTERM);
}

TEST(RigProcess, EnvironmentAndWorkingDirectory) {
  rig::ProcessOptions o;
  o.env["RIG_FOO"] = "bar";
  o.unset_env = {"HOME"};
  o.cwd = "/tmp";
  auto r = Sh("echo \"$RIG_FOO\"; pwd; echo \"home=${HOME:-none}\"", o);
  EXPECT_EQ(r.out, "bar\n/tmp\nhome=none\n");
}

TEST(RigProcess, MissingProgramIsNotStarted) {
  rig::Process p;
  EXPECT_FALSE(p.Start("/nonexistent/program"));
  EXPECT_NE(p.Error().find("cannot start"), std::string::npos) << p.Error();
  auto r = rig::Run("/nonexistent/program");
  EXPECT_FALSE(r.started);
}

TEST(RigProcess, InteractWhileRunning) {
  rig::Process p;
  ASSERT_TRUE(p.Start("/bin/sh", rig::WithArgs({"-c", "echo ready; read x; echo got $x; echo warn >&2; read y; echo end"})));
  EXPECT_TRUE(p.Running());
  ASSERT_TRUE(p.WaitForOutput("ready\n"));
  EXPECT_TRUE(p.WriteStdin("hello\n"));
  EXPECT_TRUE(p.WaitForOutput("got hello"));
  EXPECT_TRUE(p.WaitForOutput("warn", 5000, true));
  EXPECT_FALSE(p.WaitForOutput("never", 100));
  p.CloseStdin();
  auto r = p.Wait(5000);
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_FALSE(p.Running());
}

TEST(RigProcess, CpuTimeOfBusyAndIdleChildren) {
  rig::Process busy, idle;
  ASSERT_TRUE(busy.Start("/bin/sh", rig::WithArgs({"-c", "while :; do :; done"})));
  ASSERT_TRUE(idle.Start("/bin/sleep", rig::WithArgs({"30"})));
  rig::SleepMs(600);
  EXPECT_GT(busy.CpuSeconds(), 0.2);
  EXPECT_LT(idle.CpuSeconds(), 0.05);
  EXPECT_GT(rig::ProcessRssKb(idle.Pid()), 0);
  busy.Signal(SIGKILL);
  auto r = busy.Wait(2000);
  EXPECT_EQ(r.signal, SIGKILL);
  EXPECT_LT(busy.CpuSeconds(), 0);  // gone
  // idle is killed by its destructor
}

TEST(RigHelpers, WaitForCountOfLinesAppPath) {
  int n = 0;
  EXPECT_TRUE(rig::WaitFor([&] { return ++n >= 3; }, 1000, 1));
  EXPECT_FALSE(rig::WaitFor([] { return false; }, 50, 5));
  EXPECT_EQ(rig::CountOf("a-b-a-a", "a"), 3);
  EXPECT_EQ(rig::Lines("x\ny\n"), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(rig::AppPath("rt_app"), std::string(SLATE_TEST_APP_DIR) + "/rt_app");
}

// The no-display guard: this very program, started without a display, must
// fail loudly before any test (and before the library's start-up) runs.
TEST(RigGuard, NoDisplayFailsLoudly) {
  rig::ProcessOptions o;
  o.env["DISPLAY"] = ":987";
  o.args = {"--gtest_filter=RigHelpers.*"};
  auto r = rig::Run("/proc/self/exe", o, 20000);
  ASSERT_TRUE(r.started) << r.Describe();
  EXPECT_TRUE(r.exited);
  EXPECT_NE(r.exit_code, 0);
  EXPECT_EQ(r.err.rfind("No display", 0), 0u) << r.err;
  EXPECT_EQ(r.out.find("[  PASSED  ]"), std::string::npos);
}

TEST(RigXErrorTrap, RecordsAndRestores) {
  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr);
  {
    rig::XErrorTrap outer;
    {
      rig::XErrorTrap trap;
      XMapWindow(d, 0x7ffffff0);  // no such window
      trap.Sync(d);
      EXPECT_EQ(trap.Count(), 1);
      EXPECT_EQ(trap.Errors()[0].error_code, BadWindow);
      EXPECT_NE(trap.Describe().find("BadWindow"), std::string::npos) << trap.Describe();
    }
    XUnmapWindow(d, 0x7ffffff0);
    outer.Sync(d);
    EXPECT_EQ(outer.Count(), 1);
  }
  XCloseDisplay(d);
}

// A plain Xlib window made by a connection of the test itself, to look at
// from the rig's XClient.
struct RawWindow {
  Display* d = XOpenDisplay(nullptr);
  Window w = 0;
  explicit RawWindow(const std::string& display_name, const std::string& title, int x, int y, int width, int height,
                     unsigned long background) {
    if (!display_name.empty()) {
      XCloseDisplay(d);
      d = XOpenDisplay(display_name.c_str());
    }
    w = XCreateSimpleWindow(d, DefaultRootWindow(d), x, y, width, height, 1, BlackPixel(d, 0), background);
    XSelectInput(d, w, ExposureMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask);
    XTextProperty name;
    char* list[] = {const_cast<char*>(title.c_str())};
    XStringListToTextProperty(list, 1, &name);
    XSizeHints* hints = XAllocSizeHints();
    hints->flags = PMinSize;
    hints->min_width = 120;
    hints->min_height = 0;
    XSetWMProperties(d, w, &name, &name, nullptr, 0, hints, nullptr, nullptr);
    XFree(hints);
    XFree(name.value);
    Atom del = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, w, &del, 1);
    XMapRaised(d, w);
    XEvent e;
    XWindowEvent(d, w, ExposureMask, &e);
  }
  ~RawWindow() { XCloseDisplay(d); }
  // Next event of the given type for the window, waiting up to timeout_ms.
  bool Next(int type, XEvent* e, int timeout_ms = 3000) {
    return rig::WaitFor([&] { return XCheckTypedWindowEvent(d, w, type, e) == True; }, timeout_ms, 2);
  }
};

TEST(RigXClient, FindsWindowsAndReadsTheirProperties) {
  rig::XClient xc;
  ASSERT_TRUE(xc.ok());
  std::string title = "rig raw " + std::to_string(getpid());
  EXPECT_EQ(xc.FindWindow(title), 0u);
  {
    RawWindow raw("", title, 30, 40, 200, 100, xc.NamedPixel("white"));
    Window w = xc.WaitForWindow(title, 3000);
    ASSERT_EQ(w, raw.w);
    auto g = xc.GetGeometry(w);
    ASSERT_TRUE(g.ok);
    EXPECT_EQ(g.x, 30);
    EXPECT_EQ(g.y, 40);
    EXPECT_EQ(g.inner_x, 31);
    EXPECT_EQ(g.width, 200);
    EXPECT_EQ(g.height, 100);
    EXPECT_EQ(g.border, 1);
    EXPECT_EQ(xc.GetName(w), title);
    EXPECT_EQ(xc.GetIconName(w), title);
    auto hints = xc.GetSizeHints(w);
    ASSERT_TRUE(hints.ok);
    EXPECT_TRUE(hints.HasMin());
    EXPECT_FALSE(hints.HasMax());
    EXPECT_EQ(hints.min_width, 120);
    EXPECT_EQ(xc.GetProtocols(w), std::vector<std::string>{"WM_DELETE_WINDOW"});
    EXPECT_TRUE(xc.Exists(w));
    EXPECT_TRUE(xc.Viewable(w));
    EXPECT_TRUE(xc.GetEventMask(w) & ButtonPressMask);
  }
  EXPECT_TRUE(xc.WaitForWindowGone(title, 3000));
  EXPECT_FALSE(xc.GetGeometry(0x7ffffff0).ok);  // trapped, not fatal
  EXPECT_EQ(xc.GetName(0x7ffffff0), "");
}

class RigPrivate : public ::testing::Test {
 protected:
  void SetUp() override {
    server = rig::PrivateServer();
    ASSERT_NE(server, nullptr);
  }
  rig::Xvfb* server = nullptr;
};

TEST_F(RigPrivate, PixelsClicksCloseRequestsAndCovering) {
  rig::XClient xc(server->Name());
  ASSERT_TRUE(xc.ok());
  unsigned long red = xc.NamedPixel("red1");
  RawWindow raw(server->Name(), "rig pixels", 100, 100, 300, 200, red);
  Window w = xc.WaitForWindow("rig pixels");
  ASSERT_EQ(w, raw.w);
  // Pixels of a window.
  auto image = xc.Capture(w);
  ASSERT_TRUE(image.ok);
  EXPECT_EQ(image.width, 300);
  EXPECT_EQ(image.Count(red), 300 * 200);
  EXPECT_EQ(xc.PixelAt(w, 10, 10), red);
  // Pixels of a pixmap made by another connection.
  Pixmap pm = XCreatePixmap(raw.d, w, 8, 8, DefaultDepth(raw.d, 0));
  GC gc = XCreateGC(raw.d, pm, 0, nullptr);
  XSetForeground(raw.d, gc, xc.NamedPixel("blue1"));
  XFillRectangle(raw.d, pm, gc, 0, 0, 8, 8);
  XSync(raw.d, False);
  EXPECT_EQ(xc.PixelAt(pm, 3, 3), xc.NamedPixel("blue1"));
  EXPECT_EQ(xc.Capture(pm).pixels.size(), 64u);
  EXPECT_GE(xc.ClientPixmapBytes(pm), 64u * 4u);
  EXPECT_EQ(xc.ClientResources(pm)["PIXMAP"], 1);
  XFreeGC(raw.d, gc);
  XFreePixmap(raw.d, pm);
  XSync(raw.d, False);
  EXPECT_EQ(xc.ClientResources(w)["PIXMAP"], 0);
  EXPECT_GE(xc.ClientCount(), 2);

  // A real click at a point inside the window.
  ASSERT_TRUE(xc.ClickInWindow(w, 66, 33));
  XEvent e;
  ASSERT_TRUE(raw.Next(ButtonPress, &e));
  ASSERT_TRUE(raw.Next(ButtonRelease, &e));
  EXPECT_EQ(e.xbutton.x, 66);
  EXPECT_EQ(e.xbutton.y, 33);
  EXPECT_EQ(e.xbutton.button, 1u);

  // The window manager's close request.
  ASSERT_TRUE(xc.SendDeleteRequest(w));
  ASSERT_TRUE(raw.Next(ClientMessage, &e));
  EXPECT_EQ(e.xclient.format, 32);
  EXPECT_EQ(e.xclient.message_type, XInternAtom(raw.d, "WM_PROTOCOLS", False));
  EXPECT_EQ(static_cast<Atom>(e.xclient.data.l[0]), XInternAtom(raw.d, "WM_DELETE_WINDOW", False));
  ASSERT_TRUE(xc.SendClientMessage(w, xc.Intern("WM_PROTOCOLS"), 8, 1));
  ASSERT_TRUE(raw.Next(ClientMessage, &e));
  EXPECT_EQ(e.xclient.format, 8);

  // Covering and uncovering exposes the window again.
  while (XCheckTypedWindowEvent(raw.d, w, Expose, &e)) {
  }
  Window cover = xc.Cover(w, xc.NamedPixel("green1"));
  ASSERT_NE(cover, 0u);
  EXPECT_EQ(xc.PixelAt(cover, 5, 5), xc.NamedPixel("green1"));
  xc.Uncover(cover);
  EXPECT_TRUE(raw.Next(Expose, &e));
  EXPECT_FALSE(xc.Exists(cover));
}

TEST(RigXvfb, StartsAtAnySizeAndStops) {
  rig::Xvfb tiny("20x20x24");
  ASSERT_TRUE(tiny.Start()) << tiny.Error();
  std::string name = tiny.Name();
  {
    rig::XClient xc(name);
    ASSERT_TRUE(xc.ok());
    EXPECT_EQ(xc.ScreenWidth(), 20);
    EXPECT_EQ(xc.ScreenHeight(), 20);
  }
  auto r = rig::Run("/bin/sh", tiny.Env(rig::WithArgs({"-c", "echo $DISPLAY"})));
  EXPECT_EQ(r.out, name + "\n");
  tiny.Stop();
  EXPECT_FALSE(tiny.ok());
  Display* d = XOpenDisplay(name.c_str());
  EXPECT_EQ(d, nullptr);
  if (d) XCloseDisplay(d);
}

}  // namespace
