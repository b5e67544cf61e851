// Test application: shows one alert box from ApiMain. The title and the
// message come from AL_TITLE and AL_MESSAGE (defaults "Untitled" and
// "Hello"); AL_NO_CALLBACK set means no callback. Prints "showing" before the
// box, "callback: box gone" or "callback: box still up" from the callback, and
// "returned" when the constructor has returned.
#include <X11/Xlib.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "slate.h"

namespace {

std::string title;

// Whether a viewable top-level window carries the alert's title.
bool BoxIsUp() {
  XSync(display, False);
  Window root, parent;
  Window* children = nullptr;
  unsigned int count = 0;
  bool found = false;
  if (!XQueryTree(display, RootWindow(display, ScreenNbr), &root, &parent, &children, &count)) return false;
  for (unsigned int i = 0; i < count && !found; ++i) {
    XWindowAttributes attributes;
    char* name = nullptr;
    if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable &&
        XFetchName(display, children[i], &name) && name != nullptr) {
      found = title == name;
    }
    if (name != nullptr) XFree(name);
  }
  if (children != nullptr) XFree(children);
  return found;
}

void Callback() {
  std::cout << (BoxIsUp() ? "callback: box still up" : "callback: box gone") << std::endl;
}

}  // namespace

void ApiMain() {
  const char* t = std::getenv("AL_TITLE");
  const char* m = std::getenv("AL_MESSAGE");
  title = t != nullptr ? t : NoTitle;
  std::string message = m != nullptr ? m : "Hello";
  bool withCallback = std::getenv("AL_NO_CALLBACK") == nullptr;
  std::cout << "showing" << std::endl;
  { AlertWindow alert(title, message, withCallback ? Callback : nullptr); }
  std::cout << "returned" << std::endl;
}
