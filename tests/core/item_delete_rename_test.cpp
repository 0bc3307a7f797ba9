// Deleting items with the formulas that use them, and renaming items in
// formula texts and trees.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "core/formula_test_support.h"
#include "oom/sweep.h"

namespace {

using namespace parse_test;
using Strings = std::vector<std::string>;

// What the delete callback saw, and what it answers.
struct CallbackLog {
  Strings offered;
  std::string refuseAt;
  int32_t answer = 1;
  bool destroy = true;
};
CallbackLog* g_log = nullptr;

int32_t XEV_CALL DeleteFormula(ExprContext* ec, HEXP exp, ExpItem* item) {
  g_log->offered.push_back(std::string(exp->name) + ":" + item->name);
  if (g_log->refuseAt == exp->name) return 0;
  if (g_log->destroy && XEVDestroyEXP(ec, exp) == 0) return 0;
  return g_log->answer;
}

class Items : public core_test::FormulaTest {
 protected:
  void SetUp() override {
    FormulaTest::SetUp();
    c.Function("Twice", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER}});
    g_log = &log;
  }
  void TearDown() override { g_log = nullptr; }
  void AddAll(std::initializer_list<std::pair<const char*, const char*>> formulas) {
    for (const auto& [text, name] : formulas) Add(text, name);
  }
  bool HasData(const char* name) {
    ExpItem item[2]{};
    return XEVGetExpressionVariable(c.ec, item, name) == 1;
  }
  Strings Names() {
    Strings names;
    for (int32_t i = 0; HEXP exp = XEVHEXPFromOrdinal(c.ec, i); ++i) names.push_back(exp->name);
    return names;
  }
  std::string TextOf(const char* name) { return XEVHEXPFromName(c.ec, name)->text; }
  std::string TreeOf(const char* name) { return Describe(XEVHEXPFromName(c.ec, name)->root); }
  CallbackLog log;
};

TEST_F(Items, DeletingOffersDependentsBeforeWhatTheyUse) {
  EXPECT_EQ(XEVDeleteExpItem(c.ec, XEV_ITEM_DATA, "City", DeleteFormula), 1);  // no formulas at all
  AddAll({{"Amount * 2", "A"}, {"A() + 1", "B"}, {"Price", "C"}, {"B() - A()", "D"}});
  Add("Amount, Price", "Both");  // a set uses its elements
  log.answer = 3;
  EXPECT_EQ(XEVDeleteExpItem(c.ec, XEV_ITEM_DATA, "Qty", DeleteFormula), 1);  // unused: nobody asked
  EXPECT_TRUE(log.offered.empty());
  EXPECT_EQ(XEVDeleteExpItem(c.ec, XEV_ITEM_DATA, "Amount", DeleteFormula), 3);
  EXPECT_EQ(log.offered, (Strings{"D:Amount", "Both:Amount", "B:Amount", "A:Amount"}));
  EXPECT_EQ(Names(), Strings{"C"});
  EXPECT_FALSE(HasData("Amount") || HasData("Qty"));

  // Functions, and any kind but data items, come from the function list.
  log.offered.clear();
  Add("Twice(Price)", "Doubled");
  EXPECT_EQ(XEVDeleteExpItem(c.ec, XEV_ITEM_KEYWORD, "Twice", DeleteFormula), 3);
  EXPECT_EQ(log.offered, Strings{"Doubled:Twice"});
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, nullptr, "Twice"), 1);
}

TEST_F(Items, RefusalOrACycleKeepsTheItem) {
  HEXP a = Add("Amount * 2", "A");
  Add("A() + 1", "B");
  Add("Amount + Qty", "C");
  log.refuseAt = "A";
  EXPECT_EQ(XEVDeleteExpItem(c.ec, XEV_ITEM_DATA, "Amount", DeleteFormula), 0);
  EXPECT_EQ(log.offered, (Strings{"B:Amount", "C:Amount", "A:Amount"}));
  EXPECT_EQ(Names(), Strings{"A"});
  EXPECT_TRUE(HasData("Amount"));
  EXPECT_EQ(XEVDeleteExpItem(c.ec, XEV_ITEM_DATA, "Amount", nullptr), 0);
  EXPECT_TRUE(HasData("Amount"));

  // A and B use each other: neither can go first, so nothing goes.
  log = CallbackLog{};
  Add("A() * 2", "B");
  ForceText(a, "B() + Amount");
  EXPECT_EQ(XEVDeleteExpItem(c.ec, XEV_ITEM_DATA, "Amount", DeleteFormula), 0);
  EXPECT_TRUE(log.offered.empty());
  EXPECT_EQ(Names(), (Strings{"A", "B"}));

  // A callback that says yes but keeps its formula is not asked again.
  log.destroy = false;
  Add("Price + 1", "P");
  Add("Price * 2", "Q");
  EXPECT_EQ(XEVDeleteExpItem(c.ec, XEV_ITEM_DATA, "Price", DeleteFormula), 1);
  EXPECT_EQ(log.offered, (Strings{"P:Price", "Q:Price"}));
}

