// Item lookups through the context's index: every change of the item lists
// is seen by the next lookup (a context whose index could not be made is the
// allocation sweep's). The formula name index answers exactly what a scan of
// the list would, whatever happened to the list since it was built.
#include <gtest/gtest.h>

#include "core/core.h"
#include "core/item_index.h"
#include "tests/language/parse_fixture.h"
#include "xev/xevhost.h"

namespace {

using parse_test::ParseContext;
using xev::core::DataItemType;
using xev::core::FindFunctionItem;

TEST(ItemIndex, LookupsFollowEveryChangeOfTheItems) {
  ParseContext c;
  c.Data("Price", XEV_TYPE_NUMBER);
  c.Function("Twice", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER}});
  EXPECT_EQ(DataItemType(c.ec, "Price"), XEV_TYPE_NUMBER);
  // Parsing changes only the expressions; items added afterwards are found.
  ASSERT_NE(parse_test::Parse(c.ec, "Twice(Price)").exp, nullptr);
  c.Data("City", XEV_TYPE_STRING);
  EXPECT_EQ(DataItemType(c.ec, "City"), XEV_TYPE_STRING);
  XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "City", "Town");
  EXPECT_EQ(DataItemType(c.ec, "City"), -1);
  EXPECT_EQ(DataItemType(c.ec, "Town"), XEV_TYPE_STRING);
  ASSERT_EQ(XEVDelExpItemNoCheck(c.ec, XEV_ITEM_FUNCTION, "Twice"), 1);
  EXPECT_EQ(FindFunctionItem(c.ec, "Twice"), nullptr);
  EXPECT_EQ(parse_test::Parse(c.ec, "Twice(1)").error.code, 103u);
  ASSERT_EQ(XEVDeleteAllECVars(c.ec), 1);
  EXPECT_EQ(DataItemType(c.ec, "Price"), -1);
  EXPECT_EQ(parse_test::Parse(c.ec, "Price").error.code, 102u);
}

struct Context {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  ~Context() { XEVDestroyEC(ec); }
  HEXP Add(const char* text, const char* name) {
    uint16_t type = 0;
    return XEVParseString(ec, text, name, nullptr, &type);
  }
};

TEST(FormulaIndex, FollowsDestroyRenameAndDuplicates) {
  Context c;
  HEXP a = c.Add("1", "A");
  HEXP b = c.Add("2", "B");
  HEXP a2 = c.Add("3", "A");  // names need not be unique through this entry point
  ASSERT_NE(a2, nullptr);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "A"), a);  // the first of equal names
  ASSERT_EQ(XEVDestroyEXP(c.ec, a), 1);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "A"), a2);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "B"), b);
  // The later of equal names going as the last formula leaves the first found.
  ASSERT_EQ(XEVDestroyEXP(c.ec, c.Add("4", "A")), 1);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "A"), a2);
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, a2, "A"), 1);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "B"), b);

  uint16_t type = 0;
  ASSERT_EQ(XEVParseFormula(c.ec, b, "4", "C", nullptr, &type), b);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "B"), nullptr);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "C"), b);

  ASSERT_EQ(XEVDestroyEXP(c.ec, b), 1);
  ASSERT_EQ(XEVDestroyEXP(c.ec, a2), 1);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "A"), nullptr);
  EXPECT_NE(c.Add("5", "A"), nullptr);
  EXPECT_NE(XEVHEXPFromName(c.ec, "A"), nullptr);
}

// Uniqueness with a skipped expression: the skipped one alone does not make a
// name taken, a second holder (possible through XEVParseString) does.
TEST(FormulaIndex, NameUniquenessSeesPastTheSkippedHolder) {
  Context c;
  HEXP a = c.Add("1", "A");
  HEXP b = c.Add("2", "B");
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, nullptr, "A"), 0);
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, a, "A"), 1);
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, b, "A"), 0);
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, a, "C"), 1);
  HEXP a2 = c.Add("3", "A");
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, a, "A"), 0);
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, a2, "A"), 0);
  ASSERT_EQ(XEVDestroyEXP(c.ec, a2), 1);
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, a, "A"), 1);  // the rebuilt index forgets the duplicate
  uint16_t type = 0;
  ExprError error{};
  EXPECT_EQ(XEVParseFormula(c.ec, a, "4", "B", &error, &type), nullptr);
  EXPECT_EQ(error.code, 126u);
  EXPECT_EQ(XEVParseFormula(c.ec, a, "4", "A", &error, &type), a);
}

}  // namespace
