// Several formulas evaluated over one row in one call: each data item is
// asked once however often the formulas use it, and every result is the one
// the formulas give evaluated one by one.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "xev/xev.h"

namespace {

std::map<std::string, int32_t> g_numbers;       // Number items and their values
std::map<std::string, int> g_asked;             // how often each item was asked
std::map<std::string, std::function<void(ExprContext*)>> g_onAsked;  // run once, inside the callback

void RunHook(ExprContext* ec, const char* name) {
  ++g_asked[name];
  auto hook = g_onAsked.find(name);
  if (hook == g_onAsked.end()) return;
  auto once = std::move(hook->second);
  g_onAsked.erase(hook);
  once(ec);
}

int32_t XEV_CALL NumberAnswer(ExprContext* ec, HEXP, int32_t, void** result, const char* name) {
  RunHook(ec, name);
  auto it = g_numbers.find(name);
  if (it == g_numbers.end()) return 0;  // no value
  IntToNumber(static_cast<NumberValue*>(*result), it->second);
  return 1;
}

int32_t XEV_CALL NullAnswer(ExprContext* ec, HEXP, int32_t, void** result, const char* name) {
  RunHook(ec, name);
  NumberSetNull(static_cast<NumberValue*>(*result));
  return 1;
}

int32_t XEV_CALL TextAnswer(ExprContext* ec, HEXP, int32_t size, void** result, const char* name) {
  RunHook(ec, name);
  return FUNStrVarResult(result, size, "a text long enough to need its own block, from ");
}

int32_t XEV_CALL DateAnswer(ExprContext* ec, HEXP, int32_t, void** result, const char* name) {
  RunHook(ec, name);
  const DateParts parts{3, 14, 2001, 9, 26, 53, 0};
  auto* bytes = static_cast<unsigned char*>(*result);
  bytes[0] = DatePartsToNumber(bytes + 1, &parts);
  return 1;
}

// -7 with a sign byte of 2: read as negative, but not the bytes -7 is written as.
int32_t XEV_CALL OddBytesAnswer(ExprContext* ec, HEXP, int32_t, void** result, const char* name) {
  RunHook(ec, name);
  auto* value = static_cast<NumberValue*>(*result);
  IntToNumber(value, 7);
  value->bytes[12] = 2;
  return 1;
}

void XEV_CALL Subtract(ExprContext*, HEXP, int32_t, int32_t, void* a, int32_t, void* b, int32_t, void* result) {
  NumberSub(static_cast<NumberValue*>(result), static_cast<NumberValue*>(a), static_cast<NumberValue*>(b));
}

intptr_t XEV_CALL Resolve(const char* name) {
  return std::strcmp(name, "subtract") == 0 ? reinterpret_cast<intptr_t>(&Subtract) : 0;
}

void AddItem(ExprContext* ec, const char* name, int16_t type, XEVDataItemCallback callback) {
  ExpItem item{};
  item.kind = XEV_ITEM_DATA;
  item.dataType = type;
  item.boundValue = reinterpret_cast<intptr_t>(callback);
  std::strcpy(item.name, name);
  ASSERT_EQ(XEVAddExpressionItem(ec, &item), 1);
}

// One formula's outcome: its result and what it wrote, as bytes.
struct Outcome {
  int32_t result;
  std::string bytes;
  bool operator==(const Outcome& other) const { return result == other.result && bytes == other.bytes; }
};

std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
  out << outcome.result << ":";
  for (unsigned char byte : outcome.bytes) out << ' ' << static_cast<int>(byte);
  return out;
}

constexpr int32_t kBufferSize = 96;

