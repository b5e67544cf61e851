// Fuzz target for the picture check of BitMap::Load.
//
// Each input is written to a file and loaded into a window on the X server,
// as XPM or, when it starts like one, as PNG, which must neither crash nor
// reach the out-of-memory path. When no
// number in the input is large enough to make libXpm allocate much, the same
// file is also read by libXpm itself, without an X server, and compared with
// what the check reads: a picture libXpm reads within the limits must be
// accepted, and the values both read must agree. A disagreement aborts, so
// that libFuzzer keeps the input as a crash.
//
#include <X11/Xlib.h>
#include <X11/xpm.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "../lib/owner.h"
#include "../lib/picture_check.h"
#include "slate.h"

namespace {

using slate::IsLoadableXpm;
using slate::IsPng;
using slate::IsWithinLimits;
using slate::PictureHeader;
using slate::ReadPictureHeader;

SimpleWindow* PictureWindow = nullptr;
std::string PicturePath;

// Numbers libXpm reads are words of digits. When no run of digits in the
// input is larger than this, no width, height or colour count libXpm reads
// can be either, and its allocations stay below 8192 * 8192 * 4 bytes.
constexpr unsigned long long SafeDeclaredNumber = 8192;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "picture_fuzz: %s\n", what);
  std::abort();
}

void RemovePictureFile() {
  if (!PicturePath.empty()) unlink(PicturePath.c_str());
}

void WritePictureFile(const uint8_t* data, size_t size) {
  slate::OwnedFd fd(open(PicturePath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
  if (fd.Get() < 0) Fail("cannot write the picture file");
  while (size > 0) {
    ssize_t n = write(fd.Get(), data, size);
    if (n <= 0) Fail("cannot write the picture file");
    data += n;
    size -= static_cast<size_t>(n);
  }
}

// True when every run of decimal digits in the input is at most
// SafeDeclaredNumber, so that libXpm can be asked about it safely.
bool HasOnlySmallNumbers(const uint8_t* data, size_t size) {
  unsigned long long run = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] >= '0' && data[i] <= '9') {
      run = run * 10 + (data[i] - '0');
      if (run > SafeDeclaredNumber) return false;
    } else {
      run = 0;
    }
  }
  return true;
}

// A value the check read against the one libXpm read: libXpm keeps numbers
// modulo 2^32, the check keeps them capped, so only values below 2^32 can
// be compared.
bool SameValue(unsigned long long checked, unsigned int read) {
  return checked >= (1ULL << 32) || checked == read;
}

// libXpm's own reading of the file against the check's.
void CompareWithLibXpm(const std::string& bytes) {
  if (IsPng(bytes)) return;  // not read as XPM
  PictureHeader header;
  bool parsed = ReadPictureHeader(bytes, &header);
  bool accepted = IsLoadableXpm(bytes);

  XpmImage image;
  XpmInfo info{};
  int result = XpmReadFileToXpmImage(PicturePath.c_str(), &image, &info);
  if (result == XpmNoMemory) {
    // libXpm got past the values line before it ran out of memory.
    if (!parsed) Fail("libXpm read a values line the check did not find");
    if (accepted) Fail("libXpm ran out of memory on an accepted picture");
    return;
  }
  if (result != XpmSuccess) return;
  bool same = parsed && SameValue(header.Width, image.width) && SameValue(header.Height, image.height) &&
              SameValue(header.Colors, image.ncolors) && SameValue(header.CharsPerPixel, image.cpp);
  XpmFreeXpmImage(&image);
  XpmFreeXpmInfo(&info);
  if (!parsed) Fail("libXpm read a picture whose header the check did not find");
  if (!same) Fail("libXpm read other values than the check");
  if (IsWithinLimits(header) && !accepted)
    Fail("libXpm read a picture within the limits that the check refused");
}

// Loads the file as an application would and frees the picture again.
void LoadPicture() {
  std::ostringstream said;
  std::streambuf* console = std::cout.rdbuf(said.rdbuf());
  {
    BitMap picture(*PictureWindow);
    picture.Load(PicturePath);
  }
  std::cout.rdbuf(console);
  if (!said.str().empty()) Fail(("Load said: " + said.str()).c_str());
  if (PictureWindow->GetStatus() != WindowIsOpen) Fail("the window closed");
  // Errors of the requests just sent arrive now, not during a later input.
  XSync(display, False);
}

}  // namespace

// libXpm itself leaks on some of its parse errors (a colour name with a zero
// byte in it, the pixel tables of a picture whose colours are cut short),
// with nothing left to the caller to free.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libXpm.so\n";
}
extern "C" const char* __lsan_default_options() {
  return "print_suppressions=0";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (!display || !WinManager.ColorsObtained()) Fail("no X display (run under scripts/with-xvfb)");
  static SimpleWindow window("picture fuzz", 4, 4);
  if (window.Open() != WindowIsOpen) Fail("cannot open a window");
  PictureWindow = &window;

  // A name libXpm reads as it is: not one that it would decompress.
  const char* directory = std::getenv("TMPDIR");
  std::string name = std::string(directory && *directory ? directory : "/tmp") + "/picture-fuzz-XXXXXX.xpm";
  int fd = mkstemps(&name[0], 4);
  if (fd < 0) Fail("cannot create the picture file");
  close(fd);
  PicturePath = name;
  std::atexit(RemovePictureFile);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WritePictureFile(data, size);
  if (HasOnlySmallNumbers(data, size))
    CompareWithLibXpm(std::string(reinterpret_cast<const char*>(data), size));
  LoadPicture();
  return 0;
}
