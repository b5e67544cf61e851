// The one event loop.
//
// Every X window the library owns (a program's window, an alert box, its
// button) is a target, registered by its X id while it exists. Events are
// taken from the X queue here and nowhere else, and every one goes the same
// route: its target is looked up, the loop's rules decide, and the handler
// of its type in one table hands it to the target.
//
// The loop runs in modes:
//  - Run: the main loop, once ApiMain has returned: every event, timers,
//    and a wait on the connection when there is nothing to do;
//  - Pump: a pass that each window operation runs while ApiMain does: the
//    events of structure and close requests only, and timers;
//  - RunModal: while an alert box is up, the loop runs for it: the
//    program's other windows take no input nor close requests (those are
//    dropped for good), their destruction waits until the last box has
//    gone, their exposures and changes of structure are handled, and
//    timers pause;
//  - AwaitShown: the wait for a new window to be shown.
// Damage drawn meanwhile is shown once per pass (see surface.h).
#ifndef SLATE_LIB_EVENT_LOOP_H
#define SLATE_LIB_EVENT_LOOP_H

#include <X11/Xlib.h>

#include <chrono>
#include <deque>
#include <iosfwd>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "slate.h"
#include "surface.h"

namespace slate {

// An X window of the library's, as the loop sees it: what it does with an
// event of each kind (by default nothing: 2), and its surface.
class Target {
 public:
  Target() = default;
  Target(const Target&) = delete;
  Target& operator=(const Target&) = delete;
  virtual ~Target() = default;

  unsigned long Id = 0;            // its X window
  Surface Canvas;                  // where its pixels are written
  const Target* Dialog = nullptr;  // the alert box it belongs to (a box's is itself), or none
  bool Gone = false;               // another client has destroyed its window: no request may name it
  XIC Input = nullptr;             // its input context, for typed text

  virtual SimpleWindow* Window() { return nullptr; }  // the program's window it is, if it is one
  virtual long Takes() const { return 0; }            // the input it takes, as an X event mask
  // Whether a configure event tells nothing new: the geometry it has.
  virtual bool Unchanged(const XConfigureEvent&) const { return false; }

  // 1 handled, 2 not handled, 0 the program's last window has just closed
  // by request.
  virtual int Pressed(const XButtonEvent&) { return 2; }
  virtual int Released(const XButtonEvent&) { return 2; }
  virtual int Moved(const XMotionEvent&, bool /*held*/) { return 2; }
  virtual int Crossed(const XCrossingEvent&, bool /*in*/) { return 2; }
  virtual int KeyPressed(const Key&) { return 2; }
  virtual int KeyReleased(const Key&) { return 2; }
  virtual int Exposed() { return 2; }
  virtual int Configured(const XConfigureEvent&) { return 2; }
  virtual int Reparented(bool /*framed*/) { return 2; }
  virtual int Destroyed(bool /*byAnotherClient*/) { return 2; }
  virtual int CloseRequested() { return 2; }
  virtual int FocusLost() { return 2; }  // the keyboard's focus went elsewhere

  // Its timer: whether one runs, milliseconds until it is due at now, and
  // its callback run if it is due.
  virtual bool TimerRunning() const { return false; }
  virtual unsigned int TimerLeft(unsigned int /*now*/) const { return 0; }
  virtual void CheckTimer() {}
};

class EventLoop {
 public:
  // The registry.
  void Add(Target& target);
  void Remove(Target& target);  // its newest entry
  Target* Find(unsigned long id) const;
  SimpleWindow* FindWindow(unsigned long id) const;
  int Windows() const { return WindowCount; }
  std::vector<SimpleWindow*> ProgramWindows() const;  // the newest first

  bool ApiMainDone = false;  // ApiMain has returned: the main loop does the pump's work

  // The modes.
  int Run();  // until no window is left (1), or the last closed by request (0)
  void Pump();
  // Runs for the box target until up turns false; the box and its button
  // must have Dialog set to the box.
  void RunModal(const Target& box, const bool& up);
  enum class Showing { Shown, Obscured, Destroyed, NotInTime };
  Showing AwaitShown(unsigned long window);
  // Takes the first exposure of a window just shown, if one is coming.
  void TakeFirstExposure(unsigned long window);
  void Wait();  // until an event is queued or a timer is due, damage shown first
  bool Modal() const { return !Boxes.empty(); }
  const Target* Innermost() const { return Boxes.empty() ? nullptr : Boxes.back(); }  // the box on top

  // The one route: the target looked up, the rules of the mode, the filter
  // of the event's type, its handler. 2 for an event nothing takes.
  int Route(XEvent& event);
  bool Accepts(XEvent& event, Target* target);  // the filter alone
  int Dispatch(XEvent& event, Target* target);  // the handler alone

  // What the handlers of key and pointer events look ahead for in the
  // queue: the press behind a release that is half of an auto-repeat, and
  // the latest motion of a window queued before its next button event.
  bool TakeRepeatPress(XEvent& event);
  void TakeLatestMotion(XEvent& event);
  // Notes a key delivered as pressed (down) or released: a box's end
  // releases the keys let go while it was up.
  void NoteKey(const XKeyEvent& event, bool down);

  void CheckTimers();
  void Terminate();  // the shutdown request
  // An X error about a missing resource: true, after noting it, when it is
  // a target's window (another client destroyed it) or backing pixmap.
  bool Forgives(const XErrorEvent& error);

 private:
  bool TakeAny(XEvent& event);
  bool TakeOf(unsigned kinds, XEvent& event);
  std::vector<XEvent> MissedKeyReleases();
  int NextTimerDue() const;

  std::vector<Target*> Targets;  // the oldest first
  int WindowCount = 0;
  std::deque<XEvent> Deferred;         // taken before the X queue
  std::vector<XEvent> KeptWhileModal;  // destruction of other windows while a box is up
  std::vector<const Target*> Boxes;    // the boxes up, the innermost last
  bool Pumping = false;
  // What the pump last left in the queue, and when it last read the
  // connection: a read costs as much as the drawing call that pumps.
  int LeftQueued = 0;
  std::chrono::steady_clock::time_point LastRead;
  // The presses of keys delivered and not yet released, by window and key.
  std::map<std::pair<Window, unsigned int>, XKeyEvent> HeldKeys;
};

EventLoop& Loop();

// While ApiMain runs, the pump; afterwards nothing (the main loop does that
// work). Every window operation ends with it.
void Pump();
// While ApiMain runs, what was drawn is shown at once; afterwards the loop
// shows it once per pass. For drawing that must not run the pump: the
// alert box's, and a repaint.
void Show();

// Writes message to stream and asks every window to close: the response to
// a condition the library cannot go on from.
void ShutDown(std::ostream& stream, const std::string& message);

// The error handler's question (see errors.h) put to the loop.
bool OursGone(const XErrorEvent& error);

}  // namespace slate

#endif  // SLATE_LIB_EVENT_LOOP_H
