// Dependency queries: uses through chains of named formulas, sets and ranges,
// the complex-use, function-argument and aggregate queries, cycles among
// formulas, a long chain, and every allocation failing in turn.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "language/parse_fixture.h"

namespace {

using namespace parse_test;

class Dependencies : public ::testing::Test {
 protected:
  void SetUp() override {
    AddSalesItems(c);
    c.Function("Twice", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER}});
    c.Function("Total", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER, 1}}, 0, 0, 0x04);
  }
  HEXP Add(const char* text, const char* name) {
    ExprError error{};
    uint16_t type = 0;
    HEXP exp = XEVParseFormula(c.ec, nullptr, text, name, &error, &type);
    EXPECT_NE(exp, nullptr) << text << " error " << error.code;
    return exp;
  }
  // Turns a into a formula that says what text says, without the checks a
  // parse makes, so that formulas can refer to each other in a cycle.
  void ForceText(HEXP a, const char* text) {
    HEXP scratch = Add(text, "Scratch");
    std::swap(a->root, scratch->root);
    std::swap(a->text, scratch->text);
    ASSERT_EQ(XEVDestroyEXP(c.ec, scratch), 1);
  }
  ParseContext c;
};

TEST_F(Dependencies, UsesFollowReferencesThroughEveryKindOfNode) {
  HEXP a = Add("Amount * 2", "A");
  HEXP b = Add("A() + 1", "B");
  HEXP called = Add("Twice(B()) - Price", "Called");
  HEXP set = Add("Price, Qty", "Prices");
  HEXP range = Add("Qty AND Price * 2", "Between");

  EXPECT_EQ(XEVIsItemUsed(c.ec, b, XEV_ITEM_DATA, "Amount"), 1);
  EXPECT_EQ(XEVIsItemUsed(c.ec, called, XEV_ITEM_DATA, "Amount"), 1);
  EXPECT_EQ(XEVIsItemUsed(c.ec, called, XEV_ITEM_FORMULA, "A"), 1);
  EXPECT_EQ(XEVIsItemUsed(c.ec, called, XEV_ITEM_FUNCTION, "Twice"), 1);
  EXPECT_EQ(XEVIsItemUsed(c.ec, set, XEV_ITEM_DATA, "Qty"), 1);
  EXPECT_EQ(XEVIsItemUsed(c.ec, range, XEV_ITEM_DATA, "Price"), 1);

  // Names are exact, kinds are kept apart, and keywords are never items.
  EXPECT_EQ(XEVIsItemUsed(c.ec, a, XEV_ITEM_DATA, "amount"), 0);
  EXPECT_EQ(XEVIsItemUsed(c.ec, a, XEV_ITEM_FORMULA, "Amount"), 0);
  EXPECT_EQ(XEVIsItemUsed(c.ec, called, XEV_ITEM_DATA, "Twice"), 0);
  EXPECT_EQ(XEVIsItemUsed(c.ec, a, XEV_ITEM_KEYWORD, "Amount"), 0);
  EXPECT_EQ(XEVIsItemUsed(c.ec, a, XEV_ITEM_FORMULA, "B"), 0);
  EXPECT_EQ(XEVIsItemUsed(c.ec, nullptr, XEV_ITEM_DATA, "Amount"), 0);
  // The expression's own context answers when none is given.
  EXPECT_EQ(XEVIsItemUsed(nullptr, b, XEV_ITEM_DATA, "Amount"), 1);

  EXPECT_EQ(XEVIsNamedFormulaUsed(c.ec, "A"), 1);
  EXPECT_EQ(XEVIsNamedFormulaUsed(c.ec, "B"), 1);
  EXPECT_EQ(XEVIsNamedFormulaUsed(c.ec, "Called"), 0);
  EXPECT_EQ(XEVIsNamedFormulaUsed(nullptr, "A"), 0);
}

