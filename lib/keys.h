// What a key event carries, as the key callbacks get it.
#ifndef SLATE_LIB_KEYS_H
#define SLATE_LIB_KEYS_H

#include <X11/Xlib.h>

#include "slate.h"

namespace slate {

// The key of a key event, with repeat as its Repeat.
Key ReadKey(XKeyEvent& event, bool repeat);

}  // namespace slate

#endif  // SLATE_LIB_KEYS_H
