// Text at any size, drawn in this process on a screen of 47, 66 or 132
// px/cm (tests/CMakeLists.txt runs the program once on each) and read back
// from the window and from its backing pixmap.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "rig.h"
#include "slate.h"

namespace {

using Pixels = std::vector<unsigned long>;

// The literal values of each scale: line heights of 0.23, 0.5 and 1 cm in
// pixels, and the highest line, the screen's height.
struct Scale {
  int PixelsPerCm, Small, Half, Whole, Cap;
};
const Scale Scales[] = {{47, 10, 23, 47, 768}, {66, 15, 33, 66, 1080}, {132, 30, 66, 132, 2160}};

const Scale& Current() {
  for (const Scale& s : Scales)
    if (s.PixelsPerCm == PixelsPerCentimeter) return s;
  ADD_FAILURE() << "no values for " << PixelsPerCentimeter << " px/cm";
  return Scales[1];
}

// The smallest rectangle (inclusive) that holds every pixel unlike the
// background, and how many there are.
struct Ink {
  int X0 = INT_MAX, Y0 = INT_MAX, X1 = -1, Y1 = -1;
  long Count = 0;
};

class Text : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(W.Open(), WindowIsOpen);
    Id = WinManager.GetWindow(&W);
  }
  void TearDown() override { W.Close(); }
  // The window's upper-left cm x cm, checked against what it shows once
  // blanked and repainted from its backing pixmap.
  Pixels Shown(float width, float height) {
    int w = Px(width), h = Px(height);
    XSync(display, False);
    Pixels shown = Peer.Grab(Id, 0, 0, w, h);
    XClearWindow(display, Id);
    W.RefreshEvent();
    XSync(display, False);
    EXPECT_EQ(Peer.Grab(Id, 0, 0, w, h), shown) << "the backing pixmap differs";
    return shown;
  }
  Ink InkOf(float width, float height, unsigned long background = ColorTable[White]) {
    Pixels shown = Shown(width, height);
    int w = Px(width);
    Ink ink;
    for (size_t i = 0; i < shown.size(); ++i) {
      if (shown[i] == background) continue;
      int x = static_cast<int>(i % w), y = static_cast<int>(i / w);
      ++ink.Count;
      ink.X0 = std::min(ink.X0, x), ink.X1 = std::max(ink.X1, x);
      ink.Y0 = std::min(ink.Y0, y), ink.Y1 = std::max(ink.Y1, y);
    }
    return ink;
  }
  void Blank() { W.RenderRectangle(Position(0, 0), Position(14, 5), White); }
  static int Px(float cm) { return l_to_d(cm); }

  SimpleWindow W{"text", 14, 5, Position(0.5f, 0.5f)};
  Window Id = 0;
  rig::Peer Peer;
};

TEST_F(Text, InkLiesWithinItsLineAndItsMeasuredWidth) {
  const Scale& s = Current();
  struct {
    float Size;
    int Height;
    const char* Family;
    bool Bold;
  } faces[] = {{0.23f, s.Small, "sans", false}, {0.5f, s.Half, "serif", true}, {1, s.Whole, "mono", false}};
  for (const auto& f : faces)
    for (const char* text : {"Hello, world!", "café €", "Ågjpqy|"}) {
      SCOPED_TRACE(std::string(text) + " in " + f.Family + " " + std::to_string(f.Size) + " cm");
      Typeface face(f.Size, f.Family, f.Bold);
      Blank();
      W.WriteText(Position(1, 1), text, face, Blue);
      int width = Px(W.MeasureText(text, face).GetXDistance());
      EXPECT_NEAR(Px(W.MeasureText(text, face).GetYDistance()), f.Height, 1);
      // From the top of the line (1 cm) down one line height, from the
      // point (1 cm) as far as measured.
      Ink ink = InkOf(14, 3);
      EXPECT_GE(ink.Y0, s.PixelsPerCm - 1);
      EXPECT_LE(ink.Y1, s.PixelsPerCm + f.Height);
      EXPECT_NEAR(ink.X0, s.PixelsPerCm, 1);
      EXPECT_NEAR(ink.X1 + 1 - ink.X0, width, 1);
    }
}

TEST_F(Text, AlignedToItsPointOnItsBand) {
  const Scale& s = Current();
  Typeface face(0.5f, "sans", true);
  int width = Px(W.MeasureText("Score 120", face).GetXDistance());
  // Right-aligned to 7 cm over a yellow band: the band ends there, the ink
  // within one pixel of it.
  W.WriteText(Position(7, 1), "Score 120", face, Red, AlignRight, Yellow);
  Pixels shown = Shown(14, 3);
  auto at = [&](int x, int y) { return shown[y * Px(14) + x]; };
  int right = 7 * s.PixelsPerCm, top = s.PixelsPerCm, bottom = top + s.Half - 1;
  unsigned long y = ColorTable[Yellow], white = ColorTable[White];
  EXPECT_EQ(std::vector<unsigned long>({at(right - width, top), at(right - 1, top), at(right - width, bottom),
                                        at(right - 1, bottom), at(right, top), at(right - width - 1, bottom),
                                        at(right - 1, top - 1), at(right - 1, bottom + 1)}),
            std::vector<unsigned long>({y, y, y, y, white, white, white, white}));
  long red = 0;
  for (int x = right - 2; x < right; ++x)
    for (int row = top; row <= bottom; ++row) red += at(x, row) != y;
  EXPECT_GT(red, 0);

  // Centred on 7 cm, and from its left end, without a band.
  for (auto [align, left] :
       {std::make_pair(AlignCenter, right - width / 2), std::make_pair(AlignLeft, right)}) {
    Blank();
    W.WriteText(Position(7, 1), "Score 120", face, Red, align);
    Ink ink = InkOf(14, 3);
    EXPECT_NEAR(ink.X0, left, 1) << align;
    EXPECT_NEAR(ink.X1 + 1, left + width, 1) << align;
  }
}

