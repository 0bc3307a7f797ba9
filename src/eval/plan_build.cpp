// Preparing a plan: the tree is visited once to count, once to fill the
// steps, both times with an explicit stack, so a chain of a million operators
// costs no C stack. Steps come out in the order the walk would visit the
// nodes (left operand, right operand, node; arguments left to right, then the
// call), so callbacks are called in the same order as by the walk.
//
// Plans live in plain heap memory: they are a cache of the engine's own,
// never handed to the host, and must not show among the host's blocks.
#include <cstdlib>
#include <cstring>

#include "eval/plan_steps.h"
#include "host/host.h"

namespace xev::eval::plan {
namespace {

using language::ExprNode;

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

bool PassedByName(const ExpItem* function, int32_t index) { return function->params[index].byName == 1; }

// False when the call is not one a plan makes itself.
bool ReadCall(ExprContext* ec, const ExprNode* node, CallShape& shape) {
  if (!IsNumberShaped(node->type)) return false;
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
    if (argument != nullptr && !PassedByName(shape.item, i) && !IsNumberShaped(argument->type)) return false;
  }
  return true;
}

bool Evaluated(const CallShape& shape, int32_t index) {
  return shape.nodes[index] != nullptr && !PassedByName(shape.item, index);
}

// Which step a node becomes. The steps the plan runs itself cost no C stack
// however deep they lie, so depth plays no part here; a node left to the walk
// is handed its depth, and the walk applies its own limits from there.
Code Classify(ExprContext* ec, const ExprNode* node, CallShape* call) {
  switch (node->kind) {
    case language::NK_NUMBER:
      return node->left != nullptr ? Code::kConstant : Code::kSubtree;
    case language::NK_ITEM:
      return IsNumberShaped(node->type) ? Code::kItem : Code::kSubtree;
    case language::NK_ADD:
    case language::NK_SUB:
    case language::NK_MUL:
    case language::NK_DIV: {
      auto* left = static_cast<const ExprNode*>(node->left);
      if (node->type != XEV_TYPE_NUMBER || left == nullptr || node->right == nullptr) return Code::kSubtree;
      // A DateTime minus a DateTime counts days: the walk's business.
      if (node->kind == language::NK_SUB && left->type == XEV_TYPE_DATETIME) return Code::kSubtree;
      return Code::kArithmetic;
    }
    case language::NK_FUNCTION:
      return ReadCall(ec, node, *call) ? Code::kCall : Code::kSubtree;
    default:
      return Code::kSubtree;
  }
}

OperatorIndex OperatorOf(uint32_t kind) {
  switch (kind) {
    case language::NK_ADD: return kOpPlus;
    case language::NK_SUB: return kOpMinus;
    case language::NK_MUL: return kOpTimes;
    default: return kOpDivide;
  }
}

struct Frame {
  const ExprNode* node;
  int32_t depth;
  bool expanded;  // its operands are already on their way
};

// Visits the tree in evaluation order and hands each step to sink.Leaf or
// sink.Composite. False when memory runs short.
template <class Sink>
bool Visit(ExprContext* ec, const ExprNode* root, Sink& sink) {
  Stack<Frame> frames;
  if (!frames.Push(Frame{root, 0, false})) return false;
  while (!frames.empty()) {
    Frame frame = frames.Pop();
    CallShape call;
    Code code = Classify(ec, frame.node, &call);
    if (frame.expanded) {
      if (!sink.Composite(frame, code, call)) return false;
      continue;
    }
    if (code != Code::kArithmetic && code != Code::kCall) {
      if (!sink.Leaf(frame, code)) return false;
      continue;
    }
    if (!frames.Push(Frame{frame.node, frame.depth, true})) return false;
    if (code == Code::kArithmetic) {
      if (!frames.Push(Frame{static_cast<const ExprNode*>(frame.node->right), frame.depth + 1, false}) ||
          !frames.Push(Frame{static_cast<const ExprNode*>(frame.node->left), frame.depth + 1, false})) {
        return false;
      }
      continue;
    }
    for (int32_t i = call.given - 1; i >= 0; --i) {
      if (Evaluated(call, i) && !frames.Push(Frame{call.nodes[i], frame.depth + 1, false})) return false;
    }
  }
  return true;
}

struct Counter {
  int32_t steps = 0;
  int32_t arguments = 0;
  bool Leaf(const Frame&, Code) {
    ++steps;
    return true;
  }
  bool Composite(const Frame&, Code, const CallShape& call) {
    ++steps;
    arguments += call.given;
    return true;
  }
};

class Filler {
 public:
  explicit Filler(Plan* plan) : plan_(plan) {}

