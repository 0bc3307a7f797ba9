// A table evaluates each named formula once a row and hands its value to
// every reference: random graphs of formulas must give, row by row, what the
// item callbacks and a fresh evaluation of every reference give.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "eval/formula_values.h"
#include "language/language.h"
#include "tests/support/host.h"
#include "xev/xevtable.h"

namespace {

using testhost::AddItem;
using testhost::Bound;
using testhost::ParseOrFail;

struct Rows {
  std::vector<int64_t> quantity;
  std::string names;
  std::vector<int64_t> offsets{0};
};
const Rows* t_rows = nullptr;
int64_t t_row = 0;
int t_tallied = 0;

int32_t XEV_CALL Quantity(ExprContext*, HEXP, int32_t, void** result, const char*) {
  LongToNumber(static_cast<NumberValue*>(*result), t_rows->quantity[t_row]);
  return 1;
}
int32_t XEV_CALL Name(ExprContext*, HEXP, int32_t size, void** result, const char*) {
  std::string name = t_rows->names.substr(t_rows->offsets[t_row], t_rows->offsets[t_row + 1] - t_rows->offsets[t_row]);
  if (static_cast<size_t>(size) <= name.size()) *result = HostRealloc(*result, name.size() + 1);
  std::memcpy(*result, name.c_str(), name.size() + 1);
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
  AddItem(ec, XEV_ITEM_DATA, "N", {XEV_TYPE_STRING, Bound(&Name)});
  AddItem(ec, XEV_ITEM_FUNCTION, "Tally", {XEV_TYPE_NUMBER, Bound(&Tally), 0, 0, nullptr, 0, {{XEV_TYPE_NUMBER}}});
  return ec;
}

// A table over rows's columns with the formulas as results; where may be null.
std::vector<XevResult> EvaluateTable(ExprContext* ec, const Rows& rows, const std::vector<HEXP>& formulas,
                                     HEXP where, int32_t threads, int64_t** index) {
  XevTable* table = XEVTableCreate(ec, threads);
  XevColumn q{}, n{};
  q.kind = XEV_COLUMN_INT64, q.values = rows.quantity.data();
  n.kind = XEV_COLUMN_STRING, n.values = rows.names.data(), n.offsets = rows.offsets.data();
  EXPECT_EQ(XEVTableBind(table, "Q", &q), 0);
  EXPECT_EQ(XEVTableBind(table, "N", &n), 1);
  std::vector<XevResult> results(formulas.size());
  for (size_t i = 0; i < formulas.size(); ++i) results[i].formula = formulas[i];
  EXPECT_EQ(XEVTableEvaluate(table, static_cast<int64_t>(rows.quantity.size()), nullptr, results.data(),
                             static_cast<int32_t>(results.size()), where, index),
            1);
  XEVTableDestroy(table);
  return results;
}

// Row r of a result as ValueText shows a value: bytes or text, "<none>".
std::string TableText(const XevResult& result, int64_t r) {
  if (result.status[r] == XEV_ROW_NO_VALUE) return "<none>";
  if (result.type == XEV_TYPE_STRING) {
    const auto* bytes = static_cast<const char*>(result.values);
    return std::string(bytes + result.offsets[r], bytes + result.offsets[r + 1]);
  }
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
      case 0: return "N";
      case 1: return Reference(false, "'x'");
      case 2: return Text(depth - 1) + " || " + Text(depth - 1);
      case 3: return "StrLeft(" + Text(depth - 1) + ", 4)";
      default: return "NumberToStr(" + Number(depth - 1) + ", 2)";
    }
  }
  void Add(ExprContext* ec, bool number) {
    std::string name = "F" + std::to_string(formulas.size());
    formulas.push_back(ParseOrFail(ec, number ? Number(3) : Text(3), name));
    isNumber.push_back(number);
  }
  std::vector<HEXP> formulas;
  std::vector<bool> isNumber;

 private:
  int Pick(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }
  std::string Reference(bool number, const char* otherwise) {
    std::vector<size_t> fitting;
    for (size_t i = 0; i < formulas.size(); ++i) if (isNumber[i] == number) fitting.push_back(i);
    return fitting.empty() ? otherwise : "F" + std::to_string(fitting[random_() % fitting.size()]) + "()";
  }
  std::mt19937 random_;
};

