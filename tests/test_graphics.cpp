// Retained drawables and the display list, drawn into pixmaps of the
// library's own connection and read back with XGetImage.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rig.h"
#include "slate.h"

namespace {

// A colour no drawable uses, so that untouched pixels can be told apart.
constexpr unsigned long kUntouched = 0x123456;

// A pixmap of the screen's depth, filled with kUntouched; freed on scope exit.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    Window root = RootWindow(display, ScreenNbr);
    pixmap_ = XCreatePixmap(display, root, width, height, DefaultDepth(display, ScreenNbr));
    GC gc = GetGraphicsContext(pixmap_, kUntouched, kUntouched);
    XFillRectangle(display, pixmap_, gc, 0, 0, width, height);
    XFreeGC(display, gc);
  }
  ~Canvas() { XFreePixmap(display, pixmap_); }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  unsigned long Id() const { return pixmap_; }

  // Reads the whole canvas back.
  rig::Image Read() const {
    rig::Image image;
    XImage* xi = XGetImage(display, pixmap_, 0, 0, width_, height_, AllPlanes, ZPixmap);
    if (xi == nullptr) return image;
    image.ok = true;
    image.width = width_;
    image.height = height_;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) image.pixels.push_back(XGetPixel(xi, x, y));
    }
    XDestroyImage(xi);
    return image;
  }

 private:
  int width_, height_;
  Pixmap pixmap_;
};

unsigned long BlackPx() {
  return BlackPixel(display, ScreenNbr);
}

// Runs f with standard output captured and returns what it wrote.
template <typename F>
std::string StdoutOf(F f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

// ---------------------------------------------------------------------------
// X11BitMapGraphic
// ---------------------------------------------------------------------------

// The columns set in each row of the exclamation mark: [first, last], or none.
bool MarkIsSet(int row, int column) {
  struct Band {
    int first_row, last_row, first_col, last_col;
  };
  static const Band bands[] = {{2, 19, 1, 8},  {21, 21, 4, 5}, {22, 23, 2, 7},
                               {24, 25, 1, 8}, {26, 27, 2, 7}, {28, 28, 4, 5}};
  for (const Band& b : bands) {
    if (row >= b.first_row && row <= b.last_row) return column >= b.first_col && column <= b.last_col;
  }
  return false;
}

TEST(X11BitMapGraphicTest, ExclamationMarkOnYellowPaintsExactlyItsRectangle) {
  Canvas canvas(16, 36);
  X11BitMapGraphic mark(exclam_bits, Yellow, Position(0, 0), ExclamationSize, canvas.Id());
  rig::Image image = canvas.Read();
  ASSERT_TRUE(image.ok);
  for (int y = 0; y < 36; ++y) {
    for (int x = 0; x < 16; ++x) {
      unsigned long expected = kUntouched;
      if (x < 10 && y < 30) expected = MarkIsSet(y, x) ? BlackPx() : ColorTable[Yellow];
      ASSERT_EQ(image.At(x, y), expected) << "pixel (" << x << ", " << y << ")";
    }
  }
  // The rows named as landmarks, spelled out.
  for (int x = 0; x < 10; ++x) {
    EXPECT_EQ(image.At(x, 0), ColorTable[Yellow]);
    EXPECT_EQ(image.At(x, 1), ColorTable[Yellow]);
    EXPECT_EQ(image.At(x, 20), ColorTable[Yellow]);
    EXPECT_EQ(image.At(x, 29), ColorTable[Yellow]);
    EXPECT_EQ(image.At(x, 2), (x >= 1 && x <= 8) ? BlackPx() : ColorTable[Yellow]) << x;
    EXPECT_EQ(image.At(x, 21), (x == 4 || x == 5) ? BlackPx() : ColorTable[Yellow]) << x;
  }
}

TEST(X11BitMapGraphicTest, BlackMarkIsSolidAndCornerMovesIt) {
  Canvas canvas(20, 40);
  X11BitMapGraphic mark(exclam_bits, Black, Position(0, 0), ExclamationSize, 0);
  EXPECT_EQ(mark.GetType(), X11BitMapGraphicType);
  EXPECT_EQ(mark.GetLowerRight(), ExclamationSize);  // the size, kept as given in pixels
  mark.Draw(canvas.Id());
  rig::Image image = canvas.Read();
  EXPECT_EQ(image.Count(BlackPx()), 300);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 10; ++x) ASSERT_EQ(image.At(x, y), BlackPx());
  }

  Canvas moved(20, 40);
  mark.SetColor(Yellow);
  mark.SetUpperLeft(GraphicPosition(5, 6));
  mark.Draw(moved.Id());
  image = moved.Read();
  EXPECT_EQ(image.At(4, 6), kUntouched);
  EXPECT_EQ(image.At(5, 6), ColorTable[Yellow]);
  EXPECT_EQ(image.At(6, 8), BlackPx());  // row 2, column 1 of the mark
  EXPECT_EQ(image.At(14, 35), ColorTable[Yellow]);
  EXPECT_EQ(image.At(15, 35), kUntouched);
  EXPECT_EQ(image.At(14, 36), kUntouched);
}

