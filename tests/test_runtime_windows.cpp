// SimpleWindow and the runtime, in process: what
// another client sees of an open window (geometry, name, icon name, size
// hints, protocols, event mask), the backing pixmap in the X server's
// memory, operations on windows that are not open, and timers under the
// event pump (this program never completes ApiMain).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "rig.h"
#include "slate.h"

namespace {

std::string Title(const std::string& name) { return "rt " + name + " " + std::to_string(getpid()); }
unsigned long IdOf(const SimpleWindow& w) { return WinManager.GetWindow(&w); }

class Windows : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = PixelsPerCentimeter;
    PixelsPerCentimeter = 66;
    ASSERT_TRUE(xc.ok());
    ASSERT_EQ(WinManager.Empty(), 1) << "a window of an earlier test is still open";
  }
  void TearDown() override {
    PixelsPerCentimeter = saved_;
    EXPECT_EQ(WinManager.Empty(), 1) << "the test left a window open";
  }
  rig::XClient xc;
  float saved_ = 0;
};

// ---------------------------------------------------------------------------
// What another client sees
// ---------------------------------------------------------------------------

TEST_F(Windows, GeometryNameHintsAndProtocols) {
  std::string title = Title("geometry");
  SimpleWindow w(title, 15, 12, Position(1, 1));
  ASSERT_EQ(w.Open(), WindowIsOpen);
  XSync(display, False);
  Window id = xc.WaitForWindow(title);
  ASSERT_EQ(id, IdOf(w));
  auto g = xc.GetGeometry(id);
  ASSERT_TRUE(g.ok);
  EXPECT_EQ(g.x, 66);
  EXPECT_EQ(g.y, 66);
  EXPECT_EQ(g.width, 990);
  EXPECT_EQ(g.height, 792);
  EXPECT_EQ(g.border, BorderSize);
  EXPECT_EQ(w.GetWidth(), 15.0f);
  EXPECT_EQ(w.GetHeight(), 12.0f);
  EXPECT_EQ(w.GetXPosition(), 1.0f);
  EXPECT_EQ(w.GetYPosition(), 1.0f);
  EXPECT_EQ(w.GetPosition(), Position(1, 1));
  EXPECT_EQ(w.GetCenter(), Position(7.5f, 6.0f));

  EXPECT_EQ(xc.GetName(id), title);
  EXPECT_EQ(xc.GetIconName(id), title);
  auto hints = xc.GetSizeHints(id);
  ASSERT_TRUE(hints.ok);
  EXPECT_TRUE(hints.HasMin());
  EXPECT_FALSE(hints.HasMax());
  EXPECT_EQ(hints.min_width, MinScreenWidth);
  EXPECT_EQ(hints.min_width, 120);
  EXPECT_EQ(hints.min_height, 0);
  EXPECT_EQ(xc.GetProtocols(id), std::vector<std::string>{"WM_DELETE_WINDOW"});
  EXPECT_TRUE(xc.Viewable(id));

  // Structure and exposure events only, until a click callback is set.
  long mask = xc.GetEventMask(id);
  EXPECT_EQ(mask & NormalWindowEventMask, NormalWindowEventMask);
  EXPECT_EQ(mask & ButtonEventMask, 0);
  w.SetMouseClickCallback([](const Position&) { return 1; });
  XSync(display, False);
  EXPECT_EQ(xc.GetEventMask(id) & (NormalWindowEventMask | ButtonEventMask), NormalWindowEventMask | ButtonEventMask);
  w.Close();
  XSync(display, False);  // Close does not flush by itself while ApiMain runs
  EXPECT_TRUE(xc.WaitForWindowGone(title));
}

TEST_F(Windows, GeometryAt37PixelsPerCentimetre) {
  PixelsPerCentimeter = 37;
  std::string title = Title("geometry37");
  SimpleWindow w(title, 15, 12, Position(1, 1));
  ASSERT_EQ(w.Open(), WindowIsOpen);
  XSync(display, False);
  auto g = xc.GetGeometry(IdOf(w));
  EXPECT_EQ(g.x, 37);
  EXPECT_EQ(g.y, 37);
  EXPECT_EQ(g.width, 555);
  EXPECT_EQ(g.height, 444);
  w.Close();
}

