// The ten-formula report mix that the evaluation and parse benchmarks run and
// whose results the report mix test pins down: typical report arithmetic over
// five Number items (about 40 bytes and 14 nodes a formula), with one rounding
// call. The item callbacks hand out a different value on every row, from a
// table of amounts, counts and percentages made once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "xev/xev.h"

namespace report_mix {

inline constexpr const char* kFormulas[] = {
    "Price * Quantity * (1 - Discount / 100) + Tax - Cost",
    "(Price - Cost) * Quantity / (Price * Quantity + 1) * 100",
    "Price * 1.19 + Tax * Quantity - Discount * 0.5 + 10",
    "(Price + Tax) * (Quantity - 1) - (Cost + Discount) * 2",
    "Quantity * Cost + Quantity * Tax - Discount + Price / 4",
    "(Price * Quantity - Cost * Quantity) / (Quantity + 1) + Tax",
    "Price - Price * Discount / 100 + Tax * 0.07 - Cost / 3",
    "NumberRound(Price * Quantity * (1 + Tax / 100), 2) - Discount",
    "(Price + Cost + Tax + Discount + Quantity) / 5 * 3 - 1",
    "Quantity * (Price - Discount) - Quantity * Cost - Tax + 0.25",
};
inline constexpr int kFormulaCount = sizeof kFormulas / sizeof kFormulas[0];
inline constexpr const char* kItems[] = {"Price", "Quantity", "Discount", "Cost", "Tax"};
inline constexpr int kItemCount = 5;
// Rows repeat after this many; prime, so that the items' cycles interleave.
inline constexpr int kRowCycle = 61;

// The values of every item on every row of the cycle, made once.
struct RowTable {
  NumberValue values[kItemCount][kRowCycle];
  RowTable() {
    for (int row = 0; row < kRowCycle; ++row) {
      SetScaled(values[0][row], 1999 + row * 137, 2);         // Price: 19.99 and up
      IntToNumber(&values[1][row], 1 + row % 12);             // Quantity
      IntToNumber(&values[2][row], (row * 7) % 30);           // Discount in percent
      SetScaled(values[3][row], 1250 + row * 91, 2);          // Cost
      SetScaled(values[4][row], 5 + (row * 53) % 997, 2);     // Tax
    }
    NumberSetNull(&values[2][17]);  // an empty discount now and then
  }
  // units / 10^decimals, kept at that scale as a host reading "19.99" would.
  static void SetScaled(NumberValue& out, int32_t units, int32_t decimals) {
    char text[32];
    int length = std::snprintf(text, sizeof text, "%d", units);
    if (decimals > 0 && length > decimals) {
      std::memmove(text + length - decimals + 1, text + length - decimals, decimals + 1);
      text[length - decimals] = '.';
    }
    HostStrToNumber(&out, text);
  }
};

inline const RowTable& Rows() {
  static const RowTable table;
  return table;
}

// The row the callbacks answer for; the caller moves it on.
inline thread_local int t_row = 0;
// How many times the callbacks were asked.
inline thread_local int64_t t_asked = 0;

template <int Item>
int32_t XEV_CALL ItemValue(ExprContext*, HEXP, int32_t, void** result, const char*) {
  ++t_asked;
  std::memcpy(*result, &Rows().values[Item][t_row], sizeof(NumberValue));
  return 1;
}

// A context with the five items and the built-in functions, and the ten
// formulas parsed into it.
struct Report {
  ExprContext* ec = nullptr;
  HEXP formulas[kFormulaCount] = {};

  Report() {
    Rows();
    ec = XEVCreateEC(0, nullptr, nullptr, 0);
    FUNDefineFunctions(ec);
    XEVDataItemCallback callbacks[kItemCount] = {&ItemValue<0>, &ItemValue<1>, &ItemValue<2>,
                                                 &ItemValue<3>, &ItemValue<4>};
    for (int i = 0; i < kItemCount; ++i) {
      ExpItem item{};
      item.kind = XEV_ITEM_DATA;
      item.dataType = XEV_TYPE_NUMBER;
      item.boundValue = reinterpret_cast<intptr_t>(callbacks[i]);
      std::strcpy(item.name, kItems[i]);
      XEVAddExpressionItem(ec, &item);
    }
  }
  ~Report() { XEVDestroyEC(ec); }
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;

  // False when a formula does not parse.
  bool ParseAll() {
    for (int i = 0; i < kFormulaCount; ++i) {
      uint16_t type = 0;
      formulas[i] = XEVParseFormula(ec, nullptr, kFormulas[i], nullptr, nullptr, &type);
      if (formulas[i] == nullptr) return false;
    }
    return true;
  }
};

}  // namespace report_mix
