// The columnar core (xevtable.h) against the loop a host writes with item
// callbacks: the same formulas over the same rows, once through
// XEVEvaluateExpression with a callback per data item, once through a table
// whose items are bound to columns. Two workloads: the ten-formula report
// mix (tests/eval/report_mix.h) and the example report (examples/sales.formulas)
// over generated rows shaped like examples/sales.csv. Counters give rows/s.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tests/eval/report_mix.h"
#include "xev/xevtable.h"

namespace {

constexpr int64_t kBlockRows = 16384;

XevResult ResultOf(HEXP formula) {
  XevResult result{};
  result.formula = formula;
  return result;
}

// ---- The report mix ------------------------------------------------------------

// The mix's values laid out as columns of a block of rows, row r holding the
// cycle's row r % kRowCycle.
struct MixColumns {
  std::vector<NumberValue> numbers[report_mix::kItemCount];
  std::vector<double> doubles[report_mix::kItemCount];
  MixColumns() {
    const auto& rows = report_mix::Rows();
    for (int item = 0; item < report_mix::kItemCount; ++item) {
      for (int64_t r = 0; r < kBlockRows; ++r) {
        const NumberValue& value = rows.values[item][r % report_mix::kRowCycle];
        numbers[item].push_back(value);
        double d = 0;
        doubles[item].push_back(NumberToDouble(&value, &d) == 1 ? d : std::nan(""));
      }
    }
  }
};

const MixColumns& MixData() {
  static const MixColumns columns;
  return columns;
}

void RowsPerSecond(benchmark::State& state, double rowsPerIteration) {
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * rowsPerIteration, benchmark::Counter::kIsRate);
}


// The host keeps the mix as double columns and converts each value it is
// asked for.
thread_local int64_t t_mixRow = 0;
const MixColumns& MixData();

template <int Item>
int32_t XEV_CALL MixDouble(ExprContext*, HEXP, int32_t, void** result, const char*) {
  double value = MixData().doubles[Item][static_cast<size_t>(t_mixRow)];
  auto* number = static_cast<NumberValue*>(*result);
  if (std::isnan(value)) {
    NumberSetNull(number);
    return 1;
  }
  return DoubleToNumber(number, value);
}

// The host keeps the mix as NumberValues made beforehand: the least a
// callback can do.
template <int Item>
int32_t XEV_CALL MixNumber(ExprContext*, HEXP, int32_t, void** result, const char*) {
  std::memcpy(*result, &MixData().numbers[Item][static_cast<size_t>(t_mixRow)], XEV_NUMBER_SIZE);
  return 1;
}

// One iteration: one row, the ten formulas each asked through the entry
// point; range(0) 1 for NumberValue columns, 2 for double columns.
void BM_MixCallbacks(benchmark::State& state) {
  report_mix::Report report;
  if (!report.ParseAll()) return state.SkipWithError("the mix does not parse");
  XEVDataItemCallback numbers[] = {&MixNumber<0>, &MixNumber<1>, &MixNumber<2>, &MixNumber<3>, &MixNumber<4>};
  XEVDataItemCallback doubles[] = {&MixDouble<0>, &MixDouble<1>, &MixDouble<2>, &MixDouble<3>, &MixDouble<4>};
  XEVDataItemCallback* callbacks = state.range(0) == 1 ? numbers : doubles;
  for (int i = 0; i < report_mix::kItemCount; ++i) {
    XEVDelExpItemNoCheck(report.ec, XEV_ITEM_DATA, report_mix::kItems[i]);
    ExpItem item{};
    item.kind = XEV_ITEM_DATA;
    item.dataType = XEV_TYPE_NUMBER;
    item.boundValue = reinterpret_cast<intptr_t>(callbacks[i]);
    std::strcpy(item.name, report_mix::kItems[i]);
    XEVAddExpressionItem(report.ec, &item);
  }
  MixData();
  NumberValue value{};
  for (auto _ : state) {
    t_mixRow = t_mixRow + 1 == kBlockRows ? 0 : t_mixRow + 1;
    for (HEXP exp : report.formulas) benchmark::DoNotOptimize(XEVEvaluateExpression(report.ec, exp, 0, &value));
  }
  RowsPerSecond(state, 1);
}
BENCHMARK(BM_MixCallbacks)->Arg(1)->Arg(2);

