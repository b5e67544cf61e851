// Creating the library's top-level windows: the hints the window manager
// reads, the properties of a dialog, the close-request protocol, and the
// wait for a new window to be shown.
#ifndef SLATE_LIB_TOP_LEVEL_H
#define SLATE_LIB_TOP_LEVEL_H

#include <string>

#include "slate.h"

namespace slate {

// A top-level window that is a dialog: the window manager keeps it over
// the window it belongs to (none when 0) and gives it a dialog's frame.
struct Dialog {
  unsigned long Owner;
};

// CreateWindow and SetWindowHints, with the position's origin for the window
// manager: PPosition when the program chose it, USPosition when the user
// did (by moving the window there), which window managers honour as it is.
// The window selects events from its making: an event of its showing (the
// pointer entering it, say) is not lost.
int CreateTopLevel(unsigned long& window, std::string const& title, int x, int y, int width, int height,
                   int fixedSize, long placement, const Dialog* dialog = nullptr,
                   long events = NormalWindowEventMask);
int SetHints(unsigned long window, std::string const& title, int x, int y, int width, int height,
             int fixedSize, long placement);

}  // namespace slate

#endif  // SLATE_LIB_TOP_LEVEL_H
