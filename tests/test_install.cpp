// The library from outside the source tree: installed, moved, and used by a
// program built with pkg-config and with CMake; and every example run once.
#include <gtest/gtest.h>

#include <fstream>

#include "rig.h"

namespace {

// Installs this build, moves the installation, and builds a program that
// draws text in both fonts and loads a picture against it with pkg-config
// and with CMake; the program takes names that X's headers would have taken.
const char Script[] = R"(set -e
rm -rf install-test && mkdir -p install-test/hello && cd install-test
cmake --install "$BUILD" --prefix staged > /dev/null && mv staged prefix && cd hello
cat > hello.cpp << 'END'
#include "slate.h"

// Names a program may want for itself: the header leaves them free.
enum class Status { Ok, Failed };
struct Window {
  int Id;
};
bool None = false;
using Bool = int;
const Status Success = Status::Ok;
const int KeyPress = 2;

SimpleWindow window("Hello, slate", 10.0f, 4.0f, Position(1.0f, 1.0f));
BitMap picture(window);

void ApiMain() {
  Window mine{KeyPress};
  if (None || Success != Status::Ok || Bool(mine.Id) != 2) return;
  window.Open();
  window.RenderText(Position(5.0f, 2.0f), "Hello, world!", Blue, White);
  window.WriteText(Position(5.0f, 2.5f), "Hello, café!", Typeface(0.5f, "serif"), Red, AlignCenter);
  picture.Load("no such picture.xpm");
}
END
printf 'cmake_minimum_required(VERSION 3.16)\nproject(hello CXX)\nfind_package(slate REQUIRED)\n%s\n%s\n' \
  'add_executable(hello hello.cpp)' 'target_link_libraries(hello PRIVATE slate::slate)' > CMakeLists.txt
export PKG_CONFIG_PATH=$(dirname $(find ../prefix -name slate.pc))
g++ -std=c++17 -Wall -Wextra -Werror hello.cpp $(pkg-config --cflags --libs slate) -o hello
cmake -S . -B build -DCMAKE_PREFIX_PATH=$PWD/../prefix > /dev/null && cmake --build build > /dev/null
echo built)";

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
  std::ofstream(rig::Path("install-test.sh")) << Script;
  ASSERT_EQ(rig::Sh("cd " SLATE_BINARY_DIR " && BUILD=$PWD sh install-test.sh 2>&1"), "built\n");
  std::string hello = rig::Path("install-test/hello/");
  EXPECT_EQ(ShowAndClose(hello + "hello", "Hello, slate"), 0);
  EXPECT_EQ(ShowAndClose(hello + "build/hello", "Hello, slate"), 0);
}

TEST(Install, EveryExampleShowsItsWindowAndEndsWhenClosed) {
  std::pair<const char*, const char*> examples[] = {
      {"alert_click", "Alert example"},      {"click_dots", "Click dots"},
      {"crystal_catch", "Crystal Catch"},    {"paint", "Paint"},
      {"picture_move", "Picture move"},      {"shapes", "Shapes"},
      {"text_colors", "Text colours"},       {"text_sizes", "Text sizes"},
      {"timer_animation", "Timer animation"}};
  for (auto [name, title] : examples)
    EXPECT_EQ(ShowAndClose(rig::Path("examples/") + name, title, rig::Path("examples")), 0) << name;
}

}  // namespace