TEST(X11BitMapGraphicTest, NoDataOrZeroSizeDrawsNothing) {
  Canvas canvas(16, 36);
  X11BitMapGraphic empty;
  EXPECT_EQ(empty.GetColor(), White);
  X11BitMapGraphic flat(exclam_bits, Black, Position(0, 0), GraphicPosition(0, 30), 0);
  X11BitMapGraphic thin(exclam_bits, Black, Position(0, 0), GraphicPosition(10, 0), 0);
  std::string out = StdoutOf([&] {
    empty.Draw(canvas.Id());
    flat.Draw(canvas.Id());
    thin.Draw(canvas.Id());
  });
  EXPECT_EQ(out, "");
  EXPECT_EQ(canvas.Read().Count(kUntouched), 16 * 36);
}

// ---------------------------------------------------------------------------
// EllipseGraphic
// ---------------------------------------------------------------------------

TEST(EllipseGraphicTest, OutlineIsBlackForEveryFillColour) {
  for (int c = Black; c <= Magenta; ++c) {
    SCOPED_TRACE("colour " + std::to_string(c));
    Canvas canvas(60, 40);
    EllipseGraphic disc(static_cast<color>(c), Position(0, 0), Position(0, 0), 0);
    EXPECT_EQ(disc.GetType(), EllipseGraphicType);
    disc.SetLocation(GraphicPosition(10, 5), GraphicPosition(50, 35));
    disc.Draw(canvas.Id());
    rig::Image image = canvas.Read();
    EXPECT_EQ(image.At(30, 20), ColorTable[c]);  // centre
    EXPECT_EQ(image.At(14, 20), ColorTable[c]);
    EXPECT_EQ(image.At(10, 20), BlackPx());  // left, right, top and bottom of the outline
    EXPECT_EQ(image.At(50, 20), BlackPx());
    EXPECT_EQ(image.At(30, 5), BlackPx());
    EXPECT_EQ(image.At(30, 35), BlackPx());
    EXPECT_EQ(image.At(10, 5), kUntouched);  // the bounding box's corner lies outside
    EXPECT_EQ(image.At(9, 20), kUntouched);
    EXPECT_EQ(image.At(30, 36), kUntouched);
  }
}

TEST(EllipseGraphicTest, ConstructedWithAWindowDrawsAtOnce) {
  Canvas canvas(100, 100);
  EllipseGraphic disc(Red, UpperLeftExCircle, LowerRightExCircle, canvas.Id());
  GraphicPosition ul = l_to_d(UpperLeftExCircle);
  GraphicPosition lr = l_to_d(LowerRightExCircle);
  EXPECT_EQ(disc.GetUpperLeft(), ul);
  EXPECT_EQ(disc.GetLowerRight(), lr);
  rig::Image image = canvas.Read();
  int cy = (ul.GetYCoordinate() + lr.GetYCoordinate()) / 2;
  EXPECT_EQ(image.At((ul.GetXCoordinate() + lr.GetXCoordinate()) / 2, cy), ColorTable[Red]);
  EXPECT_EQ(image.At(ul.GetXCoordinate(), cy), BlackPx());
}

