// X protocol errors the library answers itself. The handler installed with
// the display answers errors about the library's own windows that another
// client destroyed (the event loop, which knows them, says which), about
// resources freed while requests naming them were still on their way, and
// those a Refusals waits for; every other error goes to the handler
// installed before it, which by default ends the program.
#ifndef SLATE_LIB_ERRORS_H
#define SLATE_LIB_ERRORS_H

#include <X11/Xlib.h>

namespace slate {

// Installs the handler. ours is asked about an error of a missing window,
// drawable, pixmap or Render picture: true when the resource is one of the
// library's own that may have gone without its knowing (it then notes that).
void CatchErrors(bool (*ours)(const XErrorEvent& error));

// A window and its backing pixmap have just been destroyed and freed (or a
// Render picture made for a moment, freed): errors of the requests sent
// about them until now are forgiven.
void Closed(unsigned long window, unsigned long pixmap);

// While alive, any error of the requests sent since its making is taken as
// the server's refusal of what they asked for, and goes no further: for
// work that a server short of memory may refuse (a window's backing
// pixmap; a large picture: its pixmap, then what is drawn into it).
class Refusals {
 public:
  Refusals();
  ~Refusals();
  Refusals(const Refusals&) = delete;
  Refusals& operator=(const Refusals&) = delete;
  bool Any();  // waits for the server's answers: true when one was an error

 private:
  unsigned long Answered;  // the serial of the first request not yet answered
};

}  // namespace slate

#endif  // SLATE_LIB_ERRORS_H
