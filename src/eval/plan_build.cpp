// Preparing a plan: the tree is visited once to count, once to fill the
// steps, both times with an explicit stack, so a chain of a million operators
// costs no C stack. Steps come out in the order the walk would visit the
// nodes (left operand, right operand, node; arguments left to right, then the
// call), except that the data items between two calls are asked before the
// arithmetic between them (see Plan::itemsAhead): every callback sees the
// same calls in the same order as from the walk.
//
// Plans live in the host's cache blocks: they are a cache of the engine's
// own, never handed to the host, so they must neither show among its live
// blocks nor fail when the allocation checks make the host's blocks fail.
#include <cstdlib>
#include <cstring>

#include "eval/column_reads.h"
#include "eval/eval.h"
#include "eval/plan_steps.h"
#include "host/host.h"
#include "xev/xevhost.h"

namespace xev::eval::plan {
namespace {

using language::ExprNode;

// What a node becomes in the plan.
enum class Kind { kConstant, kItem, kTextItem, kArithmetic, kConcat, kDate, kCall, kSubtree };

// A growable array of plain values in heap memory.
template <class T>
class Stack {
 public:
  ~Stack() { std::free(items_); }
  bool Push(const T& item) {
    if (count_ == capacity_) {
      size_t grown = capacity_ == 0 ? 64 : capacity_ * 2;
      void* moved = std::realloc(items_, grown * sizeof(T));
      if (moved == nullptr) return false;
      items_ = static_cast<T*>(moved);
      capacity_ = grown;
    }
    items_[count_++] = item;
    return true;
  }
  T Pop() { return items_[--count_]; }
  bool empty() const { return count_ == 0; }
  size_t size() const { return count_; }
  const T& operator[](size_t i) const { return items_[i]; }
  void Clear() { count_ = 0; }