// One iteration: a block of rows through a table; range(0) threads, range(1)
// 1 for NumberValue columns, 2 for double columns.
void BM_MixTable(benchmark::State& state) {
  report_mix::Report report;
  if (!report.ParseAll()) return state.SkipWithError("the mix does not parse");
  const MixColumns& columns = MixData();
  XevTable* table = XEVTableCreate(report.ec, static_cast<int32_t>(state.range(0)));
  for (int item = 0; item < report_mix::kItemCount; ++item) {
    XevColumn column{};
    column.kind = state.range(1) == 1 ? XEV_COLUMN_NUMBER : XEV_COLUMN_DOUBLE;
    column.values = state.range(1) == 1 ? static_cast<const void*>(columns.numbers[item].data())
                                        : static_cast<const void*>(columns.doubles[item].data());
    XEVTableBind(table, report_mix::kItems[item], &column);
  }
  XevResult results[report_mix::kFormulaCount] = {};
  for (auto _ : state) {
    for (int i = 0; i < report_mix::kFormulaCount; ++i) results[i] = ResultOf(report.formulas[i]);
    if (XEVTableEvaluate(table, kBlockRows, nullptr, results, report_mix::kFormulaCount, nullptr, nullptr) != 1)
      return state.SkipWithError("evaluation failed");
    XEVTableFreeResults(results, report_mix::kFormulaCount);
  }
  XEVTableDestroy(table);
  RowsPerSecond(state, kBlockRows);
}
BENCHMARK(BM_MixTable)->Args({1, 1})->Args({1, 2})->Args({2, 1})->Args({2, 2})->UseRealTime();

// ---- The example report ---------------------------------------------------------

enum SalesItem { kOrderId, kOrderDate, kShipDate, kCustomer, kRegion, kProduct, kCategory, kQuantity,
                 kUnitPrice, kDiscount, kSalesRep, kSalesItems };
constexpr const char* kSalesNames[] = {"Order_ID", "Order_Date", "Ship_Date", "Customer", "Region", "Product",
                                       "Category", "Quantity", "Unit_Price", "Discount", "Sales_Rep"};
constexpr int16_t kSalesTypes[] = {XEV_TYPE_STRING, XEV_TYPE_DATETIME, XEV_TYPE_DATETIME, XEV_TYPE_STRING,
                                   XEV_TYPE_STRING, XEV_TYPE_STRING, XEV_TYPE_STRING, XEV_TYPE_NUMBER,
                                   XEV_TYPE_NUMBER, XEV_TYPE_NUMBER, XEV_TYPE_STRING};

// Rows like the example's: values per item, as NumberValues or texts.
struct SalesRows {
  std::vector<NumberValue> numbers[kSalesItems];
  std::vector<std::string> texts[kSalesItems];
  // The same as columns: text bytes and offsets per String item.
  std::string bytes[kSalesItems];
  std::vector<int64_t> offsets[kSalesItems];

  // The same rows as a data frame holds them: integers, doubles, times in
  // nanoseconds since 1970 (0 and a null mark when missing).
  std::vector<int64_t> quantities;
  std::vector<double> prices, discounts;
  std::vector<int64_t> nanos[kSalesItems];
  std::vector<uint8_t> noTime[kSalesItems];

  void AddTyped(int64_t r) {
    quantities.push_back(1 + r % 20);
    prices.push_back(std::stod(std::to_string(5 + r % 300) + "." + std::to_string(10 + r % 90)));
    discounts.push_back(r % 4 == 1 ? std::nan("") : r % 3 == 0 ? 0.15 : 0.05);
    for (int item : {kOrderDate, kShipDate}) {
      const NumberValue& date = numbers[item].back();
      DateParts parts{};
      bool present = NumberToDateParts(date.bytes + 1, date.bytes[0], &parts) == 1;
      int64_t day = DatePartsToDayNumber(&parts) - XEVTableUnixEpochDay();
      int64_t seconds = day * 86400 + parts.hour * 3600 + parts.minute * 60 + parts.second;
      nanos[item].push_back(present ? seconds * 1000000000 + parts.fraction * int64_t{1000} : 0);
      noTime[item].push_back(present ? 0 : 1);
    }
  }

