// The tree walk behind the evaluation entry points.
//
// Every node yields a Value or no value. Numbers and DateTimes stay on the
// stack: the evaluator runs once per data row per formula, and a heap block
// per intermediate number would cost more than the arithmetic. Blocks are
// made only where the calling convention needs one (the result block of a
// callback or function) and for texts that are built here. A failed
// allocation anywhere yields no value for the formula and leaves nothing
// behind.
#include "eval/evaluator.h"

#include <cstring>

#include "core/core.h"
#include "core/item_index.h"
#include "eval/eval.h"
#include "eval/formula_values.h"
#include "eval/item_answers.h"
#include "eval/plan.h"
#include "language/language.h"

namespace xev::eval {
namespace {

using language::ExprNode;

constexpr int32_t kNumberBlockSize = XEV_NUMBER_SIZE;
// Calls with up to this many parameters keep their argument array on the stack.
constexpr int32_t kInlineArguments = 8;

// How often memory ran short inside an evaluation on this thread.
thread_local uint32_t t_memoryShortCount = 0;

// A stack of plain records that stays in the walk's own frame while it is
// small and moves to a host block beyond that: most walks are a few nodes
// deep and allocate nothing, while a chain of a hundred thousand formula
// references costs heap, never C stack.
template <class T, uint32_t kInline>
class WalkStack {
 public:
  WalkStack() = default;
  ~WalkStack() {
    if (items_ != Inline()) HostFree(items_);
  }
  WalkStack(const WalkStack&) = delete;
  WalkStack& operator=(const WalkStack&) = delete;

  // False when the stack could not grow.
  bool Push(const T& item) {
    if (size_ == capacity_ && !Grow()) return false;
    std::memcpy(static_cast<void*>(items_ + size_), &item, sizeof(T));
    ++size_;
    return true;
  }
  T Pop() { return items_[--size_]; }
  T& FromTop(uint32_t depth) { return items_[size_ - 1 - depth]; }
  uint32_t size() const { return size_; }

 private:
  T* Inline() { return reinterpret_cast<T*>(storage_); }

  bool Grow() {
    size_t bytes = sizeof(T) * static_cast<size_t>(capacity_) * 2;
    void* grown = items_ == Inline() ? HostAlloc(bytes) : HostRealloc(items_, bytes);
    if (grown == nullptr) return false;
    if (items_ == Inline()) std::memcpy(grown, storage_, sizeof(T) * size_);
    items_ = static_cast<T*>(grown);
    capacity_ *= 2;
    return true;
  }

  alignas(T) unsigned char storage_[sizeof(T) * kInline];
  T* items_ = Inline();
  uint32_t size_ = 0;
  uint32_t capacity_ = kInline;
};

// The formulas whose evaluation is under way in a walk, the one it started
// from included. Meeting one of them again through a reference is a cycle,
// which only formulas loaded or renamed without the parser's check can form;
// it yields no value instead of running until memory is gone. A few formulas
// are looked for along a short list; a long chain of references gets a hash
// set, so that each reference costs the same however long the chain is.
class ActiveFormulas {
 public:
  ActiveFormulas() = default;
  ~ActiveFormulas() { HostFree(slots_); }
  ActiveFormulas(const ActiveFormulas&) = delete;
  ActiveFormulas& operator=(const ActiveFormulas&) = delete;

  // 1 when exp is now active, 0 when it was already (a cycle), -1 when
  // memory is short.
  int32_t Enter(HEXP exp) {
    for (uint32_t i = 0; i < listed_; ++i) {
      if (list_[i] == exp) return 0;
    }
    if (hashed_ == 0 && listed_ < kListed) {
      list_[listed_++] = exp;
      return 1;
    }
    if (Find(exp) != kAbsent) return 0;
    if ((hashed_ + 1) * 2 > capacity_ && !Rehash(capacity_ == 0 ? 64 : capacity_ * 2)) return -1;
    Insert(exp);
    return 1;
  }

  // Formulas leave in the reverse order of entering.
  void Leave(HEXP exp) {
    if (hashed_ == 0) {
      --listed_;
      return;
    }
    Erase(Find(exp));
  }

 private:
  static constexpr uint32_t kListed = 8;
  static constexpr uint32_t kAbsent = UINT32_MAX;