  bool Leaf(const Frame& frame, Code code) {
    Step& step = NewStep(frame, code);
    if (code == Code::kConstant) step.constant = static_cast<const NumberValue*>(frame.node->left);
    if (code == Code::kItem) {
      step.item = core::FindItem(plan_->ec->dataItems, static_cast<const char*>(frame.node->left));
    }
    return operands_.Push(plan_->stepCount - 1);
  }

  bool Composite(const Frame& frame, Code code, const CallShape& call) {
    if (code == Code::kArithmetic) {
      int32_t right = operands_.Pop();
      int32_t left = operands_.Pop();
      Step& step = NewStep(frame, code);
      step.op = OperatorOf(frame.node->kind);
      step.left = left;
      step.right = right;
      return operands_.Push(plan_->stepCount - 1);
    }
    // The argument steps sit on the operand stack, the last one on top.
    Argument* arguments = plan_->arguments + plan_->argumentCount;
    for (int32_t i = call.given - 1; i >= 0; --i) {
      arguments[i] = Argument{Evaluated(call, i) ? operands_.Pop() : -1, call.nodes[i]};
    }
    Step& step = NewStep(frame, code);
    step.item = call.item;
    step.left = plan_->argumentCount;
    step.right = call.listed ? call.given : -1;  // -1: called without an argument list
    plan_->argumentCount += call.given;
    return operands_.Push(plan_->stepCount - 1);
  }

 private:
  Step& NewStep(const Frame& frame, Code code) {
    Step& step = plan_->steps[plan_->stepCount++];
    step = Step{};
    step.code = code;
    step.node = frame.node;
    step.depth = frame.depth;
    return step;
  }

  Plan* plan_;
  Stack<int32_t> operands_;
};

template <class T>
size_t RoundUp(size_t bytes) {
  return (bytes + alignof(T) - 1) / alignof(T) * alignof(T);
}

// One heap block: the record, then steps, arguments, values and results.
Plan* AllocatePlan(int32_t steps, int32_t arguments) {
  size_t at = RoundUp<Step>(sizeof(Plan));
  size_t stepsAt = at;
  at = RoundUp<Argument>(at + sizeof(Step) * steps);
  size_t argumentsAt = at;
  at = RoundUp<const NumberValue*>(at + sizeof(Argument) * arguments);
  size_t valuesAt = at;
  at = RoundUp<Slot>(at + sizeof(const NumberValue*) * steps);
  size_t resultsAt = at;
  at += sizeof(Slot) * steps;
  void* block = std::aligned_alloc(alignof(Slot), RoundUp<Slot>(at));
  if (block == nullptr) return nullptr;
  std::memset(block, 0, at);
  auto* base = static_cast<char*>(block);
  auto* plan = reinterpret_cast<Plan*>(base);
  plan->steps = reinterpret_cast<Step*>(base + stepsAt);
  plan->arguments = reinterpret_cast<Argument*>(base + argumentsAt);
  plan->values = reinterpret_cast<const NumberValue**>(base + valuesAt);
  plan->results = reinterpret_cast<Slot*>(base + resultsAt);
  return plan;
}

}  // namespace

Plan* Prepare(ExprContext* ec, HEXP exp) {
  const ExprNode* root = exp->root;
  CallShape call;
  // A formula that the walk evaluates as a whole gains nothing from a plan.
  if (Classify(ec, root, &call) == Code::kSubtree) return nullptr;
  Counter counter;
  if (!Visit(ec, root, counter)) return nullptr;
  Plan* plan = AllocatePlan(counter.steps, counter.arguments);
  if (plan == nullptr) return nullptr;
  plan->ec = ec;
  plan->root = root;
  plan->generation = ec->generation;
  Filler filler(plan);
  if (!Visit(ec, root, filler)) {
    Release(plan);
    return nullptr;
  }
  return plan;
}

void Release(Plan* plan) {
  if (plan == nullptr) return;
  for (int32_t i = 0; i < plan->stepCount; ++i) host::FreeCacheBlock(plan->steps[i].block);
  std::free(plan);
}

}  // namespace xev::eval::plan
