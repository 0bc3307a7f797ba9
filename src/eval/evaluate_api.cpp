// The evaluation entry points: one copies the value into the caller's buffer
// (or reports the size a text needs), one does that for several formulas over
// the same row, asking each data item once, and one copies into a block that
// it grows for the caller.
#include <cstring>

#include "eval/evaluator.h"
#include "eval/item_answers.h"
#include "eval/plan.h"
#include "language/language.h"

namespace {

using xev::eval::ItemAnswers;
using xev::eval::Value;

// Evaluates exp and checks that the value has the shape its root type
// promises. The type is returned through type; false means no value (and
// nothing left to release). byWalk: the plan has declined already.
bool EvaluateTyped(ExprContext* ec, HEXP exp, Value& value, int16_t* type, bool byWalk = false,
                   ItemAnswers* answers = nullptr) {
  if (exp == nullptr || exp->root == nullptr) return false;
  bool valued = byWalk ? xev::eval::EvaluateNode(ec, exp, exp->root, value, answers)
                       : xev::eval::EvaluateFormula(ec, exp, value, answers);
  if (!valued) return false;
  *type = exp->root->type;
  bool shapeFits = (*type == XEV_TYPE_NUMBER || *type == XEV_TYPE_DATETIME)
                       ? value.kind == Value::kNumber
                       : *type == XEV_TYPE_STRING && value.kind == Value::kText;
  if (!shapeFits) xev::eval::ReleaseValue(value);
  return shapeFits;
}

}  // namespace

namespace xev::eval {

int32_t EvaluateIntoBuffer(ExprContext* ec, HEXP exp, int32_t size, void* buffer, bool byWalk, ItemAnswers* answers) {
  Value value;
  int16_t type = 0;
  if (!EvaluateTyped(ec, exp, value, &type, byWalk, answers)) return 0;
  int32_t ok = 0;
  if (buffer == nullptr) {
    ok = 0;
  } else if (value.kind == Value::kNumber) {
    std::memcpy(buffer, &value.number, XEV_NUMBER_SIZE);  // the size is not looked at
    ok = 1;
  } else if (size == 0) {
    // A size query: the bytes the text needs, terminator included.
    int32_t needed = static_cast<int32_t>(std::strlen(value.text) + 1);
    std::memcpy(buffer, &needed, sizeof needed);
    ok = 1;
  } else if (size > 0) {
    // A buffer that is too small gets its first size bytes, unterminated.
    size_t needed = std::strlen(value.text) + 1;
    size_t copied = needed < static_cast<size_t>(size) ? needed : static_cast<size_t>(size);
    std::memcpy(buffer, value.text, copied);
    ok = 1;
  }
  xev::eval::ReleaseValue(value);
  return ok;
}

int32_t EvaluateWithAnswers(ExprContext* ec, HEXP exp, int32_t size, void* buffer, ItemAnswers& answers) {
  if (exp != nullptr && exp->root != nullptr && buffer != nullptr) {
    switch (EvaluateByPlan(ec, exp, static_cast<NumberValue*>(buffer), answers)) {
      case PlanOutcome::kValue: return 1;
      case PlanOutcome::kNoValue: return 0;
      case PlanOutcome::kNotPrepared: return EvaluateIntoBuffer(ec, exp, size, buffer, true, &answers);
    }
  }
  return EvaluateIntoBuffer(ec, exp, size, buffer, false, &answers);
}

}  // namespace xev::eval

extern "C" {

XEV_API int32_t XEV_CALL XEVEvaluateExpression(ExprContext* ec, HEXP exp, int32_t size,
                                               void* buffer) {
  // A prepared Number or DateTime formula writes its 13 bytes straight into
  // the buffer, which is what the general path would copy there.
  if (ec != nullptr && exp != nullptr && exp->root != nullptr && buffer != nullptr) {
    switch (xev::eval::EvaluateByPlan(ec, exp, static_cast<NumberValue*>(buffer))) {
      case xev::eval::PlanOutcome::kValue: return 1;
      case xev::eval::PlanOutcome::kNoValue: return 0;
      case xev::eval::PlanOutcome::kNotPrepared: return xev::eval::EvaluateIntoBuffer(ec, exp, size, buffer, true);
    }
  }
  return xev::eval::EvaluateIntoBuffer(ec, exp, size, buffer, false);
}

XEV_API int32_t XEV_CALL XEVEvaluateExpressions(ExprContext* ec, int32_t count, const HEXP* exps,
                                                const int32_t* sizes, void* const* buffers, int32_t* results) {
  if (results == nullptr || count <= 0) return 0;
  if (ec == nullptr || exps == nullptr || buffers == nullptr) {
    std::memset(results, 0, sizeof(int32_t) * static_cast<size_t>(count));
    return 0;
  }
  ItemAnswers answers(ec);
  // Memory that ran short in any formula of the row makes the row untrustworthy
  // (an argument may have been left out), which a count of values cannot say.
  const uint32_t memoryShort = xev::eval::MemoryShortCount();
  int32_t valued = xev::eval::EvaluateRow(ec, count, exps, sizes, buffers, results, answers);
  return xev::eval::MemoryShortCount() == memoryShort ? valued : -1;
}

XEV_API int32_t XEV_CALL XEVEvaluateExpressionExt(ExprContext* ec, HEXP exp, int32_t* length,
                                                  void** block) {
  Value value;
  int16_t type = 0;
  if (block == nullptr || !EvaluateTyped(ec, exp, value, &type)) return 0;
  int32_t ok = 0;
  if (value.kind == Value::kNumber) {
    // The caller's block must already hold 13 bytes; the length is not written.
    if (*block != nullptr) {
      std::memcpy(*block, &value.number, XEV_NUMBER_SIZE);
      ok = 1;
    }
  } else {
    size_t textLength = std::strlen(value.text);
    size_t room = textLength + 2;
    void* target = *block;
    if (target == nullptr) {
      target = HostAlloc(room);
    } else if (HostBlockSize(target) < room) {
      target = HostRealloc(target, room);
    }
    if (target != nullptr) {
      *block = target;
      if (length != nullptr) *length = static_cast<int32_t>(static_cast<uint16_t>(textLength + 1));
      std::memcpy(target, value.text, textLength + 1);
      ok = 1;
    }
  }
  xev::eval::ReleaseValue(value);
  return ok;
}

}  // extern "C"
