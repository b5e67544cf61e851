// The hook run when the last window has been closed from outside. An
// application may define its own; this one does nothing.
#include "slate.h"

int ApiEnd() {
  return 1;
}