 private:
  T* items_ = nullptr;
  size_t count_ = 0;
  size_t capacity_ = 0;
};

// A call as the walk would make it: the function item, and the argument
// nodes it would look at (at most one per parameter).
struct CallShape {
  ExpItem* item = nullptr;
  bool listed = false;  // written with an argument list
  int32_t given = 0;
  const ExprNode* nodes[kMaxCallParameters] = {};
};

bool IsNumberShaped(int16_t type) { return type == XEV_TYPE_NUMBER || type == XEV_TYPE_DATETIME; }

// The values a slot holds: Numbers and DateTimes loaded, Strings as texts.
bool IsSlotShaped(int16_t type) { return IsNumberShaped(type) || type == XEV_TYPE_STRING; }

bool PassedByName(const ExpItem* function, int32_t index) { return function->params[index].byName == 1; }

// False when the call is not one a plan makes itself.
bool ReadCall(ExprContext* ec, const ExprNode* node, CallShape& shape) {
  if (!IsSlotShaped(node->type)) return false;
  shape.item = core::FindItem(ec->functionItems, static_cast<const char*>(node->left));
  // Without an entry point the walk yields no value before looking at any argument.
  if (shape.item == nullptr || shape.item->boundValue == 0) return false;
  int32_t parameters = shape.item->paramCount > 0 ? shape.item->paramCount : 0;
  if (parameters > kMaxCallParameters) return false;
  auto list = static_cast<core::HGLOBAL>(node->right);
  shape.listed = list != nullptr;
  if (list == nullptr) return true;
  int32_t count = static_cast<int32_t>(core::HandleArrayCount(list));
  shape.given = count < parameters ? count : parameters;
  if (shape.given > 0) {
    void* first = core::HandleArrayLockElement(list, 0);
    if (first == nullptr) return false;
    std::memcpy(shape.nodes, first, static_cast<size_t>(shape.given) * sizeof(ExprNode*));
    core::HandleArrayUnlock(list);
  }
  for (int32_t i = 0; i < shape.given; ++i) {
    const ExprNode* argument = shape.nodes[i];
    if (argument != nullptr && !PassedByName(shape.item, i) && !IsSlotShaped(argument->type)) return false;
  }
  return true;
}

bool Evaluated(const CallShape& shape, int32_t index) {
  return shape.nodes[index] != nullptr && !PassedByName(shape.item, index);
}

// A call of the built-in rounding whose places are written as a number, with
// those places as the function would read them: the steps then round the
// loaded argument themselves instead of packing it for the call and loading
// the result again. Bound to anything else, the name stays a call.
bool RoundsToConstantPlaces(const CallShape& call, const Argument* arguments, int32_t& places) {
  if (call.item->boundValue != reinterpret_cast<intptr_t>(&FUNNumberRound)) return false;
  if (!call.listed || call.given != 2 || arguments[0].slot < 0 || arguments[1].slot < 0) return false;
  const ExprNode* written = call.nodes[1];
  if (written->kind != language::NK_NUMBER || written->left == nullptr) return false;
  auto* number = static_cast<const NumberValue*>(written->left);
  places = NumberIsNull(number) ? 0 : NumberToInt(number);
  return true;
}

// A call the plan runs itself, its constant arguments read here once; nullptr
// for an ordinary call, and when memory is short, which costs only speed.
const PreparedCall* PreparedFor(const CallShape& call, const Argument* arguments) {
  // Every argument the fast form reads comes from a slot, none by name.
  for (int32_t i = 0; i < call.given && i < 2; ++i) {
    if (arguments[i].slot < 0) return nullptr;
  }
  PreparedCall prepared{};
  if (!call.listed || !PrepareCall(call.item, call.given, call.nodes, &prepared)) return nullptr;
  auto* kept = static_cast<PreparedCall*>(host::AllocateCacheBlock(sizeof(PreparedCall)));
  if (kept != nullptr) *kept = prepared;
  return kept;
}

// A DateTime plus or minus a Number of the node's date unit.
Kind ClassifyDate(const ExprNode* node, const ExprNode* left, const ExprNode* right) {
  if (node->kind != language::NK_ADD && node->kind != language::NK_SUB) return Kind::kSubtree;
  if (!IsNumberShaped(left->type) || !IsNumberShaped(right->type) || node->flags > UINT8_MAX) return Kind::kSubtree;
  return Kind::kDate;
}

// Which step a node becomes. The steps the plan runs itself cost no C stack
// however deep they lie, and a node left to the walk applies the walk's own
// limits, so depth plays no part here.
Kind Classify(ExprContext* ec, const ExprNode* node, CallShape* call) {
  switch (node->kind) {
    case language::NK_NUMBER:
    case language::NK_DATE:
      return node->left != nullptr ? Kind::kConstant : Kind::kSubtree;
    case language::NK_STRING:
      // An escaped literal is unescaped by the walk, a block each time.
      return node->left != nullptr && (node->flags & language::kStringEscaped) == 0 ? Kind::kConstant : Kind::kSubtree;
    case language::NK_ITEM:
      if (IsNumberShaped(node->type)) return Kind::kItem;
      return node->type == XEV_TYPE_STRING ? Kind::kTextItem : Kind::kSubtree;
    case language::NK_CONCAT:
      return node->type == XEV_TYPE_STRING && node->left != nullptr && node->right != nullptr ? Kind::kConcat
                                                                                             : Kind::kSubtree;
    case language::NK_ADD:
    case language::NK_SUB:
    case language::NK_MUL:
    case language::NK_DIV: {
      auto* left = static_cast<const ExprNode*>(node->left);
      auto* right = static_cast<const ExprNode*>(node->right);
      if (left == nullptr || right == nullptr) return Kind::kSubtree;
      if (node->type == XEV_TYPE_DATETIME) return ClassifyDate(node, left, right);
      if (node->type != XEV_TYPE_NUMBER) return Kind::kSubtree;
      // A DateTime minus a DateTime counts days; minus a text (a context flag allows it) reads the text.
      if (node->kind == language::NK_SUB && left->type == XEV_TYPE_DATETIME) {
        return right->type == XEV_TYPE_DATETIME ? Kind::kDate : Kind::kSubtree;
      }
      return Kind::kArithmetic;
    }
    case language::NK_FUNCTION:
      return ReadCall(ec, node, *call) ? Kind::kCall : Kind::kSubtree;
    default:
      return Kind::kSubtree;
  }
}

// The code of a join or date step.
Code DateCode(const ExprNode* node, Kind kind) {
  if (kind == Kind::kConcat) return Code::kConcat;
  if (node->type == XEV_TYPE_NUMBER) return Code::kDateDays;
  return node->kind == language::NK_ADD ? Code::kDatePlus : Code::kDateMinus;
}

Code OperatorOf(uint32_t kind) {
  switch (kind) {
    case language::NK_ADD: return Code::kAdd;
    case language::NK_SUB: return Code::kSubtract;
    case language::NK_MUL: return Code::kMultiply;
    default: return Code::kDivide;
  }
}

struct Frame {
  const ExprNode* node;
  bool expanded;  // its operands are already on their way
};

// Visits the tree in evaluation order and hands each step to sink.Leaf or
// sink.Composite. False when memory runs short.
template <class Sink>
bool Visit(ExprContext* ec, const ExprNode* root, Sink& sink) {
  Stack<Frame> frames;
  if (!frames.Push(Frame{root, false})) return false;
  while (!frames.empty()) {
    Frame frame = frames.Pop();
    CallShape call;
    Kind kind = Classify(ec, frame.node, &call);
    if (frame.expanded) {
      if (!sink.Composite(frame, kind, call)) return false;
      continue;
    }
    if (kind != Kind::kArithmetic && kind != Kind::kConcat && kind != Kind::kDate && kind != Kind::kCall) {
      if (!sink.Leaf(frame, kind)) return false;
      continue;
    }
    if (!frames.Push(Frame{frame.node, true})) return false;
    if (kind != Kind::kCall) {
      if (!frames.Push(Frame{static_cast<const ExprNode*>(frame.node->right), false}) ||
          !frames.Push(Frame{static_cast<const ExprNode*>(frame.node->left), false})) {
        return false;
      }
      continue;
    }
    for (int32_t i = call.given - 1; i >= 0; --i) {
      if (Evaluated(call, i) && !frames.Push(Frame{call.nodes[i], false})) return false;
    }
  }
  return true;
}

// A division whose divisor is written as a number: the divisor is prepared
// with the plan.
bool DividesByConstant(const ExprNode* node) {
  auto* divisor = static_cast<const ExprNode*>(node->right);
  return node->kind == language::NK_DIV && divisor->kind == language::NK_NUMBER && divisor->left != nullptr;
}

// A product whose right factor is written as a number with a power of ten
// for its coefficient (10, 100, 0.01, up to 10^19): true, with the power.
bool MultipliesByPowerOfTen(const ExprNode* node, const host::decimal::Decimal& factor, uint8_t& places) {
  auto* right = static_cast<const ExprNode*>(node->right);
  if (node->kind != language::NK_MUL || right->kind != language::NK_NUMBER || right->left == nullptr) return false;
  const host::decimal::u128 coef = host::decimal::CoefOf(factor);
  for (uint8_t k = 0; k < 20; ++k) {
    if (coef != host::decimal::kPow10Narrow[k]) continue;
    places = k;
    return true;
  }
  return false;
}

// Sizes the plan: every node is a slot; operators are steps; items, calls and
// subtrees are sites and at most one step each.
struct Counter {
  int32_t slots = 0;
  int32_t operators = 0;
  int32_t joins = 0;
  int32_t sites = 0;
  int32_t arguments = 0;
  int32_t divisors = 0;
  int32_t texts = 0;
  bool Leaf(const Frame& frame, Kind kind) {
    ++slots;
    texts += frame.node->type == XEV_TYPE_STRING;
    if (kind != Kind::kConstant) ++sites;
    return true;
  }
  bool Composite(const Frame& frame, Kind kind, const CallShape& call) {
    ++slots;
    texts += frame.node->type == XEV_TYPE_STRING;
    if (kind == Kind::kConcat || kind == Kind::kDate) {
      ++joins;
    } else if (kind == Kind::kArithmetic) {
      ++operators;
      if (DividesByConstant(frame.node)) ++divisors;
    } else {
      ++sites;
      arguments += call.given;
    }
    return true;
  }
};

class Filler {
 public:
  explicit Filler(Plan* plan) : plan_(plan) {}

