// The block runner. Slots become columns of loaded values, one per slot a
// step fills; a literal's slot stays the plan's single value, read with a
// stride of 0. Every row of a block gets a valid value in every slot (a
// missing one reads as zero), so the arithmetic of a row left to the row
// path is wasted but harmless (a text slot's missing row holds the empty
// text, and a call is not made for it). Texts are pointers into the block's
// arena, or to a literal of the plan.
#include "eval/plan_blocks.h"

#include <cstring>

#include "eval/column_reads.h"
#include "eval/evaluator.h"
#include "eval/plan.h"
#include "eval/plan_arith.h"
#include "eval/plan_calls.h"
#include "eval/plan_steps.h"
#include "host/host.h"
#include "host/picture_date.h"
#include "host/values.h"
#include "language/language.h"

namespace xev::eval {
namespace {

namespace dec = host::decimal;
using plan::Argument;
using plan::Code;
using plan::Plan;
using plan::Site;
using plan::Step;

// The formula a reference site takes its value from, when the blocks hold it
// and it is arranged before formula index; -1 otherwise.
int32_t HeldTarget(const Site& site, const BlockFormulas& formulas, int32_t index) {
  if (site.target == nullptr || site.node->kind != language::NK_FORMULAREF || site.node->type == XEV_TYPE_STRING) {
    return -1;
  }
  const int32_t target = formulas.values->IndexOf(site.target);
  return target >= 0 && target < index && formulas.columns[target].numbers != nullptr ? target : -1;
}

// Whether some step fills slot: otherwise it holds a literal.
bool Filled(const Plan& plan, int32_t slot) {
  for (int32_t i = 0; i < plan.stepCount; ++i) {
    const Step& step = plan.steps[i];
    if (step.code != Code::kItems && step.result == slot) return true;
    if (step.code != Code::kItems) continue;
    for (int32_t s = step.a; s < step.a + step.b; ++s) {
      if (plan.sites[s].slot == slot) return true;
    }
  }
  return false;
}

// Steps whose value the row path keeps as 13 bytes and passes on as they
// are: a block keeps them too.
bool GivesBytes(Code code) {
  return code == Code::kDateDays || code == Code::kDatePlus || code == Code::kDateMinus || code == Code::kPrepared ||
         code == Code::kCall;
}

// The built-in functions whose value depends on their arguments alone: a
// block calls them ahead of the row, which nobody can tell apart. A host's
// function stays on the row path, called in the row's order.
constexpr XEVFunctionEntry kPureFunctions[] = {
    &FUNDateAddDay,  &FUNDateYear,     &FUNDateMonth,    &FUNDateDay,          &FUNDateHour,    &FUNDateMinute,
    &FUNDateSecond,  &FUNDateMonthBegin, &FUNDateMonthEnd, &FUNDateToStr,      &FUNStrMid,      &FUNStrRight,
    &FUNStrLeft,     &FUNStrLength,    &FUNStrRTrim,     &FUNStrLTrim,         &FUNStrRepeat,   &FUNStrPad,
    &FUNStrCompare,  &FUNStrIFF,       &FUNStrCase,      &FUNStrProper,        &FUNStrReplace,  &FUNStrScan,
    &FUNStrSpaces,   &FUNStrUpper,     &FUNStrLower,     &FUNStrTrim,          &FUNStrTranslate, &FUNNumberAbsolute,
    &FUNNumberMod,   &FUNNumberToStr,  &FUNNumberRound,  &FUNNumberTruncate,   &FUNNumberIFF,   &FUNPower,
    &FUNWeekDay,     &FUNDateQuarter,  &FUNDateIFF,      &FUNDateToStrPicture,
};

// A call a block makes itself: a pure built-in whose every argument is a
// value of a slot (none passed by name).
bool CallHeld(const Plan& plan, const Site& site) {
  if (site.item == nullptr) return false;
  const auto entry = reinterpret_cast<XEVFunctionEntry>(site.item->boundValue);
  bool pure = false;
  for (const XEVFunctionEntry known : kPureFunctions) pure = pure || known == entry;
  for (int32_t a = 0; pure && a < site.argumentCount; ++a) {
    const Argument& argument = plan.arguments[site.firstArgument + a];
    pure = argument.node == nullptr || argument.slot >= 0;
  }
  return pure;
}

// The one place that says which steps a block run holds.
bool HeldStep(const Plan& plan, const Step& step, const BlockFormulas& formulas, int32_t index) {
  switch (step.code) {
    case Code::kAdd:
    case Code::kSubtract:
    case Code::kMultiply:
    case Code::kDivide:
    case Code::kDivideByConstant:
    case Code::kMultiplyByPowerOfTen:
    case Code::kRound: return true;
    case Code::kItems:
      for (int32_t s = step.a; s < step.a + step.b; ++s) {
        if (plan.sites[s].column < 0) return false;  // asked of the host
      }
      return true;
    case Code::kSubtree: return HeldTarget(plan.sites[step.a], formulas, index) >= 0;
    case Code::kDateDays: return true;
    case Code::kDatePlus:
    case Code::kDateMinus:  // a count that is a literal, read once a block
      return plan.states[step.b] == plan::kStored && !Filled(plan, step.b);
    case Code::kPrepared: return plan.arguments[plan.sites[step.a].firstArgument].slot >= 0;
    case Code::kConcat: return true;
    case Code::kTextItem: {
      const ColumnReaders* readers = CurrentColumnReaders();
      return plan.sites[step.a].column >= 0 && readers != nullptr && readers->readTexts != nullptr;
    }
    case Code::kCall: return CallHeld(plan, plan.sites[step.a]);
    default: return false;  // the walk
  }
}

// A plan current for ec, as the row path would run it.
bool Current(const Plan* plan, const ExprContext* ec, HEXP exp) {
  return plan != nullptr && plan->ec == ec && plan->root == exp->root && plan->generation == ec->generation &&
         !plan->running && !plan->walkOnly;
}

// Whether the formula's value is an item's, which the row path passes on as
// the 13 bytes it came as: the block keeps those too. (A reference alone is
// the walk's.)
bool ResultPassedOn(const Plan& plan) {
  for (int32_t i = 0; i < plan.stepCount; ++i) {
    const Step& step = plan.steps[i];
    if (step.code != Code::kItems) continue;
    for (int32_t s = step.a; s < step.a + step.b; ++s) {
      if (plan.sites[s].slot == plan.resultSlot) return true;
    }
  }
  return false;
}

// Where a block run keeps each slot's values: a column, or the plan's
// literal (a stride of 0); a text slot's texts, one per row, the same way.
struct Slots {
  dec::Decimal* at[kMostBlockSlots];
  int32_t stride[kMostBlockSlots];
  NumberValue* bytes[kMostBlockSlots];  // the 13 bytes passed on, where kept; nullptr for the others
  const char** text[kMostBlockSlots];   // a text slot's, per row; nullptr for a literal
  size_t* length[kMostBlockSlots];      // and their lengths
  size_t literalLength[kMostBlockSlots];
  bool isText[kMostBlockSlots];
  int32_t column[kMostBlockSlots];  // the column a data item's slot is read from; -1 for the others

