// Timers under load: five windows whose 1 ms timers draw text (a font
// load, two text drawings and a server round trip per tick) while the
// windows are clicked as fast as XTest can. Every click must arrive, in
// order, at the right window, and every window's timer must keep running.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "rig.h"

namespace {

constexpr int kWindows = 5;
constexpr int kScale = 66;

struct Click {
  int window, x, y;
};

TEST(TimersUnderLoad, FiveWindowsWithMillisecondTimersStayResponsiveAndLoseNoClick) {
  rig::Xvfb* server = rig::PrivateServer();
  ASSERT_NE(server, nullptr);
  rig::XClient x(server->Name());
  ASSERT_TRUE(x.ok());
  ASSERT_EQ(x.ScreenWidth(), 1920);

  rig::Process app;
  ASSERT_TRUE(app.Start(rig::AppPath("rl_timers"), server->Env())) << app.Error();
  ASSERT_TRUE(app.WaitForOutput("ready\n", 30000)) << app.Stderr();

  Window windows[kWindows];
  rig::Geometry geometry[kWindows];
  unsigned long blue = x.NamedPixel("blue1");
  for (int i = 0; i < kWindows; ++i) {
    windows[i] = x.WaitForWindow("rl timers " + std::to_string(i));
    ASSERT_NE(windows[i], 0u) << i;
    geometry[i] = x.GetGeometry(windows[i]);
    ASSERT_TRUE(geometry[i].ok);
    ASSERT_EQ(geometry[i].width, 5 * kScale);
    // The timers draw: blue text appears in every window.
    EXPECT_TRUE(rig::WaitFor([&] { return x.Capture(windows[i]).Count(blue) > 0; }, 10000, 20)) << i;
  }

  // 600 rounds over the five windows, each click on a different pixel.
  std::vector<Click> clicks;
  for (int round = 0; round < 600; ++round) {
    for (int w = 0; w < kWindows; ++w) {
      int n = static_cast<int>(clicks.size());
      Click c{w, 5 + (n * 31) % 320, 5 + (n * 17) % 320};
      x.Click(geometry[w].inner_x + c.x, geometry[w].inner_y + c.y);
      clicks.push_back(c);
    }
  }
  ASSERT_TRUE(app.WaitForOutputCount("click ", static_cast<int>(clicks.size()), 60000))
      << rig::CountOf(app.Stdout(), "click ") << " of " << clicks.size() << " clicks arrived";

  // Every click, in the order made, at the window and pixel clicked.
  std::vector<Click> got;
  for (const std::string& line : rig::Lines(app.Stdout())) {
    Click c;
    float cx, cy;
    if (std::sscanf(line.c_str(), "click %d %f %f", &c.window, &cx, &cy) != 3) continue;
    c.x = static_cast<int>(std::lround(cx * kScale));
    c.y = static_cast<int>(std::lround(cy * kScale));
    got.push_back(c);
  }
  ASSERT_EQ(got.size(), clicks.size());
  int wrong = 0;
  for (size_t i = 0; i < clicks.size(); ++i) {
    if (got[i].window == clicks[i].window && got[i].x == clicks[i].x && got[i].y == clicks[i].y) continue;
    if (++wrong <= 5)
      ADD_FAILURE() << "click " << i << ": made on window " << clicks[i].window << " at " << clicks[i].x
                    << "," << clicks[i].y << ", reported on window " << got[i].window << " at " << got[i].x
                    << "," << got[i].y;
  }
  EXPECT_EQ(wrong, 0);

  // Close everything; each window reports how often its timer ran.
  for (Window w : windows) EXPECT_TRUE(x.SendDeleteRequest(w));
  rig::ProcessResult r = app.Wait(30000);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe().substr(0, 2000);
  EXPECT_EQ(r.err, "");
  long ticks[kWindows] = {-1, -1, -1, -1, -1};
  for (const std::string& line : rig::Lines(r.out)) {
    int w;
    long n;
    if (std::sscanf(line.c_str(), "ticks %d %ld", &w, &n) == 2 && w >= 0 && w < kWindows) ticks[w] = n;
  }
  long least = *std::min_element(ticks, ticks + kWindows), most = *std::max_element(ticks, ticks + kWindows);
  EXPECT_GT(least, 0) << "a window's timer never ran";
  // The timers share one loop; none may starve while the others run.
  EXPECT_GE(least * 4, most) << "ticks from " << least << " to " << most;
  std::printf("%zu clicks, %d lost or misplaced; timer ticks per window from %ld to %ld\n", clicks.size(),
              wrong, least, most);
}

}  // namespace