class Row : public ::testing::Test {
 protected:
  void SetUp() override {
    g_numbers = {{"a", 2}, {"b", 3}, {"c", 5}};
    g_asked.clear();
    g_onAsked.clear();
    ec_ = XEVCreateEC(0, Resolve, nullptr, 0);
    ASSERT_EQ(FUNDefineFunctions(ec_), 1);
    for (const char* name : {"a", "b", "c", "none"}) AddItem(ec_, name, XEV_TYPE_NUMBER, &NumberAnswer);
    AddItem(ec_, "n", XEV_TYPE_NUMBER, &NullAnswer);
    AddItem(ec_, "s", XEV_TYPE_STRING, &TextAnswer);
    AddItem(ec_, "d", XEV_TYPE_DATETIME, &DateAnswer);
    AddItem(ec_, "odd", XEV_TYPE_NUMBER, &OddBytesAnswer);
  }
  void TearDown() override { XEVDestroyEC(ec_); }

  HEXP Parse(const std::string& text, const char* name = nullptr) {
    uint16_t type = 0;
    ExprError error{};
    HEXP exp = XEVParseFormula(ec_, nullptr, text.c_str(), name, &error, &type);
    EXPECT_NE(exp, nullptr) << text << ": error " << error.code;
    return exp;
  }

  // The formulas one by one, each occurrence of an item asked.
  std::vector<Outcome> OneByOne(const std::vector<HEXP>& exps, int32_t size = kBufferSize) {
    std::vector<Outcome> outcomes;
    for (HEXP exp : exps) {
      std::string buffer(kBufferSize, '\0');
      int32_t result = XEVEvaluateExpression(ec_, exp, size, buffer.data());
      outcomes.push_back({result, buffer});
    }
    return outcomes;
  }

  // The formulas in one call.
  std::vector<Outcome> InOneCall(const std::vector<HEXP>& exps, int32_t size = kBufferSize) {
    std::vector<std::string> buffers(exps.size(), std::string(kBufferSize, '\0'));
    std::vector<void*> pointers;
    for (std::string& buffer : buffers) pointers.push_back(buffer.data());
    std::vector<int32_t> sizes(exps.size(), size);
    std::vector<int32_t> results(exps.size(), -1);
    int32_t count = static_cast<int32_t>(exps.size());
    int32_t valued = XEVEvaluateExpressions(ec_, count, exps.data(), sizes.data(), pointers.data(), results.data());
    std::vector<Outcome> outcomes;
    int32_t ones = 0;
    for (size_t i = 0; i < exps.size(); ++i) {
      outcomes.push_back({results[i], buffers[i]});
      ones += results[i];
    }
    EXPECT_EQ(valued, ones);
    return outcomes;
  }

  ExprContext* ec_ = nullptr;
};

TEST_F(Row, EveryItemIsAskedOnceAndEveryResultIsTheOneByOneResult) {
  HEXP named = Parse("a * c + b", "F");
  std::vector<HEXP> exps = {
      Parse("a + b * a - b / a"),             // prepared arithmetic
      Parse("StrLeft(s, 6) || s || s"),       // a text: the walk
      Parse("DateAddDay(d, a) - d"),          // dates: a call, and the walk for the difference
      Parse("n + a * n"),                     // NULL counts as zero, and is kept as NULL
      Parse("none + a"),                      // no value, kept as none
      Parse("F() * 2 + c + F()"),             // a named formula, walked, using a, b, c again
      Parse("NumberRound(a / 3, 2) + b + c"),
      named,
      Parse("odd"),                           // passed on as the bytes it came as
      Parse("odd"),
      Parse("odd + a"),
  };
  std::vector<Outcome> expected = OneByOne(exps);
  EXPECT_EQ(expected[4].result, 0);
  g_asked.clear();
  EXPECT_EQ(InOneCall(exps), expected);
  for (const char* name : {"a", "b", "c", "n", "s", "d", "none", "odd"}) EXPECT_EQ(g_asked[name], 1) << name;

  // Text formulas answer a size query as they would alone.
  EXPECT_EQ(InOneCall(exps, 0), OneByOne(exps, 0));
  // And a second call asks again: answers last one call.
  g_asked.clear();
  InOneCall(exps);
  EXPECT_EQ(g_asked["a"], 1);
}

