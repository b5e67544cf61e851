// GraphicManager: an ordered list of drawables that it owns and draws in order.
#include <iostream>

#include "internal.h"

GraphicManager::GraphicManager() : Size(0), Head(nullptr), Tail(nullptr), Cursor(nullptr) {}

GraphicManager::~GraphicManager() {
  EmptyList();
}

int GraphicManager::GetListSize() const {
  return Size;
}

int GraphicManager::IsEmpty() const {
  return Size == 0 ? 1 : 0;
}

void GraphicManager::AppendGraphic(GraphicNode* node) {
  if (node == nullptr) {
    slate::ShutDown(std::cout, "Unable to allocate memory in function: GraphicManager\n");
    return;
  }
  if (Tail != nullptr) {
    Tail->SetNext(node);
    Tail = node;
  } else {
    Head = node;
    Tail = node;
  }
  ++Size;
}

void GraphicManager::InsertGraphic(GraphicNode* node) {
  if (node == nullptr) {
    slate::ShutDown(std::cout, "Unable to allocate memory in function: InsertGraphic\n");
    return;
  }
  if (Head != nullptr) {
    node->SetNext(Head);
    Head = node;
  } else {
    Head = node;
    Tail = node;
  }
  ++Size;
}

GraphicNode* GraphicManager::First() {
  Cursor = Head;
  return Head;
}

GraphicNode* GraphicManager::Next() {
  if (Cursor == nullptr) return nullptr;
  Cursor = Cursor->GetNext();
  return Cursor;
}

void GraphicManager::EmptyList() {
  while (Head != nullptr) {
    GraphicNode* node = Head;
    Head = node->GetNext();
    delete node;
  }
  Size = 0;
  Tail = nullptr;
  // The cursor pointed into the deleted nodes; a walk must start again with First().
  Cursor = nullptr;
}

GraphicNode* GraphicManager::GetFirstMessage() const {
  for (GraphicNode* node = Head; node != nullptr; node = node->GetNext()) {
    if (node->GetType() == MessageGraphicType) return node;
  }
  return nullptr;
}

GraphicPosition GraphicManager::GetLowerRightOfFirstMessage() const {
  GraphicNode* message = GetFirstMessage();
  if (message != nullptr) return message->GetLowerRight();
  slate::ShutDown(std::cout,
                  "A request has been made to retrieve information from the "
                  "first item in a GraphicManager when there are no items "
                  "in the list.\n"
                  "The program is being terminated.\n");
  return DeviceOrigin;
}
