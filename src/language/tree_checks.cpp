// The checks made while a tree is built: name resolution, constants,
// operator admission and typing, date units, calls with their arity and
// argument rules. Every failing check records an error; the action that
// asked releases what the production was given.
//
// Error spans: a check that knows no better span records length 0 and the
// production fills in the span of its operator, quantifier or function token.
#include "core/expressions.h"
#include "host/values.h"
#include "language/tree_build_state.h"
#include "platform/platform.h"

namespace xev::language {
namespace {

const ExpItem* DataItemNamed(const char* name) {
  if (name == nullptr) return nullptr;
  if (t_parser.items == nullptr) return core::FindDataItem(ScanContext(), name);
  return core::item_index::FindIn(t_parser.items, core::item_index::kData, name);
}

const ExpItem* FunctionNamed(const char* name) {
  if (name == nullptr) return nullptr;
  if (t_parser.items == nullptr) return core::FindFunctionItem(ScanContext(), name);
  return core::item_index::FindIn(t_parser.items, core::item_index::kFunctions, name);
}

// ---- Leaves --------------------------------------------------------------------

bool HasQuoteEscape(const char* text) {
  for (const char* p = text; *p != '\0'; p = platform::CharNextA(p)) {
    if ((p[0] == '\\' || p[0] == '\'') && p[1] == '\'') return true;
  }
  return false;
}

}  // namespace

bool TypeLeaf(ExprNode* node) {
  ExprContext* ec = ScanContext();
  switch (node->kind) {
    case NK_NUMBER:
      node->type = kNumber;
      return true;
    case NK_STRING:
      node->type = kString;
      if (HasQuoteEscape(NodeName(node))) node->flags = kStringEscaped;
      return true;
    case NK_DATE: {
      NumberValue date{};
      if (host::DateFromText(&date, NodeName(node)) != 0) {
        node->type = kDateTime;
        return true;
      }
      node->type = -1;
      SetErrorAt(XEV_ERR_INVALIDDATE, node);
      return false;
    }
    case NK_ITEM: {
      const ExpItem* dataItem = DataItemNamed(NodeName(node));
      int32_t type = dataItem != nullptr ? dataItem->dataType : -1;
      if (type == -1) type = core::KeywordItemType(ec, NodeName(node));
      node->type = static_cast<int16_t>(type);
      if (type != -1 || NameCheckMode()) return true;
      SetErrorAt(XEV_ERR_VAR, node);
      return false;
    }
    default:
      return true;
  }
}

namespace {

// ---- Operators -------------------------------------------------------------------

char OperatorCharacter(uint32_t kind) { return kind == NK_CONCAT ? '|' : static_cast<char>(kind); }

uint32_t OperatorRefusal(int32_t leftType) {
  switch (leftType) {
    case kNumber: return XEV_ERR_OPERATORNUM;
    case kDateTime: return XEV_ERR_OPERATORDATE;
    case kString: return XEV_ERR_OPERATORSTR;
    default: return XEV_ERR_OPERATORKEYWORD;
  }
}

}  // namespace

bool CheckOperator(ExprNode* node) {
  ExprContext* ec = ScanContext();
  const auto* left = static_cast<const ExprNode*>(node->left);
  const auto* right = static_cast<const ExprNode*>(node->right);
  if (IsSetOrRange(left)) {
    SetErrorAt(XEV_ERR_IMBEDDEDRANGE, left);
    return false;
  }
  if (IsSetOrRange(right)) {
    SetErrorAt(XEV_ERR_IMBEDDEDRANGE, right);
    return false;
  }
  int32_t leftType = left->type;
  int32_t rightType = right->type;
  char op = OperatorCharacter(node->kind);
  // The operator table has no slot for a failed (negative) type.
  const bool admitted = (leftType == kNumber && core::NumberTakesOperatorAlways(op)) ||
                        (leftType >= 0 && core::OperatorAdmitted(ec, op, leftType) != 0);
  if (!admitted) {
    SetError(OperatorRefusal(leftType), 0, 0);
    return false;
  }
  int32_t type = leftType;
  if (leftType == kDateTime && op == '+') {
    if (rightType != kNumber) {
      SetErrorAt(XEV_ERR_TYPENUM, right);
      return false;
    }
  } else if (leftType == kDateTime && op == '-') {
    if (rightType == kNumber) {
      type = kDateTime;
    } else if (rightType == kDateTime) {
      type = kNumber;
    } else if (rightType == kString && (ec->flags & ECF_DATE_MINUS_STRING) != 0) {
      type = kNumber;
    } else {
      SetErrorAt(XEV_ERR_TYPENUMDATE, right);
      return false;
    }
  } else if (rightType != leftType) {
    // Other left types fail without a code of their own.
    if (leftType == kNumber) SetErrorAt(XEV_ERR_TYPENUM, right);
    if (leftType == kString) SetErrorAt(XEV_ERR_TYPESTR, right);
    return false;
  }
  node->type = static_cast<int16_t>(type);
  if (node->flags != 0) {
    bool dateStep = leftType == kDateTime && (op == '+' || op == '-') && rightType == kNumber;
    if (!dateStep) {
      SetError(XEV_ERR_KEYWORD, 0, 0);
      return false;
    }
  }
  return true;
}

namespace {

// ---- Calls -------------------------------------------------------------------------

bool ResolveFormulaReference(CallSite& call) {
  HEXP formula = XEVHEXPFromName(ScanContext(), NodeName(call.node));
  if (formula == nullptr) {
    SetError(XEV_ERR_FUNC, 0, 0);
    return false;
  }
  if (formula->root != nullptr && IsSetOrRange(formula->root)) {
    SetError(XEV_ERR_IMBEDDEDRANGE, 0, 0);
    return false;
  }
  call.node->kind = NK_FORMULAREF;
  t_parser.madeFormulaReference = true;
  call.node->type = static_cast<int16_t>(formula->dataType);
  if (call.args != nullptr || (call.callFlags & (kCallStar | kCallQuantifier)) != 0) {
    SetError(XEV_ERR_EXPPARMS, 0, 0);
    return false;
  }
  return true;
}

// The function's parameter entries, read safely: an entry past those the
// record holds accepts anything.
class Parameters {
 public:
  explicit Parameters(const ExpItem* item)
      : item_(item), available_(item->paramCount > 0 ? item->paramCount : (item->paramCount < 0 ? 1 : 0)) {}
  int32_t Type(int32_t p) const { return Has(p) ? item_->params[p].type : XEV_TYPE_ANY; }
  bool ByName(int32_t p) const { return Has(p) && item_->params[p].byName == 1; }
  int32_t Subclass(int32_t p) const { return Has(p) ? item_->params[p].subclass : 0; }

