// The block runner. Slots become columns of loaded values, one per slot a
// step fills; a literal's slot stays the plan's single value, read with a
// stride of 0. Every row of a block gets a valid value in every slot (a
// missing one reads as zero), so the arithmetic of a row left to the row
// path is wasted but harmless.
#include "eval/plan_blocks.h"

#include <cstring>

#include "eval/column_reads.h"
#include "eval/plan.h"
#include "eval/plan_arith.h"
#include "eval/plan_calls.h"
#include "eval/plan_steps.h"
#include "language/language.h"

namespace xev::eval {
namespace {

namespace dec = host::decimal;
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
  return code == Code::kDateDays || code == Code::kDatePlus || code == Code::kDateMinus || code == Code::kPrepared;
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
    case Code::kPrepared: {
      const Site& site = plan.sites[step.a];
      return site.prepared->kind != plan::Prepared::kDateText && plan.arguments[site.firstArgument].slot >= 0;
    }
    default: return false;  // other calls, texts, the walk
  }
}

// A plan current for ec, as the row path would run it.
bool Current(const Plan* plan, const ExprContext* ec, HEXP exp) {
  return plan != nullptr && plan->ec == ec && plan->root == exp->root && plan->generation == ec->generation &&
         !plan->running && !plan->walkOnly && !plan->textResult;
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

// Where a block run keeps each slot's values: a column, or the plan's literal.
struct Slots {
  dec::Decimal* at[kMostBlockSlots];
  int32_t stride[kMostBlockSlots];
  NumberValue* bytes[kMostBlockSlots];  // a step's that GivesBytes; nullptr for the others

  void Fill(int32_t slot, dec::Decimal* scratch, int32_t count) {
    at[slot] = scratch + static_cast<size_t>(slot) * static_cast<size_t>(count);
    stride[slot] = 1;
  }
  int32_t SlotOf(const Plan& plan, const dec::Decimal* value) const {
    return static_cast<int32_t>(value - plan.values);
  }
};

// The loaded values take the scratch's first slotCount * count places, the
// bytes the rest.
void LayOut(const Plan& plan, Slots& slots, dec::Decimal* scratch, int32_t count) {
  auto* bytes = reinterpret_cast<NumberValue*>(scratch + static_cast<size_t>(plan.slotCount) * static_cast<size_t>(count));
  for (int32_t s = 0; s < plan.slotCount; ++s) {
    slots.at[s] = plan.values + s;
    slots.stride[s] = 0;
    slots.bytes[s] = nullptr;
  }
  for (int32_t i = 0; i < plan.stepCount; ++i) {
    const Step& step = plan.steps[i];
    if (step.code == Code::kItems) {
      for (int32_t s = step.a; s < step.a + step.b; ++s) slots.Fill(plan.sites[s].slot, scratch, count);
      continue;
    }
    slots.Fill(step.result, scratch, count);
    if (GivesBytes(step.code)) slots.bytes[step.result] = bytes + static_cast<size_t>(step.result) * static_cast<size_t>(count);
  }
  if (ResultPassedOn(plan)) {
    slots.bytes[plan.resultSlot] = bytes + static_cast<size_t>(plan.resultSlot) * static_cast<size_t>(count);
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

void RunOperator(const Plan& plan, const Step& step, const Slots& slots, int32_t count) {
  switch (step.code) {
    case Code::kAdd:
      return Operator(plan, step, slots, count, [](dec::Decimal& r, const dec::Decimal& a, const dec::Decimal& b) {
        plan::Compute<Code::kAdd>(r, a, b);
      });
    case Code::kSubtract:
      return Operator(plan, step, slots, count, [](dec::Decimal& r, const dec::Decimal& a, const dec::Decimal& b) {
        plan::Compute<Code::kSubtract>(r, a, b);
      });
    case Code::kMultiply:
      return Operator(plan, step, slots, count, [](dec::Decimal& r, const dec::Decimal& a, const dec::Decimal& b) {
        plan::Compute<Code::kMultiply>(r, a, b);
      });
    case Code::kDivide:
      return Operator(plan, step, slots, count, [](dec::Decimal& r, const dec::Decimal& a, const dec::Decimal& b) {
        plan::Compute<Code::kDivide>(r, a, b);
      });
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

// The days between two dates, or a date plus a literal count of units, as
// RunDate in the row path works them out while the dates are plain.
void RunDate(const Plan& plan, const Step& step, const Slots& slots, int32_t count, uint8_t* missing) {
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
  for (int32_t i = 0; i < count; ++i) {
    out[i] = NumberValue{};
    const bool done = dec::IsNull(a[i * sa]) || plan::AddUnitsToLoaded(a[i * sa], signedUnits, step.places, &out[i]);
    TakeBytes(slots, step.result, i, done, missing);
  }
}

// A prepared date call with a Number or DateTime value, as RunPrepared runs it.
void RunPrepared(const Plan& plan, const Site& site, const Slots& slots, int32_t count, uint8_t* missing) {
  const int32_t date = plan.arguments[site.firstArgument].slot;
  const dec::Decimal* a = slots.at[date];
  const size_t sa = static_cast<size_t>(slots.stride[date]);
  NumberValue* out = slots.bytes[site.slot];
  for (int32_t i = 0; i < count; ++i) {
    out[i] = NumberValue{};
    DateParts parts;
    bool done = dec::IsNull(a[i * sa]);
    if (!done && plan::DatePartsOfLoaded(a[i * sa], &parts)) {
      plan::RunDateNumber(*site.prepared, parts, &out[i]);
      done = true;
    }
    TakeBytes(slots, site.slot, i, done, missing);
  }
}

// Every step over the block; false when the columns could not be read.
bool RunSteps(ExprContext* ec, const Plan& plan, const BlockFormulas& formulas, int32_t index, int64_t first,
              int32_t count, const Slots& slots, uint8_t* missing) {
  const ColumnReaders* readers = CurrentColumnReaders();
  for (int32_t i = 0; i < plan.stepCount; ++i) {
    const Step& step = plan.steps[i];
    if (plan::IsOperator(step.code)) {
      RunOperator(plan, step, slots, count);
    } else if (step.code == Code::kRound) {
      RunRound(plan, step, slots, count);
    } else if (step.code == Code::kDateDays || step.code == Code::kDatePlus || step.code == Code::kDateMinus) {
      RunDate(plan, step, slots, count, missing);
    } else if (step.code == Code::kPrepared) {
      RunPrepared(plan, plan.sites[step.a], slots, count, missing);
    } else if (step.code == Code::kSubtree) {
      const Site& site = plan.sites[step.a];
      RunReference(site, formulas.columns[HeldTarget(site, formulas, index)], slots, count, missing);
    } else {
      for (int32_t s = step.a; s < step.a + step.b; ++s) {
        const Site& site = plan.sites[s];
        if (readers == nullptr || readers->readBlock == nullptr ||
            !readers->readBlock(ec, site.column, first, count, slots.at[site.slot], missing, slots.bytes[site.slot])) {
          return false;
        }
      }
    }
  }
  return true;
}

}  // namespace

bool OperatorsPlain(const ExprContext* ec) { return !plan::HasNumberOperatorCallback(ec); }

bool HeldByBlocks(ExprContext* ec, const BlockFormulas& formulas, int32_t index, int32_t* room) {
  HEXP exp = formulas.values->At(index);
  if (!OperatorsPlain(ec)) return false;
  if (exp == nullptr || exp->root == nullptr) return false;
  if (exp->root->type != XEV_TYPE_NUMBER && exp->root->type != XEV_TYPE_DATETIME) return false;
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
  for (int32_t i = 0; i < plan->stepCount; ++i) {
    if (!HeldStep(*plan, plan->steps[i], formulas, index)) return false;
  }
  *room = 2 * plan->slotCount;
  return true;
}

void RunBlock(ExprContext* ec, const BlockFormulas& formulas, int32_t index, int64_t first, int32_t count,
              dec::Decimal* scratch) {
  HEXP exp = formulas.values->At(index);
  const BlockColumn& out = formulas.columns[index];
  const auto* plan = static_cast<const Plan*>(exp->evalPlan);
  if (!Current(plan, ec, exp)) {
    std::memset(out.byRow, 1, static_cast<size_t>(count));
    return;
  }
  std::memset(out.byRow, 0, static_cast<size_t>(count));
  Slots slots;
  LayOut(*plan, slots, scratch, count);
  if (!RunSteps(ec, *plan, formulas, index, first, count, slots, out.byRow)) {
    std::memset(out.byRow, 1, static_cast<size_t>(count));
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
