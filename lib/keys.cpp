// What a key event carries (see keys.h).
#include "keys.h"

#include <X11/Xutil.h>

#include <algorithm>

Key slate::ReadKey(XKeyEvent& event, bool repeat) {
  char text[32];
  KeySym typed = NoSymbol;
  int length =
      std::clamp(XLookupString(&event, text, sizeof text, &typed, nullptr), 0, static_cast<int>(sizeof text));
  // The key itself, without Shift and Caps Lock: a press and its release
  // name the same key whatever happened to those meanwhile.
  XKeyEvent plain = event;
  plain.state &= ~static_cast<unsigned int>(ShiftMask | LockMask);
  KeySym symbol = NoSymbol;
  char ignored[32];
  XLookupString(&plain, ignored, sizeof ignored, &symbol, nullptr);
  return Key{symbol != NoSymbol ? symbol : typed, std::string(text, static_cast<size_t>(length)), repeat};
}
