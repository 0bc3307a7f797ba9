// A formula's prepared form must never outlive what it resolved: every change
// of items, formulas or callbacks between two evaluations, and even during
// one, must give the value a fresh walk of the tree gives.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "eval/evaluator.h"
#include "language/language.h"
#include "tests/support/items.h"

namespace {

std::map<std::string, int32_t> g_values;       // what each data item answers
std::function<void(ExprContext*)> g_onAsked;  // runs inside the next item callback
std::string g_asked;                           // names asked, in order

int32_t XEV_CALL Answer(ExprContext* ec, HEXP, int32_t, void** result, const char* name) {
  g_asked += name;
  if (g_onAsked) {
    auto once = std::move(g_onAsked);
    g_onAsked = nullptr;
    once(ec);
  }
  auto it = g_values.find(name);
  if (it == g_values.end()) return 0;
  IntToNumber(static_cast<NumberValue*>(*result), it->second);
  return 1;
}

int32_t XEV_CALL Tenfold(ExprContext* ec, HEXP exp, int32_t size, void** result, const char* name) {
  int32_t answered = Answer(ec, exp, size, result, name);
  auto* value = static_cast<NumberValue*>(*result);
  NumberValue ten{};
  IntToNumber(&ten, 10);
  NumberMul(value, value, &ten);
  return answered;
}

void XEV_CALL Subtract(ExprContext*, HEXP, int32_t, int32_t, void* a, int32_t, void* b, int32_t, void* result) {
  NumberSub(static_cast<NumberValue*>(result), static_cast<NumberValue*>(a), static_cast<NumberValue*>(b));
}

int32_t AddNumberItem(ExprContext* ec, const char* name, XEVDataItemCallback callback) {
  return testhost::AddItem(ec, XEV_ITEM_DATA, name, {.type = XEV_TYPE_NUMBER, .bound = testhost::Bound(callback)});
}

intptr_t XEV_CALL Resolve(const char* name) {
  return std::strcmp(name, "subtract") == 0 ? reinterpret_cast<intptr_t>(&Subtract) : 0;
}

class Plan : public ::testing::Test {
 protected:
  void SetUp() override {
    g_values = {{"a", 2}, {"b", 3}, {"c", 5}};
    g_onAsked = nullptr;
    ec_ = XEVCreateEC(0, Resolve, nullptr, 0);
    ASSERT_EQ(FUNDefineFunctions(ec_), 1);
    for (const char* name : {"a", "b", "c"}) AddItem(ec_, name, &Answer);
  }
  void TearDown() override { XEVDestroyEC(ec_); }

  static void AddItem(ExprContext* ec, const char* name, XEVDataItemCallback callback) {
    ASSERT_EQ(AddNumberItem(ec, name, callback), 1);
  }
  HEXP Parse(const char* text, const char* name = nullptr, HEXP existing = nullptr) {
    uint16_t type = 0;
    ExprError error{};
    HEXP exp = XEVParseFormula(ec_, existing, text, name, &error, &type);
    EXPECT_NE(exp, nullptr) << text << ": error " << error.code;
    return exp;
  }
  // The value as an integer text, "none" when there is no value.
  std::string Value(HEXP exp, ExprContext* ec = nullptr) {
    NumberValue value{};
    if (XEVEvaluateExpression(ec != nullptr ? ec : ec_, exp, 0, &value) != 1) return "none";
    if (NumberIsNull(&value)) return "null";
    return std::to_string(NumberToInt(&value));
  }

