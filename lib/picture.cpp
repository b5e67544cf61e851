// BitMap: a colour picture read from an XPM or PNG file into a pixmap on the
// X server (after the checks of picture_check.h), placed in a window in
// centimetres, drawn through the window's surface, erased and hit-tested.
#include <X11/extensions/Xrender.h>
#include <X11/xpm.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <new>
#include <string>

#include "errors.h"
#include "event_loop.h"
#include "owner.h"
#include "picture_check.h"
#include "protocol.h"
#include "runtime.h"
#include "surface.h"

// The attributes record libXpm reads its options from and writes the
// picture's size into; for a picture with transparent parts, also the
// picture with its alpha (to blend) or the mask of its opaque pixels.
struct slate::PictureRecord : XpmAttributes {
  unsigned long Alpha = 0;    // 32-bit premultiplied ARGB pixmap, or 0
  unsigned long Blended = 0;  // the Render picture of Alpha, or 0
  unsigned long Mask = 0;     // 1-bit pixmap, where the server cannot blend; or 0
};
using slate::IsLoadableXpm;
using slate::IsPng;
using slate::PictureRecord;
using slate::PngReader;
using slate::ReadPictureFile;

namespace {

// libXpm reads pictures only from named files (its reader of buffers runs
// on past the end of one that is cut short). It gets a sealed in-memory
// file holding the bytes that were checked, which nothing can change. -1
// when there is none.
int SealedFile(const std::string& bytes) {
  slate::OwnedFd fd(memfd_create("slate-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (fd.Get() < 0) return -1;
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = write(fd.Get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    done += static_cast<size_t>(n);
  }
  if (fcntl(fd.Get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) return -1;
  return dup(fd.Get());
}

// Loads an XPM file's checked bytes with libXpm into attributes and a new
// pixmap for window's screen; gives libXpm's result.
int LoadXpm(std::string& bytes, unsigned long window, ::Pixmap* picture, PictureRecord* attributes) {
  slate::OwnedFd sealed(SealedFile(bytes));
  std::string().swap(bytes);  // libXpm holds its own copy while it reads
  if (sealed.Get() < 0) return XpmOpenFailed;
  std::string name = "/proc/self/fd/" + std::to_string(sealed.Get());
  attributes->valuemask = XpmSize | XpmCloseness;
  attributes->closeness = ColorCloseness;
  return XpmReadFileToPixmap(display, window, name.c_str(), picture, nullptr, attributes);
}

// The pixel of an opaque colour on the screen's visual: from the visual's
// masks where it has them, else a colour from RGBColor, with each part taken
// to one of four levels so that a picture takes few of a colormap's cells.
class PixelMaker {
 public:
  PixelMaker() : Screen(DefaultVisual(display, ScreenNbr)) {
    Direct = Screen->c_class == TrueColor || Screen->c_class == DirectColor;
  }
  unsigned long operator()(unsigned int red, unsigned int green, unsigned int blue) const {
    if (Direct)
      return Part(red, Screen->red_mask) | Part(green, Screen->green_mask) | Part(blue, Screen->blue_mask);
    auto level = [](unsigned int v) { return static_cast<int>((v + 42) / 85 * 85); };
    return slate::PaletteColor(RGBColor(level(red), level(green), level(blue)));
  }

 private:
  static unsigned long Part(unsigned int value, unsigned long mask) {
    if (!mask) return 0;
    int shift = __builtin_ctzl(mask);
    unsigned long top = mask >> shift;
    return ((value * top + 127) / 255) << shift;
  }
  Visual* Screen;
  bool Direct;
};

// A client image of the given depth with its own memory, or null.
XImage* NewImage(int depth, unsigned int width, unsigned int height) {
  XImage* image = XCreateImage(display, DefaultVisual(display, ScreenNbr), depth, ZPixmap, 0, nullptr, width,
                               height, 32, 0);
  if (!image) return nullptr;
  image->data = static_cast<char*>(std::malloc(static_cast<size_t>(image->bytes_per_line) * height));
  if (!image->data) {
    XDestroyImage(image);
    return nullptr;
  }
  return image;
}

// A pixmap of image's depth holding image, which it frees.
unsigned long ToPixmap(XImage* image) {
  ::Pixmap pixmap =
      XCreatePixmap(display, RootWindow(display, ScreenNbr), image->width, image->height, image->depth);
  slate::OwnedGC gc(XCreateGC(display, pixmap, 0, nullptr));
  XPutImage(display, pixmap, gc.Get(), image, 0, 0, 0, 0, image->width, image->height);
  XDestroyImage(image);
  return pixmap;
}

// Whether the server blends pictures with alpha onto the screen's visual.
bool CanBlend() {
  int event, error;
  Visual* visual = DefaultVisual(display, ScreenNbr);
  return (visual->c_class == TrueColor || visual->c_class == DirectColor) &&
         XRenderQueryExtension(display, &event, &error) && XRenderFindVisualFormat(display, visual) &&
         XRenderFindStandardFormat(display, PictStandardARGB32);
}

// The Render picture that blends a 32-bit ARGB pixmap; 0 for none.
unsigned long BlendedPicture(unsigned long alpha) {
  if (!alpha) return 0;
  return XRenderCreatePicture(display, alpha, XRenderFindStandardFormat(display, PictStandardARGB32), 0,
                              nullptr);
}

// The X resources of a decoded picture: its colours at the screen's depth,
// and, where some pixels are not opaque, the picture with its alpha (to be
// blended) or, where the server cannot blend, a mask of its pixels at least
// half opaque. False, with nothing made, when memory runs out.
bool MakePngPixmaps(const unsigned char* rgba, unsigned int width, unsigned int height, ::Pixmap* opaque,
                    PictureRecord* record) {
  PixelMaker pixel;
  bool transparent = false;
  XImage* colours = NewImage(DefaultDepth(display, ScreenNbr), width, height);
  if (!colours) return false;
  for (unsigned int y = 0; y < height; ++y) {
    for (unsigned int x = 0; x < width; ++x) {
      const unsigned char* p = rgba + (static_cast<size_t>(y) * width + x) * 4;
      XPutPixel(colours, x, y, pixel(p[0], p[1], p[2]));
      transparent = transparent || p[3] != 0xff;
    }
  }
  if (!transparent) {
    *opaque = ToPixmap(colours);
    return true;
  }
  bool blend = CanBlend();
  XImage* alpha = NewImage(blend ? 32 : 1, width, height);
  if (!alpha) {
    XDestroyImage(colours);
    return false;
  }
  for (unsigned int y = 0; y < height; ++y) {
    for (unsigned int x = 0; x < width; ++x) {
      const unsigned char* p = rgba + (static_cast<size_t>(y) * width + x) * 4;
      unsigned long a = p[3];
      // Render blends premultiplied colours: each part already times alpha.
      auto times = [a](unsigned long part) { return (part * a + 127) / 255; };
      XPutPixel(alpha, x, y,
                blend ? a << 24 | times(p[0]) << 16 | times(p[1]) << 8 | times(p[2]) : (a >= 0x80 ? 1 : 0));
    }
  }
  *opaque = ToPixmap(colours);
  (blend ? record->Alpha : record->Mask) = ToPixmap(alpha);
  record->Blended = BlendedPicture(record->Alpha);
  return true;
}

// Loads a PNG file's bytes into a new pixmap and the record's size (and its
// alpha or mask); 0 when the picture is refused or memory runs out (with a
// message and a shutdown request).
unsigned long LoadPng(const std::string& bytes, PictureRecord* record) {
  unsigned int width = 0, height = 0;
  std::unique_ptr<unsigned char[]> rgba;
  {
    PngReader reader(bytes);
    if (!reader.ReadHeader(&width, &height)) return 0;
    size_t stride = static_cast<size_t>(width) * 4;
    rgba.reset(new (std::nothrow) unsigned char[stride * height]);
    std::unique_ptr<unsigned char*[]> rows(new (std::nothrow) unsigned char*[height]);
    if (!rgba || !rows) {
      slate::ShutDown(std::cout, "Unable to allocate memory for the picture.\n");
      return 0;
    }
    for (unsigned int y = 0; y < height; ++y) rows[y] = rgba.get() + y * stride;
    if (!reader.ReadPixels(rows.get())) return 0;
  }
  ::Pixmap picture = 0;
  if (!MakePngPixmaps(rgba.get(), width, height, &picture, record)) {
    slate::ShutDown(std::cout, "Unable to allocate memory for the picture.\n");
    return 0;
  }
  record->valuemask = XpmSize;
  record->width = width;
  record->height = height;
  return picture;
}

PictureRecord* NewAttributes() {
  PictureRecord* attributes = new (std::nothrow) PictureRecord();
  if (!attributes) {
    std::cerr << "Function: BitMap\n\tUnable to allocate memory\n";
    Terminate();
  }
  return attributes;
}

// Frees the pixmaps of a picture's transparency.
void ReleaseTransparency(PictureRecord* attributes) {
  if (attributes->Blended && display) XRenderFreePicture(display, attributes->Blended);
  for (unsigned long pixmap : {attributes->Alpha, attributes->Mask})
    if (pixmap && display) XFreePixmap(display, pixmap);
  attributes->Alpha = attributes->Blended = attributes->Mask = 0;
}

// Frees what libXpm stored in the record and clears it, so that width and
// height read 0 until the next successful load.
void ClearAttributes(PictureRecord* attributes) {
  if (!attributes) return;
  ReleaseTransparency(attributes);
  XpmFreeAttributes(attributes);
  *attributes = PictureRecord();
}

void DeleteAttributes(PictureRecord* attributes) {
  if (!attributes) return;
  ReleaseTransparency(attributes);
  XpmFreeAttributes(attributes);
  delete attributes;
}

// A new pixmap of the given depth holding a copy of source; 0 for none.
unsigned long CopyPixmap(unsigned long source, unsigned int width, unsigned int height, int depth) {
  if (!source) return 0;
  ::Pixmap copy = XCreatePixmap(display, RootWindow(display, ScreenNbr), width, height, depth);
  slate::OwnedGC gc(XCreateGC(display, copy, 0, nullptr));
  XSetGraphicsExposures(display, gc.Get(), False);
  XCopyArea(display, source, copy, gc.Get(), 0, 0, width, height, 0, 0);
  return copy;
}

// The picture of a copied BitMap: a new pixmap of the screen's depth holding
// a copy of source, with the picture's size (and copies of its alpha or
// mask) recorded in attributes. Gives 0 (and a status of not loaded) when
// the source has no picture or the copy has nowhere to record it.
unsigned long CopyPicture(unsigned long source, const PictureRecord* sourceAttributes,
                          PictureRecord* attributes, PictureState* status) {
  if (!source || !sourceAttributes) return 0;
  unsigned int width = sourceAttributes->width;
  unsigned int height = sourceAttributes->height;
  if (!attributes || !display || width == 0 || height == 0) {
    if (*status == PictureLoaded) *status = PictureNotLoaded;
    return 0;
  }
  attributes->valuemask = XpmSize;
  attributes->width = width;
  attributes->height = height;
  attributes->Alpha = CopyPixmap(sourceAttributes->Alpha, width, height, 32);
  attributes->Blended = BlendedPicture(attributes->Alpha);
  attributes->Mask = CopyPixmap(sourceAttributes->Mask, width, height, 1);
  return CopyPixmap(source, width, height, DefaultDepth(display, ScreenNbr));
}

}  // namespace

BitMap::BitMap(SimpleWindow& window)
    : PictureStatus(PictureNotLoaded),
      PicturePosition(LogicalOrigin),
      BoundWindow(&window),
      Pixmap(0),
      Attributes(NewAttributes()) {}

BitMap::BitMap(SimpleWindow* window)
    : PictureStatus(window ? PictureNotLoaded : PictureHasNoWindow),
      PicturePosition(LogicalOrigin),
      BoundWindow(window),
      Pixmap(0),
      Attributes(NewAttributes()) {}

BitMap::BitMap()
    : PictureStatus(PictureNotLoaded),
      PicturePosition(LogicalOrigin),
      BoundWindow(nullptr),
      Pixmap(0),
      Attributes(NewAttributes()) {}

// A copy is deep: it gets its own attributes record and, when there is a
// picture, its own pixmap holding a copy of it, so each object frees only
// what it owns.
BitMap::BitMap(const BitMap& other)
    : PictureStatus(other.PictureStatus),
      PicturePosition(other.PicturePosition),
      BoundWindow(other.BoundWindow),
      Pixmap(0),
      Attributes(NewAttributes()) {
  Pixmap = CopyPicture(other.Pixmap, other.Attributes, Attributes, &PictureStatus);
}

BitMap& BitMap::operator=(const BitMap& other) {
  if (this == &other) return *this;
  ReleasePixmap();
  if (Attributes) {
    ClearAttributes(Attributes);
  } else {
    Attributes = NewAttributes();
  }
  PictureStatus = other.PictureStatus;
  PicturePosition = other.PicturePosition;
  BoundWindow = other.BoundWindow;
  Pixmap = CopyPicture(other.Pixmap, other.Attributes, Attributes, &PictureStatus);
  return *this;
}

BitMap::~BitMap() {
  ReleasePixmap();
  DeleteAttributes(Attributes);
  Attributes = nullptr;
}

void BitMap::ReleasePixmap() {
  if (Pixmap && display) XFreePixmap(display, Pixmap);
  Pixmap = 0;
}

PictureState BitMap::Load(const std::string& file) {
  if (!BoundWindow) {
    PictureStatus = PictureHasNoWindow;
    return PictureStatus;
  }
  // A new load replaces the picture, whatever its outcome.
  ReleasePixmap();
  ClearAttributes(Attributes);
  PictureStatus = PictureNotLoaded;
  if (!Attributes || !display) return PictureStatus;

  // libXpm needs the window's X window to exist: the window must be open,
  // that is registered under its id.
  unsigned long window = WinManager.GetWindow(BoundWindow);
  if (window == 0 || WinManager.GetWindow(window) != BoundWindow) return PictureStatus;

  std::string bytes;
  if (!ReadPictureFile(file, &bytes)) return PictureStatus;
  // A server short of memory may refuse a large picture's pixmaps: the
  // picture is then not loaded, and the program goes on.
  slate::Refusals refusals;
  if (IsPng(bytes)) {
    Pixmap = LoadPng(bytes, Attributes);
    if (refusals.Any()) {
      ReleasePixmap();
      ClearAttributes(Attributes);
    } else if (Pixmap) {
      PictureStatus = PictureLoaded;
    }
    return PictureStatus;
  }
  if (!IsLoadableXpm(bytes)) return PictureStatus;
  ::Pixmap picture = 0;
  int result = LoadXpm(bytes, window, &picture, Attributes);
  if (result == XpmSuccess && !refusals.Any()) {
    Pixmap = picture;
    PictureStatus = PictureLoaded;
    return PictureStatus;
  }

  // A partial success (XpmColorError) made a pixmap; it is not used.
  if (picture) XFreePixmap(display, picture);
  ClearAttributes(Attributes);
  if (result == XpmNoMemory) {
    std::cout << "Unable to allocate memory for the picture.\n";
    Terminate();
  }
  return PictureStatus;
}

void BitMap::SetWindow(SimpleWindow& window) {
  BoundWindow = &window;
}

int BitMap::Draw() const {
  if (PictureStatus != PictureLoaded || !BoundWindow) return 0;
  SimpleWindow& window = *BoundWindow;
  if (!window.IsLive()) return 1;
  unsigned int width = static_cast<unsigned int>(std::clamp(l_to_d(GetWidth()), 0, SHRT_MAX));
  unsigned int height = static_cast<unsigned int>(std::clamp(l_to_d(GetHeight()), 0, SHRT_MAX));
  short x = slate::ToShort(l_to_d(PicturePosition.GetXDistance()));
  short y = slate::ToShort(l_to_d(PicturePosition.GetYDistance()));
  // A picture with transparent parts goes over what is drawn: blended by
  // the X server where it can, else through the mask of its pixels at
  // least half opaque.
  if (Attributes->Blended)
    window.Canvas().Blend(Attributes->Blended, width, height, x, y);
  else
    window.Canvas().Copy(Pixmap, Attributes->Mask ? Attributes->Mask : None, width, height, x, y);
  slate::Pump();
  return 1;
}

int BitMap::Erase() const {
  if (PictureStatus != PictureLoaded || !BoundWindow) return 0;
  BoundWindow->Erase(PicturePosition, GetWidth(), GetHeight());
  return 1;
}

float BitMap::GetWidth() const {
  return Attributes ? d_to_l(static_cast<int>(Attributes->width)) : 0.0f;
}

float BitMap::GetHeight() const {
  return Attributes ? d_to_l(static_cast<int>(Attributes->height)) : 0.0f;
}

int BitMap::IsInside(const Position& p) const {
  float x = PicturePosition.GetXDistance();
  float y = PicturePosition.GetYDistance();
  float px = p.GetXDistance();
  float py = p.GetYDistance();
  return (x <= px && px <= x + GetWidth() && y <= py && py <= y + GetHeight()) ? 1 : 0;
}

PictureState BitMap::GetStatus() const {
  return PictureStatus;
}

float BitMap::GetXPosition() const {
  return PicturePosition.GetXDistance();
}

float BitMap::GetYPosition() const {
  return PicturePosition.GetYDistance();
}

void BitMap::SetPosition(const Position& p) {
  PicturePosition = p;
}

Position BitMap::GetPosition() const {
  return PicturePosition;
}
