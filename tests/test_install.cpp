// The library from outside the source tree: installed, moved, and used by a
// program built with pkg-config and with CMake; and every example run once.
#include <gtest/gtest.h>

#include <fstream>

#include "rig.h"

namespace {

const char Hello[] = R"(#include "slate.h"

SimpleWindow window("Hello, slate", 10.0f, 4.0f, Position(1.0f, 1.0f));
BitMap picture(window);

void ApiMain() {
  window.Open();
  window.RenderText(Position(5.0f, 2.0f), "Hello, world!", Blue, White);
  picture.Load("no such picture.xpm");
}
)";

const char Project[] = R"(cmake_minimum_required(VERSION 3.16)
project(hello CXX)
find_package(slate REQUIRED)
add_executable(hello hello.cpp)
target_link_libraries(hello PRIVATE slate::slate)
)";

// Runs a program until its windows are shown, closes them as a window
// manager would, and gives its exit status.
int ShowAndClose(const std::string& program, const std::string& title, const std::string& dir = "") {
  rig::Peer peer;
  rig::Child child({program}, {}, dir);
  Window w = peer.Find(title);
  EXPECT_NE(w, 0u) << program << child.Err();
  peer.Close(w);
  int status = child.Wait();
  EXPECT_EQ(child.Err(), "") << program;
  return status;
}

TEST(Install, ProgramsBuildAgainstTheMovedInstallation) {
  std::string scratch = rig::Path("install-test");
  std::string sh = "rm -rf " + scratch + " && mkdir -p " + scratch + "/hello && cd " + scratch +
                   " && cmake --install " SLATE_BINARY_DIR " --prefix staged > /dev/null && mv staged prefix";
  ASSERT_EQ(rig::Sh(sh + " && echo installed"), "installed\n");
  std::ofstream(scratch + "/hello/hello.cpp") << Hello;
  std::ofstream(scratch + "/hello/CMakeLists.txt") << Project;
  std::string built = rig::Sh(
      "cd " + scratch +
      "/hello && export PKG_CONFIG_PATH=$(dirname $(find ../prefix -name slate.pc)) && "
      "g++ -std=c++17 -Wall -Wextra -Werror hello.cpp $(pkg-config --cflags --libs slate) -o hello 2>&1 && "
      "cmake -S . -B build -DCMAKE_PREFIX_PATH=" +
      scratch +
      "/prefix > /dev/null && cmake --build build > /dev/null "
      "&& echo built");
  ASSERT_EQ(built, "built\n");
  EXPECT_EQ(ShowAndClose(scratch + "/hello/hello", "Hello, slate"), 0);
  EXPECT_EQ(ShowAndClose(scratch + "/hello/build/hello", "Hello, slate"), 0);
}

TEST(Install, EveryExampleShowsItsWindowAndEndsWhenClosed) {
  std::pair<const char*, const char*> examples[] = {
      {"alert_click", "Alert example"},   {"click_dots", "Click dots"},
      {"crystal_catch", "Crystal Catch"}, {"paint", "Paint"},
      {"picture_move", "Picture move"},   {"shapes", "Shapes"},
      {"text_colors", "Text colours"},    {"timer_animation", "Timer animation"}};
  for (auto [name, title] : examples)
    EXPECT_EQ(ShowAndClose(rig::Path("examples/") + name, title, rig::Path("examples")), 0) << name;
}

}  // namespace
