// Deleting items with their dependent formulas (order, refusal, cycles,
// failing allocations) and renaming items in formula texts and trees.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "language/parse_fixture.h"

namespace {

using namespace parse_test;

// What the delete callback saw, and when it refuses.
struct CallbackLog {
  std::vector<std::string> offered;
  std::string refuseAt;
  int32_t answer = 1;
  bool destroy = true;
};
CallbackLog* g_log = nullptr;

int32_t XEV_CALL DeleteFormula(ExprContext* ec, HEXP exp, ExpItem* item) {
  g_log->offered.push_back(std::string(exp->name) + ":" + item->name);
  if (g_log->offered.back().rfind(g_log->refuseAt + ":", 0) == 0) return 0;
  if (g_log->destroy && XEVDestroyEXP(ec, exp) == 0) return 0;
  return g_log->answer;
}

class ItemDeletion : public ::testing::Test {
 protected:
  void SetUp() override {
    AddSalesItems(c);
    c.Function("Twice", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER}});
    g_log = &log;
  }
  void TearDown() override { g_log = nullptr; }
  HEXP Add(const char* text, const char* name) {
    ExprError error{};
    uint16_t type = 0;
    HEXP exp = XEVParseFormula(c.ec, nullptr, text, name, &error, &type);
    EXPECT_NE(exp, nullptr) << text << " error " << error.code;
    return exp;
  }
  bool HasData(const char* name) {
    ExpItem item[2]{};
    return XEVGetExpressionVariable(c.ec, item, name) == 1;
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (int32_t i = 0; HEXP exp = XEVHEXPFromOrdinal(c.ec, i); ++i) names.push_back(exp->name);
    return names;
  }
  ParseContext c;
  CallbackLog log;
};

using Strings = std::vector<std::string>;

TEST_F(ItemDeletion, UnusedItemsGoWithoutAsking) {
  EXPECT_EQ(XEVDeleteExpItem(c.ec, XEV_ITEM_DATA, "Qty", DeleteFormula), 1);  // no formulas at all
  Add("Price * 2", "Doubled");
  EXPECT_EQ(XEVDeleteExpItem(c.ec, XEV_ITEM_DATA, "Amount", DeleteFormula), 1);
  EXPECT_TRUE(log.offered.empty());
  EXPECT_FALSE(HasData("Amount"));
  EXPECT_FALSE(HasData("Qty"));
  EXPECT_TRUE(HasData("Price"));
  EXPECT_EQ(XEVDeleteExpItem(c.ec, XEV_ITEM_DATA, "Missing", DeleteFormula), 1);
  EXPECT_EQ(XEVDeleteExpItem(nullptr, XEV_ITEM_DATA, "Price", DeleteFormula), 1);
}

TEST_F(ItemDeletion, DependentsAreOfferedBeforeWhatTheyUse) {
  Add("Amount * 2", "A");
  Add("A() + 1", "B");
  Add("Price", "C");
  Add("B() - A()", "D");
  Add("Amount, Price", "Both");  // a set counts as using its elements
  log.answer = 3;
  EXPECT_EQ(XEVDeleteExpItem(c.ec, XEV_ITEM_DATA, "Amount", DeleteFormula), 3);
  EXPECT_EQ(log.offered, (Strings{"D:Amount", "Both:Amount", "B:Amount", "A:Amount"}));
  EXPECT_EQ(Names(), Strings{"C"});
  EXPECT_FALSE(HasData("Amount"));
}

TEST_F(ItemDeletion, FunctionsAndOtherKindsUseTheFunctionList) {
  Add("Twice(Price)", "Doubled");
  Add("Qty", "Plain");
  EXPECT_EQ(XEVDeleteExpItem(c.ec, XEV_ITEM_FUNCTION, "Twice", DeleteFormula), 1);
  EXPECT_EQ(log.offered, Strings{"Doubled:Twice"});
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, nullptr, "Twice"), 1);  // the function is gone
  EXPECT_EQ(Names(), Strings{"Plain"});
}

TEST_F(ItemDeletion, RefusalKeepsTheItemAndWhatIsLeft) {
  Add("Amount * 2", "A");
  Add("A() + 1", "B");
  Add("Amount + Qty", "C");
  log.refuseAt = "A";
  EXPECT_EQ(XEVDeleteExpItem(c.ec, XEV_ITEM_DATA, "Amount", DeleteFormula), 0);
  EXPECT_EQ(log.offered, (Strings{"B:Amount", "C:Amount", "A:Amount"}));
  EXPECT_EQ(Names(), Strings{"A"});
  EXPECT_TRUE(HasData("Amount"));

  // Without a callback nothing can be given up.
  log.offered.clear();
  EXPECT_EQ(XEVDeleteExpItem(c.ec, XEV_ITEM_DATA, "Amount", nullptr), 0);
  EXPECT_EQ(Names(), Strings{"A"});
  EXPECT_TRUE(HasData("Amount"));
}

