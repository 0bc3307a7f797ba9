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
