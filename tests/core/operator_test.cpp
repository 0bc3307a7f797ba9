// Which operators each operand type admits, and how installing an operator
// callback fills the table those answers come from.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "core/core.h"
#include "oom/sweep.h"

namespace {

using xev::core::OperatorAdmitted;

// The admitted operators of a type, '|' standing for '||'.
std::string Admitted(ExprContext* ec, int32_t type) {
  std::string result;
  for (char op : {'+', '-', '*', '/', '%', '|'}) {
    if (OperatorAdmitted(ec, op, type)) result += op;
  }
  return result;
}

int g_resolves = 0;
intptr_t XEV_CALL Resolve(const char*) { return 0x500 + ++g_resolves; }

class OperatorTest : public oom::NoLeakTest {
 protected:
  void SetUp() override { g_resolves = 0, NoLeakTest::SetUp(); }
};

TEST_F(OperatorTest, AdmissionByTypeFlagsAndCallbacks) {
  struct Case {
    uint16_t flags;
    const char* number;
    const char* date;
    const char* string;
  };
  const Case cases[] = {
      {0, "+-*/", "+-", "|"},
      {ECF_MODULO | ECF_STRING_PLUS, "+-*/%", "+-", "+|"},
      {ECF_NO_DATE_ARITH | ECF_NO_STRING_CONCAT, "+-*/", "", ""},
  };
  for (const Case& c : cases) {
    ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, c.flags);
    EXPECT_EQ(Admitted(ec, 0), c.number) << c.flags;
    EXPECT_EQ(Admitted(ec, 1), c.date) << c.flags;
    EXPECT_EQ(Admitted(ec, 2), c.string) << c.flags;
    EXPECT_EQ(Admitted(ec, 3), "") << c.flags;
    for (int32_t other : {4, 300, -1}) EXPECT_EQ(Admitted(ec, other), "") << "no table slots for " << other;
    XEVDestroyEC(ec);
  }

  ExprContext* ec = XEVCreateEC(0, Resolve, nullptr, 0);
  // Codes: 0 '+', 1 '-', 2 '/', 3 '*', 4 '||'.
  for (auto [code, slot, name] : {std::tuple{2, 2, "StrDiv"}, {0, 2, "StrAdd"}, {3, 3, "KeyMul"}, {4, 0, "NumCat"},
                                  {3, 1, "DateMul"}})
    XEVSetOperatorCallback(ec, code, slot, name);
  EXPECT_EQ(Admitted(ec, 2), "+/|");
  EXPECT_EQ(Admitted(ec, 3), "*");
  EXPECT_EQ(Admitted(ec, 0), "+-*/|");
  EXPECT_EQ(Admitted(ec, 1), "+-") << "date rules ignore callbacks";
  // A character that is no operator is not the table's business.
  EXPECT_EQ(OperatorAdmitted(ec, '<', 2) + OperatorAdmitted(ec, '<', 3), 2);
  EXPECT_EQ(OperatorAdmitted(nullptr, '+', 0), 0);
  XEVDestroyEC(ec);
}

TEST_F(OperatorTest, CodesMapOntoTheTableAndOddArgumentsAreHandled) {
  ExprContext* ec = XEVCreateEC(0, Resolve, nullptr, 0);
  const char* names[] = {"Plus", "Minus", "Divide", "Times", "Concat"};
  const int32_t index[] = {kOpPlus, kOpMinus, kOpDivide, kOpTimes, kOpConcat};
  for (int32_t code = 0; code < 5; ++code) {
    ASSERT_EQ(XEVSetOperatorCallback(ec, code, 1, names[code]), 1);
    EXPECT_STREQ(ec->operators[index[code]].names[1], names[code]);
    EXPECT_EQ(ec->operators[index[code]].bound[1], 0x501 + code);
  }
  ASSERT_EQ(XEVSetOperatorCallback(ec, 0, 1, "Again"), 1);
  EXPECT_STREQ(ec->operators[kOpPlus].names[1], "Again");
  ASSERT_EQ(XEVSetOperatorCallback(ec, 0, 1, nullptr), 1);
  EXPECT_EQ(ec->operators[kOpPlus].names[1], nullptr) << "a null name clears the slot";
  EXPECT_EQ(XEVSetOperatorCallback(ec, 5, 0, "Nowhere"), 1) << "unknown operators are ignored";
  EXPECT_EQ(XEVSetOperatorCallback(ec, 0, 4, "BadSlot") + XEVSetOperatorCallback(nullptr, 0, 0, "x"), 0);
  XEVDestroyEC(ec);

  ec = XEVCreateEC(0, nullptr, nullptr, 0);
  XEVSetOperatorCallback(ec, 0, 0, "Unresolved");
  EXPECT_EQ(ec->operators[kOpPlus].bound[0], 0) << "no resolve callback, no bound value";
  XEVDestroyEC(ec);
}

TEST_F(OperatorTest, NameCopyFailureDestroysTheWholeContext) {
  ExprContext* ec = XEVCreateEC(0, Resolve, nullptr, 0);
  ExpItem item{};
  item.kind = XEV_ITEM_DATA, item.bindingName = "Get";
  ASSERT_EQ(XEVAddExpressionItem(ec, &item), 1);
  ASSERT_EQ(XEVSetOperatorCallback(ec, 1, 0, "Kept"), 1);
  HostFailAllocationAfter(1);
  EXPECT_EQ(XEVSetOperatorCallback(ec, 0, 0, "Lost"), 0);
  // The handle is gone; the fixture sees every block of the context released.
}

}  // namespace
