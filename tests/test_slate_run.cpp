// slate-run as its users run it: on hostile programs, bad scripts and
// missing servers, each run on an X server of its own, all at once.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "picture.h"
#include "rig.h"

namespace {

const std::string Probe = rig::Path("tests/probe");

int Count(const std::string& text, const std::string& word) {
  int n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

// slate-run on hostile programs, with scripts from a file: each on an X
// server of its own, all at once.
struct Played : rig::Child {
  Played(const std::string& name, const std::string& script, std::vector<std::string> args,
         std::vector<std::string> env = {})
      : Child(Command(name, script, args), env, Dir()) {}
  static std::string Dir() { return rig::Path("played"); }
  static std::vector<std::string> Command(const std::string& name, const std::string& script,
                                          std::vector<std::string> args) {
    mkdir(Dir().c_str(), 0755);
    // Without a name, the script is standard input: /dev/null.
    if (!name.empty()) {
      std::ofstream(Dir() + "/" + name + ".run") << script;
      args.insert(args.begin(), {"--script", name + ".run"});
    }
    args.insert(args.begin(), rig::Path("bin/slate-run"));
    return args;
  }
  bool Says(const std::string& text) const { return (Out() + Err()).find(text) != std::string::npos; }
};

// The processes whose parent is `parent`.
std::vector<int> ChildrenOf(int parent) {
  std::vector<int> children;
  std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
  while (dirent* entry = proc ? readdir(proc.get()) : nullptr) {
    if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) continue;
    // pid (comm) state ppid: the name may hold spaces, so read after its ')'.
    // Read by getline, which fails quietly when the process has ended since.
    std::ifstream in(std::string("/proc/") + entry->d_name + "/stat");
    std::string text;
    std::getline(in, text);
    size_t close = text.rfind(')');
    char state = 0;
    int ppid = 0;
    if (close != std::string::npos && std::sscanf(text.c_str() + close + 1, " %c %d", &state, &ppid) == 2 &&
        ppid == parent)
      children.push_back(std::atoi(text.c_str()));
  }
  return children;
}

// Whether none of the processes whose ids a program wrote to a file is left.
bool AllGone(const std::string& file) {
  std::ifstream ids(file);
  std::vector<int> pids;
  for (int pid; ids >> pid;) pids.push_back(pid);
  return pids.size() == 2 && rig::WaitFor([&] {
           for (int pid : pids)
             if (kill(pid, 0) == 0) return false;
           return true;
         });
}

TEST(Run, HostileProgramsAreEndedAndReported) {
  const std::string forever =
      "sleep 300 & echo $! > $0.pids; setsid sleep 300 & echo $! >> $0.pids; echo started; exec sleep 300";
  Played none("none", "wait \"probe A\"\nexpect exit 0\n", {"--", Probe}, {"PROBE=none"});
  Played crash("crash", "click \"probe A\" 1,1\nexpect exit 0\n", {"--", Probe}, {"PROBE=crash"});
  Played hundred("hundred", "expect 100 open \"probe *\"\nclose \"probe 99\"\nexpect 99 open \"probe *\"\n",
                 {"--size", "320x240x24", "--", Probe}, {"PROBE=hundred"});
  Played chatty(
      "chatty",
      "wait \"probe A\"\nexpect stdout \"19999\\nready\\n\" within 30s\nclose \"probe A\"\nexpect exit 0\n",
      {"--", Probe}, {"PROBE=chatty"});
  Played xerror("xerror", "wait \"probe A\"\nexpect exit 1\n", {"--", Probe}, {"PROBE=xerror"});
  Played endless("endless", "expect stdout \"started\"\nexpect exit 0 within 30s\n",
                 {"--timeout", "3", "--", "sh", "-c", forever, "endless"});
  Played stopped("stopped", "sleep 30s\n", {"--", "sh", "-c", forever, "stopped"});
  Played killed("killed", "sleep 30s\n", {"--", "sh", "-c", forever, "killed"});
  Played tapped("tapped",
                "wait \"probe A\"\nexpect colour red at \"probe A\" 1,1 within 1s\nclose \"probe A\"\n",
                {"--tap", "--", Probe}, {"PROBE=plain"});
  Played grabbing("grabbing", "wait \"probe A\"\nsleep 1s\nexpect colour red at \"probe A\" 1,1\n",
                  {"--timeout", "3", "--", Probe}, {"PROBE=grab"});

  // A program that never opens a window: the wait ends with it.
  EXPECT_EQ(none.Wait(30000), 1) << none.Out();
  EXPECT_TRUE(none.Says("FAIL  line 1: wait \"probe A\"")) << none.Out();
  EXPECT_TRUE(none.Says("the program ended with exit status 0 and no window \"probe A\" is shown"))
      << none.Out();
  EXPECT_EQ(crash.Wait(30000), 4) << crash.Out();
  EXPECT_TRUE(crash.Says("the program was killed by signal 11")) << crash.Out();
  EXPECT_EQ(hundred.Wait(30000), 0) << hundred.Out();
  EXPECT_TRUE(hundred.Says("slate-run ended it")) << hundred.Out();
  EXPECT_EQ(chatty.Wait(30000), 0) << chatty.Out();
  // A failed expectation for a grader: the plan, each step, its message.
  EXPECT_EQ(tapped.Wait(30000), 1) << tapped.Out();
  std::string tap = tapped.Out();
  for (const char* line :
       {"TAP version 13\n", "\n1..4\nok 1 - line 1: wait \"probe A\"",
        "\nnot ok 2 - line 2: expect colour red at \"probe A\" 1,1 within 1s",
        "\n  message: \"found white (#ffffff) at 1,1 cm (66,66 px)\"\n", "\nok 3 - line 3: close"})
    EXPECT_NE(tap.find(line), std::string::npos) << line << " in\n" << tap;
  EXPECT_EQ(xerror.Wait(30000), 5) << xerror.Out();
  EXPECT_TRUE(xerror.Says("X Error of failed request")) << xerror.Out();
  // Killed at the time-out, with what it started, in its group or out of it.
  EXPECT_EQ(endless.Wait(30000), 3) << endless.Out();
  EXPECT_TRUE(endless.Says("the run's time limit passed")) << endless.Out();
  EXPECT_TRUE(AllGone(Played::Dir() + "/endless.pids"));
  // One that keeps the server to itself: ended at the time-out all the same,
  // which is not its crash.
  // (On a machine so loaded that the server stays stuck two seconds more,
  // the server is killed and the run bails out without a summary.)
  EXPECT_EQ(grabbing.Wait(30000), 3) << grabbing.Out();
  if (!grabbing.Says("the run's time limit passed and the X server did not answer")) {
    EXPECT_TRUE(grabbing.Says("slate-run ended the program at the run's time limit\n")) << grabbing.Out();
    EXPECT_TRUE(grabbing.Says("; exit status 3: the run's time limit passed\n")) << grabbing.Out();
  }
  EXPECT_FALSE(grabbing.Says("signal 9")) << grabbing.Out();
  // Interrupted: everything ended, the X server too.
  ASSERT_TRUE(rig::WaitFor(
      [&] { return rig::Sh("wc -l < " + Played::Dir() + "/stopped.pids 2>/dev/null") == "2\n"; }, 10000));
  // slate-run's children: the X server and the program.
  std::vector<int> started = ChildrenOf(stopped.Pid());
  ASSERT_EQ(started.size(), 2u) << stopped.Out();
  kill(stopped.Pid(), SIGINT);
  EXPECT_EQ(stopped.Wait(30000), 128 + SIGINT) << stopped.Out();
  EXPECT_TRUE(AllGone(Played::Dir() + "/stopped.pids"));
  for (int pid : started) EXPECT_TRUE(rig::WaitFor([&] { return kill(pid, 0) != 0; })) << pid;
  // Killed outright: nothing of the run survives it, not even what the
  // program started outside its group (its guardian ends that).
  ASSERT_TRUE(rig::WaitFor(
      [&] { return rig::Sh("wc -l < " + Played::Dir() + "/killed.pids 2>/dev/null") == "2\n"; }, 10000));
  started = ChildrenOf(killed.Pid());
  ASSERT_EQ(started.size(), 2u) << killed.Out();
  kill(killed.Pid(), SIGKILL);
  EXPECT_EQ(killed.Wait(30000), -1);
  EXPECT_TRUE(AllGone(Played::Dir() + "/killed.pids"));
  for (int pid : started) EXPECT_TRUE(rig::WaitFor([&] { return kill(pid, 0) != 0; })) << pid;
}

// What a grader needs to tell what is wrong, on the probe's window A (5 x 4
// cm, white, taking no input): a wait for the whole script, sizes, the
// windows shown when one is missing, colours in centimetres, failures
// pictured, what the program printed, borderless screenshots to compare
// with, and what must not change.
TEST(Run, ExpectationsAGraderNeeds) {
  const std::string dir = Played::Dir() + "/";
  rig::Sh("cd " + dir + " && rm -f failed-line-*.png a.png");
  // Waiting 10 s for probe B would pass the time limit: 3, not 1.
  Played failing("failing",
                 "within 0.5s\nclick \"probe A\" 1,1\nexpect open \"probe B\"\nexpect size \"probe A\" 5x4\n"
                 "expect size \"probe A\" 6x4\nexpect colour red in \"probe A\" 1,1 2,2\n"
                 "screenshot \"probe A\" a.png\n",
                 {"--tap", "--failure-pictures", "--timeout", "8", "--", "sh", "-c",
                  "printf '\\033[31mred\\n' >&2; exec " + Probe},
                 {"PROBE=plain"});
  Played changing("changing", "expect stdout is \"a\\n\"\nexpect stdout is \"a\\n\" for 20s\n",
                  {"--", "sh", "-c", "echo a; sleep 1; echo b; exec sleep 30"});
  EXPECT_EQ(failing.Wait(20000), 1) << failing.Out();
  const std::string tap = failing.Out();
  for (const char* line :
       {"\nok 1 - line 2: click \"probe A\" 1,1 (",
        "\n  message: \"at 66,66 px; no client of the window takes clicks (none selects button events)\"\n",
        "\nnot ok 2 - line 3: expect open \"probe B\" (", "; the window shown: \\\"probe A\\\"\"\n",
        "\nok 3 - line 4: expect size \"probe A\" 5x4 (",
        "\n  message: \"the window is 5 x 4 cm (330 x 264 px), not 6 x 4 cm (396 x 264 px)\"\n"
        "  picture: \"failed-line-5.png\"\n  ...\n",
        "\n  message: \"no pixel of red (#ff0000) in 1,1 cm to 2,2 cm (66,66 px to 131,131 px); most are "
        "white "
        "(#ffffff)\"\n  picture: \"failed-line-6.png\"\n  region: [66, 66, 132, 132]\n",
        "\n# The program's standard output:\n#   ready\n# The program's standard error:\n#   \\x1b[31mred\n"})
    EXPECT_NE(tap.find(line), std::string::npos) << line << " in\n" << tap;
  // The failure's picture: the window, the rectangle ringed outside it.
  drive::Image picture, shot;
  std::string error;
  ASSERT_TRUE(drive::ReadPng(dir + "failed-line-6.png", &picture, &error)) << error;
  EXPECT_EQ(picture.Width, 330);
  EXPECT_EQ(
      drive::Hex(picture.At(64, 100)) + drive::Hex(picture.At(63, 100)) + drive::Hex(picture.At(66, 100)),
      "#000000#ffff00#ffffff");
  // The screenshot, without the border, is the reference of another run.
  ASSERT_TRUE(drive::ReadPng(dir + "a.png", &shot, &error)) << error;
  EXPECT_EQ(std::to_string(shot.Width) + "x" + std::to_string(shot.Height), "330x264");
  Played again(
      "again",
      "wait \"probe A\"\nexpect image a.png at \"probe A\" 0,0\nexpect stdout is \"ready\\n\" for 0.2s\n",
      {"--", Probe}, {"PROBE=plain"});
  EXPECT_EQ(again.Wait(), 0) << again.Out();
  // Output that changes while it must not.
  EXPECT_EQ(changing.Wait(30000), 1) << changing.Out();
  EXPECT_TRUE(changing.Says("FAIL  line 2: expect stdout is \"a\\n\" for 20s\n                 it held for "))
      << changing.Out();
  EXPECT_TRUE(changing.Says(" s, not 20 s: stdout is 4 bytes: \"a\\nb\\n\" (after ")) << changing.Out();
}

// Lines of a text that begin with a prefix.
std::vector<std::string> LinesOf(const std::string& text, const std::string& prefix = "") {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(prefix, 0) == 0) lines.push_back(line);
  return lines;
}

