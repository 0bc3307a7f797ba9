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
    default: return false;  // calls, texts, dates, the walk
  }
}

// A plan current for ec, as the row path would run it.
bool Current(const Plan* plan, const ExprContext* ec, HEXP exp) {
  return plan != nullptr && plan->ec == ec && plan->root == exp->root && plan->generation == ec->generation &&
         !plan->running && !plan->walkOnly && !plan->textResult;
}

// The value is an operator's or a rounding's, which the row path stores
// from its loaded form: an item or reference alone passes on its bytes as
// they came, which a block does not keep.
bool ResultComputed(const Plan& plan) {
  for (int32_t i = 0; i < plan.stepCount; ++i) {
    const Step& step = plan.steps[i];
    if ((plan::IsOperator(step.code) || step.code == Code::kRound) && step.result == plan.resultSlot) return true;
  }
  return false;
}

// Where a block run keeps each slot's values: a column, or the plan's literal.
struct Slots {
  dec::Decimal* at[kMostBlockSlots];
  int32_t stride[kMostBlockSlots];

  void Fill(int32_t slot, dec::Decimal* scratch, int32_t count) {
    at[slot] = scratch + static_cast<size_t>(slot) * static_cast<size_t>(count);
    stride[slot] = 1;
  }
  int32_t SlotOf(const Plan& plan, const dec::Decimal* value) const {
    return static_cast<int32_t>(value - plan.values);
  }
};

void LayOut(const Plan& plan, Slots& slots, dec::Decimal* scratch, int32_t count) {
  for (int32_t s = 0; s < plan.slotCount; ++s) {
    slots.at[s] = plan.values + s;
    slots.stride[s] = 0;
  }
  for (int32_t i = 0; i < plan.stepCount; ++i) {
    const Step& step = plan.steps[i];
    if (step.code == Code::kItems) {
      for (int32_t s = step.a; s < step.a + step.b; ++s) slots.Fill(plan.sites[s].slot, scratch, count);
    } else {
      slots.Fill(step.result, scratch, count);
    }
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
    } else if (step.code == Code::kSubtree) {
      const Site& site = plan.sites[step.a];
      RunReference(site, formulas.columns[HeldTarget(site, formulas, index)], slots, count, missing);
    } else {
      for (int32_t s = step.a; s < step.a + step.b; ++s) {
        const Site& site = plan.sites[s];
        if (readers == nullptr || readers->readBlock == nullptr ||
            !readers->readBlock(ec, site.column, first, count, slots.at[site.slot], missing)) {
          return false;
        }
      }
    }
  }
  return true;
}

}  // namespace

bool OperatorsPlain(const ExprContext* ec) { return !plan::HasNumberOperatorCallback(ec); }

bool HeldByBlocks(ExprContext* ec, const BlockFormulas& formulas, int32_t index, int32_t* slots) {
  HEXP exp = formulas.values->At(index);
  if (!OperatorsPlain(ec)) return false;
  if (exp == nullptr || exp->root == nullptr || exp->root->type != XEV_TYPE_NUMBER) return false;
  auto* plan = static_cast<Plan*>(exp->evalPlan);
  if (!Current(plan, ec, exp)) {
    if (plan != nullptr && plan->running) return false;
    ReleasePlan(exp);
    plan = plan::Prepare(ec, exp);
    exp->evalPlan = plan;
    if (!Current(plan, ec, exp)) return false;
  }
  if (plan->slotCount > kMostBlockSlots || !ResultComputed(*plan)) return false;
  for (int32_t i = 0; i < plan->stepCount; ++i) {
    if (!HeldStep(*plan, plan->steps[i], formulas, index)) return false;
  }
  *slots = plan->slotCount;
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
  const dec::Decimal* result = slots.at[plan->resultSlot];
  for (int32_t i = 0; i < count; ++i) dec::StoreOrNull(&out.numbers[i], result[i]);
}

}  // namespace xev::eval