TEST_F(Text, InvalidUtf8ShowsReplacementCharacters) {
  Typeface face(0.5f);
  auto width = [&](const std::string& text) { return W.MeasureText(text, face).GetXDistance(); };
  const std::string r = "\xef\xbf\xbd";  // U+FFFD
  std::pair<std::string, std::string> same[] = {
      {"a\xff"
       "z",
       "a" + r + "z"},                                    // not a first byte
      {"a\xe2\x82z", "a" + r + "z"},                      // cut short
      {"a\xc0\xafz", "a" + r + r + "z"},                  // overlong: two bytes, two
      {"a\xed\xa0\x80z", "a" + r + r + r + "z"},          // a surrogate
      {"a\xf4\x90\x80\x80z", "a" + r + r + r + r + "z"},  // past U+10FFFF
      {"a\xf0\x9f\x98", "a" + r},                         // cut short at the end
  };
  for (const auto& [bad, replaced] : same) EXPECT_EQ(width(bad), width(replaced)) << replaced;
  EXPECT_GT(width("a" + r + r + "z"), width("a" + r + "z"));
  // Drawn the same as well; and "é" is one character, not two.
  W.WriteText(Position(1, 1), "a\xc0\xafz", face);
  Pixels bad = Shown(14, 3);
  Blank();
  W.WriteText(Position(1, 1), "a" + r + r + "z", face);
  EXPECT_EQ(Shown(14, 3), bad);
  EXPECT_LT(width("café"), width("cafÃ©"));
}

TEST_F(Text, BadSizesFamiliesAndStringsDrawNothingOrTheNearest) {
  const Scale& s = Current();
  // Nothing for a size of zero, less, NaN, or under a pixel; nothing for
  // empty or null text, far-off places or a closed window.
  for (float size : {0.0f, -1.0f, NAN, -INFINITY, 0.005f}) {
    W.WriteText(Position(1, 1), "nothing", Typeface(size), Black, AlignLeft, Red);
    EXPECT_EQ(W.MeasureText("nothing", Typeface(size)), Position(0, 0)) << size;
  }
  const char* none = nullptr;
  W.WriteText(Position(1, 1), none, Typeface(), Black, AlignLeft);
  W.WriteText(Position(1, 1), "", Typeface(), Black, AlignLeft, Red);
  W.WriteText(Position(1e9f, -1e9f), "far", Typeface(), Black, AlignRight, Red);
  W.WriteText(Position(-1e9f, 1), "far", Typeface(), Black, static_cast<TextAlignment>(99), Red);
  EXPECT_EQ(Px(W.MeasureText(none).GetXDistance()), 0);
  EXPECT_EQ(InkOf(14, 5).Count, 0);
  SimpleWindow closed("closed");
  closed.WriteText(Position(1, 1), "closed", Typeface());
  EXPECT_EQ(Px(closed.MeasureText("").GetYDistance()), s.Half);

  // Absurd sizes are capped at the screen's height; unknown families get
  // the nearest font, here the default one.
  for (float size : {1e30f, INFINITY})
    EXPECT_NEAR(Px(W.MeasureText("W", Typeface(size)).GetYDistance()), s.Cap, 1);
  W.WriteText(Position(0, 0), "W", Typeface(1e30f));
  EXPECT_GT(InkOf(14, 5).Count, 1000);
  for (const char* family : {"no such family", "", ":::", "\\"})
    EXPECT_EQ(W.MeasureText("Hello", Typeface(0.5f, family)), W.MeasureText("Hello", Typeface(0.5f)))
        << family;
  // A line of a million characters is measured and drawn.
  std::string million(1000000, 'x');
  EXPECT_GT(W.MeasureText(million, Typeface(0.23f)).GetXDistance(), 100);
  W.WriteText(Position(0, 4), million, Typeface(0.23f), Black, AlignCenter, Yellow);
}

TEST_F(Text, FontsAndTargetsAreKeptNotMadePerCall) {
  W.WriteText(Position(1, 1), "warm", Typeface(0.5f));
  XSync(display, False);
  long resources = Peer.Resources(Id);
  for (int i = 0; i < 200; ++i)
    W.WriteText(Position(1 + i % 10, 1 + i / 10 % 3), "kept " + std::to_string(i), Typeface(0.5f), Blue);
  XSync(display, False);
  EXPECT_EQ(Peer.Resources(Id), resources);
  // A window opened again draws into a new pixmap, and the old one's
  // target is gone with it.
  W.Close();
  ASSERT_EQ(W.Open(), WindowIsOpen);
  Id = WinManager.GetWindow(&W);
  W.WriteText(Position(1, 1), "again", Typeface(0.5f));
  XSync(display, False);
  EXPECT_EQ(Peer.Resources(Id), resources);
}

}  // namespace
