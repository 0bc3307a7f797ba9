// Expressions of a context: buffers, lookups, ordinals, classification,
// destruction with its refusal, clones, and the use queries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/expressions.h"
#include "language/parse_fixture.h"

namespace {

using namespace parse_test;

class Expressions : public ::testing::Test {
 protected:
  void SetUp() override { AddSalesItems(c); }
  HEXP Add(const char* text, const char* name = nullptr) {
    uint16_t type = 0;
    HEXP exp = XEVParseFormula(c.ec, nullptr, text, name, nullptr, &type);
    EXPECT_NE(exp, nullptr) << text;
    return exp;
  }
  ParseContext c;
};

TEST_F(Expressions, BufferRuleCutsAndReportsTheBufferSize) {
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  HEXP exp = Add("Amount+Qty", "Short");
  EXPECT_EQ(XEVGetExpressionText(c.ec, exp, 20, buffer), 10);
  EXPECT_STREQ(buffer, "Amount+Qty");
  EXPECT_EQ(XEVGetExpressionText(c.ec, exp, 10, buffer), 10);
  EXPECT_STREQ(buffer, "Amount+Qt");
  EXPECT_EQ(XEVGetExpressionText(c.ec, exp, 11, buffer), 10);
  EXPECT_STREQ(buffer, "Amount+Qty");
  EXPECT_EQ(XEVGetExpressionText(c.ec, exp, 1, buffer), 1);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(XEVGetExpressionName(c.ec, exp, 3, buffer), 3);
  EXPECT_STREQ(buffer, "Sh");
  EXPECT_EQ(XEVGetExpressionName(c.ec, nullptr, 3, buffer), -1);
}

TEST_F(Expressions, LookupsAndOrdinalsFollowTheList) {
  HEXP a = Add("Amount", "A");
  HEXP b = Add("Qty * 2", "B");
  HEXP d = Add("Name", "D");
  EXPECT_EQ(XEVGetExpressionCount(c.ec), 3);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "B"), b);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "b"), nullptr);
  EXPECT_EQ(XEVHEXPFromText(c.ec, "Qty * 2"), b);
  EXPECT_EQ(XEVHEXPFromOrdinal(c.ec, 2), d);
  EXPECT_EQ(XEVHEXPFromOrdinal(c.ec, 3), nullptr);
  EXPECT_EQ(XEVHEXPFromOrdinal(c.ec, -1), nullptr);
  EXPECT_EQ(XEVDestroyEXP(c.ec, a), 1);
  EXPECT_EQ(XEVGetExpressionOrdinal(c.ec, b), 0);
  EXPECT_EQ(XEVGetExpressionOrdinal(c.ec, d), 1);
  ParseContext other;
  EXPECT_EQ(XEVGetExpressionOrdinal(other.ec, b), -1);
  EXPECT_EQ(XEVDestroyEXP(other.ec, b), 0);  // not an expression of that context
  EXPECT_EQ(XEVDestroyEXP(c.ec, b), 1);
  EXPECT_EQ(XEVDestroyEXP(c.ec, d), 1);
  EXPECT_EQ(c.ec->expressions, nullptr);  // the last one takes the list with it
  EXPECT_EQ(XEVGetExpressionCount(c.ec), 0);
  EXPECT_EQ(XEVDestroyEXP(c.ec, nullptr), 1);
}

TEST_F(Expressions, ClassificationByRoot) {
  HEXP constant = Add("'text'");
  HEXP input = Add("Amount");
  HEXP other = Add("Price");
  HEXP sum = Add("Amount + 1");
  HEXP set = Add("1, 2");
  HEXP range = Add("1 AND 2");
  EXPECT_EQ(XEVIsExpressionSimple(c.ec, constant), 1);
  EXPECT_EQ(XEVIsExpressionSimple(c.ec, input), 0);
  EXPECT_EQ(XEVIsExpressionSimpleInput(c.ec, input), 1);
  EXPECT_EQ(XEVIsExpressionSimpleInput(c.ec, sum), 0);
  EXPECT_EQ(XEVGetSimpleInputSubClass(c.ec, input), 7);
  EXPECT_EQ(XEVGetSimpleInputSubClass(c.ec, other), 0);
  EXPECT_EQ(XEVGetSimpleInputSubClass(c.ec, constant), -1);
  EXPECT_EQ(XEVIsExpRange(c.ec, range, 1), 0);
  EXPECT_EQ(XEVIsExpRange(c.ec, range, 2), 1);
  EXPECT_EQ(XEVIsExpRange(c.ec, set, 1), 1);
}

TEST_F(Expressions, GeneratedAndUniqueNames) {
  HEXP f = Add("1", "Formula");
  HEXP f12 = Add("1", "Formula12");
  HEXP f1a = Add("1", "Formula1a");
  HEXP r3 = Add("1", "Range3");
  EXPECT_EQ(XEVIsExpNameGenerated(c.ec, f), 1);
  EXPECT_EQ(XEVIsExpNameGenerated(c.ec, f12), 1);
  EXPECT_EQ(XEVIsExpNameGenerated(c.ec, f1a), 0);
  EXPECT_EQ(XEVIsExpNameGenerated(c.ec, r3), 0);
  ASSERT_GT(FUNDefineFunctions(c.ec), 0);
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, nullptr, "StrLeft"), 0);  // a built-in function's name
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, nullptr, "Amount"), 1);   // data items do not count
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, nullptr, "Range3"), 0);
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, r3, "Range3"), 1);
  EXPECT_STREQ(xev::core::GenerateExpressionName(c.ec, xev::core::kGenerateRange), "Range1");
  c.ec->nextRangeNumber = 3;
  EXPECT_STREQ(xev::core::GenerateExpressionName(c.ec, xev::core::kGenerateRange), "Range4");
  EXPECT_EQ(c.ec->nextRangeNumber, 4);
}

