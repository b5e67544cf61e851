// Soak tests of the ZINDRA menu: many thousands of clicks at full speed,
// and every sub-window opened and closed hundreds of times while the X
// server's own accounting (X-Resource) watches the menu's resources.
#include <gtest/gtest.h>
// Xlib headers after GoogleTest, whose internals use the name None.
#include <X11/extensions/XTest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>

#include "menu_support.h"
#include "rig.h"

namespace {

float Cm(int px) {
  return static_cast<float>(px / static_cast<double>(kScale));
}

// What the menu prints for a click at pixel (px, py) of its window.
std::string Printed(int px, int py) {
  std::ostringstream out;
  out << Cm(px) << 't' << Cm(py) << 'n';
  return out.str();
}

// Centre pixel of a button.
int CentreX(const Button& b) {
  return static_cast<int>((b.left + b.right) / 2 * kScale);
}
int CentreY(const Button& b) {
  return static_cast<int>((b.top + b.bottom) / 2 * kScale);
}

// The menu running on the test program's private server.
class MenuSoak : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = rig::PrivateServer();
    ASSERT_NE(server_, nullptr);
    x_ = std::make_unique<rig::XClient>(server_->Name());
    ASSERT_TRUE(x_->ok());
    ASSERT_EQ(x_->ScreenWidth(), 1920);
    rig::ProcessOptions options;
    options.cwd = kZindraDir;
    ASSERT_TRUE(zindra_.Start(kZindra, server_->Env(options))) << zindra_.Error();
    menu_ = x_->WaitForWindow("ZINDRA", 30000);
    ASSERT_NE(menu_, 0u) << "no menu window; stderr: " << zindra_.Stderr();
    ASSERT_TRUE(x_->WaitForWindowGone("laoding", 10000));
    rig::Geometry g = x_->GetGeometry(menu_);
    ASSERT_TRUE(g.ok);
    origin_x_ = g.inner_x;
    origin_y_ = g.inner_y;
  }

  void TearDown() override {
    if (zindra_.Running()) zindra_.Wait(1);  // kills it
  }

  // Clicks pixel (px, py) of the menu and records what it must print.
  void Click(int px, int py) {
    x_->Click(origin_x_ + px, origin_y_ + py);
    expected_ += Printed(px, py);
  }

  // Clicks a button and waits for its window; 0 if it did not appear.
  Window Open(const Button& b) {
    Click(CentreX(b), CentreY(b));
    return x_->WaitForWindow(b.opens, 20000);
  }

  // The window manager's close request, then wait until the window is gone.
  bool Close(Window w, const std::string& title) {
    return x_->SendDeleteRequest(w) && x_->WaitForWindowGone(title, 20000);
  }

  // Ends the menu with a close request and returns how the program ended.
  rig::ProcessResult CloseMenu() {
    EXPECT_TRUE(x_->SendDeleteRequest(menu_));
    return zindra_.Wait(60000);
  }

  rig::Xvfb* server_ = nullptr;
  std::unique_ptr<rig::XClient> x_;
  rig::Process zindra_;
  Window menu_ = 0;
  int origin_x_ = 0, origin_y_ = 0;
  std::string expected_;
};

// Index of the first click whose printed text differs, for a readable failure.
std::string FirstDifference(const std::string& got, const std::string& want) {
  size_t clicks = 0, i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) {
    if (got[i] == 'n') ++clicks;
    ++i;
  }
  return "first difference in click " + std::to_string(clicks) + ": got [" + got.substr(i, 40) + "] want [" +
         want.substr(i, 40) + "]";
}

