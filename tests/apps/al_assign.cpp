// Test application: an open window is assigned to, which the library refuses
// with two alerts (assignment, then copy) and then shuts the program down.
#include <iostream>

#include "slate.h"

namespace {

int OnQuit() {
  std::cout << "quit" << std::endl;
  return 0;
}

}  // namespace

void ApiMain() {
  static SimpleWindow target("Target", 4.0f, 3.0f, Position(0.5f, 0.5f));
  SimpleWindow source("Source");
  target.Open();
  target.SetQuitCallback(OnQuit);
  target = source;
  std::cout << "assigned" << std::endl;
}
