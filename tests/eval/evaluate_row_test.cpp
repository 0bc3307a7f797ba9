// Several formulas evaluated over one row in one call: each data item is
// asked once however often the formulas use it, and every result is the one
// the formulas give evaluated one by one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/items.h"

namespace {

std::map<std::string, int32_t> g_numbers;  // Number items and their values; others have none
std::map<std::string, bool> g_odd;         // Number items answering with a sign byte of 2, as "odd" does
std::map<std::string, bool> g_damaged;     // Number items answering with a coefficient beyond 22 digits
std::map<std::string, int> g_asked;        // how often each item was asked
std::map<std::string, std::function<void(ExprContext*)>> g_onAsked;  // run once, inside the callback

// Items named "s..." answer a text, "d" a date, "n" NULL, "odd" -7 with a
// sign byte of 2 (read as negative, but not the bytes -7 is written as).
int32_t XEV_CALL Answer(ExprContext* ec, HEXP, int32_t size, void** result, const char* name) {
  ++g_asked[name];
  if (auto hook = g_onAsked.extract(name)) hook.mapped()(ec);
  auto* value = static_cast<NumberValue*>(*result);
  if (name[0] == 's') return FUNStrVarResult(result, size, "a text long enough to need its own block");
  if (std::strcmp(name, "d") == 0) {
    const DateParts parts{3, 14, 2001, 9, 26, 53, 0};
    value->bytes[0] = static_cast<unsigned char>(DatePartsToNumber(value->bytes + 1, &parts));
  } else if (std::strcmp(name, "n") == 0) {
    NumberSetNull(value);
  } else if (std::strcmp(name, "odd") == 0) {
    IntToNumber(value, 7);
    value->bytes[12] = 2;
  } else if (g_numbers.count(name) != 0) {
    IntToNumber(value, g_numbers[name]);
    if (g_odd[name]) value->bytes[12] = 2;
    if (g_damaged[name]) value->bytes[10] = 0xff;
  } else {
    return 0;
  }
  return 1;
}

void XEV_CALL Subtract(ExprContext*, HEXP, int32_t, int32_t, void* a, int32_t, void* b, int32_t, void* result) {
  NumberSub(static_cast<NumberValue*>(result), static_cast<NumberValue*>(a), static_cast<NumberValue*>(b));
}

intptr_t XEV_CALL Resolve(const char*) { return reinterpret_cast<intptr_t>(&Subtract); }

void AddItem(ExprContext* ec, const std::string& name, int16_t type = XEV_TYPE_NUMBER) {
  ASSERT_EQ(testhost::AddItem(ec, XEV_ITEM_DATA, name.c_str(), {.type = type, .bound = testhost::Bound(&Answer)}), 1);
}

class Row : public ::testing::Test {
 protected:
  void SetUp() override {
    g_numbers = {{"a", 2}, {"b", 3}, {"c", 5}};
    g_asked.clear();
    ec_ = XEVCreateEC(0, Resolve, nullptr, 0);
    ASSERT_EQ(FUNDefineFunctions(ec_), 1);
    for (const char* name : {"a", "b", "c", "none", "n", "odd"}) AddItem(ec_, name);
    AddItem(ec_, "s", XEV_TYPE_STRING);
    AddItem(ec_, "d", XEV_TYPE_DATETIME);
  }
  void TearDown() override {
    g_onAsked.clear();
    g_odd.clear();
    g_damaged.clear();
    XEVDestroyEC(ec_);
  }

  HEXP Parse(const std::string& text, const char* name = nullptr) {
    uint16_t type = 0;
    HEXP exp = XEVParseFormula(ec_, nullptr, text.c_str(), name, nullptr, &type);
    EXPECT_NE(exp, nullptr) << text;
    return exp;
  }

