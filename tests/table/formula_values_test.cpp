// A table evaluates each named formula once a row and hands its value to
// every reference: random graphs of formulas must give, row by row, what the
// item callbacks and a fresh evaluation of every reference give.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/host.h"
#include "xev/xevtable.h"

namespace {

using testhost::AddItem;
using testhost::Bound;
using testhost::ParseOrFail;

std::vector<int64_t> t_quantity;  // the column Q
int64_t t_row = 0;
int t_tallied = 0;

int32_t XEV_CALL Quantity(ExprContext*, HEXP, int32_t, void** result, const char*) {
  LongToNumber(static_cast<NumberValue*>(*result), t_quantity[t_row]);
  return 1;
}
// Its argument, counted.
int32_t XEV_CALL Tally(ExprContext*, HEXP, int32_t, void** result, const char*, void** args) {
  ++t_tallied;
  if (args[0] == nullptr) return 0;
  std::memcpy(*result, args[0], XEV_NUMBER_SIZE);
  return 1;
}

ExprContext* NewContext() {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  EXPECT_EQ(FUNDefineFunctions(ec), 1);
  AddItem(ec, XEV_ITEM_DATA, "Q", {XEV_TYPE_NUMBER, Bound(&Quantity)});
  AddItem(ec, XEV_ITEM_FUNCTION, "Tally", {XEV_TYPE_NUMBER, Bound(&Tally), 0, 0, nullptr, 0, {{XEV_TYPE_NUMBER}}});
  return ec;
}

// A table over rows of Q with the formulas as results; where may be null.
std::vector<XevResult> EvaluateTable(ExprContext* ec, int64_t rows, const std::vector<HEXP>& formulas, HEXP where,
                                     int32_t threads, int64_t** index) {
  t_quantity.clear();
  for (int64_t r = 0; r < rows; ++r) t_quantity.push_back(r % 7 - 2);
  XevTable* table = XEVTableCreate(ec, threads);
  XevColumn q{XEV_COLUMN_INT64, 0, 0, 0, t_quantity.data(), nullptr, nullptr};
  EXPECT_EQ(XEVTableBind(table, "Q", &q), 0);
  std::vector<XevResult> results(formulas.size());
  for (size_t i = 0; i < formulas.size(); ++i) results[i].formula = formulas[i];
  EXPECT_EQ(XEVTableEvaluate(table, rows, nullptr, results.data(), static_cast<int32_t>(results.size()), where, index),
            1);
  XEVTableDestroy(table);
  return results;
}

// Row r of a result as ValueText shows a value: bytes or text, "<none>".
std::string TableText(const XevResult& result, int64_t r) {
  const auto* bytes = static_cast<const char*>(result.values);
  if (result.status[r] == XEV_ROW_NO_VALUE) return "<none>";
  if (result.type == XEV_TYPE_STRING) return std::string(bytes + result.offsets[r], bytes + result.offsets[r + 1]);
  std::string text;
  const auto* number = static_cast<const unsigned char*>(result.values) + XEV_NUMBER_SIZE * r;
  for (int i = 0; i < XEV_NUMBER_SIZE; ++i) text += std::to_string(number[i]) + ".";
  return text;
}

// Random formulas F0..Fn, each naming items and earlier formulas, Numbers
// and Strings mixed, some named by several others and some by none.
class Graph {
 public:
  explicit Graph(uint32_t seed) : random_(seed) {}
  std::string Number(int depth) {
    switch (Pick(depth > 0 ? 7 : 3)) {
      case 0: return "Q";
      case 1: return Reference(true, "0.5");
      case 2: return std::to_string(Pick(5)) + ".25";
      case 3: return "(" + Number(depth - 1) + " " + "+-*/"[Pick(4)] + " " + Number(depth - 1) + ")";
      case 4: return "NumberRound(" + Number(depth - 1) + ", 1)";
      case 5: return "StrLength(" + Text(depth - 1) + ")";
      default: return "Tally(" + Number(depth - 1) + ")";
    }
  }
  std::string Text(int depth) {
    switch (Pick(depth > 0 ? 5 : 2)) {
      case 0: return "NumberToStr(Q, 1)";
      case 1: return Reference(false, "'x'");
      case 2: return Text(depth - 1) + " || " + Text(depth - 1);
      case 3: return "StrLeft(" + Text(depth - 1) + ", 4)";
      default: return "NumberToStr(" + Number(depth - 1) + ", 2)";
    }
  }
  // Formula i is a Number unless i % 3 == 2.
  void Add(ExprContext* ec) {
    const bool number = formulas.size() % 3 != 2;
    formulas.push_back(ParseOrFail(ec, number ? Number(3) : Text(3), "F" + std::to_string(formulas.size())));
  }
  std::vector<HEXP> formulas;

 private:
  int Pick(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }
  std::string Reference(bool number, const char* otherwise) {
    for (int tries = 0; tries < 4 && !formulas.empty(); ++tries) {
      const size_t i = random_() % formulas.size();
      if ((i % 3 != 2) == number) return "F" + std::to_string(i) + "()";
    }
    return otherwise;
  }
  std::mt19937 random_;
};

TEST(FormulaValues, RandomGraphsGiveWhatEachReferenceEvaluatedAgainGives) {
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    ExprContext* ec = NewContext();
    Graph graph(seed);
    for (int i = 0; i < 40; ++i) graph.Add(ec);
    // Every third formula is output, the last ones first; the rest only used.
    std::vector<HEXP> outputs;
    for (size_t i = graph.formulas.size(); i-- > 0;) if (i % 3 == 0) outputs.push_back(graph.formulas[i]);
    HEXP where = ParseOrFail(ec, "F1() - 1", "Where");
    for (int32_t threads : {1, 2}) {
      int64_t* index = nullptr;
      std::vector<XevResult> results = EvaluateTable(ec, 1100, outputs, seed % 2 == 0 ? where : nullptr, threads, &index);
      for (int64_t at = 0; at < results[0].rowCount; ++at) {
        t_row = index[at];
        for (size_t r = 0; r < outputs.size(); ++r) {
          ASSERT_EQ(TableText(results[r], at), testhost::ValueText(ec, outputs[r]))
              << "seed " << seed << ", row " << t_row << ": " << testhost::ExpressionText(ec, outputs[r]);
        }
      }
      XEVTableFreeResults(results.data(), static_cast<int32_t>(results.size()));
      HostFree(index);
    }
    XEVDestroyEC(ec);
  }
}

// A formula named by several others, and by none that is output, runs once
// a row, where a fresh evaluation would run it at every reference.
TEST(FormulaValues, EachFormulaRunsOnceARow) {
  ExprContext* ec = NewContext();
  ParseOrFail(ec, "Tally(Q * 2)", "Twice");
  HEXP both = ParseOrFail(ec, "Twice() + Twice() * 2", "Both");
  HEXP last = ParseOrFail(ec, "Both() - Twice()", "Last");
  t_tallied = 0;
  std::vector<XevResult> results = EvaluateTable(ec, 100, {last, both}, nullptr, 1, nullptr);
  EXPECT_EQ(t_tallied, 100);
  XEVTableFreeResults(results.data(), 2);
  XEVDestroyEC(ec);
}

}  // namespace