TEST_F(Row, MissingArgumentsGiveNoValues) {
  HEXP exp = Parse("a + b");
  NumberValue value{};
  void* buffers[2] = {&value, nullptr};
  HEXP exps[2] = {exp, exp};
  int32_t results[2] = {-1, -1};
  EXPECT_EQ(XEVEvaluateExpressions(nullptr, 2, exps, nullptr, buffers, results), 0);
  EXPECT_EQ(results[0] + results[1], 0);
  results[0] = -1;
  EXPECT_EQ(XEVEvaluateExpressions(ec_, 2, nullptr, nullptr, buffers, results), 0);
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(XEVEvaluateExpressions(ec_, 2, exps, nullptr, nullptr, results), 0);
  EXPECT_EQ(XEVEvaluateExpressions(ec_, 2, exps, nullptr, buffers, nullptr), 0);
  EXPECT_EQ(XEVEvaluateExpressions(ec_, 0, exps, nullptr, buffers, results), 0);
  EXPECT_EQ(XEVEvaluateExpressions(ec_, -1, exps, nullptr, buffers, results), 0);
  EXPECT_TRUE(g_asked.empty());

  // A missing formula or buffer fails its own entry only.
  HEXP withHole[3] = {exp, nullptr, exp};
  void* threeBuffers[3] = {&value, &value, nullptr};
  int32_t three[3] = {-1, -1, -1};
  EXPECT_EQ(XEVEvaluateExpressions(ec_, 3, withHole, nullptr, threeBuffers, three), 1);
  EXPECT_EQ(three[0], 1);
  EXPECT_EQ(three[1], 0);
  EXPECT_EQ(three[2], 0);
  EXPECT_EQ(NumberToInt(&value), 5);
}

TEST_F(Row, ACallbackThatChangesTheContextMakesTheRestAskAgain) {
  std::vector<HEXP> exps = {Parse("a + b"), Parse("a + b + c"), Parse("c * 2")};
  // Adding an item while b is asked: a and c are asked again by the formulas after it.
  g_onAsked["b"] = [](ExprContext* ec) { AddItem(ec, "z", XEV_TYPE_NUMBER, &NumberAnswer); };
  std::vector<Outcome> outcomes = InOneCall(exps);
  EXPECT_EQ(g_asked["a"], 2);
  EXPECT_EQ(g_asked["b"], 2);
  EXPECT_EQ(g_asked["c"], 1);
  g_asked.clear();
  EXPECT_EQ(outcomes, OneByOne(exps));

  // c deleted while a is asked the first time: the formulas using c have no value.
  g_onAsked["a"] = [](ExprContext* ec) { XEVDelExpItemNoCheck(ec, XEV_ITEM_DATA, "c"); };
  outcomes = InOneCall(exps);
  EXPECT_EQ(outcomes[0].result, 1);
  EXPECT_EQ(outcomes[1].result, 0);
  EXPECT_EQ(outcomes[2].result, 0);

  // b bound anew to a callback that answers NULL: later formulas take the NULL.
  g_asked.clear();
  g_onAsked["a"] = [](ExprContext* ec) {
    XEVDelExpItemNoCheck(ec, XEV_ITEM_DATA, "b");
    AddItem(ec, "b", XEV_TYPE_NUMBER, &NullAnswer);
  };
  std::vector<HEXP> again = {Parse("a + b"), Parse("b * 1"), Parse("b + a")};
  outcomes = InOneCall(again);
  EXPECT_EQ(g_asked["b"], 1);
  EXPECT_EQ(g_asked["a"], 2);  // its answer came while the context changed: not kept
  EXPECT_EQ(outcomes, OneByOne(again));
}

