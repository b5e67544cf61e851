// A program of small scenarios for the tests, chosen by the environment
// variable PROBE. It says what happens, one flushed line at a time.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "slate.h"

SimpleWindow* heap = nullptr;  // left to the runtime to close at exit; kept where a leak checker sees it
// Says a line, flushed, once the X server has done all that the probe asked
// for before it (what its arguments ask for too): a test that hears it and
// asks the server finds it done. A request only flushed is not done yet, and
// a busy server may serve the test's request first (an event mask not yet
// selected, a window not yet drawn).
__attribute__((format(printf, 1, 2))) int Say(const char* format, ...) {
  if (display) XSync(display, False);
  va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
  std::printf("\n");
  return std::fflush(stdout);
}
#define SAY(...) Say(__VA_ARGS__)

namespace {

const std::string Mode = std::getenv("PROBE") ? std::getenv("PROBE") : "";

// Built after the library's globals and destroyed before them, whatever the
// link order: the display must still be usable here at exit.
struct OrderCheck {
  ~OrderCheck() { SAY("display %s at exit", display && XSync(display, False) ? "usable" : "gone"); }
} orderCheck;

// Read by a global constructor, before main.
const size_t ArgumentsAtStart = ProgramArguments().size();

SimpleWindow A("probe A", 5, 4, Position(1, 1)), B("probe B", 5, 4, Position(7, 1));
SimpleWindow C("probe C", 5, 4, Position(13, 1));
bool lateSays = false, shuttingDown = false;
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

// The most memory the program has held so far, KiB.
long PeakKiB() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
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
  } else if (Mode == "drawn") {
    for (SimpleWindow* w : {&A, &B, &C}) w->Open();
    A.SetMouseClickCallback([](const Position&) {
      SAY("waiting");
      AwaitNews(B);  // another client destroys B and C now
      AwaitNews(C);
      // Before their destruction is read (nothing pumps after ApiMain).
      B.Close();
      C.RenderRectangle(Position(0, 0), Position(1, 1), Red, true);
      C.RefreshEvent();
      XSync(display, False);
      return SAY("closed and drawn");
    });
  } else if (Mode == "huge") {
    // Requests larger than the server takes in one piece: a title, a
    // polygon of VERTICES vertices, texts, and an alert's message.
    const std::string text(20 << 20, 'M');
    SimpleWindow big(text, 5, 4, Position(1, 1));
    SAY("opened %d", big.Open());
    std::vector<Position> points;
    for (int i = 0, n = std::atoi(std::getenv("VERTICES")); i < n; ++i)
      points.emplace_back(i % 2 ? 0.5f : 4.5f, 0.5f + 3.0f * i / n);
    big.RenderPolygon(points, static_cast<int>(points.size()), Red, true);
    points.emplace_back(2, 2);  // a line takes one vertex more than a fill
    big.RenderPolygonOutline(points, static_cast<int>(points.size()), Green, 0.1f);
    big.RenderText(Position(2.5, 2), text, Blue, Yellow);
    SAY("drawn");
    C.Message(text);
  } else if (Mode == "gradient") {
    // As many distinct colours as a 256 x 256 gradient, all given back at exit.
    int distinct = 0;
    for (int red = 0; red < 256; ++red)
      for (int green = 0; green < 256; ++green) distinct += RGBColor(red, green, 128) != Black;
    SAY("colours %d", distinct);
  } else if (Mode == "exhausted") {
    // Windows until the server has no memory left for a backing pixmap; the
    // program goes on without the window that failed.
    SimpleWindow many[100];
    int n = 0;
    while (n < 99 && many[n].Open() == WindowIsOpen) ++n;
    unsigned long failed = WinManager.GetWindow(&many[n]);
    SAY("status %d, registered %d, window %lu", many[n].GetStatus(), WinManager.GetWindow(failed) != nullptr,
        failed);
    BitMap large(many[1]);  // nor any room for a large picture's pixmap
    SAY("picture %d", large.Load(std::getenv("PICTURE")));
    many[0].Close();
    static SimpleWindow again("probe again", 2, 2, Position(1, 1));
    SAY("again %d", again.Open());
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
    A.SetMouseMoveCallback([](const Position& p) { SAY("move %g %g", p.GetXDistance(), p.GetYDistance()); });
    // Replaced while it runs: what it captured must outlive the replacement.
    A.SetMouseClickCallback([said = std::string("click")](const Position& p) {
      A.SetMouseClickCallback([said = std::string("click again"), n = 0](const Position& q) mutable {
        return SAY("%s %d %g %g", said.c_str(), ++n, q.GetXDistance(), q.GetYDistance());
      });
      return SAY("%s %g %g", said.c_str(), p.GetXDistance(), p.GetYDistance());
    });
  } else if (Mode == "args") {
    std::string all;
    for (const std::string& argument : ProgramArguments()) all += argument + "|";
    SAY("%s %zu before main", all.c_str(), ArgumentsAtStart);
    SetExitStatus(std::getenv("EXIT") ? std::atoi(std::getenv("EXIT")) : 3);
  } else if (Mode == "resize") {
    A.Open();
    // Beyond the window's width: kept in the backing pixmap.
    A.RenderRectangle(Position(5.5f, 0), Position(6.5f, 1), Red, false);
    A.SetResizeCallback([](const Position& size) {
      SAY("resize %g %g", size.GetXDistance(), size.GetYDistance());
      SetExitStatus(4);
    });
  } else if (Mode == "picture") {
    A.Open();
    A.RenderRectangle(Position(0, 0), Position(2, 1), Blue, false);
    static BitMap sprite(A);
    SAY("loaded %d", sprite.Load(std::getenv("PICTURE")));
    sprite.SetPosition(Position(0, 0));
    if (std::getenv("SIZE")) {
      // At a size in cm, beside a smooth ellipse in red at half.
      sprite.SetSize(std::atof(std::getenv("SIZE")), std::atof(std::getenv("SIZE")));
      A.SetSmooth(true);
      A.RenderEllipse(Position(2.5f, 0), Position(3.5f, 1), RGBColor(255, 0, 0, 128));
    }
    int drawn = sprite.Draw();
    SAY("drawn %d", drawn);
  } else if (Mode == "peak") {
    // Each picture named on the command line loaded in turn, with what it
    // added to the program's peak memory.
    A.Open();
    BitMap picture(A);
    const std::vector<std::string>& files = ProgramArguments();
    for (size_t i = 1; i < files.size(); ++i) {
      long before = PeakKiB();
      int status = picture.Load(files[i]);
      SAY("%s %d %ld MiB", files[i].substr(files[i].rfind('/') + 1).c_str(), status,
          (PeakKiB() - before) >> 10);
    }
  } else if (Mode == "text") {
    A.Open();
    A.RenderText(Position(2.5, 2), "text", Blue, Yellow);
    SAY("drawn");
    C.Message("note");  // a window never opened still shows its alert
    SAY("after message");
  } else if (Mode == "modal") {
    // A box over A while a key is held, B is uncovered, C destroyed by
    // another client and B asked to close; then, as the program shuts down,
    // a box in B's quit callback.
    A.SetKeyPressCallback([](const Key& k) { return SayKey("press", k); });
    A.SetKeyReleaseCallback([](const Key& k) {
      SayKey("release", k);
      shuttingDown = true;
      Terminate();
      return 0;
    });
    A.SetMouseClickCallback([](const Position&) {
      A.Message("hello");
      return SAY("message closed");
    });
    B.SetQuitCallback([] {
      SAY("quit B");
      if (shuttingDown) B.Message("bye");
      return 0;
    });
    for (SimpleWindow* w : {&A, &B, &C}) w->Open();
    B.RenderRectangle(Position(0, 0), Position(5, 4), Red);
  } else if (Mode == "scalable") {
    A.Open();
    A.WriteText(Position(0.5f, 0.5f), "Text at any size", Typeface(0.6f), Blue, AlignLeft, Yellow);
    A.WriteText(Position(0.5f, 2), "café €", Typeface(0.6f, "serif", true), Blue);
    SAY("drawn");
  } else if (Mode == "offscreen") {
    // Wholly off the screen, then with only the top or the left border on it.
    for (Position at : {Position(35, 1), Position(0, 16.356f), Position(29.08f, 1)}) {
      SimpleWindow off("probe off", 5, 5, at);
      SAY("off screen %d", off.Open());
    }
  } else if (Mode == "unshown") {
    // Under a window manager that destroys the first window it is asked to
    // show and never shows the second.
    for (SimpleWindow* w : {&A, &B}) SAY("opened %d", w->Open());
  } else if (Mode == "partial") {
    // Drawn at once after Open: seen only if Open awaited the first exposure.
    static SimpleWindow part("probe partial", 4, 3, Position(28, 1));
    part.Open();
    part.RenderRectangle(Position(0, 0), Position(4, 3), Green, false);
    SAY("drawn");
    AwaitNews(part);
  } else if (Mode == "throwing") {
    // A timer callback throws under ApiMain's pump, which goes on; B's
    // resize callback throws while a box is up over A; the third click on
    // A throws and nothing catches it.
    static int ticks = 0, clicks = 0;
    A.SetTimerCallback([] {
      if (++ticks == 1) throw std::runtime_error("timer");
      return SAY("tick");
    });
    for (SimpleWindow* w : {&A, &B}) w->Open();
    A.StartTimer(10);
    try {
      while (ticks < 1) A.GetStatus();
    } catch (const std::exception& e) {
      SAY("caught %s", e.what());
    }
    for (unsigned int end = GetMilliseconds() + 5000; ticks < 3 && GetMilliseconds() < end;) A.GetStatus();
    A.StopTimer();
    B.SetResizeCallback([](const Position&) -> int { throw std::runtime_error("resize"); });
    A.SetMouseClickCallback([](const Position& p) {
      if (++clicks == 1) {
        try {
          A.Message("hello");
        } catch (const std::exception& e) {
          SAY("caught %s", e.what());
        }
      } else if (clicks == 2) {
        SAY("click %g %g", p.GetXDistance(), p.GetYDistance());
      } else {
        throw std::runtime_error("click");
      }
      return 0;
    });
  } else if (Mode == "frame") {
    // A frame drawn in a callback that then waits for the file FRAME.
    A.Open();
    A.SetMouseClickCallback([](const Position&) {
      A.RenderRectangle(Position(0, 0), Position(5, 4), Red, false);
      SAY("drawn");  // the drawing has reached the server
      for (unsigned int end = GetMilliseconds() + 10000; access(std::getenv("FRAME"), F_OK) != 0;)
        if (GetMilliseconds() > end) return SAY("no file");
      return SAY("returning");
    });
  } else if (Mode == "typing") {
    // Keys of every language into A, the pointer coming and going; a title
    // beyond Latin-1; windows of a fixed size, made so before and after Open.
    static SimpleWindow counter("Z\xc3\xa4hler \xe2\x82\xac", 4, 2, Position(7, 6));
    A.SetKeyPressCallback([](const Key& k) { return SayKey("press", k); });
    A.SetKeyReleaseCallback([](const Key& k) { return k.Text.empty() ? 0 : SayKey("release", k); });
    A.SetMouseEnterCallback(
        [](const Position& p) { return SAY("enter %g %g", p.GetXDistance(), p.GetYDistance()); });
    A.SetMouseLeaveCallback(
        [](const Position& p) { return SAY("leave %g %g", p.GetXDistance(), p.GetYDistance()); });
    B.SetResizable(false);
    for (SimpleWindow* w : {&A, &B, &counter}) w->Open();
    counter.SetResizable(false);
  } else if (Mode == "lines") {
    // Messages of two lines, of 300 characters, and longer than the screen.
    A.Open();
    std::string words, many;
    for (int i = 0; words.size() < 300; ++i) words += "word" + std::to_string(i) + " ";
    for (int i = 0; many.size() < 20000; ++i) many += "many words " + std::to_string(i) + " ";
    for (const std::string& text : {std::string("first line\nsecond line"), words, many}) {
      A.Message(text);
      SAY("closed");
    }
  } else if (Mode == "titles") {
    // Titles outside ASCII: the library's own (_NET_WM_NAME in UTF-8, and
    // WM_NAME as compound text), and as other programs may set them: B in
    // WM_NAME alone as COMPOUND_TEXT, C in WM_NAME alone as Latin-1.
    static SimpleWindow counter("Z\xc3\xa4hler \xe2\x82\xac", 5, 4, Position(1, 6));
    for (SimpleWindow* w : {&counter, &B, &C}) w->Open();
    Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    char compound[] = "Z\xc3\xa4hler \xe2\x82\xac B";
    char* list[] = {compound};
    XTextProperty text;
    if (Xutf8TextListToTextProperty(display, list, 1, XCompoundTextStyle, &text) == Success) {
      XDeleteProperty(display, WinManager.GetWindow(&B), netName);
      XSetWMName(display, WinManager.GetWindow(&B), &text);
      XFree(text.value);
    }
    const char latin1[] = "Z\xe4hler C";
    XDeleteProperty(display, WinManager.GetWindow(&C), netName);
    XChangeProperty(display, WinManager.GetWindow(&C), XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(latin1), sizeof latin1 - 1);
  } else if (Mode == "none") {
    // Hostile programs for slate-run: one that opens no window, 100
    // windows, crashes on a click, prints megabytes, makes an X error,
    // keeps the X server to itself.
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
    if (Mode == "grab") XGrabServer(display);
  }
  SAY("ready");
}
