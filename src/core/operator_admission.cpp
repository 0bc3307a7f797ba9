// Which operators an operand type admits in a context. The parser asks before
// it builds an operator node; the answer depends on the context's flags and on
// the operator callbacks the host has installed.
#include "core/core.h"

namespace xev::core {

namespace {

constexpr int32_t kNoOperator = -1;

int32_t OperatorIndexOf(char op) {
  switch (op) {
    case '+': return kOpPlus;
    case '-': return kOpMinus;
    case '*': return kOpTimes;
    case '/': return kOpDivide;
    case '|': return kOpConcat;
    default: return kNoOperator;
  }
}

bool HasCallback(const ExprContext* ec, int32_t index, int32_t slot) {
  return index != kNoOperator && ec->operators[index].bound[slot] != 0;
}

bool Flag(const ExprContext* ec, uint16_t bit) { return (ec->flags & bit) != 0; }

// Numbers have native arithmetic; modulo and concatenation need the host.
bool NumberAdmits(const ExprContext* ec, char op) {
  if (op == '|') return HasCallback(ec, kOpConcat, XEV_TYPE_NUMBER);
  if (op == '%') return Flag(ec, ECF_MODULO);
  return true;
}

// Dates move forward and back by units; nothing else means anything on them.
bool DateAdmits(const ExprContext* ec, char op) {
  if (Flag(ec, ECF_NO_DATE_ARITH)) return false;
  return op == '+' || op == '-';
}

bool StringAdmits(const ExprContext* ec, char op) {
  switch (op) {
    case '%': return false;
    case '*':
    case '-':
    case '/': return HasCallback(ec, OperatorIndexOf(op), XEV_TYPE_STRING);
    case '+': return HasCallback(ec, kOpPlus, XEV_TYPE_STRING) || Flag(ec, ECF_STRING_PLUS);
    case '|': return !Flag(ec, ECF_NO_STRING_CONCAT);
    default: return true;
  }
}

bool KeywordAdmits(const ExprContext* ec, char op) {
  if (op == '%') return false;
  int32_t index = OperatorIndexOf(op);
  if (index == kNoOperator) return true;
  return HasCallback(ec, index, XEV_TYPE_KEYWORD);
}

}  // namespace

int32_t OperatorAdmitted(ExprContext* ec, char op, int32_t dataType) {
  if (ec == nullptr) return 0;
  switch (dataType) {
    case XEV_TYPE_NUMBER: return NumberAdmits(ec, op) ? 1 : 0;
    case XEV_TYPE_DATETIME: return DateAdmits(ec, op) ? 1 : 0;
    case XEV_TYPE_STRING: return StringAdmits(ec, op) ? 1 : 0;
    case XEV_TYPE_KEYWORD: return KeywordAdmits(ec, op) ? 1 : 0;
    default: return 0;  // the operator table has no slots for other types
  }
}

}  // namespace xev::core