// ---------------------------------------------------------------------------
// MessageGraphic
// ---------------------------------------------------------------------------

struct FontHeight {
  int ascent = 0, descent = 0;
};

FontHeight HeightOf(const char* name) {
  FontHeight h;
  XFontStruct* font = XLoadQueryFont(display, name);
  if (font != nullptr) {
    h.ascent = font->ascent;
    h.descent = font->descent;
    XFreeFont(display, font);
  }
  return h;
}

TEST(MessageGraphicTest, TextLocationCentresTowardTheUpperLeft) {
  MessageGraphic text("abc", White, Position(0, 0), Position(0, 0), 0);
  EXPECT_EQ(text.GetType(), MessageGraphicType);
  EXPECT_EQ(text.GetLocation(), GraphicPosition(0, 0));  // before any Draw
  EXPECT_EQ(text.GetMessageLength(), 3);

  text.SetLocation(GraphicPosition(0, 0), GraphicPosition(5, 5));
  text.SetTextLocation(2, 2);
  EXPECT_EQ(text.GetLocation(), GraphicPosition(1, 3));

  text.SetLocation(GraphicPosition(10, 20), GraphicPosition(110, 40));
  text.SetTextLocation(27, 15);
  EXPECT_EQ(text.GetLocation(), GraphicPosition(47, 37));

  // Negative sums halve toward zero: (-3 / 2) is -1.
  text.SetLocation(GraphicPosition(-3, -3), GraphicPosition(0, 0));
  text.SetTextLocation(3, 3);
  EXPECT_EQ(text.GetLocation(), GraphicPosition(-2, 0));
}

TEST(MessageGraphicTest, DrawsBlackTextOnItsColourAndRecentresWhenMoved) {
  FontHeight h = HeightOf(WindowFont);
  ASSERT_GT(h.ascent, 0);
  Canvas canvas(220, 60);
  MessageGraphic text("Hello", Cyan, Position(0, 0), Position(0, 0), 0);
  text.SetLocation(GraphicPosition(10, 20), GraphicPosition(110, 40));
  text.Draw(canvas.Id());
  // "Hello" is 45 pixels wide in the 9-pixel font.
  const int x0 = 60 - 22, y0 = 30 + (h.ascent + h.descent) / 2;
  EXPECT_EQ(text.GetLocation(), GraphicPosition(x0, y0));
  EXPECT_EQ(text.GetUpperLeft(), GraphicPosition(10, 20));  // corners untouched by Draw

  rig::Image image = canvas.Read();
  int black = 0, cyan = 0;
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 220; ++x) {
      bool inBand = x >= x0 && x < x0 + 45 && y >= y0 - h.ascent && y < y0 + h.descent;
      unsigned long p = image.At(x, y);
      if (!inBand) {
        ASSERT_EQ(p, kUntouched) << x << ", " << y;
      } else {
        ASSERT_TRUE(p == BlackPx() || p == ColorTable[Cyan]) << x << ", " << y;
        black += p == BlackPx();
        cyan += p == ColorTable[Cyan];
      }
    }
  }
  EXPECT_GT(black, 20);
  EXPECT_GT(cyan, black);

  text.SetLocation(GraphicPosition(100, 0), GraphicPosition(200, 20));
  text.Draw(canvas.Id());
  EXPECT_EQ(text.GetLocation(), GraphicPosition(150 - 22, 10 + (h.ascent + h.descent) / 2));
}

TEST(MessageGraphicTest, EmptyMessageDrawsNothing) {
  Canvas canvas(50, 30);
  MessageGraphic text("", Red, Position(0, 0), Position(0, 0), 0);
  text.SetLocation(GraphicPosition(0, 0), GraphicPosition(50, 30));
  text.Draw(canvas.Id());
  EXPECT_EQ(canvas.Read().Count(kUntouched), 50 * 30);
}

