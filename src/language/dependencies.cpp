// Dependency queries: which expressions use an item, a named formula, a
// function with a data item argument, or an aggregate function.
#include "language/dependencies.h"

#include "core/formula_index.h"

#include <cstring>

#include "xev/xev.h"

namespace xev::language {

using namespace xev::core;

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
  if (core::HasOperandPair(node->kind))
    return stack.Push(static_cast<const ExprNode*>(node->right)) && stack.Push(static_cast<const ExprNode*>(node->left));
  if (node->kind == NK_FUNCTION || node->kind == NK_SET) return PushListReversed(stack, node->right);
  return true;
}

// ---- FormulaClosure ----------------------------------------------------------------

FormulaClosure::~FormulaClosure() { HostFree(block_); }

bool FormulaClosure::AllocateMarks() {
  uint32_t count = expressions_.count();
  block_ = HostAlloc(sizeof(int32_t) * count + count);
  if (block_ == nullptr) {
    outOfMemory_ = true;
    return false;
  }
  queue_ = static_cast<int32_t*>(block_);
  reached_ = reinterpret_cast<uint8_t*>(queue_ + count);
  return true;
}

bool FormulaClosure::Reach(const char* name) {
  if (name == nullptr || expressions_.count() == 0) return true;
  int32_t ordinal = FormulaIndexFind(ec_, name);
  if (ordinal < 0) return true;
  if (block_ == nullptr && !AllocateMarks()) return false;
  if (reached_[ordinal] != 0) return true;
  reached_[ordinal] = 1;
  queue_[queued_++] = ordinal;
  return true;
}

int32_t FormulaClosure::Resolve(const char* name) {
  if (name == nullptr || expressions_.count() == 0) return -1;
  return FormulaIndexFind(ec_, name);
}

void FormulaClosure::Restart() {
  for (uint32_t i = 0; i < queued_; ++i) reached_[queue_[i]] = 0;
  queued_ = 0;
  taken_ = 0;
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

enum class Match { kYes, kDescend, kSkip };

// The one search every boolean query makes: test each node of root and of
// the formulas it reaches, each formula once. test answers for the node
// itself; references are followed here, after test has had its say.
// 1 when some node answered yes, 0 when none did, -1 when memory ran out.
template <typename Test>
int32_t SearchReached(FormulaClosure& closure, const ExprNode* root, Test&& test) {
  bool memoryOk = true;
  auto visit = [&](const ExprNode* node) {
    Match match = test(node);
    if (match == Match::kYes) return WalkStep::kStop;
    if (node->kind == NK_FORMULAREF) {
      memoryOk = closure.Reach(NodeName(node));
      return memoryOk ? WalkStep::kSkip : WalkStep::kStop;
    }
    return match == Match::kDescend ? WalkStep::kDescend : WalkStep::kSkip;
  };
  for (const ExprNode* tree = root; tree != nullptr; tree = closure.Next()) {
    WalkEnd end = WalkTree(tree, visit);
    if (end == WalkEnd::kNoMemory || !memoryOk) return -1;
    if (end == WalkEnd::kStopped) return 1;
  }
  return 0;
}

int32_t SearchReached(const ExprContext* ec, const ExprNode* root, auto&& test) {
  FormulaClosure closure(ec);
  return SearchReached(closure, root, test);
}

// The uses test of XEVIsItemUsed for kinds 0 (function), 1 (data item) and
// 2 (named formula).
auto UsesTest(int16_t kind, const char* name) {
  return [kind, name](const ExprNode* node) {
    switch (node->kind) {
      case NK_ITEM:
        return kind == XEV_ITEM_DATA && SameName(NodeName(node), name) ? Match::kYes : Match::kSkip;
      case NK_FUNCTION:
      case NK_SET:
        return kind == XEV_ITEM_FUNCTION && SameName(NodeName(node), name) ? Match::kYes : Match::kDescend;
      case NK_FORMULAREF:
        return kind == XEV_ITEM_FORMULA && SameName(NodeName(node), name) ? Match::kYes : Match::kSkip;
      default:
        return IsOperatorKind(node->kind) || node->kind == NK_RANGE ? Match::kDescend : Match::kSkip;
    }
  };
}

bool IsQueryKind(int16_t kind) {
  return kind == XEV_ITEM_FUNCTION || kind == XEV_ITEM_DATA || kind == XEV_ITEM_FORMULA;
}

// Simple (a constant) and simple input (one data item) expressions are the
// ones a host can show without evaluating a formula.
bool IsComplexRoot(const ExprNode* root) {
  switch (root->kind) {
    case NK_NUMBER:
    case NK_STRING:
    case NK_DATE:
    case NK_ITEM: return false;
    default: return true;
  }
}

bool ListHoldsItemNamed(void* listHandle, const char* name) {
  auto list = static_cast<HGLOBAL>(listHandle);
  uint32_t count = HandleArrayCount(list);
  if (count == 0) return false;
  auto** nodes = static_cast<ExprNode**>(HandleArrayLockElement(list, 0));
  if (nodes == nullptr) return false;
  bool found = false;
  for (uint32_t i = 0; i < count && !found; ++i) {
    found = nodes[i] != nullptr && nodes[i]->kind == NK_ITEM && SameName(NodeName(nodes[i]), name);
  }
  HandleArrayUnlock(list);
  return found;
}

const ExprContext* OwnerOf(const ExprContext* ec, HEXP exp) { return ec != nullptr ? ec : exp->ec; }

}  // namespace

