// The grammar's actions: each makes its node through the checks of
// tree_checks.cpp, fills in the error span the check left open, and on
// failure releases what the production was given.
#include "language/tree_build.h"

#include <algorithm>
#include <cstring>

#include "core/expressions.h"
#include "host/host.h"
#include "language/tree_build_state.h"

namespace xev::language {

constinit thread_local ParserState t_parser{};

// ---- Parser state --------------------------------------------------------------------

void ParserBegin() {
  t_parser = ParserState{};
  t_parser.items = core::item_index::CurrentIndex(ScanContext());
}

void ReportParserMessage(const char* message) {
  ExprError& error = ParseError();
  if (error.code == XEV_ERR_MAXTOKEN || error.code == XEV_ERR_MEMORY) return;
  uint32_t code = XEV_ERR_GENERAL;
  if (std::strcmp(message, "syntax error") == 0) code = XEV_ERR_SYNTAX;
  if (std::strcmp(message, "memory exhausted") == 0) code = XEV_ERR_TOCOMPLEX;
  uint32_t offset = CurrentOffset();
  uint32_t length = std::min(LastToken().len, offset);
  uint32_t pos = offset - length;
  // At the end of a text the read-ahead has gone past the virtual blank, and
  // the span by that rule with it; hosts mark spans in their own copy of the
  // text, so it ends within the text and that blank, as the scanner's own
  // error spans do.
  uint32_t limit = ScannedTextLength() + 1;
  if (pos > limit) pos = limit;
  if (pos + length > limit) length = limit - pos;
  error = ExprError{code, pos, length};
}

ExprNode*& PendingRoot() { return t_parser.root; }

bool ParsedTreeHasFormulaReference() { return t_parser.madeFormulaReference; }

// ---- Actions ------------------------------------------------------------------------------

bool MakeLeaf(ParseValue& out, const ParseValue& token, NodeKind kind) {
  // The value comes from the node blocks: the grammar runs inside ParseTokens only.
  ExprNode* node = NewNode(kind, token.pos, token.len, token.value);
  if (node == nullptr) {
    ReleaseTokenValue(token.value);
    SetError(XEV_ERR_MEMORY, 0, 0);
    return false;
  }
  if (node->left == nullptr) {  // the scanner always gives a value; stay safe without one
    Release(node);
    SetError(XEV_ERR_MEMORY, 0, 0);
    return false;
  }
  if (!TypeLeaf(node)) {
    Release(node);
    return false;
  }
  out.value = node;
  return true;
}

bool MakeNegativeNumber(ParseValue& out, const ParseValue& number) {
  if (!MakeLeaf(out, number, NK_NUMBER)) return false;
  NumberNegate(static_cast<NumberValue*>(AsNode(out)->left));
  return true;
}

bool MakeOperator(ParseValue& out, const ParseValue& left, const ParseValue& op, const ParseValue& right,
                  NodeKind kind, bool withDateUnit) {
  const TokenValue& last = LastToken();
  ExprNode* node = NewNode(kind, last.pos, last.len, left.value, right.value);
  if (node == nullptr) {
    Release(AsNode(left));
    Release(AsNode(right));
    ClearPendingDateUnit();
    SetError(XEV_ERR_MEMORY, 0, 0);
    return false;
  }
  node->flags = PendingDateUnit();
  ClearPendingDateUnit();
  if (!CheckOperator(node)) {
    node->type = -1;
    ExprError& error = ParseError();
    if (error.len == 0) {
      uint32_t pos = op.pos;
      uint32_t len = op.len;
      if (withDateUnit && error.code == XEV_ERR_KEYWORD) {
        pos = LastToken().pos;
        len = LastToken().len;
      } else if (withDateUnit) {
        pos = right.pos;
        len = right.len;
      }
      error.pos = pos;
      error.len = len;
    }
    Release(node);
    return false;
  }
  out.value = node;
  return true;
}

bool MakeCall(ParseValue& out, const ParseValue& function, const ParseValue* marker, const ParseValue* args,
              CallForm form) {
  CallSite call{};
  call.args = args != nullptr ? static_cast<HGLOBAL>(args->value) : nullptr;
  if (function.value == nullptr) {  // the scanner always gives a name; stay safe without one
    ReleaseNodeList(call.args);
    SetError(XEV_ERR_MEMORY, 0, 0);
    return false;
  }
  if (form == CallForm::kStar) call.callFlags = kCallStar;
  if (form == CallForm::kQuantifierEmpty || form == CallForm::kQuantifierArgs) {
    call.callFlags = kCallQuantifier;
    call.quantifier = TakePendingQuantifier();
  }
  call.node = NewNode(NK_FUNCTION, function.pos, function.len);
  if (call.node == nullptr) {
    ReleaseTokenValue(function.value);
    ReleaseNodeList(call.args);
    SetError(XEV_ERR_MEMORY, 0, 0);
    return false;
  }
  call.node->left = function.value;
  call.node->right = call.args;
  call.node->flags = call.callFlags;
  if (form != CallForm::kNiladic) call.node->endPos = LastToken().pos;
  if (!ResolveCall(call)) {
    call.node->type = -1;
    ExprError& error = ParseError();
    if (error.len == 0) {
      bool atMarker = marker != nullptr && ((form == CallForm::kStar && error.code == XEV_ERR_SYNTAX) ||
                                            (form != CallForm::kStar &&
                                             (error.code == XEV_ERR_KEYWORD || error.code == XEV_ERR_MISKEYWORD)));
      const ParseValue& at = atMarker ? *marker : function;
      error.pos = at.pos;
      error.len = at.len;
    }
    Release(call.node);
    return false;
  }
  out.value = call.node;
  return true;
}

bool StartList(ParseValue& out, const ParseValue& expr) {
  t_parser.madeList = true;
  HGLOBAL list = core::HandleArrayCreate(core::kSlotSize, 1);
  if (list == nullptr) {
    Release(AsNode(expr));
    SetError(XEV_ERR_MEMORY, 0, 0);
    return false;
  }
  *static_cast<ExprNode**>(core::HandleArrayLockElement(list, 0)) = AsNode(expr);
  core::HandleArrayUnlock(list);
  out.value = list;
  return true;
}

bool AppendToList(ParseValue& out, const ParseValue& list, const ParseValue& expr) {
  HGLOBAL grown = core::HandleArrayAppend(static_cast<HGLOBAL>(list.value));
  if (grown == nullptr) {
    ReleaseNodeList(list.value);
    Release(AsNode(expr));
    SetError(XEV_ERR_MEMORY, 0, 0);
    return false;
  }
  int32_t last = static_cast<int32_t>(core::HandleArrayCount(grown)) - 1;
  *static_cast<ExprNode**>(core::HandleArrayLockElement(grown, last)) = AsNode(expr);
  core::HandleArrayUnlock(grown);
  out.value = grown;
  return true;
}

bool FinishFormula(const ParseValue& expr) {
  ExprNode* node = AsNode(expr);
  if (node->type > 255) {
    SetError(XEV_ERR_KEYWORD, 0, kWholeTextLength);
    Release(node);
    return false;
  }
  t_parser.root = node;
  return true;
}

bool FinishSet(const ParseValue& list) {
  auto elements = static_cast<HGLOBAL>(list.value);
  int32_t type = core::CheckSetElements(ScanContext(), elements, &ParseError());
  ExprNode* node = nullptr;
  if (type != -1) {
    node = NewNode(NK_SET, 0, 0);
    if (node == nullptr) SetError(XEV_ERR_MEMORY, 0, 0);
  }
  if (node == nullptr) {
    ReleaseNodeList(elements);
    return false;
  }
  node->type = static_cast<int16_t>(type);
  node->right = elements;
  t_parser.root = node;
  return true;
}

bool FinishRange(const ParseValue& low, const ParseValue& high) {
  ExprNode* lowNode = AsNode(low);
  ExprNode* highNode = AsNode(high);
  ExprNode* node = nullptr;
  if ((ScanContext()->flags & ECF_RANGES_SETS) == 0) {
    SetError(XEV_ERR_SYNTAX, 0, 0);
  } else if (lowNode->type != highNode->type) {
    SetErrorAt(XEV_ERR_BETWEEN, highNode);
  } else {
    node = NewNode(NK_RANGE, 0, 0);
    if (node == nullptr) SetError(XEV_ERR_MEMORY, 0, 0);
  }
  if (node == nullptr) {
    Release(highNode);
    Release(lowNode);
    return false;
  }
  node->type = lowNode->type;
  node->left = lowNode;
  node->right = highNode;
  t_parser.root = node;
  return true;
}

void ReportNoMemoryToken() { SetError(XEV_ERR_MEMORY, 0, 0); }

void ReportBadCharacter(const ParseValue& token) { SetError(XEV_ERR_UNKNOWNCHAR, token.pos, token.len); }

void ReleaseNodeList(void* list) {
  auto handle = static_cast<HGLOBAL>(list);
  if (handle == nullptr) return;
  {
    LockedNodes nodes(handle);
    for (int32_t i = 0; i < nodes.count(); ++i) Release(nodes[i]);
  }
  core::HandleArrayFree(handle);
}

}  // namespace xev::language