std::vector<int32_t> g_notified;
void XEV_CALL RecordNotify(ExprContext*, int32_t code) { g_notified.push_back(code); }

TEST_F(Expressions, DestroyIsRefusedWhileAnotherFormulaRefersToIt) {
  g_notified.clear();
  XEVSetNotifyCallback(c.ec, RecordNotify);
  HEXP total = Add("Amount * 2", "Total");
  HEXP user = Add("Total() + 1", "User");
  HEXP inSet = Add("Total(), 3", "InSet");
  EXPECT_EQ(XEVDestroyEXP(c.ec, total), 0);
  EXPECT_EQ(XEVDestroyEXP(c.ec, user), 1);
  EXPECT_EQ(XEVDestroyEXP(c.ec, total), 0);  // the set still names it
  EXPECT_EQ(XEVDestroyEXP(c.ec, inSet), 1);
  EXPECT_EQ(XEVDestroyEXP(c.ec, total), 1);
  EXPECT_EQ(g_notified, (std::vector<int32_t>{1, 1, 1}));
}

TEST_F(Expressions, ClonesAreIndependent) {
  HEXP total = Add("Amount * 2", "Total");
  uint16_t type = 9;
  HEXP copy = XEVCloneExpression(c.ec, total, "Twice", &type);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->root, total->root);
  EXPECT_EQ(type, XEV_TYPE_NUMBER);
  char name[32];
  XEVGetExpressionName(c.ec, copy, sizeof name, name);
  EXPECT_STREQ(name, "Twice");
  copy = XEVCloneExpression(c.ec, total, "Total", &type);  // taken: a generated name instead
  XEVGetExpressionName(c.ec, copy, sizeof name, name);
  EXPECT_STREQ(name, "Formula1");
}

TEST_F(Expressions, SetElementsShareOneType) {
  // A list of a Number and a String element, as the parser would hand it over.
  HEXP number = Add("12");
  HEXP text = Add("Name");
  xev::core::HGLOBAL list = xev::core::HandleArrayCreate(xev::core::kSlotSize, 2);
  auto** slots = static_cast<xev::language::ExprNode**>(xev::core::HandleArrayLockElement(list, 0));
  slots[0] = number->root;
  slots[1] = text->root;
  xev::core::HandleArrayUnlock(list);
  ExprError error{};
  EXPECT_EQ(xev::core::CheckSetElements(c.ec, list, &error), -1);
  EXPECT_EQ(error.code, 134u);
  EXPECT_EQ(error.pos, 0u);
  EXPECT_EQ(error.len, 4u);
  ParseContext noSets(0);
  EXPECT_EQ(xev::core::CheckSetElements(noSets.ec, list, &error), -1);
  EXPECT_EQ(error.code, 109u);
  xev::core::HandleArrayFree(list);
}

TEST_F(Expressions, UseFollowsFormulaReferencesSetsAndCalls) {
  c.Function("Left", XEV_TYPE_STRING, {{XEV_TYPE_STRING}, {XEV_TYPE_NUMBER}});
  HEXP a = Add("Amount * 2", "A");
  HEXP b = Add("A() + 1", "B");
  HEXP set = Add("Qty, 2", "S");
  HEXP call = Add("Left(Name, 2)", "L");
  HEXP keyword = Add("PageNo, PageNo", "K");
  EXPECT_EQ(XEVIsItemUsed(c.ec, b, XEV_ITEM_DATA, "Amount"), 1);
  EXPECT_EQ(XEVIsItemUsed(c.ec, a, XEV_ITEM_FORMULA, "A"), 0);
  EXPECT_EQ(XEVIsItemUsed(c.ec, b, XEV_ITEM_FORMULA, "A"), 1);
  EXPECT_EQ(XEVIsItemUsed(c.ec, set, XEV_ITEM_DATA, "Qty"), 1);
  EXPECT_EQ(XEVIsItemUsed(c.ec, call, XEV_ITEM_FUNCTION, "Left"), 1);
  EXPECT_EQ(XEVIsItemUsed(c.ec, call, XEV_ITEM_DATA, "Name"), 1);
  EXPECT_EQ(XEVIsItemUsed(c.ec, call, XEV_ITEM_DATA, "Left"), 0);
  EXPECT_EQ(XEVIsItemUsed(c.ec, keyword, XEV_ITEM_KEYWORD, "PageNo"), 0);
  EXPECT_EQ(XEVIsItemUsed(c.ec, nullptr, XEV_ITEM_DATA, "Amount"), 0);
  EXPECT_EQ(XEVIsNamedFormulaUsed(c.ec, "A"), 1);
  EXPECT_EQ(XEVIsNamedFormulaUsed(c.ec, "B"), 0);
  // A reference whose formula is gone contributes nothing.
  EXPECT_EQ(XEVDestroyEXP(c.ec, b), 1);
  EXPECT_EQ(XEVIsNamedFormulaUsed(c.ec, "A"), 0);
}

}  // namespace