  SalesRows() {
    static const char* customers[] = {"Riverbend Clinic", "Café Olé", "Northwind Traders", "Blue Harbor Inn"};
    static const char* regions[] = {"Central", "East", "West", "North"};
    static const char* products[] = {"Copy paper A4, 5 reams", "Office chair", "Desk lamp", "Stapler"};
    static const char* categories[] = {"Office", "Furniture", "Lighting", "Office"};
    static const char* reps[] = {"Chen", "Farah", "Okafor", "Lind"};
    for (int64_t r = 0; r < kBlockRows; ++r) {
      int k = static_cast<int>(r % 4);
      texts[kOrderId].push_back("SO-" + std::to_string(10001 + r));
      texts[kCustomer].push_back(customers[k]);
      texts[kRegion].push_back(regions[(r / 3) % 4]);
      texts[kProduct].push_back(products[(r / 5) % 4]);
      texts[kCategory].push_back(categories[(r / 5) % 4]);
      texts[kSalesRep].push_back(reps[(r / 7) % 4]);
      DateParts ordered{static_cast<int32_t>(1 + r % 12), static_cast<int32_t>(1 + r % 28), 2023, 0, 0, 0, 0};
      DateParts shipped = ordered;
      shipped.day += 2;
      shipped.hour = static_cast<int32_t>(r % 24);
      shipped.minute = static_cast<int32_t>(r % 60);
      NumberValue date{};
      date.bytes[0] = DatePartsToNumber(date.bytes + 1, &ordered);
      numbers[kOrderDate].push_back(date);
      date.bytes[0] = DatePartsToNumber(date.bytes + 1, &shipped);
      if (r % 9 == 0) NumberSetNull(&date);  // not shipped yet
      numbers[kShipDate].push_back(date);
      NumberValue value{};
      IntToNumber(&value, static_cast<int32_t>(1 + r % 20));
      numbers[kQuantity].push_back(value);
      HostStrToNumber(&value, (std::to_string(5 + r % 300) + "." + std::to_string(10 + r % 90)).c_str());
      numbers[kUnitPrice].push_back(value);
      HostStrToNumber(&value, r % 3 == 0 ? "0.15" : "0.05");
      if (r % 4 == 1) NumberSetNull(&value);
      numbers[kDiscount].push_back(value);
      AddTyped(r);
    }
    for (int item = 0; item < kSalesItems; ++item) {
      offsets[item].push_back(0);
      for (const std::string& text : texts[item]) {
        bytes[item] += text;
        offsets[item].push_back(static_cast<int64_t>(bytes[item].size()));
      }
    }
  }
};

const SalesRows& Sales() {
  static const SalesRows rows;
  return rows;
}

thread_local int64_t t_salesRow = 0;

template <int Item>
int32_t XEV_CALL SalesValue(ExprContext*, HEXP, int32_t size, void** result, const char*) {
  if (kSalesTypes[Item] != XEV_TYPE_STRING) {
    std::memcpy(*result, &Sales().numbers[Item][t_salesRow], XEV_NUMBER_SIZE);
    return 1;
  }
  return FUNStrVarResult(result, size, Sales().texts[Item][t_salesRow].c_str());
}

template <int... Items>
std::vector<XEVDataItemCallback> SalesCallbacks(std::integer_sequence<int, Items...>) {
  return {&SalesValue<Items>...};
}

