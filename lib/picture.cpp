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
#include <cstdint>
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
// picture's size into, and what else a picture is made of: a PNG picture
// with pixels less than opaque is kept as premultiplied ARGB and blended,
// or, where the server cannot blend, as its colours and a mask of its
// pixels at least half opaque.
struct slate::PictureRecord : XpmAttributes {
  int Depth = 0;              // of the picture's pixmap: the screen's, or 32 (ARGB)
  unsigned long Blended = 0;  // the Render picture of an ARGB pixmap, or 0
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
  PixelMaker() {
    Visual* screen = DefaultVisual(display, ScreenNbr);
    Direct = screen->c_class == TrueColor || screen->c_class == DirectColor;
    for (unsigned int v = 0; v < 256 && Direct; ++v) {
      Red[v] = Part(v, screen->red_mask);
      Green[v] = Part(v, screen->green_mask);
      Blue[v] = Part(v, screen->blue_mask);
    }
  }
  unsigned long operator()(unsigned int red, unsigned int green, unsigned int blue) {
    if (Direct) return Red[red] | Green[green] | Blue[blue];
    int index = Level(red) * 16 + Level(green) * 4 + Level(blue);
    if (!Known[index]) {
      Levels[index] = slate::PaletteColor(RGBColor(Level(red) * 85, Level(green) * 85, Level(blue) * 85));
      Known[index] = true;
    }
    return Levels[index];
  }

 private:
  static int Level(unsigned int v) { return static_cast<int>((v + 42) / 85); }
  static unsigned long Part(unsigned int value, unsigned long mask) {
    if (!mask) return 0;
    int shift = __builtin_ctzl(mask);
    unsigned long top = mask >> shift;
    return ((value * top + 127) / 255) << shift;
  }
  bool Direct;
  unsigned long Red[256], Green[256], Blue[256];
  unsigned long Levels[64];
  bool Known[64] = {};
};

// Whether the server blends pictures with alpha onto the screen's visual.
bool CanBlend() {
  int event, error;
  Visual* visual = DefaultVisual(display, ScreenNbr);
  return (visual->c_class == TrueColor || visual->c_class == DirectColor) &&
         XRenderQueryExtension(display, &event, &error) && XRenderFindVisualFormat(display, visual) &&
         XRenderFindStandardFormat(display, PictStandardARGB32);
}

// The Render picture that blends a 32-bit ARGB pixmap; 0 for none.
unsigned long BlendedPicture(unsigned long pixmap, int depth) {
  if (!pixmap || depth != 32) return 0;
  return XRenderCreatePicture(display, pixmap, XRenderFindStandardFormat(display, PictStandardARGB32), 0,
                              nullptr);
}

// A client image, freed with its memory.
struct ImageFree {
  void operator()(XImage* image) const { XDestroyImage(image); }
};
using OwnedImage = std::unique_ptr<XImage, ImageFree>;

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

// The rows of an image as an array of T, when its pixels are T-sized words
// in this machine's order; null where only XPutPixel can write them.
template <typename T>
T* Words(XImage* image, unsigned int y) {
  const unsigned int one = 1;
  int native = *reinterpret_cast<const unsigned char*>(&one) == 1 ? LSBFirst : MSBFirst;
  if (image->bits_per_pixel != 8 * static_cast<int>(sizeof(T)) || image->byte_order != native) return nullptr;
  return reinterpret_cast<T*>(image->data + static_cast<size_t>(image->bytes_per_line) * y);
}

// A PNG picture's pixmaps on the server, filled strip by strip from rows of
// 8-bit RGBA: the screen's colours; premultiplied ARGB to be blended; or,
// where the server cannot blend, the colours and the mask of the pixels at
// least half opaque. A strip's rows are converted into an image of the
// strip's size and sent; the program never holds more than that.
class PngUpload {
 public:
  PngUpload(unsigned int width, unsigned int height, bool alpha, unsigned int stripRows)
      : Width(width), Blend(alpha && CanBlend()), Masked(alpha && !Blend) {
    Depth = Blend ? 32 : DefaultDepth(display, ScreenNbr);
    Colours.reset(NewImage(Depth, width, stripRows));
    if (Masked) MaskImage.reset(NewImage(1, width, stripRows));
    if (!Colours || (Masked && !MaskImage)) return;
    Window root = RootWindow(display, ScreenNbr);
    Pixmap = XCreatePixmap(display, root, width, height, static_cast<unsigned int>(Depth));
    ColoursGC = XCreateGC(display, Pixmap, 0, nullptr);
    if (Masked) {
      Mask = XCreatePixmap(display, root, width, height, 1);
      MaskGC = XCreateGC(display, Mask, 0, nullptr);
    }
  }
  ~PngUpload() {
    if (ColoursGC) XFreeGC(display, ColoursGC);
    if (MaskGC) XFreeGC(display, MaskGC);
    if (Pixmap) XFreePixmap(display, Pixmap);
    if (Mask) XFreePixmap(display, Mask);
  }
  PngUpload(const PngUpload&) = delete;
  PngUpload& operator=(const PngUpload&) = delete;

  bool Made() const { return Pixmap != 0; }

