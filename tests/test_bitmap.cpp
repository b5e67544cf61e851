// BitMap pictures: status, geometry, drawing into both targets, reloading,
// copying, and a corpus of files that must not load (nor crash, nor hang).
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <vector>

#include "test_drawing_support.h"

namespace {

using dr::BothTargetsAre;
using dr::Palette;
using dr::Pictures;

const std::string kQuadrants = Pictures() + "quadrants_66x33.xpm";  // see tests/pictures/README
const std::string kStripe = Pictures() + "stripe_100x10.xpm";
const std::string kNamed = Pictures() + "named_4x2.xpm";

constexpr unsigned long kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00;

// A temporary directory, removed with what it holds.
class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/slate-bitmap-XXXXXX";
    path_ = mkdtemp(name) ? name : "";
  }
  ~TempDir() {
    if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
  }
  const std::string& path() const { return path_; }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ + "/" + name) << text;
    return path_ + "/" + name;
  }

 private:
  std::string path_;
};

// An XPM of width x height in one colour.
std::string PlainXpm(int width, int height) {
  std::string text = "/* XPM */\nstatic char *plain[] = {\n\"" + std::to_string(width) + " " +
                     std::to_string(height) + " 1 1\",\n\"a c #00FF00\",\n";
  std::string row = "\"" + std::string(width, 'a') + "\"";
  for (int y = 0; y < height; ++y) text += row + (y + 1 < height ? ",\n" : "\n");
  return text + "};\n";
}

// The bad files of the corpus: every bad_*.xpm in tests/pictures.
std::vector<std::string> BadPictures() {
  std::vector<std::string> files;
  if (DIR* dir = opendir(Pictures().c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name.rfind("bad_", 0) == 0) files.push_back(Pictures() + name);
    }
    closedir(dir);
  }
  return files;
}

class BitMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(x.ok());
    ASSERT_EQ(PixelsPerCentimeter, 66.0f) << "these tests expect a 1920-pixel-wide screen";
    ASSERT_EQ(window.Open(), WindowIsOpen);
  }
  // Bytes of pixmaps the X server holds for this process.
  unsigned long PixmapBytes() {
    XSync(display, False);
    return x.ClientPixmapBytes(dr::WindowOf(window));
  }

  rig::XClient x;
  SimpleWindow window{"bitmap", 5, 3, Position(0, 0)};
};

TEST_F(BitMapTest, StatusFollowsConstructionAndLoading) {
  SimpleWindow closed("never opened");
  BitMap none;
  BitMap null(static_cast<SimpleWindow*>(nullptr));
  BitMap bound(window);
  BitMap unopened(closed);
  EXPECT_EQ(none.GetStatus(), PictureNotLoaded);
  EXPECT_EQ(null.GetStatus(), PictureHasNoWindow);
  EXPECT_EQ(bound.GetStatus(), PictureNotLoaded);
  EXPECT_EQ(none.GetPosition(), LogicalOrigin);
  EXPECT_EQ(null.GetXPosition(), 3.0f);
  EXPECT_EQ(null.GetYPosition(), 3.0f);

  EXPECT_EQ(none.Load(kQuadrants), PictureHasNoWindow);
  EXPECT_EQ(none.GetStatus(), PictureHasNoWindow);
  EXPECT_EQ(null.Load(kQuadrants), PictureHasNoWindow);
  null.SetWindow(window);
  EXPECT_EQ(null.GetStatus(), PictureHasNoWindow) << "binding a window does not change the status";
  EXPECT_EQ(null.Draw(), 0);
  EXPECT_EQ(null.Load(kQuadrants), PictureLoaded) << "the next load does";

  EXPECT_EQ(bound.Draw(), 0) << "nothing loaded yet";
  EXPECT_EQ(bound.Erase(), 0);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(bound.Load(Pictures() + "no_such_file.xpm"), PictureNotLoaded);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(bound.Draw(), 0);

  // A window that is not open has no X window: nothing is asked of the server.
  XSync(display, False);
  unsigned long before = NextRequest(display);
  EXPECT_EQ(unopened.Load(kQuadrants), PictureNotLoaded);
  EXPECT_EQ(unopened.Draw(), 0);
  EXPECT_EQ(NextRequest(display), before);
}