TEST(MessageGraphicTest, MissingFontGivesAPlainContextAndKeepsTheLocation) {
  Canvas canvas(10, 10);
  MessageGraphic text("abc", White, Position(0, 0), Position(0, 0), 0);
  text.SetLocation(GraphicPosition(0, 0), GraphicPosition(10, 10));
  text.SetTextLocation(4, 4);
  XFontStruct* font = reinterpret_cast<XFontStruct*>(&text);  // must be overwritten
  GC gc = nullptr;
  std::string out = StdoutOf([&] {
    gc = GetGraphicsContext(canvas.Id(), BlackPx(), ColorTable[White], "abc", &text, &font,
                            "-slate-no-such-font-*");
  });
  EXPECT_NE(gc, nullptr);
  EXPECT_EQ(font, nullptr);
  EXPECT_EQ(text.GetLocation(), GraphicPosition(3, 7));
  EXPECT_EQ(out,
            "Unable to load the desired font: -slate-no-such-font-*\n"
            "In function: LoadFont\n"
            "Unable to allocate memory to a font structure.\n");
  if (gc != nullptr) XFreeGC(display, gc);
}

// ---------------------------------------------------------------------------
// ButtonGraphic
// ---------------------------------------------------------------------------

class ButtonGraphicTest : public testing::Test {
 protected:
  unsigned long Face() const { return ButtonColorTable[0]; }
  unsigned long Light() const { return ButtonColorTable[1]; }
  unsigned long Dark() const { return ButtonColorTable[2]; }

  // Checks the bevel of a 75 x 35 button with the given edge colours.
  void ExpectBevel(const rig::Image& image, unsigned long topLeft, unsigned long bottomRight) {
    for (int x = 0; x < ButtonWidth; ++x) EXPECT_EQ(image.At(x, 0), topLeft) << "row 0, x " << x;
    EXPECT_EQ(image.At(74, 0), topLeft);
    for (int y = 1; y < ButtonHeight; ++y) EXPECT_EQ(image.At(74, y), bottomRight) << "column 74, y " << y;
    EXPECT_EQ(image.At(0, 34), topLeft);
    for (int x = 1; x < ButtonWidth; ++x) EXPECT_EQ(image.At(x, 34), bottomRight) << "row 34, x " << x;
    // The two colours meet on diagonals at the upper-right and lower-left corners.
    for (int j = 1; j < BevelSize; ++j) {
      for (int i = 0; i < BevelSize; ++i) {
        unsigned long expected = i >= j ? bottomRight : topLeft;
        EXPECT_EQ(image.At(ButtonWidth - j, i), expected) << "(" << ButtonWidth - j << ", " << i << ")";
        EXPECT_EQ(image.At(i, ButtonHeight - j), expected) << "(" << i << ", " << ButtonHeight - j << ")";
      }
    }
    EXPECT_EQ(image.At(3, 10), topLeft);  // fourth left line
    EXPECT_EQ(image.At(4, 10), Face());
    EXPECT_EQ(image.At(4, 4), Face());
    EXPECT_EQ(image.At(71, 31), Face());
    EXPECT_EQ(image.Count(kUntouched), 0);
  }

  // Black pixels inside the face; all must lie in the label's band.
  void ExpectLabelOnlyIn(const rig::Image& image, GraphicPosition origin, int width) {
    FontHeight h = HeightOf(ButtonFont);
    int black = 0;
    for (int y = 4; y <= 31; ++y) {
      for (int x = 4; x <= 71; ++x) {
        if (image.At(x, y) != BlackPx()) continue;
        ++black;
        EXPECT_TRUE(x >= origin.GetXCoordinate() && x < origin.GetXCoordinate() + width &&
                    y >= origin.GetYCoordinate() - h.ascent && y < origin.GetYCoordinate() + h.descent)
            << "black at (" << x << ", " << y << ")";
      }
    }
    EXPECT_GT(black, 10);
  }
};

