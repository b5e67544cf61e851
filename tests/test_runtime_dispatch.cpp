// Window runtime, in process: the registry, the event
// filter and the dispatcher by event type, CloseAWindow and ApiEnd, the
// shutdown request, and the Open/Close state table.
//
// This program is itself a client of the library: its WinManager opened the
// display at start-up and ApiMain never completes, so SimpleWindow
// operations run the event pump. It defines its own ApiEnd to count calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rig.h"
#include "slate.h"

namespace {
int apiEndCalls = 0;
}  // namespace

int ApiEnd() {
  ++apiEndCalls;
  return 1;
}

namespace {

std::vector<std::string> events;  // what the callbacks saw, in order

// Unique titles: other test programs may share the display.
std::string Title(const std::string& name) { return "rt " + name + " " + std::to_string(getpid()); }

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = PixelsPerCentimeter;
    PixelsPerCentimeter = 66;
    events.clear();
    apiEndCalls = 0;
    ASSERT_EQ(WinManager.Empty(), 1) << "a window of an earlier test is still open";
  }
  void TearDown() override {
    PixelsPerCentimeter = saved_;
    EXPECT_EQ(WinManager.Empty(), 1) << "the test left a window open";
  }
  float saved_ = 0;
};

unsigned long IdOf(const SimpleWindow& w) { return WinManager.GetWindow(&w); }

XEvent MakeEvent(int type, const SimpleWindow& w) {
  XEvent e{};
  e.xany.type = type;
  e.xany.display = display;
  e.xany.window = IdOf(w);
  return e;
}

XEvent Configure(const SimpleWindow& w, int x, int y, int width, int height) {
  XEvent e = MakeEvent(ConfigureNotify, w);
  e.xconfigure.event = e.xconfigure.window = IdOf(w);
  e.xconfigure.x = x;
  e.xconfigure.y = y;
  e.xconfigure.width = width;
  e.xconfigure.height = height;
  return e;
}

XEvent DeleteRequest(const SimpleWindow& w, int format = 32) {
  XEvent e = MakeEvent(ClientMessage, w);
  e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  e.xclient.format = format;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  return e;
}

// The main loop's handling of one event: filter, then dispatch.
int Route(XEvent e, SimpleWindow& w) { return FilterEvent(&e, &w) ? WinManager.DispatchMessage(e, &w) : -1; }

int Refresh() {
  events.push_back("refresh");
  return 1;
}
int Click(const Position& p) {
  events.push_back("click " + std::to_string(p.GetXDistance()) + " " + std::to_string(p.GetYDistance()));
  return 1;
}
int QuitA() {
  events.push_back("quit A");
  return 1;
}
int QuitB() {
  events.push_back("quit B");
  return 0;
}
int QuitC() {
  events.push_back("quit C");
  return 1;
}

// ---------------------------------------------------------------------------
// Registry
// ---------------------------------------------------------------------------

TEST_F(Dispatch, RegistryOrderLookupsAndDescribeContents) {
  SimpleWindow a(Title("reg A"), 4, 3, Position(1, 1)), b(Title("reg B"), 4, 3, Position(6, 1)),
      c(Title("reg C"), 4, 3, Position(11, 1));
  ASSERT_EQ(a.Open(), WindowIsOpen);
  ASSERT_EQ(b.Open(), WindowIsOpen);
  ASSERT_EQ(c.Open(), WindowIsOpen);
  EXPECT_EQ(WinManager.Empty(), 0);
  EXPECT_NE(IdOf(a), 0u);
  EXPECT_EQ(WinManager.GetWindow(IdOf(b)), &b);
  XEvent e = MakeEvent(Expose, c);
  EXPECT_EQ(WinManager.GetWindow(e), &c);
  EXPECT_EQ(WinManager.GetWindow(static_cast<unsigned long>(12345)), nullptr);
  EXPECT_EQ(WinManager.GetWindow(static_cast<const SimpleWindow*>(nullptr)), 0u);

  ::testing::internal::CaptureStdout();
  WinManager.DescribeContents();
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "The windows manager contains the following elements:\n\t" + std::to_string(IdOf(c)) + "\n\t" +
                     std::to_string(IdOf(b)) + "\n\t" + std::to_string(IdOf(a)) + "\n");

  EXPECT_EQ(b.Close(), WindowIsClosed);
  ::testing::internal::CaptureStdout();
  WinManager.DescribeContents();
  out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "The windows manager contains the following elements:\n\t" + std::to_string(IdOf(c)) + "\n\t" +
                     std::to_string(IdOf(a)) + "\n");
  a.Close();
  c.Close();
  ::testing::internal::CaptureStdout();
  WinManager.DescribeContents();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "The windows manager contains the following elements:\n");
}