TEST_F(BitMapTest, SizeAndHitTest) {
  BitMap stripe(window);
  ASSERT_EQ(stripe.Load(kStripe), PictureLoaded);
  EXPECT_NEAR(stripe.GetWidth(), 1.5151515f, 1e-6);
  EXPECT_EQ(stripe.GetWidth(), d_to_l(100));

  BitMap picture(window);
  EXPECT_EQ(picture.GetWidth(), 0.0f) << "never loaded";
  ASSERT_EQ(picture.Load(kQuadrants), PictureLoaded);
  EXPECT_EQ(picture.GetWidth(), 1.0f);
  EXPECT_EQ(picture.GetHeight(), 0.5f);
  picture.SetPosition(Position(0, 0));
  for (Position p : {Position(0, 0), Position(1.0f, 0.5f), Position(0.5f, 0.25f), Position(1.0f, 0),
                     Position(0, 0.5f), Position(0.5f, 0), Position(0.5f, 0.5f)})
    EXPECT_EQ(picture.IsInside(p), 1) << p.GetXDistance() << ", " << p.GetYDistance();
  for (Position p : {Position(1.01f, 0.25f), Position(-0.01f, 0.25f), Position(0.5f, -0.01f),
                     Position(0.5f, 0.51f), Position(NAN, 0.25f), Position(0.5f, NAN)})
    EXPECT_EQ(picture.IsInside(p), 0) << p.GetXDistance() << ", " << p.GetYDistance();
  picture.SetPosition(Position(2, 1));
  EXPECT_EQ(picture.IsInside(Position(3.0f, 1.5f)), 1);
  EXPECT_EQ(picture.IsInside(Position(0.5f, 0.25f)), 0);

  // A failed load leaves no size behind.
  EXPECT_EQ(picture.Load(Pictures() + "bad_text.xpm"), PictureNotLoaded);
  EXPECT_EQ(picture.GetWidth(), 0.0f);
  EXPECT_EQ(picture.GetHeight(), 0.0f);
}

TEST_F(BitMapTest, PlainFormLoads) {
  BitMap picture(window);
  ASSERT_EQ(picture.Load(Pictures() + "plain_form_66x33.xpm"), PictureLoaded);
  EXPECT_EQ(picture.GetWidth(), 1.0f);
  EXPECT_EQ(picture.GetHeight(), 0.5f);
}

TEST_F(BitMapTest, DrawCopiesThePictureIntoBothTargets) {
  BitMap picture(window);
  ASSERT_EQ(picture.Load(kQuadrants), PictureLoaded);
  picture.SetPosition(Position(1, 1));
  ASSERT_EQ(picture.Draw(), 1);
  auto quadrants = [](int x, int y) -> unsigned long {
    if (x < 66 || y < 66 || x > 131 || y > 98) return Palette(White);
    if (x == 66 && y == 66) return kYellow;
    if (y == 98) return kGreen;
    return x < 99 ? kRed : kBlue;
  };
  EXPECT_TRUE(BothTargetsAre(x, window, 60, 60, 80, 45, quadrants));

  // Moving the picture does not move what was drawn.
  picture.SetPosition(Position(3, 1));
  EXPECT_TRUE(BothTargetsAre(x, window, 60, 60, 180, 45, quadrants));

  // Erasing paints the picture's rectangle, one pixel larger, White.
  picture.SetPosition(Position(1, 1));
  ASSERT_EQ(picture.Erase(), 1);
  EXPECT_TRUE(BothTargetsAre(x, window, 60, 60, 80, 45, [](int, int) { return Palette(White); }));

  // 100 pixels are 1.5151515 cm, which converts back to 99: the last column is not drawn.
  BitMap stripe(window);
  ASSERT_EQ(stripe.Load(kStripe), PictureLoaded);
  stripe.SetPosition(Position(0, 0));
  ASSERT_EQ(stripe.Draw(), 1);
  EXPECT_TRUE(BothTargetsAre(x, window, 0, 0, 110, 12,
                             [](int x, int y) { return (x < 99 && y < 10) ? kGreen : Palette(White); }));

  // Two characters a pixel, colours by name.
  BitMap named(window);
  ASSERT_EQ(named.Load(kNamed), PictureLoaded);
  named.SetPosition(Position(0, 1));
  named.Draw();
  EXPECT_TRUE(BothTargetsAre(x, window, 0, 66, 4, 2, [](int x, int y) -> unsigned long {
    return ((x + y) % 2 == 0) ? 0xFFFFFF : 0x000000;
  }));
}