  ExprContext* ec_ = nullptr;
};

TEST_F(Plan, ItemChangesBetweenRowsAreSeen) {
  HEXP f = Parse("a * 10 + b - NumberAbsolute(c - 20)");
  EXPECT_EQ(Value(f), "8");
  g_values["a"] = 7;
  EXPECT_EQ(Value(f), "58");

  // Deleted: no value. Added again with another callback: that one answers.
  EXPECT_EQ(XEVDelExpItemNoCheck(ec_, XEV_ITEM_DATA, "a"), 1);
  EXPECT_EQ(Value(f), "none");
  AddItem(ec_, "a", &Tenfold);
  EXPECT_EQ(Value(f), "688");

  // A renamed item is renamed in the formula too.
  EXPECT_EQ(XEVRenameExpressionItem(ec_, XEV_ITEM_DATA, "b", "bee"), 0);
  g_values["bee"] = 4;
  EXPECT_EQ(Value(f), "689");

  // The function goes: the call, and so the formula, has no value.
  EXPECT_EQ(XEVDelExpItemNoCheck(ec_, XEV_ITEM_FUNCTION, "NumberAbsolute"), 1);
  EXPECT_EQ(Value(f), "none");
  EXPECT_EQ(XEVDeleteAllECVars(ec_), 1);
  EXPECT_EQ(Value(f), "none");
}

TEST_F(Plan, ChangesMadeByACallbackDuringARowAreSeenByTheRestOfIt) {
  HEXP f = Parse("a + b * c");
  g_onAsked = [](ExprContext* ec) { XEVDelExpItemNoCheck(ec, XEV_ITEM_DATA, "c"); };
  EXPECT_EQ(Value(f), "none");  // c was deleted while a was being asked
  g_onAsked = [](ExprContext* ec) { AddItem(ec, "c", &Tenfold); };
  EXPECT_EQ(Value(f), "152");  // c is back, tenfold, by the time it is asked
}

// The items of a row are asked in runs; a change made inside the run, after
// its first item, must reach every item asked after it.
int32_t XEV_CALL AnswerAndRebindC(ExprContext* ec, HEXP exp, int32_t size, void** result, const char* name) {
  int32_t answered = Answer(ec, exp, size, result, name);
  XEVDelExpItemNoCheck(ec, XEV_ITEM_DATA, "c");
  AddNumberItem(ec, "c", &Tenfold);
  return answered;
}

TEST_F(Plan, AChangeMadeInTheMiddleOfARunOfItemsReachesTheItemsAfterIt) {
  AddItem(ec_, "d", &Answer);
  g_values["d"] = 7;
  HEXP f = Parse("a * 1000 + b * 100 + c * 10 + d");
  // c in a later run than b, after a call.
  HEXP g = Parse("a * 1000 + NumberAbsolute(b) * 100 + c * 10 + d");
  EXPECT_EQ(Value(f), "2357");
  EXPECT_EQ(XEVDelExpItemNoCheck(ec_, XEV_ITEM_DATA, "b"), 1);
  AddItem(ec_, "b", &AnswerAndRebindC);
  // Every row: b's callback binds c anew, so c answers tenfold on that very row.
  for (int row = 0; row < 2; ++row) {
    for (HEXP exp : {f, g}) {
      g_asked.clear();
      EXPECT_EQ(Value(exp), "2807");
      EXPECT_EQ(g_asked, "abcd");
    }
  }
}

// Random formulas over items whose values change from row to row (NULL,
// zero, 22 digits, the ends of the range, no answer at all), with calls and
// parts the plan leaves to the walk: the plan's value must be the walk's,
// byte for byte, on every row.
class PlanAgainstWalk : public ::testing::Test {
 protected:
  static constexpr int kItems = 4;
  static inline NumberValue t_values[kItems];
  static inline bool t_answers[kItems];

  template <int Item>
  static int32_t XEV_CALL Give(ExprContext*, HEXP, int32_t, void** result, const char*) {
    std::memcpy(*result, &t_values[Item], sizeof(NumberValue));
    return t_answers[Item] ? 1 : 0;
  }

  void SetUp() override { MakeContext(nullptr); }
  void MakeContext(XEVResolveCallback resolve) {
    if (ec_ != nullptr) XEVDestroyEC(ec_);
    ec_ = XEVCreateEC(0, resolve, nullptr, 0);
    ASSERT_EQ(FUNDefineFunctions(ec_), 1);
    XEVDataItemCallback callbacks[kItems] = {&Give<0>, &Give<1>, &Give<2>, &Give<3>};
    for (int i = 0; i < kItems; ++i) ASSERT_EQ(AddNumberItem(ec_, std::string(1, char('a' + i)).c_str(), callbacks[i]), 1);
  }
  void TearDown() override { XEVDestroyEC(ec_); }

  std::string Operand(int depth) {
    static const std::string kLiterals[] = {"0", "1", "100", "0.5", "1.19", "3", "7", "1" + std::string(60, '0'), "0." + std::string(60, '0') + "1",
                                      "9999999999999999999999", "0.0000000000000000000001"};
    switch (depth <= 0 ? random_() % 3 : random_() % 8) {
      case 0: return std::string(1, char('a' + random_() % kItems));
      case 1: return kLiterals[random_() % (sizeof kLiterals / sizeof kLiterals[0])];
      case 2: return "StrLength('abcd')";
      case 3: {
        // Places written as a number are rounded by the steps themselves;
        // "-2" is an expression, so the call stays a call.
        static const char* kPlaces[] = {"0", "1", "2", "3", "-2", "30", "2.7", "99999"};
        return "NumberRound(" + Expression(depth - 1) + ", " + kPlaces[random_() % 8] + ")";
      }
      case 4: return "NumberAbsolute(" + Expression(depth - 1) + ")";
      default: return "(" + Expression(depth - 1) + ")";
    }
  }
  std::string Expression(int depth) {
    static const char kOperators[] = "+-*/";
    std::string text = Operand(depth);
    for (int terms = 1 + random_() % 4; terms > 1; --terms) {
      text += ' ';
      text += kOperators[random_() % 4];
      text += ' ';
      text += Operand(depth);
    }
    return text;
  }