  void Fill(int32_t slot, dec::Decimal* scratch, int32_t count) {
    at[slot] = scratch + static_cast<size_t>(slot) * static_cast<size_t>(count);
    stride[slot] = 1;
    // A text slot's column of loaded values holds its text pointers and
    // their lengths instead.
    if (!isText[slot]) return;
    text[slot] = reinterpret_cast<const char**>(at[slot]);
    length[slot] = reinterpret_cast<size_t*>(text[slot] + count);
  }
  int32_t SlotOf(const Plan& plan, const dec::Decimal* value) const {
    return static_cast<int32_t>(value - plan.values);
  }
  // Row i's text of a text slot.
  const char* TextAt(const Plan& plan, int32_t slot, int32_t i) const {
    return text[slot] != nullptr ? text[slot][i] : plan.texts[slot];
  }
  size_t LengthAt(int32_t slot, int32_t i) const { return text[slot] != nullptr ? length[slot][i] : literalLength[slot]; }
  void Put(int32_t slot, int32_t i, const char* row, size_t size) const {
    text[slot][i] = row;
    length[slot][i] = size;
  }
};

// Whether slot is an argument of some call: its 13 bytes are then kept, as
// the row path passes them on.
bool Argued(const Plan& plan, int32_t slot) {
  for (int32_t i = 0; i < plan.stepCount; ++i) {
    const Step& step = plan.steps[i];
    if (step.code != Code::kCall) continue;
    const Site& site = plan.sites[step.a];
    for (int32_t a = 0; a < site.argumentCount; ++a) {
      if (plan.arguments[site.firstArgument + a].slot == slot) return true;
    }
  }
  return false;
}

// The loaded values take the scratch's first slotCount * count places, the
// bytes the rest. A held reference's bytes are its formula's column.
void LayOut(const Plan& plan, const BlockFormulas& formulas, int32_t index, Slots& slots, dec::Decimal* scratch,
            int32_t count) {
  auto* bytes = reinterpret_cast<NumberValue*>(scratch + static_cast<size_t>(plan.slotCount) * static_cast<size_t>(count));
  auto bytesOf = [&](int32_t slot) { return bytes + static_cast<size_t>(slot) * static_cast<size_t>(count); };
  for (int32_t s = 0; s < plan.slotCount; ++s) {
    slots.at[s] = plan.values + s;
    slots.stride[s] = 0;
    slots.bytes[s] = nullptr;
    slots.text[s] = nullptr;
    slots.length[s] = nullptr;
    slots.isText[s] = false;
    slots.column[s] = -1;
  }
  for (int32_t t = 0; t < plan.textSlotCount; ++t) slots.isText[plan.textSlots[t]] = true;
  for (int32_t i = 0; i < plan.stepCount; ++i) {
    const Step& step = plan.steps[i];
    if (step.code == Code::kItems) {
      for (int32_t s = step.a; s < step.a + step.b; ++s) {
        const int32_t slot = plan.sites[s].slot;
        slots.Fill(slot, scratch, count);
        slots.column[slot] = plan.sites[s].column;
        if (Argued(plan, slot)) slots.bytes[slot] = bytesOf(slot);
      }
      continue;
    }
    slots.Fill(step.result, scratch, count);
    if (step.code == Code::kSubtree) {
      slots.bytes[step.result] = formulas.columns[HeldTarget(plan.sites[step.a], formulas, index)].numbers;
    } else if (GivesBytes(step.code) && !slots.isText[step.result]) {
      slots.bytes[step.result] = bytesOf(step.result);
    }
  }
  if (ResultPassedOn(plan)) slots.bytes[plan.resultSlot] = bytesOf(plan.resultSlot);
  for (int32_t t = 0; t < plan.textSlotCount; ++t) {
    const int32_t slot = plan.textSlots[t];
    const char* literal = slots.text[slot] == nullptr ? plan.texts[slot] : nullptr;
    slots.literalLength[slot] = literal != nullptr ? std::strlen(literal) : 0;
  }
}

// An operator over the block: every operand column or literal, row by row.
template <class Operate>
void Operator(const Plan& plan, const Step& step, const Slots& slots, int32_t count, Operate&& operate) {
  const int32_t left = slots.SlotOf(plan, step.left), right = slots.SlotOf(plan, step.right);
  const dec::Decimal* a = slots.at[left];
  const dec::Decimal* b = slots.at[right];
  const size_t sa = static_cast<size_t>(slots.stride[left]), sb = static_cast<size_t>(slots.stride[right]);
  dec::Decimal* r = slots.at[step.result];
  for (int32_t i = 0; i < count; ++i) operate(r[i], a[i * sa], b[i * sb]);
}

// One of the four operators over the block, as the row path computes it.
template <Code kCode>
void Compute(const Plan& plan, const Step& step, const Slots& slots, int32_t count) {
  Operator(plan, step, slots, count, [](dec::Decimal& r, const dec::Decimal& a, const dec::Decimal& b) {
    plan::Compute<kCode>(r, a, b);
  });
}

void RunOperator(const Plan& plan, const Step& step, const Slots& slots, int32_t count) {
  switch (step.code) {
    case Code::kAdd: return Compute<Code::kAdd>(plan, step, slots, count);
    case Code::kSubtract: return Compute<Code::kSubtract>(plan, step, slots, count);
    case Code::kMultiply: return Compute<Code::kMultiply>(plan, step, slots, count);
    case Code::kDivide: return Compute<Code::kDivide>(plan, step, slots, count);
    case Code::kDivideByConstant: {
      const dec::Divisor& divisor = *step.divisor;
      return Operator(plan, step, slots, count, [&](dec::Decimal& r, const dec::Decimal& a, const dec::Decimal&) {
        plan::DivideByConstant(r, a, divisor);
      });
    }
    default: {
      const int places = step.places;
      return Operator(plan, step, slots, count, [&](dec::Decimal& r, const dec::Decimal& a, const dec::Decimal& b) {
        dec::MultiplyByPowerOfTen(r, a, places, b.exp, b.neg);
      });
    }
  }
}

void RunRound(const Plan& plan, const Step& step, const Slots& slots, int32_t count) {
  const int32_t argument = slots.SlotOf(plan, step.left);
  const dec::Decimal* a = slots.at[argument];
  const size_t sa = static_cast<size_t>(slots.stride[argument]);
  dec::Decimal* r = slots.at[step.result];
  for (int32_t i = 0; i < count; ++i) plan::Round(r[i], a[i * sa], step.b);
}

// A reference: the referenced formula's 13 bytes loaded, as the row path
// loads the value it kept for the row.
void RunReference(const Site& site, const BlockColumn& target, const Slots& slots, int32_t count, uint8_t* missing) {
  dec::Decimal* r = slots.at[site.slot];
  for (int32_t i = 0; i < count; ++i) {
    if (target.byRow[i] != 0) {
      missing[i] = 1;
      dec::Set(r[i], 0, 0, false);
      continue;
    }
    dec::LoadOrNull(r[i], &target.numbers[i]);
  }
}

// A date step's or prepared call's 13 bytes for row i, loaded too; a row
// beyond the fast forms is left to the row path, which asks the calendar.
inline void TakeBytes(const Slots& slots, int32_t slot, int32_t i, bool done, uint8_t* missing) {
  if (!done) missing[i] = 1;
  dec::LoadOrNull(slots.at[slot][i], &slots.bytes[slot][i]);
}

// Everything a step over dates, texts or calls needs besides the slots.
struct TextRun {
  ExprContext* ec;
  HEXP exp;
  int32_t count;
  uint8_t* missing;
  BlockArena& arena;
  BlockDates* dates;
  int64_t first;
  BlockReads* reads;
};

// The parts of a date slot's rows, shared by the block's formulas when the
// slot is a column's; false (nothing shared) to work them out row by row.
bool SharedDates(const TextRun& run, const Slots& slots, int32_t slot, const DateParts** parts, const uint8_t** plain) {
  BlockDates* dates = run.dates;
  const int32_t column = slots.column[slot];
  if (dates == nullptr || column < 0 || slots.stride[slot] != 1) return false;
  if (dates->first != run.first) {
    dates->first = run.first;
    dates->used = 0;
  }
  int32_t k = 0;
  while (k < dates->used && dates->columns[k] != column) ++k;
  if (k == dates->used) {
    if (k == BlockDates::kColumns) return false;
    if (dates->rows[k] < run.count) {
      HostFree(dates->parts[k]);
      HostFree(dates->plain[k]);
      dates->rows[k] = 0;
      dates->parts[k] = static_cast<DateParts*>(HostAlloc(sizeof(DateParts) * static_cast<size_t>(run.count)));
      dates->plain[k] = static_cast<uint8_t*>(HostAlloc(static_cast<size_t>(run.count)));
      if (dates->parts[k] == nullptr || dates->plain[k] == nullptr) return false;
      dates->rows[k] = run.count;
    }
    const dec::Decimal* a = slots.at[slot];
    for (int32_t i = 0; i < run.count; ++i) {
      dates->plain[k][i] = !dec::IsNull(a[i]) && plan::DatePartsOfLoaded(a[i], &dates->parts[k][i]) ? 1 : 0;
    }
    dates->columns[k] = column;
    dates->used = k + 1;
  }
  *parts = dates->parts[k];
  *plain = dates->plain[k];
  return true;
}

// Row i's date parts: shared, or worked out; false for a NULL date or one
// beyond the fast form.
inline bool PartsAt(const dec::Decimal& date, const DateParts* shared, const uint8_t* plain, int32_t i, DateParts& parts) {
  if (shared == nullptr) return !dec::IsNull(date) && plan::DatePartsOfLoaded(date, &parts);
  if (plain[i] != 0) parts = shared[i];
  return plain[i] != 0;
}

// The days between two dates, or a date plus a literal count of units, as
// RunDate in the row path works them out while the dates are plain.
void RunDate(const TextRun& run, const Plan& plan, const Step& step, const Slots& slots) {
  const int32_t count = run.count;
  uint8_t* missing = run.missing;
  const dec::Decimal* a = slots.at[step.a];
  const size_t sa = static_cast<size_t>(slots.stride[step.a]);
  NumberValue* out = slots.bytes[step.result];
  if (step.code == Code::kDateDays) {
    const dec::Decimal* b = slots.at[step.b];
    const size_t sb = static_cast<size_t>(slots.stride[step.b]);
    for (int32_t i = 0; i < count; ++i) {
      out[i] = NumberValue{};
      int64_t first = 0, second = 0;
      bool done = dec::IsNull(a[i * sa]) || dec::IsNull(b[i * sb]);
      if (!done && plan::DayOfLoaded(a[i * sa], &first) && plan::DayOfLoaded(b[i * sb], &second)) {
        LongToNumber(&out[i], first - second);
        done = true;
      }
      TakeBytes(slots, step.result, i, done, missing);
    }
    return;
  }
  const NumberValue& written = *plan.stored[step.b];
  const int32_t units = NumberIsNull(&written) ? 0 : NumberToInt(&written);
  const int64_t signedUnits = step.code == Code::kDatePlus ? int64_t(units) : -int64_t(units);
  const DateParts* shared = nullptr;
  const uint8_t* plain = nullptr;
  if (SharedDates(run, slots, step.a, &shared, &plain)) {
    for (int32_t i = 0; i < count; ++i) {
      out[i] = NumberValue{};
      const bool done = dec::IsNull(a[i]) || (plain[i] != 0 && plan::AddUnitsToParts(shared[i], signedUnits, step.places, &out[i]));
      TakeBytes(slots, step.result, i, done, missing);
    }
    return;
  }
  for (int32_t i = 0; i < count; ++i) {
    out[i] = NumberValue{};
    const bool done = dec::IsNull(a[i * sa]) || plan::AddUnitsToLoaded(a[i * sa], signedUnits, step.places, &out[i]);
    TakeBytes(slots, step.result, i, done, missing);
  }
}

// A prepared date call with a Number or DateTime value, as RunPrepared runs it.
void RunPrepared(const TextRun& run, const Plan& plan, const Site& site, const Slots& slots) {
  const int32_t count = run.count;
  uint8_t* missing = run.missing;
  const int32_t date = plan.arguments[site.firstArgument].slot;
  const dec::Decimal* a = slots.at[date];
  const size_t sa = static_cast<size_t>(slots.stride[date]);
  NumberValue* out = slots.bytes[site.slot];
  const DateParts* shared = nullptr;
  const uint8_t* plain = nullptr;
  SharedDates(run, slots, date, &shared, &plain);
  for (int32_t i = 0; i < count; ++i) {
    out[i] = NumberValue{};
    DateParts parts;
    bool done = dec::IsNull(a[i * sa]);
    if (!done && PartsAt(a[i * sa], shared, plain, i, parts)) {
      plan::RunDateNumber(*site.prepared, parts, &out[i]);
      done = true;
    }
    TakeBytes(slots, site.slot, i, done, missing);
  }
}

// Row i's text into the text slot: a copy in the arena, or for a row
// without room (memory short) the empty text, the row left to the row path.
void PutText(const TextRun& run, const Slots& slots, int32_t slot, int32_t i, const char* text, size_t length) {
  const char* copy = ArenaCopy(run.arena, text, length);
  if (copy == nullptr) {
    run.missing[i] = 1;
    return slots.Put(slot, i, "", 0);
  }
  slots.Put(slot, i, copy, length);
}

// A prepared date text call, as TakeDateText in the row path writes it:
// empty for a NULL date or a text that does not fit. The text is written
// straight into room taken for the longest, and the rest given back.
void RunDateText(const TextRun& run, const Plan& plan, const Site& site, const Slots& slots) {
  const int32_t date = plan.arguments[site.firstArgument].slot;
  const dec::Decimal* a = slots.at[date];
  const size_t sa = static_cast<size_t>(slots.stride[date]);
  const DateParts* shared = nullptr;
  const uint8_t* plain = nullptr;
  SharedDates(run, slots, date, &shared, &plain);
  for (int32_t i = 0; i < run.count; ++i) {
    slots.Put(site.slot, i, "", 0);
    DateParts parts;
    if (dec::IsNull(a[i * sa])) continue;
    char* room = PartsAt(a[i * sa], shared, plain, i, parts) ? ArenaTake(run.arena, host::kTextBufferSize) : nullptr;
    if (room == nullptr) {
      run.missing[i] = 1;  // beyond the fast form (the function's own call), or memory short
      continue;
    }
    host::WriteDateByCompiledPicture(site.prepared->picture, parts, room, host::kTextBufferSize);
    const size_t length = std::strlen(room);
    ArenaKeep(run.arena, room, length + 1);
    slots.Put(site.slot, i, room, length);
  }
}

// A String data item's texts, as its callback gives them.
bool RunTextItem(const TextRun& run, const Site& site, const Slots& slots, int64_t first) {
  const ColumnReaders* readers = CurrentColumnReaders();
  return readers->readTexts(run.ec, site.column, first, run.count, run.arena, slots.text[site.slot],
                            slots.length[site.slot], run.missing);
}

// The texts of slots a and b joined.
void RunConcat(const TextRun& run, const Plan& plan, const Step& step, const Slots& slots) {
  for (int32_t i = 0; i < run.count; ++i) {
    slots.Put(step.result, i, "", 0);
    if (run.missing[i] != 0) continue;
    const char* left = slots.TextAt(plan, step.a, i);
    const char* right = slots.TextAt(plan, step.b, i);
    const size_t leftLength = slots.LengthAt(step.a, i), rightLength = slots.LengthAt(step.b, i);
    char* text = ArenaTake(run.arena, leftLength + rightLength + 1);
    if (text == nullptr) {
      run.missing[i] = 1;
      continue;
    }
    std::memcpy(text, left, leftLength);
    std::memcpy(text + leftLength, right, rightLength + 1);
    slots.Put(step.result, i, text, leftLength + rightLength);
  }
}

// The 13 bytes of slot in row i, as PackSlot in the row path gives them.
void PackAt(const Plan& plan, const Slots& slots, int32_t slot, int32_t i, NumberValue* out) {
  if (slots.bytes[slot] != nullptr) {
    *out = slots.bytes[slot][i];
  } else if (slots.stride[slot] == 0 && plan.states[slot] == plan::kStored) {
    *out = *plan.stored[slot];
  } else {
    dec::StoreOrNull(out, slots.at[slot][i * static_cast<size_t>(slots.stride[slot])]);
  }
}

// The blocks a call over the block writes its results to, kept from row to
// row: a text block is cleared as a fresh one would be, and made afresh once
// a function has grown or moved it.
struct CallBlocks {
  void* number = nullptr;
  void* text = nullptr;
  size_t textSize = 0;  // as first allocated