// A callback host over the typed rows: each value converted when asked.
template <int Item>
int32_t XEV_CALL SalesTypedValue(ExprContext*, HEXP, int32_t size, void** result, const char*) {
  const SalesRows& rows = Sales();
  const size_t r = static_cast<size_t>(t_salesRow);
  auto* number = static_cast<NumberValue*>(*result);
  switch (Item) {
    case kQuantity: LongToNumber(number, rows.quantities[r]); return 1;
    case kUnitPrice: return DoubleToNumber(number, rows.prices[r]);
    case kDiscount:
      if (std::isnan(rows.discounts[r])) {
        NumberSetNull(number);
        return 1;
      }
      return DoubleToNumber(number, rows.discounts[r]);
    case kOrderDate:
    case kShipDate: {
      if (rows.noTime[Item][r] != 0) {
        NumberSetNull(number);
        return 1;
      }
      int64_t nanos = rows.nanos[Item][r];
      int64_t seconds = nanos / 1000000000, day = seconds / 86400, inDay = seconds % 86400;
      DateParts parts{1, 1, 1970, static_cast<int32_t>(inDay / 3600), static_cast<int32_t>(inDay / 60 % 60),
                      static_cast<int32_t>(inDay % 60), static_cast<int32_t>(nanos % 1000000000 / 1000)};
      DayNumberToDateParts(static_cast<int32_t>(XEVTableUnixEpochDay() + day), &parts);
      number->bytes[0] = DatePartsToNumber(number->bytes + 1, &parts);
      return 1;
    }
    default: {
      const int64_t begin = rows.offsets[Item][r], end = rows.offsets[Item][r + 1];
      std::string text(rows.bytes[Item], static_cast<size_t>(begin), static_cast<size_t>(end - begin));
      return FUNStrVarResult(result, size, text.c_str());
    }
  }
}

template <int... Items>
std::vector<XEVDataItemCallback> SalesTypedCallbacks(std::integer_sequence<int, Items...>) {
  return {&SalesTypedValue<Items>...};
}

// The example context: the built-in functions, the items and the formulas of
// examples/sales.formulas.
struct SalesReport {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  std::vector<HEXP> formulas;
  std::vector<int16_t> types;

  explicit SalesReport(bool typed = false) {
    FUNDefineFunctions(ec);
    auto callbacks = typed ? SalesTypedCallbacks(std::make_integer_sequence<int, kSalesItems>())
                           : SalesCallbacks(std::make_integer_sequence<int, kSalesItems>());
    for (int i = 0; i < kSalesItems; ++i) {
      ExpItem item{};
      item.kind = XEV_ITEM_DATA;
      item.dataType = kSalesTypes[i];
      item.boundValue = reinterpret_cast<intptr_t>(callbacks[i]);
      std::strcpy(item.name, kSalesNames[i]);
      XEVAddExpressionItem(ec, &item);
    }
    std::ifstream in(XEV_TEST_DATA_DIR "/../../examples/sales.formulas");
    for (std::string line; std::getline(in, line);) {
      size_t equals = line.find('=');
      if (line.empty() || line[0] == '#' || equals == std::string::npos) continue;
      std::string name = line.substr(0, line.find_first_of(" =")), text = line.substr(equals + 1);
      uint16_t type = 0;
      HEXP exp = XEVParseFormula(ec, nullptr, text.c_str(), name.c_str(), nullptr, &type);
      if (exp == nullptr) continue;
      formulas.push_back(exp);
      types.push_back(static_cast<int16_t>(type));
    }
  }
  ~SalesReport() { XEVDestroyEC(ec); }
};

// One iteration: one row of the example report through the entry points;
// range(0) 1 for a host holding NumberValues, 2 for one holding typed columns.
void BM_SalesCallbacks(benchmark::State& state) {
  SalesReport report(state.range(0) == 2);
  if (report.formulas.size() < 10) return state.SkipWithError("examples/sales.formulas not read");
  Sales();
  NumberValue number{};
  void* block = HostAlloc(64);
  int32_t length = 0;
  int64_t row = 0;
  for (auto _ : state) {
    t_salesRow = row;
    row = row + 1 == kBlockRows ? 0 : row + 1;
    for (size_t i = 0; i < report.formulas.size(); ++i) {
      if (report.types[i] == XEV_TYPE_STRING) {
        benchmark::DoNotOptimize(XEVEvaluateExpressionExt(report.ec, report.formulas[i], &length, &block));
      } else {
        benchmark::DoNotOptimize(XEVEvaluateExpression(report.ec, report.formulas[i], 0, &number));
      }
    }
  }
  HostFree(block);
  RowsPerSecond(state, 1);
}
BENCHMARK(BM_SalesCallbacks)->Arg(1)->Arg(2);