TEST_F(Row, AnEvaluationInsideACallbackKeepsToItsOwnAnswers) {
  HEXP inner = Parse("b * 2 + b");
  NumberValue innerValue{};
  g_onAsked["a"] = [&](ExprContext* ec) { XEVEvaluateExpression(ec, inner, 0, &innerValue); };
  std::vector<HEXP> exps = {Parse("a + b"), Parse("b + b")};
  std::vector<Outcome> outcomes = InOneCall(exps);
  EXPECT_EQ(NumberToInt(&innerValue), 9);
  EXPECT_EQ(g_asked["b"], 3);  // twice inside, once by the call itself

  g_asked.clear();
  g_onAsked["a"] = [&](ExprContext* ec) {
    HEXP both[2] = {inner, inner};
    NumberValue values[2] = {};
    void* buffers[2] = {&values[0], &values[1]};
    int32_t results[2] = {};
    EXPECT_EQ(XEVEvaluateExpressions(ec, 2, both, nullptr, buffers, results), 2);
    EXPECT_EQ(NumberToInt(&values[1]), 12);
  };
  g_numbers["b"] = 4;
  EXPECT_NE(InOneCall(exps), outcomes);
  EXPECT_EQ(g_asked["b"], 2);  // once inside, once by the call itself
  EXPECT_EQ(InOneCall(exps), OneByOne(exps));
}

TEST_F(Row, ManyItemsLongChainsAndOperatorCallbacks) {
  std::string sum;
  for (int i = 0; i < 40; ++i) {
    std::string name = "i" + std::to_string(i);
    g_numbers[name] = i;
    AddItem(ec_, name.c_str(), XEV_TYPE_NUMBER, &NumberAnswer);
    sum += (i == 0 ? "" : " + ") + name;
  }
  std::string chain = "a";
  for (int i = 1; i < 5000; ++i) chain += " + a";
  std::vector<HEXP> exps = {Parse(sum), Parse(chain), Parse("(" + sum + ") * a")};
  std::vector<Outcome> expected = OneByOne(exps);
  g_asked.clear();
  EXPECT_EQ(InOneCall(exps), expected);
  EXPECT_EQ(g_asked["a"], 1);
  EXPECT_EQ(g_asked["i39"], 1);

  // With the host doing '+', the answers are the same and still asked once.
  ASSERT_EQ(XEVSetOperatorCallback(ec_, 0, XEV_TYPE_NUMBER, "subtract"), 1);
  expected = OneByOne(exps);
  g_asked.clear();
  EXPECT_EQ(InOneCall(exps), expected);
  EXPECT_EQ(g_asked["i0"], 1);
  EXPECT_EQ(g_asked["a"], 1);
}

// Every allocation of the call failing in turn: nothing leaks, and whatever
// still has a value has the value it has with memory to spare.
TEST_F(Row, MemoryShortAnywhereLeaksNothingAndChangesNoValue) {
  std::vector<HEXP> exps = {Parse("StrLeft(s, 4) || s"), Parse("a + b * c")};
  for (int i = 0; i < 20; ++i) {
    std::string name = "t" + std::to_string(i);
    AddItem(ec_, name.c_str(), XEV_TYPE_STRING, &TextAnswer);
    exps.push_back(Parse(name + " || " + name + " || s"));
  }
  const int64_t before = HostAllocationCount();
  std::vector<Outcome> expected = InOneCall(exps);
  const int64_t allocations = HostAllocationCount() - before;
  for (const Outcome& outcome : expected) ASSERT_EQ(outcome.result, 1);
  const int64_t live = HostLiveBlockCount();
  for (int64_t failing = 1; failing <= allocations; ++failing) {
    HostFailAllocationAfter(failing);
    std::vector<Outcome> outcomes = InOneCall(exps);
    HostFailAllocationAfter(0);
    EXPECT_EQ(HostLiveBlockCount(), live) << "allocation " << failing;
    for (size_t i = 0; i < exps.size(); ++i) {
      if (outcomes[i].result == 1) {
        EXPECT_EQ(outcomes[i], expected[i]) << "allocation " << failing << ", formula " << i;
      }
    }
  }
}

}  // namespace