  void* Text() {
    if (text != nullptr) {
      std::memset(text, 0, textSize);
      return text;
    }
    text = HostAlloc(kTextBlockSize);
    textSize = text != nullptr ? HostBlockSize(text) : 0;
    return text;
  }
  // After a call that left block as the text block.
  void Keep(void* block) {
    if (block == text && block != nullptr && HostBlockSize(block) == textSize) return;
    HostFree(block);
    text = nullptr;
  }
  ~CallBlocks() {
    host::FreeCacheBlock(number);
    HostFree(text);
  }
};

// One row's call, as RunCall in the row path makes it: the arguments copied,
// a cleared block for a text; false when it gives no value.
bool CallRow(const TextRun& run, const Plan& plan, const Site& site, const Slots& slots, int32_t i, CallBlocks& blocks) {
  void* given[plan::kMaxCallParameters] = {};
  NumberValue copies[plan::kMaxCallParameters];
  for (int32_t a = 0; a < site.argumentCount; ++a) {
    const Argument& argument = plan.arguments[site.firstArgument + a];
    if (argument.node == nullptr) continue;
    if (slots.isText[argument.slot]) {
      given[a] = const_cast<char*>(slots.TextAt(plan, argument.slot, i));
    } else {
      PackAt(plan, slots, argument.slot, i, &copies[a]);
      given[a] = &copies[a];
    }
  }
  void** args = site.argumentCount >= 0 ? given : nullptr;
  const auto entry = reinterpret_cast<XEVFunctionEntry>(site.item->boundValue);
  if (slots.isText[site.slot]) {
    void* block = blocks.Text();
    bool ok = block != nullptr && entry(run.ec, run.exp, kTextBlockSize, &block, site.name, args) != 0 &&
              block != nullptr && TerminateWithinBlock(static_cast<char*>(block));
    if (ok) PutText(run, slots, site.slot, i, static_cast<const char*>(block), std::strlen(static_cast<char*>(block)));
    blocks.Keep(block);
    return ok;
  }
  void** numberBlock = &blocks.number;
  if (*numberBlock == nullptr) *numberBlock = host::AllocateCacheBlock(XEV_NUMBER_SIZE);
  if (*numberBlock == nullptr) return false;
  std::memset(*numberBlock, 0, XEV_NUMBER_SIZE);
  if (entry(run.ec, run.exp, XEV_NUMBER_SIZE, numberBlock, site.name, args) == 0 || *numberBlock == nullptr) return false;
  slots.bytes[site.slot][i] = *static_cast<const NumberValue*>(*numberBlock);
  dec::LoadOrNull(slots.at[site.slot][i], &slots.bytes[site.slot][i]);
  return true;
}

// A built-in call over the block; a row it gives no value is left to the
// row path, which calls it again and carries on as the walk would.
void RunCall(const TextRun& run, const Plan& plan, const Site& site, const Slots& slots) {
  CallBlocks blocks;
  for (int32_t i = 0; i < run.count; ++i) {
    if (slots.isText[site.slot]) {
      slots.Put(site.slot, i, "", 0);
    } else {
      dec::Set(slots.at[site.slot][i], 0, 0, false);
      dec::StoreOrNull(&slots.bytes[site.slot][i], slots.at[site.slot][i]);
    }
    if (run.missing[i] == 0 && !CallRow(run, plan, site, slots, i, blocks)) run.missing[i] = 1;
  }
}

// Room in the block's shared read k for count rows; false when memory is short.
bool ReadRoom(BlockReads& reads, int32_t k, int32_t count) {
  if (reads.rows[k] >= count) return true;
  HostFree(reads.values[k]);
  HostFree(reads.missing[k]);
  HostFree(reads.bytes[k]);
  reads.rows[k] = 0;
  const auto rows = static_cast<size_t>(count);
  reads.values[k] = static_cast<dec::Decimal*>(HostAlloc(sizeof(dec::Decimal) * rows));
  reads.missing[k] = static_cast<uint8_t*>(HostAlloc(rows));
  reads.bytes[k] = static_cast<NumberValue*>(HostAlloc(sizeof(NumberValue) * rows));
  if (reads.values[k] == nullptr || reads.missing[k] == nullptr || reads.bytes[k] == nullptr) return false;
  reads.rows[k] = count;
  return true;
}

constexpr int32_t kNotShared = -1, kNotRead = -2;

// The block's shared read of column, with the 13 bytes when withBytes, read
// now when no formula of the block has read it so yet: its index in reads,
// kNotShared when there is none to share (no room), kNotRead when the column
// cannot be read so.
int32_t SharedRead(const TextRun& run, const ColumnReaders& readers, int32_t column, bool withBytes) {
  BlockReads* reads = run.reads;
  if (reads == nullptr) return kNotShared;
  if (reads->first != run.first) {
    reads->first = run.first;
    reads->used = 0;
  }
  int32_t k = 0;
  while (k < reads->used && reads->columns[k] != column) ++k;
  if (k < reads->used && (reads->withBytes[k] || !withBytes)) return k;
  if (k == BlockReads::kColumns || !ReadRoom(*reads, k, run.count)) return kNotShared;
  std::memset(reads->missing[k], 0, static_cast<size_t>(run.count));
  if (!readers.readBlock(run.ec, column, run.first, run.count, reads->values[k], reads->missing[k],
                         withBytes ? reads->bytes[k] : nullptr)) {
    reads->used = k < reads->used ? 0 : reads->used;  // a read again that failed leaves nothing to share
    return kNotRead;
  }
  reads->columns[k] = column;
  reads->withBytes[k] = withBytes;
  if (k == reads->used) reads->used = k + 1;
  return k;
}

// A data item's values into its slot: the slot points at the block's shared
// read of the column, or when there is none, holds a read of its own.
bool ReadItem(const TextRun& run, const ColumnReaders& readers, const Site& item, Slots& slots) {
  const int32_t slot = item.slot;
  const int32_t k = SharedRead(run, readers, item.column, slots.bytes[slot] != nullptr);
  if (k == kNotRead) return false;
  if (k == kNotShared) {
    return readers.readBlock(run.ec, item.column, run.first, run.count, slots.at[slot], run.missing, slots.bytes[slot]);
  }
  slots.at[slot] = run.reads->values[k];
  if (slots.bytes[slot] != nullptr) slots.bytes[slot] = run.reads->bytes[k];
  const uint8_t* missing = run.reads->missing[k];
  for (int32_t i = 0; i < run.count; ++i) run.missing[i] |= missing[i];
  return true;
}

// Every step over the block; false when the columns could not be read.
bool RunSteps(const TextRun& run, const Plan& plan, const BlockFormulas& formulas, int32_t index, int64_t first,
              Slots& slots) {
  const ColumnReaders* readers = CurrentColumnReaders();
  const int32_t count = run.count;
  for (int32_t i = 0; i < plan.stepCount; ++i) {
    const Step& step = plan.steps[i];
    // For the steps with a site: the others' a is a slot.
    const Site& site = plan.sites[step.code == Code::kPrepared || step.code == Code::kSubtree ||
                                          step.code == Code::kCall || step.code == Code::kTextItem
                                      ? step.a
                                      : 0];
    switch (step.code) {
      case Code::kRound: RunRound(plan, step, slots, count); break;
      case Code::kDateDays:
      case Code::kDatePlus:
      case Code::kDateMinus: RunDate(run, plan, step, slots); break;
      case Code::kPrepared:
        if (site.prepared->kind == plan::Prepared::kDateText) {
          RunDateText(run, plan, site, slots);
        } else {
          RunPrepared(run, plan, site, slots);
        }
        break;
      case Code::kSubtree:
        RunReference(site, formulas.columns[HeldTarget(site, formulas, index)], slots, count, run.missing);
        break;
      case Code::kConcat: RunConcat(run, plan, step, slots); break;
      case Code::kCall: RunCall(run, plan, site, slots); break;
      case Code::kTextItem:
        if (!RunTextItem(run, site, slots, first)) return false;
        break;
      case Code::kItems:
        for (int32_t s = step.a; s < step.a + step.b; ++s) {
          if (readers == nullptr || readers->readBlock == nullptr || !ReadItem(run, *readers, plan.sites[s], slots)) {
            return false;
          }
        }
        break;
      default: RunOperator(plan, step, slots, count); break;
    }
  }
  return true;
}

}  // namespace

void ReleaseBlockReads(BlockReads& reads) {
  for (int32_t k = 0; k < BlockReads::kColumns; ++k) {
    HostFree(reads.values[k]);
    HostFree(reads.missing[k]);
    HostFree(reads.bytes[k]);
  }
  reads = BlockReads{};
}

void ReleaseBlockDates(BlockDates& dates) {
  for (int32_t k = 0; k < BlockDates::kColumns; ++k) {
    HostFree(dates.parts[k]);
    HostFree(dates.plain[k]);
  }
  dates = BlockDates{};
}

bool OperatorsPlain(const ExprContext* ec) { return !plan::HasNumberOperatorCallback(ec); }

bool HeldAsText(HEXP exp) { return exp->root->type == XEV_TYPE_STRING; }

bool HeldByBlocks(ExprContext* ec, const BlockFormulas& formulas, int32_t index, int32_t* room) {
  HEXP exp = formulas.values->At(index);
  if (!OperatorsPlain(ec)) return false;
  if (exp == nullptr || exp->root == nullptr) return false;
  const int type = exp->root->type;
  if (type != XEV_TYPE_NUMBER && type != XEV_TYPE_DATETIME && type != XEV_TYPE_STRING) return false;
  auto* plan = static_cast<Plan*>(exp->evalPlan);
  if (!Current(plan, ec, exp)) {
    if (plan != nullptr && plan->running) return false;
    ReleasePlan(exp);
    plan = plan::Prepare(ec, exp);
    exp->evalPlan = plan;
    if (!Current(plan, ec, exp)) return false;
  }
  if (plan->slotCount > kMostBlockSlots || (!ResultPassedOn(*plan) && !Filled(*plan, plan->resultSlot))) {
    return false;  // a literal alone: nothing to run
  }
  if (plan->textResult != (type == XEV_TYPE_STRING)) return false;
  for (int32_t i = 0; i < plan->stepCount; ++i) {
    if (!HeldStep(*plan, plan->steps[i], formulas, index)) return false;
  }
  *room = 2 * plan->slotCount;
  return true;
}

void RunBlock(ExprContext* ec, const BlockFormulas& formulas, int32_t index, int64_t first, int32_t count,
              dec::Decimal* scratch, BlockArena& arena) {
  HEXP exp = formulas.values->At(index);
  const BlockColumn& out = formulas.columns[index];
  const auto* plan = static_cast<const Plan*>(exp->evalPlan);
  if (!Current(plan, ec, exp)) {
    std::memset(out.byRow, 1, static_cast<size_t>(count));
    return;
  }
  std::memset(out.byRow, 0, static_cast<size_t>(count));
  Slots slots;
  LayOut(*plan, formulas, index, slots, scratch, count);
  const TextRun run{ec, exp, count, out.byRow, arena, formulas.dates, first, formulas.reads};
  if (!RunSteps(run, *plan, formulas, index, first, slots)) {
    std::memset(out.byRow, 1, static_cast<size_t>(count));
    return;
  }
  if (out.texts != nullptr) {
    for (int32_t i = 0; i < count; ++i) {
      out.texts[i] = slots.TextAt(*plan, plan->resultSlot, i);
      out.lengths[i] = slots.LengthAt(plan->resultSlot, i);
    }
    return;
  }
  if (const NumberValue* bytes = slots.bytes[plan->resultSlot]) {
    std::memcpy(out.numbers, bytes, sizeof(NumberValue) * static_cast<size_t>(count));
    return;
  }
  const dec::Decimal* result = slots.at[plan->resultSlot];
  for (int32_t i = 0; i < count; ++i) dec::StoreOrNull(&out.numbers[i], result[i]);
}

}  // namespace xev::eval
