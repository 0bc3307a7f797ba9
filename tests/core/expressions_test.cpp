// Expressions of a context: buffers, lookups, ordinals, classification,
// destruction with its refusal, clones and set element types.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/expressions.h"
#include "core/formula_test_support.h"

namespace {

using parse_test::ParseContext;

class Expressions : public core_test::FormulaTest {};

TEST_F(Expressions, BufferRuleCutsAndReportsTheBufferSize) {
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  HEXP exp = Add("Amount+Qty", "Short");
  auto text = [&](int32_t size) {
    int32_t result = XEVGetExpressionText(c.ec, exp, size, buffer);
    return std::tuple(result, std::string(buffer));
  };
  EXPECT_EQ(text(20), std::tuple(10, "Amount+Qty"));
  EXPECT_EQ(text(10), std::tuple(10, "Amount+Qt"));
  EXPECT_EQ(text(11), std::tuple(10, "Amount+Qty"));
  EXPECT_EQ(text(1), std::tuple(1, ""));
  EXPECT_EQ(XEVGetExpressionName(c.ec, exp, 3, buffer), 3);
  EXPECT_STREQ(buffer, "Sh");
}

TEST_F(Expressions, LookupsAndOrdinalsFollowTheList) {
  HEXP a = Add("Amount", "A");
  HEXP b = Add("Qty * 2", "B");
  HEXP d = Add("Name", "D");
  EXPECT_EQ(XEVGetExpressionCount(c.ec), 3);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "B"), b);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "b"), nullptr);
  EXPECT_EQ(XEVHEXPFromText(c.ec, "Qty * 2"), b);
  EXPECT_EQ(std::tuple(XEVHEXPFromOrdinal(c.ec, 2), XEVHEXPFromOrdinal(c.ec, 3), XEVHEXPFromOrdinal(c.ec, -1)),
            std::tuple(d, nullptr, nullptr));
  EXPECT_EQ(XEVDestroyEXP(c.ec, a), 1);
  EXPECT_EQ(std::tuple(XEVGetExpressionOrdinal(c.ec, b), XEVGetExpressionOrdinal(c.ec, d)), std::tuple(0, 1));
  EXPECT_EQ(XEVDestroyEXP(c.ec, b) + XEVDestroyEXP(c.ec, d), 2);
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
  EXPECT_EQ(std::tuple(XEVIsExpressionSimple(c.ec, constant), XEVIsExpressionSimple(c.ec, input)), std::tuple(1, 0));
  EXPECT_EQ(std::tuple(XEVIsExpressionSimpleInput(c.ec, input), XEVIsExpressionSimpleInput(c.ec, sum)),
            std::tuple(1, 0));
  EXPECT_EQ(std::tuple(XEVGetSimpleInputSubClass(c.ec, input), XEVGetSimpleInputSubClass(c.ec, other),
                       XEVGetSimpleInputSubClass(c.ec, constant)),
            std::tuple(7, 0, -1));
  EXPECT_EQ(std::tuple(XEVIsExpRange(c.ec, range, 1), XEVIsExpRange(c.ec, range, 2), XEVIsExpRange(c.ec, set, 1)),
            std::tuple(0, 1, 1));
}

TEST_F(Expressions, GeneratedAndUniqueNames) {
  HEXP f = Add("1", "Formula");
  HEXP f12 = Add("1", "Formula12");
  HEXP f1a = Add("1", "Formula1a");
  HEXP r3 = Add("1", "Range3");
  EXPECT_EQ(std::tuple(XEVIsExpNameGenerated(c.ec, f), XEVIsExpNameGenerated(c.ec, f12),
                       XEVIsExpNameGenerated(c.ec, f1a), XEVIsExpNameGenerated(c.ec, r3)),
            std::tuple(1, 1, 0, 0));
  ASSERT_GT(FUNDefineFunctions(c.ec), 0);
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, nullptr, "StrLeft"), 0);  // a built-in function's name
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, nullptr, "Amount"), 1);   // data items do not count
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, nullptr, "Range3"), 0);  // a generated-looking name is still taken
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, r3, "Range3"), 1);
  EXPECT_STREQ(xev::core::GenerateExpressionName(c.ec, xev::core::kGenerateRange), "Range1");
  c.ec->nextRangeNumber = 3;
  EXPECT_STREQ(xev::core::GenerateExpressionName(c.ec, xev::core::kGenerateRange), "Range4");
  EXPECT_EQ(c.ec->nextRangeNumber, 4);
}

