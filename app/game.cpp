// ZINDRA: the main menu of the game.
//
// A loading screen is shown for two seconds, then the menu window with the
// picture menu.xpm. Clicks on the buttons of that picture open the game, the
// high scores, the options, the instructions (instructions.xpm) and a hint
// about more games; the small box in the upper-left corner closes the menu.
// The program ends when its last window has been closed.
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "menu_layout.h"
#include "slate.h"

// Every window is 15 x 12 cm, with its upper-left corner 1 cm from the
// screen's, so that they all open on top of each other.
SimpleWindow menu("ZINDRA", 15.0, 12.0, Position(1.0, 1.0));
SimpleWindow customize("OPTIONS", 15.0, 12.0, Position(1.0, 1.0));
SimpleWindow gameprogress("HIGHSCORES", 15.0, 12.0, Position(1.0, 1.0));
SimpleWindow moregames("more games", 15.0, 12.0, Position(1.0, 1.0));
SimpleWindow info("about game and instructions", 15.0, 12.0, Position(1.0, 1.0));
SimpleWindow start("game", 15.0, 12.0, Position(1.0, 1.0));
SimpleWindow loading("laoding", 15.0, 12.0, Position(1.0, 1.0));

BitMap Menu(menu);
BitMap Instructions(info);

int menuopen();
int clickonmenu(const Position& click);
void highscore();
void tgames();
int randomtext(int n);

namespace {

// The menu's text: centimetres tall, so that it reads the same on every
// screen, on a white band.
const Typeface MenuText(0.45f);

// Text centred on a point, in as many lines as it takes to keep each one
// within width (cm): words are broken only at spaces.
void WriteCentred(SimpleWindow& window, const Position& centre, const std::string& text, color colour,
                  float width = 1e9f) {
  std::vector<std::string> lines;
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    if (!lines.empty() && window.MeasureText(lines.back() + " " + word, MenuText).GetXDistance() <= width)
      lines.back() += " " + word;
    else
      lines.push_back(word);
  }
  const float pitch = MenuText.Size * 1.25f;
  float top = centre.GetYDistance() - (pitch * (lines.size() - 1) + MenuText.Size) / 2;
  for (const std::string& line : lines) {
    window.WriteText(Position(centre.GetXDistance(), top), line, MenuText, colour, AlignCenter, DefaultColor);
    top += pitch;
  }
}

}  // namespace

void ApiMain() {
  menuopen();
  loading.Close();
}

// Loading screen, then the menu with its picture and its click callback.
int menuopen() {
  loading.Open();
  WriteCentred(loading, Position(5.5, 5.5), "wait your game is loading......", Magenta);
  loading.Open();
  WriteCentred(loading, Position(6.5, 6.5), "here are some of the tips to play the game..", Red);
  sleep(2);
  menu.Open();
  Menu.Load("menu.xpm");
  Menu.SetPosition(Position(0.0, 0.0));
  Menu.Draw();
  menu.SetMouseClickCallback(clickonmenu);
  return 0;
}

// What a click on each region of the click map does, in the map's order.
void (*const RegionActions[])() = {
    [] { start.Open(); },      // PLAY
    highscore,                 // HIGHSCORES
    [] { customize.Open(); },  // OPTIONS
    [] {                       // INSTRUCTIONS
      info.Open();
      Instructions.Load("instructions.xpm");
      Instructions.SetPosition(Position(0.0, 0.0));
      Instructions.Draw();
    },
    tgames,                // MORE GAMES
    [] { menu.Close(); },  // the close box
};
static_assert(sizeof(RegionActions) / sizeof(RegionActions[0]) == zindra::RegionCount, "one action a region");

// Prints the click as <x>t<y>n, then tests every region of the click map in
// turn and performs the action of each one that contains the click. The
// regions do not overlap, so at most one acts.
int clickonmenu(const Position& click) {
  float x = click.GetXDistance();
  float y = click.GetYDistance();
  std::cout << x << 't' << y << 'n';
  for (int i = 0; i < zindra::RegionCount; ++i) {
    if (zindra::Contains(zindra::ClickMap[i], x, y)) RegionActions[i]();
  }
  return 0;
}

void highscore() {
  gameprogress.Open();
  WriteCentred(gameprogress, Position(5.0, 5.0), "HIGHEST SCORE IS", Blue);
}

void tgames() {
  moregames.Open();
  // Centred on 4.5 cm, 4.5 cm from the window's left edge: lines no wider
  // than twice that, less a margin, stay inside it.
  const float centre = 4.5f, margin = 0.3f;
  WriteCentred(moregames, Position(centre, centre),
               "go to internet and type zindra games there you can get plenty of these type games", Blue,
               2 * (centre - margin));
}

// A pseudo-random number in [0, n), seeded from the clock; 0 when n is not
// positive, where there is no such range (and the remainder would trap).
int randomtext(int n) {
  srand(GetMilliseconds());
  if (n <= 0) return 0;
  return rand() % n;
}