TEST_F(Dependencies, ComplexUseLeavesOutSimpleAndSimpleInputFormulas) {
  Add("Amount", "JustAmount");
  Add("12", "Constant");
  Add("'Amount'", "Words");
  EXPECT_EQ(XEVIsItemUsedInComplex(c.ec, "Amount"), 0);
  Add("JustAmount() + 0", "Through");
  EXPECT_EQ(XEVIsItemUsedInComplex(c.ec, "Amount"), 1);
  Add("Price * 2", "Doubled");
  EXPECT_EQ(XEVIsItemUsedInComplex(c.ec, "Price"), 1);
  EXPECT_EQ(XEVIsItemUsedInComplex(c.ec, "Qty"), 0);
  EXPECT_EQ(XEVIsItemUsedInComplex(nullptr, "Price"), 0);
}

TEST_F(Dependencies, FunctionVariablesAndAggregates) {
  HEXP direct = Add("Total(Amount) + 1", "Direct");
  HEXP computed = Add("Total(Amount * 2)", "Computed");
  HEXP viaFormula = Add("Direct() * 2", "ViaFormula");
  HEXP plain = Add("Twice(Amount)", "Plain");

  EXPECT_EQ(XEVIsFunctionVariableUsed(c.ec, direct, "Total", "Amount"), 1);
  EXPECT_EQ(XEVIsFunctionVariableUsed(c.ec, viaFormula, "Total", "Amount"), 1);
  EXPECT_EQ(XEVIsFunctionVariableUsed(c.ec, computed, "Total", "Amount"), 0);  // not written directly
  EXPECT_EQ(XEVIsFunctionVariableUsed(c.ec, direct, "Total", "Price"), 0);
  EXPECT_EQ(XEVIsFunctionVariableUsed(c.ec, plain, "Total", "Amount"), 0);
  EXPECT_EQ(XEVIsFunctionVariableUsed(c.ec, nullptr, "Total", "Amount"), 0);

  EXPECT_EQ(XEVIsItemAggregate(c.ec, XEV_ITEM_FUNCTION, "Total"), 1);
  EXPECT_EQ(XEVIsItemAggregate(c.ec, XEV_ITEM_FUNCTION, "Twice"), 0);
  EXPECT_EQ(XEVIsItemAggregate(c.ec, XEV_ITEM_FUNCTION, "Missing"), 0);
  EXPECT_EQ(XEVIsItemAggregate(c.ec, XEV_ITEM_DATA, "Amount"), 0);
  EXPECT_EQ(XEVIsItemAggregate(c.ec, XEV_ITEM_FORMULA, "Total"), 0);

  EXPECT_EQ(XEVIsAggregateUsed(c.ec, direct), 1);
  EXPECT_EQ(XEVIsAggregateUsed(c.ec, viaFormula), 1);
  EXPECT_EQ(XEVIsAggregateUsed(c.ec, plain), 0);
  EXPECT_EQ(XEVIsAggregateUsed(c.ec, nullptr), 0);
}

TEST_F(Dependencies, ReferencesToFormulasNoLongerThereAreSkipped) {
  Add("Amount + 1", "Gone");
  HEXP user = Add("Gone() * 2", "User");
  HEXP gone = XEVHEXPFromName(c.ec, "Gone");
  HostFree(gone->name);
  gone->name = static_cast<char*>(HostAlloc(8));
  std::strcpy(gone->name, "Renamed");
  EXPECT_EQ(XEVIsItemUsed(c.ec, user, XEV_ITEM_DATA, "Amount"), 0);
  EXPECT_EQ(XEVIsItemUsed(c.ec, user, XEV_ITEM_FORMULA, "Gone"), 1);  // the tree still names it
  EXPECT_EQ(XEVIsAggregateUsed(c.ec, user), 0);
}