TEST_F(ButtonGraphicTest, RaisedAndPressedBevels) {
  Canvas raised(ButtonWidth, ButtonHeight);
  ButtonGraphic up(ButtonMessage, Position(0, 0), Position(75, 35), Light(), Dark(), 0);
  up.SetUpperLeft(GraphicPosition(84, 35));
  up.Draw(raised.Id());
  ExpectBevel(raised.Read(), Light(), Dark());
  ExpectLabelOnlyIn(raised.Read(), up.GetLocation(), 27);

  Canvas pressed(ButtonWidth, ButtonHeight);
  ButtonGraphic down(ButtonMessage, Position(0, 0), Position(75, 35), Dark(), Light(), 0);
  down.SetUpperLeft(GraphicPosition(84, 35));
  down.Draw(pressed.Id());
  ExpectBevel(pressed.Read(), Dark(), Light());
}

TEST_F(ButtonGraphicTest, LabelIsCentredOnHalfTheUpperLeftCorner) {
  Canvas canvas(ButtonWidth, ButtonHeight);
  ButtonGraphic button(ButtonMessage, Position(0, 0), Position(75, 35), Light(), Dark(), 0);
  EXPECT_EQ(button.GetType(), ButtonGraphicType);
  EXPECT_EQ(button.GetColor(), NoColorNeeded);
  button.SetLocation(GraphicPosition(84, 35), GraphicPosition(75, 35));
  button.Draw(canvas.Id());
  // "O K" is 27 pixels wide and the bold font 15 high: (42 - 13, 17 + 7).
  EXPECT_EQ(button.GetLocation(), GraphicPosition(29, 24));
  EXPECT_EQ(button.GetUpperLeft(), GraphicPosition(84, 35));
  EXPECT_EQ(button.GetLowerRight(), GraphicPosition(75, 35));
  ExpectLabelOnlyIn(canvas.Read(), GraphicPosition(29, 24), 27);

  // Moving the corner by (2, 2) moves the label by half as much.
  button.SetUpperLeft(GraphicPosition(86, 37));
  button.Draw(canvas.Id());
  EXPECT_EQ(button.GetLocation(), GraphicPosition(30, 25));
}

TEST_F(ButtonGraphicTest, ConstructedWithAWindowDrawsAtOnce) {
  Canvas canvas(ButtonWidth, ButtonHeight);
  ButtonGraphic button(ButtonMessage, OkayUpPosition, Position(75, 35), Light(), Dark(), canvas.Id());
  rig::Image image = canvas.Read();
  EXPECT_EQ(image.At(0, 0), Light());
  EXPECT_EQ(image.At(74, 1), Dark());
  EXPECT_EQ(image.Count(kUntouched), 0);
  GraphicPosition ul = l_to_d(OkayUpPosition);
  EXPECT_EQ(button.GetUpperLeft(), ul);
  EXPECT_EQ(button.GetLocation(), GraphicPosition(ul.GetXCoordinate() / 2 - 13, ul.GetYCoordinate() / 2 + 7));
}

TEST_F(ButtonGraphicTest, DefaultButtonHasBlackEdgesAndNoLabel) {
  Canvas canvas(ButtonWidth, ButtonHeight);
  ButtonGraphic button;
  EXPECT_EQ(button.GetType(), ButtonGraphicType);
  EXPECT_EQ(button.GetMessage(), "");
  button.Draw(canvas.Id());
  rig::Image image = canvas.Read();
  EXPECT_EQ(image.At(10, 0), BlackPx());
  EXPECT_EQ(image.At(74, 10), BlackPx());
  EXPECT_EQ(image.At(37, 17), Face());
}

// ---------------------------------------------------------------------------
// Graphic, GraphicNode and GraphicManager
// ---------------------------------------------------------------------------

// A node that counts its destructions.
class Counted : public GraphicNode {
 public:
  explicit Counted(int* deaths, GraphicType type = EllipseGraphicType) : GraphicNode(type), deaths_(deaths) {}
  ~Counted() override { ++*deaths_; }
  void Draw(unsigned long) override {}

 private:
  int* deaths_;
};