TEST_F(ItemDeletion, FormulasUsingEachOtherEndTheDeletion) {
  HEXP a = Add("Amount + 1", "A");
  Add("A() * 2", "B");
  HEXP scratch = Add("B() + Amount", "Scratch");
  std::swap(a->root, scratch->root);
  std::swap(a->text, scratch->text);
  ASSERT_EQ(XEVDestroyEXP(c.ec, scratch), 1);
  EXPECT_EQ(XEVDeleteExpItem(c.ec, XEV_ITEM_DATA, "Amount", DeleteFormula), 0);
  EXPECT_TRUE(log.offered.empty());
  EXPECT_TRUE(HasData("Amount"));
  EXPECT_EQ(Names(), (Strings{"A", "B"}));
}

// A callback that answers yes without destroying the formula must not make
// the walk skip or repeat formulas.
TEST_F(ItemDeletion, CallbackThatKeepsTheFormulaIsAskedOnce) {
  Add("Amount * 2", "A");
  Add("Amount + 1", "B");
  log.destroy = false;
  EXPECT_EQ(XEVDeleteExpItem(c.ec, XEV_ITEM_DATA, "Amount", DeleteFormula), 1);
  EXPECT_EQ(log.offered, (Strings{"A:Amount", "B:Amount"}));
}

TEST(ItemDeletionMemory, EveryAllocationFailingKeepsTheItemOrFinishes) {
  bool sawFailure = false;
  for (int64_t k = 1; k < 200; ++k) {
    int64_t live = HostLiveBlockCount();
    int32_t result = 0;
    bool itemLeft = false;
    size_t formulasLeft = 0;
    int64_t allocations = 0;
    {
      ParseContext c;
      AddSalesItems(c);
      CallbackLog log;
      g_log = &log;
      const char* texts[] = {"Amount * 2", "F0() + F0()", "F1() + Price", "F2() - F0()", "Qty"};
      for (int i = 0; i < 5; ++i) {
        ASSERT_NE(XEVParseFormula(c.ec, nullptr, texts[i], ("F" + std::to_string(i)).c_str(), nullptr, nullptr),
                  nullptr);
      }
      int64_t before = HostAllocationCount();
      HostFailAllocationAfter(k);
      result = XEVDeleteExpItem(c.ec, XEV_ITEM_DATA, "Amount", DeleteFormula);
      HostFailAllocationAfter(0);
      allocations = HostAllocationCount() - before;
      ExpItem item[2]{};
      itemLeft = XEVGetExpressionVariable(c.ec, item, "Amount") == 1;
      formulasLeft = static_cast<size_t>(XEVGetExpressionCount(c.ec));
      g_log = nullptr;
    }
    EXPECT_EQ(HostLiveBlockCount(), live) << k;
    EXPECT_EQ(itemLeft, result == 0) << k;
    if (result != 0) {
      EXPECT_EQ(formulasLeft, 1u) << k;
    }
    if (allocations < k) {
      EXPECT_EQ(result, 1);
      break;
    }
    sawFailure = true;
  }
  EXPECT_TRUE(sawFailure);
}

// ---- Renaming ---------------------------------------------------------------------

class ItemRename : public ItemDeletion {
 protected:
  std::string TextOf(const char* name) { return XEVHEXPFromName(c.ec, name)->text; }
  std::string TreeOf(const char* name) { return Describe(XEVHEXPFromName(c.ec, name)->root); }
};

