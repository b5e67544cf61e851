// The counter as asked: each line flushed with std::endl.
#include <iostream>

#include "slate.h"

SimpleWindow window("Counter", 8.0f, 6.0f, Position(1.0f, 1.0f));
int count = 0;

void ApiMain() {
  window.Open();
  window.RenderRectangle(Position(1.0f, 1.0f), Position(2.0f, 2.0f), Red);
  window.SetMouseClickCallback([](const Position&) {
    std::cout << "count " << ++count << std::endl;
    return 0;
  });
  window.SetKeyPressCallback([](const Key& key) { return key.Symbol == KeyEscape ? window.Close() : 0; });
}