TEST(GraphicTest, CornersAndNodesAreIndependent) {
  int deaths = 0;
  Counted node(&deaths);
  EXPECT_EQ(node.GetColor(), White);
  EXPECT_EQ(node.GetUpperLeft(), DeviceOrigin);
  EXPECT_EQ(node.GetLowerRight(), DeviceOrigin);
  EXPECT_EQ(node.GetNext(), nullptr);
  node.SetLocation(GraphicPosition(1, 2), GraphicPosition(3, 4));
  GraphicPosition copy = node.GetUpperLeft();
  copy.SetXCoordinate(99);
  EXPECT_EQ(node.GetUpperLeft(), GraphicPosition(1, 2));
  EXPECT_EQ(node.GetLowerRight(), GraphicPosition(3, 4));
  // Centimetres to pixels by truncation toward zero, corner by corner.
  ASSERT_EQ(PixelsPerCentimeter, 66.0f);
  node.SetLocationWithConversion(Position(1.0f, 0.78f), Position(-0.5f, 2.0f));
  EXPECT_EQ(node.GetUpperLeft(), GraphicPosition(66, 51));
  EXPECT_EQ(node.GetLowerRight(), GraphicPosition(-33, 132));

  // Deleting a linked node leaves the following one alone.
  Counted* first = new Counted(&deaths);
  Counted second(&deaths);
  first->SetNext(&second);
  delete first;
  EXPECT_EQ(deaths, 1);
  EXPECT_EQ(second.GetNext(), nullptr);
}

TEST(GraphicManagerTest, KeepsOrderAndWalksWithACursor) {
  int deaths = 0;
  GraphicManager list;
  EXPECT_EQ(list.First(), nullptr);
  EXPECT_EQ(list.Next(), nullptr);
  EXPECT_EQ(list.IsEmpty(), 1);
  EXPECT_EQ(list.GetListSize(), 0);

  Counted* p = new Counted(&deaths);
  Counted* q = new Counted(&deaths);
  Counted* r = new Counted(&deaths);
  list.InsertGraphic(p);
  list.AppendGraphic(q);
  list.AppendGraphic(r);
  EXPECT_EQ(list.GetListSize(), 3);
  EXPECT_EQ(list.IsEmpty(), 0);
  EXPECT_EQ(list.First(), p);
  EXPECT_EQ(list.Next(), q);
  EXPECT_EQ(list.Next(), r);
  EXPECT_EQ(list.Next(), nullptr);
  EXPECT_EQ(list.Next(), nullptr);  // stays past the end
  EXPECT_EQ(list.First(), p);       // until First starts again

  // Inserting at the front keeps the tail: appending still goes last.
  Counted* s = new Counted(&deaths);
  Counted* t = new Counted(&deaths);
  list.InsertGraphic(s);
  list.AppendGraphic(t);
  std::vector<GraphicNode*> order;
  for (GraphicNode* n = list.First(); n != nullptr; n = list.Next()) order.push_back(n);
  EXPECT_EQ(order, (std::vector<GraphicNode*>{s, p, q, r, t}));
  EXPECT_EQ(deaths, 0);
}

TEST(GraphicManagerTest, EmptyListAndDestructorDeleteEveryNode) {
  int deaths = 0;
  {
    GraphicManager list;
    for (int i = 0; i < 3; ++i) list.AppendGraphic(new Counted(&deaths));
    list.First();
    list.Next();
    list.EmptyList();
    EXPECT_EQ(deaths, 3);
    EXPECT_EQ(list.GetListSize(), 0);
    EXPECT_EQ(list.IsEmpty(), 1);
    EXPECT_EQ(list.Next(), nullptr);  // the cursor does not dangle
    EXPECT_EQ(list.First(), nullptr);
    list.EmptyList();
    EXPECT_EQ(deaths, 3);

    // Refilled after emptying, then destroyed with the list.
    list.InsertGraphic(new Counted(&deaths));
    list.AppendGraphic(new Counted(&deaths));
    EXPECT_EQ(list.GetListSize(), 2);
  }
  EXPECT_EQ(deaths, 5);
}

