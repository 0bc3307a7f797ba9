// Builds parse trees by hand, with the same ownership the parser gives them
// (every node, text, number and argument list a HostAlloc block), so that a
// context releases them when it is destroyed. Lets the evaluator be tested on
// shapes the parser would not build or before a formula text is involved.
#pragma once

#include <cstring>
#include <initializer_list>

#include "core/core.h"
#include "core/handle_array.h"
#include "language/language.h"
#include "xev/xev.h"

namespace xev_test {

using xev::language::ExprNode;
namespace lang = xev::language;

inline char* HostCopy(const char* text) {
  size_t length = std::strlen(text);
  auto* copy = static_cast<char*>(HostAlloc(length + 1));
  std::memcpy(copy, text, length + 1);
  return copy;
}

inline ExprNode* Node(uint32_t kind, int16_t type, void* left = nullptr, void* right = nullptr,
                      uint16_t flags = 0) {
  auto* node = static_cast<ExprNode*>(HostAlloc(sizeof(ExprNode)));
  node->kind = kind;
  node->type = type;
  node->left = left;
  node->right = right;
  node->flags = flags;
  return node;
}

inline ExprNode* NumberNode(const char* text) {
  auto* value = static_cast<NumberValue*>(HostAlloc(sizeof(NumberValue)));
  HostStrToNumber(value, text);
  return Node(lang::NK_NUMBER, XEV_TYPE_NUMBER, value);
}

inline ExprNode* StringNode(const char* text, bool escaped = false) {
  return Node(lang::NK_STRING, XEV_TYPE_STRING, HostCopy(text), nullptr,
              escaped ? lang::kStringEscaped : 0);
}

inline ExprNode* DateNode(const char* text) {
  return Node(lang::NK_DATE, XEV_TYPE_DATETIME, HostCopy(text));
}

inline ExprNode* ItemNode(const char* name, int16_t type) {
  return Node(lang::NK_ITEM, type, HostCopy(name));
}

inline ExprNode* RefNode(const char* name, int16_t type) {
  return Node(lang::NK_FORMULAREF, type, HostCopy(name));
}

inline ExprNode* CallNode(const char* name, int16_t type, std::initializer_list<ExprNode*> args,
                          bool withList = true) {
  xev::core::HGLOBAL list = nullptr;
  if (withList) {
    list = xev::core::HandleArrayCreate(xev::core::kSlotSize, 0);
    for (ExprNode* arg : args) {
      list = xev::core::HandleArrayAppend(list);
      int32_t last = static_cast<int32_t>(xev::core::HandleArrayCount(list)) - 1;
      auto** slot = static_cast<ExprNode**>(xev::core::HandleArrayLockElement(list, last));
      *slot = arg;
      xev::core::HandleArrayUnlock(list);
    }
  }
  return Node(lang::NK_FUNCTION, type, HostCopy(name), list);
}

inline ExprNode* Op(uint32_t kind, int16_t type, ExprNode* left, ExprNode* right,
                    uint16_t unit = 0) {
  return Node(kind, type, left, right, unit);
}

// Stores root as a named formula of ec; the context owns it from then on.
inline HEXP AddFormula(ExprContext* ec, const char* name, ExprNode* root) {
  auto* record = static_cast<ExprRecord*>(HostAlloc(sizeof(ExprRecord)));
  record->root = root;
  record->name = HostCopy(name);
  record->ec = ec;
  record->dataType = static_cast<uint16_t>(root->type);
  record->text = HostCopy(name);
  xev::core::AppendExpression(ec, record);
  return record;
}

}  // namespace xev_test