// Whether some process works in a folder within root (slate-run's own
// runs and X servers work in the report, programs and builds in the class).
bool AnyWorksIn(const std::string& root) {
  std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
  while (dirent* entry = proc ? readdir(proc.get()) : nullptr) {
    char cwd[4096];
    ssize_t n = readlink((std::string("/proc/") + entry->d_name + "/cwd").c_str(), cwd, sizeof cwd);
    if (n > 0 && std::string(cwd, n).rfind(root, 0) == 0) return true;
  }
  return false;
}

// A class of seven submissions of the counter: the right, wrong-colour and
// unflushed ones of the docs' worked class, and the crash, hang, no window
// and build error of tests/class. Built, graded three at a time, reported
// in a table, CSV, JUnit XML and a page that a browser shows with all its
// pictures.
TEST(Run, AClassIsBuiltGradedAndReported) {
  const std::string root = rig::Path("class-run");
  rig::Sh("rm -rf " + root + " && mkdir -p " + root + " && cp -r " SLATE_SOURCE_DIR "/tests/class " + root +
          " && cd " SLATE_SOURCE_DIR "/docs/class/submissions && cp -r ana ben eve " + root + "/class");
  const std::string build =
      "g++ -std=c++17 counter.cpp -I" SLATE_SOURCE_DIR "/include -L" SLATE_BINARY_DIR
      " -lslate -lslate_core -lslate_own_main $(pkg-config --libs xft fontconfig libpng xkbcommon) "
      "-lXpm -lXrender -lX11 -o counter";
  rig::Child graded({rig::Path("bin/slate-run"), "--script", "class/grade.run", "--class", "class", "-j", "3",
                     "--build", build, "--report", "report", "--", "./counter"},
                    {}, root);
  ASSERT_EQ(graded.Wait(90000), 1) << graded.Out() << graded.Err();
  EXPECT_FALSE(AnyWorksIn(root));
  const std::string report = root + "/report/";
  auto read = [](const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };

  // Verdicts and points (size 1, colour 2, output 2, exit 1), in name order;
  // the unflushed output of eve's counter is seen line by line.
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"ada,timed out,3,6,", ",1,2,0,0"},
      {"ana,passed,6,6,", ",,1,2,2,1"},
      {"ben,failed,4,6,", ",1,0,2,1"},
      {"carl,crashed,3,6,", ",1,2,0,0"},
      {"emil,failed,0,6,", ",0,0,0,0"},
      {"eve,passed,6,6,", ",,1,2,2,1"},
      {"gus,build failed,0,6,", ",the build ended with exit status 1,0,0,0,0"}};
  std::vector<std::string> csv = LinesOf(read(report + "summary.csv"));
  ASSERT_EQ(csv.size(), rows.size() + 1) << read(report + "summary.csv");
  EXPECT_EQ(csv[0], "submission,verdict,score,out of,seconds,first failure,line 6,line 8,line 10,line 12");
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::string& line = csv[i + 1];
    EXPECT_EQ(line.rfind(rows[i].first, 0), 0u) << line;
    EXPECT_EQ(line.size() - std::min(line.size(), rows[i].second.size()), line.rfind(rows[i].second)) << line;
  }
  EXPECT_NE(csv[3].find("found blue (#0000ff) at 1.5,1.5 cm (99,99 px)"), std::string::npos) << csv[3];
  // The table on the terminal, and the run's end.
  std::string out = graded.Out();
  EXPECT_NE(out.find("\nben         failed       4/6  "), std::string::npos) << out;
  EXPECT_NE(out.find("slate-run: 7 submissions, 2 passed, 5 did not;"), std::string::npos) << out;

  // JUnit XML, as CI systems require it, with the counts of its cases.
  EXPECT_EQ(rig::Sh("xmllint --noout --schema " SLATE_SOURCE_DIR "/tests/junit.xsd " + report +
                    "junit.xml 2>&1 >/dev/null"),
            report + "junit.xml validates\n");
  std::string junit = read(report + "junit.xml");
  // (Whether carl's crash comes before or after the step after his click
  // only moves one failure from a step to the next.)
  EXPECT_NE(junit.find("<testsuites name=\"slate-run grade.run\" tests=\"55\" failures=\"6\" errors=\"2\" "),
            std::string::npos)
      << junit.substr(0, 300);
  for (const char* suite : {"<testsuite name=\"carl\" tests=\"9\" failures=\"2\" errors=\"1\" ",
                            "<testsuite name=\"emil\" tests=\"9\" failures=\"1\" errors=\"0\" skipped=\"7\"",
                            "<testsuite name=\"gus\" tests=\"1\" failures=\"0\" errors=\"1\" skipped=\"0\""})
    EXPECT_NE(junit.find(suite), std::string::npos) << suite;

  // Never more than three at once, and three at once.
  int running = 0, most = 0;
  for (const std::string& line : LinesOf(read(report + "run.log"), " ")) {
    running += line.find(" s  start  ") != std::string::npos   ? 1
               : line.find(" s  end    ") != std::string::npos ? -1
                                                               : 0;
    most = std::max(most, running);
  }
  EXPECT_EQ(most, 3) << read(report + "run.log");
  EXPECT_EQ(running, 0) << read(report + "run.log");

  // The page in a browser: every verdict, every picture loaded (each
  // picture records in the page whether it loaded).
  std::string dom = rig::Sh(
      "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync --user-data-dir=" +
      root + "/browser --dump-dom file://" + report + "index.html 2>/dev/null");
  std::string verdicts;
  for (size_t at = dom.find("data-verdict=\""); at != std::string::npos;
       at = dom.find("data-verdict=\"", at + 1))
    verdicts += dom.substr(at + 14, dom.find('"', at + 14) - at - 14) + ";";
  EXPECT_EQ(verdicts, "timed out;passed;failed;crashed;failed;passed;build failed;") << dom.substr(0, 2000);
  // The five screenshots, and ben's wrong colour ringed.
  EXPECT_EQ(Count(dom, "<img "), 6) << dom;
  EXPECT_EQ(Count(dom, "data-state=\"loaded\""), 6) << dom;
  EXPECT_NE(dom.find("src=\"ben/failed-line-8.png\""), std::string::npos);
}

