// A double column is read trying first the decimals its previous value had.
// Whatever order the values come in (runs of one scale, a scale that
// changes, values near the limits of the short form, NaN and negative
// zero), each row must give what the conversion of that value alone gives, and an int64 column the bytes of LongToNumber.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "table/table.h"
#include "tests/support/host.h"
#include "xev/xevtable.h"

namespace {

// Runs of values sharing a scale, the scale changing from run to run, with
// the awkward values of a double column spread among them.
std::vector<double> Doubles() {
  const double awkward[] = {0.0, -0.0, NAN, 1500.0, 1e15, 562949953421311.5, 562949953421312.25, 0.015, 2.675,
                            1.005, 5e-324, 1.7976931348623157e308, 999999999999999.9, 0.1 + 0.2, -24.83};
  const double scales[] = {1, 10, 100, 1000, 1e4, 1e6, 1e9, 1e12, 1e15, 3, 7};
  std::vector<double> values;
  uint64_t seed = 7;
  for (int run = 0; run < 4000; ++run) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    const double scale = scales[(seed >> 8) % 11];
    for (int i = 0; i < 1 + static_cast<int>((seed >> 40) % 12); ++i) {
      seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
      const int64_t units = static_cast<int64_t>(seed >> 14) % 2000000000000000LL - 1000000000000000LL;
      values.push_back(static_cast<double>(units >> ((seed >> 4) % 48)) / scale);
    }
    values.push_back(awkward[run % std::size(awkward)]);
  }
  return values;
}

TEST(ColumnScale, EveryRowAsItsValueAlone) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  testhost::AddItem(ec, XEV_ITEM_DATA, "P", {.type = XEV_TYPE_NUMBER});
  testhost::AddItem(ec, XEV_ITEM_DATA, "Q", {.type = XEV_TYPE_NUMBER});
  XevResult results[2] = {};
  results[0].formula = testhost::ParseOrFail(ec, "P", "OutP");
  results[1].formula = testhost::ParseOrFail(ec, "Q", "OutQ");
  XevTable* table = XEVTableCreate(ec, 1);
  ASSERT_NE(table, nullptr);

  const std::vector<double> doubles = Doubles();
  std::vector<int64_t> ints(doubles.size());
  for (size_t row = 0; row < ints.size(); ++row) {
    ints[row] = std::isfinite(doubles[row]) && std::fabs(doubles[row]) < 9e18 ? static_cast<int64_t>(doubles[row])
                                                                            : std::numeric_limits<int64_t>::min();
  }
  XevColumn columns[2] = {};
  columns[0].kind = XEV_COLUMN_DOUBLE;
  columns[0].values = doubles.data();
  columns[1].kind = XEV_COLUMN_INT64;
  columns[1].values = ints.data();
  ASSERT_EQ(XEVTableBind(table, "P", &columns[0]), 0);
  ASSERT_EQ(XEVTableBind(table, "Q", &columns[1]), 1);
  const auto rows = static_cast<int64_t>(doubles.size());
  ASSERT_EQ(XEVTableEvaluate(table, rows, columns, results, 2, nullptr, nullptr), 1);

  const auto* p = static_cast<const NumberValue*>(results[0].values);
  const auto* q = static_cast<const NumberValue*>(results[1].values);
  for (int64_t row = 0; row < rows; ++row) {
    NumberValue alone{}, whole{};
    const bool valued = std::isnan(doubles[row]) || xev::table::NumberFromDouble(&alone, doubles[row]);
    ASSERT_EQ(results[0].status[row], valued ? (std::isnan(doubles[row]) ? XEV_ROW_NULL : XEV_ROW_VALUE)
                                             : XEV_ROW_NO_VALUE) << doubles[row];
    LongToNumber(&whole, ints[row]);
    ASSERT_EQ(std::memcmp(p[row].bytes, alone.bytes, XEV_NUMBER_SIZE), 0) << "row " << row << ": " << doubles[row];
    ASSERT_EQ(std::memcmp(q[row].bytes, whole.bytes, XEV_NUMBER_SIZE), 0) << "row " << row << ": " << ints[row];
  }
  XEVTableFreeResults(results, 2);
  XEVTableDestroy(table);
  XEVDestroyEC(ec);
}

}  // namespace
