// Dependency queries: which expressions use an item or a named formula.
#include "core/dependencies.h"

#include <cstring>

#include "xev/xev.h"

namespace xev::core {

using namespace xev::language;

// ---- NodeStack ------------------------------------------------------------------

NodeStack::~NodeStack() {
  if (items_ != inline_) HostFree(items_);
}

bool NodeStack::Push(const ExprNode* node) {
  if (node == nullptr) return true;
  if (size_ == capacity_) {
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

namespace {

bool PushListReversed(NodeStack& stack, void* listHandle) {
  auto list = static_cast<HGLOBAL>(listHandle);
  uint32_t count = HandleArrayCount(list);
  if (count == 0) return true;
  auto** nodes = static_cast<ExprNode**>(HandleArrayLockElement(list, 0));
  if (nodes == nullptr) return true;
  bool ok = true;
  for (uint32_t i = count; i > 0 && ok; --i) ok = stack.Push(nodes[i - 1]);
  HandleArrayUnlock(list);
  return ok;
}

}  // namespace

bool PushChildren(NodeStack& stack, const ExprNode* node) {
  switch (node->kind) {
    case NK_MOD:
    case NK_MUL:
    case NK_ADD:
    case NK_SUB:
    case NK_DIV:
    case NK_CONCAT:
    case NK_RANGE:
      return stack.Push(static_cast<const ExprNode*>(node->right)) &&
             stack.Push(static_cast<const ExprNode*>(node->left));
    case NK_FUNCTION:
    case NK_SET:
      return PushListReversed(stack, node->right);
    default:
      return true;
  }
}

// ---- FormulaClosure ----------------------------------------------------------------

namespace {

uint32_t HashName(const char* name) {
  uint32_t hash = 2166136261u;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
    hash = (hash ^ *p) * 16777619u;
  }
  return hash;
}

}  // namespace

FormulaClosure::~FormulaClosure() { HostFree(block_); }

bool FormulaClosure::BuildIndex() {
  uint32_t count = expressions_.count();
  uint32_t slotCount = 16;
  while (slotCount < count * 2) slotCount *= 2;
  size_t bytes = sizeof(int32_t) * (slotCount + count) + count;
  block_ = HostAlloc(bytes);
  if (block_ == nullptr) {
    outOfMemory_ = true;
    return false;
  }
  slots_ = static_cast<int32_t*>(block_);
  queue_ = slots_ + slotCount;
  reached_ = reinterpret_cast<uint8_t*>(queue_ + count);
  slotMask_ = slotCount - 1;
  // Inserted in ordinal order, keeping only the first of equal names, so a
  // lookup answers what XEVHEXPFromName would.
  for (uint32_t ordinal = 0; ordinal < count; ++ordinal) {
    const char* name = expressions_[ordinal]->name;
    if (name == nullptr) continue;
    uint32_t slot = HashName(name) & slotMask_;
    bool duplicate = false;
    while (slots_[slot] != 0 && !duplicate) {
      duplicate = SameName(expressions_[static_cast<uint32_t>(slots_[slot] - 1)]->name, name);
      slot = (slot + 1) & slotMask_;
    }
    if (!duplicate) slots_[slot] = static_cast<int32_t>(ordinal + 1);
  }
  return true;
}

int32_t FormulaClosure::Find(const char* name) const {
  for (uint32_t slot = HashName(name) & slotMask_; slots_[slot] != 0; slot = (slot + 1) & slotMask_) {
    int32_t ordinal = slots_[slot] - 1;
    if (SameName(expressions_[static_cast<uint32_t>(ordinal)]->name, name)) return ordinal;
  }
  return -1;
}

bool FormulaClosure::Reach(const char* name) {
  if (name == nullptr || expressions_.count() == 0) return true;
  if (block_ == nullptr && !BuildIndex()) return false;
  int32_t ordinal = Find(name);
  if (ordinal < 0 || reached_[ordinal] != 0) return true;
  reached_[ordinal] = 1;
  queue_[queued_++] = ordinal;
  return true;
}

const ExprNode* FormulaClosure::Next() {
  while (taken_ < queued_) {
    const ExprNode* root = expressions_[static_cast<uint32_t>(queue_[taken_++])]->root;
    if (root != nullptr) return root;
  }
  return nullptr;
}

// ---- Queries ---------------------------------------------------------------------------

namespace {

const char* NodeName(const ExprNode* node) { return static_cast<const char*>(node->left); }

// XEVIsItemUsed for kinds 0, 1 and 2. When memory runs out the answer is
// "not used": a false "used" would hand an innocent formula to a delete
// callback, which destroys it.
bool TreeUsesItem(const ExprContext* ec, const ExprNode* root, int16_t kind, const char* name) {
  FormulaClosure closure(ec);
  bool memoryOk = true;
  auto visit = [&](const ExprNode* node) {
    switch (node->kind) {
      case NK_ITEM:
        return kind == XEV_ITEM_DATA && SameName(NodeName(node), name) ? WalkStep::kStop : WalkStep::kSkip;
      case NK_FUNCTION:
      case NK_SET:
        return kind == XEV_ITEM_FUNCTION && SameName(NodeName(node), name) ? WalkStep::kStop : WalkStep::kDescend;
      case NK_FORMULAREF:
        if (kind == XEV_ITEM_FORMULA && SameName(NodeName(node), name)) return WalkStep::kStop;
        memoryOk = closure.Reach(NodeName(node));
        return memoryOk ? WalkStep::kSkip : WalkStep::kStop;
      default:
        return IsOperatorKind(node->kind) || node->kind == NK_RANGE ? WalkStep::kDescend : WalkStep::kSkip;
    }
  };
  for (const ExprNode* tree = root; tree != nullptr; tree = closure.Next()) {
    WalkEnd end = WalkTree(tree, visit);
    if (end == WalkEnd::kNoMemory || !memoryOk) return false;
    if (end == WalkEnd::kStopped) return true;
  }
  return false;
}

// True when the tree itself (references not followed) names the formula.
// Out of memory counts as "refers": the callers use the answer to refuse
// destroying or retyping a formula, which is the safe side.
bool TreeRefersTo(const ExprNode* root, const char* name) {
  auto visit = [name](const ExprNode* node) {
    if (node->kind == NK_FORMULAREF) return SameName(NodeName(node), name) ? WalkStep::kStop : WalkStep::kSkip;
    return WalkStep::kDescend;
  };
  return WalkTree(root, visit) != WalkEnd::kDone;
}

bool RecursionCheckDescends(const ExprNode* node) {
  return IsOperatorKind(node->kind) || node->kind == NK_FUNCTION;
}

}  // namespace

bool NamedFormulaUsedByOthers(ExprContext* ec, const char* name, const ExprRecord* skip) {
  if (name == nullptr) return false;
  // A formula that reaches the named one through others passes through a
  // formula that names it directly, and that formula is an expression of the
  // context too; so looking at every tree without following references gives
  // the same answer as following them from each expression, in linear time.
  LockedExpressions expressions(ec);
  for (ExprRecord* exp : expressions) {
    if (exp != skip && exp->root != nullptr && TreeRefersTo(exp->root, name)) return true;
  }
  return false;
}

int32_t FindReferenceTo(const ExprContext* ec, const ExprNode* root, const char* name, const ExprNode** reference) {
  FormulaClosure closure(ec);
  bool memoryOk = true;
  bool reached = false;
  // Inside referenced formulas: does anything reached name the formula?
  auto inner = [&](const ExprNode* node) {
    if (node->kind == NK_FORMULAREF) {
      if (SameName(NodeName(node), name)) {
        reached = true;
        return WalkStep::kStop;
      }
      memoryOk = closure.Reach(NodeName(node));
      return memoryOk ? WalkStep::kSkip : WalkStep::kStop;
    }
    return RecursionCheckDescends(node) ? WalkStep::kDescend : WalkStep::kSkip;
  };
  auto outer = [&](const ExprNode* node) {
    if (node->kind != NK_FORMULAREF) return RecursionCheckDescends(node) ? WalkStep::kDescend : WalkStep::kSkip;
    if (SameName(NodeName(node), name)) {
      reached = true;
    } else if (!(memoryOk = closure.Reach(NodeName(node)))) {
      return WalkStep::kStop;
    }
    // Formulas seen through earlier references stay marked, so each formula
    // is walked at most once however often it is named.
    for (const ExprNode* tree = closure.Next(); tree != nullptr && !reached && memoryOk; tree = closure.Next()) {
      if (WalkTree(tree, inner) == WalkEnd::kNoMemory) memoryOk = false;
    }
    if (reached) *reference = node;
    return reached || !memoryOk ? WalkStep::kStop : WalkStep::kSkip;
  };
  WalkEnd end = WalkTree(root, outer);
  if (end == WalkEnd::kNoMemory || !memoryOk) return -1;
  return reached ? 1 : 0;
}

}  // namespace xev::core

extern "C" {

XEV_API int32_t XEV_CALL XEVIsItemUsed(ExprContext* ec, HEXP exp, int16_t kind, const char* name) {
  if (exp == nullptr || name == nullptr) return 0;
  if (kind != XEV_ITEM_FUNCTION && kind != XEV_ITEM_DATA && kind != XEV_ITEM_FORMULA) return 0;
  const ExprContext* context = ec != nullptr ? ec : exp->ec;
  return xev::core::TreeUsesItem(context, exp->root, kind, name) ? 1 : 0;
}

XEV_API int32_t XEV_CALL XEVIsNamedFormulaUsed(ExprContext* ec, const char* name) {
  if (ec == nullptr) return 0;
  return xev::core::NamedFormulaUsedByOthers(ec, name, nullptr) ? 1 : 0;
}

}  // extern "C"