// Titles outside ASCII, as the script writes them in UTF-8, whatever the
// property and the type a program set them in.
TEST(Run, WindowsAreFoundByTheirTitlesInUtf8) {
  Played titled(
      "titled",
      "wait \"Z\xc3\xa4hler \xe2\x82\xac\" within 5s\nexpect open \"Z\xc3\xa4hler \xe2\x82\xac B\"\n"
      "expect open \"Z\xc3\xa4hler C\" within 1s\nexpect 3 open \"Z\xc3\xa4hler*\"\n"
      "expect closed \"probe A\"\nexpect closed \"Zahler C\" within 0s\n",
      {"--", Probe}, {"PROBE=titles"});
  EXPECT_EQ(titled.Wait(), 0) << titled.Out();
}

TEST(Run, BadScriptsAndMissingServersRunNothing) {
  std::remove((Played::Dir() + "/ran").c_str());  // left by a faulty build
  // An error on the last line: nothing starts.
  Played bad("bad", "wait \"probe A\"\nclick \"probe A\" 1,1\nexpect exit zero\n",
             {"--", "sh", "-c", "touch ran"});
  EXPECT_EQ(bad.Wait(), 2);
  EXPECT_TRUE(bad.Says("bad.run:3: \"zero\" is not an exit status")) << bad.Err();
  EXPECT_FALSE(std::ifstream(Played::Dir() + "/ran"));
  // Checked only, or bailing out in the Test Anything Protocol.
  Played checked("checked", "wait \"probe A\"\nclose \"probe A\"\n", {"--check"});
  EXPECT_EQ(checked.Wait(), 0);
  EXPECT_TRUE(checked.Says("checked.run: 2 steps, no error")) << checked.Out();
  // Numbers, colours and keys that look almost right; a screen without depth.
  Played almost("almost",
                "expect colour red at \"A\" 0x10,1\nexpect colour #12345 at \"A\" 1,1\npress \"A\" ctrl+\n",
                {"--check"});
  EXPECT_EQ(almost.Wait(), 2);
  EXPECT_TRUE(almost.Says("almost.run:1: \"0x10,1\" is not a position X,Y in centimetres")) << almost.Err();
  EXPECT_TRUE(almost.Says("almost.run:2: \"#12345\" is not a colour")) << almost.Err();
  EXPECT_TRUE(almost.Says("almost.run:3: \"ctrl+\": a key is missing after +")) << almost.Err();
  Played sized("sized", "sleep 0s\n", {"--size", "1366x768", "--check"});
  EXPECT_EQ(sized.Wait(), 0) << sized.Err();
  // A byte-order mark, which some editors write, is skipped.
  Played marked("marked", "\xEF\xBB\xBFwait \"probe A\"\n", {"--check"});
  EXPECT_EQ(marked.Wait(), 0) << marked.Err();
  EXPECT_EQ(marked.Out(), "marked.run: 1 step, no error\n");
  Played bailed("bad", "expect exit zero\n", {"--tap", "--", "sh", "-c", "touch ran"});
  EXPECT_EQ(bailed.Wait(), 2);
  EXPECT_EQ(bailed.Out(), "TAP version 13\nBail out! the script bad.run has errors\n");
  EXPECT_FALSE(std::ifstream(Played::Dir() + "/ran"));
  // A script that is a directory, one without steps, and none at all (a
  // forgotten --script reads /dev/null): refused, as nothing would fail.
  Played directory("directory", "", {"--script", ".", "--", "sh", "-c", "touch ran"});
  Played empty("empty", "# steps to come\n", {"--", "sh", "-c", "touch ran"});
  Played forgotten("", "", {"--tap", "--", "sh", "-c", "touch ran"});
  EXPECT_EQ(directory.Wait(), 2);
  EXPECT_TRUE(directory.Says("slate-run: cannot read the script .: it is a directory")) << directory.Err();
  EXPECT_EQ(empty.Wait(), 2);
  EXPECT_TRUE(empty.Says("slate-run: the script empty.run has no steps; nothing was run")) << empty.Err();
  EXPECT_EQ(forgotten.Wait(), 2);
  EXPECT_EQ(forgotten.Out(), "TAP version 13\nBail out! the script stdin has no steps\n");
  EXPECT_FALSE(std::ifstream(Played::Dir() + "/ran"));
  // A program without its execute bit is named as such.
  std::ofstream(Played::Dir() + "/plain") << "#!/bin/sh\n";
  Played plain("plain", "sleep 0s\n", {"--", "./plain"});
  EXPECT_EQ(plain.Wait(), 6);
  EXPECT_TRUE(plain.Says("slate-run: ./plain is not executable\n")) << plain.Err();
  // Pictures and screenshots that are FIFOs would block: refused, when the
  // script is read and when the program has put them in place.
  std::string dir = Played::Dir() + "/";
  rig::Sh("cd " + dir +
          " && rm -f fifo.png late.png shot.png && mkfifo fifo.png && cp " SLATE_SOURCE_DIR
          "/tests/pictures/png_rgb_33x33.png late.png");
  Played fifo("fifo", "wait \"A\"\nscreenshot screen fifo.png\nexpect image fifo.png at \"A\" 1,1\n",
              {"--", "/bin/true"});
  EXPECT_EQ(fifo.Wait(), 2);
  EXPECT_TRUE(
      fifo.Says("fifo.run:2: cannot write the screenshot fifo.png: it is a FIFO, not a regular file\n"))
      << fifo.Err();
  EXPECT_TRUE(fifo.Says("fifo.run:3: cannot read the picture fifo.png: it is a FIFO, not a regular file\n"))
      << fifo.Err();
  Played late("late",
              "expect stdout \"made\"\nexpect image late.png at \"A\" 1,1\nscreenshot screen shot.png\n",
              {"--", "sh", "-c", "rm late.png; mkfifo late.png shot.png; echo made; exec sleep 30"});
  EXPECT_EQ(late.Wait(20000), 1) << late.Out();
  EXPECT_TRUE(
      late.Says("FAIL  line 2: expect image late.png at \"A\" 1,1\n"
                "                 cannot read late.png: it is a FIFO, not a regular file\n"))
      << late.Out();
  EXPECT_TRUE(
      late.Says("FAIL  line 3: screenshot screen shot.png\n"
                "                 cannot write shot.png: it is a FIFO, not a regular file\n"))
      << late.Out();
  // Without Xvfb, or openbox: the Debian package to install.
  Played noServer("noserver", "sleep 0s\n", {"--", "/bin/true"}, {"PATH=/nonexistent"});
  EXPECT_EQ(noServer.Wait(), 6);
  EXPECT_TRUE(noServer.Says("it is in the Debian package xvfb")) << noServer.Err();
  std::string onlyXvfb = Played::Dir() + "/only-xvfb";
  rig::Sh("mkdir -p " + onlyXvfb + " && ln -sf $(command -v Xvfb) " + onlyXvfb);
  Played noManager("nomanager", "sleep 0s\n", {"--wm", "--", "/bin/true"}, {"PATH=" + onlyXvfb});
  EXPECT_EQ(noManager.Wait(), 6);
  EXPECT_TRUE(noManager.Says("it is in the Debian package openbox")) << noManager.Err();
}

}  // namespace