TEST_F(Items, RenameTouchesWholeTokensInTheirRoleOutsideStrings) {
  c.Data("Amount2", XEV_TYPE_NUMBER);
  AddAll({{"Amount*2 + Amount2", "A"}, {"Name || ' Amount ' || 'it''s Amount' || 'a\\' Amount'", "Quoted"},
          {"Twice(Amount) + Twice (Amount2)", "Call"}, {"Amount, Price", "Set"}, {"Qty AND Amount", "Range"}});
  EXPECT_EQ(XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "Amount", "Total"), 0);
  EXPECT_EQ(TextOf("A") + " " + TreeOf("A"), "Total*2 + Amount2 (+ (* Total 2) Amount2)");
  EXPECT_EQ(TextOf("Quoted"), "Name || ' Amount ' || 'it''s Amount' || 'a\\' Amount'");
  EXPECT_EQ(TreeOf("Call"), "(+ Twice[Total] Twice[Amount2])");
  EXPECT_EQ(TreeOf("Set"), "{Total, Price}");
  EXPECT_EQ(TreeOf("Range"), "(AND Qty Total)");
  EXPECT_TRUE(HasData("Total"));

  EXPECT_EQ(XEVRenameExpressionItem(c.ec, XEV_ITEM_FUNCTION, "Twice", "Double"), 0);
  EXPECT_EQ(TextOf("Call") + " " + TreeOf("Call"), "Double(Total) + Double (Amount2) (+ Double[Total] Double[Amount2])");

  // A data item sharing a formula's name leaves the formula's references.
  Add("Qty * 3", "Tripled");
  c.Data("Tripled", XEV_TYPE_NUMBER);
  Add("Tripled() + Tripled", "Mixed");
  XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "Tripled", "Thrice");
  EXPECT_EQ(TextOf("Mixed"), "Tripled() + Thrice");

  // The trail byte 0x5C ends no string early and escapes nothing.
  ASSERT_EQ(HostSetCodePage(XEV_CP_SHIFTJIS), 1);
  Add("'\x83\x5c' || Name || '\x83\x5c Name'", "Dbcs");
  XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "Name", "Client");
  EXPECT_EQ(TextOf("Dbcs"), "'\x83\x5c' || Client || '\x83\x5c Name'");
  HostSetCodePage(XEV_CP_WESTERN);

  XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "Client", std::string(70, 'x').c_str());
  EXPECT_TRUE(HasData(std::string(64, 'x').c_str()));  // cut to the name field
}

// Out of memory, a formula keeps its old text and tree or gets both new ones.
TEST_F(Items, RenameWithEveryAllocationFailingKeepsEachFormulaWhole) {
  Add("Amount*2 + Amount - Twice(Amount)", "A");
  Add("Amount, Price, Amount", "B");
  const auto has = [](const std::string& text, const char* word) { return text.find(word) != std::string::npos; };
  const int64_t points = oom::Sweep("renaming Amount", [&](oom::Trial& trial) {
    trial.Arm();
    XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "Amount", "Total");
    trial.Disarm();
    for (const char* name : {"A", "B"}) {
      bool renamed = has(TextOf(name), "Total");
      EXPECT_EQ(std::tuple(has(TextOf(name), "Amount"), has(TreeOf(name), "Total"), has(TreeOf(name), "Amount")),
                std::tuple(!renamed, renamed, !renamed)) << name;
    }
    XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "Total", "Amount");
  });
  EXPECT_GT(points, 3);
}

}  // namespace
