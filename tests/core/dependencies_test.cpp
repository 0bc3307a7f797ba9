// Dependency queries: uses through formulas, calls, sets and ranges, the
// complex-use, argument and aggregate queries, cycles and failing allocations.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

#include "core/formula_test_support.h"
#include "oom/sweep.h"

namespace {

class Dependencies : public core_test::FormulaTest {
 protected:
  void SetUp() override {
    FormulaTest::SetUp();
    c.Function("Twice", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER}});
    c.Function("Total", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER, 1}}, 0, 0, 0x04);
  }
  // F0 is first; each further formula refers twice to the one before.
  HEXP Chain(const char* first, int length) {
    HEXP last = Add(first, "F0");
    for (int k = 1; k < length; ++k) {
      std::string previous = "F" + std::to_string(k - 1) + "()";
      last = Add(previous + " + " + previous, "F" + std::to_string(k));
    }
    return last;
  }
};

// The direct references, followed through the formulas they name, give what
// XEVIsItemUsed answers; the listing itself never follows a reference.
int32_t XEV_CALL ListReference(ExprContext*, int16_t kind, const char* name, intptr_t user) {
  auto* seen = reinterpret_cast<std::string*>(user);
  *seen += std::to_string(kind) + ":" + name + " ";
  return seen->size() < 40 ? 1 : 0;
}

TEST_F(Dependencies, DirectReferencesListTheOwnTextInOrder) {
  Add("Amount * 2", "A");
  HEXP called = Add("Twice(A() + Qty) - Price + Total(Amount)", "Called");
  HEXP range = Add("Qty AND A() * 2", "Between");
  HEXP constant = Add("12", "Twelve");
  std::string seen;
  EXPECT_EQ(XEVEnumExpReferences(c.ec, range, ListReference, reinterpret_cast<intptr_t>(&seen)), 1);
  EXPECT_EQ(seen, "1:Qty 2:A ");
  seen.clear();
  EXPECT_EQ(XEVEnumExpReferences(c.ec, constant, ListReference, reinterpret_cast<intptr_t>(&seen)), 1);
  EXPECT_EQ(seen, "");
  // The callback stops the listing once it has seen enough.
  EXPECT_EQ(XEVEnumExpReferences(nullptr, called, ListReference, reinterpret_cast<intptr_t>(&seen)), 0);
  EXPECT_EQ(seen, "0:Twice 2:A 1:Qty 1:Price 0:Total 1:Amount ");
  EXPECT_EQ(XEVEnumExpReferences(c.ec, nullptr, ListReference, 0), 0);
  EXPECT_EQ(XEVEnumExpReferences(c.ec, called, nullptr, 0), 0);
}

TEST_F(Dependencies, UsesFollowReferencesThroughEveryKindOfNode) {
  HEXP a = Add("Amount * 2", "A");
  HEXP called = Add("Twice(A() + 1) - Price", "Called");
  HEXP set = Add("Price, Qty", "Prices");
  HEXP range = Add("Qty AND Price * 2", "Between");
  HEXP keywords = Add("PageNo, PageNo", "Pages");
  const std::tuple<HEXP, int16_t, const char*, int32_t> cases[] = {
      {called, XEV_ITEM_DATA, "Amount", 1}, {called, XEV_ITEM_FORMULA, "A", 1}, {called, XEV_ITEM_FUNCTION, "Twice", 1},
      {a, XEV_ITEM_FORMULA, "A", 0}, {set, XEV_ITEM_DATA, "Qty", 1}, {range, XEV_ITEM_DATA, "Price", 1},
      // Exact names, kinds kept apart, keywords never items.
      {a, XEV_ITEM_DATA, "amount", 0}, {called, XEV_ITEM_DATA, "Twice", 0}, {a, XEV_ITEM_KEYWORD, "Amount", 0},
      {keywords, XEV_ITEM_KEYWORD, "PageNo", 0}, {nullptr, XEV_ITEM_DATA, "Amount", 0}};
  for (const auto& [exp, kind, name, used] : cases) EXPECT_EQ(XEVIsItemUsed(c.ec, exp, kind, name), used) << name;
  EXPECT_EQ(XEVIsNamedFormulaUsed(c.ec, "A"), 1);
  EXPECT_EQ(XEVIsNamedFormulaUsed(c.ec, "Called"), 0);

  // A formula renamed away since the parse is skipped; one destroyed no longer counts.
  a->name[0] = 'Z';
  EXPECT_EQ(XEVIsItemUsed(c.ec, called, XEV_ITEM_DATA, "Amount"), 0);
  a->name[0] = 'A';
  EXPECT_EQ(XEVDestroyEXP(c.ec, called), 1);
  EXPECT_EQ(XEVIsNamedFormulaUsed(c.ec, "A"), 0);
}