  bool Leaf(const Frame& frame, Kind kind) {
    int32_t slot = NewSlot(frame.node);
    if (kind == Kind::kConstant) {
      FillConstant(frame.node, slot);
      return operands_.Push(slot);
    }
    if (kind == Kind::kTextItem) {
      Flush();
      Site& site = NewSite(frame, slot);
      site.name = static_cast<const char*>(frame.node->left);
      site.item = core::FindItem(plan_->ec->dataItems, site.name);
      if (site.item != nullptr) site.callback = reinterpret_cast<XEVDataItemCallback>(site.item->boundValue);
      // Read by a block run only; the row path asks the callback.
      const ColumnReaders* readers = CurrentColumnReaders();
      site.column = readers != nullptr && site.callback != nullptr ? readers->columnOf(site.callback) : -1;
      EmitStep(Step{Code::kTextItem, 0, plan_->siteCount - 1, 0, slot});
      return operands_.Push(slot);
    }
    if (kind == Kind::kItem) {
      Site& site = NewSite(frame, slot);
      site.name = static_cast<const char*>(frame.node->left);
      site.item = core::FindItem(plan_->ec->dataItems, site.name);
      if (site.item != nullptr) site.callback = reinterpret_cast<XEVDataItemCallback>(site.item->boundValue);
      const ColumnReaders* readers = CurrentColumnReaders();
      site.column = readers != nullptr && site.callback != nullptr ? readers->columnOf(site.callback) : -1;
      return operands_.Push(slot);
    }
    Flush();
    Site& site = NewSite(frame, slot);
    if (frame.node->kind == language::NK_FORMULAREF) {
      site.target = XEVHEXPFromName(plan_->ec, static_cast<const char*>(frame.node->left));
    }
    EmitStep(Step{Code::kSubtree, 0, plan_->siteCount - 1, 0, slot});
    return operands_.Push(slot);
  }

