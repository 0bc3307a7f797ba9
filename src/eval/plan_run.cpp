// Running a plan: the steps in order, each leaving a pointer to its value.
// Operands are read where they lie (a literal of the tree, the block a
// callback has just written, an earlier result), so no 13-byte value is
// copied on its way from one step to the next, and a value a callback has
// just written is read only when an operator needs it.
//
// A callback may change the context while a row is evaluated. The plan then
// finishes the row looking each remaining name up again, as the walk does.
#include <cstring>

#include "eval/plan.h"
#include "eval/plan_steps.h"
#include "host/decimal.h"
#include "host/host.h"

namespace xev::eval {
namespace {

namespace dec = host::decimal;
using language::ExprNode;
using plan::Argument;
using plan::Code;
using plan::Plan;
using plan::Step;

constexpr int32_t kNumberBlockSize = XEV_NUMBER_SIZE;

const NumberValue kZero = [] {
  NumberValue zero{};
  dec::StoreZero(&zero);
  return zero;
}();

// The step's result block, cleared as a fresh block would be; the host may
// have grown or moved it on an earlier row.
void* ResultBlock(Step& step) {
  if (step.block == nullptr) return step.block = host::AllocateCacheBlock(kNumberBlockSize);
  std::memset(step.block, 0, kNumberBlockSize);
  return step.block;
}

const NumberValue* KeepResult(Step& step, void* block, int32_t answered) {
  step.block = block;
  return answered != 0 && block != nullptr ? static_cast<const NumberValue*>(block) : nullptr;
}

const NumberValue* RunItem(ExprContext* ec, HEXP exp, Step& step, bool stale) {
  const char* name = static_cast<const char*>(step.node->left);
  const ExpItem* item = stale ? core::FindItem(ec->dataItems, name) : step.item;
  if (item == nullptr || item->boundValue == 0) return nullptr;
  void* block = ResultBlock(step);
  if (block == nullptr) return nullptr;
  auto callback = reinterpret_cast<XEVDataItemCallback>(item->boundValue);
  int32_t answered = callback(ec, exp, kNumberBlockSize, &block, name);
  return KeepResult(step, block, answered);
}

const NumberValue* RunCall(ExprContext* ec, HEXP exp, const Plan& plan, Step& step, bool stale) {
  const char* name = static_cast<const char*>(step.node->left);
  const ExpItem* item = stale ? core::FindItem(ec->functionItems, name) : step.item;
  if (item == nullptr || item->boundValue == 0) return nullptr;
  // Functions get copies, so that none can write into a literal or a data item's block.
  void* slots[plan::kMaxCallParameters] = {};
  NumberValue copies[plan::kMaxCallParameters];
  void** args = nullptr;
  if (step.right >= 0) {
    args = slots;
    const Argument* arguments = plan.arguments + step.left;
    for (int32_t i = 0; i < step.right; ++i) {
      const Argument& argument = arguments[i];
      if (argument.node == nullptr) continue;
      if (argument.step < 0) {
        slots[i] = const_cast<char*>(ArgumentText(argument.node));
      } else if (const NumberValue* value = plan.values[argument.step]) {
        copies[i] = *value;
        slots[i] = &copies[i];
      }
    }
  }
  void* block = ResultBlock(step);
  if (block == nullptr) return nullptr;
  auto entry = reinterpret_cast<XEVFunctionEntry>(item->boundValue);
  int32_t answered = entry(ec, exp, kNumberBlockSize, &block, name, args);
  return KeepResult(step, block, answered);
}

// '+', '-', '*' and '/' as the walk does them: a host callback sees the
// operands as they are, NULL included; without one NULL counts as zero and a
// division by zero gives zero.
const NumberValue* RunArithmetic(ExprContext* ec, HEXP exp, const Plan& plan, const Step& step,
                                 NumberValue* result) {
  const NumberValue* a = plan.values[step.left];
  const NumberValue* b = plan.values[step.right];
  if (a == nullptr || b == nullptr) return nullptr;
  auto callback = reinterpret_cast<XEVOperatorCallback>(ec->operators[step.op].bound[XEV_TYPE_NUMBER]);
  if (callback != nullptr) {
    NumberValue left = *a;
    NumberValue right = *b;
    *result = NumberValue{};
    callback(ec, exp, 0, kNumberBlockSize, &left, kNumberBlockSize, &right, kNumberBlockSize, result);
    return result;
  }
  if (dec::IsNull(a)) a = &kZero;
  if (dec::IsNull(b)) b = &kZero;
  bool inRange = true;
  switch (step.op) {
    case kOpPlus: inRange = dec::AddQuick(result, a, b, false); break;
    case kOpMinus: inRange = dec::AddQuick(result, a, b, true); break;
    case kOpTimes: inRange = dec::Multiply(result, a, b); break;
    default:
      if (dec::Load(a).coef == 0 || dec::Load(b).coef == 0) {
        dec::StoreZero(result);
      } else {
        inRange = dec::Divide(result, a, b);
      }
      break;
  }
  if (!inRange) dec::StoreNull(result);  // beyond the Number range: an empty value
  return result;
}

// A node the plan leaves to the walk. Only Numbers travel between steps; a
// text where a Number belongs is no value, as the walk's operators see it.
const NumberValue* RunSubtree(ExprContext* ec, HEXP exp, const Step& step, NumberValue* result) {
  Value value;
  if (!EvaluateNode(ec, exp, step.node, step.depth, value)) return nullptr;
  bool number = value.kind == Value::kNumber;
  if (number) *result = value.number;
  ReleaseValue(value);
  return number ? result : nullptr;
}

bool Run(ExprContext* ec, HEXP exp, Plan& plan, Value& out) {
  bool stale = false;
  for (int32_t i = 0; i < plan.stepCount; ++i) {
    Step& step = plan.steps[i];
    NumberValue* result = &plan.results[i].number;
    const NumberValue* value = nullptr;
    switch (step.code) {
      case Code::kConstant: value = step.constant; break;
      case Code::kArithmetic: value = RunArithmetic(ec, exp, plan, step, result); break;
      case Code::kItem: value = RunItem(ec, exp, step, stale); break;
      case Code::kCall: value = RunCall(ec, exp, plan, step, stale); break;
      case Code::kSubtree: value = RunSubtree(ec, exp, step, result); break;
    }
    plan.values[i] = value;
    if (step.code >= Code::kItem) stale = stale || ec->generation != plan.generation;
  }
  const NumberValue* value = plan.values[plan.stepCount - 1];
  if (value == nullptr) return false;
  out.kind = Value::kNumber;
  out.number = *value;
  return true;
}

bool Usable(const Plan* plan, ExprContext* ec, HEXP exp) {
  return plan != nullptr && plan->ec == ec && plan->root == exp->root && plan->generation == ec->generation;
}

}  // namespace

PlanOutcome EvaluateByPlan(ExprContext* ec, HEXP exp, Value& out) {
  auto* current = static_cast<Plan*>(exp->evalPlan);
  // A callback that evaluates this formula again gets the walk.
  if (current != nullptr && current->running) return PlanOutcome::kNotPrepared;
  if (!Usable(current, ec, exp)) {
    ReleasePlan(exp);
    current = plan::Prepare(ec, exp);
    exp->evalPlan = current;
    if (current == nullptr) return PlanOutcome::kNotPrepared;
  }
  current->running = true;
  bool ok = Run(ec, exp, *current, out);
  current->running = false;
  return ok ? PlanOutcome::kValue : PlanOutcome::kNoValue;
}

void ReleasePlan(ExprRecord* record) {
  if (record == nullptr) return;
  plan::Release(static_cast<Plan*>(record->evalPlan));
  record->evalPlan = nullptr;
}

}  // namespace xev::eval
