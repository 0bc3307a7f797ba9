#include "language/node_stack.h"

#include <cstring>

#include "xev/xevhost.h"

namespace xev::language {


NodeStack::~NodeStack() {
  if (items_ != inline_) HostFree(items_);
}

bool NodeStack::Push(const ExprNode* node) {
  if (node == nullptr) return true;
  if (size_ == capacity_) {
    if (capacity_ > UINT32_MAX / 2) return false;
    uint32_t capacity = capacity_ * 2;
    size_t bytes = sizeof(const ExprNode*) * capacity;
    const ExprNode** grown;
    if (items_ == inline_) {
      grown = static_cast<const ExprNode**>(HostAlloc(bytes));
      if (grown != nullptr) std::memcpy(grown, inline_, sizeof inline_);
    } else {
      grown = static_cast<const ExprNode**>(HostRealloc(items_, bytes));
    }
    if (grown == nullptr) return false;
    items_ = grown;
    capacity_ = capacity;
  }
  items_[size_++] = node;
  return true;
}

}  // namespace xev::language
