// A context with data, keyword and function items for parser tests, and a
// compact text form of parse trees to compare against.
#pragma once

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/handle_array.h"
#include "language/language.h"
#include "tests/support/items.h"
#include "xev/xev.h"

namespace parse_test {

using xev::language::ExprNode;

inline intptr_t XEV_CALL ResolveAnything(const char*) { return 1; }

using testhost::Param;

// Items bound to 1: parses never call them.
class ParseContext {
 public:
  explicit ParseContext(uint16_t flags = ECF_RANGES_SETS | ECF_MODULO | ECF_SET_QUANTIFIERS)
      : ec(XEVCreateEC(0, ResolveAnything, nullptr, flags)) {}
  ~ParseContext() { XEVDestroyEC(ec); }
  ParseContext(const ParseContext&) = delete;
  ParseContext& operator=(const ParseContext&) = delete;

  void Data(const char* name, int16_t type, int16_t subclass = 0) {
    testhost::AddItem(ec, XEV_ITEM_DATA, name, {.type = type, .bound = 1, .subclass = subclass});
  }
  void Keyword(const char* name, int16_t type, int16_t subclass = 0, int16_t caseSensitive = 0) {
    testhost::AddItem(ec, XEV_ITEM_KEYWORD, name,
                      {.type = type, .bound = 1, .subclass = subclass, .subclass2 = caseSensitive});
  }
  void Function(const char* name, int16_t returnType, std::initializer_list<Param> params, int16_t a = 0,
                int16_t b = 0, uint16_t flags = 0) {
    testhost::AddItem(ec, XEV_ITEM_FUNCTION, name,
                      {.type = returnType, .bound = 1, .subclass = a, .subclass2 = b, .flags = flags, .params = params});
  }
  // Host operator callbacks make '||' work on Numbers, '+' on Strings, etc.
  void Operator(int32_t op, int32_t slot) { XEVSetOperatorCallback(ec, op, slot, "HostOperator"); }

  ExprContext* ec;
};

// Sales data most tests use: Numbers, Strings, dates and a keyword.
inline void AddSalesItems(ParseContext& c) {
  c.Data("Amount", XEV_TYPE_NUMBER, 7);
  for (const char* name : {"Price", "Qty", "Orders.Lines.Total"}) c.Data(name, XEV_TYPE_NUMBER);
  for (const char* name : {"Name", "City"}) c.Data(name, XEV_TYPE_STRING);
  for (const char* name : {"OrderDate", "ShipDate"}) c.Data(name, XEV_TYPE_DATETIME);
  c.Keyword("PageNo", 300, XEV_TYPE_NUMBER);
  c.Keyword("Top Ten", 301, XEV_TYPE_STRING);
}

// Text form: operators and ranges as (op left right), calls as Name[args],
// formula references as Name(), sets as {a, b}; leaves as written, numbers
// in their shortest text, strings quoted, dates between # marks, and a
// date unit after the operator as +/1.
inline std::string Describe(const ExprNode* node);

inline std::string DescribeList(void* list) {
  auto handle = static_cast<xev::core::HGLOBAL>(list);
  std::string text;
  for (uint32_t i = 0; i < xev::core::HandleArrayCount(handle); ++i) {
    auto** nodes = static_cast<ExprNode**>(xev::core::HandleArrayLockElement(handle, static_cast<int32_t>(i)));
    text += (i > 0 ? ", " : "") + Describe(*nodes);
    xev::core::HandleArrayUnlock(handle);
  }
  return text;
}

inline std::string Describe(const ExprNode* node) {
  using namespace xev::language;
  if (node == nullptr) return "null";
  const char* name = static_cast<const char*>(node->left);
  auto pair = [node] {
    return Describe(static_cast<ExprNode*>(node->left)) + " " + Describe(static_cast<ExprNode*>(node->right)) + ")";
  };
  switch (node->kind) {
    case NK_NUMBER: {
      char buffer[64];
      HostNumberToStr(static_cast<const NumberValue*>(node->left), buffer, sizeof buffer);
      return buffer;
    }
    case NK_ITEM: return name;
    case NK_STRING: return std::string("'") + name + "'";
    case NK_DATE: return std::string("#") + name + "#";
    case NK_FUNCTION: return std::string(name) + "[" + DescribeList(node->right) + "]";
    case NK_FORMULAREF: return std::string(name) + "()";
    case NK_SET: return "{" + DescribeList(node->right) + "}";
    case NK_RANGE: return "(AND " + pair();
    default: {
      std::string op = node->kind == NK_CONCAT ? "||" : std::string(1, static_cast<char>(node->kind));
      return "(" + op + (node->flags != 0 ? "/" + std::to_string(node->flags) : "") + " " + pair();
    }
  }
}

// Every field of every node that the library reads, children in order: two
// trees are alike exactly when their exact texts are.
inline void DescribeExactly(const ExprNode* node, std::string& out) {
  using namespace xev::language;
  if (node == nullptr) {
    out += "-";
    return;
  }
  out += "(" + std::to_string(node->kind) + " t" + std::to_string(node->type) + " @" + std::to_string(node->pos) +
         "+" + std::to_string(node->len) + " e" + std::to_string(node->endPos) + " f" + std::to_string(node->flags) +
         " ";
  const bool named = node->kind == NK_ITEM || node->kind == NK_STRING || node->kind == NK_DATE ||
                     node->kind == NK_FORMULAREF || node->kind == NK_FUNCTION;
  if (node->kind == NK_NUMBER) {
    for (size_t i = 0; i < XEV_NUMBER_SIZE; ++i) out += std::to_string(static_cast<const uint8_t*>(node->left)[i]) + ".";
  } else if (named) {
    out += static_cast<const char*>(node->left);
  }
  if (node->kind == NK_FUNCTION || node->kind == NK_SET) {
    auto list = static_cast<xev::core::HGLOBAL>(node->right);
    for (uint32_t i = 0; list != nullptr && i < xev::core::HandleArrayCount(list); ++i) {
      auto** slot = static_cast<ExprNode**>(xev::core::HandleArrayLockElement(list, static_cast<int32_t>(i)));
      DescribeExactly(*slot, out);
      xev::core::HandleArrayUnlock(list);
    }
  } else if (!named && node->kind != NK_NUMBER) {
    DescribeExactly(static_cast<const ExprNode*>(node->left), out);
    DescribeExactly(static_cast<const ExprNode*>(node->right), out);
  }
  out += ")";
}

struct Parsed {
  HEXP exp = nullptr;
  ExprError error{};
  uint16_t type = 0xFFFF;
  std::string tree;
};

inline Parsed Parse(ExprContext* ec, const char* text, const char* name = nullptr) {
  Parsed result;
  result.exp = XEVParseFormula(ec, nullptr, text, name, &result.error, &result.type);
  if (result.exp != nullptr) result.tree = Describe(result.exp->root);
  return result;
}

}  // namespace parse_test
