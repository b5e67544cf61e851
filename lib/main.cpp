// The process entry point: runs the application's ApiMain, then the event
// loop until the last window has closed.
#include "internal.h"

int main() {
  int keepGoing = 1;
  if (!WinManager.ColorsObtained()) return 0;

  ApiMain();
  WinManager.ApiMainIsCompleted();

  while (keepGoing && !WinManager.Empty()) {
    if (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      keepGoing = slate::Route(event);
    } else {
      // Nothing queued: sleep until the server sends something or the
      // nearest timer falls due, instead of asking again at once.
      WinManager.WaitForEvent();
    }
    WinManager.CheckTimers();
  }
  return 0;
}