  uint32_t Home(HEXP exp) const {
    uint64_t bits = reinterpret_cast<uintptr_t>(exp) >> 4;
    return static_cast<uint32_t>((bits * 0x9E3779B97F4A7C15ull) >> 32) & (capacity_ - 1);
  }
  uint32_t Find(HEXP exp) const {
    if (capacity_ == 0) return kAbsent;
    for (uint32_t at = Home(exp);; at = (at + 1) & (capacity_ - 1)) {
      if (slots_[at] == exp) return at;
      if (slots_[at] == nullptr) return kAbsent;
    }
  }
  void Insert(HEXP exp) {
    uint32_t at = Home(exp);
    while (slots_[at] != nullptr) at = (at + 1) & (capacity_ - 1);
    slots_[at] = exp;
    ++hashed_;
  }
  // Linear probing without tombstones: the entries after the gap that
  // would no longer be found move back into it.
  void Erase(uint32_t gap) {
    if (gap == kAbsent) return;
    slots_[gap] = nullptr;
    --hashed_;
    for (uint32_t at = (gap + 1) & (capacity_ - 1); slots_[at] != nullptr; at = (at + 1) & (capacity_ - 1)) {
      uint32_t home = Home(slots_[at]);
      bool reachable = gap <= at ? (home <= gap || home > at) : (home <= gap && home > at);
      if (!reachable) continue;
      slots_[gap] = slots_[at];
      slots_[at] = nullptr;
      gap = at;
    }
  }
  bool Rehash(uint32_t capacity) {
    auto* grown = static_cast<HEXP*>(HostAlloc(sizeof(HEXP) * capacity));
    if (grown == nullptr) return false;
    HEXP* old = slots_;
    uint32_t oldCapacity = capacity_;
    slots_ = grown;
    capacity_ = capacity;
    hashed_ = 0;
    for (uint32_t i = 0; i < oldCapacity; ++i) {
      if (old[i] != nullptr) Insert(old[i]);
    }
    HostFree(old);
    return true;
  }

  HEXP list_[kListed];
  uint32_t listed_ = 0;
  HEXP* slots_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t hashed_ = 0;
};

// The length of the text on the left of a chain's next join, when the join
// before made it, so that a chain of joins never measures its text again.
constexpr size_t kLengthUnknown = SIZE_MAX;

// A value the walk has made and not yet used: an operand, an argument, or
// at the end the formula's value. No value is an empty Value.
struct Operand {
  Value value;
  size_t length;  // see kLengthUnknown
};

// What the walk still has to do, last pushed first done.
enum class Phase : uint8_t {
  kStart,         // evaluate node: a leaf at once, else push what it needs first
  kChain,         // the left operand of the chain's next operator (on the pending
                  // stack) is on the operand stack: its right one is next
  kOperate,       // both operands of node are on the operand stack
  kCall,          // the arguments of node are on the operand stack
  kByName,        // an argument passed by name: its text, not its value
  kLeaveFormula,  // exp, entered through a reference, has its value
};

struct Task {
  const ExprNode* node;
  HEXP exp;  // the formula whose tree holds node, which callbacks are given
  Phase phase;
};

// What a call waiting for its arguments (a kCall task) needs besides its node,
// on a stack of its own so that the tasks of operators stay small.
struct PendingCall {
  intptr_t entry;      // the function's entry point
  int32_t given;       // its arguments on the operand stack
  int32_t parameters;  // the slots of its argument array; -1 for none at all
};

// One evaluation, walked with explicit stacks: operands, call arguments and
// formula references all wait on the heap-backed stacks, so neither a long
// operator chain nor a chain of formulas referring to each other costs C
// stack.
struct Walk {
  Walk(ExprContext* context, ItemAnswers* itemAnswers, const FormulaValues* formulaValues)
      : ec(context), answers(itemAnswers), formulas(formulaValues) {}

