// The window runtime in this process (ApiMain never completes here, so every
// window operation runs the event pump): conversions, the registry, event
// filtering and routing, what another client sees of a window, timers.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>

#include "rig.h"
#include "slate.h"

int apiEnds = 0;
int ApiEnd() {  // in place of the library's hook
  return ++apiEnds;
}

namespace {

int refreshes = 0, quits = 0, ticks = 0, depth = 0, deepest = 0, ticksA = 0, ticksB = 0;
Position lastClick(-1, -1);
std::vector<unsigned int> tickTimes;
SimpleWindow *nested = nullptr, *victim = nullptr;

Window Id(const SimpleWindow& w) {
  return WinManager.GetWindow(&w);
}

XEvent Event(int type, const SimpleWindow& w) {
  XEvent e{};
  e.type = type;
  e.xany.display = display;
  e.xany.window = Id(w);
  return e;
}

// Routes an event as the main loop does; -1 when the filter drops it.
int Route(XEvent e, SimpleWindow& w) {
  return FilterEvent(&e, &w) ? WinManager.DispatchMessage(e, &w) : -1;
}

// Runs the event pump (a pass per GetStatus) until done holds, with a last
// pass begun at least ms from now, or for 10 s at most; gives the number of
// passes. A loaded machine runs fewer passes: assert counts and orders.
int PumpUntil(SimpleWindow& w, int ms, bool (*done)() = nullptr) {
  double start = rig::Now();
  for (int passes = 1;; ++passes) {
    bool late = rig::Now() >= start + ms;
    w.GetStatus();
    if ((late && (!done || done())) || rig::Now() > start + 10000) return passes;
  }
}

TEST(Units, ConversionsTruncateAndPointsCompareExactly) {
  ASSERT_EQ(PixelsPerCentimeter, 66.0f);  // floor(1920 / 29)
  // 0.8 cm is 52 px where rounding would give 53; beyond int, saturated.
  EXPECT_EQ(std::vector<int>(
                {l_to_d(15.0f), l_to_d(0.78f), l_to_d(0.8f), l_to_d(-0.5f), l_to_d(1e30f), l_to_d(NAN)}),
            std::vector<int>({990, 51, 52, -33, INT_MAX, 0}));
  EXPECT_EQ(Position(d_to_l(990), d_to_l(33)), Position(15, 0.5f));
  EXPECT_EQ(l_to_d(Position(1, 0.5f)), GraphicPosition(66, 33));
  EXPECT_TRUE(Position(0.1f, 0.2f) + Position(0.2f, 0.1f) == Position(0.3f, 0.3f) &&
              Position(0.3f, 0) != Position(std::nextafter(0.3f, 1.0f), 0));  // no tolerance
  EXPECT_TRUE(Position(NAN, 0) != Position(NAN, 0) && !(Position(NAN, 0) == Position(NAN, 0)));
  EXPECT_EQ(GraphicPosition(3, 4) - GraphicPosition(5, 1), GraphicPosition(-2, 3));

  // 1440 / 29 is 49.66: 49 px/cm, where rounding would give 50. The probe's
  // window of 5 x 4 cm at (1, 1) cm.
  rig::Server narrow("1440x900x24");
  rig::Peer peer(narrow.Name());
  rig::Child probe({rig::Path("tests/probe")}, {narrow.Env()});
  Window a = peer.Find("probe A");
  EXPECT_EQ(peer.Geometry(a), std::vector<int>({49, 49, 245, 196, 1}));
  peer.Close(a);
  EXPECT_EQ(probe.Wait(), 0);
}

TEST(Units, PaletteAndDisplayFailures) {
  // A colour found under neither name stops the allocation there, with the
  // entries before it filled and those after it untouched.
  const char* names[] = {"black", "white", "no-red", "green1"};
  const char* fallbacks[] = {"black", "white", "no-red2", "green2"};
  unsigned long table[4] = {7, 7, 7, 7};
  testing::internal::CaptureStderr();
  EXPECT_EQ(WinManager.InitializeColors(names, fallbacks, table, 4), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "In function: WindowManager\n\tFailed to find a color match for colors: no-red and no-red2.\n"
            "\tClose down any applications that might be using\n\tthese colors and try again.\n");
  EXPECT_EQ(std::vector<unsigned long>(table, table + 4), std::vector<unsigned long>({0, 0xffffff, 7, 7}));
  const char* second[] = {"no-red", "red1"};
  EXPECT_EQ(WinManager.InitializeColors(second, second + 1, table, 1), 1);  // the fallback, silently
  EXPECT_EQ(table[0], 0xff0000u);

  // Without a display, or its colours, a program has failed: status 1.
  rig::Child nowhere({rig::Path("tests/probe")}, {"DISPLAY=:4999"});
  EXPECT_EQ(nowhere.Wait(), 1);
  EXPECT_EQ(nowhere.Err(), "ERROR opening display [:4999]\n");
  EXPECT_EQ(nowhere.Out(), "");
  rig::Server few("640x480x8");
  rig::Peer hog(few.Name());
  unsigned long cells[256];
  int taken = 0;
  while (taken < 256 &&
         XAllocColorCells(hog.D, DefaultColormap(hog.D, 0), False, nullptr, 0, cells + taken, 1))
    ++taken;
  XSync(hog.D, False);
  rig::Child colourless({rig::Path("tests/probe")}, {few.Env()});
  EXPECT_EQ(colourless.Wait(), 1);
  EXPECT_NE(colourless.Err().find("\tFailed to find a color match for colors: "), std::string::npos)
      << colourless.Err();
  EXPECT_EQ(colourless.Out(), "display usable at exit\n");  // ApiMain never ran
}

TEST(Registry, ClosingTwiceAndNeverOpened) {
  SimpleWindow a("reg a", 3, 3, Position(1, 1)), b("reg b", 3, 3, Position(5, 1)), never("never");
  for (SimpleWindow* w : {&a, &b}) ASSERT_EQ(w->Open(), WindowIsOpen);
  EXPECT_EQ(std::vector<int>({b.Close(), b.Close(), b.Open()}),
            std::vector<int>({WindowIsClosed, WindowOpenFailed, WindowOpenFailed}));
  EXPECT_EQ(WinManager.GetWindow(Id(b)), nullptr);
  EXPECT_EQ(WinManager.GetWindow(Id(a)), &a);
  testing::internal::CaptureStdout();
  EXPECT_EQ(never.Close(), WindowOpenFailed);
  EXPECT_EQ(WinManager.Unregister(0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Window requested to remove doesn't exist\nWindow requested to remove doesn't exist\n");
  EXPECT_EQ(apiEnds, 0);  // closing by the application's own hand does not end the program
}

TEST(Dispatch, FilterAndRoute) {
  SimpleWindow a("route a", 3, 2, Position(1, 1)), b("route b", 3, 2, Position(5, 1));
  for (SimpleWindow* w : {&a, &b}) {
    ASSERT_EQ(w->Open(), WindowIsOpen);
    w->SetQuitCallback([] { return ++quits; });
  }
  a.SetRefreshCallback([] { return ++refreshes; });
  a.SetMouseClickCallback([](const Position& p) { return (lastClick = p, 0); });
  refreshes = quits = apiEnds = 0;

  XEvent expose = Event(Expose, a);
  for (int count : {2, 1}) {
    expose.xexpose.count = count;
    EXPECT_EQ(Route(expose, a), -1);
  }
  expose.xexpose.count = 0;
  EXPECT_EQ(Route(expose, a), 1);
  EXPECT_EQ(refreshes, 1);

  XEvent configure = Event(ConfigureNotify, a);
  configure.xconfigure.x = configure.xconfigure.y = 66;
  configure.xconfigure.width = 198;
  configure.xconfigure.height = 132;
  EXPECT_EQ(Route(configure, a), -1);  // the geometry it already has
  configure.xconfigure.y = 99;
  EXPECT_EQ(Route(configure, a), 1);
  EXPECT_EQ(a.GetYPosition(), 1.5f);
  EXPECT_EQ(Route(Event(MappingNotify, a), a), -1);

  XEvent click = Event(ButtonPress, a);
  click.xbutton.x = 33;
  click.xbutton.y = 99;
  EXPECT_EQ(Route(click, a), 1);
  EXPECT_EQ(lastClick, Position(-1, -1));  // a press is no click
  click.type = ButtonRelease;
  EXPECT_EQ(Route(click, a), 1);
  EXPECT_EQ(lastClick, Position(0.5f, 1.5f));
  EXPECT_EQ(Route(Event(KeyPress, a), a), 2);

  XEvent close = Event(ClientMessage, b);
  close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  close.xclient.format = 16;
  EXPECT_EQ(Route(close, b), 2);  // only format 32 is a close request
  close.xclient.format = 32;
  EXPECT_EQ(Route(close, b), 1);
  EXPECT_EQ(b.GetStatus(), WindowIsClosed);
  EXPECT_EQ(Route(Event(DestroyNotify, a), a), 0);  // the last window
  EXPECT_EQ(a.GetStatus(), WindowIsClosed);
  EXPECT_EQ(quits, 2);
  EXPECT_EQ(apiEnds, 1);
}

TEST(Windows, WhatAnotherClientSees) {
  SimpleWindow w("seen window", 15, 12, Position(1, 1));
  rig::Peer peer;
  ASSERT_EQ(w.Open(), WindowIsOpen);
  XSync(display, False);
  Window id = Id(w);
  EXPECT_EQ(peer.Geometry(id), std::vector<int>({66, 66, 990, 792, 1}));
  EXPECT_EQ(w.GetPosition(), Position(1, 1));
  EXPECT_EQ(w.GetCenter(), Position(7.5f, 6));
  std::string ids = " -id " + std::to_string(id);
  EXPECT_EQ(rig::Sh("DISPLAY=" + std::string(DisplayString(display)) + " xprop" + ids +
                    " WM_NAME WM_ICON_NAME WM_PROTOCOLS WM_NORMAL_HINTS WM_HINTS"),
            "WM_NAME(STRING) = \"seen window\"\n"
            "WM_ICON_NAME(STRING) = \"seen window\"\n"
            "WM_PROTOCOLS(ATOM): protocols  WM_DELETE_WINDOW\n"
            "WM_NORMAL_HINTS(WM_SIZE_HINTS):\n"
            "\t\tprogram specified location: 66, 66\n"
            "\t\tprogram specified size: 990 by 792\n"
            "\t\tprogram specified minimum size: 120 by 0\n"
            "\t\twindow gravity: Static\n"
            "WM_HINTS(WM_HINTS):\n"
            "\t\tClient accepts input or input focus: True\n"
            "\t\tInitial state is Normal State.\n");
  auto mask = [&] {
    XWindowAttributes a;
    XGetWindowAttributes(display, Id(w), &a);
    return a.your_event_mask;
  };
  EXPECT_EQ(mask(), 0x28000);  // structure and exposure
  w.SetMouseClickCallback([](const Position&) { return 0; });
  EXPECT_EQ(mask(), 0x2800c);  // and buttons
  // The backing pixmap is the screen's size, and goes with the window.
  EXPECT_EQ(peer.PixmapBytes(id), 1920u * 1080 * 4);
  w.Close();
  XSync(display, False);
  EXPECT_EQ(peer.PixmapBytes(id), 0u);
  ASSERT_EQ(w.Open(), WindowIsOpen);
  EXPECT_EQ(mask(), 0x2800c);  // the click callback stays with the window
  w.Close();

  float scale = PixelsPerCentimeter;
  PixelsPerCentimeter = 37;
  SimpleWindow small("small window", 15, 12, Position(1, 1));
  small.Open();
  PixelsPerCentimeter = scale;
  EXPECT_EQ(peer.Geometry(Id(small)), std::vector<int>({37, 37, 555, 444, 1}));
}

TEST(Windows, NothingIsSentForWindowsThatAreNotOpen) {
  SimpleWindow never("never"), closed("closed", 3, 3);
  closed.Open();
  closed.Close();
  BitMap picture(closed);
  XSync(display, False);
  unsigned long before = NextRequest(display);
  for (SimpleWindow* w : {&never, &closed}) {
    w->RenderText(Position(1, 1), "x", Black, White);
    w->RenderRectangle(Position(0, 0), Position(1, 1), Red, true);
    w->RenderEllipse(Position(0, 0), Position(1, 1), Red, true);
    w->RenderPolygon(std::vector<Position>{{0, 0}, {1, 0}, {0, 1}}, 3, Red, true);
    w->RenderLine(Position(0, 0), Position(1, 1), Red, 0.1f);
    w->DrawBitMap(1, Position(0, 0), Position(1, 1));
    w->Erase(Position(0, 0), 1, 1);
    w->RefreshEvent();
    w->SetMouseClickCallback([](const Position&) { return 0; });
  }
  EXPECT_EQ(picture.Load(SLATE_SOURCE_DIR "/tests/pictures/quadrants_66x33.xpm"), PictureNotLoaded);
  EXPECT_EQ(NextRequest(display), before);
}

TEST(Windows, MovedResizedOrDestroyedByOthers) {
  SimpleWindow w("moved window", 5, 4, Position(1, 1));
  w.SetQuitCallback([] { return ++quits; });
  ASSERT_EQ(w.Open(), WindowIsOpen);
  rig::Peer peer;
  XMoveResizeWindow(peer.D, Id(w), 400, 300, 500, 401);
  XSync(peer.D, False);
  ASSERT_TRUE(rig::WaitFor([&] { return w.GetXPosition() == d_to_l(400); }));
  EXPECT_EQ(w.GetWidth(), d_to_l(500));
  // Reopened exactly where and as large as it was, though the centimetres
  // would convert back to a pixel less.
  ASSERT_EQ(l_to_d(d_to_l(400)), 399);
  w.Close();
  ASSERT_EQ(w.Open(), WindowIsOpen);
  EXPECT_EQ(peer.Geometry(Id(w)), std::vector<int>({400, 300, 500, 401, 1}));

  // Destroyed by another client: closed once, not destroyed again (that
  // would end this program with an X error).
  quits = 0;
  XSync(display, False);  // nothing of ours on its way to it
  XDestroyWindow(peer.D, Id(w));
  XSync(peer.D, False);
  ASSERT_TRUE(rig::WaitFor([&] { return w.GetStatus() == WindowIsClosed; }));
  XSync(display, False);
  EXPECT_EQ(quits, 1);
}

void CloseVictim() {
  if (victim->GetStatus() == WindowIsOpen) victim->Close();
}

// A window a program makes with new and deletes.
struct HeapWindow final : SimpleWindow {
  HeapWindow() : SimpleWindow("state", 3, 2, Position(1, 1)) {}
};

TEST(Windows, CallbacksWithState) {
  SimpleWindow pump("pump", 3, 2, Position(9, 1));
  pump.Open();
  auto* w = new HeapWindow;
  w->Open();
  int calls = 0;
  std::function<int()> counting = [&calls] { return ++calls; };
  w->SetTimerCallback(counting);
  w->StartTimer(0);
  PumpUntil(pump, 10);
  EXPECT_GT(calls, 0);
  w->SetTimerCallback(std::function<int()>());  // an empty one: no callback
  int before = calls;
  PumpUntil(pump, 10);
  EXPECT_EQ(calls, before);

  // Returning nothing, each destroys its own window while it runs, and
  // then reads what it captured.
  std::string said;
  w->SetTimerCallback([&, name = std::string("timer")] {
    delete w;
    said += name;
  });
  PumpUntil(pump, 10);
  w = new HeapWindow;
  w->Open();
  w->SetQuitCallback([&, name = std::string(" quit")] {
    delete w;
    said += name;
  });
  XEvent destroy = Event(DestroyNotify, *w);
  destroy.xany.send_event = True;
  EXPECT_EQ(Route(destroy, *w), 1);  // the pump window remains
  EXPECT_EQ(said, "timer quit");
  EXPECT_EQ(WinManager.GetWindow(Id(pump)), &pump);

  // A timer's callback deletes another window whose timer is due in the
  // same pass, later in the walk (newest first): that one is not polled.
  auto* older = new HeapWindow;
  auto* newer = new HeapWindow;
  older->Open();
  newer->Open();
  int olderCalls = 0, atDeletion = -1;
  older->SetTimerCallback([&olderCalls] { return ++olderCalls; });
  newer->SetTimerCallback([&] {
    if (older) {
      atDeletion = olderCalls;
      delete older;
      older = nullptr;
    }
    return 0;
  });
  older->StartTimer(0);
  newer->StartTimer(0);
  PumpUntil(pump, 0, [] { return true; });
  EXPECT_EQ(older, nullptr);
  EXPECT_EQ(olderCalls, atDeletion);
  delete newer;
}

TEST(Timers, UnderTheEventPump) {
  SimpleWindow a("timer a", 3, 2, Position(1, 1)), b("timer b", 3, 2, Position(5, 1));
  a.Open();
  b.Open();
  a.SetTimerCallback([] { return (tickTimes.push_back(GetMilliseconds()), 0); });
  a.StartTimer(20);
  nested = &b;
  b.SetTimerCallback([] {
    deepest = std::max(deepest, ++depth);
    nested->RenderRectangle(Position(0, 0), Position(1, 1), Blue, false);  // pumps
    --depth;
    return ++ticks;
  });
  b.StartTimer(0);
  ticks = 0;
  int passes = PumpUntil(a, 0, [] { return tickTimes.size() >= 4; });
  ASSERT_GE(tickTimes.size(), 4u);
  for (size_t i = 1; i < tickTimes.size(); ++i) EXPECT_GE(tickTimes[i] - tickTimes[i - 1], 20u);
  EXPECT_EQ(ticks, passes);  // an interval of 0 fires on every pass, beside the other timer
  EXPECT_EQ(deepest, 1);     // drawing from a timer does not start a pass inside the pass

  a.StopTimer();
  size_t stopped = tickTimes.size();
  b.Close();  // its timer goes with it
  int closed = ticks;
  PumpUntil(a, 50);  // both would be due again by the last pass
  EXPECT_EQ(tickTimes.size(), stopped);
  EXPECT_EQ(ticks, closed);

  // A timer that closes its own window, then one that closes another
  // window whose timer is due in the same pass (the newest is polled first).
  victim = &a;
  a.SetTimerCallback([] { return (CloseVictim(), ++ticksA); });
  a.StartTimer(0);
  PumpUntil(a, 20);
  EXPECT_EQ(ticksA, 1);
  for (SimpleWindow* w : {&a, &b}) w->Open();
  b.SetTimerCallback([] { return (CloseVictim(), ++ticksB); });
  a.StartTimer(0);
  b.StartTimer(0);
  ticksA = ticksB = 0;
  victim = &a;
  PumpUntil(a, 20);
  EXPECT_EQ(ticksA, 0);
  EXPECT_GE(ticksB, 1);
  EXPECT_EQ(a.GetStatus(), WindowIsClosed);
  b.Close();
}

}  // namespace