TEST_F(Dependencies, ComplexUseArgumentsAndAggregates) {
  Add("Amount", "JustAmount");
  Add("'Amount'", "Words");
  EXPECT_EQ(XEVIsItemUsedInComplex(c.ec, "Amount"), 0);
  Add("JustAmount() + 0", "Through");
  EXPECT_EQ(XEVIsItemUsedInComplex(c.ec, "Amount"), 1);

  HEXP direct = Add("Total(Price) + 1", "Direct");
  HEXP computed = Add("Total(Price * 2)", "Computed");
  HEXP viaFormula = Add("Direct() * 2", "ViaFormula");
  // Computed is not written directly as the argument.
  EXPECT_EQ(std::tuple(XEVIsFunctionVariableUsed(c.ec, viaFormula, "Total", "Price"),
                       XEVIsFunctionVariableUsed(c.ec, computed, "Total", "Price"),
                       XEVIsFunctionVariableUsed(c.ec, direct, "Twice", "Price")),
            std::tuple(1, 0, 0));
  EXPECT_EQ(std::tuple(XEVIsItemAggregate(c.ec, XEV_ITEM_FUNCTION, "Total"),
                       XEVIsItemAggregate(c.ec, XEV_ITEM_FUNCTION, "Twice"),
                       XEVIsItemAggregate(c.ec, XEV_ITEM_DATA, "Amount")),
            std::tuple(1, 0, 0));
  EXPECT_EQ(std::tuple(XEVIsAggregateUsed(c.ec, viaFormula), XEVIsAggregateUsed(c.ec, XEVHEXPFromName(c.ec, "Through"))),
            std::tuple(1, 0));
}

TEST_F(Dependencies, CyclesEndAndAnswerForWhatTheyReach) {
  HEXP a = Add("Amount + 1", "A");
  HEXP b = Add("A() * 2", "B");
  ForceText(a, "B() + Price");  // A -> B -> A
  HEXP self = Add("Qty", "Self");
  ForceText(self, "Self() + Self()");
  EXPECT_EQ(XEVIsItemUsed(c.ec, b, XEV_ITEM_DATA, "Price"), 1);
  EXPECT_EQ(XEVIsItemUsed(c.ec, a, XEV_ITEM_DATA, "Qty"), 0);
  EXPECT_EQ(XEVIsAggregateUsed(c.ec, self), 0);
  EXPECT_EQ(XEVIsItemUsedInComplex(c.ec, "Qty"), 0);
}

// Out of memory, a query says "no" and leaves nothing behind.
TEST_F(Dependencies, EveryAllocationFailingAnswersNoAndLeaksNothing) {
  Chain("Qty", 10);  // references need the name index
  std::string wide = "F9()";
  for (int i = 0; i < 100; ++i) wide += " + Price";  // the node stack grows
  HEXP top = Add(wide, "Wide");
  const std::pair<const char*, std::function<int32_t()>> queries[] = {
      {"used", [&] { return XEVIsItemUsed(c.ec, top, XEV_ITEM_DATA, "Qty"); }},
      {"used in complex", [&] { return XEVIsItemUsedInComplex(c.ec, "Qty"); }}};
  for (const auto& query : queries) {
    const int64_t points = oom::Sweep(query.first, [&](oom::Trial& trial) {
      trial.Arm();
      const int32_t answer = query.second();
      trial.Disarm();
      EXPECT_EQ(answer, trial.failing() ? 0 : 1);
    });
    EXPECT_GT(points, 0) << query.first;
  }
}

}  // namespace
