// Type your name, in any language: letters come as the keyboard and its
// input method type them (é, ж, λ, dead keys and compose included), in
// UTF-8. BackSpace takes the last character back, Return greets you on
// standard output, Escape starts again. The field shows a hint while the
// pointer is over the window.
#include <iostream>
#include <string>

#include "slate.h"

namespace {

SimpleWindow window("Your name", 12.0f, 4.0f, Position(1.0f, 1.0f));
std::string name;
bool hovered = false;

const Typeface Label(0.5f), Field(0.8f);

// The last character of UTF-8 text: its first byte is not 10xxxxxx.
void RemoveLastCharacter(std::string& text) {
  while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xc0) == 0x80) text.pop_back();
  if (!text.empty()) text.pop_back();
}

void Show() {
  window.RenderRectangle(Position(0.5f, 1.3f), Position(11.5f, 2.5f), White);
  window.RenderRectangleOutline(Position(0.5f, 1.3f), Position(11.5f, 2.5f), Black, 0.03f);
  window.WriteText(Position(0.7f, 1.5f), name + "|", Field, Blue);
  window.RenderRectangle(Position(0.5f, 2.9f), Position(11.5f, 3.6f), White);
  if (hovered)
    window.WriteText(Position(6.0f, 3.0f), "BackSpace erases, Return says hello", Label, Black, AlignCenter);
}

int Typed(const Key& key) {
  if (key.Symbol == KeyBackSpace) {
    RemoveLastCharacter(name);
  } else if (key.Symbol == KeyReturn) {
    std::cout << "Hello, " << name << "!" << std::endl;
  } else if (key.Symbol == KeyEscape) {
    name.clear();
  } else {
    name += key.Text;  // empty for keys that type nothing
  }
  Show();
  return 0;
}

}  // namespace

void ApiMain() {
  window.Open();
  window.SetResizable(false);
  window.WriteText(Position(0.5f, 0.4f), "Type your name:", Label, Black);
  window.SetKeyPressCallback(Typed);
  window.SetMouseEnterCallback([](const Position&) {
    hovered = true;
    Show();
  });
  window.SetMouseLeaveCallback([](const Position&) {
    hovered = false;
    Show();
  });
  Show();
}
