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
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <vector>

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
//
// A picture given a size or an angle is drawn through a Render transform
// from its pixmap, or, where it is drawn at under half its size, from a
// copy halved as many times as that takes (each halving averages two
// pixels into one, so that fine detail gives its average, not a sample).
struct slate::PictureRecord : XpmAttributes {
  int Depth = 0;              // of the picture's pixmap: the screen's, or 32 (ARGB)
  unsigned long Blended = 0;  // the Render picture of an ARGB pixmap, or 0
  unsigned long Mask = 0;     // 1-bit pixmap, where the server cannot blend; or 0

  // How the picture is drawn: what the program set, kept from one picture
  // loaded to the next.
  struct Placement {
    enum Sizing { Pixels, Both, ByWidth };
    Sizing Sized = Pixels;        // its own pixels; a width and a height; a width
    float Width = 0, Height = 0;  // cm
    float Angle = 0;              // degrees, clockwise on the screen
  } Place;

  // The picture, or a copy of it halved Kx times across and Ky times down,
  // with the Render picture that draws it through a transform.
  struct Level {
    int Kx = 0, Ky = 0;
    unsigned long Pixmap = 0;   // 0: the picture's own
    unsigned long Picture = 0;  // with its transform, filter and repeat
    XTransform Transform{};     // the one set on Picture
    int Repeat = -1;
  };
  std::vector<Level> Levels;
  unsigned long MaskPicture = 0;  // the mask's, through the same transform
  XTransform MaskTransform{};
  int MaskRepeat = -1;
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
  if (display) {
    for (const PictureRecord::Level& level : attributes->Levels) {
      if (level.Picture) XRenderFreePicture(display, level.Picture);
      if (level.Pixmap) XFreePixmap(display, level.Pixmap);
    }
    if (attributes->MaskPicture) XRenderFreePicture(display, attributes->MaskPicture);
    if (attributes->Blended) XRenderFreePicture(display, attributes->Blended);
    if (attributes->Mask) XFreePixmap(display, attributes->Mask);
  }
  attributes->Levels.clear();
  attributes->Blended = attributes->Mask = attributes->MaskPicture = 0;
}

// Frees what libXpm stored in the record and clears it, so that width and
// height read 0 until the next successful load; how it is drawn stays.
void ClearAttributes(PictureRecord* attributes) {
  if (!attributes) return;
  ReleaseTransparency(attributes);
  XpmFreeAttributes(attributes);
  PictureRecord::Placement place = attributes->Place;
  *attributes = PictureRecord();
  attributes->Place = place;
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
  attributes->Place = sourceAttributes->Place;
  attributes->Depth = sourceAttributes->Depth;
  attributes->Mask = CopyPixmap(sourceAttributes->Mask, width, height, 1);
  unsigned long copy = CopyPixmap(source, width, height, sourceAttributes->Depth);
  attributes->Blended = BlendedPicture(copy, attributes->Depth);
  return copy;
}

// ---------------------------------------------------------------------------
// Pictures at a size and an angle
// ---------------------------------------------------------------------------

// The largest side of a picture drawn, in pixels: the X server's largest
// drawable (a picture can be no larger than a window can show of it).
constexpr double MostPixels = SHRT_MAX;

// What a picture covers as it is drawn, in centimetres: its own width and
// height (scaled, not yet turned), its angle, and the box it covers turned.
struct Geometry {
  bool Valid = false;           // false: nothing is drawn
  bool Scaled = false;          // drawn at a size other than its pixels'
  bool Turned = false;          // at an angle other than a multiple of 360 degrees
  float Width = 0, Height = 0;  // its own size
  double Cos = 1, Sin = 0;      // of its angle
  float BoxWidth = 0, BoxHeight = 0;
};

