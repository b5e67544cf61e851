// Owners of what lives for one call: an X resource or a file descriptor,
// released when the owner goes out of scope, on every path out of the call
// (an early return, or an exception from a program's callback).
#ifndef SLATE_LIB_OWNER_H
#define SLATE_LIB_OWNER_H

#include <X11/Xlib.h>
#include <unistd.h>

#include "slate.h"

namespace slate {

// Owns one resource and releases it at the end of its scope; Empty means
// "nothing to release".
template <typename T, void (*Release)(T), T Empty = T()>
class Owner {
 public:
  explicit Owner(T value = Empty) : Value(value) {}
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  ~Owner() {
    if (Value != Empty) Release(Value);
  }
  T Get() const { return Value; }
  T* Out() { return &Value; }  // for calls that load into a pointer

 private:
  T Value;
};

inline void FreeGC(GC gc) {
  XFreeGC(display, gc);
}
inline void FreeFont(XFontStruct* font) {
  XFreeFont(display, font);
}
inline void FreePixmap(Pixmap pixmap) {
  XFreePixmap(display, pixmap);
}
inline void CloseFd(int fd) {
  close(fd);
}

using OwnedGC = Owner<GC, FreeGC>;
using OwnedFont = Owner<XFontStruct*, FreeFont>;
using OwnedPixmap = Owner<Pixmap, FreePixmap>;
using OwnedFd = Owner<int, CloseFd, -1>;

// Runs a step when its scope ends, however it ends: the loop's and the
// alert box's state put back when a program's callback throws.
template <typename F>
class AtExit {
 public:
  explicit AtExit(F f) : Step(f) {}
  AtExit(const AtExit&) = delete;
  AtExit& operator=(const AtExit&) = delete;
  ~AtExit() { Step(); }

 private:
  F Step;
};

}  // namespace slate

#endif  // SLATE_LIB_OWNER_H
