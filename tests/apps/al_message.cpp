// Test application: SimpleWindow::Message on a window that is never opened.
#include <iostream>

#include "slate.h"

void ApiMain() {
  SimpleWindow window("Never Opened");
  window.Message("Hi there");
  std::cout << "returned" << std::endl;
}