  // Each formula's result and the bytes it wrote, one by one or in one call.
  std::vector<std::string> Evaluate(const std::vector<HEXP>& exps, bool inOneCall, int32_t size = 96) {
    std::vector<std::string> buffers(exps.size(), std::string(96, '\0'));
    std::vector<void*> pointers;
    for (std::string& buffer : buffers) pointers.push_back(buffer.data());
    std::vector<int32_t> sizes(exps.size(), size), results(exps.size(), -1);
    if (inOneCall) {
      int32_t valued = XEVEvaluateExpressions(ec_, static_cast<int32_t>(exps.size()), exps.data(), sizes.data(),
                                              pointers.data(), results.data());
      int32_t ones = 0;
      for (int32_t result : results) ones += result;
      if (valued >= 0) {
        EXPECT_EQ(valued, ones);  // -1: memory ran short in the row
      }
      lastValued_ = valued;
    } else {
      for (size_t i = 0; i < exps.size(); ++i) results[i] = XEVEvaluateExpression(ec_, exps[i], size, pointers[i]);
    }
    for (size_t i = 0; i < exps.size(); ++i) buffers[i].insert(0, 1, static_cast<char>('0' + results[i]));
    return buffers;
  }

  ExprContext* ec_ = nullptr;
  int32_t lastValued_ = 0;
};

TEST_F(Row, EveryItemIsAskedOnceAndEveryResultIsTheOneByOneResult) {
  HEXP named = Parse("a * c + b", "F");
  std::vector<HEXP> exps = {
      Parse("a + b * a - b / a"),        // prepared arithmetic
      Parse("StrLeft(s, 6) || s || s"),  // a text: the walk
      Parse("DateAddDay(d, a) - d"),     // dates: a call, and the walk for the difference
      Parse("n + a * n"),                // NULL, kept as NULL
      Parse("none + a"),                 // no value, kept as none
      Parse("F() * 2 + c + F()"),        // a named formula, walked, using a, b and c again
      Parse("NumberRound(a / 3, 2) + b + c"), named,
      Parse("odd"), Parse("odd"), Parse("odd + a"),  // handed on as the bytes they came as
  };
  std::vector<std::string> withoutHost;
  for (bool hostOperator : {false, true}) {
    // With the host doing '+' the plan asks in the walk's order.
    if (hostOperator) XEVSetOperatorCallback(ec_, 0, XEV_TYPE_NUMBER, "minus");
    std::vector<std::string> oneByOne = Evaluate(exps, false);
    EXPECT_NE(oneByOne, withoutHost);
    withoutHost = oneByOne;
    g_asked.clear();
    EXPECT_EQ(Evaluate(exps, true), oneByOne);
    EXPECT_EQ(g_asked.size(), 8u);
    for (const auto& [name, count] : g_asked) EXPECT_EQ(count, 1) << name;
    // Text formulas answer a size query as they do alone.
    EXPECT_EQ(Evaluate(exps, true, 0), Evaluate(exps, false, 0));
  }

  // A missing formula or buffer fails its own entry only; a missing context,
  // list or count fails them all, asking nothing.
  NumberValue value{};
  void* buffers[3] = {&value, &value, nullptr};
  HEXP three[3] = {exps[0], nullptr, exps[0]};
  int32_t results[3] = {-1, -1, -1};
  EXPECT_EQ(XEVEvaluateExpressions(ec_, 3, three, nullptr, buffers, results), 1);
  EXPECT_EQ(results[0] * 100 + results[1] * 10 + results[2], 100);
  g_asked.clear();
  EXPECT_EQ(XEVEvaluateExpressions(nullptr, 3, three, nullptr, buffers, results), 0);
  EXPECT_EQ(results[0] + results[1] + results[2], 0);
  EXPECT_EQ(XEVEvaluateExpressions(ec_, 3, three, nullptr, nullptr, results) +
                XEVEvaluateExpressions(ec_, -1, three, nullptr, buffers, results),
            0);
  EXPECT_TRUE(g_asked.empty());
}

TEST_F(Row, ACallbackThatChangesTheContextMakesTheRestAskAgain) {
  std::vector<HEXP> exps = {Parse("a + b"), Parse("a + b + c"), Parse("c * 2")};
  // An item added while b is asked: a and b are asked again by the formulas after it.
  g_onAsked["b"] = [](ExprContext* ec) { AddItem(ec, "z"); };
  std::vector<std::string> inOneCall = Evaluate(exps, true);
  EXPECT_EQ(g_asked, (std::map<std::string, int>{{"a", 2}, {"b", 2}, {"c", 1}}));
  EXPECT_EQ(inOneCall, Evaluate(exps, false));

  // b bound anew while a is asked: b's new answer serves the rest, and a's,
  // given while the context changed, is not kept.
  g_asked.clear();
  g_numbers["b"] = 30;
  g_onAsked["a"] = [](ExprContext* ec) {
    XEVDelExpItemNoCheck(ec, XEV_ITEM_DATA, "b");
    AddItem(ec, "b");
  };
  exps = {Parse("a + b"), Parse("b * 1"), Parse("b + a")};
  inOneCall = Evaluate(exps, true);
  EXPECT_EQ(g_asked, (std::map<std::string, int>{{"a", 2}, {"b", 1}}));
  EXPECT_EQ(inOneCall, Evaluate(exps, false));
}

// From the second call on, a context's formulas read their items from cells
// kept for the call. Row after row, with every kind of answer an item may
// switch to (none, NULL, bytes that are not a plain Number, back to a
// value), each item is asked once a row and every result is the one by one
// result of that row.
TEST_F(Row, RowAfterRowEveryAnswerServesItsOwnRowOnly) {
  AddItem(ec_, "v");
  std::vector<HEXP> exps = {
      Parse("a * b + v - c / 4"),                     // v read straight from its cell
      Parse("v * v + a * (b - v) / 3"),               // the same cell read four times
      Parse("b + NumberRound(c / 3, 1) + v * a"),     // v after a call, b read after v
      Parse("NumberRound(v, 0) + a"),                 // v handed to a function: slots only
      Parse("c - b + a"),
  };
  struct Answer {
    bool valued;
    bool odd;
    int32_t value;
  };
  const Answer rows[] = {{true, false, 4}, {true, false, 6}, {false, false, 0}, {true, false, 8},
                         {true, true, 9},  {true, false, 5}, {true, true, 11},  {true, false, 12}};
  int row = 0;
  for (const Answer& answer : rows) {
    g_numbers["a"] = 2 + row;
    g_numbers["b"] = 30 - row;
    g_odd["v"] = answer.odd;
    if (answer.valued) {
      g_numbers["v"] = answer.value;
    } else {
      g_numbers.erase("v");
    }
    // In one call first: the slots still hold the row before, never this one's.
    g_asked.clear();
    std::vector<std::string> inOneCall = Evaluate(exps, true);
    EXPECT_EQ(g_asked.size(), 4u);
    for (const auto& [name, count] : g_asked) EXPECT_EQ(count, 1) << name << ", row " << row;
    EXPECT_EQ(inOneCall, Evaluate(exps, false)) << "row " << row;
    ++row;
  }
}

// The first formula to use an item in a row call keeps a plain answer in
// the item's cell alone; formulas that want the bytes (the whole formula, a
// function's argument, the walk) come later in the row and must find that
// answer, byte for byte, without asking again, whatever v answers: a plain
// Number, NULL, none, a sign byte of 2 or a coefficient past 22 digits.
// Twenty more items than fit the answers' notes of cells besides.
TEST_F(Row, AnswersKeptInCellsServeTheFormulasThatWantTheirBytes) {
  AddItem(ec_, "v");
  HEXP named = Parse("v * 2 + a", "G");
  std::vector<HEXP> exps = {Parse("a * b - c"), Parse("a * b + v - c / 4"), Parse("v + b"), Parse("v"),
                            Parse("NumberRound(v, 0) + a"), Parse("G() + 1"), named, Parse("StrLeft(s, 2 + v * 0)")};
  std::string wide = "a";
  for (int i = 0; i < 20; ++i) {
    std::string name = "w" + std::to_string(i);
    AddItem(ec_, name);
    g_numbers[name] = 100 + i;
    wide += " + " + name;
  }
  exps.insert(exps.begin() + 3, Parse(wide));
  exps.push_back(Parse("NumberRound(" + wide + ", 1)"));
  exps.push_back(Parse("StrLeft(s, 3 + (" + wide + ") * 0)"));
  struct Kind {
    const char* what;
    bool valued, odd, damaged, null;
  };
  const Kind kinds[] = {{"plain", true, false, false, false},   {"odd", true, true, false, false},
                        {"damaged", true, false, true, false}, {"none", false, false, false, false},
                        {"plain again", true, false, false, false}};
  for (const Kind& kind : kinds) {
    g_odd["v"] = kind.odd;
    g_damaged["v"] = kind.damaged;
    if (kind.valued) {
      g_numbers["v"] = 7;
    } else {
      g_numbers.erase("v");
    }
    // Twice: a formula whose last row ran checked (v without a value) is
    // taken carefully once, the other formulas read cells around it.
    for (int pass = 0; pass < 2; ++pass) {
      g_asked.clear();
      std::vector<std::string> inOneCall = Evaluate(exps, true);
      EXPECT_EQ(g_asked.size(), 25u) << kind.what;
      for (const auto& [name, count] : g_asked) EXPECT_EQ(count, 1) << name << ", " << kind.what;
      EXPECT_EQ(inOneCall, Evaluate(exps, false)) << kind.what << ", pass " << pass;
    }
  }
  // NULL is an answer of its own: "n" is kept as NULL wherever it goes.
  std::vector<HEXP> nulls = {Parse("n * 2 + a"), Parse("n"), Parse("NumberRound(n, 0)")};
  Evaluate(nulls, true);
  g_asked.clear();
  std::vector<std::string> inOneCall = Evaluate(nulls, true);
  EXPECT_EQ(g_asked, (std::map<std::string, int>{{"a", 1}, {"n", 1}}));
  EXPECT_EQ(inOneCall, Evaluate(nulls, false));
}

// A function that gives 1 and, when g_touchMoves is set, adds an item
// (moving the context on) and changes b's value.
bool g_touchMoves = false;
int32_t XEV_CALL Touch(ExprContext* ec, HEXP, int32_t, void** result, const char*, void**) {
  if (g_touchMoves) {
    XEVDelExpItemNoCheck(ec, XEV_ITEM_DATA, "z");
    AddItem(ec, "z");
    g_numbers["b"] = 40;
  }
  IntToNumber(static_cast<NumberValue*>(*result), 1);
  return 1;
}

TEST_F(Row, ALaterCallWithTheContextChangedMidRowAsksAgainAsTheFirst) {
  ExpItem touch{};
  touch.kind = XEV_ITEM_FUNCTION;
  touch.dataType = XEV_TYPE_NUMBER;
  touch.boundValue = reinterpret_cast<intptr_t>(&Touch);
  std::strcpy(touch.name, "Touch");
  ASSERT_EQ(XEVAddExpressionItem(ec_, &touch), 1);
  // The function moves the context on between a and b: b is asked again after it.
  std::vector<HEXP> touching = {Parse("a + b"), Parse("a * Touch() + b"), Parse("b - a")};
  for (int round = 0; round < 3; ++round) {
    g_touchMoves = false;
    g_numbers["b"] = 3;
    Evaluate(touching, true);  // the plans made again: the next call reads cells
    g_touchMoves = true;
    g_asked.clear();
    std::vector<std::string> inOneCall = Evaluate(touching, true);
    EXPECT_EQ(g_asked, (std::map<std::string, int>{{"a", 2}, {"b", 2}})) << "round " << round;
    g_numbers["b"] = 3;
    EXPECT_EQ(inOneCall, Evaluate(touching, false));
  }
  g_numbers["b"] = 3;
  g_touchMoves = false;

  // The same with a data item's callback moving the context on.
  std::vector<HEXP> exps = {Parse("a + b"), Parse("a + b + c"), Parse("c * 2")};
  Evaluate(exps, true);
  for (int round = 0; round < 2; ++round) {
    g_asked.clear();
    g_numbers["b"] = 3 + round;
    g_onAsked["b"] = [](ExprContext* ec) {
      XEVDelExpItemNoCheck(ec, XEV_ITEM_DATA, "z");
      AddItem(ec, "z");
    };
    std::vector<std::string> inOneCall = Evaluate(exps, true);
    EXPECT_EQ(g_asked, (std::map<std::string, int>{{"a", 2}, {"b", 2}, {"c", 1}}));
    EXPECT_EQ(inOneCall, Evaluate(exps, false));
  }
}

// A row call made by a callback of another row call asks its own items: the
// outer call's formulas keep reading the answers of their own row.
TEST_F(Row, ARowCallInsideACallbackLeavesTheOuterRowsAnswersAlone) {
  // a is asked after the call, b read after a: the outer b must still be there.
  std::vector<HEXP> exps = {Parse("b + c"), Parse("b + NumberRound(c * 1, 0) + a"), Parse("c - b")};
  Evaluate(exps, true);
  std::vector<std::string> outer = Evaluate(exps, false);
  std::vector<std::string> inner;
  g_onAsked["a"] = [&](ExprContext*) {
    g_numbers["b"] = 100;
    g_numbers["c"] = 50;
    inner = Evaluate(exps, true);
    g_numbers["b"] = 3;
    g_numbers["c"] = 5;
  };
  EXPECT_EQ(Evaluate(exps, true), outer);
  EXPECT_NE(inner, outer);
  EXPECT_EQ(NumberToInt(reinterpret_cast<const NumberValue*>(inner[1].data() + 1)), 100 + 50 + 2);
}

// Every allocation of the call failing in turn: nothing leaks, and whatever
// still has a value has the value it has with memory to spare.
TEST_F(Row, MemoryShortAnywhereLeaksNothingAndChangesNoValue) {
  std::vector<HEXP> exps = {Parse("StrLeft(s, 4) || s"), Parse("a + b * c"), Parse("NumberRound(a / 3, 1) * b + odd")};
  for (int i = 0; i < 20; ++i) {
    std::string name = "s" + std::to_string(i);
    AddItem(ec_, name, XEV_TYPE_STRING);
    exps.push_back(Parse(name + " || " + name + " || s"));  // more answers than the first table holds
  }
  const int64_t before = HostAllocationCount();
  std::vector<std::string> expected = Evaluate(exps, true);
  const int64_t allocations = HostAllocationCount() - before;
  const int64_t live = HostLiveBlockCount();
  for (int64_t failing = 1; failing <= allocations; ++failing) {
    HostFailAllocationAfter(failing);
    std::vector<std::string> outcomes = Evaluate(exps, true);
    HostFailAllocationAfter(0);
    EXPECT_EQ(HostLiveBlockCount(), live) << "allocation " << failing;
    bool lost = false;
    for (size_t i = 0; i < exps.size(); ++i) {
      if (outcomes[i][0] == '1') {
        EXPECT_EQ(outcomes[i], expected[i]) << "allocation " << failing << ", formula " << i;
      } else {
        lost = true;
      }
    }
    // A value lost to memory is never passed off as the formula's own "no value".
    if (lost) {
      EXPECT_EQ(lastValued_, -1) << "allocation " << failing;
    }
  }
  // A text longer than any block can hold is memory short too, while an
  // item without an answer is an ordinary "no value".
  EXPECT_EQ(Evaluate({Parse("StrRepeat('abc', 1000000000)"), Parse("a + 1")}, true)[0][0], '0');
  EXPECT_EQ(lastValued_, -1);
  EXPECT_EQ(Evaluate({Parse("none + 1"), Parse("a + 1")}, true)[0][0], '0');
  EXPECT_EQ(lastValued_, 1);
}

}  // namespace
