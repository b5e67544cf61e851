// What a key event carries, as the key callbacks get it: the key itself,
// and the text it types in UTF-8, through the input method where there is
// one (dead keys, compose, the methods of other scripts).
#ifndef SLATE_LIB_KEYS_H
#define SLATE_LIB_KEYS_H

#include <X11/Xlib.h>

#include "slate.h"

namespace slate {

// Opens the input method of the program's locale, once the display is
// open; a program without one gets each key's own character.
void OpenInputMethod();
// An input context for a window, or null without an input method; and the
// events the window must select for it.
XIC NewInputContext(Window window);
long InputContextEvents(XIC context);
void FreeInputContext(XIC context);

// The key of a key event, with repeat as its Repeat; context is the
// window's input context, or null.
Key ReadKey(XKeyEvent& event, bool repeat, XIC context);

}  // namespace slate

#endif  // SLATE_LIB_KEYS_H
