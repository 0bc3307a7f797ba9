// Item lookups through the context's index: every change of the item lists
// is seen by the next lookup, the first of two equal names wins as in the
// list, and a context whose index could not be made still finds everything.
// Trees keep their names right when an item is renamed to a longer name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(ItemIndex, TheFirstOfEqualNamesWinsAndManyItemsAreFound) {
  ParseContext c;
  c.Data("Amount", XEV_TYPE_NUMBER);
  c.Data("Amount", XEV_TYPE_STRING);
  for (int i = 0; i < 3000; ++i) c.Data(("Col" + std::to_string(i)).c_str(), XEV_TYPE_DATETIME);
  EXPECT_EQ(DataItemType(c.ec, "Amount"), XEV_TYPE_NUMBER);
  for (int i = 0; i < 3000; i += 7) EXPECT_EQ(DataItemType(c.ec, ("Col" + std::to_string(i)).c_str()), XEV_TYPE_DATETIME);
  EXPECT_EQ(DataItemType(c.ec, "Col3000"), -1);
  ASSERT_EQ(XEVDelExpItemNoCheck(c.ec, XEV_ITEM_DATA, "Amount"), 1);
  EXPECT_EQ(DataItemType(c.ec, "Amount"), XEV_TYPE_STRING);
  // The name field holds 64 bytes and its end; nothing longer is stored.
  const std::string longest(64, 'n');
  c.Data(longest.c_str(), XEV_TYPE_NUMBER);
  EXPECT_EQ(DataItemType(c.ec, longest.c_str()), XEV_TYPE_NUMBER);
  EXPECT_EQ(DataItemType(c.ec, (longest + "n").c_str()), -1);
}

TEST(ItemIndex, AContextWithoutAnIndexWalksItsLists) {
  HostFailAllocationAfter(2);  // the context record is made, its index is not
  ParseContext c;
  HostFailAllocationAfter(0);
  ASSERT_NE(c.ec, nullptr);
  EXPECT_EQ(c.ec->itemIndex, nullptr);
  c.Data("Price", XEV_TYPE_NUMBER);
  c.Function("Twice", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER}});
  EXPECT_EQ(parse_test::Parse(c.ec, "Twice(Price) + 1").tree, "(+ Twice[Price] 1)");
}

TEST(ItemIndex, RenamingToALongerNameAndBackKeepsEveryTree) {
  ParseContext c;
  c.Data("Qty", XEV_TYPE_NUMBER);
  c.Function("Twice", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER}});
  HEXP exp = parse_test::Parse(c.ec, "Qty * 2 + Twice(Qty)", "F").exp;
  ASSERT_NE(exp, nullptr);
  XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "Qty", "QuantityOrderedThisYear");
  XEVRenameExpressionItem(c.ec, XEV_ITEM_FUNCTION, "Twice", "Doubled");
  EXPECT_EQ(parse_test::Describe(exp->root), "(+ (* QuantityOrderedThisYear 2) Doubled[QuantityOrderedThisYear])");
  // Back to a short name, which fits where the longer one now lies.
  XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "QuantityOrderedThisYear", "Q");
  EXPECT_EQ(parse_test::Describe(exp->root), "(+ (* Q 2) Doubled[Q])");
  EXPECT_EQ(XEVDestroyEXP(c.ec, exp), 1);
}

// Names are hashed and compared a word at a time, with overlapping words at
// the end: a name of any length is found, and a name that differs from an item
// in any one byte, or is one byte shorter or longer, is not.
TEST(ItemIndex, EveryByteOfANameOfAnyLengthCounts) {
  ParseContext c;
  std::vector<std::string> names;
  for (size_t length = 1; length <= 64; ++length) {
    std::string name;
    for (size_t i = 0; i < length; ++i) name += static_cast<char>('a' + (i * 7 + length) % 26);
    names.push_back(name);
    c.Data(name.c_str(), XEV_TYPE_NUMBER);
  }
  for (const std::string& name : names) {
    ASSERT_EQ(DataItemType(c.ec, name.c_str()), XEV_TYPE_NUMBER) << name;
    for (size_t at = 0; at < name.size(); ++at) {
      std::string changed = name;
      changed[at] = '_';
      EXPECT_EQ(DataItemType(c.ec, changed.c_str()), -1) << changed;
    }
    EXPECT_EQ(DataItemType(c.ec, (name + "_").c_str()), -1) << name;
    if (name.size() > 1) {
      EXPECT_EQ(DataItemType(c.ec, name.substr(0, name.size() - 1).c_str()), -1) << name;
    }
  }
}

}  // namespace
