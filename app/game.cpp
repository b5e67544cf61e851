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

// Click map of the menu picture, in centimetres from the window's corner.
// A region matches a click strictly inside its four edges.
const double PlayLeft = 10.518, PlayRight = 14.688, PlayTop = 1.968, PlayBottom = 3.114;
const double ScoresLeft = 10.518, ScoresRight = 14.688, ScoresTop = 3.642, ScoresBottom = 4.716;
const double OptionsLeft = 10.518, OptionsRight = 14.688, OptionsTop = 5.25, OptionsBottom = 6.582;
const double HelpLeft = 10.518, HelpRight = 14.688, HelpTop = 7.026, HelpBottom = 8.316;
const double MoreLeft = 10.518, MoreRight = 14.688, MoreTop = 8.7, MoreBottom = 10.14;
const double CloseLeft = 0.54, CloseRight = 1.44, CloseTop = 0.676, CloseBottom = 1.86;

int menuopen();
int clickonmenu(const Position& click);
void highscore();
void tgames();
int randomtext(int n);

void ApiMain() {
  menuopen();
  loading.Close();
}

// Loading screen, then the menu with its picture and its click callback.
int menuopen() {
  loading.Open();
  loading.RenderText(Position(5.0, 5.0), Position(6.0, 6.0), "wait your game is loading......", Magenta,
                     DefaultColor);
  loading.Open();
  loading.RenderText(Position(6.0, 6.0), Position(7.0, 7.0), "here are some of the tips to play the game..",
                     Red, DefaultColor);
  sleep(2);
  menu.Open();
  Menu.Load("menu.xpm");
  Menu.SetPosition(Position(0.0, 0.0));
  Menu.Draw();
  menu.SetMouseClickCallback(clickonmenu);
  return 0;
}

// Prints the click as <x>t<y>n and performs the action of the region hit.
// Each region is tested on its own; they do not overlap, so at most one acts.
int clickonmenu(const Position& click) {
  float x = click.GetXDistance();
  float y = click.GetYDistance();
  std::cout << x << 't' << y << 'n';

  if (x > PlayLeft && x < PlayRight && y > PlayTop && y < PlayBottom) {
    start.Open();
  }
  if (x > ScoresLeft && x < ScoresRight && y > ScoresTop && y < ScoresBottom) {
    highscore();
  }
  if (x > OptionsLeft && x < OptionsRight && y > OptionsTop && y < OptionsBottom) {
    customize.Open();
  }
  if (x > HelpLeft && x < HelpRight && y > HelpTop && y < HelpBottom) {
    info.Open();
    Instructions.Load("instructions.xpm");
    Instructions.SetPosition(Position(0.0, 0.0));
    Instructions.Draw();
  }
  if (x > MoreLeft && x < MoreRight && y > MoreTop && y < MoreBottom) {
    tgames();
  }
  if (x > CloseLeft && x < CloseRight && y > CloseTop && y < CloseBottom) {
    menu.Close();
  }
  return 0;
}

void highscore() {
  gameprogress.Open();
  gameprogress.RenderText(Position(3.0, 3.0), Position(7.0, 7.0), "HIGHEST SCORE IS", Blue, DefaultColor);
}

void tgames() {
  moregames.Open();
  moregames.RenderText(Position(3.0, 3.0), Position(6.0, 6.0),
                       "go to internet and type zindra games there you can get plenty of these type games",
                       Blue, DefaultColor);
}

// A pseudo-random number in [0, n), seeded from the clock; 0 when n is not
// positive, where there is no such range (and the remainder would trap).
int randomtext(int n) {
  srand(GetMilliseconds());
  if (n <= 0) return 0;
  return rand() % n;
}
