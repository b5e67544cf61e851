// A program of small scenarios for the tests, chosen by the environment
// variable PROBE. It says what happens, one flushed line at a time.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "slate.h"

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
// Destroyed after the library has closed the display.
__attribute__((init_priority(105))) BitMap late;
SimpleWindow* heap = nullptr;  // left to the runtime to close at exit
int ticksA = 0, ticksB = 0, ticksAtClose = 0, ticksC = 0;
unsigned int lastTick = 0;

int QuitA() {
  SAY("quit A");
  return 0;
}
int QuitB() {
  SAY("quit B");
  return 0;
}
int QuitC() {
  SAY("quit C");
  if (Mode == "gone") Terminate();
  return 0;
}

int Click(const Position& p) {
  SAY("click %g %g", p.GetXDistance(), p.GetYDistance());
  if (Mode == "alert") {
    static int clicks = 0;
    if (++clicks == 1) {
      AlertWindow box("probe alert", "hello", [] {
        SAY("callback");
        usleep(600000);  // no X request meanwhile
        SAY("callback done");
      });
    } else {
      C = A;  // refused with two alerts, then the program shuts down
    }
  } else if (p.GetXDistance() < 0.25f) {
    A.Close();
    SAY("reopened %d", A.Open());
  }
  return 0;
}

int KeyPressed(const Key& k) {
  return SAY("key press %#lx '%s'%s", k.Symbol, k.Text.c_str(), k.Repeat ? " repeat" : "");
}
int KeyReleased(const Key& k) {
  return SAY("key release %#lx '%s'%s", k.Symbol, k.Text.c_str(), k.Repeat ? " repeat" : "");
}
int Pressed(const Position& p, int button) {
  return SAY("press %g %g %d", p.GetXDistance(), p.GetYDistance(), button);
}
int Released(const Position& p, int button) {
  return SAY("release %g %g %d", p.GetXDistance(), p.GetYDistance(), button);
}
int Dragged(const Position& p) {
  SAY("drag %g %g", p.GetXDistance(), p.GetYDistance());
  static int drags = 0;
  if (++drags == 1) usleep(300000);  // while the pointer goes on
  return 0;
}

int Tick() {
  unsigned int now = GetMilliseconds();
  SAY("tick %u", now - lastTick);
  lastTick = now;
  return 0;
}

// Windows closing windows from their timers: B while its timer runs, C and
// back again, then A itself.
int TickA() {
  if (++ticksA == 1) {
    ticksAtClose = ticksB;
    B.Close();
  } else if (ticksA == 2) {
    C.Close();
    C.Open();
    C.StartTimer(1);
  } else if (ticksA == 3) {
    A.Close();
  }
  return 0;
}
int TickB() {
  return ++ticksB;
}
int TickC() {
  if (ticksA == 3 && ++ticksC == 3) {
    SAY("A ticked %d times, B %d times after its close", ticksA, ticksB - ticksAtClose);
    C.Close();
  }
  return 0;
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

void OpenThree() {
  for (auto [w, quit] : {std::pair{&A, QuitA}, {&B, QuitB}, {&C, QuitC}}) {
    w->Open();
    w->SetQuitCallback(quit);
  }
}

}  // namespace

int ApiEnd() {
  SAY("ApiEnd");
  if (Mode == "exit") {
    // Open at exit: B closes in its destructor, the heap window is left to
    // the runtime, and the late picture outlives the display.
    B.Open();
    heap = new SimpleWindow("probe heap", 3, 3, Position(1, 8));
    heap->Open();
    late.SetWindow(B);
    SAY("late %d", late.Load(std::getenv("PICTURE")));
  }
  return 1;
}

void ApiMain() {
  if (Mode == "windows") {
    A.SetMouseClickCallback(Click);
    A.SetQuitCallback(QuitA);
    A.Open();
    A.RenderRectangle(Position(2, 2), Position(3, 3), Red, true);
    B.SetQuitCallback(QuitB);
    B.SetTimerCallback(Tick);
    B.Open();
    lastTick = GetMilliseconds();
    B.StartTimer(std::atoi(std::getenv("INTERVAL") ? std::getenv("INTERVAL") : "100"));
  } else if (Mode == "terminate") {
    Terminate();
    SAY("nothing to close");
    OpenThree();
    Terminate();
    Terminate();
    SAY("asked twice");
  } else if (Mode == "gone") {
    OpenThree();
    XSync(display, False);  // nothing of C's still on its way when it is destroyed
    SAY("waiting");
    AwaitNews(C);  // another client destroys C now
    Terminate();
  } else if (Mode == "exit") {
    A.SetQuitCallback(QuitA);
    A.Open();
  } else if (Mode == "closer") {
    for (auto [w, tick] : {std::pair{&A, TickA}, {&B, TickB}, {&C, TickC}}) {
      w->Open();
      w->SetTimerCallback(tick);
      w->StartTimer(1);
    }
  } else if (Mode == "alert") {
    A.SetQuitCallback(QuitA);
    A.Open();
    A.SetMouseClickCallback(Click);
  } else if (Mode == "input") {
    A.SetQuitCallback(QuitA);
    A.Open();
    A.SetKeyPressCallback(KeyPressed);
    A.SetKeyReleaseCallback(KeyReleased);
    A.SetMousePressCallback(Pressed);
    A.SetMouseReleaseCallback(Released);
    A.SetMouseDragCallback(Dragged);
    A.SetMouseClickCallback(Click);
  } else if (Mode == "text") {
    A.SetQuitCallback(QuitA);
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
  }
  SAY("ready");
}