TEST_F(BitMapTest, ReloadingReleasesThePreviousPicture) {
  BitMap picture(window);
  ASSERT_EQ(picture.Load(kQuadrants), PictureLoaded);
  unsigned long loaded = PixmapBytes();
  ASSERT_NE(loaded, ~0UL);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(picture.Load(kQuadrants), PictureLoaded);
  EXPECT_EQ(PixmapBytes(), loaded);

  // A failed load releases the picture too.
  EXPECT_EQ(picture.Load(Pictures() + "bad_empty.xpm"), PictureNotLoaded);
  unsigned long none = PixmapBytes();
  EXPECT_LT(none, loaded);
  EXPECT_EQ(picture.Load(kQuadrants), PictureLoaded);
  EXPECT_EQ(PixmapBytes(), loaded);
  {
    BitMap other(window);
    ASSERT_EQ(other.Load(kQuadrants), PictureLoaded);
    EXPECT_GT(PixmapBytes(), loaded);
  }
  EXPECT_EQ(PixmapBytes(), loaded) << "the destructor releases the picture";
}

TEST_F(BitMapTest, CopiesOwnTheirPictures) {
  rig::XErrorTrap trap;  // a pixmap freed twice would show up here
  unsigned long base = PixmapBytes();
  auto drawn = [](int x, int y) -> unsigned long {
    if (x >= 66 || y >= 33) return Palette(White);
    if (x == 0 && y == 0) return kYellow;
    if (y == 32) return kGreen;
    return x < 33 ? kRed : kBlue;
  };
  {
    BitMap* original = new BitMap(window);
    ASSERT_EQ(original->Load(kQuadrants), PictureLoaded);
    original->SetPosition(Position(0, 0));
    unsigned long one = PixmapBytes();
    BitMap copy(*original);
    EXPECT_EQ(copy.GetStatus(), PictureLoaded);
    EXPECT_EQ(copy.GetPosition(), Position(0, 0));
    EXPECT_EQ(copy.GetWidth(), 1.0f);
    EXPECT_EQ(PixmapBytes() - one, one - base) << "the copy holds a picture of its own";
    delete original;
    ASSERT_EQ(copy.Draw(), 1) << "the copy outlives the original";
    EXPECT_TRUE(BothTargetsAre(x, window, 0, 0, 70, 36, drawn));

    BitMap target(window);
    ASSERT_EQ(target.Load(kStripe), PictureLoaded);
    target = copy;
    EXPECT_EQ(target.GetWidth(), 1.0f);
    target = target;
    EXPECT_EQ(target.GetStatus(), PictureLoaded);
    window.Erase(Position(0, 0), 2, 1);
    ASSERT_EQ(target.Draw(), 1);
    EXPECT_TRUE(BothTargetsAre(x, window, 0, 0, 70, 36, drawn));

    // Assigning a picture without a picture releases the target's.
    unsigned long two = PixmapBytes();
    BitMap empty(window);
    target = empty;
    EXPECT_EQ(target.GetStatus(), PictureNotLoaded);
    EXPECT_EQ(target.Draw(), 0);
    EXPECT_EQ(target.GetWidth(), 0.0f);
    EXPECT_LT(PixmapBytes(), two);

    BitMap orphan(static_cast<SimpleWindow*>(nullptr));
    BitMap orphanCopy(orphan);
    EXPECT_EQ(orphanCopy.GetStatus(), PictureHasNoWindow);
    target = orphan;
    EXPECT_EQ(target.Load(kQuadrants), PictureHasNoWindow);
  }
  EXPECT_EQ(PixmapBytes(), base);
  trap.Sync(display);
  EXPECT_EQ(trap.Count(), 0) << trap.Describe();
}

