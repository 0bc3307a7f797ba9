// A tree that alone holds its parse's node blocks is given back block by
// block. Only such trees may be sealed, and a rename that moves a name out of
// the blocks must break the seal: otherwise the name's block outlives the
// tree, or a block is given back twice.
#include <gtest/gtest.h>

#include <string>

#include "language/language.h"
#include "oom/sweep.h"
#include "tests/eval/report_mix.h"

namespace {

using namespace xev::language;

class SealedTrees : public oom::NoLeakTest {
 protected:
  ExprNode* ParseRoot(const std::string& text) {
    ScannerReset(text.c_str(), report_.ec, false);
    if (ParseTokens() != 0) return nullptr;
    return TakeParseRoot();
  }

  report_mix::Report report_;
};

// Argument and element lists lie outside the blocks: a sealed tree that holds
// them must give back every list, nested ones and those of a set too, or the
// fixture sees the blocks left behind.
TEST_F(SealedTrees, TreesOfOneParseAreSealedWithOrWithoutLists) {
  std::string chain = "Price";
  for (int i = 0; i < 200; ++i) chain += " + Quantity * 2";  // many blocks
  std::string calls = "Price";
  for (int i = 0; i < 40; ++i) calls += " + NumberRound(Tax * " + std::to_string(i) + ", 2)";
  report_.ec->flags |= ECF_RANGES_SETS;
  const std::string cases[] = {
      "Price * 2",
      "-1",
      chain,
      "NumberRound(Price, 2)",
      "Price + NumberRound(Price * (1 - Tax), 2) * 2",
      "NumberRound(NumberRound(Price, 1) + NumberRound(Cost, 1), NumberRound(Tax, 0))",
      calls,
      "Price, Cost * 2, NumberRound(Tax, 2)",
      "NumberRound(Price, 2) AND Cost",
      // Too deep for the direct parser: the table parser's tree is sealed
      // although the direct parser gave nodes back before it ran.
      "((((((((((((Price))))))))))))",
      "NumberRound(((((((((((((Price)))))))))))), 2)",
  };
  for (const std::string& text : cases) {
    ExprNode* root = ParseRoot(text);
    ASSERT_NE(root, nullptr) << text;
    EXPECT_TRUE(ReleaseSealedTree(root)) << text;
  }
  // Only the root stands for the blocks.
  ExprNode* root = ParseRoot("Price * 2");
  ASSERT_NE(root, nullptr);
  EXPECT_FALSE(ReleaseSealedTree(static_cast<ExprNode*>(root->left)));
  EXPECT_TRUE(ReleaseSealedTree(root));
}

TEST_F(SealedTrees, RenamesInPlaceKeepTheSealAndRenamesOutBreakIt) {
  ExprError error{};
  uint16_t type = 0;
  HEXP exp = XEVParseFormula(report_.ec, nullptr, "Price * Quantity + Tax - Cost", "Sealed", &error, &type);
  ASSERT_NE(exp, nullptr);
  XEVRenameExpressionItem(report_.ec, XEV_ITEM_DATA, "Cost", "Costs");  // fits where "Cost" lies
  XEVRenameExpressionItem(report_.ec, XEV_ITEM_DATA, "Price", "PriceOfOneUnitBeforeTaxes");
  XEVRenameExpressionItem(report_.ec, XEV_ITEM_DATA, "Tax", "T");
  EXPECT_EQ(oom::ExpressionText(report_.ec, exp), "PriceOfOneUnitBeforeTaxes * Quantity + T - Costs");
  EXPECT_EQ(XEVDestroyEXP(report_.ec, exp), 1);

  // Renamed out while sealed, then back: the seal stays broken and the
  // release walks the tree.
  exp = XEVParseFormula(report_.ec, nullptr, "Quantity * 2", "Sealed", &error, &type);
  ASSERT_NE(exp, nullptr);
  XEVRenameExpressionItem(report_.ec, XEV_ITEM_DATA, "Quantity", "QuantityOrderedByTheCustomer");
  XEVRenameExpressionItem(report_.ec, XEV_ITEM_DATA, "QuantityOrderedByTheCustomer", "Quantity");
  EXPECT_FALSE(ReleaseSealedTree(exp->root));
  EXPECT_EQ(XEVDestroyEXP(report_.ec, exp), 1);
}

}  // namespace