// The cosine and sine of an angle in degrees, exact at right angles.
void Turn(double degrees, double* cosine, double* sine) {
  double turns = std::fmod(degrees, 360.0);
  if (turns < 0) turns += 360;
  static const double Right[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
  if (std::fmod(turns, 90.0) == 0) {
    int quarter = static_cast<int>(turns / 90) % 4;
    *cosine = Right[quarter][0], *sine = Right[quarter][1];
    return;
  }
  double radians = turns * M_PI / 180;
  *cosine = std::cos(radians), *sine = std::sin(radians);
}

Geometry GeometryOf(const PictureRecord* record) {
  Geometry g;
  if (!record || record->width == 0 || record->height == 0) return g;
  const PictureRecord::Placement& place = record->Place;
  // Without Render a picture is drawn at its size in pixels, unturned.
  bool renders = slate::Kept() && slate::Kept()->Renders();
  g.Width = d_to_l(static_cast<int>(record->width));
  g.Height = d_to_l(static_cast<int>(record->height));
  g.Valid = true;
  if (!renders) {
    g.BoxWidth = g.Width, g.BoxHeight = g.Height;
    return g;
  }
  float most = static_cast<float>(MostPixels / PixelsPerCentimeter);
  float ratio = static_cast<float>(record->height) / static_cast<float>(record->width);
  if (place.Sized == PictureRecord::Placement::Both) {
    g.Width = std::min(place.Width, most);
    g.Height = std::min(place.Height, most);
  } else if (place.Sized == PictureRecord::Placement::ByWidth) {
    // Its proportions kept, also where a side is cut to the largest.
    g.Width = std::min(place.Width, most);
    g.Height = g.Width * ratio;
    if (g.Height > most) g.Height = most, g.Width = most / ratio;
  }
  g.Scaled = place.Sized != PictureRecord::Placement::Pixels;
  // Sizes of zero, less, or NaN draw nothing; so does an angle that is not
  // a number.
  g.Valid = g.Width > 0 && g.Height > 0 && std::isfinite(place.Angle);
  if (!g.Valid) return g;
  Turn(place.Angle, &g.Cos, &g.Sin);
  g.Turned = g.Cos != 1;
  g.BoxWidth = static_cast<float>(g.Width * std::fabs(g.Cos) + g.Height * std::fabs(g.Sin));
  g.BoxHeight = static_cast<float>(g.Width * std::fabs(g.Sin) + g.Height * std::fabs(g.Cos));
  return g;
}

// How many times a picture of source pixels drawn at drawn pixels is halved
// first: until it is under twice the size drawn.
int Halvings(double source, double drawn) {
  int k = 0;
  while (source / (1 << k) >= 2 * drawn && (static_cast<unsigned int>(source) >> (k + 1)) > 0 && k < 14) ++k;
  return k;
}

void SetTransform(Picture picture, const XTransform& transform, int repeat, XTransform* last,
                  int* lastRepeat) {
  if (std::memcmp(&transform, last, sizeof transform) != 0) {
    XRenderSetPictureTransform(display, picture, const_cast<XTransform*>(&transform));
    *last = transform;
  }
  if (repeat != *lastRepeat) {
    XRenderPictureAttributes attributes;
    attributes.repeat = repeat;
    XRenderChangePicture(display, picture, CPRepeat, &attributes);
    *lastRepeat = repeat;
  }
}

// The Render format of a picture's pixmap.
XRenderPictFormat* FormatOf(const PictureRecord* record) {
  return record->Depth == 32 ? XRenderFindStandardFormat(display, PictStandardARGB32)
                             : XRenderFindVisualFormat(display, DefaultVisual(display, ScreenNbr));
}

// A Render picture of pixmap with a filter: one that averages neighbours
// where the screen blends, the nearest pixel where it cannot (a colormap).
Picture FilteredPicture(unsigned long pixmap, XRenderPictFormat* format) {
  Picture picture = XRenderCreatePicture(display, pixmap, format, 0, nullptr);
  XRenderSetPictureFilter(display, picture, slate::Kept()->Blends() ? FilterBilinear : FilterNearest, nullptr,
                          0);
  return picture;
}

// The level of a picture halved kx times across and ky times down, made
// from the one halved once less when it is not there yet.
PictureRecord::Level& LevelOf(PictureRecord* record, unsigned long pixmap, int kx, int ky) {
  for (PictureRecord::Level& level : record->Levels)
    if (level.Kx == kx && level.Ky == ky) return level;
  PictureRecord::Level level;
  level.Kx = kx, level.Ky = ky;
  XRenderPictFormat* format = FormatOf(record);
  if (kx == 0 && ky == 0) {
    level.Picture = FilteredPicture(pixmap, format);
  } else {
    // Halved along one side: each pixel the mean of two, the last one
    // alone where the side is odd (the edge repeated).
    bool across = kx > 0;
    const PictureRecord::Level& from = LevelOf(record, pixmap, across ? kx - 1 : kx, across ? ky : ky - 1);
    unsigned int fromWidth = (record->width + (1u << from.Kx) - 1) >> from.Kx;
    unsigned int fromHeight = (record->height + (1u << from.Ky) - 1) >> from.Ky;
    unsigned int width = across ? (fromWidth + 1) / 2 : fromWidth,
                 height = across ? fromHeight : (fromHeight + 1) / 2;
    level.Pixmap = XCreatePixmap(display, RootWindow(display, ScreenNbr), width, height,
                                 static_cast<unsigned int>(record->Depth));
    Picture source = XRenderCreatePicture(display, from.Pixmap ? from.Pixmap : pixmap, format, 0, nullptr);
    XTransform halve = {{{XDoubleToFixed(across ? 2 : 1), 0, 0},
                         {0, XDoubleToFixed(across ? 1 : 2), 0},
                         {0, 0, XDoubleToFixed(1)}}};
    XRenderSetPictureTransform(display, source, &halve);
    XRenderSetPictureFilter(display, source, FilterBilinear, nullptr, 0);
    XRenderPictureAttributes pad;
    pad.repeat = RepeatPad;
    XRenderChangePicture(display, source, CPRepeat, &pad);
    Picture target = XRenderCreatePicture(display, level.Pixmap, format, 0, nullptr);
    XRenderComposite(display, PictOpSrc, source, None, target, 0, 0, 0, 0, 0, 0, width, height);
    XRenderFreePicture(display, target);
    XRenderFreePicture(display, source);
    level.Picture = FilteredPicture(level.Pixmap, format);
  }
  record->Levels.push_back(level);
  return record->Levels.back();
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
  Geometry g = GeometryOf(Attributes);
  if (!g.Valid) return 0;
  if (!slate::Kept()->Renders() &&
      (Attributes->Place.Sized != PictureRecord::Placement::Pixels || Attributes->Place.Angle != 0))
    slate::ReportNoBlending();  // drawn at its size in pixels, unturned: said once
  if (g.Scaled || g.Turned) return DrawTransformed(window.Canvas()) ? (slate::Pump(), 1) : 0;
  // As wide and high as its size in cm converts to.
  unsigned int width = static_cast<unsigned int>(std::clamp(l_to_d(GetWidth()), 0, SHRT_MAX));
  unsigned int height = static_cast<unsigned int>(std::clamp(l_to_d(GetHeight()), 0, SHRT_MAX));
  DrawPixels(window.Canvas(), slate::ToShort(l_to_d(PicturePosition.GetXDistance())),
             slate::ToShort(l_to_d(PicturePosition.GetYDistance())), width, height);
  slate::Pump();
  return 1;
}

void BitMap::DrawPixels(slate::Surface& surface, int x, int y, unsigned int width,
                        unsigned int height) const {
  // A picture with transparent parts goes over what is drawn: blended by
  // the X server where it can, else through the mask of its pixels at
  // least half opaque.
  if (Attributes->Blended)
    surface.Blend(Attributes->Blended, width, height, x, y);
  else
    surface.Copy(Pixmap, Attributes->Mask ? Attributes->Mask : None, width, height, x, y);
}

bool BitMap::DrawTransformed(slate::Surface& surface) const {
  Geometry g = GeometryOf(Attributes);
  double scale = PixelsPerCentimeter;
  float left = PicturePosition.GetXDistance(), top = PicturePosition.GetYDistance();
  // The box drawn, in pixels, and the picture's own size and centre in it.
  slate::PixelBox box;
  double width, height, centreX, centreY;
  if (!g.Turned) {
    // Corners converted as the shapes' are, so that a picture fills the
    // rectangle between the same corners.
    box = {l_to_d(left), l_to_d(top), l_to_d(left + g.Width), l_to_d(top + g.Height)};
    width = static_cast<double>(box.X1 - box.X0), height = static_cast<double>(box.Y1 - box.Y0);
    if (box.Empty()) return false;
    // At its size in pixels, it is copied as it is.
    if (box.X1 - box.X0 == Attributes->width && box.Y1 - box.Y0 == Attributes->height) {
      DrawPixels(surface, slate::ToShort(box.X0), slate::ToShort(box.Y0), Attributes->width,
                 Attributes->height);
      return true;
    }
    centreX = width / 2, centreY = height / 2;
  } else {
    width = g.Width * scale, height = g.Height * scale;
    double x = (left + g.BoxWidth / 2.0) * scale, y = (top + g.BoxHeight / 2.0) * scale;
    double halfWidth = g.BoxWidth * scale / 2, halfHeight = g.BoxHeight * scale / 2;
    if (width < 1 || height < 1 || !std::isfinite(x) || !std::isfinite(y)) return false;
    box = {static_cast<long long>(std::floor(std::max(x - halfWidth, -1e9))),
           static_cast<long long>(std::floor(std::max(y - halfHeight, -1e9))),
           static_cast<long long>(std::ceil(std::min(x + halfWidth, 1e9))),
           static_cast<long long>(std::ceil(std::min(y + halfHeight, 1e9)))};
    centreX = x - static_cast<double>(box.X0), centreY = y - static_cast<double>(box.Y0);
  }
  slate::PixelBox clip = box.Within(surface.Bounds().X1, surface.Bounds().Y1);
  if (clip.Empty()) return true;  // drawn, where nothing shows
  // Drawn from the halved copy that is under twice the size drawn.
  bool average = slate::Kept()->Blends();
  int kx = average ? Halvings(Attributes->width, width) : 0;
  int ky = average ? Halvings(Attributes->height, height) : 0;
  PictureRecord::Level& level = LevelOf(Attributes, Pixmap, kx, ky);
  // From a pixel of the clipped box to the point of the level it shows:
  // to the picture's centre, turned back, then scaled to the level, whose
  // picture spans the source's pixels over 2^k.
  double sx = Attributes->width / std::ldexp(1.0, kx) / width;
  double sy = Attributes->height / std::ldexp(1.0, ky) / height;
  double dx = static_cast<double>(clip.X0 - box.X0) - centreX,
         dy = static_cast<double>(clip.Y0 - box.Y0) - centreY;
  double c = g.Cos, n = g.Sin;
  XTransform transform = {
      {{XDoubleToFixed(sx * c), XDoubleToFixed(sx * n), XDoubleToFixed(sx * (c * dx + n * dy + width / 2))},
       {XDoubleToFixed(-sy * n), XDoubleToFixed(sy * c),
        XDoubleToFixed(sy * (-n * dx + c * dy + height / 2))},
       {0, 0, XDoubleToFixed(1)}}};
  // Unturned, the edges repeat outwards, so that the box is covered to its
  // sides; turned, the picture ends within its box, smoothly.
  int repeat = g.Turned ? RepeatNone : RepeatPad;
  SetTransform(level.Picture, transform, repeat, &level.Transform, &level.Repeat);
  Picture mask = None;
  if (Attributes->Mask) {
    if (!Attributes->MaskPicture)
      Attributes->MaskPicture = XRenderCreatePicture(
          display, Attributes->Mask, XRenderFindStandardFormat(display, PictStandardA1), 0, nullptr);
    mask = Attributes->MaskPicture;
    SetTransform(mask, transform, repeat, &Attributes->MaskTransform, &Attributes->MaskRepeat);
  }
  surface.Compose(level.Picture, mask, static_cast<int>(clip.X0), static_cast<int>(clip.Y0),
                  static_cast<unsigned int>(clip.X1 - clip.X0), static_cast<unsigned int>(clip.Y1 - clip.Y0));
  return true;
}

int BitMap::Erase() const {
  if (PictureStatus != PictureLoaded || !BoundWindow) return 0;
  if (!GeometryOf(Attributes).Valid) return 0;
  BoundWindow->Erase(PicturePosition, GetWidth(), GetHeight());
  return 1;
}

float BitMap::GetWidth() const {
  return GeometryOf(Attributes).BoxWidth;
}

float BitMap::GetHeight() const {
  return GeometryOf(Attributes).BoxHeight;
}

int BitMap::IsInside(const Position& p) const {
  Geometry g = GeometryOf(Attributes);
  if (!g.Valid) return 0;
  float x = PicturePosition.GetXDistance();
  float y = PicturePosition.GetYDistance();
  float px = p.GetXDistance();
  float py = p.GetYDistance();
  if (!g.Turned) return (x <= px && px <= x + g.Width && y <= py && py <= y + g.Height) ? 1 : 0;
  // On the turned picture itself: the point turned back about its centre.
  double cx = px - (x + g.BoxWidth / 2.0), cy = py - (y + g.BoxHeight / 2.0);
  double u = g.Cos * cx + g.Sin * cy, v = -g.Sin * cx + g.Cos * cy;
  return std::fabs(u) <= g.Width / 2.0 && std::fabs(v) <= g.Height / 2.0 ? 1 : 0;
}

void BitMap::SetSize(float width, float height) {
  if (!Attributes) return;
  Attributes->Place.Sized = PictureRecord::Placement::Both;
  Attributes->Place.Width = width;
  Attributes->Place.Height = height;
}

void BitMap::SetWidth(float width) {
  if (!Attributes) return;
  Attributes->Place.Sized = PictureRecord::Placement::ByWidth;
  Attributes->Place.Width = width;
}

void BitMap::ClearSize() {
  if (Attributes) Attributes->Place.Sized = PictureRecord::Placement::Pixels;
}

void BitMap::SetAngle(float degrees) {
  if (!Attributes) return;
  // Turned about its centre: the box's corner moves as the box changes.
  Geometry before = GeometryOf(Attributes);
  Attributes->Place.Angle = degrees;
  Geometry after = GeometryOf(Attributes);
  if (before.Valid && after.Valid)
    PicturePosition = PicturePosition + Position((before.BoxWidth - after.BoxWidth) / 2,
                                                 (before.BoxHeight - after.BoxHeight) / 2);
}

float BitMap::GetAngle() const {
  return Attributes ? Attributes->Place.Angle : 0.0f;
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