int NoClick(const Position&) { return 1; }

TEST_F(Windows, ClickCallbackSetBeforeOpenSelectsButtonsAtOpen) {
  std::string title = Title("click before open");
  SimpleWindow w(title, 4, 3, Position(1, 1));
  {
    rig::XErrorTrap trap;
    w.SetMouseClickCallback(NoClick);  // not open: no X request, no error
    trap.Sync(display);
    EXPECT_EQ(trap.Count(), 0) << trap.Describe();
  }
  ASSERT_EQ(w.Open(), WindowIsOpen);
  XSync(display, False);
  EXPECT_EQ(xc.GetEventMask(IdOf(w)) & ButtonEventMask, ButtonEventMask);
  // Closed and opened again: the callback is remembered and selected again.
  w.Close();
  {
    rig::XErrorTrap trap;
    w.SetMouseClickCallback(NoClick);  // on a destroyed window: no X request either
    trap.Sync(display);
    EXPECT_EQ(trap.Count(), 0) << trap.Describe();
  }
  ASSERT_EQ(w.Open(), WindowIsOpen);
  XSync(display, False);
  EXPECT_EQ(xc.GetEventMask(IdOf(w)) & ButtonEventMask, ButtonEventMask);
  w.Close();
  ASSERT_EQ(w.Open(), WindowIsOpen);  // without touching the callback at all
  XSync(display, False);
  EXPECT_EQ(xc.GetEventMask(IdOf(w)) & ButtonEventMask, ButtonEventMask);
  w.Close();
}

// ---------------------------------------------------------------------------
// Windows that are not open: no X request, no crash
// ---------------------------------------------------------------------------

int Nothing() { return 7; }
int NothingAt(const Position&) { return 8; }

void EveryOperation(SimpleWindow& w, Pixmap pixmap) {
  w.GetStatus();
  w.GetWidth();
  w.GetHeight();
  w.GetXPosition();
  w.GetYPosition();
  w.GetPosition();
  w.GetCenter();
  w.RefreshEvent();  // no refresh callback: would copy the backing pixmap
  w.SetRefreshCallback(Nothing);
  w.SetQuitCallback(Nothing);
  w.SetTimerCallback(Nothing);
  w.SetMouseClickCallback(NothingAt);
  EXPECT_EQ(w.QuitEvent(), 7);
  EXPECT_EQ(w.RefreshEvent(), 7);
  EXPECT_EQ(w.TimerEvent(), 7);
  EXPECT_EQ(w.MouseClickEvent(Position(1, 1)), 8);
  EXPECT_EQ(w.StartTimer(0), 1);
  w.CheckTimer();
  w.StopTimer();
  w.RenderText(Position(2, 2), "text");
  w.RenderText(Position(2, 2), std::string("text"), Red, Blue);
  w.RenderText(Position(1, 1), Position(3, 3), "box");
  w.RenderText(Position(1, 1), Position(3, 3), std::string("box"));
  w.RenderRectangle(Position(1, 1), Position(2, 2), Red, true);
  w.RenderEllipse(Position(1, 1), Position(2, 2), Green, true);
  w.RenderLine(Position(1, 1), Position(2, 2), Blue, 0.2f);
  Position triangle[3] = {Position(1, 1), Position(2, 1), Position(1, 2)};
  w.RenderPolygon(triangle, 3, Yellow, true);
  w.RenderPolygon(std::vector<Position>(triangle, triangle + 3), 3, Cyan);
  w.DrawBitMap(pixmap, Position(0, 0), Position(1, 1));
  w.DrawBitMap(0, Position(0, 0), Position(1, 1));
  w.Erase(Position(0, 0), 2, 2);
}