  bool Composite(const Frame& frame, Kind kind, const CallShape& call) {
    int32_t slot = NewSlot(frame.node);
    if (kind == Kind::kConcat || kind == Kind::kDate) {
      int32_t right = operands_.Pop();
      int32_t left = operands_.Pop();
      // A date step reads its operands' slots: what fills them goes first.
      if (kind == Kind::kDate) Flush();
      // A join's left text made by a join is grown in place: a chain of them copies each byte
      // a few times, as the walk's does.
      uint8_t places = kind == Kind::kDate ? static_cast<uint8_t>(frame.node->flags)
                                           : static_cast<const ExprNode*>(frame.node->left)->kind == language::NK_CONCAT;
      EmitStep(Step{DateCode(frame.node, kind), places, left, right, slot});
      return operands_.Push(slot);
    }
    if (kind == Kind::kArithmetic) {
      int32_t right = operands_.Pop();
      int32_t left = operands_.Pop();
      if (!plan_->itemsAhead) Flush();
      Step step{OperatorOf(frame.node->kind), 0, left, right, slot};
      if (DividesByConstant(frame.node) && host::decimal::CoefOf(plan_->values[right]) != 0) {
        host::decimal::Divisor& divisor = plan_->divisors[plan_->divisorCount++];
        host::decimal::PrepareDivisor(divisor, plan_->values[right]);
        step.code = Code::kDivideByConstant;
        step.divisor = &divisor;
      } else if (MultipliesByPowerOfTen(frame.node, plan_->values[right], step.places)) {
        step.code = Code::kMultiplyByPowerOfTen;
      }
      if (!plan_->itemsAhead) {
        EmitStep(step);
      } else if (!pending_.Push(step)) {
        return false;
      }
      return operands_.Push(slot);
    }
    // The argument values sit on the operand stack, the last one on top.
    Argument* arguments = plan_->arguments + plan_->argumentCount;
    for (int32_t i = call.given - 1; i >= 0; --i) {
      arguments[i] = Argument{Evaluated(call, i) ? operands_.Pop() : -1, call.nodes[i]};
    }
    Flush();
    Site& site = NewSite(frame, slot);
    site.name = static_cast<const char*>(frame.node->left);
    site.item = call.item;
    site.firstArgument = plan_->argumentCount;
    site.argumentCount = call.listed ? call.given : -1;
    plan_->argumentCount += call.given;
    int32_t places = 0;
    if (RoundsToConstantPlaces(call, arguments, places)) {
      EmitStep(Step{Code::kRound, 0, plan_->siteCount - 1, places, slot});
      Step& round = plan_->steps[plan_->stepCount - 1];
      round.left = plan_->values + arguments[0].slot;
      round.value = plan_->values + slot;
    } else {
      site.prepared = PreparedFor(call, arguments);
      EmitStep(Step{site.prepared != nullptr ? Code::kPrepared : Code::kCall, 0, plan_->siteCount - 1, 0, slot});
    }
    return operands_.Push(slot);
  }

