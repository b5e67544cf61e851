// What a key event carries (see keys.h).
#include "keys.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <langinfo.h>
#include <xkbcommon/xkbcommon.h>

#include <clocale>
#include <cstring>
#include <string>

#include "runtime.h"

namespace {

XIM Method = nullptr;

void CloseInputMethod() {
  if (Method) XCloseIM(Method);
  Method = nullptr;
}

// The text of a keysym alone, in UTF-8: what a key types without an input
// method.
std::string KeysymText(KeySym keysym) {
  char text[16] = {};
  int length = xkb_keysym_to_utf8(static_cast<xkb_keysym_t>(keysym), text, sizeof text);
  return length > 1 ? std::string(text, static_cast<size_t>(length - 1)) : std::string();
}

// Control characters type nothing: Ctrl with a letter, Escape, BackSpace,
// Delete, Tab and Return are keys, not text (C0, DEL and C1).
bool IsControl(const std::string& text) {
  if (text.empty()) return false;
  unsigned char c = static_cast<unsigned char>(text[0]);
  if (c < 0x20 || c == 0x7f) return true;
  return text.size() >= 2 && c == 0xc2 && static_cast<unsigned char>(text[1]) < 0xa0;
}

}  // namespace

void slate::OpenInputMethod() {
  // The locale's characters; where it names none (the C locale, as CI and
  // ssh sessions often have), UTF-8's, so that typed text is never lost.
  if (!std::setlocale(LC_CTYPE, "") || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
    std::setlocale(LC_CTYPE, "C.UTF-8");
  if (!XSupportsLocale()) return;
  // The method XMODIFIERS names, else Xlib's own (dead keys and compose).
  if (XSetLocaleModifiers("")) Method = XOpenIM(display, nullptr, nullptr, nullptr);
  if (!Method && XSetLocaleModifiers("@im=none")) Method = XOpenIM(display, nullptr, nullptr, nullptr);
  if (Method) OnClose(CloseInputMethod);
}

XIC slate::NewInputContext(Window window) {
  if (!Method) return nullptr;
  return XCreateIC(Method, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, window,
                   XNFocusWindow, window, nullptr);
}

long slate::InputContextEvents(XIC context) {
  long events = 0;
  if (context) XGetICValues(context, XNFilterEvents, &events, nullptr);
  return events;
}

void slate::FreeInputContext(XIC context) {
  if (context && display) XDestroyIC(context);
}

Key slate::ReadKey(XKeyEvent& event, bool repeat, XIC context) {
  // The key itself, without Shift and Caps Lock: a press and its release
  // name the same key whatever happened to those meanwhile. The keypad's
  // Enter is Return.
  XKeyEvent plain = event;
  plain.state &= ~static_cast<unsigned int>(ShiftMask | LockMask);
  KeySym symbol = NoSymbol;
  char ignored[32];
  XLookupString(&plain, ignored, sizeof ignored, &symbol, nullptr);

  std::string text;
  KeySym typed = NoSymbol;
  if (context && event.type == KeyPress) {
    // What the input method commits, several characters perhaps: a press
    // of keycode 0 is its own, made for that.
    char buffer[64];
    Status status = 0;
    int length = Xutf8LookupString(context, &event, buffer, sizeof buffer, &typed, &status);
    if (status == XBufferOverflow) {
      std::string larger(static_cast<size_t>(length), '\0');
      length = Xutf8LookupString(context, &event, &larger[0], length, &typed, &status);
      text.assign(larger.data(), static_cast<size_t>(std::max(length, 0)));
    } else if (status == XLookupChars || status == XLookupBoth) {
      text.assign(buffer, static_cast<size_t>(std::max(length, 0)));
    }
  } else {
    // The key's own character, as long as what Xlib makes of it (Ctrl
    // applied) is not a control character.
    char latin1[32];
    int length = XLookupString(&event, latin1, sizeof latin1, &typed, nullptr);
    if (length <= 0 || !IsControl(std::string(latin1, 1))) text = KeysymText(typed);
  }
  if (symbol == NoSymbol) symbol = typed;
  if (symbol == XK_KP_Enter) symbol = XK_Return;
  if (IsControl(text)) text.clear();
  return Key{symbol, text, repeat};
}
