// A program of small scenarios for the tests, chosen by the environment
// variable PROBE. It says what happens, one flushed line at a time.
#include <X11/Xlib.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "slate.h"

SimpleWindow* heap = nullptr;  // left to the runtime to close at exit; kept where a leak checker sees it
#define SAY(...) (std::printf(__VA_ARGS__), std::printf("\n"), std::fflush(stdout))

namespace {

const std::string Mode = std::getenv("PROBE") ? std::getenv("PROBE") : "";

// Built after the library's globals and destroyed before them, whatever the
// link order: the display must still be usable here at exit.
struct OrderCheck {
  ~OrderCheck() { SAY("display %s at exit", display && XSync(display, False) ? "usable" : "gone"); }
} orderCheck;

SimpleWindow A("probe A", 5, 4, Position(1, 1)), B("probe B", 5, 4, Position(7, 1));
SimpleWindow C("probe C", 5, 4, Position(13, 1));
bool lateSays = false;
// Destroyed after the library has closed the display, which its picture must not use.
struct Late {
  BitMap Picture;
  ~Late() {
    if (lateSays) SAY("display %s after the library", display ? "still set" : "closed");
  }
};
__attribute__((init_priority(105))) Late late;
int drags = 0, clicks = 0;
unsigned int lastTick = 0, interval = 0;

int Click(const Position& p) {
  SAY("click %g %g", p.GetXDistance(), p.GetYDistance());
  if (Mode == "alert" && ++clicks == 1) {
    AlertWindow box("probe alert", "hello", [] {
      SAY("callback");
      usleep(600000);  // no X request meanwhile
      SAY("callback done");
    });
  } else if (Mode == "alert") {
    C = A;  // refused with two alerts, then the program shuts down
  } else if (p.GetXDistance() < 0.25f) {
    A.Close();
    SAY("reopened %d", A.Open());
  }
  return 0;
}

int SayButton(const char* what, const Position& p, int button) {
  return SAY("%s %g %g %d", what, p.GetXDistance(), p.GetYDistance(), button);
}
int SayKey(const char* what, const Key& k) {
  return SAY("key %s %#lx '%s'%s", what, k.Symbol, k.Text.c_str(), k.Repeat ? " repeat" : "");
}

Bool Arrived(Display*, XEvent* event, XPointer window) {
  return event->xany.window == reinterpret_cast<Window>(window) &&
         (event->type == DestroyNotify || event->type == ClientMessage);
}

// Waits, inside ApiMain, until the server reports that the window has been
// destroyed or asked to close, leaving the event queued.
void AwaitNews(SimpleWindow& w) {
  XEvent event;
  XPeekIfEvent(display, &event, Arrived, reinterpret_cast<XPointer>(WinManager.GetWindow(&w)));
}

}  // namespace

int ApiEnd() {
  SAY("ApiEnd");
  if (Mode == "exit") {
    // Open at exit: B closes in its destructor, the heap window is left to
    // the runtime, and the late picture outlives the display.
    B.Open();
    (heap = new SimpleWindow("probe heap", 3, 3, Position(1, 8)))->Open();
    late.Picture.SetWindow(B);
    SAY("late %d", late.Picture.Load(std::getenv("PICTURE")));
    lateSays = true;
  }
  return 1;
}

void ApiMain() {
  A.SetQuitCallback([] { return SAY("quit A"); });
  B.SetQuitCallback([] { return SAY("quit B"); });
  C.SetQuitCallback([] {
    SAY("quit C");
    if (Mode == "gone") Terminate();  // while C, destroyed by another client, closes
    return 0;
  });
  if (Mode == "windows") {
    A.SetMouseClickCallback(Click);
    A.Open();
    A.RenderRectangle(Position(2, 2), Position(3, 3), Red, true);
    B.SetTimerCallback([] {
      unsigned int now = GetMilliseconds();
      SAY(now - lastTick < interval ? "early tick" : "tick");
      lastTick = now;
      return 0;
    });
    B.Open();
    lastTick = GetMilliseconds();
    B.StartTimer(interval = std::atoi(std::getenv("INTERVAL")));
  } else if (Mode == "terminate") {
    Terminate();
    SAY("nothing to close");
    for (SimpleWindow* w : {&A, &B, &C}) w->Open();
    Terminate();
    Terminate();
    SAY("asked twice");
  } else if (Mode == "gone") {
    for (SimpleWindow* w : {&A, &B, &C}) w->Open();
    XSync(display, False);  // nothing of C's still on its way when it is destroyed
    SAY("waiting");
    AwaitNews(C);  // another client destroys C now
    Terminate();
  } else if (Mode == "input") {
    A.Open();
    A.SetKeyPressCallback([](const Key& k) { return SayKey("press", k); });
    A.SetKeyReleaseCallback([](const Key& k) { return SayKey("release", k); });
    A.SetMousePressCallback([](const Position& p, int b) { return SayButton("press", p, b); });
    A.SetMouseReleaseCallback([](const Position& p, int b) { return SayButton("release", p, b); });
    A.SetMouseDragCallback([](const Position& p) {
      SAY("drag %g %g", p.GetXDistance(), p.GetYDistance());
      if (++drags == 1) usleep(300000);  // while the pointer goes on
      return 0;
    });
    A.SetMouseClickCallback(Click);
  } else if (Mode == "text") {
    A.Open();
    A.RenderText(Position(2.5, 2), "text", Blue, Yellow);
    SAY("drawn");
    C.Message("note");  // a window never opened still shows its alert
    SAY("after message");
  } else if (Mode == "offscreen") {
    SimpleWindow off("probe off", 4, 3, Position(35, 1));
    SAY("off screen %d", off.Open());
    off.Close();
  } else if (Mode == "partial") {
    // Drawn at once after Open: seen only if Open awaited the first exposure.
    static SimpleWindow part("probe partial", 4, 3, Position(28, 1));
    part.Open();
    part.RenderRectangle(Position(0, 0), Position(4, 3), Green, false);
    SAY("drawn");
    AwaitNews(part);
  } else if (Mode == "none") {
    // Hostile programs for slate-run: one that opens no window, 100
    // windows, crashes on a click, prints megabytes, makes an X error.
  } else if (Mode == "hundred") {
    static std::vector<std::unique_ptr<SimpleWindow>> many;
    for (int i = 0; i < 100; ++i) {
      many.push_back(
          std::make_unique<SimpleWindow>("probe " + std::to_string(i), 2, 2, Position(i % 10, i / 10)));
      many.back()->Open();
    }
  } else {
    A.Open();
    if (Mode == "alert") A.SetMouseClickCallback(Click);
    if (Mode == "crash") A.SetMouseClickCallback([](const Position&) { return raise(SIGSEGV); });
    for (int i = 0; Mode == "chatty" && i < 20000; ++i) std::printf("%01000d\n", i);
    if (Mode == "xerror") XMapWindow(display, DefaultRootWindow(display) + 12345);
  }
  SAY("ready");
}
