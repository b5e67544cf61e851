// Installing the library and using it from outside the source tree: install
// this build into a scratch prefix, move the installed tree elsewhere (the
// package must not depend on where it was installed), build a small program
// against it with pkg-config and g++ and with a three-line CMake project,
// and run both programs on the test's display: each must show its window,
// draw into it and end with status 0 when the window manager closes it.
#include <gtest/gtest.h>
// Xlib headers after GoogleTest, whose internals use the name None.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "rig.h"
#include "slate.h"

namespace {

namespace fs = std::filesystem;

// The first program of the documentation.
const char kHello[] = R"(// The smallest slate program: one window with a greeting; close it to quit.
#include "slate.h"

SimpleWindow window("Hello, slate", 10.0f, 4.0f, Position(1.0f, 1.0f));

void ApiMain() {
  window.Open();
  window.RenderText(Position(5.0f, 2.0f), "Hello, world!", Blue, White);
}
)";

const char kCMakeLists[] = R"(cmake_minimum_required(VERSION 3.16)
project(hello CXX)
find_package(slate REQUIRED)
add_executable(hello hello.cpp)
target_link_libraries(hello PRIVATE slate::slate)
)";

// Single quotes for the shell.
std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs a shell command with a generous timeout; the result says how it went.
rig::ProcessResult Shell(const std::string& command, int timeout_ms = 180000) {
  return rig::Run("/bin/sh", rig::WithArgs({"-c", command}), timeout_ms);
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path) << text;
}

// The first file called name under dir, or an empty path.
fs::path Find(const fs::path& dir, const std::string& name) {
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.path().filename() == name) return entry.path();
  }
  return {};
}

// Runs an installed program on the test's display and checks that it shows
// its window with the text drawn, and ends with 0 on a close request.
void RunHello(const fs::path& program) {
  SCOPED_TRACE(program.string());
  rig::XClient x;
  ASSERT_TRUE(x.ok()) << "no display";
  rig::Process process;
  ASSERT_TRUE(process.Start(program.string())) << process.Error();
  Window w = x.WaitForWindow("Hello, slate", 10000);
  ASSERT_NE(w, 0u) << "no window; " << process.Wait(2000).Describe() << "\n" << process.Stderr();
  rig::Geometry g = x.GetGeometry(w);
  int scale = x.ScreenWidth() / 29;
  EXPECT_EQ(g.width, 10 * scale);
  EXPECT_EQ(g.height, 4 * scale);
  unsigned long blue = x.NamedPixel("blue1");
  EXPECT_TRUE(rig::WaitFor([&] { return x.Capture(w).Count(blue) > 50; })) << "no blue text";
  ASSERT_TRUE(x.SendDeleteRequest(w));
  rig::ProcessResult result = process.Wait(10000);
  EXPECT_TRUE(result.ExitedWith(0)) << result.Describe() << "\n" << result.err;
}

class Install : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir_template[] = "/tmp/slate-install-XXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    scratch_ = dir_template;
  }
  void TearDown() override {
    if (!scratch_.empty()) fs::remove_all(scratch_);
  }
  fs::path scratch_;
};

TEST_F(Install, InstalledLibraryBuildsAndRunsProgramsWithPkgConfigAndCMake) {
  const fs::path staged = scratch_ / "staged", prefix = scratch_ / "prefix";
  rig::ProcessResult installed =
      Shell("cmake --install " + Quote(SLATE_BINARY_DIR) + " --prefix " + Quote(staged.string()));
  ASSERT_TRUE(installed.ExitedWith(0)) << installed.Describe() << "\n" << installed.out << installed.err;
  fs::rename(staged, prefix);

  // One archive with everything, main included, the header and both package files.
  const fs::path archive = Find(prefix, "libslate.a"), pc = Find(prefix, "slate.pc");
  ASSERT_FALSE(archive.empty());
  ASSERT_FALSE(pc.empty());
  EXPECT_TRUE(fs::exists(prefix / "include" / "slate.h"));
  EXPECT_FALSE(Find(prefix, "slateConfig.cmake").empty());
  EXPECT_TRUE(Find(prefix, "libslate_core.a").empty()) << "only one archive is shipped";
  rig::ProcessResult symbols = Shell("nm --defined-only " + Quote(archive.string()));
  ASSERT_TRUE(symbols.ExitedWith(0)) << symbols.Describe();
  EXPECT_NE(symbols.out.find(" T main\n"), std::string::npos) << "the archive lacks main";

  const fs::path src = scratch_ / "hello";
  fs::create_directories(src);
  WriteFile(src / "hello.cpp", kHello);
  WriteFile(src / "CMakeLists.txt", kCMakeLists);

  // pkg-config and g++, as a user would type it.
  rig::ProcessResult by_pkg_config = Shell(
      "cd " + Quote(src.string()) + " && export PKG_CONFIG_PATH=" + Quote(pc.parent_path().string()) +
      " && g++ -std=c++17 -Wall -Wextra -Werror hello.cpp $(pkg-config --cflags --libs slate) -o hello");
  ASSERT_TRUE(by_pkg_config.ExitedWith(0)) << by_pkg_config.Describe() << "\n" << by_pkg_config.err;

  // A three-line CMake project that finds the package.
  const fs::path build = scratch_ / "build";
  rig::ProcessResult by_cmake =
      Shell("cmake -S " + Quote(src.string()) + " -B " + Quote(build.string()) +
            " -DCMAKE_PREFIX_PATH=" + Quote(prefix.string()) + " && cmake --build " + Quote(build.string()));
  ASSERT_TRUE(by_cmake.ExitedWith(0)) << by_cmake.Describe() << "\n" << by_cmake.out << by_cmake.err;

  RunHello(src / "hello");
  RunHello(build / "hello");
}

}  // namespace