Rows MakeRows(int count) {
  Rows rows;
  for (int r = 0; r < count; ++r) {
    rows.quantity.push_back(r % 7 - 2);
    rows.names += std::string(static_cast<size_t>(r % 9), static_cast<char>('a' + r % 26));
    rows.offsets.push_back(static_cast<int64_t>(rows.names.size()));
  }
  return rows;
}

TEST(FormulaValues, RandomGraphsGiveWhatEachReferenceEvaluatedAgainGives) {
  const Rows rows = MakeRows(1100);  // two shares on two threads
  t_rows = &rows;
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    ExprContext* ec = NewContext();
    Graph graph(seed);
    for (int i = 0; i < 40; ++i) graph.Add(ec, i % 3 != 2);
    // Every third formula is output, the last ones first; the rest only used.
    std::vector<HEXP> outputs;
    for (size_t i = graph.formulas.size(); i-- > 0;) {
      if (i % 3 == 0) outputs.push_back(graph.formulas[i]);
    }
    HEXP where = ParseOrFail(ec, "F1() - 1", "Where");
    for (int32_t threads : {1, 2}) {
      int64_t* index = nullptr;
      std::vector<XevResult> results = EvaluateTable(ec, rows, outputs, seed % 2 == 0 ? where : nullptr, threads, &index);
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
  const Rows rows = MakeRows(100);
  t_rows = &rows;
  ExprContext* ec = NewContext();
  ParseOrFail(ec, "Tally(Q * 2)", "Twice");
  HEXP both = ParseOrFail(ec, "Twice() + Twice() * 2", "Both");
  HEXP last = ParseOrFail(ec, "Both() - Twice()", "Last");
  t_tallied = 0;
  std::vector<XevResult> results = EvaluateTable(ec, rows, {last, both}, nullptr, 1, nullptr);
  EXPECT_EQ(t_tallied, 100);
  t_row = 4;
  EXPECT_EQ(TableText(results[0], 4), testhost::ValueText(ec, last));
  XEVTableFreeResults(results.data(), 2);
  XEVDestroyEC(ec);
}

char* Copy(const char* text) { return std::strcpy(static_cast<char*>(HostAlloc(std::strlen(text) + 1)), text); }

// A formula named name whose tree is a reference to target.
HEXP Reference(ExprContext* ec, const char* name, const char* target) {
  auto* node = static_cast<xev::language::ExprNode*>(HostAlloc(sizeof(xev::language::ExprNode)));
  *node = xev::language::ExprNode{xev::language::NK_FORMULAREF, XEV_TYPE_NUMBER, 0, 0, 0, 0, Copy(target), nullptr, 0};
  auto* record = static_cast<ExprRecord*>(HostAlloc(sizeof(ExprRecord)));
  *record = ExprRecord{node, Copy(name), ec, XEV_TYPE_NUMBER, Copy(target), nullptr};
  xev::core::AppendExpression(ec, record);
  return record;
}

// Formulas that reach themselves (only a load without the parser's check
// makes them) are not arranged: the table evaluates them one by one.
TEST(FormulaValues, CyclesAreNotArranged) {
  ExprContext* ec = NewContext();
  HEXP p = Reference(ec, "P", "R");
  Reference(ec, "R", "P");
  xev::eval::FormulaValues values;
  EXPECT_EQ(values.Arrange(ec, &p, 1), xev::eval::FormulaValues::Arranged::kCycle);
  EXPECT_EQ(values.count(), 0);
  XEVDestroyEC(ec);
}

}  // namespace
