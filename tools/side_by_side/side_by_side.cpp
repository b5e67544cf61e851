// Pictures side by side, each drawn 9.5 cm wide whatever its pixels, with a
// caption under each, in a window titled "Side by side": the
// documentation's pictures of one window on screens of different scales
// (scripts/scales plays it and takes the window's screenshot).
//
// Usage: side_by_side PICTURE.png CAPTION [PICTURE.png CAPTION...]
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "slate.h"

namespace {

constexpr float Wide = 9.5f, Margin = 0.25f, Caption = 0.5f;
std::unique_ptr<SimpleWindow> window;
std::vector<std::unique_ptr<BitMap>> pictures;

// Height over width of a PNG picture, from its header; 0 when it is none.
float Proportion(const std::string& file) {
  unsigned char header[24] = {};
  std::ifstream(file, std::ios::binary).read(reinterpret_cast<char*>(header), sizeof header);
  auto word = [&](int at) {
    return static_cast<float>(header[at] << 24 | header[at + 1] << 16 | header[at + 2] << 8 | header[at + 3]);
  };
  return word(16) > 0 ? word(20) / word(16) : 0;
}

}  // namespace

void ApiMain() {
  const std::vector<std::string>& args = ProgramArguments();
  if (args.size() < 3 || args.size() % 2 == 0) {
    std::fprintf(stderr, "usage: side_by_side PICTURE.png CAPTION [PICTURE.png CAPTION...]\n");
    SetExitStatus(2);
    return;
  }
  size_t count = (args.size() - 1) / 2;
  float highest = 0;
  for (size_t i = 0; i < count; ++i) highest = std::max(highest, Wide * Proportion(args[1 + 2 * i]));
  window = std::make_unique<SimpleWindow>("Side by side", count * (Wide + Margin) + Margin,
                                          Margin + highest + 2 * Caption, Position(0, 0));
  window->Open();
  for (size_t i = 0; i < count; ++i) {
    float left = Margin + i * (Wide + Margin);
    pictures.push_back(std::make_unique<BitMap>(*window));
    if (pictures.back()->Load(args[1 + 2 * i]) != PictureLoaded) {
      std::fprintf(stderr, "side_by_side: cannot load %s\n", args[1 + 2 * i].c_str());
      SetExitStatus(1);
      window->Close();
      return;
    }
    pictures.back()->SetWidth(Wide);
    pictures.back()->SetPosition(Position(left, Margin));
    pictures.back()->Draw();
    window->WriteText(Position(left + Wide / 2, Margin + highest + Caption / 2), args[2 + 2 * i],
                      Typeface(Caption), Black, AlignCenter);
  }
}
