// Which operators each operand type admits, and how installing an operator
// callback fills the table those answers come from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/core.h"

namespace {

using xev::core::OperatorAdmitted;

constexpr char kOps[] = {'+', '-', '*', '/', '%', '|'};

std::string Admitted(ExprContext* ec, int32_t type) {
  std::string result;
  for (char op : kOps) {
    if (OperatorAdmitted(ec, op, type)) result += op;
  }
  return result;
}

std::vector<std::string> g_resolved;
intptr_t XEV_CALL Resolve(const char* name) {
  g_resolved.emplace_back(name);
  return 0x500 + static_cast<intptr_t>(g_resolved.size());
}

class OperatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_resolved.clear();
    live_ = HostLiveBlockCount();
  }
  void TearDown() override {
    HostFailAllocationAfter(0);
    EXPECT_EQ(HostLiveBlockCount(), live_);
  }
  int64_t live_ = 0;
};

TEST_F(OperatorTest, PlainContextAdmitsNativeArithmeticOnly) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  EXPECT_EQ(Admitted(ec, XEV_TYPE_NUMBER), "+-*/");
  EXPECT_EQ(Admitted(ec, XEV_TYPE_DATETIME), "+-");
  EXPECT_EQ(Admitted(ec, XEV_TYPE_STRING), "|");
  EXPECT_EQ(Admitted(ec, XEV_TYPE_KEYWORD), "");
  EXPECT_EQ(Admitted(ec, 4), "");
  EXPECT_EQ(Admitted(ec, 300), "") << "keyword type codes have no table slots";
  EXPECT_EQ(Admitted(ec, -1), "");
  // Characters that are no operator are not the table's business.
  EXPECT_EQ(OperatorAdmitted(ec, '<', XEV_TYPE_STRING), 1);
  EXPECT_EQ(OperatorAdmitted(ec, '<', XEV_TYPE_KEYWORD), 1);
  EXPECT_EQ(OperatorAdmitted(ec, '<', XEV_TYPE_DATETIME), 0);
  EXPECT_EQ(OperatorAdmitted(nullptr, '+', XEV_TYPE_NUMBER), 0);
  XEVDestroyEC(ec);
}

TEST_F(OperatorTest, FlagsWidenOrNarrowWhatIsAdmitted) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, ECF_MODULO | ECF_STRING_PLUS);
  EXPECT_EQ(Admitted(ec, XEV_TYPE_NUMBER), "+-*/%");
  EXPECT_EQ(Admitted(ec, XEV_TYPE_STRING), "+|");
  XEVDestroyEC(ec);

  ec = XEVCreateEC(0, nullptr, nullptr, ECF_NO_DATE_ARITH | ECF_NO_STRING_CONCAT);
  EXPECT_EQ(Admitted(ec, XEV_TYPE_DATETIME), "");
  EXPECT_EQ(Admitted(ec, XEV_TYPE_STRING), "");
  EXPECT_EQ(Admitted(ec, XEV_TYPE_NUMBER), "+-*/") << "modulo needs its own flag";
  XEVDestroyEC(ec);
}

TEST_F(OperatorTest, CallbacksAdmitTheirOperatorForTheirTypeOnly) {
  ExprContext* ec = XEVCreateEC(0, Resolve, nullptr, 0);
  // Codes: 0 '+', 1 '-', 2 '/', 3 '*', 4 '||'.
  ASSERT_EQ(XEVSetOperatorCallback(ec, 2, XEV_TYPE_STRING, "StrDiv"), 1);
  ASSERT_EQ(XEVSetOperatorCallback(ec, 3, XEV_TYPE_KEYWORD, "KeyMul"), 1);
  ASSERT_EQ(XEVSetOperatorCallback(ec, 4, XEV_TYPE_NUMBER, "NumCat"), 1);
  ASSERT_EQ(XEVSetOperatorCallback(ec, 0, XEV_TYPE_STRING, "StrAdd"), 1);
  EXPECT_EQ(Admitted(ec, XEV_TYPE_STRING), "+/|");
  EXPECT_EQ(Admitted(ec, XEV_TYPE_KEYWORD), "*");
  EXPECT_EQ(Admitted(ec, XEV_TYPE_NUMBER), "+-*/|");
  EXPECT_EQ(Admitted(ec, XEV_TYPE_DATETIME), "+-") << "date rules ignore callbacks";
  XEVDestroyEC(ec);
}

TEST_F(OperatorTest, OperatorCodesMapOntoTheTableInItsOwnOrder) {
  ExprContext* ec = XEVCreateEC(0, Resolve, nullptr, 0);
  const char* names[] = {"Plus", "Minus", "Divide", "Times", "Concat"};
  for (int32_t code = 0; code < 5; ++code) ASSERT_EQ(XEVSetOperatorCallback(ec, code, 1, names[code]), 1);
  const int32_t expectedIndex[] = {kOpPlus, kOpMinus, kOpDivide, kOpTimes, kOpConcat};
  for (int32_t code = 0; code < 5; ++code) {
    const OperatorEntry& entry = ec->operators[expectedIndex[code]];
    EXPECT_STREQ(entry.names[1], names[code]);
    EXPECT_EQ(entry.bound[1], 0x501 + code);
    EXPECT_EQ(entry.names[0], nullptr);
  }
  XEVDestroyEC(ec);
}

TEST_F(OperatorTest, SettingASlotAgainReplacesItAndOddArgumentsAreHandled) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  ASSERT_EQ(XEVSetOperatorCallback(ec, 0, 0, "First"), 1);
  EXPECT_EQ(ec->operators[kOpPlus].bound[0], 0) << "no resolve callback, no bound value";
  ASSERT_EQ(XEVSetOperatorCallback(ec, 0, 0, "Second"), 1);
  EXPECT_STREQ(ec->operators[kOpPlus].names[0], "Second");
  ASSERT_EQ(XEVSetOperatorCallback(ec, 0, 0, nullptr), 1);
  EXPECT_EQ(ec->operators[kOpPlus].names[0], nullptr);

  EXPECT_EQ(XEVSetOperatorCallback(ec, 5, 0, "Nowhere"), 1) << "unknown operators are ignored";
  EXPECT_EQ(XEVSetOperatorCallback(ec, -1, 0, "Nowhere"), 1);
  EXPECT_EQ(XEVSetOperatorCallback(ec, 0, 4, "BadSlot"), 0);
  EXPECT_EQ(XEVSetOperatorCallback(ec, 0, -1, "BadSlot"), 0);
  EXPECT_EQ(XEVSetOperatorCallback(nullptr, 0, 0, "x"), 0);
  XEVDestroyEC(ec);
}

TEST_F(OperatorTest, NameCopyFailureDestroysTheWholeContext) {
  ExprContext* ec = XEVCreateEC(0, Resolve, nullptr, 0);
  ExpItem item{};
  item.kind = XEV_ITEM_DATA;
  item.bindingName = "Get";
  ASSERT_EQ(XEVAddExpressionItem(ec, &item), 1);
  ASSERT_EQ(XEVSetOperatorCallback(ec, 1, 0, "Kept"), 1);
  XEVSetDateConvert(ec, "x%s", nullptr, nullptr, 0);

  HostFailAllocationAfter(1);
  EXPECT_EQ(XEVSetOperatorCallback(ec, 0, 0, "Lost"), 0);
  HostFailAllocationAfter(0);
  // The handle is gone; the fixture sees every block of the context released.
}

}  // namespace