  ExprContext* ec;
  ItemAnswers* answers;  // nullptr: every occurrence of an item is asked
  const FormulaValues* formulas;  // nullptr: every reference is evaluated
  WalkStack<Task, 32> tasks;
  WalkStack<Operand, 16> operands;
  WalkStack<PendingCall, 4> calls;
  // The operators of the chains being evaluated, innermost last, each chain's
  // below a null that ends it: a chain nested in a right operand puts its own
  // above its outer chain's and takes them off again before that one goes on.
  WalkStack<const ExprNode*, 32> pending;
  ActiveFormulas active;
  // A result block for Number callbacks, handed from call to call so that a
  // row with several data items allocates it once.
  void* spareNumberBlock = nullptr;
};

void SetNumber(Value& out, const NumberValue& number) {
  out.kind = Value::kNumber;
  out.number = number;
}

void SetOwnedText(Value& out, char* text) {
  out.kind = Value::kText;
  out.owned = true;
  out.text = text;
}

void SetBorrowedText(Value& out, const char* text) {
  out.kind = Value::kText;
  out.owned = false;
  out.text = const_cast<char*>(text);
}

// ---- Result blocks of callbacks and functions -----------------------------

void* TakeNumberBlock(Walk& walk) {
  void* block = walk.spareNumberBlock;
  walk.spareNumberBlock = nullptr;
  if (block == nullptr) return HostAlloc(kNumberBlockSize);
  std::memset(block, 0, kNumberBlockSize);  // a callback that writes nothing gives NULL
  return block;
}

void ReturnNumberBlock(Walk& walk, void* block) {
  if (walk.spareNumberBlock == nullptr) {
    walk.spareNumberBlock = block;
  } else {
    HostFree(block);
  }
}


// Runs invoke(size, &block) with a fresh result block and turns what it left
// there into the value. A Number or DateTime node gets a 13-byte block, every
// other type a 50-byte text block.
template <class Invoke>
bool CallWithResultBlock(Walk& walk, bool number, Invoke&& invoke, Value& out) {
  if (number) {
    void* block = TakeNumberBlock(walk);
    if (block == nullptr) return NoteMemoryShort();
    bool ok = invoke(kNumberBlockSize, &block) != 0 && block != nullptr;
    if (ok) {
      std::memcpy(&out.number, block, XEV_NUMBER_SIZE);
      out.kind = Value::kNumber;
    }
    if (block != nullptr) ReturnNumberBlock(walk, block);
    return ok;
  }
  void* block = HostAlloc(kTextBlockSize);
  if (block == nullptr) return NoteMemoryShort();
  if (invoke(kTextBlockSize, &block) == 0) {
    HostFree(block);
    return false;
  }
  if (block == nullptr || !TerminateWithinBlock(static_cast<char*>(block))) {
    HostFree(block);
    return false;
  }
  SetOwnedText(out, static_cast<char*>(block));
  return true;
}

// Whether a node type travels as a Number (true) or a text (false); false
// from the function itself for a type that has no value.
bool ValueShapeOfItem(int16_t type, bool* number) {
  if (type < 0 || type > XEV_TYPE_KEYWORD) return false;
  *number = type == XEV_TYPE_NUMBER || type == XEV_TYPE_DATETIME;
  return true;
}

// Functions may also return keyword types (255 and more), which travel as text.
bool ValueShapeOfCall(int16_t type, bool* number) {
  if (type < 0 || (type > XEV_TYPE_KEYWORD && type < 255)) return false;
  *number = type == XEV_TYPE_NUMBER || type == XEV_TYPE_DATETIME;
  return true;
}

// ---- Leaves -------------------------------------------------------------------

// Drops the backslash of \' and one quote of '', stepping over double-byte
// characters whole so that a trail byte is never taken for a quote.
char* UnescapeText(const char* text) {
  size_t length = std::strlen(text);
  char* out = static_cast<char*>(HostAlloc(length + 1));
  if (out == nullptr) return nullptr;
  bool dbcs = HostIsDbcs() != 0;
  char* end = out;
  for (const char* p = text; *p != '\0';) {
    if (dbcs && HostIsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') {
      *end++ = *p++;
      *end++ = *p++;
    } else if ((p[0] == '\\' || p[0] == '\'') && p[1] == '\'') {
      *end++ = '\'';
      p += 2;
    } else {
      *end++ = *p++;
    }
  }
  *end = '\0';
  return out;
}

bool EvaluateString(const ExprNode* node, Value& out) {
  const char* text = static_cast<const char*>(node->left);
  if (text == nullptr) return false;
  if ((node->flags & language::kStringEscaped) == 0) {
    SetBorrowedText(out, text);  // the tree outlives the walk
    return true;
  }
  char* unescaped = UnescapeText(text);
  if (unescaped == nullptr) return NoteMemoryShort();
  SetOwnedText(out, unescaped);
  return true;
}

bool EvaluateDate(const ExprNode* node, Value& out) {
  const char* text = static_cast<const char*>(node->left);
  if (text == nullptr) return false;
  NumberValue date{};  // stays NULL when the text does not convert
  DateFromText(&date, text);
  SetNumber(out, date);
  return true;
}

bool TakeAnswer(const ItemAnswers::Answer& answer, Value& out) {
  switch (answer.state) {
    case ItemAnswers::kNumber: SetNumber(out, answer.number); return true;
    case ItemAnswers::kText: SetBorrowedText(out, answer.text); return true;  // kept until the call ends
    default: return false;
  }
}

// Asks the item unless it has answered already in this call, and keeps what
// it answers. An answer given while the context changed is not kept: the
// item it was asked of may be gone.
bool AskOnce(Walk& walk, HEXP exp, const ExpItem* item, const char* name, bool number, Value& out) {
  ItemAnswers& answers = *walk.answers;
  if (const ItemAnswers::Answer* earlier = answers.Find(item, number)) return TakeAnswer(*earlier, out);
  auto callback = reinterpret_cast<XEVDataItemCallback>(item->boundValue);
  const uint32_t generation = walk.ec->generation;
  bool asked = false;
  bool ok = CallWithResultBlock(
      walk, number,
      [&](int32_t size, void** block) {
        asked = true;
        return callback(walk.ec, exp, size, block, name);
      },
      out);
  if (!asked || walk.ec->generation != generation) return ok;
  if (!ok) {
    answers.RecordNoValue(item, number);
  } else if (number) {
    answers.RecordNumber(item, out.number);
  } else if (answers.RecordText(item, out.text)) {
    out.owned = false;
  }
  return ok;
}

bool EvaluateDataItem(Walk& walk, HEXP exp, const ExprNode* node, Value& out) {
  const char* name = static_cast<const char*>(node->left);
  // Through the context's index: every row asks again, and a list walk by
  // name cost more than the call it found.
  const ExpItem* item = core::FindDataItem(walk.ec, name);
  if (item == nullptr || item->boundValue == 0) return false;
  bool number = false;
  if (!ValueShapeOfItem(node->type, &number)) return false;
  if (walk.answers != nullptr) return AskOnce(walk, exp, item, name, number, out);
  auto callback = reinterpret_cast<XEVDataItemCallback>(item->boundValue);
  return CallWithResultBlock(
      walk, number,
      [&](int32_t size, void** block) { return callback(walk.ec, exp, size, block, name); },
      out);
}

// ---- Operators -------------------------------------------------------------------

// '+', '-', '*' and '/' on Numbers. A host callback receives the operands as
// they are, NULL included; without one NULL counts as zero and a division by
// zero gives zero rather than failing the row.
bool NumberArithmetic(Walk& walk, HEXP exp, OperatorIndex op, Value& left, Value& right, Value& out) {
  if (left.kind != Value::kNumber || right.kind != Value::kNumber) return false;
  // Results go straight into out: reading a 13-byte value back right after
  // the host wrote it piecewise would stall on the store buffer.
  NumberValue* result = &out.number;
  *result = NumberValue{};
  out.kind = Value::kNumber;
  auto callback = reinterpret_cast<XEVOperatorCallback>(walk.ec->operators[op].bound[XEV_TYPE_NUMBER]);
  if (callback != nullptr) {
    callback(walk.ec, exp, 0, kNumberBlockSize, &left.number, kNumberBlockSize, &right.number,
             kNumberBlockSize, result);
    return true;
  }
  NumberValue* a = &left.number;
  NumberValue* b = &right.number;
  // Byte 0 is the value's length and 0 means NULL; testing it here saves two
  // calls on every operator of every row.
  if (a->bytes[0] == 0) NumberSetZero(a);
  if (b->bytes[0] == 0) NumberSetZero(b);
  int32_t inRange = 1;
  switch (op) {
    case kOpPlus: inRange = NumberAdd(result, a, b); break;
    case kOpMinus: inRange = NumberSub(result, a, b); break;
    case kOpTimes: inRange = NumberMul(result, a, b); break;
    case kOpDivide:
      if (NumberIsZero(a) || NumberIsZero(b)) {
        NumberSetZero(result);
      } else {
        inRange = NumberDiv(result, a, b);
      }
      break;
    default: return false;
  }
  if (!inRange) NumberSetNull(result);  // beyond the Number range: an empty value
  return true;
}

// A DateTime plus or minus a count of the node's date unit.
bool DateUnitArithmetic(const ExprNode* node, char op, const Value& left, const Value& right,
                        Value& out) {
  if (left.kind != Value::kNumber || right.kind != Value::kNumber) return false;
  int32_t count = NumberIsNull(&right.number) ? 0 : NumberToInt(&right.number);
  NumberValue result{};
  DateAddUnits(&result, &left.number, count, op, node->flags);
  SetNumber(out, result);
  return true;
}

// A DateTime minus a DateTime in whole days. With a text on the right (allowed
// by a context flag) the text is read as a date; one that is no date counts as
// an empty date, so the difference is NULL.
bool DateDifference(const Value& left, const Value& right, Value& out) {
  if (left.kind != Value::kNumber) return false;
  NumberValue other{};
  if (right.kind == Value::kNumber) {
    other = right.number;
  } else if (right.kind == Value::kText) {
    DateFromText(&other, right.text);
  } else {
    return false;
  }
  NumberValue result{};
  DateDiffDays(&result, &left.number, &other);
  SetNumber(out, result);
  return true;
}

// Concatenation. A left text that is already ours is grown in place, at least
// doubling: a chain of joins then copies each byte a bounded number of times
// rather than once per join after it. textLength: see kLengthUnknown; it
// becomes the length of the joined text.
bool Concatenate(Value& left, const Value& right, Value& out, size_t& textLength) {
  if (left.kind != Value::kText || right.kind != Value::kText) return false;
  size_t leftLength = textLength != kLengthUnknown ? textLength : std::strlen(left.text);
  size_t rightLength = std::strlen(right.text);
  size_t needed = leftLength + rightLength + 1;
  char* text = nullptr;
  if (left.owned) {
    size_t size = HostBlockSize(left.text);
    text = size >= needed ? left.text
                          : static_cast<char*>(HostRealloc(left.text, needed > 2 * size ? needed : 2 * size));
    if (text == nullptr) return NoteMemoryShort();
    left.owned = false;  // the block moves to out
    left.text = nullptr;
  } else {
    text = static_cast<char*>(HostAlloc(needed));
    if (text == nullptr) return NoteMemoryShort();
    std::memcpy(text, left.text, leftLength);
  }
  std::memcpy(text + leftLength, right.text, rightLength + 1);
  SetOwnedText(out, text);
  textLength = needed - 1;
  return true;
}

bool ApplyOperator(Walk& walk, HEXP exp, const ExprNode* node, Value& left, Value& right, Value& out,
                   size_t& textLength) {
  const int16_t type = node->type;
  switch (node->kind) {
    case language::NK_ADD:
      if (type == XEV_TYPE_NUMBER) return NumberArithmetic(walk, exp, kOpPlus, left, right, out);
      if (type == XEV_TYPE_DATETIME) return DateUnitArithmetic(node, '+', left, right, out);
      // Texts admitted to '+' by the context join like concatenation.
      if (type == XEV_TYPE_STRING) return Concatenate(left, right, out, textLength);
      return false;
    case language::NK_SUB:
      if (type == XEV_TYPE_DATETIME) return DateUnitArithmetic(node, '-', left, right, out);
      if (type != XEV_TYPE_NUMBER) return false;
      if (static_cast<const ExprNode*>(node->left)->type == XEV_TYPE_DATETIME) {
        return DateDifference(left, right, out);
      }
      return NumberArithmetic(walk, exp, kOpMinus, left, right, out);
    case language::NK_MUL:
      return type == XEV_TYPE_NUMBER && NumberArithmetic(walk, exp, kOpTimes, left, right, out);
    case language::NK_DIV:
      return type == XEV_TYPE_NUMBER && NumberArithmetic(walk, exp, kOpDivide, left, right, out);
    case language::NK_CONCAT:
      return type == XEV_TYPE_STRING && Concatenate(left, right, out, textLength);
    default:
      return false;
  }
}

bool IsEvaluatedOperator(const ExprNode* node) {
  switch (node->kind) {
    case language::NK_ADD:
    case language::NK_SUB:
    case language::NK_MUL:
    case language::NK_DIV:
    case language::NK_CONCAT: return true;
    default: return false;  // '%' has no value here
  }
}

bool HasBothOperands(const ExprNode* node) { return node->left != nullptr && node->right != nullptr; }

// ---- The walk ----------------------------------------------------------------------
//
// Every task that finishes a node leaves exactly one operand, a value or
// none. The handlers return false only when a stack cannot grow; the walk
// then ends with no value.

bool PushOperand(Walk& walk, Value& value, size_t length = kLengthUnknown) {
  if (walk.operands.Push(Operand{value, length})) return true;
  ReleaseValue(value);
  return NoteMemoryShort();
}

bool PushNoValue(Walk& walk) {
  Value none;
  return PushOperand(walk, none);
}

// A leaf is valued at once.
bool EvaluateLeaf(Walk& walk, HEXP exp, const ExprNode* node, Value& out) {
  switch (node->kind) {
    case language::NK_NUMBER:
      if (node->left == nullptr) return false;
      SetNumber(out, *static_cast<const NumberValue*>(node->left));
      return true;
    case language::NK_STRING: return EvaluateString(node, out);
    case language::NK_DATE: return EvaluateDate(node, out);
    case language::NK_ITEM: return EvaluateDataItem(walk, exp, node, out);
    default: return false;  // '%', sets and ranges have no value here
  }
}

// A call: its arguments are evaluated first, left to right, and the call
// comes back once their values are on the operand stack. Without an entry
// point nothing below the call is evaluated.
bool FinishCall(Walk& walk, const Task& task);
bool PassByName(Walk& walk, const ExprNode* argument);
bool NeedsStacks(const ExprNode* node);
bool PushLeaf(Walk& walk, HEXP exp, const ExprNode* node);

bool IsPassedByName(const ExpItem* item, ExprNode* const* nodes, int32_t i) {
  return nodes[i] == nullptr || item->params[i].byName == 1;
}

// Whether every argument is valued without the stacks: passed by name, or a
// leaf or an operator missing an operand.
bool ArgumentsAreLeaves(const ExpItem* item, ExprNode* const* nodes, int32_t given) {
  for (int32_t i = 0; i < given; ++i) {
    if (!IsPassedByName(item, nodes, i) && NeedsStacks(nodes[i])) return false;
  }
  return true;
}

// Most calls take items and constants: those are valued at once, left to
// right as the tasks would take them.
bool PushLeafArguments(Walk& walk, HEXP exp, const ExpItem* item, ExprNode* const* nodes, int32_t given) {
  bool pushed = true;
  for (int32_t i = 0; i < given && pushed; ++i) {
    pushed = IsPassedByName(item, nodes, i) ? PassByName(walk, nodes[i]) : PushLeaf(walk, exp, nodes[i]);
  }
  return pushed || NoteMemoryShort();
}

bool StartCall(Walk& walk, const Task& task) {
  const ExprNode* node = task.node;
  const ExpItem* item = core::FindFunctionItem(walk.ec, static_cast<const char*>(node->left));
  bool number = false;
  if (item == nullptr || item->boundValue == 0 || !ValueShapeOfCall(node->type, &number)) return PushNoValue(walk);
  auto list = static_cast<core::HGLOBAL>(node->right);
  int32_t parameters = item->paramCount > 0 ? item->paramCount : 0;
  int32_t given = 0;
  if (list != nullptr) {
    int32_t listed = static_cast<int32_t>(core::HandleArrayCount(list));
    given = listed < parameters ? listed : parameters;
  }
  ExprNode** nodes = nullptr;
  if (given > 0) {
    nodes = static_cast<ExprNode**>(core::HandleArrayLockElement(list, 0));
    if (nodes == nullptr) return PushNoValue(walk);
  }
  // parameters < 0: called without an argument list, so the function gets none.
  bool ok = walk.calls.Push(PendingCall{item->boundValue, given, list != nullptr ? parameters : -1});
  if (ok && ArgumentsAreLeaves(item, nodes, given)) {
    ok = PushLeafArguments(walk, task.exp, item, nodes, given);
    if (nodes != nullptr) core::HandleArrayUnlock(list);
    // The call is made at once, without a task, and with its list unlocked
    // as a call through the tasks would find it.
    return ok && FinishCall(walk, Task{node, task.exp, Phase::kCall});
  }
  if (ok) {
    ok = walk.tasks.Push(Task{node, task.exp, Phase::kCall});
    for (int32_t i = given - 1; i >= 0 && ok; --i) {
      Phase phase = IsPassedByName(item, nodes, i) ? Phase::kByName : Phase::kStart;
      ok = walk.tasks.Push(Task{nodes[i], task.exp, phase});
    }
    if (!ok) NoteMemoryShort();
  } else {
    NoteMemoryShort();
  }
  if (nodes != nullptr) core::HandleArrayUnlock(list);
  return ok;
}

bool FinishCall(Walk& walk, const Task& task) {
  const ExprNode* node = task.node;
  const char* name = static_cast<const char*>(node->left);
  const PendingCall call = walk.calls.Pop();
  auto entry = reinterpret_cast<XEVFunctionEntry>(call.entry);
  bool number = false;
  ValueShapeOfCall(node->type, &number);
  Value result;
  void* inlineSlots[kInlineArguments] = {};
  void** slots = nullptr;
  bool ready = true;
  if (call.parameters >= 0) {
    slots = call.parameters <= kInlineArguments
                ? inlineSlots
                : static_cast<void**>(HostAlloc(sizeof(void*) * static_cast<size_t>(call.parameters)));
    ready = slots != nullptr || NoteMemoryShort();
  }
  if (ready) {
    // A slot whose argument has no value stays null and the call still goes ahead.
    for (int32_t i = 0; i < call.given; ++i) {
      Value& argument = walk.operands.FromTop(static_cast<uint32_t>(call.given - 1 - i)).value;
      if (argument.kind == Value::kNumber) slots[i] = &argument.number;
      if (argument.kind == Value::kText) slots[i] = argument.text;
    }
    CallWithResultBlock(
        walk, number,
        [&](int32_t size, void** block) { return entry(walk.ec, task.exp, size, block, name, slots); }, result);
  }
  if (slots != inlineSlots) HostFree(slots);
  for (int32_t i = 0; i < call.given; ++i) {
    Operand argument = walk.operands.Pop();
    ReleaseValue(argument.value);
  }
  return PushOperand(walk, result);
}

// An argument passed by name gets the name written there.
bool PassByName(Walk& walk, const ExprNode* argument) {
  const char* text = argument != nullptr ? ArgumentText(argument) : nullptr;
  if (text == nullptr) return PushNoValue(walk);
  Value value;
  SetBorrowedText(value, text);  // the tree outlives the call
  return PushOperand(walk, value);
}

// A formula's value for the row, kept by the row's formula values: a text
// stays theirs.
bool PushLent(Walk& walk, const Value& valued) {
  Value value = valued;
  value.owned = false;
  return PushOperand(walk, value);
}

// A reference: the named formula's tree is walked next, with that formula
// passed on to the callbacks below it.
bool StartReference(Walk& walk, const Task& task) {
  HEXP target = XEVHEXPFromName(walk.ec, static_cast<const char*>(task.node->left));
  if (target == nullptr || target->root == nullptr) return PushNoValue(walk);
  if (walk.formulas != nullptr) {
    if (const Value* valued = walk.formulas->Current(walk.ec, target)) return PushLent(walk, *valued);
  }
  int32_t entered = walk.active.Enter(target);
  if (entered == 0) return PushNoValue(walk);  // a cycle
  if (entered < 0) return NoteMemoryShort();
  if (walk.tasks.Push(Task{nullptr, target, Phase::kLeaveFormula}) &&
      walk.tasks.Push(Task{target->root, target, Phase::kStart})) {
    return true;
  }
  return NoteMemoryShort();
}

// Whether the walk must come back to node after what it needs has been
// evaluated: calls, references and operators with both operands. Anything
// else is valued (or found to have no value) at once.
bool NeedsStacks(const ExprNode* node) {
  switch (node->kind) {
    case language::NK_FUNCTION:
    case language::NK_FORMULAREF: return true;
    default: return IsEvaluatedOperator(node) && HasBothOperands(node);
  }
}

bool PushLeaf(Walk& walk, HEXP exp, const ExprNode* node) {
  Value value;
  if (!EvaluateLeaf(walk, exp, node, value)) ReleaseValue(value);
  return PushOperand(walk, value);
}

// Both operands are always evaluated, left first, so callbacks see every data
// item of the formula once per row even when one side yields no value; an
// operator missing an operand yields none without evaluating anything below
// it. Left-associative operators make chains that lean left ("A + B + C" is
// "(A + B) + C"), so the operators down the left side wait on the pending
// stack, one pointer each, while the walk goes on to the leftmost operand;
// one kChain task then applies them from the innermost out.
bool Start(Walk& walk, HEXP exp, const ExprNode* node) {
  if (IsEvaluatedOperator(node) && HasBothOperands(node)) {
    if (!walk.tasks.Push(Task{nullptr, exp, Phase::kChain}) || !walk.pending.Push(nullptr)) {
      return NoteMemoryShort();
    }
    for (; IsEvaluatedOperator(node) && HasBothOperands(node); node = static_cast<const ExprNode*>(node->left)) {
      if (!walk.pending.Push(node)) return NoteMemoryShort();
    }
  }
  switch (node->kind) {
    case language::NK_FUNCTION: return StartCall(walk, Task{node, exp, Phase::kStart});
    case language::NK_FORMULAREF: return StartReference(walk, Task{node, exp, Phase::kStart});
    default: return PushLeaf(walk, exp, node);
  }
}

// The operator's left operand, on top of the operand stack, becomes its result.
void Operate(Walk& walk, HEXP exp, const ExprNode* node, Value& right) {
  Operand& left = walk.operands.FromTop(0);
  Value result;
  size_t length = left.length;
  bool ok = left.value.kind != Value::kNone && right.kind != Value::kNone &&
            ApplyOperator(walk, exp, node, left.value, right, result, length);
  ReleaseValue(left.value);
  ReleaseValue(right);
  if (!ok) ReleaseValue(result);
  left = Operand{result, ok && result.kind == Value::kText ? length : kLengthUnknown};
}

// Applies the chain's operators while their right operands are leaves, as
// most are; one whose right operand needs the stacks comes back, and the
// chain with it, once that operand has its value.
bool ContinueChain(Walk& walk, HEXP exp) {
  for (;;) {
    const ExprNode* op = walk.pending.Pop();
    const bool last = walk.pending.FromTop(0) == nullptr;
    if (last) walk.pending.Pop();
    auto* right = static_cast<const ExprNode*>(op->right);
    if (NeedsStacks(right)) {
      return ((last || walk.tasks.Push(Task{nullptr, exp, Phase::kChain})) &&
              walk.tasks.Push(Task{op, exp, Phase::kOperate}) && Start(walk, exp, right)) ||
             NoteMemoryShort();
    }
    Value value;
    if (!EvaluateLeaf(walk, exp, right, value)) ReleaseValue(value);
    Operate(walk, exp, op, value);
    if (last) return true;
  }
}

bool Step(Walk& walk, const Task& task) {
  switch (task.phase) {
    case Phase::kStart: return Start(walk, task.exp, task.node);
    case Phase::kChain: return ContinueChain(walk, task.exp);
    case Phase::kOperate: {
      Value right = walk.operands.Pop().value;
      Operate(walk, task.exp, task.node, right);
      return true;
    }
    case Phase::kCall: return FinishCall(walk, task);
    case Phase::kByName: return PassByName(walk, task.node);
    case Phase::kLeaveFormula: walk.active.Leave(task.exp); return true;
  }
  return false;
}

// Walks node of exp's tree; false, with nothing left allocated, when it
// yields no value.
bool Run(Walk& walk, HEXP exp, const ExprNode* node, Value& out) {
  bool going = walk.active.Enter(exp) >= 0 ? Start(walk, exp, node) : NoteMemoryShort();
  while (going && walk.tasks.size() > 0) going = Step(walk, walk.tasks.Pop());
  if (!going) {
    while (walk.operands.size() > 0) {
      Operand left = walk.operands.Pop();
      ReleaseValue(left.value);
    }
    return false;
  }
  out = walk.operands.Pop().value;
  return out.kind != Value::kNone;
}

}  // namespace

// The text a pass-by-name parameter receives: the name written at the argument.
const char* ArgumentText(const ExprNode* argument) {
  switch (argument->kind) {
    case language::NK_ITEM:
    case language::NK_FUNCTION:
    case language::NK_FORMULAREF:
    case language::NK_STRING:
    case language::NK_DATE:
      return static_cast<const char*>(argument->left);
    default:
      return nullptr;
  }
}

bool TerminateWithinBlock(char* text) {
  size_t size = HostBlockSize(text);
  if (size == 0) return false;
  if (text[size - 1] != '\0' && std::memchr(text, 0, size) == nullptr) text[size - 1] = '\0';
  return true;
}

void ReleaseValue(Value& value) {
  if (value.owned) HostFree(value.text);
  value = Value{};
}

bool NoteMemoryShort() {
  ++t_memoryShortCount;
  return false;
}

uint32_t MemoryShortCount() { return t_memoryShortCount; }

bool EvaluateNode(ExprContext* ec, HEXP exp, const ExprNode* node, Value& out, ItemAnswers* answers,
                  const FormulaValues* formulas) {
  out = Value{};
  Walk walk{ec, answers, formulas};
  bool ok = Run(walk, exp, node, out);
  HostFree(walk.spareNumberBlock);
  return ok;
}

bool EvaluateFormula(ExprContext* ec, HEXP exp, Value& out, ItemAnswers* answers, const FormulaValues* formulas) {
  out = Value{};
  if (ec == nullptr || exp == nullptr || exp->root == nullptr) return false;
  switch (EvaluateByPlan(ec, exp, out, answers, formulas)) {
    case PlanOutcome::kValue: return true;
    case PlanOutcome::kNoValue: return false;
    case PlanOutcome::kNotPrepared: break;
  }
  return EvaluateNode(ec, exp, exp->root, out, answers, formulas);
}

}  // namespace xev::eval
