// X protocol errors the library answers itself (see errors.h).
#include "errors.h"

#include <X11/extensions/Xrender.h>

#include <deque>

#include "slate.h"

namespace {

XErrorHandler Previous = nullptr;
bool (*Ours)(const XErrorEvent&) = nullptr;

// A window closed, its backing pixmap, and the last request that could name
// either: errors about them from requests up to that one are no fault of the
// program's.
struct Departed {
  unsigned long Window, Pixmap, LastRequest;
};
// In the order of their last requests. Made on first use and never
// destroyed: windows open and close during the construction and destruction
// of globals, in whatever order those take.
std::deque<Departed>& Departures() {
  static auto* departures = new std::deque<Departed>;
  return *departures;
}

// What a Refusals waits for: an error of a request sent since First.
struct Awaited {
  unsigned long First = 0;
  bool Active = false, Failed = false;
} Waiting;

// The Render extension's first error code; 0 without the extension.
int RenderErrors = 0;

bool AboutResource(const XErrorEvent& error) {
  return error.error_code == BadWindow || error.error_code == BadDrawable || error.error_code == BadPixmap ||
         (RenderErrors && error.error_code == RenderErrors + BadPicture);
}

int Handler(Display* d, XErrorEvent* error) {
  if (d == display && d) {
    if (Waiting.Active && error->serial >= Waiting.First) {
      Waiting.Failed = true;
      return 0;
    }
    if (AboutResource(*error)) {
      if (Ours && Ours(*error)) return 0;
      for (const Departed& gone : Departures())
        if ((error->resourceid == gone.Window || error->resourceid == gone.Pixmap) &&
            error->serial <= gone.LastRequest)
          return 0;
    }
  }
  return Previous(d, error);
}

}  // namespace

void slate::CatchErrors(bool (*ours)(const XErrorEvent& error)) {
  Ours = ours;
  if (!Previous) Previous = XSetErrorHandler(Handler);
  int events = 0, errors = 0;
  if (XRenderQueryExtension(display, &events, &errors)) RenderErrors = errors;
}

void slate::Closed(unsigned long window, unsigned long pixmap) {
  // Errors of requests the server has already answered have all been read:
  // those departures are dropped from the front, so that a picture made and
  // freed for every draw costs the same however many draws come before it.
  unsigned long answered = LastKnownRequestProcessed(display);
  std::deque<Departed>& departures = Departures();
  while (!departures.empty() && departures.front().LastRequest <= answered) departures.pop_front();
  departures.push_back({window, pixmap, NextRequest(display) - 1});
}

slate::Refusals::Refusals() : Answered(NextRequest(display)) {
  Waiting = {Answered, true, false};
}

slate::Refusals::~Refusals() {
  Any();
  Waiting = Awaited();
}

bool slate::Refusals::Any() {
  // A round trip only when requests have been made since the last.
  if (NextRequest(display) != Answered) {
    XSync(display, False);
    Answered = NextRequest(display);
  }
  return Waiting.Failed;
}
