// The ZINDRA menu as the reliability tests drive it: where the binary and its
// pictures are, the screen scale the tests run at, and the click map with the
// title of the window each button opens.
#ifndef SLATE_TESTS_MENU_SUPPORT_H
#define SLATE_TESTS_MENU_SUPPORT_H

#include <string>

const std::string kZindra = SLATE_BINARY_DIR "/app/zindra";
const std::string kZindraDir = SLATE_BINARY_DIR "/app";  // holds the pictures
constexpr int kScale = 66;                               // pixels per cm on a 1920-pixel screen

// A region of the menu window in centimetres, and the title of what it opens.
struct Button {
  double left, right, top, bottom;
  const char* opens;
};
constexpr Button kButtons[5] = {
    {10.518, 14.688, 1.968, 3.114, "game"},     {10.518, 14.688, 3.642, 4.716, "HIGHSCORES"},
    {10.518, 14.688, 5.25, 6.582, "OPTIONS"},   {10.518, 14.688, 7.026, 8.316, "about game and instructions"},
    {10.518, 14.688, 8.7, 10.14, "more games"},
};
constexpr Button kCloseBox = {0.54, 1.44, 0.676, 1.86, nullptr};

#endif  // SLATE_TESTS_MENU_SUPPORT_H