  // Emits the data items met since the last call, then the arithmetic
  // waiting on them.
  void Flush() {
    int32_t items = plan_->siteCount - batchStart_;
    if (items > 0) EmitStep(Step{Code::kItems, 0, batchStart_, items, -1});
    for (size_t i = 0; i < pending_.size(); ++i) EmitStep(pending_[i]);
    pending_.Clear();
  }

  // After the last node: the slot holding the formula's value.
  int32_t Finish() {
    Flush();
    return operands_.Pop();
  }

 private:
  // A slot for node's value; a String node's is listed as one that may hold a text.
  int32_t NewSlot(const ExprNode* node) {
    int32_t slot = plan_->slotCount++;
    if (node->type == XEV_TYPE_STRING) plan_->textSlots[plan_->textSlotCount++] = slot;
    return slot;
  }

  // A literal's value, made once: a date's text is read here, not every row.
  void FillConstant(const ExprNode* node, int32_t slot) {
    if (node->kind == language::NK_STRING) {
      plan_->texts[slot] = static_cast<char*>(node->left);
      plan_->states[slot] = kText;
      return;
    }
    const NumberValue* constant = static_cast<const NumberValue*>(node->left);
    if (node->kind == language::NK_DATE) {
      plan_->spill[slot] = NumberValue{};  // stays NULL when the text does not convert
      DateFromText(&plan_->spill[slot], static_cast<const char*>(node->left));
      constant = &plan_->spill[slot];
    }
    plan_->stored[slot] = constant;
    plan_->states[slot] = kStored;
    host::decimal::LoadOrNull(plan_->values[slot], constant);
  }

  Site& NewSite(const Frame& frame, int32_t slot) {
    Site& site = plan_->sites[plan_->siteCount++];
    site = Site{};
    site.node = frame.node;
    site.slot = slot;
    site.argumentCount = -1;
    site.column = -1;
    return site;
  }

  void EmitStep(const Step& step) {
    Step& emitted = plan_->steps[plan_->stepCount++];
    emitted = step;
    if (IsOperator(step.code)) {
      emitted.left = plan_->values + step.a;
      emitted.right = plan_->values + step.b;
      emitted.value = plan_->values + step.result;
    }
    if (step.code == Code::kCall || step.code == Code::kSubtree || step.code == Code::kRound ||
        step.code == Code::kTextItem || step.code == Code::kPrepared) {
      batchStart_ = step.a + 1;
    }
    if (step.code == Code::kItems) batchStart_ = step.a + step.b;
  }

