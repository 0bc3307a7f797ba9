// Arranging formulas in evaluation order and keeping their values a row.
// The arrangement is a depth-first walk with a stack of its own, so a chain
// of a hundred thousand references costs heap, not C stack, and each formula
// is visited once however many others name it.
#include "eval/formula_values.h"

#include <cstring>

#include "core/item_index.h"
#include "language/node_stack.h"
#include "language/language.h"

namespace xev::eval {

using language::ExprNode;

namespace {

// A growable stack of plain records in a host block.
template <class T>
class HostStack {
 public:
  HostStack() = default;
  ~HostStack() { HostFree(items_); }
  HostStack(const HostStack&) = delete;
  HostStack& operator=(const HostStack&) = delete;

  bool Push(const T& item) {
    if (size_ == capacity_ && !Grow()) return false;
    items_[size_++] = item;
    return true;
  }
  T Pop() { return items_[--size_]; }
  bool empty() const { return size_ == 0; }

 private:
  bool Grow() {
    uint32_t capacity = capacity_ == 0 ? 64 : capacity_ * 2;
    void* grown = items_ == nullptr ? HostAlloc(sizeof(T) * capacity) : HostRealloc(items_, sizeof(T) * capacity);
    if (grown == nullptr) return false;
    items_ = static_cast<T*>(grown);
    capacity_ = capacity;
    return true;
  }

  T* items_ = nullptr;
  uint32_t size_ = 0;
  uint32_t capacity_ = 0;
};

bool IsValuedOperator(const ExprNode* node) {
  switch (node->kind) {
    case language::NK_ADD:
    case language::NK_SUB:
    case language::NK_MUL:
    case language::NK_DIV:
    case language::NK_CONCAT: return node->left != nullptr && node->right != nullptr;
    default: return false;
  }
}

// Pushes the arguments a call evaluates: none without an entry point or a
// result shape, and none passed by name or beyond the parameters.
bool PushEvaluatedArguments(ExprContext* ec, language::NodeStack& nodes, const ExprNode* call) {
  const ExpItem* item = core::FindFunctionItem(ec, static_cast<const char*>(call->left));
  const int16_t type = call->type;
  if (item == nullptr || item->boundValue == 0 || type < 0 || (type > XEV_TYPE_KEYWORD && type < 255)) return true;
  auto list = static_cast<core::HGLOBAL>(call->right);
  if (list == nullptr) return true;
  int32_t parameters = item->paramCount > 0 ? item->paramCount : 0;
  int32_t listed = static_cast<int32_t>(core::HandleArrayCount(list));
  int32_t given = listed < parameters ? listed : parameters;
  if (given == 0) return true;
  auto** arguments = static_cast<ExprNode**>(core::HandleArrayLockElement(list, 0));
  if (arguments == nullptr) return true;
  bool ok = true;
  for (int32_t i = given - 1; i >= 0 && ok; --i) {
    if (item->params[i].byName != 1) ok = nodes.Push(arguments[i]);
  }
  core::HandleArrayUnlock(list);
  return ok;
}

}  // namespace

// The walk of Arrange: formulas wait on a stack, each first to be expanded
// (the formulas its tree evaluates pushed above it), then to be finished.
class Arranger {
 public:
  Arranger(ExprContext* ec, FormulaValues& values) : ec_(ec), values_(values) {}

  FormulaValues::Arranged Run(const HEXP* wanted, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
      if (wanted[i] == nullptr) continue;
      if (!pending_.Push(Visit{wanted[i], false})) return FormulaValues::Arranged::kNoMemory;
      if (!Drain()) return FormulaValues::Arranged::kNoMemory;
      if (cycle_) return FormulaValues::Arranged::kCycle;
    }
    return FormulaValues::Arranged::kDone;
  }

 private:
  struct Visit {
    HEXP exp;
    bool expanded;
  };

  bool Drain() {
    while (!pending_.empty() && !cycle_) {
      Visit visit = pending_.Pop();
      if (visit.expanded) {
        if (!values_.Finish(visit.exp)) return false;
        continue;
      }
      if (const FormulaValues::Mark* mark = values_.MarkOf(visit.exp)) {
        // Still in progress: it is being arranged further down, so it uses itself.
        cycle_ = mark->entry == FormulaValues::kInProgress;
        continue;
      }
      if (!values_.Begin(visit.exp) || !pending_.Push(Visit{visit.exp, true}) || !PushUses(visit.exp)) return false;
    }
    return true;
  }

