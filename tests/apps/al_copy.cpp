// Test application: an open window is copied, which the library refuses
// with an alert and then shuts the program down.
#include <iostream>

#include "slate.h"

namespace {

int OnQuit() {
  std::cout << "quit" << std::endl;
  return 0;
}

}  // namespace

void ApiMain() {
  static SimpleWindow original("Original", 4.0f, 3.0f, Position(0.5f, 0.5f));
  original.Open();
  original.SetQuitCallback(OnQuit);
  SimpleWindow copy(original);
  std::cout << "copied" << std::endl;
}
