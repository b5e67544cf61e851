// Test application: an open window "Backdrop" whose click callback shows an
// alert with SimpleWindow::Message. The window's refresh, quit and timer
// callbacks print "refresh", "quit" and "tick", so that a test can see which
// of its events get through while the box is up.
#include <iostream>

#include "slate.h"

namespace {

SimpleWindow backdrop("Backdrop", 6.0f, 4.0f, Position(0.5f, 0.5f));

int OnClick(const Position&) {
  std::cout << "click" << std::endl;
  backdrop.Message("Backdrop message");
  std::cout << "message returned" << std::endl;
  return 0;
}

int OnRefresh() {
  std::cout << "refresh" << std::endl;
  return 0;
}

int OnQuit() {
  std::cout << "quit" << std::endl;
  return 0;
}

int OnTimer() {
  std::cout << "tick" << std::endl;
  return 0;
}

}  // namespace

void ApiMain() {
  backdrop.Open();
  backdrop.SetMouseClickCallback(OnClick);
  backdrop.SetRefreshCallback(OnRefresh);
  backdrop.SetQuitCallback(OnQuit);
  backdrop.SetTimerCallback(OnTimer);
  backdrop.StartTimer(20);
  std::cout << "ready" << std::endl;
}
