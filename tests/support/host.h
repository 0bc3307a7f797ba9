// The host the tests share: item records (items.h), value callbacks with
// known answers, a context with the formula corpus's items and the built-in
// functions, and the readers a test looks at formulas with.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "tests/support/items.h"
#include "xev/xev.h"

namespace testhost {

// ---- values with known answers ------------------------------------------------

// Number items are worth 7 times their name's length plus 3; every DateTime
// item is 14 March 2001 09:26:53; a String item's value is its own name.
inline int32_t XEV_CALL NumberItemValue(ExprContext*, HEXP, int32_t, void** result, const char* name) {
  IntToNumber(static_cast<NumberValue*>(*result), static_cast<int32_t>(std::strlen(name)) * 7 + 3);
  return 1;
}

inline int32_t XEV_CALL DateItemValue(ExprContext*, HEXP, int32_t, void** result, const char*) {
  const DateParts parts{3, 14, 2001, 9, 26, 53, 0};
  auto* bytes = static_cast<unsigned char*>(*result);
  bytes[0] = DatePartsToNumber(bytes + 1, &parts);
  return 1;
}

inline int32_t XEV_CALL TextItemValue(ExprContext*, HEXP, int32_t size, void** result, const char* name) {
  return FUNStrVarResult(result, size, name);
}

inline int32_t XEV_CALL AggregateValue(ExprContext*, HEXP, int32_t, void** result, const char*, void**) {
  IntToNumber(static_cast<NumberValue*>(*result), 11);
  return 1;
}

inline intptr_t ValueCallbackFor(int16_t type) {
  switch (type) {
    case XEV_TYPE_NUMBER: return Bound(&NumberItemValue);
    case XEV_TYPE_DATETIME: return Bound(&DateItemValue);
    default: return Bound(&TextItemValue);
  }
}

// The host's '+' on Numbers, which stored blocks name.
inline int32_t XEV_CALL AddNumbers(ExprContext*, HEXP, int32_t, int32_t, void* left, int32_t, void* right,
                                   int32_t, void* result) {
  return NumberAdd(static_cast<NumberValue*>(result), static_cast<const NumberValue*>(left),
                   static_cast<const NumberValue*>(right));
}

// Operator names ending in "Plus" resolve to AddNumbers; every other name
// (binding names of stored data items) to an address the tests never call.
inline intptr_t XEV_CALL ResolveToDummy(const char* name) {
  const size_t length = std::strlen(name);
  if (length >= 4 && std::strcmp(name + length - 4, "Plus") == 0) return Bound(&AddNumbers);
  return 0x1000;
}

// A data item whose value comes from the callbacks above, or, with a
// binding name, from whatever the resolve callback gives for it.
inline int32_t AddDataItem(ExprContext* ec, const char* name, int16_t type, const char* binding = nullptr) {
  return AddItem(ec, XEV_ITEM_DATA, name,
                 {.type = type, .bound = binding == nullptr ? ValueCallbackFor(type) : 0, .binding = binding});
}

// A host aggregate with one parameter passed by name, accepting DISTINCT and ALL.
inline int32_t AddAggregate(ExprContext* ec, const char* name, int16_t parameterType) {
  return AddItem(ec, XEV_ITEM_FUNCTION, name,
                 {.type = XEV_TYPE_NUMBER, .bound = Bound(&AggregateValue), .flags = XEV_FN_DISTINCT | XEV_FN_ALL,
                  .params = {{parameterType, 1}}});
}

constexpr uint16_t kHostFlags =
    ECF_RANGES_SETS | ECF_SET_QUANTIFIERS | ECF_MODULO | ECF_STRING_PLUS | ECF_DATE_MINUS_STRING;

// Built-in functions, the corpus items and aggregates.
inline ExprContext* NewHostContext(XEVRenameCallback rename = nullptr) {
  ExprContext* ec = XEVCreateEC(0, ResolveToDummy, rename, kHostFlags);
  EXPECT_NE(ec, nullptr);
  EXPECT_EQ(FUNDefineFunctions(ec), 1);
  for (const NamedType& item : CorpusDataItems()) EXPECT_EQ(AddDataItem(ec, item.name, item.type), 1);
  EXPECT_EQ(AddAggregate(ec, "Sum", XEV_TYPE_NUMBER), 1);
  EXPECT_EQ(AddAggregate(ec, "Avg", XEV_TYPE_NUMBER), 1);
  EXPECT_EQ(AddAggregate(ec, "Count", XEV_TYPE_ANY), 1);
  return ec;
}

// ---- formulas and what a host reads back -----------------------------------------

inline HEXP ParseOrFail(ExprContext* ec, const std::string& text, const std::string& name) {
  ExprError error{};
  uint16_t type = 0;
  HEXP exp = XEVParseFormula(ec, nullptr, text.c_str(), name.c_str(), &error, &type);
  EXPECT_NE(exp, nullptr) << name << " = " << text << " gave error " << error.code;
  return exp;
}

template <typename Length, typename Get>
std::string ReadBack(ExprContext* ec, HEXP exp, Length length, Get get) {
  std::string text(static_cast<size_t>(length(ec, exp)) + 1, '\0');
  get(ec, exp, static_cast<int32_t>(text.size()), text.data());
  return text.c_str();
}
inline std::string ExpressionText(ExprContext* ec, HEXP exp) {
  return ReadBack(ec, exp, XEVGetExpressionTextLength, XEVGetExpressionText);
}
inline std::string ExpressionName(ExprContext* ec, HEXP exp) {
  return ReadBack(ec, exp, XEVGetExpressionNameLength, XEVGetExpressionName);
}

inline std::set<std::string> ItemNames(ExprContext* ec, int16_t kind) {
  std::set<std::string> names;
  XEVEnumExpItems(
      ec, kind,
      [](ExprContext*, const char* name, intptr_t user) -> int32_t {
        reinterpret_cast<std::set<std::string>*>(user)->insert(name);
        return 1;
      },
      reinterpret_cast<intptr_t>(&names));
  return names;
}

// The value of an expression as text ("<none>" when it yields no value).
// Numbers and dates land in the caller's 13 bytes, shown byte by byte;
// texts in a block the engine makes.
inline std::string ValueText(ExprContext* ec, HEXP exp) {
  const bool text = XEVGetExpressionDataType(ec, exp) == XEV_TYPE_STRING;
  unsigned char number[XEV_NUMBER_SIZE] = {};
  int32_t length = 0;
  void* block = text ? nullptr : number;
  if (!XEVEvaluateExpressionExt(ec, exp, &length, &block)) {
    if (text) {
      EXPECT_EQ(block, nullptr) << "a failed evaluation handed back a block";
      HostFree(block);
    }
    return "<none>";
  }
  if (text) {
    std::string value = static_cast<const char*>(block);
    HostFree(block);
    return value;
  }
  std::string value;
  for (unsigned char byte : number) value += std::to_string(byte) + ".";
  return value;
}

}  // namespace testhost