TEST_F(Windows, OperationsOnWindowsThatAreNotOpenMakeNoXRequest) {
  Pixmap pixmap = XCreatePixmap(display, RootWindow(display, ScreenNbr), 10, 10, DefaultDepth(display, ScreenNbr));
  SimpleWindow anchor(Title("anchor6"), 2, 2, Position(1, 1));
  ASSERT_EQ(anchor.Open(), WindowIsOpen);
  XSync(display, False);
  auto before = xc.ClientResources(IdOf(anchor));
  {
    SimpleWindow never(Title("never"), 4, 3, Position(1, 1));
    rig::XErrorTrap trap;
    EveryOperation(never, pixmap);
    trap.Sync(display);
    EXPECT_EQ(trap.Count(), 0) << trap.Describe();
    EXPECT_EQ(never.GetStatus(), WindowIsClosed);
  }
  {
    SimpleWindow closed(Title("closed"), 4, 3, Position(4, 1));
    ASSERT_EQ(closed.Open(), WindowIsOpen);
    ASSERT_EQ(closed.Close(), WindowIsClosed);
    XSync(display, False);
    rig::XErrorTrap trap;
    EveryOperation(closed, pixmap);
    trap.Sync(display);
    EXPECT_EQ(trap.Count(), 0) << trap.Describe();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(closed.Close(), WindowOpenFailed);
    ::testing::internal::GetCapturedStdout();
    rig::XErrorTrap trap2;
    EveryOperation(closed, pixmap);  // a failed window too
    trap2.Sync(display);
    EXPECT_EQ(trap2.Count(), 0) << trap2.Describe();
  }
  XSync(display, False);
  EXPECT_EQ(xc.ClientResources(IdOf(anchor)), before);  // nothing left behind in the server
  anchor.Close();
  XFreePixmap(display, pixmap);
}

// ---------------------------------------------------------------------------
// The backing pixmap in the X server's memory
// ---------------------------------------------------------------------------

TEST_F(Windows, BackingPixmapIsScreenSizedAndFreedByCloseAndDestructor) {
  SimpleWindow anchor(Title("anchor"), 2, 2, Position(1, 1));
  ASSERT_EQ(anchor.Open(), WindowIsOpen);
  XSync(display, False);
  XID me = IdOf(anchor);
  unsigned long base = xc.ClientPixmapBytes(me);
  ASSERT_NE(base, ~0UL);
  unsigned long screen_bytes = static_cast<unsigned long>(DisplayWidth(display, ScreenNbr)) *
                               DisplayHeight(display, ScreenNbr) * DefaultDepth(display, ScreenNbr) / 8;
  EXPECT_GE(base, screen_bytes);  // the anchor's own pixmap is as large as the screen
  {
    SimpleWindow w(Title("pixmap"), 4, 3, Position(4, 1));
    ASSERT_EQ(w.Open(), WindowIsOpen);
    XSync(display, False);
    EXPECT_GE(xc.ClientPixmapBytes(me), base + screen_bytes);
    w.Close();
    XSync(display, False);
    EXPECT_EQ(xc.ClientPixmapBytes(me), base);  // Close frees it
    ASSERT_EQ(w.Open(), WindowIsOpen);
    XSync(display, False);
    EXPECT_GE(xc.ClientPixmapBytes(me), base + screen_bytes);
  }
  XSync(display, False);
  EXPECT_EQ(xc.ClientPixmapBytes(me), base);  // so does the destructor
  anchor.Close();
}

TEST_F(Windows, ThousandOpenCloseCyclesDoNotGrowServerMemory) {
  SimpleWindow anchor(Title("anchor1000"), 2, 2, Position(1, 1));
  ASSERT_EQ(anchor.Open(), WindowIsOpen);
  XSync(display, False);
  XID me = IdOf(anchor);
  unsigned long before = xc.ClientPixmapBytes(me);
  auto resources_before = xc.ClientResources(me);
  SimpleWindow w(Title("cycles"), 3, 2, Position(4, 1));
  int done = 0;
  // Growing chunks: a leak of screen-sized pixmaps is caught before it
  // exhausts the server.
  for (int chunk : {10, 90, 400, 500}) {
    for (int i = 0; i < chunk; ++i) {
      ASSERT_EQ(w.Open(), WindowIsOpen) << "cycle " << done + i;
      ASSERT_EQ(w.Close(), WindowIsClosed) << "cycle " << done + i;
    }
    done += chunk;
    XSync(display, False);
    ASSERT_LE(xc.ClientPixmapBytes(me), before) << "after " << done << " open/close cycles";
  }
  EXPECT_EQ(done, 1000);
  XSync(display, False);
  EXPECT_EQ(xc.ClientResources(me), resources_before);
  anchor.Close();
}

