// The library from outside the source tree: installed, moved, and used by a
// program built with pkg-config and with CMake; and every example run once.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

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
  window.WriteText(Position(5.0f, 1.5f), "Hello, world!", Typeface(0.8f), Blue, AlignCenter);
  window.RenderText(Position(5.0f, 3.0f), "Hello, café!", Red, White);
  picture.Load("no such picture.xpm");
}
END
printf 'cmake_minimum_required(VERSION 3.16)\nproject(hello CXX)\nfind_package(slate REQUIRED)\n%s\n%s\n' \
  'add_executable(hello hello.cpp)' 'target_link_libraries(hello PRIVATE slate::slate)' > CMakeLists.txt
export PKG_CONFIG_PATH=$(dirname $(find ../prefix -name slate.pc))
g++ -std=c++17 -Wall -Wextra -Werror hello.cpp $(pkg-config --cflags --libs slate) -o hello
cmake -S . -B build -DCMAKE_PREFIX_PATH=$PWD/../prefix > /dev/null && cmake --build build > /dev/null
echo built
# A main of the program's own would keep ApiMain from running: it does not link.
printf '#include "slate.h"\nSimpleWindow w;\nvoid ApiMain() { w.Open(); }\nint main() { ApiMain(); }\n' > own.cpp
LC_ALL=C g++ -std=c++17 own.cpp $(pkg-config --cflags --libs slate) -o own 2> own.err || grep -o "multiple definition of .main'" own.err)";

// The README's first program under the installed slate-run, with a window
// manager: a screenshot, the text's colour, closed through the window manager.
const char Hello[] = R"(wait "Hello, slate"
screenshot "Hello, slate" hello.png
expect colour blue in "Hello, slate" 0,1.5 10,2.5
close "Hello, slate"
expect exit 0
)";

// The size of a PNG file from its header; 0 x 0 when it is not one.
std::vector<int> PngSize(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  unsigned char head[24] = {};
  in.read(reinterpret_cast<char*>(head), sizeof head);
  if (std::string(reinterpret_cast<char*>(head + 1), 3) != "PNG") return {0, 0};
  return {head[16] << 24 | head[17] << 16 | head[18] << 8 | head[19],
          head[20] << 24 | head[21] << 16 | head[22] << 8 | head[23]};
}

// slate-run with these arguments, in dir, with the script text.
int Play(const std::vector<std::string>& args, const std::string& script, const std::string& dir,
         std::string* out) {
  std::ofstream(dir + "/test.run") << script;
  std::vector<std::string> argv = {args[0], "--script", dir + "/test.run"};
  argv.insert(argv.end(), args.begin() + 1, args.end());
  rig::Child run(argv, {}, dir);
  int status = run.Wait(60000);
  *out = run.Out() + run.Err();
  return status;
}

TEST(Install, ProgramsBuildAgainstTheMovedInstallation) {
  std::ofstream(rig::Path("install-test.sh")) << Script;
  ASSERT_EQ(rig::Sh("cd " SLATE_BINARY_DIR " && BUILD=$PWD sh install-test.sh 2>&1"),
            "built\nmultiple definition of `main'\n");
  std::string hello = rig::Path("install-test/hello"), run = rig::Path("install-test/prefix/bin/slate-run"),
              out;
  EXPECT_EQ(Play({run, "--wm", "--", "./hello"}, Hello, hello, &out), 0) << out;
  EXPECT_EQ(PngSize(hello + "/hello.png"), std::vector<int>({660, 264})) << out;
  EXPECT_EQ(Play({run, "--", "build/hello"}, Hello, hello, &out), 0) << out;
  // An expectation that fails names its line; the program is ended.
  EXPECT_EQ(Play({run, "--", "./hello"},
                 "wait \"Hello, slate\"\nexpect colour red at \"Hello, slate\" 5,2 within 1s\n", hello, &out),
            1);
  EXPECT_NE(out.find("FAIL  line 2: expect colour red"), std::string::npos) << out;
  EXPECT_NE(out.find("slate-run ended it"), std::string::npos) << out;
}

// Each example plays its script, examples/NAME.run, all at once, each on an
// X server of its own.
TEST(Install, EveryExamplePlaysItsScript) {
  std::string dir = rig::Path("examples-played");
  rig::Sh("rm -rf " + dir + " && mkdir -p " + dir);
  std::istringstream names(rig::Sh("cd " SLATE_SOURCE_DIR "/examples && ls *.cpp | sed 's/.cpp$//'"));
  std::vector<std::pair<std::string, std::unique_ptr<rig::Child>>> runs;
  for (std::string name; names >> name;) {
    std::string script = SLATE_SOURCE_DIR "/examples/" + name + ".run";
    runs.emplace_back(
        name, std::make_unique<rig::Child>(
                  std::vector<std::string>{rig::Path("bin/slate-run"), "--script", script, "--dir",
                                           rig::Path("examples"), "--", rig::Path("examples/") + name},
                  std::vector<std::string>{}, dir));
  }
  EXPECT_GE(runs.size(), 8u);
  for (auto& [name, run] : runs) EXPECT_EQ(run->Wait(60000), 0) << name << "\n" << run->Out() << run->Err();

  // The chart reads its arguments, and ends with status 2 on a bad one.
  rig::Child bad({rig::Path("examples/chart"), "apples=12", "pears=many"});
  EXPECT_EQ(bad.Wait(), 2);
  EXPECT_EQ(bad.Err(), "chart: 'pears=many' is not name=number with a number from 0 to 100\n");
}

}  // namespace
