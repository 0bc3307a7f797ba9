// A stack of parse tree nodes for walks that must not recurse: a chain of
// left-associative operators is as deep as it is long, and a million levels
// of C stack is more than any thread has. Small walks never allocate.
#pragma once

#include <cstdint>

#include "language/language.h"

namespace xev::language {

class NodeStack {
 public:
  NodeStack() = default;
  ~NodeStack();
  NodeStack(const NodeStack&) = delete;
  NodeStack& operator=(const NodeStack&) = delete;

  // False when the stack could not grow; a null node is not pushed.
  bool Push(const ExprNode* node);
  // The node pushed last, or nullptr when the stack is empty.
  const ExprNode* Pop() { return size_ == 0 ? nullptr : items_[--size_]; }

 private:
  static constexpr uint32_t kInline = 64;
  const ExprNode* inline_[kInline];
  const ExprNode** items_ = inline_;
  uint32_t size_ = 0;
  uint32_t capacity_ = kInline;
};

}  // namespace xev::language
