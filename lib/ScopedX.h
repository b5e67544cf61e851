// Guards for X resources that live for one call: each frees its resource
// when it goes out of scope, on every path out of the call.
#ifndef SLATE_LIB_SCOPEDX_H
#define SLATE_LIB_SCOPEDX_H

#include "slate.h"

// A graphics context; freed with XFreeGC.
class ScopedGC {
 public:
  explicit ScopedGC(GC gc) : gc_(gc) {}
  ScopedGC(const ScopedGC&) = delete;
  ScopedGC& operator=(const ScopedGC&) = delete;
  ~ScopedGC() {
    if (gc_) XFreeGC(display, gc_);
  }
  GC get() const { return gc_; }

 private:
  GC gc_;
};

// A loaded font, possibly null; freed with XFreeFont.
class ScopedFont {
 public:
  explicit ScopedFont(XFontStruct* font = nullptr) : font_(font) {}
  ScopedFont(const ScopedFont&) = delete;
  ScopedFont& operator=(const ScopedFont&) = delete;
  ~ScopedFont() {
    if (font_) XFreeFont(display, font_);
  }
  XFontStruct* get() const { return font_; }
  XFontStruct** out() { return &font_; }  // for calls that load into a pointer

 private:
  XFontStruct* font_;
};

// A pixmap, possibly 0; freed with XFreePixmap.
class ScopedPixmap {
 public:
  explicit ScopedPixmap(Pixmap pixmap) : pixmap_(pixmap) {}
  ScopedPixmap(const ScopedPixmap&) = delete;
  ScopedPixmap& operator=(const ScopedPixmap&) = delete;
  ~ScopedPixmap() {
    if (pixmap_) XFreePixmap(display, pixmap_);
  }
  Pixmap get() const { return pixmap_; }

 private:
  Pixmap pixmap_;
};

#endif  // SLATE_LIB_SCOPEDX_H