TEST(GraphicManagerTest, FirstMessageSkipsButtons) {
  GraphicManager list;
  EXPECT_EQ(list.GetFirstMessage(), nullptr);
  ButtonGraphic* button = new ButtonGraphic(ButtonMessage, Position(0, 0), Position(1, 1), 0, 0, 0);
  MessageGraphic* text = new MessageGraphic("hi", White, Position(0, 0), Position(0, 0), 0);
  text->SetLowerRight(GraphicPosition(160, 61));
  MessageGraphic* later = new MessageGraphic("later", White, Position(0, 0), Position(0, 0), 0);
  list.AppendGraphic(button);
  list.AppendGraphic(text);
  list.AppendGraphic(later);
  EXPECT_EQ(list.GetFirstMessage(), text);
  std::string out;
  GraphicPosition lr;
  out = StdoutOf([&] { lr = list.GetLowerRightOfFirstMessage(); });
  EXPECT_EQ(lr, GraphicPosition(160, 61));
  EXPECT_EQ(out, "");
}

TEST(GraphicManagerTest, MissingMessageAndNullNodesAreReported) {
  int deaths = 0;
  GraphicManager list;
  Counted* disc = new Counted(&deaths);
  disc->SetLowerRight(GraphicPosition(7, 7));
  list.AppendGraphic(disc);
  GraphicPosition lr(5, 5);
  std::string out = StdoutOf([&] { lr = list.GetLowerRightOfFirstMessage(); });
  EXPECT_EQ(lr, GraphicPosition(0, 0));
  EXPECT_EQ(out,
            "A request has been made to retrieve information from the first item in a GraphicManager when "
            "there are no items in the list.\nThe program is being terminated.\n");

  out = StdoutOf([&] { list.AppendGraphic(nullptr); });
  EXPECT_EQ(out, "Unable to allocate memory in function: GraphicManager\n");
  out = StdoutOf([&] { list.InsertGraphic(nullptr); });
  EXPECT_EQ(out, "Unable to allocate memory in function: InsertGraphic\n");
  EXPECT_EQ(list.GetListSize(), 1);
  EXPECT_EQ(list.First(), disc);
  EXPECT_EQ(list.Next(), nullptr);
}

// ---------------------------------------------------------------------------
// ButtonWindow (geometry and X requests; its looks are checked on a private
// server through the alert box)
// ---------------------------------------------------------------------------

TEST(ButtonWindowTest, SitsCentredAtThreeQuartersAndCloseIssuesNoRequest) {
  struct Case {
    int width, height, x, y;
  };
  for (Case c : {Case{277, 126, 101, 77}, Case{481, 126, 203, 77}, Case{100, 41, 13, 13}}) {
    unsigned long beforeDestructor = 0;
    Window parent = XCreateSimpleWindow(display, RootWindow(display, ScreenNbr), 0, 0, c.width, c.height, 0,
                                        BlackPixel(display, ScreenNbr), ColorTable[White]);
    {
      ButtonWindow button;
      ASSERT_EQ(button.Open(parent, c.width, c.height), WindowIsOpen);
      Window root;
      int x, y;
      unsigned int w, h, border, depth;
      ASSERT_TRUE(XGetGeometry(display, button.GetWindow(), &root, &x, &y, &w, &h, &border, &depth));
      EXPECT_EQ(x, c.x);
      EXPECT_EQ(y, c.y);
      EXPECT_EQ(w, 75u);
      EXPECT_EQ(h, 35u);
      EXPECT_EQ(border, 1u);

      unsigned long before = XNextRequest(display);
      button.Close();
      button.MouseClickEvent(ButtonIsDown);  // draws: requests expected
      EXPECT_GT(XNextRequest(display), before);
      before = XNextRequest(display);
      button.Close();
      EXPECT_EQ(XNextRequest(display), before);

      // The destructor after the parent (and so the button) is gone issues nothing.
      XDestroyWindow(display, parent);
      XSync(display, False);
      beforeDestructor = XNextRequest(display);
    }
    EXPECT_EQ(XNextRequest(display), beforeDestructor);
    rig::XErrorTrap trap;
    trap.Sync(display);
    EXPECT_EQ(trap.Count(), 0) << trap.Describe();
  }
}

}  // namespace
