// The walk shape of the dependency queries: one tree at a time without
// recursion, and the named formulas reached from it each visited at most once
// per query. Trees may be a million levels deep and formulas may (when they
// were loaded without checks) refer to each other in a cycle; neither costs C
// stack nor more than one visit per formula. A cycle is therefore walked once
// around: whatever the formulas on it use counts, and the walk ends.
#pragma once

#include <cstdint>

#include "core/expressions.h"
#include "language/node_stack.h"
#include "language/language.h"

namespace xev::language {

using core::LockedExpressions;

enum class WalkStep { kDescend, kSkip, kStop };
enum class WalkEnd { kDone, kStopped, kNoMemory };

// Pushes the children of node so that they are visited left to right:
// operands of operators and ranges, the lists of calls and sets. Formula
// references have no children here; the closure below follows them.
bool PushChildren(NodeStack& stack, const ExprNode* node);

// Pre-order walk: visit(node) decides whether to go below the node, skip
// it, or end the walk.
template <typename Visit>
WalkEnd WalkTree(const ExprNode* root, Visit&& visit) {
  NodeStack stack;
  if (!stack.Push(root)) return WalkEnd::kNoMemory;
  while (const ExprNode* node = stack.Pop()) {
    WalkStep step = visit(node);
    if (step == WalkStep::kStop) return WalkEnd::kStopped;
    if (step == WalkStep::kDescend && !PushChildren(stack, node)) return WalkEnd::kNoMemory;
  }
  return WalkEnd::kDone;
}

// The named formulas reached during one query. Reach queues a formula by
// name the first time it is named (names resolve as XEVHEXPFromName does:
// the first expression of that name; unknown names are ignored); Next hands
// out queued formulas until none is left. Names resolve through the
// context's formula index; the marks of what was reached are allocated on
// first use, so queries over trees without references allocate nothing.
class FormulaClosure {
 public:
  explicit FormulaClosure(const ExprContext* ec) : ec_(ec), expressions_(ec) {}
  ~FormulaClosure();
  FormulaClosure(const FormulaClosure&) = delete;
  FormulaClosure& operator=(const FormulaClosure&) = delete;

  // False when the index could not be allocated.
  bool Reach(const char* name);
  // Root of the next queued formula, or nullptr when the queue is empty.
  const ExprNode* Next();
  // Forgets what was reached, keeping the name index, so one closure can
  // serve a query per expression without indexing the names each time.
  void Restart();
  // Ordinal of the formula a reference names, or -1 for an unknown name (or
  // when the index could not be allocated: see outOfMemory).
  int32_t Resolve(const char* name);
  uint32_t count() const { return expressions_.count(); }
  ExprRecord* record(uint32_t ordinal) const { return expressions_[ordinal]; }
  bool outOfMemory() const { return outOfMemory_; }

 private:
  bool AllocateMarks();

  const ExprContext* ec_;
  LockedExpressions expressions_;
  void* block_ = nullptr;
  uint8_t* reached_ = nullptr;
  int32_t* queue_ = nullptr;
  uint32_t queued_ = 0;
  uint32_t taken_ = 0;
  bool outOfMemory_ = false;
};

// Walks root the way the recursion check of a new formula does: operators
// and call arguments, and through references into the formulas they name.
// Returns 1 when the tree refers to the formula name (directly or through
// other formulas), with *reference the reference in root's own tree through
// which it does; 0 when it does not; -1 when memory ran out.
int32_t FindReferenceTo(const ExprContext* ec, const ExprNode* root, const char* name, const ExprNode** reference);

// XEVIsItemUsed for kinds 0, 1 and 2 with running out of memory told apart:
// 1 used, 0 not used, -1 no memory. Deleting items needs the difference.
int32_t ExpressionUsesItem(const ExprContext* ec, const ExprNode* root, int16_t kind, const char* name);

// True when another expression than skip refers to the named formula.
bool NamedFormulaUsedByOthers(ExprContext* ec, const char* name, const ExprRecord* skip);

}  // namespace xev::language
