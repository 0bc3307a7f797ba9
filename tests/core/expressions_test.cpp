// Expressions of a context: buffers, lookups, ordinals, classification,
// generated and unique names, and what replacing a formula changes.
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

TEST_F(Expressions, ReplacingAFormulaUpdatesWhetherItRefersToOthers) {
  HEXP total = Add("Amount * 2", "Total");
  HEXP user = Add("Amount + 1", "User");
  uint16_t type = 0;
  ASSERT_EQ(XEVParseFormula(c.ec, user, "Total() + 1", "User", nullptr, &type), user);
  EXPECT_EQ(XEVDestroyEXP(c.ec, total), 0);
  ASSERT_EQ(XEVParseFormula(c.ec, user, "Amount + 2", "User", nullptr, &type), user);
  EXPECT_EQ(XEVDestroyEXP(c.ec, total), 1);
}

}  // namespace