// ---------------------------------------------------------------------------
// Timers under the event pump
// ---------------------------------------------------------------------------

std::vector<double> tickTimes;
int Tick() {
  tickTimes.push_back(rig::NowMs());
  return 1;
}

// Runs the event pump (through GetStatus) for ms milliseconds.
void PumpFor(const SimpleWindow& w, int ms) {
  double end = rig::NowMs() + ms;
  while (rig::NowMs() < end) {
    w.GetStatus();
    rig::SleepMs(1);
  }
}

TEST_F(Windows, TimerRateStopAndClose) {
  SimpleWindow w(Title("timer"), 4, 3, Position(1, 1));
  ASSERT_EQ(w.Open(), WindowIsOpen);
  w.SetTimerCallback(Tick);
  tickTimes.clear();
  double start = rig::NowMs();
  EXPECT_EQ(w.StartTimer(50), 1);
  PumpFor(w, 1000);
  // About every 50 ms (plus the time of one poll): never early, rarely late.
  EXPECT_GE(tickTimes.size(), 15u);
  EXPECT_LE(tickTimes.size(), 20u);
  ASSERT_FALSE(tickTimes.empty());
  EXPECT_GE(tickTimes[0] - start, 49.0);  // the clock counts whole milliseconds
  for (size_t i = 1; i < tickTimes.size(); ++i) EXPECT_GE(tickTimes[i] - tickTimes[i - 1], 49.0) << i;

  w.StopTimer();
  size_t stopped = tickTimes.size();
  PumpFor(w, 200);
  EXPECT_EQ(tickTimes.size(), stopped);

  w.StartTimer(20);  // restarted with another interval
  PumpFor(w, 210);
  EXPECT_GE(tickTimes.size(), stopped + 6);
  EXPECT_LE(tickTimes.size(), stopped + 10);

  w.Close();  // stops the timer
  size_t closed = tickTimes.size();
  PumpFor(w, 150);
  EXPECT_EQ(tickTimes.size(), closed);
  ASSERT_EQ(w.Open(), WindowIsOpen);  // and it does not come back with a new Open
  PumpFor(w, 150);
  EXPECT_EQ(tickTimes.size(), closed);
  w.Close();
}

TEST_F(Windows, ZeroIntervalFiresOnEveryPoll) {
  SimpleWindow w(Title("timer0"), 4, 3, Position(1, 1));
  ASSERT_EQ(w.Open(), WindowIsOpen);
  w.SetTimerCallback(Tick);
  tickTimes.clear();
  w.StartTimer(0);  // pumps once itself
  for (int i = 0; i < 100; ++i) w.GetStatus();
  EXPECT_GE(tickTimes.size(), 101u);
  w.Close();
}

SimpleWindow* self = nullptr;
int selfTicks = 0;
int CloseSelf() {
  ++selfTicks;
  self->Close();
  return 1;
}

TEST_F(Windows, TimerCallbackClosesItsOwnWindow) {
  SimpleWindow w(Title("timer self"), 4, 3, Position(1, 1));
  self = &w;
  selfTicks = 0;
  ASSERT_EQ(w.Open(), WindowIsOpen);
  w.SetTimerCallback(CloseSelf);
  w.StartTimer(10);
  PumpFor(w, 200);
  EXPECT_EQ(selfTicks, 1);
  EXPECT_EQ(w.GetStatus(), WindowIsClosed);
}

// Callbacks that close and open windows while the timers are being polled.
struct Walk {
  SimpleWindow* y = nullptr;
  SimpleWindow* heap = nullptr;
  SimpleWindow* opened = nullptr;
  bool done = false;
  bool yClosed = false, heapDeleted = false;
  std::vector<std::string> errors;
  int xTicks = 0, yTicks = 0, zTicks = 0, heapTicks = 0, newTicks = 0;
} walk;