  Plan* plan_;
  Stack<int32_t> operands_;
  Stack<Step> pending_;
  int32_t batchStart_ = 0;
};

template <class T>
size_t RoundUp(size_t bytes) {
  return (bytes + alignof(T) - 1) / alignof(T) * alignof(T);
}

// Longer formulas (chains of thousands of terms) get no row steps: a row of
// them costs its arithmetic, not its items, and the steps would double.
constexpr int32_t kMostRowSteps = 1 << 16;

bool WantsRowSteps(const Counter& counter) { return counter.operators + counter.sites < kMostRowSteps; }

// One cache block of the host: the record, then its arrays.
Plan* AllocatePlan(const Counter& counter) {
  size_t slots = static_cast<size_t>(counter.slots);
  size_t steps = static_cast<size_t>(counter.operators + counter.joins + counter.sites + 1);
  size_t rowSteps = WantsRowSteps(counter) ? steps : 0;
  size_t at = RoundUp<Step>(sizeof(Plan));
  size_t stepsAt = at;
  at += sizeof(Step) * steps;
  size_t rowStepsAt = at;
  at = RoundUp<Site>(at + sizeof(Step) * rowSteps);
  size_t sitesAt = at;
  at = RoundUp<Argument>(at + sizeof(Site) * static_cast<size_t>(counter.sites));
  size_t argumentsAt = at;
  at = RoundUp<host::decimal::Decimal>(at + sizeof(Argument) * static_cast<size_t>(counter.arguments));
  size_t valuesAt = at;
  at = RoundUp<host::decimal::Divisor>(at + sizeof(host::decimal::Decimal) * slots);
  size_t divisorsAt = at;
  at = RoundUp<const NumberValue*>(at + sizeof(host::decimal::Divisor) * static_cast<size_t>(counter.divisors));
  size_t checksAt = at;
  at += sizeof(ItemCell*) * (rowSteps != 0 ? static_cast<size_t>(counter.sites) : 0);
  size_t storedAt = at;
  at += sizeof(const NumberValue*) * slots;
  size_t spillAt = at;
  at += sizeof(NumberValue) * slots;
  // Texts only where the formula has a String node: most have none.
  const size_t textSlots = counter.texts > 0 ? slots : 0;
  at = RoundUp<char*>(at);
  size_t textsAt = at;
  at += sizeof(char*) * textSlots;
  size_t textLengthsAt = at;
  at += sizeof(size_t) * textSlots;
  size_t textSlotsAt = at;
  at += sizeof(int32_t) * static_cast<size_t>(counter.texts);
  size_t statesAt = at;
  at += sizeof(SlotState) * slots;
  static_assert(alignof(host::decimal::Decimal) <= 16, "host blocks are 16-byte aligned");
  void* block = host::AllocateCacheBlock(at);
  if (block == nullptr) return nullptr;
  auto* base = static_cast<char*>(block);
  auto* plan = reinterpret_cast<Plan*>(base);
  plan->steps = reinterpret_cast<Step*>(base + stepsAt);
  plan->sites = reinterpret_cast<Site*>(base + sitesAt);
  plan->arguments = reinterpret_cast<Argument*>(base + argumentsAt);
  plan->values = reinterpret_cast<host::decimal::Decimal*>(base + valuesAt);
  plan->divisors = reinterpret_cast<host::decimal::Divisor*>(base + divisorsAt);
  if (rowSteps != 0) {
    plan->rowSteps = reinterpret_cast<Step*>(base + rowStepsAt);
    plan->checks = reinterpret_cast<ItemCell**>(base + checksAt);
  }
  plan->stored = reinterpret_cast<const NumberValue**>(base + storedAt);
  plan->spill = reinterpret_cast<NumberValue*>(base + spillAt);
  plan->texts = reinterpret_cast<char**>(base + textsAt);
  plan->textLengths = reinterpret_cast<size_t*>(base + textLengthsAt);
  plan->textSlots = reinterpret_cast<int32_t*>(base + textSlotsAt);
  plan->states = reinterpret_cast<SlotState*>(base + statesAt);
  return plan;
}

// The cells of the plan's data items by slot, when every item has one and
// is read by an operator; false otherwise. cellOf holds a pointer per slot.
bool FindCells(Plan* plan, ItemCells& cells, ItemCell** cellOf) {
  int32_t items = 0;
  for (int32_t i = 0; i < plan->stepCount; ++i) {
    const Step& step = plan->steps[i];
    if (step.code != Code::kItems) continue;
    for (int32_t at = step.a; at < step.a + step.b; ++at) {
      Site& site = plan->sites[at];
      // An item without a callback never answers: no cell would ever be current.
      ItemCell* cell = site.callback != nullptr ? cells.CellOf(site.item) : nullptr;
      if (cell == nullptr) return false;
      site.cell = cell;
      cellOf[site.slot] = cell;
      ++items;
    }
  }
  int32_t read = 0;
  for (int32_t i = 0; i < plan->stepCount; ++i) {
    const Step& step = plan->steps[i];
    if (!IsOperator(step.code)) continue;
    read += (cellOf[step.a] != nullptr) + (cellOf[step.b] != nullptr);
  }
  return read == items;
}

// Fills plan->rowSteps from the steps, or drops them (nullptr) when the
// plan's items cannot all be read from cells.
void MakeRowSteps(Plan* plan) {
  if (plan->rowSteps == nullptr) return;
  ItemCells* cells = ItemCells::Of(plan->ec);
  auto** cellOf = static_cast<ItemCell**>(
      host::AllocateCacheBlock(static_cast<size_t>(plan->slotCount) * sizeof(ItemCell*)));
  bool usable = cells != nullptr && cellOf != nullptr && FindCells(plan, *cells, cellOf);
  if (!usable) {
    host::FreeCacheBlock(cellOf);
    for (int32_t i = 0; i < plan->siteCount; ++i) plan->sites[i].cell = nullptr;
    plan->rowSteps = nullptr;
    return;
  }
  // A cell is checked once in a formula: where its item first comes.
  const uint64_t stamp = cells->NewStamp();
  int32_t checkCount = 0;
  for (int32_t i = 0; i <= plan->stepCount; ++i) {
    Step& row = plan->rowSteps[i];
    row = plan->steps[i];
    if (IsOperator(row.code)) {
      if (cellOf[row.a] != nullptr) row.left = &cellOf[row.a]->value;
      if (cellOf[row.b] != nullptr) row.right = &cellOf[row.b]->value;
    } else if (row.code == Code::kItems) {
      const Step& items = plan->steps[i];
      row.a = checkCount;
      uint32_t bits = 0;
      for (int32_t at = items.a; at < items.a + items.b; ++at) {
        ItemCell* cell = plan->sites[at].cell;
        if (cell->seen == stamp) continue;
        cell->seen = stamp;
        plan->checks[checkCount++] = cell;
        bits |= cell->bit != 0 ? cell->bit : kNeverCurrent;
      }
      row.result = int32_t(bits);
      row.b = checkCount - row.a;
    }
  }
  host::FreeCacheBlock(cellOf);
}

}  // namespace

Plan* Prepare(ExprContext* ec, HEXP exp) {
  const ExprNode* root = exp->root;
  CallShape call;
  // A formula that the walk evaluates as a whole gains nothing from steps.
  bool walkOnly = Classify(ec, root, &call) == Kind::kSubtree;
  Counter counter;
  if (!walkOnly && !Visit(ec, root, counter)) return nullptr;
  Plan* plan = AllocatePlan(counter);
  if (plan == nullptr) return nullptr;
  plan->ec = ec;
  plan->root = root;
  plan->generation = ec->generation;
  plan->itemsAhead = !walkOnly && !HasNumberOperatorCallback(ec);
  plan->walkOnly = walkOnly;
  plan->textResult = root->type == XEV_TYPE_STRING;
  plan->steps[0] = Step{Code::kEnd, 0, 0, 0, -1};
  plan->rowSteps = walkOnly ? nullptr : plan->rowSteps;
  if (walkOnly) return plan;
  Filler filler(plan);
  if (!Visit(ec, root, filler)) {
    Release(plan);
    return nullptr;
  }
  plan->resultSlot = filler.Finish();
  plan->steps[plan->stepCount] = Step{Code::kEnd, 0, 0, 0, -1};
  MakeRowSteps(plan);
  return plan;
}

void Release(Plan* plan) {
  if (plan == nullptr) return;
  for (int32_t i = 0; i < plan->siteCount; ++i) {
    host::FreeCacheBlock(plan->sites[i].block);
    host::FreeCacheBlock(const_cast<PreparedCall*>(plan->sites[i].prepared));
  }
  host::FreeCacheBlock(plan);
}

}  // namespace xev::eval::plan