TEST_F(BitMapTest, BadFilesAreNotLoaded) {
  rig::XErrorTrap trap;
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  std::vector<std::string> files = BadPictures();
  ASSERT_GE(files.size(), 15u);
  mkdir((temp.path() + "/directory.xpm").c_str(), 0755);
  files.push_back(temp.path() + "/directory.xpm");
  files.push_back(temp.path() + "/missing.xpm");
  files.push_back(temp.Write("too_wide.xpm", PlainXpm(8193, 1)));
  files.push_back(temp.Write("too_high.xpm", PlainXpm(1, 8193)));
  symlink("loop.xpm", (temp.path() + "/loop.xpm").c_str());
  files.push_back(temp.path() + "/loop.xpm");
  files.push_back("");

  BitMap picture(window);
  unsigned long base = PixmapBytes();
  for (const std::string& file : files) {
    ASSERT_EQ(picture.Load(kQuadrants), PictureLoaded);
    testing::internal::CaptureStdout();
    EXPECT_EQ(picture.Load(file), PictureNotLoaded) << file;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << file;
    EXPECT_EQ(picture.Draw(), 0) << file;
    EXPECT_EQ(picture.GetWidth(), 0.0f) << file;
  }
  EXPECT_EQ(PixmapBytes(), base);

  // The largest pictures accepted, and a link to a good file.
  EXPECT_EQ(picture.Load(temp.Write("widest.xpm", PlainXpm(8192, 1))), PictureLoaded);
  EXPECT_EQ(picture.GetWidth(), d_to_l(8192));
  EXPECT_EQ(picture.Load(temp.Write("highest.xpm", PlainXpm(1, 8192))), PictureLoaded);
  symlink(kQuadrants.c_str(), (temp.path() + "/link.xpm").c_str());
  EXPECT_EQ(picture.Load(temp.path() + "/link.xpm"), PictureLoaded);
  trap.Sync(display);
  EXPECT_EQ(trap.Count(), 0) << trap.Describe();
}

// Files that could block or that need another user, in a program of their
// own with a timeout; after each bad file the program goes on.
TEST(BitMapProgram, SpecialFilesNeitherHangNorCrash) {
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  chmod(temp.path().c_str(), 0755);
  std::string fifo = temp.path() + "/fifo.xpm";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  std::string secret = temp.Write("secret.xpm", PlainXpm(4, 4));
  chmod(secret.c_str(), 0);
  std::string readable = temp.Write("readable.xpm", PlainXpm(4, 4));
  chmod(readable.c_str(), 0644);
  mkdir((temp.path() + "/dir.xpm").c_str(), 0755);
  std::string zeroLink = temp.path() + "/zero.xpm";
  symlink("/dev/zero", zeroLink.c_str());

  std::vector<std::string> bad = BadPictures();
  bad.insert(bad.end(), {fifo, secret, temp.path() + "/dir.xpm", "/dev/zero", zeroLink, "/dev/stdin"});
  std::string list;
  for (const std::string& file : bad) list += file + "\n";
  list += readable + "\n";

  rig::ProcessOptions options;
  options.env["DR_PICTURES"] = list;
  options.env["DR_DROP_PRIVILEGES"] = "1";  // so that the unreadable file is unreadable for root too
  rig::ProcessResult r = rig::Run(rig::AppPath("dr_load"), options, 20000);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe() << "\n" << r.out << r.err;
  EXPECT_EQ(r.err, "");
  for (const std::string& file : bad) EXPECT_EQ(rig::CountOf(r.out, "load " + file + " -> 0\n"), 1) << file;
  EXPECT_EQ(rig::CountOf(r.out, "load " + readable + " -> 1\n"), 1) << r.out;
  EXPECT_EQ(rig::CountOf(r.out, "done\n"), 1);
}

// When libXpm runs out of memory, the program says so and shuts down.
TEST(BitMapProgram, OutOfMemoryShutsTheProgramDown) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "an address-space limit does not work under AddressSanitizer";
#endif
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  std::string big = temp.Write("big.xpm", PlainXpm(4000, 2000));
  rig::ProcessOptions options;
  options.env["DR_PICTURES"] = big;
  options.env["DR_EXTRA_MEMORY_MB"] = "16";
  options.env["DR_KEEP_OPEN"] = "1";
  rig::ProcessResult r = rig::Run(rig::AppPath("dr_load"), options, 20000);
  ASSERT_TRUE(r.ExitedWith(0)) << r.Describe() << "\n" << r.out << r.err;
  EXPECT_EQ(r.out, "Unable to allocate memory for the picture.\nload " + big + " -> 0\ndone\n");
}

}  // namespace