// One iteration: a block of rows of the example report through a table on
// range(0) threads; range(1) as for BM_SalesCallbacks.
void BM_SalesTable(benchmark::State& state) {
  SalesReport report;
  if (report.formulas.size() < 10) return state.SkipWithError("examples/sales.formulas not read");
  const SalesRows& rows = Sales();
  XevTable* table = XEVTableCreate(report.ec, static_cast<int32_t>(state.range(0)));
  const bool typed = state.range(1) == 2;
  for (int item = 0; item < kSalesItems; ++item) {
    XevColumn column{};
    if (kSalesTypes[item] == XEV_TYPE_STRING) {
      column.kind = XEV_COLUMN_STRING;
      column.values = rows.bytes[item].data();
      column.offsets = rows.offsets[item].data();
    } else if (!typed) {
      column.kind = XEV_COLUMN_NUMBER;
      column.values = rows.numbers[item].data();
    } else if (item == kQuantity) {
      column.kind = XEV_COLUMN_INT64;
      column.values = rows.quantities.data();
    } else if (item == kUnitPrice || item == kDiscount) {
      column.kind = XEV_COLUMN_DOUBLE;
      column.values = item == kUnitPrice ? rows.prices.data() : rows.discounts.data();
    } else {
      column.kind = XEV_COLUMN_TIME;
      column.scale = 9;
      column.epochDay = XEVTableUnixEpochDay();
      column.values = rows.nanos[item].data();
      column.nulls = rows.noTime[item].data();
    }
    XEVTableBind(table, kSalesNames[item], &column);
  }
  std::vector<XevResult> results(report.formulas.size());
  for (auto _ : state) {
    for (size_t i = 0; i < results.size(); ++i) results[i] = ResultOf(report.formulas[i]);
    if (XEVTableEvaluate(table, kBlockRows, nullptr, results.data(), static_cast<int32_t>(results.size()), nullptr,
                         nullptr) != 1)
      return state.SkipWithError("evaluation failed");
    XEVTableFreeResults(results.data(), static_cast<int32_t>(results.size()));
  }
  XEVTableDestroy(table);
  RowsPerSecond(state, kBlockRows);
}
BENCHMARK(BM_SalesTable)->Args({1, 1})->Args({1, 2})->Args({2, 1})->Args({2, 2})->UseRealTime();

// One iteration: a block of rows of the net amount alone, from an int64
// quantity and double price and discount columns (NaN for no discount), on
// one thread, as the data-frame package hands them over; range(0) 1 rounds
// it to cents.
void BM_SalesNet(benchmark::State& state) {
  SalesReport report;
  const SalesRows& rows = Sales();
  const char* text = state.range(0) == 1 ? "NumberRound(Quantity * Unit_Price * (1 - Discount), 2)"
                                         : "Quantity * Unit_Price * (1 - Discount)";
  uint16_t type = 0;
  HEXP net = XEVParseFormula(report.ec, nullptr, text, "NetAmount", nullptr, &type);
  XevTable* table = XEVTableCreate(report.ec, 1);
  if (net == nullptr || table == nullptr) return state.SkipWithError("no formula or table");
  XevColumn column{};
  column.kind = XEV_COLUMN_INT64;
  column.values = rows.quantities.data();
  XEVTableBind(table, "Quantity", &column);
  column.kind = XEV_COLUMN_DOUBLE;
  column.values = rows.prices.data();
  XEVTableBind(table, "Unit_Price", &column);
  column.values = rows.discounts.data();
  XEVTableBind(table, "Discount", &column);
  XevResult result{};
  for (auto _ : state) {
    result = ResultOf(net);
    if (XEVTableEvaluate(table, kBlockRows, nullptr, &result, 1, nullptr, nullptr) != 1)
      return state.SkipWithError("evaluation failed");
    XEVTableFreeResults(&result, 1);
  }
  XEVTableDestroy(table);
  RowsPerSecond(state, kBlockRows);
}
BENCHMARK(BM_SalesNet)->Arg(0)->Arg(1);

}  // namespace
