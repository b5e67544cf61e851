// zindra-demo: plays through a running ZINDRA menu as a player would and
// takes a screenshot (xwd) of every screen on the way.
//
//   zindra-demo OUTPUT_DIRECTORY
//
// Start it right after zindra on the same display. It waits for the loading
// screen and the menu, clicks each of the five buttons and closes each window
// that opens with a window-manager close request, then opens the game once
// more, clicks the menu's close box and closes the game, which ends zindra.
// Screenshots are written as NN-name.xwd into the output directory. It exits
// with status 0 when every step was seen to happen, 1 otherwise.
#include <X11/Xlib.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "menu_layout.h"
#include "rig.h"

namespace {

const char* Screens[zindra::ButtonCount][2] = {{"game", "game"},
                                               {"HIGHSCORES", "highscores"},
                                               {"OPTIONS", "options"},
                                               {"about game and instructions", "instructions"},
                                               {"more games", "more-games"}};

std::string OutputDirectory;
int Shots = 0;

// The window with this title, once it is shown, with its screenshot taken.
Window Shoot(rig::Peer& peer, const char* title, const char* name) {
  Window w = peer.Find(title, 10000);
  if (!w) return std::fprintf(stderr, "zindra-demo: window \"%s\" was never shown\n", title), 0;
  rig::Sleep(400);
  char file[512];
  std::snprintf(file, sizeof file, "%s/%02d-%s.xwd", OutputDirectory.c_str(), ++Shots, name);
  rig::Sh("xwd -silent -id " + std::to_string(w) + " -out " + file);
  std::printf("  saved %s\n", file);
  return w;
}

bool Gone(rig::Peer& peer, const char* title) {
  if (peer.Gone(title, 10000)) return true;
  std::fprintf(stderr, "zindra-demo: window \"%s\" was never closed\n", title);
  return false;
}

void Click(rig::Peer& peer, Window w, int region, double scale) {
  zindra::PixelRect box = zindra::RegionPixels(zindra::ClickMap[region], scale);
  peer.Click(w, (box.X0 + box.X1) / 2, (box.Y0 + box.Y1) / 2);
}

bool Walk(rig::Peer& peer) {
  double scale = std::floor(static_cast<float>(DisplayWidth(peer.D, DefaultScreen(peer.D)) / 29.0));
  std::printf("Waiting for the loading screen...\n");
  if (!Shoot(peer, "laoding", "loading")) return false;
  std::printf("Waiting for the menu...\n");
  Window menu = peer.Find("ZINDRA", 10000);
  if (!menu || !Gone(peer, "laoding") || !Shoot(peer, "ZINDRA", "menu")) return false;
  for (int i = 0; i < zindra::ButtonCount; ++i) {
    std::printf("Clicking %s...\n", zindra::ButtonLabels[i]);
    Click(peer, menu, i, scale);
    Window w = Shoot(peer, Screens[i][0], Screens[i][1]);
    if (!w) return false;
    peer.Close(w);
    if (!Gone(peer, Screens[i][0])) return false;
  }
  std::printf("Opening the game, then closing the menu with its close box...\n");
  Click(peer, menu, zindra::PlayButton, scale);
  Window game = peer.Find("game", 10000);
  if (!game) return false;
  // The game opened over the menu; bring the menu forward, as a player
  // would, to reach its close box.
  XRaiseWindow(peer.D, menu);
  XSync(peer.D, False);
  Click(peer, menu, zindra::CloseBox, scale);
  if (!Gone(peer, "ZINDRA")) return false;
  std::printf("Closing the game window...\n");
  peer.Close(game);
  return Gone(peer, "game");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zindra-demo OUTPUT_DIRECTORY\n");
    return 2;
  }
  OutputDirectory = argv[1];
  rig::Peer peer;
  bool walked = Walk(peer);
  std::fflush(stdout);
  return walked ? 0 : 1;
}