TEST_F(MenuSoak, TenThousandClicksAtFullSpeedOutsideTheButtonsAreAllPrintedInOrder) {
  constexpr int kClicks = 10000;
  Display* dpy = x_->dpy();
  // Pixels 130..649 across and 10..781 down lie between the close box and
  // the button column. Successive clicks land on different pixels, so that
  // a lost, doubled or reordered click changes the printed text.
  for (int i = 0; i < kClicks; ++i) {
    int px = 130 + (i * 37) % 520;
    int py = 10 + (i * 53) % 772;
    XTestFakeMotionEvent(dpy, DefaultScreen(dpy), origin_x_ + px, origin_y_ + py, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
    expected_ += Printed(px, py);
    if (i % 500 == 499) XSync(dpy, False);
  }
  XSync(dpy, False);
  // The close request reaches the menu after every click, on the same
  // connection, so the program can only end once all have been handled.
  rig::ProcessResult r = CloseMenu();
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe().substr(0, 2000);
  EXPECT_EQ(rig::CountOf(r.out, "n"), kClicks);
  EXPECT_TRUE(r.out == expected_) << FirstDifference(r.out, expected_);
  EXPECT_EQ(r.err, "");
  // No sub-window may have opened.
  for (const Button& b : kButtons) EXPECT_EQ(x_->FindWindow(b.opens, false), 0u) << b.opens;
}

// Resources the server holds for the menu's client, by type, plus pixmap bytes.
struct Usage {
  unsigned long pixmap_bytes = 0;
  std::map<std::string, int> resources;
  bool operator==(const Usage& o) const { return pixmap_bytes == o.pixmap_bytes && resources == o.resources; }
  std::string Describe() const {
    std::string s = "pixmap bytes " + std::to_string(pixmap_bytes) + ";";
    for (const auto& kv : resources) s += " " + kv.first + "=" + std::to_string(kv.second);
    return s;
  }
};

TEST_F(MenuSoak, OpeningAndClosingEachWindow200TimesReturnsServerResourcesToTheStart) {
  constexpr int kRounds = 200;
  auto usage = [&] {
    Usage u;
    u.pixmap_bytes = x_->ClientPixmapBytes(menu_);
    u.resources = x_->ClientResources(menu_);
    return u;
  };
  // One round first, so that what lives for the whole run (the pictures
  // once loaded) is part of the starting point; then wait for the figures
  // to settle.
  for (const Button& b : kButtons) {
    Window w = Open(b);
    ASSERT_NE(w, 0u) << b.opens;
    ASSERT_TRUE(Close(w, b.opens)) << b.opens;
  }
  Usage start;
  ASSERT_TRUE(rig::WaitFor(
      [&] {
        Usage a = usage();
        rig::SleepMs(100);
        start = usage();
        return a == start;
      },
      10000, 10));
  ASSERT_NE(start.pixmap_bytes, ~0UL);
  ASSERT_FALSE(start.resources.empty());

  unsigned long peak_bytes = 0;
  for (int round = 0; round < kRounds; ++round) {
    for (const Button& b : kButtons) {
      Window w = Open(b);
      ASSERT_NE(w, 0u) << b.opens << " in round " << round << "; stderr: " << zindra_.Stderr();
      if (round % 50 == 0) peak_bytes = std::max(peak_bytes, x_->ClientPixmapBytes(menu_));
      ASSERT_TRUE(Close(w, b.opens)) << b.opens << " in round " << round;
    }
  }
  Usage end;
  bool same = rig::WaitFor(
      [&] {
        end = usage();
        return end == start;
      },
      10000, 20);
  EXPECT_TRUE(same) << "at the start: " << start.Describe() << "\nat the end: " << end.Describe();
  std::printf(
      "menu client at the start: %s\nafter %d rounds:        %s\npeak pixmap bytes with one window open: "
      "%lu\n",
      start.Describe().c_str(), kRounds, end.Describe().c_str(), peak_bytes);

  rig::ProcessResult r = CloseMenu();
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe().substr(0, 2000);
  EXPECT_EQ(rig::CountOf(r.out, "n"), 5 * (kRounds + 1));
  EXPECT_TRUE(r.out == expected_) << FirstDifference(r.out, expected_);
  EXPECT_EQ(r.err, "");
}

}  // namespace
