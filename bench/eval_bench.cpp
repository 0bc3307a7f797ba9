// Evaluations per second of three report formulas, parsed once and evaluated
// once per simulated data row. The data item callbacks hand out a different
// value on every call, as rows of a report do, so nothing can be cached.
#include <benchmark/benchmark.h>

#include <cstring>

#include "xev/xev.h"

namespace {

// The row counter the callbacks derive their values from.
uint32_t g_row = 0;

int32_t XEV_CALL NumberItem(ExprContext*, HEXP, int32_t, void** result, const char* name) {
  ++g_row;
  // Three items, three different values per row.
  int32_t value = static_cast<int32_t>(g_row % 10007) + (name[0] - 'a') * 13 + 1;
  IntToNumber(static_cast<NumberValue*>(*result), value);
  return 1;
}

// A text that changes with every row, written without printf, whose cost
// would otherwise swamp the engine's.
int32_t XEV_CALL TextItem(ExprContext*, HEXP, int32_t, void** result, const char* name) {
  ++g_row;
  char* out = static_cast<char*>(*result);
  size_t length = std::strlen(name);
  std::memcpy(out, name, length);
  std::memcpy(out + length, " row ", 5);
  char* digits = out + length + 5;
  uint32_t row = g_row;
  for (int i = 7; i >= 0; --i, row /= 10) digits[i] = static_cast<char>('0' + row % 10);
  std::memcpy(digits + 8, " of the report", 15);
  return 1;
}

int32_t XEV_CALL DateItem(ExprContext*, HEXP, int32_t, void** result, const char*) {
  ++g_row;
  DateParts parts{static_cast<int32_t>(g_row % 12) + 1, static_cast<int32_t>(g_row % 28) + 1,
                  1990 + static_cast<int32_t>(g_row % 40), static_cast<int32_t>(g_row % 24), 15, 0, 0};
  auto* out = static_cast<NumberValue*>(*result);
  out->bytes[0] = DatePartsToNumber(out->bytes + 1, &parts);
  return 1;
}

void AddItem(ExprContext* ec, const char* name, int16_t type, XEVDataItemCallback callback) {
  ExpItem item{};
  item.kind = XEV_ITEM_DATA;
  item.dataType = type;
  item.boundValue = reinterpret_cast<intptr_t>(callback);
  std::strcpy(item.name, name);
  XEVAddExpressionItem(ec, &item);
}

struct Report {
  ExprContext* ec = nullptr;
  Report() {
    ec = XEVCreateEC(0, nullptr, nullptr, 0);
    FUNDefineFunctions(ec);
    AddItem(ec, "a", XEV_TYPE_NUMBER, &NumberItem);
    AddItem(ec, "b", XEV_TYPE_NUMBER, &NumberItem);
    AddItem(ec, "c", XEV_TYPE_NUMBER, &NumberItem);
    AddItem(ec, "name", XEV_TYPE_STRING, &TextItem);
    AddItem(ec, "city", XEV_TYPE_STRING, &TextItem);
    AddItem(ec, "shipped", XEV_TYPE_DATETIME, &DateItem);
  }
  ~Report() { XEVDestroyEC(ec); }
  HEXP Parse(benchmark::State& state, const char* text) {
    ExprError error{};
    uint16_t type = 0;
    HEXP exp = XEVParseFormula(ec, nullptr, text, nullptr, &error, &type);
    if (exp == nullptr) state.SkipWithError("the formula does not parse");
    return exp;
  }
};

// (a) Arithmetic over three Number items: 13 nodes (7 leaves, 6 operators).
void BM_ArithmeticFormula(benchmark::State& state) {
  Report report;
  HEXP exp = report.Parse(state, "(a + b) * c - a / (b + 2.5) + c * 0.15");
  NumberValue value{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(XEVEvaluateExpression(report.ec, exp, 0, &value));
  }
  state.counters["evaluations/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ArithmeticFormula);

// (b) Texts: StrLeft, StrUpper and concatenation.
void BM_StringFormula(benchmark::State& state) {
  Report report;
  HEXP exp = report.Parse(state, "StrLeft(name, 8) || ', ' || StrUpper(city)");
  char buffer[128];
  for (auto _ : state) {
    benchmark::DoNotOptimize(XEVEvaluateExpression(report.ec, exp, sizeof buffer, buffer));
  }
  state.counters["evaluations/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StringFormula);

// (c) Dates: DateAddDay, DateMonthEnd and a date unit.
void BM_DateFormula(benchmark::State& state) {
  Report report;
  HEXP exp = report.Parse(state, "DateMonthEnd(DateAddDay(shipped, 30)) + 1 MONTHS");
  NumberValue value{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(XEVEvaluateExpression(report.ec, exp, 0, &value));
  }
  state.counters["evaluations/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DateFormula);

}  // namespace
