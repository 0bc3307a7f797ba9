// Columns and contexts for the table tests: columns that own their arrays,
// a context with one item per column kind, and results read back as texts.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "xev/xevtable.h"

namespace table_test {

struct TextColumn {
  std::string bytes;
  std::vector<int64_t> offsets{0};
  std::vector<uint8_t> nulls;
  void Add(const std::string& text, bool null = false) {
    bytes += text;
    offsets.push_back(static_cast<int64_t>(bytes.size()));
    nulls.push_back(null ? 1 : 0);
  }
  XevColumn Column(int32_t kind) const {
    XevColumn column{};
    column.kind = kind;
    column.values = bytes.data();
    column.offsets = offsets.data();
    column.nulls = nulls.data();
    return column;
  }
};

template <typename T>
XevColumn FixedColumn(int32_t kind, const std::vector<T>& values, int32_t scale = 0, int32_t epochDay = 0,
                      const std::vector<uint8_t>* nulls = nullptr) {
  XevColumn column{};
  column.kind = kind;
  column.scale = scale;
  column.epochDay = epochDay;
  column.values = values.data();
  column.nulls = nulls != nullptr ? nulls->data() : nullptr;
  return column;
}

inline int32_t AddItem(ExprContext* ec, const char* name, int16_t type, XEVDataItemCallback callback = nullptr) {
  ExpItem item{};
  item.kind = XEV_ITEM_DATA;
  item.dataType = type;
  item.boundValue = reinterpret_cast<intptr_t>(callback);
  std::strncpy(item.name, name, sizeof item.name - 1);
  return XEVAddExpressionItem(ec, &item);
}

inline HEXP Parse(ExprContext* ec, const char* name, const char* text) {
  ExprError error{};
  HEXP exp = XEVParseFormula(ec, nullptr, text, name, &error, nullptr);
  EXPECT_NE(exp, nullptr) << text << ": error " << error.code << " at " << error.pos;
  return exp;
}

inline std::string NumberText(const NumberValue& value) {
  char text[64];
  return HostNumberToStr(&value, text, sizeof text) < 0 ? "?" : text;
}

// Row i of a result as text: "-" for no value, "null" for NULL, else the
// value in the result's kind.
inline std::string RowText(const XevResult& result, int64_t row) {
  if (result.status[row] == XEV_ROW_NO_VALUE) return "-";
  if (result.status[row] == XEV_ROW_NULL) return "null";
  switch (result.kind) {
    case XEV_RESULT_DOUBLE: return std::to_string(static_cast<const double*>(result.values)[row]);
    case XEV_RESULT_TIME: return std::to_string(static_cast<const int64_t*>(result.values)[row]);
    default: break;
  }
  if (result.offsets != nullptr) {
    const char* bytes = static_cast<const char*>(result.values);
    return std::string(bytes + result.offsets[row], bytes + result.offsets[row + 1]);
  }
  NumberValue value;
  std::memcpy(&value, static_cast<const unsigned char*>(result.values) + row * XEV_NUMBER_SIZE, XEV_NUMBER_SIZE);
  return NumberText(value);
}

inline std::vector<std::string> Rows(const XevResult& result) {
  std::vector<std::string> rows;
  for (int64_t i = 0; i < result.rowCount; ++i) rows.push_back(RowText(result, i));
  return rows;
}

inline XevResult Wanted(HEXP formula, int32_t kind = XEV_RESULT_NATURAL, int32_t scale = 0, int32_t epochDay = 0) {
  XevResult result{};
  result.formula = formula;
  result.kind = kind;
  result.scale = scale;
  result.epochDay = epochDay;
  return result;
}

}  // namespace table_test