TEST_F(Dependencies, CyclesEndAndAnswerForWhatTheyReach) {
  HEXP a = Add("Amount + 1", "A");
  HEXP b = Add("A() * 2", "B");
  ForceText(a, "B() + Price");  // A -> B -> A
  HEXP self = Add("Qty", "Self");
  ForceText(self, "Self() + Self()");

  EXPECT_EQ(XEVIsItemUsed(c.ec, b, XEV_ITEM_DATA, "Price"), 1);
  EXPECT_EQ(XEVIsItemUsed(c.ec, a, XEV_ITEM_DATA, "Qty"), 0);
  EXPECT_EQ(XEVIsItemUsed(c.ec, self, XEV_ITEM_DATA, "Qty"), 0);
  EXPECT_EQ(XEVIsAggregateUsed(c.ec, a), 0);
  EXPECT_EQ(XEVIsFunctionVariableUsed(c.ec, self, "Total", "Qty"), 0);
  EXPECT_EQ(XEVIsItemUsedInComplex(c.ec, "Qty"), 0);
  EXPECT_EQ(XEVIsItemUsedInComplex(c.ec, "Price"), 1);
}

// Each formula refers twice to the one before: a walk that does not
// remember what it has seen would take 2^1000 steps.
TEST_F(Dependencies, LongChainAnswersForTheLastFormula) {
  Add("Total(Amount)", "F0");
  HEXP last = nullptr;
  for (int k = 1; k < 1000; ++k) {
    std::string previous = "F" + std::to_string(k - 1);
    std::string name = "F" + std::to_string(k);
    last = Add((previous + "() + " + previous + "()").c_str(), name.c_str());
  }
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(XEVIsItemUsed(c.ec, last, XEV_ITEM_DATA, "Amount"), 1);
  EXPECT_EQ(XEVIsItemUsed(c.ec, last, XEV_ITEM_DATA, "Price"), 0);
  EXPECT_EQ(XEVIsItemUsed(c.ec, last, XEV_ITEM_FORMULA, "F0"), 1);
  EXPECT_EQ(XEVIsNamedFormulaUsed(c.ec, "F0"), 1);
  EXPECT_EQ(XEVIsNamedFormulaUsed(c.ec, "F999"), 0);
  EXPECT_EQ(XEVIsAggregateUsed(c.ec, last), 1);
  EXPECT_EQ(XEVIsFunctionVariableUsed(c.ec, last, "Total", "Amount"), 1);
  EXPECT_EQ(XEVIsItemUsedInComplex(c.ec, "Amount"), 1);
}

// A query that runs out of memory says "no" and leaves nothing behind; with
// enough memory it gives the right answer.
TEST_F(Dependencies, EveryAllocationFailingAnswersNoAndLeaksNothing) {
  // A long left-leaning sum makes the node stack grow; the chain needs the
  // name index, and Qty is only found at its end.
  Add("Qty", "F0");
  for (int k = 1; k < 10; ++k) {
    std::string previous = "F" + std::to_string(k - 1);
    Add((previous + "() + " + previous + "()").c_str(), ("F" + std::to_string(k)).c_str());
  }
  std::string wide = "F9()";
  for (int i = 0; i < 100; ++i) wide += " + Price";
  wide += " + Twice(Amount)";
  HEXP top = Add(wide.c_str(), "Wide");
  struct Query {
    const char* what;
    int32_t (*run)(ExprContext*, HEXP);
  };
  const Query queries[] = {
      {"uses", [](ExprContext* ec, HEXP e) { return XEVIsItemUsed(ec, e, XEV_ITEM_DATA, "Qty"); }},
      {"complex", [](ExprContext* ec, HEXP) { return XEVIsItemUsedInComplex(ec, "Qty"); }},
      {"variable", [](ExprContext* ec, HEXP e) { return XEVIsFunctionVariableUsed(ec, e, "Twice", "Amount"); }},
  };
  for (const Query& query : queries) {
    bool sawFailure = false;
    for (int64_t k = 1; k < 50; ++k) {
      int64_t live = HostLiveBlockCount();
      int64_t before = HostAllocationCount();
      HostFailAllocationAfter(k);
      int32_t answer = query.run(c.ec, top);
      HostFailAllocationAfter(0);
      EXPECT_EQ(HostLiveBlockCount(), live) << query.what << " k=" << k;
      if (HostAllocationCount() - before < k) {
        EXPECT_EQ(answer, 1) << query.what;
        break;
      }
      EXPECT_EQ(answer, 0) << query.what << " k=" << k;
      sawFailure = true;
    }
    EXPECT_TRUE(sawFailure) << query.what;
  }
}

}  // namespace