  void NextRow() {
    static const char* kValues[] = {"0", "1", "-1", "2.5", "19.99", "-0.07", "1234567.89", "3",
                                    "9999999999999999999999", "1E+99", "-1E+99", "1E-99", "0.1",
                                    "123456789012345678.9012"};
    for (int i = 0; i < kItems; ++i) {
      t_answers[i] = random_() % 16 != 0;
      if (random_() % 8 == 0) {
        NumberSetNull(&t_values[i]);
      } else {
        HostStrToNumber(&t_values[i], kValues[random_() % (sizeof kValues / sizeof kValues[0])]);
      }
    }
  }

  // "none", or the 13 bytes in hex.
  static std::string Bytes(bool ok, const NumberValue& value) {
    if (!ok) return "none";
    std::string hex;
    for (unsigned char byte : value.bytes) hex += "0123456789abcdef"[byte >> 4], hex += "0123456789abcdef"[byte & 15];
    return hex;
  }

  void Compare(HEXP f, const std::string& text) {
    NumberValue byPlan{};
    bool planOk = XEVEvaluateExpression(ec_, f, 0, &byPlan) == 1;
    valued_ += planOk;
    xev::eval::Value byWalk;
    bool walkOk = xev::eval::EvaluateNode(ec_, f, f->root, byWalk) && byWalk.kind == xev::eval::Value::kNumber;
    ASSERT_EQ(Bytes(planOk, byPlan), Bytes(walkOk, byWalk.number)) << text;
    xev::eval::ReleaseValue(byWalk);
  }

  ExprContext* ec_ = nullptr;
  std::mt19937 random_{23};
  int valued_ = 0;  // rows that had a value
};

TEST_F(PlanAgainstWalk, EveryRandomFormulaGivesTheWalksBytesOnEveryRow) {
  for (int formula = 0; formula < 1500; ++formula) {
    std::string text = Expression(2);
    uint16_t type = 0;
    ExprError error{};
    HEXP f = XEVParseFormula(ec_, nullptr, text.c_str(), nullptr, &error, &type);
    ASSERT_NE(f, nullptr) << text << ": error " << error.code;
    for (int row = 0; row < 12; ++row) {
      NextRow();
      ASSERT_NO_FATAL_FAILURE(Compare(f, text));
    }
    XEVDestroyEXP(ec_, f);
  }
  EXPECT_GT(valued_, 1500 * 12 / 3);
}

void XEV_CALL AddWithCallback(ExprContext*, HEXP, int32_t, int32_t, void* a, int32_t, void* b, int32_t, void* result) {
  NumberAdd(static_cast<NumberValue*>(result), static_cast<NumberValue*>(a), static_cast<NumberValue*>(b));
}

intptr_t XEV_CALL ResolveAdd(const char* name) {
  return std::strcmp(name, "add") == 0 ? reinterpret_cast<intptr_t>(&AddWithCallback) : 0;
}

// With an operator callback bound, and after it is gone again, the plan
// still agrees with the walk (the callback sees NULLs, no zero stands in):
// bound to '+', then to '*', which products by a written power of ten must
// reach as well.
TEST_F(PlanAgainstWalk, AgreesWithAnOperatorCallbackBoundAndAfterwards) {
  MakeContext(ResolveAdd);
  std::vector<std::pair<HEXP, std::string>> formulas;
  for (int i = 0; i < 200; ++i) {
    std::string text = Expression(1);
    uint16_t type = 0;
    formulas.emplace_back(XEVParseFormula(ec_, nullptr, text.c_str(), nullptr, nullptr, &type), text);
    ASSERT_NE(formulas.back().first, nullptr) << text;
  }
  for (int phase = 0; phase < 5; ++phase) {
    const char* callback = phase % 2 == 1 ? "add" : nullptr;
    if (phase > 0) {
      ASSERT_EQ(XEVSetOperatorCallback(ec_, phase < 3 ? 0 : 2, XEV_TYPE_NUMBER, callback), 1);
    }
    for (auto& [f, text] : formulas) {
      NextRow();
      ASSERT_NO_FATAL_FAILURE(Compare(f, text));
    }
  }
}

}  // namespace