 private:
  bool Has(int32_t p) const { return p >= 0 && p < available_; }
  const ExpItem* item_;
  int32_t available_;
};

uint32_t ArgumentTypeError(int32_t expected) {
  switch (expected) {
    case kNumber: return XEV_ERR_PARMNUM;
    case kDateTime: return XEV_ERR_PARMDATE;
    case kString: return XEV_ERR_PARMSTR;
    default: return XEV_ERR_PARMKEYWORD;
  }
}

// The expected type and parameter index of argument i. Parameters from A on
// form a group that repeats; type 4 in the group stands for the type of the
// leading argument or of the matching argument of the first group.
void ExpectedArgument(const ExpItem* item, const Parameters& params, const LockedNodes& args, int32_t i,
                      int32_t* parameter, int32_t* expected) {
  const int32_t P = item->paramCount;
  const int32_t A = item->subclass;
  const int32_t n = args.count();
  auto argType = [&args, n](int32_t k) -> int32_t { return k >= 0 && k < n ? args[k]->type : XEV_TYPE_ANY; };
  if (A == 0 || i < A) {
    *parameter = i;
    *expected = params.Type(i);
  } else if (i == A) {
    *parameter = A;
    *expected = P - A > 1 ? argType(A - 1) : params.Type(A);
  } else if (A >= P - 1) {
    *parameter = A;
    *expected = params.Type(A);
    if (*expected == XEV_TYPE_MATCHING) *expected = argType(A);
  } else {
    int32_t j = (i - A) % (P - A);
    if (j == 0 && i == n - 1) j = 1;
    int32_t p = A + j;
    *parameter = p;
    *expected = params.Type(p);
    if (*expected == XEV_TYPE_MATCHING) {
      if (j == 0) {
        *expected = argType(A - 1);
      } else if (i >= P) {
        *expected = argType(p);
      }
    }
  }
}

bool CheckArguments(const CallSite& call, const ExpItem* item) {
  Parameters params(item);
  LockedNodes args(call.args);
  for (int32_t i = 0; i < args.count(); ++i) {
    const ExprNode* arg = args[i];
    int32_t p = 0;
    int32_t expected = 0;
    ExpectedArgument(item, params, args, i, &p, &expected);
    if (arg->type != expected && expected != XEV_TYPE_MATCHING && expected != XEV_TYPE_ANY) {
      SetErrorAt(ArgumentTypeError(expected), arg);
      return false;
    }
    if (!params.ByName(p)) continue;
    if (arg->kind != NK_ITEM) {
      bool anyExpression = (item->flags & XEV_FN_ANY_BY_NAME) != 0 ||
                           ((item->flags & XEV_FN_ANY_BY_NAME_UNLESS_DISTINCT) != 0 && call.quantifier != QU_DISTINCT);
      if (!anyExpression) {
        SetErrorAt(XEV_ERR_PARM, arg);
        return false;
      }
      continue;
    }
    int32_t subclass = params.Subclass(p);
    if (subclass == 0) continue;
    const ExpItem* dataItem = DataItemNamed(NodeName(arg));
    if (dataItem != nullptr && dataItem->subclass != subclass) {
      SetErrorAt(XEV_ERR_SUBCLASS, arg);
      return false;
    }
  }
  return true;
}

// A result type of 4 follows the arguments: the last one's type, or for a
// keyword-typed first argument the type an aggregate over that keyword yields.
int32_t MatchingResultType(const CallSite& call) {
  LockedNodes args(call.args);
  if (args.count() == 0) return -1;
  const ExprNode* first = args[0];
  if (first->type < 256) return args[args.count() - 1]->type;
  bool named = first->kind == NK_ITEM || first->kind == NK_FUNCTION || first->kind == NK_FORMULAREF;
  return named ? core::KeywordItemSubclass(ScanContext(), NodeName(first)) : -1;
}

bool CheckFunctionCall(CallSite& call, const ExpItem* item) {
  const int32_t P = item->paramCount;
  const int32_t A = item->subclass;
  const int32_t B = item->subclass2;
  const uint16_t functionFlags = item->flags;
  const bool quantified = (call.callFlags & kCallQuantifier) != 0;
  const bool star = (call.callFlags & kCallStar) != 0;
  call.node->type = item->dataType;

  if (quantified && (functionFlags & (XEV_FN_DISTINCT | XEV_FN_ALL | XEV_FN_DISTINCT_REQUIRED)) == 0) {
    SetError(XEV_ERR_KEYWORD, 0, 0);
    return false;
  }
  if ((functionFlags & XEV_FN_DISTINCT_REQUIRED) != 0 && ((!quantified && !star) || call.quantifier == QU_ALL)) {
    SetError(XEV_ERR_MISKEYWORD, 0, 0);
    return false;
  }
  if (call.args == nullptr) {
    if (P == 0 && star) {
      SetError(XEV_ERR_SYNTAX, 0, 0);
      return false;
    }
    if (P > 0 && star && Parameters(item).Type(0) != XEV_TYPE_ANY) {
      SetError(XEV_ERR_SYNTAX, 0, 0);
      return false;
    }
    if (P > 0 && !star && !(A == 0 && B != 0)) {
      SetError(XEV_ERR_NUMPARMSLO, 0, 0);
      return false;
    }
  } else {
    int32_t arity = core::CheckArity(static_cast<int32_t>(core::HandleArrayCount(call.args)), item);
    if (arity != 0) {
      SetError(arity < 0 ? XEV_ERR_NUMPARMSLO : XEV_ERR_NUMPARMSHI, 0, 0);
      return false;
    }
    if (!CheckArguments(call, item)) return false;
  }
  if (item->dataType == XEV_TYPE_MATCHING) {
    int32_t type = MatchingResultType(call);
    call.node->type = static_cast<int16_t>(type);
    if (type == -1) return false;
  }
  return true;
}

}  // namespace

bool ResolveCall(CallSite& call) {
  const ExpItem* item = FunctionNamed(NodeName(call.node));
  if (item != nullptr && item->dataType != -1) return CheckFunctionCall(call, item);
  return ResolveFormulaReference(call);
}

}  // namespace xev::language
