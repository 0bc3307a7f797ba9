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
#include "core/node_stack.h"
#include "eval/eval.h"
#include "eval/item_answers.h"
#include "eval/plan.h"
#include "language/language.h"

namespace xev::eval {
namespace {

using language::ExprNode;

constexpr int32_t kNumberBlockSize = XEV_NUMBER_SIZE;
constexpr int32_t kTextBlockSize = 50;
// Calls with up to this many parameters keep their argument array on the stack.
constexpr int32_t kInlineArguments = 8;
// Right operands, call arguments and formula references each cost the walk
// a level of C stack (up to about 1.6 KB under the address sanitizer); chains
// of operators cost none. The parser's stack bounds the nesting of one
// formula, but formula references chained kMaxFormulaChain deep could
// multiply that beyond what a thread's stack holds, so the walk gives up at
// this many levels, well inside the usual 8 MB.
constexpr int32_t kMaxNesting = 4000;

struct Walk {
  Walk(ExprContext* context, HEXP formula, ItemAnswers* itemAnswers)
      : ec(context), exp(formula), answers(itemAnswers) {}

  ExprContext* ec;
  HEXP exp;          // the formula whose tree is being walked; callbacks get it
  ItemAnswers* answers;  // nullptr: every occurrence of an item is asked
  int32_t nesting = 0;
  int32_t chain = 0;
  // The operators of the chains being evaluated, shared by all of them: a
  // chain nested in a right operand pushes its own above its outer chain's
  // and takes them off again before that one goes on.
  core::NodeStack pending;
  // A result block for Number callbacks, handed from call to call so that a
  // row with several data items allocates it once.
  void* spareNumberBlock = nullptr;
};

bool Evaluate(Walk& walk, const ExprNode* node, Value& out);

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

// A host text that lost its terminator must not make later readers run off
// the block: the last byte becomes one.
bool TerminateWithinBlock(char* text) {
  size_t size = HostBlockSize(text);
  if (size == 0) return false;
  if (text[size - 1] != '\0' && std::memchr(text, 0, size) == nullptr) text[size - 1] = '\0';
  return true;
}

// Runs invoke(size, &block) with a fresh result block and turns what it left
// there into the value. A Number or DateTime node gets a 13-byte block, every
// other type a 50-byte text block.
template <class Invoke>
bool CallWithResultBlock(Walk& walk, bool number, Invoke&& invoke, Value& out) {
  if (number) {
    void* block = TakeNumberBlock(walk);
    if (block == nullptr) return false;
    bool ok = invoke(kNumberBlockSize, &block) != 0 && block != nullptr;
    if (ok) {
      std::memcpy(&out.number, block, XEV_NUMBER_SIZE);
      out.kind = Value::kNumber;
    }
    if (block != nullptr) ReturnNumberBlock(walk, block);
    return ok;
  }
  void* block = HostAlloc(kTextBlockSize);
  if (block == nullptr) return false;
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
  if (unescaped == nullptr) return false;
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
bool AskOnce(Walk& walk, const ExpItem* item, const char* name, bool number, Value& out) {
  ItemAnswers& answers = *walk.answers;
  if (const ItemAnswers::Answer* earlier = answers.Find(item, number)) return TakeAnswer(*earlier, out);
  auto callback = reinterpret_cast<XEVDataItemCallback>(item->boundValue);
  const uint32_t generation = walk.ec->generation;
  bool asked = false;
  bool ok = CallWithResultBlock(
      walk, number,
      [&](int32_t size, void** block) {
        asked = true;
        return callback(walk.ec, walk.exp, size, block, name);
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

bool EvaluateDataItem(Walk& walk, const ExprNode* node, Value& out) {
  const char* name = static_cast<const char*>(node->left);
  const ExpItem* item = core::FindItem(walk.ec->dataItems, name);
  if (item == nullptr || item->boundValue == 0) return false;
  bool number = false;
  if (!ValueShapeOfItem(node->type, &number)) return false;
  if (walk.answers != nullptr) return AskOnce(walk, item, name, number, out);
  auto callback = reinterpret_cast<XEVDataItemCallback>(item->boundValue);
  return CallWithResultBlock(
      walk, number,
      [&](int32_t size, void** block) { return callback(walk.ec, walk.exp, size, block, name); },
      out);
}

// ---- Calls -----------------------------------------------------------------------


// The argument array of one call: a slot per parameter of the function, each
// pointing at a value that lives until the call returns. Small calls keep it
// on the stack; larger ones take one HostAlloc block.
class ArgumentArray {
 public:
  explicit ArgumentArray(int32_t slots) : count_(slots) {
    if (slots <= kInlineArguments) {
      slots_ = inlineSlots_;
      values_ = inlineValues_;
      return;
    }
    size_t bytes = static_cast<size_t>(slots) * (sizeof(void*) + sizeof(Value));
    block_ = HostAlloc(bytes);  // zero-filled: null slots, empty values
    if (block_ == nullptr) return;
    slots_ = static_cast<void**>(block_);
    values_ = reinterpret_cast<Value*>(slots_ + slots);
  }
  ~ArgumentArray() {
    if (values_ != nullptr) {
      for (int32_t i = 0; i < count_; ++i) ReleaseValue(values_[i]);
    }
    HostFree(block_);
  }
  ArgumentArray(const ArgumentArray&) = delete;
  ArgumentArray& operator=(const ArgumentArray&) = delete;

  bool made() const { return slots_ != nullptr; }
  void** slots() { return slots_; }

  // Evaluates the argument into slot index; a slot whose value cannot be made
  // stays null and the call still goes ahead.
  void Fill(Walk& walk, int32_t index, const ExprNode* argument, bool byName) {
    if (argument == nullptr) return;
    if (byName) {
      slots_[index] = const_cast<char*>(ArgumentText(argument));
      return;
    }
    Value& value = values_[index];
    if (!Evaluate(walk, argument, value)) return;
    slots_[index] = value.kind == Value::kNumber ? static_cast<void*>(&value.number)
                                                 : static_cast<void*>(value.text);
  }

 private:
  int32_t count_;
  void* block_ = nullptr;
  void** slots_ = nullptr;
  Value* values_ = nullptr;
  void* inlineSlots_[kInlineArguments] = {};
  Value inlineValues_[kInlineArguments];
};

// The argument nodes of a call, copied out of their list so that no lock is
// held while callbacks run. Only the first `wanted` nodes are read.
int32_t ReadArgumentNodes(core::HGLOBAL list, const ExprNode** nodes, int32_t wanted) {
  int32_t count = static_cast<int32_t>(core::HandleArrayCount(list));
  if (count > wanted) count = wanted;
  if (count <= 0) return 0;
  void* first = core::HandleArrayLockElement(list, 0);
  if (first == nullptr) return 0;
  std::memcpy(nodes, first, static_cast<size_t>(count) * sizeof(ExprNode*));
  core::HandleArrayUnlock(list);
  return count;
}

__attribute__((noinline)) bool EvaluateCall(Walk& walk, const ExprNode* node, Value& out) {
  const char* name = static_cast<const char*>(node->left);
  const ExpItem* item = core::FindItem(walk.ec->functionItems, name);
  if (item == nullptr || item->boundValue == 0) return false;
  bool number = false;
  if (!ValueShapeOfCall(node->type, &number)) return false;
  auto entry = reinterpret_cast<XEVFunctionEntry>(item->boundValue);
  auto invoke = [&](void** args) {
    return CallWithResultBlock(
        walk, number,
        [&](int32_t size, void** block) { return entry(walk.ec, walk.exp, size, block, name, args); },
        out);
  };

  auto list = static_cast<core::HGLOBAL>(node->right);
  if (list == nullptr) return invoke(nullptr);  // called without an argument list

  int32_t parameters = item->paramCount > 0 ? item->paramCount : 0;
  ArgumentArray args(parameters);
  if (!args.made()) return false;
  const ExprNode* inlineNodes[kInlineArguments];
  const ExprNode** nodes = inlineNodes;
  void* nodeBlock = nullptr;
  if (parameters > kInlineArguments) {
    nodeBlock = HostAlloc(static_cast<size_t>(parameters) * sizeof(ExprNode*));
    if (nodeBlock == nullptr) return false;
    nodes = static_cast<const ExprNode**>(nodeBlock);
  }
  int32_t given = ReadArgumentNodes(list, nodes, parameters);
  for (int32_t i = 0; i < given; ++i) {
    args.Fill(walk, i, nodes[i], item->params[i].byName == 1);
  }
  HostFree(nodeBlock);
  return invoke(args.slots());
}

bool EvaluateFormulaReference(Walk& walk, const ExprNode* node, Value& out) {
  HEXP target = XEVHEXPFromName(walk.ec, static_cast<const char*>(node->left));
  if (target == nullptr || target->root == nullptr) return false;
  if (walk.chain >= kMaxFormulaChain) return false;
  HEXP outer = walk.exp;
  walk.exp = target;
  ++walk.chain;
  bool ok = Evaluate(walk, target->root, out);
  --walk.chain;
  walk.exp = outer;
  return ok;
}

// ---- Operators -------------------------------------------------------------------

// '+', '-', '*' and '/' on Numbers. A host callback receives the operands as
// they are, NULL included; without one NULL counts as zero and a division by
// zero gives zero rather than failing the row.
bool NumberArithmetic(Walk& walk, OperatorIndex op, Value& left, Value& right, Value& out) {
  if (left.kind != Value::kNumber || right.kind != Value::kNumber) return false;
  // Results go straight into out: reading a 13-byte value back right after
  // the host wrote it piecewise would stall on the store buffer.
  NumberValue* result = &out.number;
  *result = NumberValue{};
  out.kind = Value::kNumber;
  auto callback = reinterpret_cast<XEVOperatorCallback>(walk.ec->operators[op].bound[XEV_TYPE_NUMBER]);
  if (callback != nullptr) {
    callback(walk.ec, walk.exp, 0, kNumberBlockSize, &left.number, kNumberBlockSize, &right.number,
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

// The length of the text on the left of a chain's next join, when the join
// before made it, so that a chain of joins never measures its text again.
constexpr size_t kLengthUnknown = SIZE_MAX;

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
    if (text == nullptr) return false;
    left.owned = false;  // the block moves to out
    left.text = nullptr;
  } else {
    text = static_cast<char*>(HostAlloc(needed));
    if (text == nullptr) return false;
    std::memcpy(text, left.text, leftLength);
  }
  std::memcpy(text + leftLength, right.text, rightLength + 1);
  SetOwnedText(out, text);
  textLength = needed - 1;
  return true;
}

bool ApplyOperator(Walk& walk, const ExprNode* node, Value& left, Value& right, Value& out, size_t& textLength) {
  const int16_t type = node->type;
  switch (node->kind) {
    case language::NK_ADD:
      if (type == XEV_TYPE_NUMBER) return NumberArithmetic(walk, kOpPlus, left, right, out);
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
      return NumberArithmetic(walk, kOpMinus, left, right, out);
    case language::NK_MUL:
      return type == XEV_TYPE_NUMBER && NumberArithmetic(walk, kOpTimes, left, right, out);
    case language::NK_DIV:
      return type == XEV_TYPE_NUMBER && NumberArithmetic(walk, kOpDivide, left, right, out);
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

// Left-associative operators make chains that lean left ("A + B + C" is
// "(A + B) + C") and are as deep as they are long, so the operators down the
// left side go on the walk's stack and are applied on the way back up; only
// right operands recurse. Both operands are always evaluated, so callbacks
// see every data item of the formula once per row even when one side yields
// no value; an operator missing an operand yields none without evaluating
// anything below it.
bool EvaluateOperatorChain(Walk& walk, const ExprNode* top, Value& out) {
  uint32_t pushed = 0;
  const ExprNode* node = top;
  for (; IsEvaluatedOperator(node) && HasBothOperands(node); node = static_cast<const ExprNode*>(node->left)) {
    if (!walk.pending.Push(node)) {
      while (pushed-- > 0) walk.pending.Pop();
      return false;
    }
    ++pushed;
  }
  Value left;
  bool have = !IsEvaluatedOperator(node) && Evaluate(walk, node, left);
  size_t leftLength = kLengthUnknown;
  for (; pushed > 0; --pushed) {
    const ExprNode* op = walk.pending.Pop();
    Value right;
    bool haveRight = Evaluate(walk, static_cast<const ExprNode*>(op->right), right);
    Value result;
    size_t length = leftLength;
    bool ok = have && haveRight && ApplyOperator(walk, op, left, right, result, length);
    ReleaseValue(left);
    ReleaseValue(right);
    if (!ok) ReleaseValue(result);
    left = result;
    have = ok;
    leftLength = ok && result.kind == Value::kText ? length : kLengthUnknown;
  }
  out = left;
  return have;
}

// ---- The walk ----------------------------------------------------------------------

bool Evaluate(Walk& walk, const ExprNode* node, Value& out) {
  if (walk.nesting >= kMaxNesting) return false;
  ++walk.nesting;
  bool ok = false;
  switch (node->kind) {
    case language::NK_NUMBER:
      if (node->left != nullptr) {
        SetNumber(out, *static_cast<const NumberValue*>(node->left));
        ok = true;
      }
      break;
    case language::NK_STRING: ok = EvaluateString(node, out); break;
    case language::NK_DATE: ok = EvaluateDate(node, out); break;
    case language::NK_ITEM: ok = EvaluateDataItem(walk, node, out); break;
    case language::NK_FUNCTION: ok = EvaluateCall(walk, node, out); break;
    case language::NK_FORMULAREF: ok = EvaluateFormulaReference(walk, node, out); break;
    case language::NK_ADD:
    case language::NK_SUB:
    case language::NK_MUL:
    case language::NK_DIV:
    case language::NK_CONCAT: ok = EvaluateOperatorChain(walk, node, out); break;
    default: break;  // '%', sets and ranges have no value here
  }
  --walk.nesting;
  if (!ok) ReleaseValue(out);
  return ok;
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

void ReleaseValue(Value& value) {
  if (value.owned) HostFree(value.text);
  value = Value{};
}

// How deep the node sits costs the walk nothing: whatever led to it holds no
// C stack while the walk runs.
bool EvaluateNode(ExprContext* ec, HEXP exp, const ExprNode* node, Value& out, ItemAnswers* answers) {
  out = Value{};
  Walk walk{ec, exp, answers};
  bool ok = Evaluate(walk, node, out);
  HostFree(walk.spareNumberBlock);
  return ok;
}

bool EvaluateFormula(ExprContext* ec, HEXP exp, Value& out, ItemAnswers* answers) {
  out = Value{};
  if (ec == nullptr || exp == nullptr || exp->root == nullptr) return false;
  switch (EvaluateByPlan(ec, exp, out, answers)) {
    case PlanOutcome::kValue: return true;
    case PlanOutcome::kNoValue: return false;
    case PlanOutcome::kNotPrepared: break;
  }
  return EvaluateNode(ec, exp, exp->root, out, answers);
}

}  // namespace xev::eval
