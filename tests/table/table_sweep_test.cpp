// Every allocation of making a table, binding and evaluating may fail: the
// call then ends with its failure result and leaves no block behind. Runs on
// the calling thread, where failures are injected.
#include "oom/sweep.h"
#include "table/table_support.h"

namespace {

using namespace table_test;

TEST(TableSweep, CreateBindEvaluate) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  ASSERT_EQ(FUNDefineFunctions(ec), 1);
  AddItem(ec, "Amount", XEV_TYPE_NUMBER);
  AddItem(ec, "Who", XEV_TYPE_STRING);
  HEXP total = Parse(ec, "Total", "NumberRound(Amount * 1.19, 2)");
  HEXP label = Parse(ec, "Label", "StrUpper(Who) || ':' || NumberToStr(Amount, 1)");
  HEXP where = Parse(ec, "Big", "Amount - 3");
  std::vector<double> amounts;
  TextColumn names;
  for (int row = 0; row < 40; ++row) {
    amounts.push_back(row * 0.5);
    names.Add(std::string(static_cast<size_t>(row * 3), 'w'));
  }
  std::string reference;
  const int64_t points = oom::Sweep("table create, bind and evaluate", [&](oom::Trial& trial) {
    trial.Arm();
    XevTable* table = XEVTableCreate(ec, 1);
    XevColumn a = FixedColumn(XEV_COLUMN_DOUBLE, amounts), w = names.Column(XEV_COLUMN_STRING);
    bool bound = table != nullptr && XEVTableBind(table, "Amount", &a) == 0 && XEVTableBind(table, "Who", &w) == 1;
    XevResult results[] = {Wanted(total), Wanted(label), Wanted(total, XEV_RESULT_TEXT)};
    int64_t* index = nullptr;
    int32_t ok = bound ? XEVTableEvaluate(table, 40, nullptr, results, 3, where, &index) : 0;
    trial.Disarm();
    if (ok == 1) {
      std::string seen;
      for (const XevResult& result : results) {
        for (const std::string& row : Rows(result)) seen += row + ";";
      }
      // A failure inside a formula is that row's missing value; anything else is the reference.
      if (!trial.failing()) reference = seen;
      if (trial.failing() && seen != reference) {
        EXPECT_NE(seen.find(";-;"), std::string::npos);
      }
    } else {
      EXPECT_TRUE(trial.failing());
      EXPECT_EQ(index, nullptr);
      for (const XevResult& result : results) EXPECT_EQ(result.values, nullptr);
    }
    XEVTableFreeResults(results, 3);
    HostFree(index);
    XEVTableDestroy(table);
  });
  EXPECT_GT(points, 20);
  XEVDestroyEC(ec);
}

}  // namespace