TEST_F(Dispatch, RegisterAndUnregisterFailures) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(WinManager.Register(nullptr), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error: Trying to register a nonexistent window.\n");
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(WinManager.Unregister(0), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Window requested to remove doesn't exist\n");
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(WinManager.Unregister(12345), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(WinManager.Empty(), 1);
}

TEST_F(Dispatch, CheckTerminationCallsApiEndOnlyWhenEmpty) {
  EXPECT_EQ(WinManager.CheckTermination(), 0);
  EXPECT_EQ(apiEndCalls, 1);
  SimpleWindow a(Title("term A"), 4, 3, Position(1, 1));
  a.Open();
  EXPECT_EQ(WinManager.CheckTermination(), 1);
  EXPECT_EQ(apiEndCalls, 1);
  a.Close();
}

// ---------------------------------------------------------------------------
// FilterEvent and DispatchMessage, by event type
// ---------------------------------------------------------------------------

TEST_F(Dispatch, ExposeSeriesRefreshesOnceOnTheLast) {
  SimpleWindow w(Title("expose"), 15, 12, Position(1, 1));
  ASSERT_EQ(w.Open(), WindowIsOpen);
  w.SetRefreshCallback(Refresh);
  std::vector<int> results;
  for (int count : {2, 1, 0}) {
    XEvent e = MakeEvent(Expose, w);
    e.xexpose.count = count;
    results.push_back(Route(e, w));
  }
  EXPECT_EQ(results, (std::vector<int>{-1, -1, 1}));  // dropped, dropped, handled
  EXPECT_EQ(events, std::vector<std::string>{"refresh"});
  w.Close();
}

TEST_F(Dispatch, ConfigureNotifyWithTheSameGeometryIsDropped) {
  SimpleWindow w(Title("configure"), 15, 12, Position(1, 1));
  ASSERT_EQ(w.Open(), WindowIsOpen);
  XEvent same = Configure(w, 66, 66, 990, 792);
  EXPECT_EQ(FilterEvent(&same, &w), 0);
  // Different in the y position alone: accepted and recorded.
  XEvent moved = Configure(w, 66, 100, 990, 792);
  EXPECT_EQ(FilterEvent(&moved, &w), 1);
  EXPECT_EQ(WinManager.DispatchMessage(moved, &w), 1);
  EXPECT_EQ(w.GetYPosition(), d_to_l(100));
  EXPECT_EQ(w.GetXPosition(), 1.0f);
  // Each of the other members differing alone is accepted too.
  for (XEvent e : {Configure(w, 67, 100, 990, 792), Configure(w, 66, 100, 991, 792), Configure(w, 66, 100, 990, 793)})
    EXPECT_EQ(FilterEvent(&e, &w), 1);
  // A resize is recorded in both units.
  XEvent resized = Configure(w, 100, 50, 660, 330);
  EXPECT_EQ(Route(resized, w), 1);
  EXPECT_EQ(w.GetWidth(), 10.0f);
  EXPECT_EQ(w.GetHeight(), 5.0f);
  EXPECT_EQ(w.GetPosition(), Position(d_to_l(100), d_to_l(50)));
  EXPECT_EQ(w.GetCenter(), Position(5.0f, 2.5f));
  w.Close();
}

TEST_F(Dispatch, MappingNotifyIsDroppedAndReachesNoWindow) {
  SimpleWindow w(Title("mapping"), 4, 3, Position(1, 1));
  ASSERT_EQ(w.Open(), WindowIsOpen);
  w.SetRefreshCallback(Refresh);
  w.SetMouseClickCallback(Click);
  w.SetQuitCallback(QuitA);
  XEvent e = MakeEvent(MappingNotify, w);
  e.xmapping.request = MappingKeyboard;
  e.xmapping.first_keycode = 8;
  e.xmapping.count = 1;
  EXPECT_EQ(FilterEvent(&e, &w), 0);
  EXPECT_TRUE(events.empty());
  w.Close();
}

TEST_F(Dispatch, ButtonPressDoesNothingReleaseDeliversTheClickInCentimetres) {
  SimpleWindow w(Title("buttons"), 15, 12, Position(1, 1));
  ASSERT_EQ(w.Open(), WindowIsOpen);
  XEvent press = MakeEvent(ButtonPress, w);
  press.xbutton.x = 66;
  press.xbutton.y = 33;
  // No callback yet: both are handled and nothing happens.
  EXPECT_EQ(Route(press, w), 1);
  XEvent release = press;
  release.type = ButtonRelease;
  EXPECT_EQ(Route(release, w), 1);
  EXPECT_TRUE(events.empty());
  w.SetMouseClickCallback(Click);
  EXPECT_EQ(Route(press, w), 1);
  EXPECT_TRUE(events.empty());  // the press reaches no callback
  EXPECT_EQ(Route(release, w), 1);
  EXPECT_EQ(events, std::vector<std::string>{"click 1.000000 0.500000"});
  w.Close();
}

TEST_F(Dispatch, ClientMessagesThatAreNotDeleteRequestsAreNotHandled) {
  SimpleWindow w(Title("client"), 4, 3, Position(1, 1));
  ASSERT_EQ(w.Open(), WindowIsOpen);
  w.SetQuitCallback(QuitA);
  XEvent wrong_format = DeleteRequest(w, 8);
  XEvent wrong_format16 = DeleteRequest(w, 16);
  XEvent wrong_type = DeleteRequest(w);
  wrong_type.xclient.message_type = XInternAtom(display, "WM_TAKE_FOCUS", False);
  XEvent wrong_data = DeleteRequest(w);
  wrong_data.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_TAKE_FOCUS", False));
  for (XEvent e : {wrong_format, wrong_format16, wrong_type, wrong_data}) EXPECT_EQ(Route(e, w), 2);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(w.GetStatus(), WindowIsOpen);
  EXPECT_EQ(IsWMCloseWindow(&wrong_format.xclient), 0);
  XEvent right = DeleteRequest(w);
  EXPECT_EQ(IsWMCloseWindow(&right.xclient), 1);
  w.Close();
}

TEST_F(Dispatch, OtherEventTypesAreNotHandled) {
  SimpleWindow w(Title("other"), 4, 3, Position(1, 1));
  ASSERT_EQ(w.Open(), WindowIsOpen);
  for (int type : {MapNotify, UnmapNotify, ReparentNotify, KeyPress, MotionNotify, FocusIn}) {
    XEvent e = MakeEvent(type, w);
    EXPECT_EQ(FilterEvent(&e, &w), 1) << type;
    EXPECT_EQ(WinManager.DispatchMessage(e, &w), 2) << type;
  }
  EXPECT_EQ(w.GetStatus(), WindowIsOpen);
  w.Close();
}

TEST_F(Dispatch, DeleteRequestOnOneOfTwoThenOnTheLast) {
  SimpleWindow a(Title("del A"), 4, 3, Position(1, 1)), b(Title("del B"), 4, 3, Position(6, 1));
  a.SetQuitCallback(QuitA);
  b.SetQuitCallback(QuitB);
  ASSERT_EQ(a.Open(), WindowIsOpen);
  ASSERT_EQ(b.Open(), WindowIsOpen);
  EXPECT_EQ(Route(DeleteRequest(a), a), 1);
  EXPECT_EQ(events, std::vector<std::string>{"quit A"});
  EXPECT_EQ(a.GetStatus(), WindowIsClosed);
  EXPECT_EQ(b.GetStatus(), WindowIsOpen);
  EXPECT_EQ(apiEndCalls, 0);
  EXPECT_EQ(Route(DeleteRequest(b), b), 0);  // the last one: ApiEnd, and the loop would stop
  EXPECT_EQ(events, (std::vector<std::string>{"quit A", "quit B"}));
  EXPECT_EQ(b.GetStatus(), WindowIsClosed);
  EXPECT_EQ(apiEndCalls, 1);
}

TEST_F(Dispatch, DestroyNotifyClosesLikeADeleteRequest) {
  SimpleWindow a(Title("destroy A"), 4, 3, Position(1, 1)), b(Title("destroy B"), 4, 3, Position(6, 1));
  a.SetQuitCallback(QuitA);
  ASSERT_EQ(a.Open(), WindowIsOpen);
  ASSERT_EQ(b.Open(), WindowIsOpen);
  EXPECT_EQ(Route(MakeEvent(DestroyNotify, b), b), 1);
  EXPECT_EQ(Route(MakeEvent(DestroyNotify, a), a), 0);
  EXPECT_EQ(events, std::vector<std::string>{"quit A"});
  EXPECT_EQ(apiEndCalls, 1);
}

// A quit callback that closes its own window: CloseAWindow does not close it
// a second time.
SimpleWindow* selfCloser = nullptr;
int QuitAndClose() {
  events.push_back("quit closes " + std::to_string(selfCloser->Close()));
  return 1;
}

TEST_F(Dispatch, QuitCallbackThatClosesItsOwnWindow) {
  SimpleWindow a(Title("selfclose"), 4, 3, Position(1, 1));
  selfCloser = &a;
  a.SetQuitCallback(QuitAndClose);
  ASSERT_EQ(a.Open(), WindowIsOpen);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(WinManager.CloseAWindow(&a), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(events, std::vector<std::string>{"quit closes 0"});
  EXPECT_EQ(a.GetStatus(), WindowIsClosed);
  EXPECT_EQ(apiEndCalls, 1);
}

// The same through the X server: another client sends the window manager's
// close request, and the event pump of the next SimpleWindow operation
// handles it.
TEST_F(Dispatch, RealDeleteRequestsAreHandledByTheEventPump) {
  rig::XClient xc;
  ASSERT_TRUE(xc.ok());
  SimpleWindow a(Title("pump A"), 4, 3, Position(1, 1)), b(Title("pump B"), 4, 3, Position(6, 1));
  a.SetQuitCallback(QuitA);
  b.SetQuitCallback(QuitB);
  ASSERT_EQ(a.Open(), WindowIsOpen);
  ASSERT_EQ(b.Open(), WindowIsOpen);
  ASSERT_TRUE(xc.SendDeleteRequest(IdOf(a)));
  EXPECT_TRUE(rig::WaitFor([&] { return a.GetStatus() == WindowIsClosed; }, 3000));
  EXPECT_EQ(events, std::vector<std::string>{"quit A"});
  EXPECT_TRUE(xc.WaitForWindowGone(Title("pump A")));
  EXPECT_EQ(apiEndCalls, 0);
  // Not a delete request: nothing happens.
  ASSERT_TRUE(xc.SendClientMessage(IdOf(b), xc.Intern("WM_PROTOCOLS"), 8, static_cast<long>(xc.Intern("WM_DELETE_WINDOW"))));
  rig::SleepMs(100);
  EXPECT_EQ(b.GetStatus(), WindowIsOpen);
  ASSERT_TRUE(xc.SendDeleteRequest(IdOf(b)));
  EXPECT_TRUE(rig::WaitFor([&] { return b.GetStatus() == WindowIsClosed; }, 3000));
  EXPECT_EQ(events, (std::vector<std::string>{"quit A", "quit B"}));
  EXPECT_EQ(apiEndCalls, 1);
}

// ---------------------------------------------------------------------------
// The shutdown request
// ---------------------------------------------------------------------------

TEST_F(Dispatch, TerminateWithNoWindowDoesNothing) {
  Terminate();
  XSync(display, False);
  SimpleWindow w(Title("after terminate"), 4, 3, Position(1, 1));
  w.SetQuitCallback(QuitA);
  EXPECT_EQ(w.Open(), WindowIsOpen);
  EXPECT_EQ(w.GetStatus(), WindowIsOpen);  // pumps: no stale shutdown event closes it
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(apiEndCalls, 0);
  w.Close();
}

TEST_F(Dispatch, TerminateClosesEveryWindowNewestFirst) {
  SimpleWindow a(Title("t A"), 4, 3, Position(1, 1)), b(Title("t B"), 4, 3, Position(6, 1)),
      c(Title("t C"), 4, 3, Position(11, 1));
  a.SetQuitCallback(QuitA);
  b.SetQuitCallback(QuitB);
  c.SetQuitCallback(QuitC);
  a.Open();
  b.Open();
  c.Open();
  Terminate();
  EXPECT_TRUE(events.empty());  // a request, not a close: nothing happens yet
  XSync(display, False);        // the three events are back from the server
  EXPECT_EQ(a.GetStatus(), WindowIsClosed);  // the pump handled them
  EXPECT_EQ(events, (std::vector<std::string>{"quit C", "quit B", "quit A"}));
  EXPECT_EQ(b.GetStatus(), WindowIsClosed);
  EXPECT_EQ(c.GetStatus(), WindowIsClosed);
  EXPECT_EQ(apiEndCalls, 1);
}

// ---------------------------------------------------------------------------
// Open and Close
// ---------------------------------------------------------------------------

TEST_F(Dispatch, StateTable) {
  rig::XClient xc;
  std::string title = Title("state");
  {
    SimpleWindow w(title, 4, 3, Position(1, 1));
    EXPECT_EQ(w.GetStatus(), WindowIsClosed);
    EXPECT_EQ(w.Open(), WindowIsOpen);
    unsigned long id = IdOf(w);
    EXPECT_EQ(w.Open(), WindowIsOpen);  // open again: nothing new
    EXPECT_EQ(IdOf(w), id);
    XSync(display, False);
    EXPECT_EQ(xc.FindWindows(title, false).size(), 1u);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(w.Close(), WindowIsClosed);
    EXPECT_EQ(w.Close(), WindowOpenFailed);  // not registered any more: no message
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    XSync(display, False);  // Close does not flush by itself while ApiMain runs
    EXPECT_TRUE(xc.WaitForWindowGone(title));
    EXPECT_EQ(w.Open(), WindowOpenFailed);  // a failed window never tries again
    EXPECT_EQ(w.GetStatus(), WindowOpenFailed);
    XSync(display, False);
    EXPECT_EQ(xc.FindWindow(title, false), 0u);
  }
  {
    SimpleWindow never(title, 4, 3, Position(1, 1));
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(never.Close(), WindowOpenFailed);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Window requested to remove doesn't exist\n");
    EXPECT_EQ(never.Open(), WindowOpenFailed);
  }
  {
    SimpleWindow reopened(title, 4, 3, Position(1, 1));
    EXPECT_EQ(reopened.Open(), WindowIsOpen);
    unsigned long first = IdOf(reopened);
    EXPECT_EQ(reopened.Close(), WindowIsClosed);
    EXPECT_EQ(reopened.Open(), WindowIsOpen);  // closed, not failed: opens a new X window
    EXPECT_NE(IdOf(reopened), first);
    EXPECT_EQ(WinManager.GetWindow(IdOf(reopened)), &reopened);
    // Destruction closes an open window.
  }
  EXPECT_EQ(WinManager.Empty(), 1);
  XSync(display, False);
  EXPECT_TRUE(xc.WaitForWindowGone(title));
}

TEST_F(Dispatch, ReopenUsesTheLastConfiguredGeometry) {
  rig::XClient xc;
  std::string title = Title("reconfigure");
  SimpleWindow w(title, 4, 3, Position(1, 1));
  ASSERT_EQ(w.Open(), WindowIsOpen);
  EXPECT_EQ(Route(Configure(w, 100, 50, 300, 200), w), 1);
  EXPECT_EQ(w.GetXPosition(), d_to_l(100));
  w.Close();
  ASSERT_EQ(w.Open(), WindowIsOpen);
  XSync(display, False);
  Window id = xc.WaitForWindow(title);
  ASSERT_NE(id, 0u);
  auto g = xc.GetGeometry(id);
  ASSERT_TRUE(g.ok);
  EXPECT_EQ(g.x, l_to_d(d_to_l(100)));
  EXPECT_EQ(g.y, l_to_d(d_to_l(50)));
  EXPECT_EQ(g.width, l_to_d(d_to_l(300)));
  EXPECT_EQ(g.height, l_to_d(d_to_l(200)));
  w.Close();
}

}  // namespace