TEST_F(ItemRename, WholeTokensInTheirRoleOutsideStrings) {
  c.Data("Amount2", XEV_TYPE_NUMBER);
  Add("Amount*2 + Amount2", "A");
  Add("Name || ' Amount ' || 'it''s Amount' || 'a\\' Amount'", "Quoted");
  Add("Twice(Amount) + Twice(Amount2)", "Call");
  Add("Amount, Price", "Set");
  Add("Qty AND Amount", "Range");
  EXPECT_EQ(XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "Amount", "Total"), 0);
  EXPECT_EQ(TextOf("A"), "Total*2 + Amount2");
  EXPECT_EQ(TreeOf("A"), "(+ (* Total 2) Amount2)");
  EXPECT_EQ(TextOf("Quoted"), "Name || ' Amount ' || 'it''s Amount' || 'a\\' Amount'");
  EXPECT_EQ(TextOf("Call"), "Twice(Total) + Twice(Amount2)");
  EXPECT_EQ(TreeOf("Call"), "(+ Twice[Total] Twice[Amount2])");
  EXPECT_EQ(TreeOf("Set"), "{Total, Price}");
  EXPECT_EQ(TreeOf("Range"), "(AND Qty Total)");
  EXPECT_TRUE(HasData("Total"));
  EXPECT_FALSE(HasData("Amount"));
  EXPECT_EQ(XEVIsItemUsed(c.ec, XEVHEXPFromName(c.ec, "Call"), XEV_ITEM_DATA, "Total"), 1);

  // A second rename finds nothing under the old name.
  EXPECT_EQ(XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "Amount", "Other"), 0);
  EXPECT_EQ(TextOf("A"), "Total*2 + Amount2");
}

TEST_F(ItemRename, FunctionsRenameCallsOnly) {
  Add("Twice(Price) * Twice (2)", "Calls");
  Add("Price", "Twice2");
  EXPECT_EQ(XEVRenameExpressionItem(c.ec, XEV_ITEM_FUNCTION, "Twice", "Double"), 0);
  EXPECT_EQ(TextOf("Calls"), "Double(Price) * Double (2)");
  EXPECT_EQ(TreeOf("Calls"), "(* Double[Price] Double[2])");
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, nullptr, "Double"), 0);

  // A data item of the same name as a formula keeps the formula's calls.
  Add("Qty * 3", "Tripled");
  c.Data("Tripled", XEV_TYPE_NUMBER);
  Add("Tripled() + Tripled", "Mixed");
  EXPECT_EQ(XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "Tripled", "Thrice"), 0);
  EXPECT_EQ(TextOf("Mixed"), "Tripled() + Thrice");
}

TEST_F(ItemRename, DoubleByteStringsAndLongNames) {
  ASSERT_EQ(HostSetCodePage(XEV_CP_SHIFTJIS), 1);
  // The trail byte 0x5C of the string's last character is no escape.
  Add("'\x83\x5c' || Name || '\x83\x5c Name'", "Dbcs");
  EXPECT_EQ(XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "Name", "Client"), 0);
  EXPECT_EQ(TextOf("Dbcs"), "'\x83\x5c' || Client || '\x83\x5c Name'");
  HostSetCodePage(XEV_CP_WESTERN);

  std::string longName(70, 'x');
  EXPECT_EQ(XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "Client", longName.c_str()), 0);
  EXPECT_TRUE(HasData(std::string(64, 'x').c_str()));
  EXPECT_EQ(XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "Missing", "Other"), 0);
  EXPECT_EQ(XEVRenameExpressionItem(nullptr, XEV_ITEM_DATA, "Price", "Other"), 0);
}

// A formula keeps its old text and tree, or gets both new ones.
TEST_F(ItemRename, EveryAllocationFailingKeepsEachFormulaWhole) {
  Add("Amount*2 + Amount - Twice(Amount)", "A");
  Add("Amount, Price, Amount", "B");
  const std::string oldA = TextOf("A");
  const std::string oldB = TextOf("B");
  bool sawFailure = false;
  for (int64_t k = 1; k < 50; ++k) {
    int64_t live = HostLiveBlockCount();
    int64_t before = HostAllocationCount();
    HostFailAllocationAfter(k);
    XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "Amount", "Total");
    HostFailAllocationAfter(0);
    int64_t allocations = HostAllocationCount() - before;
    EXPECT_EQ(HostLiveBlockCount(), live) << k;
    for (const char* name : {"A", "B"}) {
      bool renamed = TextOf(name).find("Total") != std::string::npos;
      EXPECT_EQ(TreeOf(name).find("Total") != std::string::npos, renamed) << name << " k=" << k;
      EXPECT_EQ(TreeOf(name).find("Amount") != std::string::npos, !renamed) << name << " k=" << k;
    }
    XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "Total", "Amount");
    ASSERT_EQ(TextOf("A"), oldA);
    ASSERT_EQ(TextOf("B"), oldB);
    if (allocations < k) break;
    sawFailure = true;
  }
  EXPECT_TRUE(sawFailure);
}

}  // namespace
