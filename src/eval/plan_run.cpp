// Running a plan: the steps in order, each filling its slot. The arithmetic
// works on loaded values from slot to slot; 13-byte values are read once,
// when a callback or the walk hands one over, and written once, when a
// function or the caller wants one. The data items between two calls are
// asked first and read afterwards, so the bytes a callback has just written
// are not read back while its stores are still on their way.
//
// A callback may change the context while a row is evaluated. The plan then
// finishes the row looking each remaining name up again, as the walk does.
//
// When a row's formulas are evaluated in one call (XEVEvaluateExpressions), a
// data item that has answered in the call is not asked again: its answer
// fills the slot (eval/item_answers.h), or, in the row steps, the item's
// cell, which the operators read where it is (eval/item_cells.h).
#include <cstring>

#include "eval/column_reads.h"
#include "eval/eval.h"
#include "eval/formula_values.h"
#include "eval/item_answers.h"
#include "eval/item_cells.h"
#include "eval/plan.h"
#include "eval/plan_arith.h"
#include "eval/plan_steps.h"
#include "host/decimal.h"
#include "host/host.h"

namespace xev::eval {
namespace {

namespace dec = host::decimal;
using plan::Argument;
using plan::Code;
using plan::Plan;
using plan::Site;
using plan::Step;

constexpr int32_t kNumberBlockSize = XEV_NUMBER_SIZE;

// Fills a slot from 13 bytes that a callback, a literal or the walk gave.
// False when there are none.
inline bool TakeStored(Plan& plan, int32_t slot, const NumberValue* stored) {
  if (stored == nullptr) {
    plan.states[slot] = plan::kNoValue;
    return false;
  }
  plan.stored[slot] = stored;
  plan.states[slot] = plan::kStored;
  dec::LoadOrNull(plan.values[slot], stored);
  return true;
}

// The 13 bytes of a slot that holds a value.
inline void PackSlot(const Plan& plan, int32_t slot, NumberValue* out) {
  if (plan.states[slot] == plan::kStored) {
    *out = *plan.stored[slot];
    return;
  }
  dec::StoreOrNull(out, plan.values[slot]);
}

// The site's result block, cleared as a fresh block would be (the host may
// have grown or moved it on an earlier row); nullptr when memory is short.
inline void* ResultBlock(Site& site) {
  if (site.block == nullptr) {
    site.block = host::AllocateCacheBlock(kNumberBlockSize);
    if (site.block == nullptr) NoteMemoryShort();
    return site.block;
  }
  std::memset(site.block, 0, kNumberBlockSize);
  return site.block;
}

// True when the item answered; its block then holds the value. The callback
// writes straight into the site, where the block is kept from row to row.
inline bool AskItem(ExprContext* ec, HEXP exp, Site& site, XEVDataItemCallback callback, const char* name) {
  if (callback == nullptr || ResultBlock(site) == nullptr) return false;
  return callback(ec, exp, kNumberBlockSize, &site.block, name) != 0 && site.block != nullptr;
}

// After a callback changed the context the name is looked up again, as the
// walk would; the node's name may have been renamed too.
bool AskItemAgain(ExprContext* ec, HEXP exp, Site& site) {
  auto* name = static_cast<const char*>(site.node->left);
  const ExpItem* item = core::FindItem(ec->dataItems, name);
  if (item == nullptr) return false;
  return AskItem(ec, exp, site, reinterpret_cast<XEVDataItemCallback>(item->boundValue), name);
}

// What the host steps leave behind for the rest of the row.
struct RowState {
  explicit RowState(ItemAnswers* itemAnswers = nullptr, const FormulaValues* formulaValues = nullptr)
      : answers(itemAnswers), formulas(formulaValues) {}
  ItemAnswers* answers;  // nullptr: every occurrence of an item is asked
  const FormulaValues* formulas;  // nullptr: every reference is evaluated
  bool stale = false;    // a callback changed the context: names are looked up again
  bool missing = false;  // some step gave no value
};

// Reads a data item straight from its column into its slot; false when it
// is to be asked.
inline bool ReadColumn(ExprContext* ec, Plan& plan, Site& site, const ColumnReaders* readers) {
  site.read = false;
  if (site.column < 0 || readers == nullptr) return false;
  const ColumnRead got = readers->read(ec, site.column, plan.values[site.slot]);
  if (got == ColumnRead::kAsk) return false;
  site.read = true;
  site.answered = got == ColumnRead::kValue;
  return true;
}

// Asks a run of data items (or reads them from their columns), then loads
// what they wrote.
void RunItems(ExprContext* ec, HEXP exp, Plan& plan, const Step& step, RowState& row) {
  Site* first = plan.sites + step.a;
  Site* last = first + step.b;
  Site* site = first;
  if (!row.stale) {
    // The usual run: the names as resolved, until a callback changes the context.
    const uint32_t generation = plan.generation;
    const ColumnReaders* readers = CurrentColumnReaders();
    while (site != last) {
      Site& asked = *site++;
      if (ReadColumn(ec, plan, asked, readers)) continue;
      asked.answered = AskItem(ec, exp, asked, asked.callback, asked.name);
      if (ec->generation != generation) {
        row.stale = true;
        break;
      }
    }
  }
  for (; site != last; ++site) {
    site->read = false;
    site->answered = AskItemAgain(ec, exp, *site);
  }
  // The slot arrays held apart from the plan: a state is a byte, and a byte
  // store may alias the plan's own fields, which would be read again each time.
  plan::SlotState* const states = plan.states;
  const NumberValue** const storedValues = plan.stored;
  dec::Decimal* const values = plan.values;
  bool missing = false;
  for (site = first; site != last; ++site) {
    int32_t slot = site->slot;
    if (!site->answered) {
      states[slot] = plan::kNoValue;
      missing = true;
      continue;
    }
    if (site->read) {
      states[slot] = plan::kLoaded;  // it stores back as the callback would have written it
      continue;
    }
    auto* stored = static_cast<const NumberValue*>(site->block);
    storedValues[slot] = stored;
    states[slot] = plan::kStored;
    dec::LoadOrNull(values[slot], stored);
  }
  row.missing = row.missing || missing;
}

// Where a run of data items puts the answers they take, held apart from the
// plan: a slot state is a byte, and a byte store may alias the plan's fields.
struct SlotArrays {
  explicit SlotArrays(Plan& plan)
      : states(plan.states), stored(plan.stored), values(plan.values), spill(plan.spill) {}
  plan::SlotState* states;
  const NumberValue** stored;
  dec::Decimal* values;
  NumberValue* spill;
};

// Fills a slot from an item's answer; false when it has no value. Bytes that
// the loaded value would not store back as they are go with it, copied: the
// answers may move while the formula still needs them.
inline bool TakeAnswer(const SlotArrays& slots, int32_t slot, const ItemAnswers::Answer& answer) {
  if (answer.state != ItemAnswers::kNumber) {
    slots.states[slot] = plan::kNoValue;
    return false;
  }
  if (answer.plainNumber) {
    slots.states[slot] = plan::kLoaded;
  } else {
    NumberValue* copy = &slots.spill[slot];
    uint64_t head, tail;  // two overlapping words, as Store writes them
    std::memcpy(&head, answer.number.bytes, sizeof head);
    std::memcpy(&tail, answer.number.bytes + 5, sizeof tail);
    std::memcpy(copy->bytes, &head, sizeof head);
    std::memcpy(copy->bytes + 5, &tail, sizeof tail);
    slots.stored[slot] = copy;
    slots.states[slot] = plan::kStored;
  }
  const dec::Decimal& loaded = answer.decimal;
  dec::Set(slots.values[slot], dec::CoefOf(loaded), loaded.exp, loaded.neg);
  return true;
}

// Keeps the answer a data item has just given, its first in this call, and
// fills its slot; false when it has none. generation is the context's as the
// callback was called. An answer given while the context changed serves this
// occurrence only: the item it was asked of may be gone.
bool KeepFirstAnswer(ExprContext* ec, Plan& plan, const Site& site, RowState& row, const ExpItem* item, bool answered,
                     uint32_t generation) {
  const int32_t slot = site.slot;
  auto* block = static_cast<const NumberValue*>(site.block);
  if (ec->generation != generation) {
    row.stale = true;
    return TakeStored(plan, slot, answered ? block : nullptr);
  }
  if (!answered) {
    row.answers->RecordNoValue(item, true);
    plan.states[slot] = plan::kNoValue;
    return false;
  }
  const ItemAnswers::Answer* answer = row.answers->RecordNumber(item, *block);
  if (answer == nullptr) return TakeStored(plan, slot, block);
  return TakeAnswer(SlotArrays(plan), slot, *answer);
}

// Asks a data item that has not answered in this call yet and keeps its
// answer; false when it has none.
__attribute__((noinline)) bool AskFirst(ExprContext* ec, HEXP exp, Plan& plan, Site& site, RowState& row,
                                        const ExpItem* item, XEVDataItemCallback callback, const char* name) {
  if (callback == nullptr || ResultBlock(site) == nullptr) {
    plan.states[site.slot] = plan::kNoValue;  // not asked, as the walk would not ask it
    return false;
  }
  const uint32_t generation = ec->generation;
  bool answered = callback(ec, exp, kNumberBlockSize, &site.block, name) != 0 && site.block != nullptr;
  return KeepFirstAnswer(ec, plan, site, row, item, answered, generation);
}

// The items of a run from site on after a callback changed the context:
// each name looked up again, as the walk would.
__attribute__((noinline)) bool AskAfterChange(ExprContext* ec, HEXP exp, Plan& plan, Site* site, Site* last,
                                              RowState& row) {
  row.stale = true;
  const SlotArrays slots(plan);
  bool missing = false;
  for (; site != last; ++site) {
    auto* name = static_cast<const char*>(site->node->left);
    const ExpItem* item = core::FindItem(ec->dataItems, name);
    auto callback = item != nullptr ? reinterpret_cast<XEVDataItemCallback>(item->boundValue) : nullptr;
    const ItemAnswers::Answer* answer = callback != nullptr ? row.answers->Find(item, true) : nullptr;
    bool valued = answer != nullptr ? TakeAnswer(slots, site->slot, *answer)
                                    : AskFirst(ec, exp, plan, *site, row, item, callback, name);
    if (!valued) missing = true;
  }
  return missing;
}

// A run of data items when each is asked once per call, from site on: an
// item that answered before in the call, in this formula or another,
// answers again.
inline void RunItemsOnceFrom(ExprContext* ec, HEXP exp, Plan& plan, Site* site, Site* const last, RowState& row) {
  if (row.stale || ec->generation != plan.generation) {
    if (AskAfterChange(ec, exp, plan, site, last, row)) row.missing = true;
    return;
  }
  // The names as resolved, until a callback changes the context.
  ItemAnswers& answers = *row.answers;
  answers.Sync();
  ItemAnswers::View view = answers.Current();
  const SlotArrays slots(plan);
  bool missing = false;
  for (; site != last; ++site) {
    // The usual item: a plain Number where it was on the last row.
    if (const ItemAnswers::Answer* plain = view.PlainAt(site->answerAt, site->item)) {
      const dec::Decimal& loaded = plain->decimal;
      slots.states[site->slot] = plan::kLoaded;
      dec::Set(slots.values[site->slot], dec::CoefOf(loaded), loaded.exp, loaded.neg);
      continue;
    }
    const ItemAnswers::Answer* answer = answers.FindNumber(site->item, site->answerAt);
    if (answer != nullptr) {
      if (!TakeAnswer(slots, site->slot, *answer)) missing = true;
      continue;
    }
    if (!AskFirst(ec, exp, plan, *site, row, site->item, site->callback, site->name)) missing = true;
    if (row.stale) {
      if (AskAfterChange(ec, exp, plan, site + 1, last, row)) missing = true;
      break;
    }
    view = answers.Current();
  }
  if (missing) row.missing = true;
}

// Inline in the step loop: most items only take an answer.
inline void RunItemsOnce(ExprContext* ec, HEXP exp, Plan& plan, const Step& step, RowState& row) {
  Site* site = plan.sites + step.a;
  RunItemsOnceFrom(ec, exp, plan, site, site + step.b, row);
}

inline bool IsText(plan::SlotState state) { return state == plan::kText || state == plan::kOwnedText; }

// Runs invoke(size, &block) with a fresh text block, as the walk does for a
// String item or function, and keeps what it wrote as the slot's text; false
// when it gives none.
template <class Invoke>
bool CallForText(Plan& plan, int32_t slot, Invoke&& invoke) {
  plan.states[slot] = plan::kNoValue;
  void* block = HostAlloc(kTextBlockSize);
  if (block == nullptr) return NoteMemoryShort();
  bool ok = invoke(kTextBlockSize, &block) != 0 && block != nullptr && TerminateWithinBlock(static_cast<char*>(block));
  if (!ok) {
    HostFree(block);
    return false;
  }
  plan.texts[slot] = static_cast<char*>(block);
  plan.states[slot] = plan::kOwnedText;
  return true;
}

// Frees the texts the formula's run made.
inline void DropTexts(Plan& plan) {
  for (int32_t i = 0; i < plan.textSlotCount; ++i) {
    const int32_t slot = plan.textSlots[i];
    if (plan.states[slot] != plan::kOwnedText) continue;
    HostFree(plan.texts[slot]);
    plan.states[slot] = plan::kNoValue;
  }
}

// A String data item. With answers, an item that answered in the call
// answers again, and a first answer is kept for the rest of the call.
bool RunTextItem(ExprContext* ec, HEXP exp, Plan& plan, const Site& site, const RowState& row) {
  plan.states[site.slot] = plan::kNoValue;
  const char* name = row.stale ? static_cast<const char*>(site.node->left) : site.name;
  const ExpItem* item = row.stale ? core::FindItem(ec->dataItems, name) : site.item;
  if (item == nullptr || item->boundValue == 0) return false;
  if (row.answers != nullptr) {
    if (const ItemAnswers::Answer* earlier = row.answers->Find(item, false)) {
      if (earlier->state != ItemAnswers::kText) return false;
      plan.texts[site.slot] = const_cast<char*>(earlier->text);  // kept until the call ends
      plan.states[site.slot] = plan::kText;
      return true;
    }
  }
  auto callback = reinterpret_cast<XEVDataItemCallback>(item->boundValue);
  const uint32_t generation = ec->generation;
  bool asked = false;
  bool ok = CallForText(plan, site.slot, [&](int32_t size, void** block) {
    asked = true;
    return callback(ec, exp, size, block, name);
  });
  if (row.answers == nullptr || !asked || ec->generation != generation) return ok;
  if (!ok) {
    row.answers->RecordNoValue(item, false);
  } else if (row.answers->RecordText(item, plan.texts[site.slot])) {
    plan.states[site.slot] = plan::kText;
  }
  return ok;
}

// The texts of slots a and b joined. A left text the plan made is grown in
// place, at least twofold, and goes to the result.
void RunConcat(Plan& plan, const Step& step, RowState& row) {
  plan.states[step.result] = plan::kNoValue;
  if (!IsText(plan.states[step.a]) || !IsText(plan.states[step.b])) {
    row.missing = true;
    return;
  }
  const size_t left = step.places != 0 ? plan.textLengths[step.a] : std::strlen(plan.texts[step.a]);
  const size_t right = std::strlen(plan.texts[step.b]);
  const size_t needed = left + right + 1;
  char* text = nullptr;
  if (plan.states[step.a] == plan::kOwnedText) {
    const size_t size = HostBlockSize(plan.texts[step.a]);
    text = size >= needed ? plan.texts[step.a]
                          : static_cast<char*>(HostRealloc(plan.texts[step.a], needed > 2 * size ? needed : 2 * size));
    if (text != nullptr) plan.states[step.a] = plan::kNoValue;  // the block moves to the result
  } else {
    text = static_cast<char*>(HostAlloc(needed));
    if (text != nullptr) std::memcpy(text, plan.texts[step.a], left);
  }
  if (text == nullptr) {
    NoteMemoryShort();
    row.missing = true;
    return;
  }
  std::memcpy(text + left, plan.texts[step.b], right + 1);
  plan.texts[step.result] = text;
  plan.textLengths[step.result] = needed - 1;
  plan.states[step.result] = plan::kOwnedText;
}

// The days between two loaded dates as the calendar counts them, NULL when
// either is; false when a date lies beyond the fast form.
inline bool DaysBetweenLoaded(const Plan& plan, const Step& step, NumberValue* result) {
  const dec::Decimal& left = plan.values[step.a];
  const dec::Decimal& right = plan.values[step.b];
  if (dec::IsNull(left) || dec::IsNull(right)) return true;
  int64_t first = 0, second = 0;
  if (!plan::DayOfLoaded(left, &first) || !plan::DayOfLoaded(right, &second)) return false;
  LongToNumber(result, first - second);
  return true;
}

// Date arithmetic as the walk does it: a unit count (NULL counts as none)
// or the days between two dates; no value when an operand has none.
void RunDate(Plan& plan, const Step& step, RowState& row) {
  if (plan.states[step.a] == plan::kNoValue || plan.states[step.b] == plan::kNoValue) {
    plan.states[step.result] = plan::kNoValue;
    row.missing = true;
    return;
  }
  NumberValue* result = &plan.spill[step.result];
  *result = NumberValue{};
  if (step.code == Code::kDateDays && DaysBetweenLoaded(plan, step, result)) {
    TakeStored(plan, step.result, result);
    return;
  }
  NumberValue left, right;
  PackSlot(plan, step.b, &right);
  if (step.code == Code::kDateDays) {
    PackSlot(plan, step.a, &left);
    DateDiffDays(result, &left, &right);
    TakeStored(plan, step.result, result);
    return;
  }
  const int32_t count = NumberIsNull(&right) ? 0 : NumberToInt(&right);
  const int64_t signedCount = step.code == Code::kDatePlus ? int64_t(count) : -int64_t(count);
  const dec::Decimal& date = plan.values[step.a];
  // A NULL date gives NULL, as the calendar's addition does.
  if (!dec::IsNull(date) && !plan::AddUnitsToLoaded(date, signedCount, step.places, result)) {
    PackSlot(plan, step.a, &left);
    DateAddUnits(result, &left, count, step.code == Code::kDatePlus ? '+' : '-', step.places);
  }
  TakeStored(plan, step.result, result);
}

// False when the call gives no value.
bool RunCall(ExprContext* ec, HEXP exp, Plan& plan, Site& site, const RowState& row) {
  plan.states[site.slot] = plan::kNoValue;
  const char* name = row.stale ? static_cast<const char*>(site.node->left) : site.name;
  const ExpItem* item = row.stale ? core::FindItem(ec->functionItems, name) : site.item;
  if (item == nullptr || item->boundValue == 0) return false;
  // Functions get copies, so that none can write into a literal or a data item's block.
  void* slots[plan::kMaxCallParameters] = {};
  NumberValue copies[plan::kMaxCallParameters];
  void** args = nullptr;
  if (site.argumentCount >= 0) {
    args = slots;
    const Argument* arguments = plan.arguments + site.firstArgument;
    for (int32_t i = 0; i < site.argumentCount; ++i) {
      const Argument& argument = arguments[i];
      if (argument.node == nullptr) continue;
      if (argument.slot < 0) {
        slots[i] = const_cast<char*>(ArgumentText(argument.node));
      } else if (IsText(plan.states[argument.slot])) {
        slots[i] = plan.texts[argument.slot];
      } else if (plan.states[argument.slot] != plan::kNoValue) {
        PackSlot(plan, argument.slot, &copies[i]);
        slots[i] = &copies[i];
      }
    }
  }
  auto entry = reinterpret_cast<XEVFunctionEntry>(item->boundValue);
  if (site.node->type == XEV_TYPE_STRING) {
    return CallForText(plan, site.slot, [&](int32_t size, void** text) { return entry(ec, exp, size, text, name, args); });
  }
  void* block = ResultBlock(site);
  if (block == nullptr) return false;
  int32_t answered = entry(ec, exp, kNumberBlockSize, &block, name, args);
  site.block = block;
  return answered != 0 && block != nullptr && TakeStored(plan, site.slot, static_cast<const NumberValue*>(block));
}

// The text of a prepared date picture call into the slot, as the function
// gives it: empty for a NULL date (parts nullptr) or a text that does not fit.
bool TakeDateText(Plan& plan, int32_t slot, const plan::PreparedCall& call, const DateParts* parts) {
  plan.states[slot] = plan::kNoValue;
  char text[kTextBufferSize] = "";
  if (parts != nullptr) host::WriteDateByCompiledPicture(call.picture, *parts, text, kTextBufferSize);
  const size_t length = std::strlen(text);
  const size_t size = length + 1 > size_t(kTextBlockSize) ? length + 1 : size_t(kTextBlockSize);
  auto* block = static_cast<char*>(HostAlloc(size));
  if (block == nullptr) return NoteMemoryShort();
  std::memcpy(block, text, length + 1);
  plan.texts[slot] = block;
  plan.states[slot] = plan::kOwnedText;
  return true;
}

// A call the plan runs itself on its loaded date; the function's own call
// when the date lies beyond the fast form or a callback changed the context.
bool RunPrepared(ExprContext* ec, HEXP exp, Plan& plan, Site& site, const RowState& row) {
  const int32_t date = plan.arguments[site.firstArgument].slot;
  if (row.stale || plan.states[date] == plan::kNoValue) return RunCall(ec, exp, plan, site, row);
  const dec::Decimal& value = plan.values[date];
  const bool null = dec::IsNull(value);
  DateParts parts;
  if (!null && !plan::DatePartsOfLoaded(value, &parts)) return RunCall(ec, exp, plan, site, row);
  const plan::PreparedCall& call = *site.prepared;
  if (call.kind == plan::Prepared::kDateText) return TakeDateText(plan, site.slot, call, null ? nullptr : &parts);
  NumberValue* out = &plan.spill[site.slot];
  *out = NumberValue{};
  if (!null) plan::RunDateNumber(call, parts, out);
  return TakeStored(plan, site.slot, out);
}

// A node the plan leaves to the walk. Only Numbers travel between steps; a
// text where a Number belongs is no value, as the walk's operators see it.
void RunSubtree(ExprContext* ec, HEXP exp, Plan& plan, const Site& site, RowState& row) {
  const Value* valued = site.target != nullptr && row.formulas != nullptr ? row.formulas->Current(ec, site.target)
                                                                           : nullptr;
  const bool text = site.node->type == XEV_TYPE_STRING;
  if (valued != nullptr) {
    if (text && valued->kind == Value::kText) {
      plan.texts[site.slot] = valued->text;  // the formula's for the row
      plan.states[site.slot] = plan::kText;
      return;
    }
    bool number = !text && valued->kind == Value::kNumber;
    if (number) plan.spill[site.slot] = valued->number;
    if (!TakeStored(plan, site.slot, number ? &plan.spill[site.slot] : nullptr)) row.missing = true;
    return;
  }
  Value value;
  bool valuedByWalk = EvaluateNode(ec, exp, site.node, value, row.answers, row.formulas);
  if (text && valuedByWalk && value.kind == Value::kText) {
    plan.texts[site.slot] = value.text;  // a borrowed text outlives the row
    plan.states[site.slot] = value.owned ? plan::kOwnedText : plan::kText;
    return;
  }
  bool number = !text && valuedByWalk && value.kind == Value::kNumber;
  if (number) plan.spill[site.slot] = value.number;
  ReleaseValue(value);
  if (!TakeStored(plan, site.slot, number ? &plan.spill[site.slot] : nullptr)) row.missing = true;
}

using plan::Compute;

void Compute(Code code, dec::Decimal& r, const dec::Decimal& a, const dec::Decimal& b) {
  switch (code) {
    case Code::kAdd: return Compute<Code::kAdd>(r, a, b);
    case Code::kSubtract: return Compute<Code::kSubtract>(r, a, b);
    case Code::kMultiply:
    case Code::kMultiplyByPowerOfTen: return Compute<Code::kMultiply>(r, a, b);
    default: return Compute<Code::kDivide>(r, a, b);
  }
}

__attribute__((always_inline)) inline void DivideByConstant(const Step& step) {
  plan::DivideByConstant(*step.value, *step.left, *step.divisor);
}

constexpr OperatorIndex OperatorOf(Code code) {
  return code == Code::kAdd ? kOpPlus
         : code == Code::kSubtract ? kOpMinus
         : code == Code::kMultiply || code == Code::kMultiplyByPowerOfTen ? kOpTimes
                                                                            : kOpDivide;
}

// An operator with every check: an operand may have no value, and a host
// callback, which sees the operands as they are (NULL included), may be
// bound; its result is the value.
void RunCheckedOperator(ExprContext* ec, HEXP exp, Plan& plan, const Step& step) {
  int32_t result = step.result;
  if (plan.states[step.a] == plan::kNoValue || plan.states[step.b] == plan::kNoValue) {
    plan.states[result] = plan::kNoValue;
    return;
  }
  intptr_t bound = ec->operators[OperatorOf(step.code)].bound[XEV_TYPE_NUMBER];
  if (bound == 0) {
    plan.states[result] = plan::kLoaded;
    Compute(step.code, plan.values[result], plan.values[step.a], plan.values[step.b]);
    return;
  }
  NumberValue left, right;
  PackSlot(plan, step.a, &left);
  PackSlot(plan, step.b, &right);
  NumberValue* spill = &plan.spill[result];
  *spill = NumberValue{};
  auto callback = reinterpret_cast<XEVOperatorCallback>(bound);
  callback(ec, exp, 0, kNumberBlockSize, &left, kNumberBlockSize, &right, kNumberBlockSize, spill);
  TakeStored(plan, result, spill);
}

// A step that hands control to the host or the walk.
inline void RunHostStep(ExprContext* ec, HEXP exp, Plan& plan, const Step& step, RowState& row) {
  switch (step.code) {
    case Code::kItems:
      if (row.answers != nullptr) {
        RunItemsOnce(ec, exp, plan, step, row);
      } else {
        RunItems(ec, exp, plan, step, row);
      }
      return;
    case Code::kCall:
    case Code::kRound:
      if (!RunCall(ec, exp, plan, plan.sites[step.a], row)) row.missing = true;
      break;
    case Code::kTextItem:
      if (!RunTextItem(ec, exp, plan, plan.sites[step.a], row)) row.missing = true;
      break;
    case Code::kConcat: RunConcat(plan, step, row); break;
    case Code::kDatePlus:
    case Code::kDateMinus:
    case Code::kDateDays: RunDate(plan, step, row); break;
    case Code::kPrepared:
      if (!RunPrepared(ec, exp, plan, plan.sites[step.a], row)) row.missing = true;
      break;
    default: RunSubtree(ec, exp, plan, plan.sites[step.a], row); break;
  }
  row.stale = row.stale || ec->generation != plan.generation;
}

// The built-in rounding as its call gives it, on a loaded argument: NULL
// stays NULL, a result beyond the range is NULL. A checked row leaves the
// step's slot in another state, so the state is set each time.
inline void RoundInPlace(Plan& plan, const Step& step) {
  plan.states[step.result] = plan::kLoaded;
  plan::Round(*step.value, *step.left, step.b);
}

// True when the rest of the row must run checked.
inline bool NeedsChecks(ExprContext* ec, const RowState& row) {
  return row.missing || plan::HasNumberOperatorCallback(ec);
}

// How a run reads its data items: each occurrence asked (kEach), each item
// asked once per call and its answer copied into the slot (kOnce), or read by
// the operators from the item's cell (kCells, the row steps).
enum class Items { kEach, kOnce, kCells };

// Runs the steps from first on, each operator with its checks.
void RunChecked(ExprContext* ec, HEXP exp, Plan& plan, int32_t first, RowState& row) {
  for (int32_t i = first; i < plan.stepCount; ++i) {
    const Step& step = plan.steps[i];
    if (plan::IsOperator(step.code)) {
      RunCheckedOperator(ec, exp, plan, step);
    } else {
      RunHostStep(ec, exp, plan, step, row);
    }
  }
}

struct RowRun;

#if !defined(__GNUC__)
#error "the plan's steps dispatch by computed goto (GCC or Clang)"
#endif
template <Items kItems>
int32_t RunUnchecked(ExprContext* ec, HEXP exp, Plan& first, RowState& row, const Step* step, uint64_t tag = 0,
                     RowRun* run = nullptr);

// The item sites before site `end` read their cells; for a run that leaves
// the row steps, their slots take the cells' values.
void FillSlotsFromCells(Plan& plan, int32_t end) {
  for (int32_t i = 0; i < end; ++i) {
    const Site& site = plan.sites[i];
    if (site.cell == nullptr) continue;
    const dec::Decimal& value = site.cell->value;
    plan.states[site.slot] = plan::kLoaded;
    dec::Set(plan.values[site.slot], dec::CoefOf(value), value.exp, value.neg);
  }
}

// Leaves the row steps at step `index`, which has run in the ordinary way:
// the rest of the row runs on the steps with slots. Returns what
// RunUnchecked returns.
__attribute__((noinline)) int32_t LeaveCells(ExprContext* ec, HEXP exp, Plan& plan, RowState& row, int32_t index) {
  FillSlotsFromCells(plan, plan.steps[index].a);
  if (NeedsChecks(ec, row)) return index + 1;
  return RunUnchecked<Items::kOnce>(ec, exp, plan, row, plan.steps + index + 1);
}

// A plain Number, just written by a callback into block, loaded into cell
// for this call; false, cell untouched, for anything else (NULL, bytes its
// loaded value would not store back as they are). The test is on the bytes
// alone, read as the two words the callback's 13-byte copy writes.
inline bool LoadPlainIntoCell(ItemCells& cells, ItemCell& cell, const NumberValue* block, uint64_t tag) {
  const dec::StoredWords words(block);
  // Length byte 12, sign byte 0 or 1, a coefficient below 10^22 that the
  // high word alone shows: Store writes exactly these bytes back.
  const bool plain = (words.head & 0xff) == dec::kStoredLength && (words.tail >> 57) == 0 &&
                     words.high() < uint64_t(dec::kTen22 >> 64);
  if (!plain) return false;
  const uint64_t low = words.low(), high = words.high();
  std::memcpy(static_cast<void*>(&cell.value.coef), &low, sizeof low);
  std::memcpy(reinterpret_cast<char*>(&cell.value.coef) + sizeof low, &high, sizeof high);
  cell.value.exp = words.exp();
  cell.value.neg = words.neg();
  cells.MarkCurrent(cell, tag);
  return true;
}

// A run of items from site on, after the first asks into cells stopped at
// site, which asked is true when its callback has answered (the context's
// generation was then `generation`): the items before it take their cells'
// values into their slots, site keeps what it gave, and the rest are asked
// or taken from the answers as kOnce does it.
__attribute__((noinline)) void FinishRunInSlots(ExprContext* ec, HEXP exp, Plan& plan, RowState& row, Site* first,
                                                Site* site, Site* last, bool asked, bool answered,
                                                uint32_t generation) {
  for (Site* done = first; done != site; ++done) {
    const dec::Decimal& value = done->cell->value;
    plan.states[done->slot] = plan::kLoaded;
    dec::Set(plan.values[done->slot], dec::CoefOf(value), value.exp, value.neg);
  }
  if (asked) {
    if (!KeepFirstAnswer(ec, plan, *site, row, site->item, answered, generation)) row.missing = true;
    ++site;
  }
  RunItemsOnceFrom(ec, exp, plan, site, last, row);
}

// Asks the items of a run whose cells are not current yet, each answer
// loaded straight into its item's cell, which is all the row steps read and
// all the answers keep of it. Stops at the first item that has no callback
// or no answer, an answer that is not a plain Number, or a callback that
// changes the context: that item and the rest go the way of kOnce, into
// slots. False when some item or a callback keeps the row off the cells
// from this run on.
bool AskIntoCells(ExprContext* ec, HEXP exp, Plan& plan, RowState& row, Site* const first, Site* const last,
                  ItemCells& cells, uint64_t tag) {
  ItemAnswers& answers = *row.answers;
  Site* site = first;
  const uint32_t generation = plan.generation;
  for (; site != last; ++site) {
    ItemCell& cell = *site->cell;
    if (cell.tag == tag) continue;
    if (site->callback == nullptr || ResultBlock(*site) == nullptr) break;
    const bool answered =
        site->callback(ec, exp, kNumberBlockSize, &site->block, site->name) != 0 && site->block != nullptr;
    if (!answered || ec->generation != generation ||
        !LoadPlainIntoCell(cells, cell, static_cast<const NumberValue*>(site->block), tag)) {
      FinishRunInSlots(ec, exp, plan, row, first, site, last, true, answered, generation);
      return false;
    }
    if (!answers.KeepInCell(cell)) answers.RecordNumber(site->item, *static_cast<const NumberValue*>(site->block));
  }
  if (site == last) return !plan::HasNumberOperatorCallback(ec);
  FinishRunInSlots(ec, exp, plan, row, first, site, last, false, false, generation);
  return false;
}

// A run of items whose cells are not all current: asked into the cells
// where it can (AskIntoCells), otherwise asked or taken from the answers
// into their slots as kOnce does it, then the cells filled from the slots.
// False when the row must leave the row steps: some item has no value or an
// answer that is not a plain Number, or the context changed.
__attribute__((noinline)) bool FillCells(ExprContext* ec, HEXP exp, Plan& plan, int32_t index, RowState& row,
                                         ItemCells& cells, uint64_t tag) {
  const Step& step = plan.steps[index];
  Site* const first = plan.sites + step.a;
  Site* const last = first + step.b;
  // Another reader of the answers may have taken an item's answer without
  // its cell: then only the answers know it has been asked.
  if (!row.stale && ec->generation == plan.generation && row.answers->OnlyInCells()) {
    if (AskIntoCells(ec, exp, plan, row, first, last, cells, tag)) return true;
  } else {
    RunItemsOnceFrom(ec, exp, plan, first, last, row);
  }
  if (row.stale) return false;
  // Every plain answer fills its cell, for the formulas after this one, even
  // when this one leaves the cells.
  bool plain = true;
  for (const Site* site = first; site != last; ++site) {
    ItemCell& cell = *site->cell;
    if (cell.tag == tag) continue;
    // Only an answer that is a plain Number leaves its slot kLoaded.
    if (plan.states[site->slot] != plan::kLoaded) {
      plain = false;
      continue;
    }
    const dec::Decimal& value = plan.values[site->slot];
    dec::Set(cell.value, dec::CoefOf(value), value.exp, value.neg);
    cells.MarkCurrent(cell, tag);
  }
  return plain && !NeedsChecks(ec, row);
}

// True when every cell a run of items checks holds this call's answer.
inline bool CellsCurrent(const Plan& plan, const Step& step, uint64_t tag) {
  ItemCell* const* check = plan.checks + step.a;
  ItemCell* const* const end = check + step.b;
  for (; check != end; ++check) {
    if ((*check)->tag != tag) return false;
  }
  return true;
}

// What an items or host step of RunUnchecked gives: kGoOn to go on with the
// next step, or the index RunUnchecked returns.
constexpr int32_t kGoOn = -1;

// A run of data items, read as kItems says.
template <Items kItems>
__attribute__((always_inline)) inline int32_t RunItemsStep(ExprContext* ec, HEXP exp, Plan& plan, RowState& row,
                                                           const Step* step, const Step* steps, uint64_t tag,
                                                           [[maybe_unused]] ItemCells* cells) {
  if constexpr (kItems == Items::kCells) {
    // Every cell with a bit of its own: one test for them all.
    if ((uint32_t(step->result) & ~cells->current) == 0 || CellsCurrent(plan, *step, tag)) return kGoOn;
    const int32_t index = static_cast<int32_t>(step - steps);
    return FillCells(ec, exp, plan, index, row, *cells, tag) ? kGoOn : LeaveCells(ec, exp, plan, row, index);
  } else {
    if constexpr (kItems == Items::kOnce) {
      RunItemsOnce(ec, exp, plan, *step, row);
    } else {
      RunItems(ec, exp, plan, *step, row);
    }
    if (!NeedsChecks(ec, row)) return kGoOn;
    return static_cast<int32_t>(step - steps) + 1;
  }
}

// A call or a subtree. The row steps rely on the names as resolved, so a
// changed context leaves them too.
template <Items kItems>
__attribute__((always_inline)) inline int32_t RunHostStepOf(ExprContext* ec, HEXP exp, Plan& plan, RowState& row,
                                                            const Step* step, const Step* steps) {
  RunHostStep(ec, exp, plan, *step, row);
  if (!NeedsChecks(ec, row) && !(kItems == Items::kCells && row.stale)) return kGoOn;
  const int32_t index = static_cast<int32_t>(step - steps);
  if constexpr (kItems == Items::kCells) return LeaveCells(ec, exp, plan, row, index);
  return index + 1;
}

// The formulas of a row call, as far as the call has gone.
struct RowRun {
  const HEXP* exps;
  void* const* buffers;
  int32_t* results;
  int32_t count;
  int32_t index;     // the formula under way, or next
  int32_t valued;    // how many so far have a value
  Plan* plan;        // the plan of formula index while it runs; nullptr when none does
  ItemCells* cells;  // the context's, which the row steps read
};

// exp's plan when a row can take it as it is: current, not running, not
// left to the walk, no checks left from its last row, and a buffer to write
// into; nullptr otherwise.
inline Plan* UsualPlan(const ExprContext* ec, HEXP exp, const void* buffer) {
  Plan* plan = exp != nullptr ? static_cast<Plan*>(exp->evalPlan) : nullptr;
  if (plan == nullptr || buffer == nullptr || plan->ec != ec || plan->root != exp->root ||
      plan->generation != ec->generation || (plan->running | plan->walkOnly | plan->checked | plan->textResult)) {
    return nullptr;
  }
  return plan;
}

// The formula under way has run: its result goes to its buffer.
inline void FinishFormula(RowRun& run, Plan& plan) {
  plan.running = false;
  int32_t result = 0;
  if (plan.states[plan.resultSlot] != plan::kNoValue) {
    PackSlot(plan, plan.resultSlot, static_cast<NumberValue*>(run.buffers[run.index]));
    result = 1;
  }
  if (plan.textSlotCount != 0) DropTexts(plan);
  run.results[run.index] = result;
  run.valued += result;
  ++run.index;
  run.plan = nullptr;
}

// After a formula that ran wholly on the cells, the next one, when it is
// one the cells can run as it is: nothing that formula did can have bound
// an operator callback or changed the context unseen (its steps would have
// left the cells), so its plan is all there is to test.
inline Plan* NextOnCells(const ExprContext* ec, RowRun& run, Plan& done) {
  FinishFormula(run, done);
  if (run.index == run.count) return nullptr;
  Plan* plan = UsualPlan(ec, run.exps[run.index], run.buffers[run.index]);
  if (plan == nullptr || plan->rowSteps == nullptr) return nullptr;
  plan->running = true;
  run.plan = plan;
  return plan;
}

// Runs the steps from step on while every value so far is there and no
// operator callback is bound, so that an operator is its arithmetic alone;
// returns the index of the first step the checked run must take over
// (stepCount when none). Every step ends in a
// dispatch of its own, which the processor predicts from the step it
// follows: with a single shared dispatch a third of a row's time went to
// mispredicted jumps. kOnce and kCells need row.answers; kCells runs the row
// steps with the call's tag (their calls and subtrees are the ordinary ones)
// and run, and goes on from one formula's end to the next formula's
// steps without leaving the loop: a formula then costs no call and no
// registers saved and restored. It returns when a formula leaves the cells
// (the index is then run->plan's) or the next formula is not one for them
// (run->plan is then nullptr, run->index the formula not yet started).
template <Items kItems>
int32_t RunUnchecked(ExprContext* ec, HEXP exp, Plan& first, RowState& row, const Step* step, uint64_t tag,
                     [[maybe_unused]] RowRun* run) {
  Plan* plan = &first;
  const Step* steps = kItems == Items::kCells ? plan->rowSteps : plan->steps;
  ItemCells* const cells = kItems == Items::kCells ? run->cells : nullptr;
  static const void* const kHandlers[] = {&&add,   &&subtract, &&multiply, &&divide, &&divideByConstant,
                                          &&scale, &&items,    &&host,     &&host,   &&round,
                                          &&host,  &&host,     &&host,     &&host,   &&host,
                                          &&host,  &&end};
  // One handler per step code, in the order of Code.
  static_assert(sizeof kHandlers / sizeof kHandlers[0] == static_cast<size_t>(Code::kEnd) + 1,
                "a step code without its handler");
#define XEV_NEXT_STEP() goto* kHandlers[static_cast<int>((++step)->code)]
  goto* kHandlers[static_cast<int>(step->code)];
add:
  Compute<Code::kAdd, kItems != Items::kEach>(*step->value, *step->left, *step->right);
  XEV_NEXT_STEP();
subtract:
  Compute<Code::kSubtract, kItems != Items::kEach>(*step->value, *step->left, *step->right);
  XEV_NEXT_STEP();
multiply:
  Compute<Code::kMultiply>(*step->value, *step->left, *step->right);
  XEV_NEXT_STEP();
divide:
  Compute<Code::kDivide>(*step->value, *step->left, *step->right);
  XEV_NEXT_STEP();
divideByConstant:
  DivideByConstant(*step);
  XEV_NEXT_STEP();
scale:
  dec::MultiplyByPowerOfTen(*step->value, *step->left, step->places, step->right->exp, step->right->neg);
  XEV_NEXT_STEP();
round:
  RoundInPlace(*plan, *step);
  XEV_NEXT_STEP();
items:
  if (const int32_t next = RunItemsStep<kItems>(ec, exp, *plan, row, step, steps, tag, cells); next != kGoOn) {
    return next;
  }
  XEV_NEXT_STEP();
host:
  if (const int32_t next = RunHostStepOf<kItems>(ec, exp, *plan, row, step, steps); next != kGoOn) return next;
  XEV_NEXT_STEP();
end:
  if constexpr (kItems == Items::kCells) {
    if (Plan* next = NextOnCells(ec, *run, *plan)) {
      plan = next;
      exp = run->exps[run->index];
      steps = step = plan->rowSteps;
      goto* kHandlers[static_cast<int>(step->code)];
    }
  }
  return plan->stepCount;
#undef XEV_NEXT_STEP
}

// Runs a row's steps, leaving the value in the result slot.
void RunSteps(ExprContext* ec, HEXP exp, Plan& plan, ItemAnswers* answers, const FormulaValues* formulas) {
  if (plan.checked) {
    // Operators that ran checked left states that unchecked ones do not write.
    for (int32_t i = 0; i < plan.stepCount; ++i) {
      if (plan::IsOperator(plan.steps[i].code)) plan.states[plan.steps[i].result] = plan::kLoaded;
    }
    plan.checked = false;
  }
  RowState row(answers, formulas);
  int32_t next = 0;
  if (!plan::HasNumberOperatorCallback(ec)) {
    next = answers != nullptr ? RunUnchecked<Items::kOnce>(ec, exp, plan, row, plan.steps)
                              : RunUnchecked<Items::kEach>(ec, exp, plan, row, plan.steps);
  }
  if (next < plan.stepCount) {
    plan.checked = true;
    RunChecked(ec, exp, plan, next, row);
  }
}

// Runs a row; out is written only when the formula has a value.
bool Run(ExprContext* ec, HEXP exp, Plan& plan, NumberValue* out, ItemAnswers* answers,
         const FormulaValues* formulas) {
  RunSteps(ec, exp, plan, answers, formulas);
  bool valued = plan.states[plan.resultSlot] != plan::kNoValue;
  if (valued) PackSlot(plan, plan.resultSlot, out);
  DropTexts(plan);
  return valued;
}

bool Usable(const Plan* plan, ExprContext* ec, HEXP exp) {
  if (plan == nullptr || plan->ec != ec || plan->root != exp->root || plan->generation != ec->generation) {
    return false;
  }
  // Items asked ahead would let an operator callback bound since see them
  // in another order than the walk's.
  return !plan->itemsAhead || !plan::HasNumberOperatorCallback(ec);
}

// Every case but the usual one: no plan yet or a stale one, a plan that is
// running or has no steps, an operator callback bound, checks left behind.
// exp's plan, prepared again when stale, or nullptr when the walk must do it:
// none can be made, or the plan is running already (a callback that
// evaluates this formula again gets the walk) or has no steps.
Plan* PlanToRun(ExprContext* ec, HEXP exp) {
  auto* current = static_cast<Plan*>(exp->evalPlan);
  if (!Usable(current, ec, exp)) {
    if (current != nullptr && current->running) return nullptr;
    ReleasePlan(exp);
    current = plan::Prepare(ec, exp);
    exp->evalPlan = current;
    if (current == nullptr) return nullptr;
  }
  return current->running || current->walkOnly ? nullptr : current;
}

PlanOutcome EvaluateCarefully(ExprContext* ec, HEXP exp, NumberValue* out, ItemAnswers* answers,
                              const FormulaValues* formulas) {
  Plan* current = PlanToRun(ec, exp);
  // A String formula's plan gives a text, which 13 bytes cannot hold.
  if (current == nullptr || current->textResult) return PlanOutcome::kNotPrepared;
  current->running = true;
  bool ok = Run(ec, exp, *current, out, answers, formulas);
  current->running = false;
  return ok ? PlanOutcome::kValue : PlanOutcome::kNoValue;
}

// The usual row, as Run would take it, with as few tests as it allows.
template <Items kItems>
PlanOutcome EvaluateUsually(ExprContext* ec, HEXP exp, NumberValue* out, ItemAnswers* answers,
                            const FormulaValues* formulas = nullptr) {
  auto* plan = static_cast<Plan*>(exp->evalPlan);
  if (plan == nullptr || plan->ec != ec || plan->root != exp->root || plan->generation != ec->generation ||
      (plan->running | plan->walkOnly | plan->checked | plan->textResult) || plan::HasNumberOperatorCallback(ec)) {
    return EvaluateCarefully(ec, exp, out, answers, formulas);
  }
  plan->running = true;
  RowState row(answers, formulas);
  int32_t next = RunUnchecked<kItems>(ec, exp, *plan, row, plan->steps);
  if (next < plan->stepCount) {
    plan->checked = true;
    RunChecked(ec, exp, *plan, next, row);
  }
  plan->running = false;
  const bool valued = plan->states[plan->resultSlot] != plan::kNoValue;
  if (valued) PackSlot(*plan, plan->resultSlot, out);
  if (plan->textSlotCount != 0) DropTexts(*plan);
  return valued ? PlanOutcome::kValue : PlanOutcome::kNoValue;
}

// A String formula through its plan: the text goes to out, owned when the
// plan made it, lent when it outlives the row (a literal, a value of the row).
PlanOutcome EvaluateText(ExprContext* ec, HEXP exp, Value& out, ItemAnswers* answers,
                         const FormulaValues* formulas) {
  Plan* plan = PlanToRun(ec, exp);
  if (plan == nullptr) return PlanOutcome::kNotPrepared;
  plan->running = true;
  RunSteps(ec, exp, *plan, answers, formulas);
  plan->running = false;
  const int32_t slot = plan->resultSlot;
  if (IsText(plan->states[slot])) {
    out.kind = Value::kText;
    out.text = plan->texts[slot];
    out.owned = plan->states[slot] == plan::kOwnedText;
    if (out.owned) plan->states[slot] = plan::kNoValue;  // now the caller's
  }
  DropTexts(*plan);
  return out.kind == Value::kText ? PlanOutcome::kValue : PlanOutcome::kNoValue;
}

}  // namespace

PlanOutcome EvaluateByPlan(ExprContext* ec, HEXP exp, NumberValue* out) {
  return EvaluateUsually<Items::kEach>(ec, exp, out, nullptr);
}

PlanOutcome EvaluateByPlan(ExprContext* ec, HEXP exp, NumberValue* out, ItemAnswers& answers) {
  return EvaluateUsually<Items::kOnce>(ec, exp, out, &answers);
}

// The usual formula (a current plan, no checks left from its last row)
// costs one test here: that no operator callback is bound is known from the
// formula before, whose steps would have seen a binding after their last
// callback, and nothing else runs between two formulas. The outermost row
// call of a context runs the formulas' row steps on the item cells, one
// formula after another in one run of the step loop; a row call from inside
// a callback of another fills slots.
int32_t EvaluateRow(ExprContext* ec, int32_t count, const HEXP* exps, const int32_t* sizes, void* const* buffers,
                    int32_t* results, ItemAnswers& answers) {
  bool operatorsFree = !plan::HasNumberOperatorCallback(ec);
  auto* cells = static_cast<ItemCells*>(ec->itemCells);
  if (cells != nullptr && cells->inUse) cells = nullptr;
  uint64_t tag = 0;
  uint32_t tagGeneration = ec->generation;
  if (cells != nullptr) {
    cells->inUse = true;
    tag = cells->NewTag();
  }
  RowRun run{exps, buffers, results, count, 0, 0, nullptr, cells};
  while (run.index < count) {
    HEXP exp = exps[run.index];
    Plan* plan = operatorsFree ? UsualPlan(ec, exp, buffers[run.index]) : nullptr;
    if (plan == nullptr) {
      const int32_t size = sizes != nullptr ? sizes[run.index] : 0;
      int32_t result = EvaluateWithAnswers(ec, exp, size, buffers[run.index], answers);
      operatorsFree = !plan::HasNumberOperatorCallback(ec);
      results[run.index++] = result;
      run.valued += result;
      continue;
    }
    plan->running = true;
    RowState row(&answers);
    int32_t next;
    if (cells != nullptr && plan->rowSteps != nullptr) {
      // Answers kept in the cells before the context changed mean nothing now.
      if (tagGeneration != ec->generation) {
        tagGeneration = ec->generation;
        tag = cells->NewTag();
      }
      run.plan = plan;
      next = RunUnchecked<Items::kCells>(ec, exp, *plan, row, plan->rowSteps, tag, &run);
      // Every formula it started has finished, up to one that is not for the cells.
      if (run.plan == nullptr) continue;
      plan = run.plan;
      exp = exps[run.index];
    } else {
      next = RunUnchecked<Items::kOnce>(ec, exp, *plan, row, plan->steps);
    }
    if (next < plan->stepCount) {
      plan->checked = true;
      RunChecked(ec, exp, *plan, next, row);
      operatorsFree = !plan::HasNumberOperatorCallback(ec);
    }
    FinishFormula(run, *plan);
  }
  if (cells != nullptr) cells->inUse = false;
  return run.valued;
}

PlanOutcome EvaluateByPlan(ExprContext* ec, HEXP exp, Value& out, ItemAnswers* answers,
                           const FormulaValues* formulas) {
  if (exp->root->type == XEV_TYPE_STRING) return EvaluateText(ec, exp, out, answers, formulas);
  PlanOutcome outcome = answers != nullptr
                            ? EvaluateUsually<Items::kOnce>(ec, exp, &out.number, answers, formulas)
                            : EvaluateUsually<Items::kEach>(ec, exp, &out.number, nullptr, formulas);
  if (outcome == PlanOutcome::kValue) out.kind = Value::kNumber;
  return outcome;
}

void ReleasePlan(ExprRecord* record) {
  if (record == nullptr) return;
  plan::Release(static_cast<Plan*>(record->evalPlan));
  record->evalPlan = nullptr;
}

}  // namespace xev::eval