int TickX() {
  ++walk.xTicks;
  return 1;
}
int TickY() {
  if (walk.yClosed) walk.errors.push_back("Y polled after it was closed");
  ++walk.yTicks;
  return 1;
}
int TickHeap() {
  if (walk.heapDeleted) walk.errors.push_back("deleted window polled");
  ++walk.heapTicks;
  return 1;
}
int TickNew() {
  ++walk.newTicks;
  return 1;
}
int TickZ() {
  ++walk.zTicks;
  if (!walk.done) {
    walk.done = true;
    walk.yClosed = true;
    walk.y->Close();
    walk.heapDeleted = true;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdelete-non-virtual-dtor"  // a SimpleWindow, not a derived class
    delete walk.heap;  // its destructor closes it
#pragma GCC diagnostic pop
    walk.heap = nullptr;
    walk.opened->Open();
    walk.opened->SetTimerCallback(TickNew);
    walk.opened->StartTimer(0);
  }
  return 1;
}

TEST_F(Windows, TimerPollSurvivesCallbacksThatCloseAndOpenWindows) {
  walk = Walk();
  // Registered in this order; polled newest first: Z, X, Y, heap.
  walk.heap = new SimpleWindow(Title("walk heap"), 2, 2, Position(1, 1));
  SimpleWindow y(Title("walk Y"), 2, 2, Position(4, 1)), x(Title("walk X"), 2, 2, Position(7, 1)),
      z(Title("walk Z"), 2, 2, Position(10, 1)), n(Title("walk new"), 2, 2, Position(13, 1));
  walk.y = &y;
  walk.opened = &n;
  ASSERT_EQ(walk.heap->Open(), WindowIsOpen);
  ASSERT_EQ(y.Open(), WindowIsOpen);
  ASSERT_EQ(x.Open(), WindowIsOpen);
  ASSERT_EQ(z.Open(), WindowIsOpen);
  walk.heap->SetTimerCallback(TickHeap);
  y.SetTimerCallback(TickY);
  x.SetTimerCallback(TickX);
  z.SetTimerCallback(TickZ);
  walk.heap->StartTimer(0);
  y.StartTimer(0);
  x.StartTimer(0);
  z.StartTimer(0);  // its first poll closes Y, deletes heap, opens n
  for (int i = 0; i < 20; ++i) x.GetStatus();
  EXPECT_TRUE(walk.done);
  EXPECT_EQ(walk.errors, std::vector<std::string>{});
  EXPECT_EQ(y.GetStatus(), WindowIsClosed);
  EXPECT_EQ(n.GetStatus(), WindowIsOpen);
  EXPECT_GE(walk.xTicks, 20);
  EXPECT_GE(walk.newTicks, 19);
  x.Close();
  z.Close();
  n.Close();
}

// A timer callback that draws and asks for its window's status runs the
// event pump from inside the pump: the inner pass must not poll the timers
// again, so the callback is never re-entered.
SimpleWindow* drawer = nullptr;
int depth = 0, maxDepth = 0, drawTicks = 0;
int DrawFromTimer() {
  ++depth;
  maxDepth = std::max(maxDepth, depth);
  ++drawTicks;
  drawer->RenderRectangle(Position(0.1f, 0.1f), Position(1, 1), Red);
  drawer->GetStatus();
  drawer->GetPosition();
  --depth;
  return 1;
}

TEST_F(Windows, PumpDoesNotNestInsideATimerCallback) {
  SimpleWindow w(Title("nest"), 4, 3, Position(1, 1));
  drawer = &w;
  depth = maxDepth = drawTicks = 0;
  ASSERT_EQ(w.Open(), WindowIsOpen);
  w.SetTimerCallback(DrawFromTimer);
  w.StartTimer(0);
  for (int i = 0; i < 20; ++i) w.GetStatus();
  EXPECT_GE(drawTicks, 20);
  EXPECT_EQ(maxDepth, 1);
  w.Close();
}

}  // namespace