// Generated names are made by counting up the last one in place and ask the
// function names only while some function's name ends in a digit: a function
// of the next name's shape, added or removed between parses, a switch of stem
// and a counter set from outside must all be seen.
TEST_F(Expressions, GeneratedNamesSeeFunctionsStemsAndTheCounter) {
  auto name = [&](HEXP exp) {
    char buffer[64] = {};
    XEVGetExpressionName(c.ec, exp, sizeof buffer, buffer);
    return std::string(buffer);
  };
  EXPECT_EQ(name(Add("1")), "Formula1");
  EXPECT_EQ(name(Add("2")), "Formula2");
  c.Function("Formula3", XEV_TYPE_NUMBER, {});
  EXPECT_EQ(name(Add("3")), "Formula4");
  ASSERT_EQ(XEVDelExpItemNoCheck(c.ec, XEV_ITEM_FUNCTION, "Formula3"), 1);
  c.ec->nextFormulaNumber = 2;
  EXPECT_EQ(name(Add("4")), "Formula3");
  EXPECT_EQ(name(Add("1 AND 2")), "Range1");
  EXPECT_EQ(name(Add("5")), "Formula5");
  // The counter keeps the last number used: that one is tried first.
  c.ec->nextFormulaNumber = 98;
  EXPECT_EQ(name(Add("6")), "Formula98");
  EXPECT_EQ(name(Add("7")), "Formula99");
  c.Function("Formula100", XEV_TYPE_NUMBER, {});
  EXPECT_EQ(name(Add("8")), "Formula101");
  c.ec->nextFormulaNumber = 65535;
  EXPECT_EQ(name(Add("9")), "Formula65535");
  EXPECT_EQ(name(Add("10")), "Formula0");
  EXPECT_EQ(name(Add("11")), "Formula6");
}

std::vector<int32_t> g_notified;
void XEV_CALL RecordNotify(ExprContext*, int32_t code) { g_notified.push_back(code); }

TEST_F(Expressions, DestroyIsRefusedWhileAnotherFormulaRefersToIt) {
  g_notified.clear();
  XEVSetNotifyCallback(c.ec, RecordNotify);
  HEXP total = Add("Amount * 2", "Total");
  HEXP user = Add("Total() + 1", "User");
  HEXP inSet = Add("Total(), 3", "InSet");
  // Refused while User and then the set still name it; in order, each goes.
  std::vector<int32_t> results;
  for (HEXP exp : {total, user, total, inSet, total}) results.push_back(XEVDestroyEXP(c.ec, exp));
  EXPECT_EQ(results, (std::vector<int32_t>{0, 1, 0, 1, 1}));
  EXPECT_EQ(g_notified, (std::vector<int32_t>{1, 1, 1}));
}

TEST_F(Expressions, ReplacingAFormulaUpdatesWhetherItRefersToOthers) {
  HEXP total = Add("Amount * 2", "Total");
  HEXP user = Add("Amount + 1", "User");
  uint16_t type = 0;
  ASSERT_EQ(XEVParseFormula(c.ec, user, "Total() + 1", "User", nullptr, &type), user);
  EXPECT_EQ(XEVDestroyEXP(c.ec, total), 0);
  ASSERT_EQ(XEVParseFormula(c.ec, user, "Amount + 2", "User", nullptr, &type), user);
  EXPECT_EQ(XEVDestroyEXP(c.ec, total), 1);
}

// A destroy asks whether others use a formula only while some formula names
// one: copies, loaded contexts and a context emptied and filled again must
// know that one does.
TEST_F(Expressions, RefusalHoldsInCopiesLoadsAndRefilledContexts) {
  Add("Amount * 2", "Total");
  for (int i = 0; i < 20; ++i) Add("Amount + " + std::to_string(i));
  Add("Total() + 1", "User");
  std::vector<uint8_t> block(XEVGetECBlockSize(c.ec, 1));
  ASSERT_GT(XEVGetECBlock(c.ec, static_cast<int32_t>(block.size()), block.data()), 0);
  ExprContext* copy = XEVCopyEC(c.ec);
  ASSERT_NE(copy, nullptr);
  ParseContext loaded;
  parse_test::AddSalesItems(loaded);
  ASSERT_EQ(XEVSetECContents(loaded.ec, static_cast<int32_t>(block.size()), block.data(), 1, nullptr), 1);
  for (ExprContext* ec : {c.ec, copy, loaded.ec}) {
    EXPECT_EQ(XEVDestroyEXP(ec, XEVHEXPFromName(ec, "Total")), 0);
    EXPECT_EQ(XEVDestroyEXP(ec, XEVHEXPFromName(ec, "User")), 1);
    EXPECT_EQ(XEVDestroyEXP(ec, XEVHEXPFromName(ec, "Total")), 1);
  }
  XEVDestroyEC(copy);
  // Emptied by a load: the count starts again.
  ASSERT_EQ(XEVSetECContents(loaded.ec, static_cast<int32_t>(block.size()), block.data(), 1, nullptr), 1);
  EXPECT_EQ(XEVDestroyEXP(loaded.ec, XEVHEXPFromName(loaded.ec, "Total")), 0);
}

TEST_F(Expressions, ClonesAreIndependent) {
  HEXP total = Add("Amount * 2", "Total");
  uint16_t type = 9;
  HEXP copy = XEVCloneExpression(c.ec, total, "Twice", &type);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->root, total->root);
  EXPECT_EQ(type, XEV_TYPE_NUMBER);
  EXPECT_STREQ(copy->name, "Twice");
  copy = XEVCloneExpression(c.ec, total, "Total", &type);  // taken: a generated name instead
  EXPECT_STREQ(copy->name, "Formula1");
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
  EXPECT_EQ(std::tuple(error.code, error.pos, error.len), std::tuple(134u, 0u, 4u));
  ParseContext noSets(0);
  EXPECT_EQ(xev::core::CheckSetElements(noSets.ec, list, &error), -1);
  EXPECT_EQ(error.code, 109u);
  xev::core::HandleArrayFree(list);
}

}  // namespace
