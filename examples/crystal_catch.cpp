// Crystal Catch: crystals and rocks fall down a cave shaft; the explorer at
// the bottom catches the crystals (one point, a gold one five) and must not
// be hit by a rock (three lives). The left and right arrows, or A and D, move
// the explorer, smoothly for as long as they are held; P pauses; space plays
// again after the last life. Close the window to end.
//
// Every 20 ms the timer moves what moves: the explorer's parts are drawn at
// their new place after erasing only the strip each one leaves behind, and a
// falling thing is erased by drawing its outline in the sky's colour.
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "slate.h"

namespace {

const float FieldWidth = 16;  // window, cm
const float FieldHeight = 12;
const float BarHeight = 0.8f;   // status bar at the top
const float GroundTop = 11.4f;  // where the explorer stands
const int TickMs = 20;
const float ExplorerStep = 0.14f;  // cm a tick while an arrow is held

SimpleWindow window("Crystal Catch", FieldWidth, FieldHeight, Position(1, 1));

// Colours of the game; the library allocates each one once.
const color Sky = RGBColor(20, 24, 52);
const color Bar = RGBColor(8, 10, 24);
const color Ground = RGBColor(86, 62, 40);
const color Light = RGBColor(235, 235, 220);
const color Hat = RGBColor(196, 160, 92), Brim = RGBColor(140, 110, 60);
const color Skin = RGBColor(244, 204, 164), Eye = RGBColor(30, 30, 40);
const color Jacket = RGBColor(214, 96, 44), Belt = RGBColor(90, 56, 30), Boots = RGBColor(54, 60, 92);
const color Hurt = RGBColor(255, 40, 40);
const color Stone = RGBColor(128, 118, 112), StoneSpot = RGBColor(88, 80, 76);
const color Gems[] = {RGBColor(90, 230, 255), RGBColor(196, 120, 255), RGBColor(110, 255, 170)};
const color Gold = RGBColor(255, 204, 40);
const color Glint = RGBColor(255, 255, 240);

// The explorer as rectangles relative to its upper-left corner. An outer
// part is on the figure's edge, and its trailing strip is erased when the
// explorer moves; an inner part lies within the parts drawn before it.
struct Part {
  float X0, Y0, X1, Y1;
  const color* Colour;
  bool Outer;
};
const Part Explorer[] = {
    {0.30f, 0.00f, 0.70f, 0.22f, &Hat, true},   {0.08f, 0.22f, 0.92f, 0.32f, &Brim, true},
    {0.28f, 0.32f, 0.72f, 0.70f, &Skin, true},  {0.36f, 0.44f, 0.44f, 0.52f, &Eye, false},
    {0.56f, 0.44f, 0.64f, 0.52f, &Eye, false},  {0.14f, 0.70f, 0.86f, 1.12f, &Jacket, true},
    {0.14f, 0.98f, 0.86f, 1.04f, &Belt, false}, {0.20f, 1.12f, 0.42f, 1.48f, &Boots, true},
    {0.58f, 1.12f, 0.80f, 1.48f, &Boots, true},
};
const float ExplorerWidth = 1.0f, ExplorerHeight = 1.5f;
const float ExplorerTop = GroundTop - ExplorerHeight;

// Something falling: a crystal (Kind 0..2, 3 for gold) or a rock.
struct Faller {
  float X, Y, Speed;
  bool Rock;
  int Kind;
  float Width() const { return Rock ? 0.7f : 0.6f; }
  float Height() const { return Rock ? 0.6f : 0.8f; }
};

std::minstd_rand dice(GetMilliseconds());
std::vector<Faller> fallers;
float explorerX = (FieldWidth - ExplorerWidth) / 2;
bool leftHeld = false, rightHeld = false, paused = false, over = false;
bool explorerHit = false;  // drawn again at the end of the tick, in new colours
int score = 0, best = 0, lives = 3, hurtTicks = 0;

float Chance() {
  return std::uniform_real_distribution<float>(0, 1)(dice);
}

void DrawExplorer() {
  for (const Part& p : Explorer) {
    color c = (hurtTicks > 0 && p.Colour == &Jacket) ? Hurt : *p.Colour;
    window.RenderRectangle(Position(explorerX + p.X0, ExplorerTop + p.Y0),
                           Position(explorerX + p.X1, ExplorerTop + p.Y1), c);
  }
}

void MoveExplorer(float to) {
  for (const Part& p : Explorer) {
    if (!p.Outer) continue;
    float left = to > explorerX ? explorerX + p.X0 : to + p.X1;
    float right = to > explorerX ? to + p.X0 : explorerX + p.X1;
    window.RenderRectangle(Position(left, ExplorerTop + p.Y0), Position(right, ExplorerTop + p.Y1), Sky);
  }
  explorerX = to;
  DrawExplorer();
}

// A faller in its own colours, or all in sky to erase it.
void DrawFaller(const Faller& f, bool erase) {
  Position corner(f.X, f.Y), size(f.Width(), f.Height());
  if (f.Rock) {
    window.RenderEllipse(corner, corner + size, erase ? Sky : Stone);
    if (!erase)
      window.RenderEllipse(corner + Position(0.38f, 0.12f), corner + Position(0.55f, 0.28f), StoneSpot);
    return;
  }
  const Position diamond[] = {corner + Position(0.3f, 0), corner + Position(0.6f, 0.4f),
                              corner + Position(0.3f, 0.8f), corner + Position(0, 0.4f)};
  window.RenderPolygon(diamond, 4, erase ? Sky : (f.Kind == 3 ? Gold : Gems[f.Kind]));
  if (erase) return;
  const Position facet[] = {corner + Position(0.3f, 0.1f), corner + Position(0.42f, 0.4f),
                            corner + Position(0.3f, 0.4f)};
  window.RenderPolygon(facet, 3, Glint);
}

// The status bar, drawn afresh: score at the left, best in the middle,
// lives at the right, in text as tall on every screen.
void DrawStatus() {
  const Typeface status(0.45f, "sans", true);
  const float top = (BarHeight - status.Size) / 2;
  char text[3][32];
  std::snprintf(text[0], sizeof text[0], "Score %d", score);
  std::snprintf(text[1], sizeof text[1], "Best %d", best);
  std::snprintf(text[2], sizeof text[2], "Lives %d", lives);
  window.RenderRectangle(Position(0, 0), Position(FieldWidth, BarHeight), Bar);
  window.WriteText(Position(0.5f, top), text[0], status, Light);
  window.WriteText(Position(FieldWidth / 2, top), text[1], status, Light, AlignCenter);
  window.WriteText(Position(FieldWidth - 0.5f, top), text[2], status, lives == 1 ? Hurt : Light, AlignRight);
}

void DrawField() {
  window.RenderRectangle(Position(0, BarHeight), Position(FieldWidth, GroundTop), Sky);
  window.RenderRectangle(Position(0, GroundTop), Position(FieldWidth, FieldHeight), Ground);
  DrawStatus();
  DrawExplorer();
  for (const Faller& f : fallers) DrawFaller(f, false);
}

void Banner(const char* first, const char* second) {
  Position centre(FieldWidth / 2, GroundTop / 2);
  window.RenderRectangle(centre - Position(4, 1), centre + Position(4, 1), Bar, true);
  window.WriteText(centre - Position(0, 0.8f), first, Typeface(0.6f, "sans", true), Gold, AlignCenter);
  window.WriteText(centre + Position(0, 0.1f), second, Typeface(0.45f), Light, AlignCenter);
}

void NewGame() {
  fallers.clear();
  score = 0;
  lives = 3;
  hurtTicks = 0;
  over = paused = false;
  explorerX = (FieldWidth - ExplorerWidth) / 2;
  DrawField();
}

// Faster and more often as the score grows; rocks take a larger share.
void MaybeDrop() {
  if (Chance() > std::min(0.03f + score * 0.001f, 0.09f)) return;
  Faller f{};
  f.Rock = Chance() < std::min(0.3f + score * 0.004f, 0.5f);
  f.Kind = Chance() < 0.1f ? 3 : static_cast<int>(dice() % 3);
  f.X = Chance() * (FieldWidth - f.Width());
  f.Y = BarHeight;
  f.Speed = std::min(0.05f + score * 0.002f, 0.16f) * (0.8f + 0.4f * Chance());
  fallers.push_back(f);
}

bool HitsExplorer(const Faller& f) {
  // A little inside the figure's box, so that near misses are misses.
  return f.X + f.Width() > explorerX + 0.15f && f.X < explorerX + ExplorerWidth - 0.15f &&
         f.Y + f.Height() > ExplorerTop + 0.1f;
}

void Caught(const Faller& f) {
  if (!f.Rock) {
    score += f.Kind == 3 ? 5 : 1;
    best = std::max(best, score);
  } else if (--lives > 0) {
    hurtTicks = 25;
    explorerHit = true;
  } else {
    over = true;
  }
  DrawStatus();
}

int Tick() {
  if (paused || over) return 0;
  int direction = (rightHeld ? 1 : 0) - (leftHeld ? 1 : 0);
  float to = std::clamp(explorerX + direction * ExplorerStep, 0.0f, FieldWidth - ExplorerWidth);
  if (to != explorerX) MoveExplorer(to);
  // Erase everything that falls, move it, then draw what is left.
  bool explorerTouched = false;
  for (const Faller& f : fallers) {
    DrawFaller(f, true);
    explorerTouched = explorerTouched || f.Y + f.Height() > ExplorerTop;
  }
  std::vector<Faller> left;
  for (Faller f : fallers) {
    f.Y += f.Speed;
    if (HitsExplorer(f))
      Caught(f);
    else if (f.Y + f.Height() < GroundTop - 0.05f)  // clear of the ground's top pixel row
      left.push_back(f);
  }
  fallers.swap(left);
  if (hurtTicks > 0 && --hurtTicks == 0) explorerHit = true;
  if (explorerTouched || explorerHit) DrawExplorer();
  explorerHit = false;
  MaybeDrop();
  for (const Faller& f : fallers) DrawFaller(f, false);
  if (over) {
    char text[48];
    std::snprintf(text, sizeof text, "Game over: %d points", score);
    Banner(text, "Space plays again");
  }
  return 1;
}

int Pressed(const Key& key) {
  if (key.Symbol == KeyLeft || key.Symbol == 'a') leftHeld = true;
  if (key.Symbol == KeyRight || key.Symbol == 'd') rightHeld = true;
  if (key.Repeat) return 1;
  if (key.Symbol == KeySpace && over) NewGame();
  if (key.Symbol == 'p' && !over) {
    paused = !paused;
    if (paused)
      Banner("Paused", "P plays on");
    else
      DrawField();
  }
  return 1;
}

int Released(const Key& key) {
  if (key.Symbol == KeyLeft || key.Symbol == 'a') leftHeld = false;
  if (key.Symbol == KeyRight || key.Symbol == 'd') rightHeld = false;
  return 1;
}

}  // namespace

void ApiMain() {
  window.Open();
  NewGame();
  window.SetKeyPressCallback(Pressed);
  window.SetKeyReleaseCallback(Released);
  window.SetTimerCallback(Tick);
  window.StartTimer(TickMs);
}
