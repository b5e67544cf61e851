// Programs as users run them: the probe's scenarios (tests/apps/probe.cpp),
// driven from another client with real input and close requests, on this
// program's X server or on servers of their own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <fstream>

#include "rig.h"

namespace {

const std::string Probe = rig::Path("tests/probe");
const std::string Usable = "display usable at exit\n";

int Count(const std::string& text, const std::string& word) {
  int n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

struct Scenario : rig::Child {
  explicit Scenario(const std::string& mode, std::vector<std::string> env = {})
      : Child({Probe}, (env.push_back("PROBE=" + mode), env)) {}
};

TEST(Programs, ShutdownRequestsAndTheEnd) {
  // Newest window first; a second request, and one with nothing open,
  // change nothing.
  Scenario terminate("terminate");
  EXPECT_EQ(terminate.Wait(), 0);
  EXPECT_EQ(terminate.Out(),
            "nothing to close\nasked twice\nready\nquit C\nquit B\nquit A\nApiEnd\n" + Usable);

  // Another client destroys C; it is asked to close before its destruction
  // is known, and its quit callback asks again.
  rig::Peer peer;
  Scenario gone("gone");
  ASSERT_TRUE(gone.WaitOut("waiting\n"));
  XDestroyWindow(peer.D, peer.Find("probe C"));
  XSync(peer.D, False);
  EXPECT_EQ(gone.Wait(), 0);
  EXPECT_EQ(gone.Out(), "waiting\nready\nquit C\nquit B\nquit A\nApiEnd\n" + Usable);
  EXPECT_EQ(gone.Err(), "");

  // Windows opened by ApiEnd: a global one closes in its destructor while
  // the display is usable, a leaked one is closed by the runtime, and a
  // picture destroyed after the runtime does not touch the closed display.
  Scenario exit("exit", {"PICTURE=" SLATE_SOURCE_DIR "/tests/pictures/quadrants_66x33.xpm"});
  ASSERT_TRUE(exit.WaitOut("ready\n"));
  peer.Close(peer.Find("probe A"));
  EXPECT_EQ(exit.Wait(), 0);
  EXPECT_EQ(exit.Out(), "ready\nquit A\nApiEnd\nlate 1\n" + Usable +
                            "Attempted to terminated the program with a nonempty window manager\n"
                            "display closed after the library\n");
  EXPECT_EQ(exit.Err(), "");
}

TEST(Programs, ClicksExposuresTimersAndCloseRequests) {
  rig::Peer peer;
  Scenario probe("windows", {"INTERVAL=50"});
  ASSERT_TRUE(probe.WaitOut("ready\n"));
  Window a = peer.Find("probe A");
  // Covered and uncovered: repainted from the backing pixmap.
  XSetWindowAttributes cover{};
  cover.override_redirect = True;
  Window over = XCreateWindow(peer.D, DefaultRootWindow(peer.D), 0, 0, 500, 400, 0, CopyFromParent,
                              InputOutput, CopyFromParent, CWOverrideRedirect, &cover);
  XMapRaised(peer.D, over);
  XSync(peer.D, False);
  XDestroyWindow(peer.D, over);
  XSync(peer.D, False);
  EXPECT_TRUE(rig::WaitFor([&] { return peer.Pixel(a, 150, 150) == peer.Named("red1"); }));
  EXPECT_EQ(peer.Pixel(a, 132, 132), peer.Named("black"));

  peer.Click(a, 33, 66);
  peer.Click(a, 66, 33, 3);
  peer.Click(a, 10, 10);  // closes and reopens the window
  ASSERT_TRUE(probe.WaitOut("reopened 1\n"));
  Window again = 0;
  ASSERT_TRUE(rig::WaitFor([&] { return (again = peer.Find("probe A")) != a; }));
  peer.Click(again, 99, 99);
  ASSERT_TRUE(probe.WaitOut("click 1.5 1.5\n"));
  ASSERT_TRUE(rig::WaitFor([&] { return Count(probe.Out(), "tick") >= 3; }));
  peer.Close(peer.Find("probe B"));
  ASSERT_TRUE(probe.WaitOut("quit B\n"));
  peer.Close(again);
  EXPECT_EQ(probe.Wait(), 0);

  // At least three ticks, none early, none after their window closed.
  std::string out = probe.Out();
  EXPECT_GE(Count(out, "tick\n"), 3);
  EXPECT_GT(out.find("quit B"), out.rfind("tick"));
  for (size_t at; (at = out.find("tick\n")) != std::string::npos;) out.erase(at, 5);
  EXPECT_EQ(
      out,
      "ready\nclick 0.5 1\nclick 1 0.5\nclick 0.151515 0.151515\nreopened 1\nclick 1.5 1.5\nquit B\nquit A\n"
      "ApiEnd\n" +
          Usable);
}

TEST(Programs, KeysPointerAndDrags) {
  rig::Peer peer;
  Scenario probe("input");
  ASSERT_TRUE(probe.WaitOut("ready\n"));
  Window a = peer.Find("probe A");
  XWindowAttributes attributes;
  XGetWindowAttributes(peer.D, a, &attributes);
  EXPECT_EQ(attributes.all_event_masks, 0x2a00f);  // and keys, and motion while a button is held
  peer.Move(a, 10, 10);  // without a window manager the keyboard follows the pointer
  for (const char* key : {"a", "Left", "Shift_L", "b"}) peer.Key(key, true);
  for (const char* key : {"b", "Shift_L", "Left", "a"}) peer.Key(key, false);
  // Held past the server's auto-repeat delay (660 ms, then 25 a second).
  peer.Key("Right", true);
  rig::Sleep(1000);
  peer.Key("Right", false);
  ASSERT_TRUE(probe.WaitOut("key release 0xff53"));

  // The first drag holds the probe up while the pointer moves on, lets go,
  // and drags with another button: motions are taken together up to the release.
  peer.Move(a, 33, 33);
  peer.Button(1, true);
  peer.Move(a, 66, 99);
  ASSERT_TRUE(probe.WaitOut("drag 1 1.5\n"));
  peer.Move(a, 99, 99);
  peer.Move(a, 132, 66);
  peer.Button(1, false);
  peer.Button(3, true);
  peer.Move(a, 165, 33);
  peer.Button(3, false);
  peer.Close(a);
  EXPECT_EQ(probe.Wait(), 0);
  std::string out = probe.Out();
  const std::string repeat = "key press 0xff53 '' repeat\n";
  EXPECT_GE(Count(out, repeat), 3);
  for (size_t at; (at = out.find(repeat)) != std::string::npos;) out.erase(at, repeat.size());
  EXPECT_EQ(out,
            "ready\nkey press 0x61 'a'\nkey press 0xff51 ''\nkey press 0xffe1 ''\nkey press 0x62 'B'\n"
            "key release 0x62 'B'\nkey release 0xffe1 ''\nkey release 0xff51 ''\nkey release 0x61 'a'\n"
            "key press 0xff53 ''\nkey release 0xff53 ''\n"
            "press 0.5 0.5 1\ndrag 1 1.5\ndrag 2 1\nrelease 2 1 1\nclick 2 1\n"
            "press 2 1 3\ndrag 2.5 0.5\nrelease 2.5 0.5 3\nclick 2.5 0.5\nquit A\nApiEnd\n" +
                Usable);
}

TEST(Timing, NoSpinningWhenIdleWithTimersOrAfterTheServerDies) {
  rig::Server server;
  Scenario probe("windows", {server.Env(), "INTERVAL=10"});
  ASSERT_TRUE(probe.WaitOut("ready\n"));
  auto cpu = [&](int ms) {
    double before = probe.CpuSeconds();
    rig::Sleep(ms);
    return (probe.CpuSeconds() - before) * 1000 / ms;
  };
  rig::Sleep(100);
  int before = Count(probe.Out(), "tick");
  EXPECT_LT(cpu(500), 0.2);                            // a 10 ms timer runs
  EXPECT_GE(Count(probe.Out(), "tick") - before, 35);  // 50 at best: periods start when a callback ends
  auto peer = std::make_unique<rig::Peer>(server.Name());
  peer->Close(peer->Find("probe B"));
  ASSERT_TRUE(probe.WaitOut("quit B\n"));
  peer.reset();               // before its server goes
  EXPECT_LT(cpu(300), 0.05);  // no timer
  server.Kill();
  EXPECT_NE(probe.Wait(2000), -1);  // ends, rather than spinning on a dead connection
}

// A clock that cannot be read concerns timers alone: a program waiting for
// events does not read it.
TEST(Preloaded, AFailingClockTroublesOnlyTimers) {
  rig::Peer peer;
  Scenario idle("alert", {"LD_PRELOAD=" + rig::Path("tests/libfailclock.so")});
  ASSERT_TRUE(idle.WaitOut("ready\n"));
  rig::Sleep(200);
  peer.Close(peer.Find("probe A"));
  EXPECT_EQ(idle.Wait(), 0);
  EXPECT_EQ(idle.Out(), "ready\nquit A\nApiEnd\n" + Usable);
}

// The box from another client's side: its window and its "O K" button.
struct Box {
  Box(rig::Peer& peer, const std::string& title) : Peer(peer), Id(peer.Find(title)) {
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    rig::WaitFor([&] {
      if (children) XFree(children);
      children = nullptr;
      return Id && XQueryTree(peer.D, Id, &root, &parent, &children, &count) && count == 1;
    });
    if (count == 1) Button = children[0];
    if (children) XFree(children);
  }
  // The box's place and size, and the button's place in it.
  std::vector<int> Geometry() const {
    std::vector<int> box = Peer.Geometry(Id), button = Peer.Geometry(Button);
    return {box[0], box[1], box[2], box[3], button[0], button[1]};
  }
  void Press(int button = 1) {
    Peer.Move(Button, 37, 17);
    Peer.Button(button, true);
  }
  rig::Peer& Peer;
  Window Id, Button = 0;
};

TEST(Programs, AlertBoxes) {
  rig::Peer peer;
  Scenario probe("alert");
  ASSERT_TRUE(probe.WaitOut("ready\n"));
  Window a = peer.Find("probe A");
  peer.Click(a, 50, 50);
  Box box(peer, "probe alert");
  ASSERT_NE(box.Button, 0u);
  EXPECT_EQ(box.Geometry(), std::vector<int>({822, 477, 277, 126, 101, 77}));
  ASSERT_TRUE(
      rig::WaitFor([&] { return peer.Pixel(box.Id, 51, 34) == peer.Named("yellow1"); }));  // the mark's top
  // The mark's bar, the disc around it, the button's light and dark edges.
  EXPECT_EQ(std::vector<unsigned long>({peer.Pixel(box.Id, 52, 36), peer.Pixel(box.Id, 45, 59),
                                        peer.Pixel(box.Button, 10, 1), peer.Pixel(box.Button, 73, 10)}),
            std::vector<unsigned long>(
                {peer.Named("black"), peer.Named("yellow1"), peer.Named("gray92"), peer.Named("gray41")}));

  peer.Close(a);       // dropped while the box is up
  peer.Move(a, 5, 5);  // the pointer stays in the box
  Window root, child;
  int x, y, wx, wy;
  unsigned int mask;
  XQueryPointer(peer.D, box.Id, &root, &child, &x, &y, &wx, &wy, &mask);
  EXPECT_TRUE(wx >= -1 && wy >= -1 && wx <= 277 && wy <= 126) << wx << "," << wy;  // border included
  peer.Click(box.Id, 20, 100);  // beside the button: nothing
  auto looks = [&](const char* edge) {
    return rig::WaitFor([&] { return peer.Pixel(box.Button, 10, 1) == peer.Named(edge); }, 1000);
  };
  box.Press();
  EXPECT_TRUE(looks("gray41"));  // pressed in
  peer.Move(box.Id, 20, 100);
  peer.Button(1, false);  // released off the button: still up, raised again
  EXPECT_TRUE(looks("gray92"));
  box.Press();
  peer.Button(3, true);
  peer.Button(3, false);  // another button's release does not end the press
  EXPECT_TRUE(looks("gray41"));
  ASSERT_NE(peer.Find("probe alert", 0), 0u);
  peer.Button(1, false);
  // When the callback runs, the box has gone and the pointer is free.
  ASSERT_TRUE(probe.WaitOut("callback\n"));
  EXPECT_TRUE(peer.Gone("probe alert", 0));
  EXPECT_EQ(XGrabPointer(peer.D, DefaultRootWindow(peer.D), False, 0, GrabModeAsync, GrabModeAsync, None,
                         None, CurrentTime),
            GrabSuccess);
  XUngrabPointer(peer.D, CurrentTime);
  ASSERT_TRUE(probe.WaitOut("callback done\n"));

  // Assigning a window: two refusals, then the program shuts down.
  peer.Click(a, 66, 66);
  Box assignment(peer, "SimpleWindow Assignment");
  peer.Close(assignment.Id, 16);  // not a close request
  rig::Sleep(100);
  EXPECT_NE(peer.Find("SimpleWindow Assignment", 0), 0u);
  peer.Close(assignment.Id);
  Box copy(peer, "SimpleWindow Copy Constructor");
  EXPECT_EQ(copy.Geometry(), std::vector<int>({720, 477, 481, 126, 203, 77}));
  copy.Press();
  peer.Button(1, false);
  EXPECT_EQ(probe.Wait(), 0);
  EXPECT_EQ(probe.Out(),
            "ready\nclick 0.757576 0.757576\ncallback\ncallback done\nclick 1 1\nquit A\nApiEnd\n" + Usable);
}

// A server whose only core font is file, under the name alias.
std::unique_ptr<rig::Server> WithOnlyFont(const std::string& file, const std::string& alias) {
  auto server = std::make_unique<rig::Server>();
  std::string dir = rig::Path("fonts-" + alias);
  mkdir(dir.c_str(), 0755);
  rig::Sh("cp /usr/share/fonts/X11/misc/" + file + " " + dir + " && mkfontdir " + dir);
  std::string xlfd = rig::Sh("sed -n 2p " + dir + "/fonts.dir | cut -d' ' -f2-");
  std::ofstream(dir + "/fonts.alias") << alias << " " << xlfd;
  rig::Peer peer(server->Name());
  char* path[] = {&dir[0]};
  XSetFontPath(peer.D, path, 1);
  XSync(peer.D, False);
  return server;
}

TEST(Programs, MissingFonts) {
  // Without the window font, text and alerts say so and ask for shutdown.
  auto server = WithOnlyFont("9x15B-ISO8859-1.pcf.gz", "9x15bold");
  Scenario text("text", {server->Env()});
  EXPECT_EQ(text.Wait(), 0);
  EXPECT_EQ(text.Out(),
            "Unable to load the desired font: 9x15\ndrawn\nquit A\nApiEnd\n"
            "Unable to load the desired font: 9x15\n\n\nAlertWindow::AddMessageToList\n"
            "Unable to obtain to allocate memory to a font structure\n"
            "Unable to load the desired font: 9x15\n\n\nAlertWindow::SetLocationAndSize\n"
            "Unable to allocate memory to a font structure\n"
            "after message\nready\n" +
                Usable);

  // Without the bold font, the button has no label but works.
  server = WithOnlyFont("9x15-ISO8859-1.pcf.gz", "9x15");
  rig::Peer peer(server->Name());
  Scenario bold("text", {server->Env()});
  ASSERT_TRUE(bold.WaitOut("drawn\n"));
  Box box(peer, "probe C");
  ASSERT_NE(box.Button, 0u);
  box.Press();
  peer.Button(1, false);
  EXPECT_EQ(bold.Wait(), 0);  // the missing font asked for shutdown
  const std::string failure =
      "Unable to load the desired font: 9x15bold\nIn function: LoadFont\n"
      "Unable to allocate memory to a font structure.\n";
  std::string out = bold.Out();
  for (size_t at; (at = out.find(failure + failure)) != std::string::npos;) out.erase(at, failure.size());
  EXPECT_EQ(out, "drawn\n" + failure + "after message\nready\nquit A\nApiEnd\n" + Usable);
}

TEST(Programs, WindowsOffTheScreenAndUnderAWindowManager) {
  Scenario off("offscreen");
  EXPECT_EQ(off.Wait(5000), 0);
  EXPECT_EQ(off.Out(), "off screen 1\nready\n" + Usable);

  // Drawn at once after Open, while ApiMain goes on: on the screen only if
  // Open awaited the window manager's showing the window.
  rig::Server server;
  ASSERT_TRUE(server.StartWindowManager());
  rig::Peer peer(server.Name());
  Scenario part("partial", {server.Env()});
  ASSERT_TRUE(part.WaitOut("drawn\n"));
  Window w = peer.Find("probe partial");
  EXPECT_EQ(peer.Pixel(w, 10, 10), peer.Named("green1"));
  peer.Close(w);
  EXPECT_EQ(part.Wait(), 0);
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
    std::ofstream(Dir() + "/" + name + ".run") << script;
    args.insert(args.begin(), {rig::Path("bin/slate-run"), "--script", name + ".run"});
    return args;
  }
  bool Says(const std::string& text) const { return (Out() + Err()).find(text) != std::string::npos; }
};

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
  Played chatty("chatty",
                "wait \"probe A\"\nexpect stdout \"19999\\nready\\n\"\nclose \"probe A\"\nexpect exit 0\n",
                {"--", Probe}, {"PROBE=chatty"});
  Played xerror("xerror", "wait \"probe A\"\nexpect exit 1\n", {"--", Probe}, {"PROBE=xerror"});
  Played endless("endless", "expect stdout \"started\"\nexpect exit 0 within 30s\n",
                 {"--timeout", "1", "--", "sh", "-c", forever, "endless"});
  Played stopped("stopped", "sleep 30s\n", {"--", "sh", "-c", forever, "stopped"});

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
  EXPECT_EQ(xerror.Wait(30000), 5) << xerror.Out();
  EXPECT_TRUE(xerror.Says("X Error of failed request")) << xerror.Out();
  // Killed at the time-out, with what it started, in its group or out of it.
  EXPECT_EQ(endless.Wait(30000), 3) << endless.Out();
  EXPECT_TRUE(endless.Says("the run's time limit passed")) << endless.Out();
  EXPECT_TRUE(AllGone(Played::Dir() + "/endless.pids"));
  // Interrupted: everything ended, the X server too.
  ASSERT_TRUE(
      rig::WaitFor([&] { return std::ifstream(Played::Dir() + "/stopped.pids").peek() != EOF; }, 10000));
  rig::Sleep(100);
  kill(stopped.Pid(), SIGINT);
  EXPECT_EQ(stopped.Wait(30000), 128 + SIGINT) << stopped.Out();
  EXPECT_TRUE(AllGone(Played::Dir() + "/stopped.pids"));
  std::string out = stopped.Out(), display = out.substr(out.find("Xvfb :") + 6);
  EXPECT_FALSE(std::ifstream("/tmp/.X" + std::to_string(std::atoi(display.c_str())) + "-lock")) << out;
}

TEST(Run, BadScriptsAndMissingServersRunNothing) {
  // An error on the last line: nothing starts.
  Played bad("bad", "wait \"probe A\"\nclick \"probe A\" 1,1\nexpect exit zero\n",
             {"--", "sh", "-c", "touch ran"});
  EXPECT_EQ(bad.Wait(), 2);
  EXPECT_TRUE(bad.Says("bad.run:3: \"zero\" is not an exit status")) << bad.Err();
  EXPECT_FALSE(std::ifstream(Played::Dir() + "/ran"));
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
