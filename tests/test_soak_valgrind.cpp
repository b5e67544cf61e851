// The whole menu under Valgrind's memcheck: start, every button, close
// everything. Any memory error, or any block definitely lost, makes
// Valgrind end the program with status 99 instead of 0.
//
// Skipped in the sanitizer build (Valgrind cannot run AddressSanitizer
// programs) and where Valgrind is not installed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <string>

#include "menu_support.h"
#include "rig.h"

namespace {

const std::string kSuppressions = SLATE_SOURCE_DIR "/tests/valgrind.supp";

bool SanitizerBuild() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#else
  return false;
#endif
}

// Bytes in one of memcheck's leak summary lines ("definitely lost: 1,234 bytes"); -1 if absent.
long LeakFigure(const std::string& log, const std::string& kind) {
  std::smatch m;
  std::regex line(kind + ": ([0-9,]+) bytes");
  if (!std::regex_search(log, m, line)) return -1;
  std::string digits;
  for (char c : m[1].str())
    if (c != ',') digits += c;
  return std::stol(digits);
}

TEST(MenuUnderValgrind, EveryButtonThenEveryWindowClosedWithoutErrorsOrDefiniteLeaks) {
  if (SanitizerBuild()) GTEST_SKIP() << "Valgrind cannot run programs built with AddressSanitizer";
  if (access("/usr/bin/valgrind", X_OK) != 0) GTEST_SKIP() << "valgrind is not installed";
  rig::Xvfb* server = rig::PrivateServer();
  ASSERT_NE(server, nullptr);
  rig::XClient x(server->Name());
  ASSERT_TRUE(x.ok());
  ASSERT_EQ(x.ScreenWidth(), 1920);

  rig::ProcessOptions options;
  options.cwd = kZindraDir;
  options.args = {"--tool=memcheck",
                  "--error-exitcode=99",
                  "--leak-check=full",
                  "--show-leak-kinds=definite",
                  "--errors-for-leak-kinds=definite",
                  "--suppressions=" + kSuppressions,
                  "--num-callers=30",
                  kZindra};
  rig::Process zindra;
  ASSERT_TRUE(zindra.Start("/usr/bin/valgrind", server->Env(options))) << zindra.Error();
  Window menu = x.WaitForWindow("ZINDRA", 120000);
  ASSERT_NE(menu, 0u) << zindra.Stderr();
  ASSERT_TRUE(x.WaitForWindowGone("laoding", 60000));

  auto click = [&](const Button& b) {
    int px = static_cast<int>((b.left + b.right) / 2 * kScale);
    int py = static_cast<int>((b.top + b.bottom) / 2 * kScale);
    return x.ClickInWindow(menu, px, py);
  };
  // Every button; each window is moved off the menu so the next button
  // can be reached.
  std::vector<Window> opened;
  for (const Button& b : kButtons) {
    ASSERT_TRUE(click(b));
    Window w = x.WaitForWindow(b.opens, 60000);
    ASSERT_NE(w, 0u) << b.opens << "; " << zindra.Stderr();
    XMoveWindow(x.dpy(), w, 1060, 66);
    x.Sync();
    ASSERT_TRUE(rig::WaitFor([&] { return x.GetGeometry(w).x == 1060; }, 10000));
    opened.push_back(w);
  }
  // The menu's own close box first, then the window manager closes the rest.
  ASSERT_TRUE(click(kCloseBox));
  ASSERT_TRUE(x.WaitForWindowGone("ZINDRA", 60000));
  for (size_t i = 0; i < opened.size(); ++i) {
    ASSERT_TRUE(x.SendDeleteRequest(opened[i]));
    ASSERT_TRUE(x.WaitForWindowGone(kButtons[i].opens, 60000)) << kButtons[i].opens;
  }
  rig::ProcessResult r = zindra.Wait(120000);
  std::string summary =
      r.err.substr(r.err.find("HEAP SUMMARY") == std::string::npos ? 0 : r.err.find("HEAP SUMMARY"));
  EXPECT_TRUE(r.ExitedWith(0)) << r.Describe();
  EXPECT_NE(r.err.find("ERROR SUMMARY: 0 errors"), std::string::npos) << r.err;
  long definite = LeakFigure(r.err, "definitely lost");
  EXPECT_TRUE(definite <= 0) << summary;  // absent when every block was freed
  std::smatch in_use;
  std::regex_search(r.err, in_use, std::regex("in use at exit: ([0-9,]+ bytes in [0-9,]+ blocks)"));
  std::printf(
      "memcheck of the menu: definitely lost %ld bytes, possibly lost %ld bytes; in use at exit: %s\n",
      std::max(0L, definite), std::max(0L, LeakFigure(r.err, "possibly lost")),
      in_use.empty() ? "?" : in_use[1].str().c_str());
  EXPECT_EQ(rig::CountOf(r.out, "n"), 6);
}

}  // namespace