int32_t ExpressionUsesItem(const ExprContext* ec, const ExprNode* root, int16_t kind, const char* name) {
  if (root == nullptr || name == nullptr || !IsQueryKind(kind)) return 0;
  return SearchReached(ec, root, UsesTest(kind, name));
}

namespace {

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

}  // namespace xev::language

extern "C" {

// When memory runs out the queries answer "not used": a false "used" could
// hand an innocent formula to a delete callback, which destroys it.
XEV_API int32_t XEV_CALL XEVIsItemUsed(ExprContext* ec, HEXP exp, int16_t kind, const char* name) {
  if (exp == nullptr) return 0;
  return xev::language::ExpressionUsesItem(xev::language::OwnerOf(ec, exp), exp->root, kind, name) == 1 ? 1 : 0;
}

XEV_API int32_t XEV_CALL XEVIsNamedFormulaUsed(ExprContext* ec, const char* name) {
  if (ec == nullptr) return 0;
  return xev::language::NamedFormulaUsedByOthers(ec, name, nullptr) ? 1 : 0;
}

XEV_API int32_t XEV_CALL XEVIsItemUsedInComplex(ExprContext* ec, const char* name) {
  using namespace xev::core;
  using namespace xev::language;
  if (ec == nullptr || name == nullptr) return 0;
  // One closure for all expressions: the name index is built once and only
  // what each search reached is forgotten between them.
  FormulaClosure closure(ec);
  auto test = UsesTest(XEV_ITEM_DATA, name);
  for (uint32_t ordinal = 0; ordinal < closure.count(); ++ordinal) {
    const ExprNode* root = closure.record(ordinal)->root;
    if (root == nullptr || !IsComplexRoot(root)) continue;
    closure.Restart();
    int32_t used = SearchReached(closure, root, test);
    if (used < 0) return 0;
    if (used == 1) return 1;
  }
  return 0;
}

XEV_API int32_t XEV_CALL XEVIsFunctionVariableUsed(ExprContext* ec, HEXP exp, const char* function,
                                                   const char* item) {
  using namespace xev::core;
  using namespace xev::language;
  if (exp == nullptr || function == nullptr || item == nullptr) return 0;
  auto test = [function, item](const ExprNode* node) {
    if ((node->kind == NK_FUNCTION || node->kind == NK_SET) && SameName(NodeName(node), function) &&
        ListHoldsItemNamed(node->right, item)) {
      return Match::kYes;
    }
    return Match::kDescend;
  };
  return SearchReached(OwnerOf(ec, exp), exp->root, test) == 1 ? 1 : 0;
}

// Only function records carry parameter entries; data and keyword items
// are stored without them, so they are never aggregates.
XEV_API int32_t XEV_CALL XEVIsItemAggregate(ExprContext* ec, int16_t kind, const char* name) {
  if (ec == nullptr || name == nullptr || kind != XEV_ITEM_FUNCTION) return 0;
  return xev::core::IsAggregateFunction(ec->functionItems, name) != 0 ? 1 : 0;
}

XEV_API int32_t XEV_CALL XEVIsAggregateUsed(ExprContext* ec, HEXP exp) {
  using namespace xev::core;
  using namespace xev::language;
  if (exp == nullptr) return 0;
  const ExprContext* owner = OwnerOf(ec, exp);
  if (owner == nullptr) return 0;
  HGLOBAL functions = owner->functionItems;
  auto test = [functions](const ExprNode* node) {
    if (node->kind == NK_FUNCTION && IsAggregateFunction(functions, NodeName(node)) != 0) return Match::kYes;
    return Match::kDescend;
  };
  return SearchReached(owner, exp->root, test) == 1 ? 1 : 0;
}

XEV_API int32_t XEV_CALL XEVEnumExpReferences(ExprContext* ec, HEXP exp, XEVEnumReferencesCallback callback,
                                              intptr_t user) {
  using namespace xev::core;
  using namespace xev::language;
  if (exp == nullptr || callback == nullptr) return 0;
  ExprContext* owner = ec != nullptr ? ec : exp->ec;
  // The same descent as the uses test, so that following the formulas listed
  // here gives exactly what XEVIsItemUsed answers.
  auto visit = [&](const ExprNode* node) {
    int16_t kind = -1;
    WalkStep step = WalkStep::kSkip;
    switch (node->kind) {
      case NK_ITEM: kind = XEV_ITEM_DATA; break;
      case NK_FORMULAREF: kind = XEV_ITEM_FORMULA; break;
      case NK_FUNCTION:
      case NK_SET:
        kind = XEV_ITEM_FUNCTION;
        step = WalkStep::kDescend;
        break;
      default:
        if (IsOperatorKind(node->kind) || node->kind == NK_RANGE) step = WalkStep::kDescend;
    }
    if (kind >= 0 && NodeName(node) != nullptr && callback(owner, kind, NodeName(node), user) == 0) {
      return WalkStep::kStop;
    }
    return step;
  };
  if (exp->root == nullptr) return 1;
  return WalkTree(exp->root, visit) == WalkEnd::kDone ? 1 : 0;
}

}  // extern "C"