  // The formulas exp's tree evaluates through references, pushed to be expanded.
  bool PushUses(HEXP exp) {
    language::NodeStack nodes;
    if (!nodes.Push(exp->root)) return false;
    while (const ExprNode* node = nodes.Pop()) {
      if (node->kind == language::NK_FORMULAREF) {
        HEXP used = XEVHEXPFromName(ec_, static_cast<const char*>(node->left));
        if (used != nullptr && used->root != nullptr && !pending_.Push(Visit{used, false})) return false;
      } else if (IsValuedOperator(node)) {
        if (!nodes.Push(static_cast<const ExprNode*>(node->right)) ||
            !nodes.Push(static_cast<const ExprNode*>(node->left))) {
          return false;
        }
      } else if (node->kind == language::NK_FUNCTION && !PushEvaluatedArguments(ec_, nodes, node)) {
        return false;
      }
    }
    return true;
  }

  ExprContext* ec_;
  FormulaValues& values_;
  HostStack<Visit> pending_;
  bool cycle_ = false;
};

FormulaValues::~FormulaValues() {
  Clear();
  HostFree(entries_);
  HostFree(marks_);
}

void FormulaValues::Clear() {
  for (int32_t i = 0; i < count_; ++i) ReleaseValue(entries_[i].value);
  count_ = 0;
  if (marks_ != nullptr) std::memset(marks_, 0, sizeof(Mark) * (static_cast<size_t>(mask_) + 1));
  marked_ = 0;
}

FormulaValues::Arranged FormulaValues::Arrange(ExprContext* ec, const HEXP* wanted, int32_t count) {
  Clear();
  ++stamp_;
  generation_ = ec->generation;
  Arranger arranger(ec, *this);
  Arranged arranged = arranger.Run(wanted, count);
  if (arranged != Arranged::kDone) Clear();
  return arranged;
}

uint32_t FormulaValues::Slot(HEXP exp) const {
  if (marks_ == nullptr) return 0;
  uint64_t bits = reinterpret_cast<uintptr_t>(exp) >> 4;
  uint32_t at = static_cast<uint32_t>((bits * 0x9E3779B97F4A7C15ull) >> 32) & mask_;
  while (marks_[at].exp != nullptr && marks_[at].exp != exp) at = (at + 1) & mask_;
  return at;
}

const FormulaValues::Mark* FormulaValues::MarkOf(HEXP exp) const {
  if (marks_ == nullptr) return nullptr;
  const Mark& mark = marks_[Slot(exp)];
  return mark.exp == exp ? &mark : nullptr;
}

int32_t FormulaValues::IndexOf(HEXP exp) const {
  const Mark* mark = MarkOf(exp);
  return mark != nullptr ? mark->entry : -1;
}

bool FormulaValues::GrowMarks() {
  uint32_t capacity = marks_ == nullptr ? 64 : (mask_ + 1) * 2;
  auto* grown = static_cast<Mark*>(HostAlloc(sizeof(Mark) * capacity));
  if (grown == nullptr) return false;
  Mark* old = marks_;
  uint32_t oldCapacity = marks_ == nullptr ? 0 : mask_ + 1;
  marks_ = grown;
  mask_ = capacity - 1;
  for (uint32_t i = 0; i < oldCapacity; ++i) {
    if (old[i].exp != nullptr) marks_[Slot(old[i].exp)] = old[i];
  }
  HostFree(old);
  return true;
}

bool FormulaValues::GrowEntries() {
  int32_t capacity = capacity_ == 0 ? 16 : capacity_ * 2;
  size_t bytes = sizeof(Entry) * static_cast<size_t>(capacity);
  void* grown = entries_ == nullptr ? HostAlloc(bytes) : HostRealloc(entries_, bytes);
  if (grown == nullptr) return false;
  entries_ = static_cast<Entry*>(grown);
  capacity_ = capacity;
  return true;
}

bool FormulaValues::Begin(HEXP exp) {
  if ((marked_ + 1) * 2 > (marks_ == nullptr ? 0 : mask_ + 1) && !GrowMarks()) return false;
  marks_[Slot(exp)] = Mark{exp, kInProgress};
  ++marked_;
  return true;
}

bool FormulaValues::Finish(HEXP exp) {
  if (count_ == capacity_ && !GrowEntries()) return false;
  Entry& entry = entries_[count_];
  entry.exp = exp;
  entry.stamp = 0;
  entry.value = Value{};
  marks_[Slot(exp)].entry = count_++;
  return true;
}

void FormulaValues::Keep(int32_t index, Value& value) {
  Entry& entry = entries_[index];
  ReleaseValue(entry.value);
  entry.value = value;
  entry.stamp = stamp_;
  value = Value{};
}

}  // namespace xev::eval