  // Converts count rows of RGBA, width * 4 bytes each, and sends them as
  // rows y to y + count - 1.
  void Put(const unsigned char* rgba, unsigned int y, unsigned int count) {
    XImage* colours = Colours.get();
    for (unsigned int row = 0; row < count; ++row) {
      const unsigned char* p = rgba + static_cast<size_t>(row) * Width * 4;
      if (Blend) {
        uint32_t* words = Words<uint32_t>(colours, row);
        for (unsigned int x = 0; x < Width; ++x, p += 4) {
          uint32_t a = p[3];
          // Render blends premultiplied colours: each part already times alpha.
          auto times = [a](uint32_t part) { return (part * a + 127) / 255; };
          uint32_t argb = a == 0xff ? 0xff000000u | p[0] << 16 | p[1] << 8 | p[2]
                                    : a << 24 | times(p[0]) << 16 | times(p[1]) << 8 | times(p[2]);
          if (words)
            words[x] = argb;
          else
            XPutPixel(colours, static_cast<int>(x), static_cast<int>(row), argb);
        }
        continue;
      }
      uint32_t* words = Words<uint32_t>(colours, row);
      uint16_t* halves = Words<uint16_t>(colours, row);
      for (unsigned int x = 0; x < Width; ++x, p += 4) {
        unsigned long pixel = Pixel(p[0], p[1], p[2]);
        if (words)
          words[x] = static_cast<uint32_t>(pixel);
        else if (halves)
          halves[x] = static_cast<uint16_t>(pixel);
        else
          XPutPixel(colours, static_cast<int>(x), static_cast<int>(row), pixel);
        if (Masked) XPutPixel(MaskImage.get(), static_cast<int>(x), static_cast<int>(row), p[3] >= 0x80);
      }
    }
    XPutImage(display, Pixmap, ColoursGC, colours, 0, 0, 0, static_cast<int>(y), Width, count);
    if (Masked) XPutImage(display, Mask, MaskGC, MaskImage.get(), 0, 0, 0, static_cast<int>(y), Width, count);
  }

  // Hands the pixmaps over to record.
  ::Pixmap Release(PictureRecord* record) {
    record->Depth = Depth;
    record->Mask = Mask;
    record->Blended = BlendedPicture(Pixmap, Depth);
    ::Pixmap pixmap = Pixmap;
    Pixmap = Mask = 0;
    return pixmap;
  }

 private:
  unsigned int Width;
  bool Blend, Masked;
  int Depth;
  PixelMaker Pixel;
  OwnedImage Colours, MaskImage;
  ::Pixmap Pixmap = 0, Mask = 0;
  GC ColoursGC = nullptr, MaskGC = nullptr;
};

// Rows of a picture decoded at a time: about a megabyte of them.
constexpr size_t StripBytes = 1 << 20;

// Loads a PNG file's bytes into a new pixmap and the record's size (and its
// depth and mask); 0 when the picture is refused or memory runs out (with a
// message and a shutdown request). A picture stored row by row goes to the
// server a strip at a time as it is decoded; an interlaced one, whose rows
// come in seven passes, is decoded whole first.
unsigned long LoadPng(const std::string& bytes, PictureRecord* record) {
  unsigned int width = 0, height = 0;
  PngReader reader(bytes);
  if (!reader.ReadHeader(&width, &height)) return 0;
  size_t stride = static_cast<size_t>(width) * 4;
  unsigned int stripRows = static_cast<unsigned int>(std::clamp<size_t>(StripBytes / stride, 1, height));
  unsigned int decodedRows = reader.Interlaced() ? height : stripRows;
  PngUpload upload(width, height, reader.HasAlpha(), stripRows);
  std::unique_ptr<unsigned char[]> rgba(new (std::nothrow) unsigned char[stride * decodedRows]);
  std::unique_ptr<unsigned char*[]> rows(new (std::nothrow) unsigned char*[decodedRows]);
  if (!upload.Made() || !rgba || !rows) {
    slate::ShutDown(std::cout, "Unable to allocate memory for the picture.\n");
    return 0;
  }
  for (unsigned int y = 0; y < decodedRows; ++y) rows[y] = rgba.get() + y * stride;
  if (reader.Interlaced()) {
    if (!reader.ReadPixels(rows.get())) return 0;
    for (unsigned int y = 0; y < height; y += stripRows)
      upload.Put(rows[y], y, std::min(stripRows, height - y));
  } else {
    for (unsigned int y = 0; y < height; y += stripRows) {
      unsigned int count = std::min(stripRows, height - y);
      if (!reader.ReadRows(rows.get(), count)) return 0;
      upload.Put(rgba.get(), y, count);
    }
    if (!reader.ReadEnd()) return 0;
  }
  record->valuemask = XpmSize;
  record->width = width;
  record->height = height;
  return upload.Release(record);
}

PictureRecord* NewAttributes() {
  PictureRecord* attributes = new (std::nothrow) PictureRecord();
  if (!attributes) {
    std::cerr << "Function: BitMap\n\tUnable to allocate memory\n";
    Terminate();
  }
  return attributes;
}

// Frees what a picture has beside its pixmap.
void ReleaseTransparency(PictureRecord* attributes) {
  if (attributes->Blended && display) XRenderFreePicture(display, attributes->Blended);
  if (attributes->Mask && display) XFreePixmap(display, attributes->Mask);
  attributes->Blended = attributes->Mask = 0;
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
  attributes->Depth = sourceAttributes->Depth;
  attributes->Mask = CopyPixmap(sourceAttributes->Mask, width, height, 1);
  unsigned long copy = CopyPixmap(source, width, height, sourceAttributes->Depth);
  attributes->Blended = BlendedPicture(copy, attributes->Depth);
  return copy;
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
    Attributes->Depth = DefaultDepth(display, ScreenNbr);
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
