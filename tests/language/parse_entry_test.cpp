// The parse entry points: generated names, replacing in place, the recursion
// check, deep and long formulas, name validation and failing allocations.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "language/corpus_context.h"
#include "language/parse_fixture.h"
#include "oom/sweep.h"

namespace {

using namespace parse_test;

std::string NameOf(HEXP exp) {
  char buffer[128] = {};
  XEVGetExpressionName(nullptr, exp, sizeof buffer, buffer);
  return buffer;
}

std::string TextOf(HEXP exp) {
  std::string text(static_cast<size_t>(XEVGetExpressionTextLength(nullptr, exp)) + 1, '\0');
  XEVGetExpressionText(nullptr, exp, static_cast<int32_t>(text.size()), text.data());
  return text.c_str();
}

auto Span(const ExprError& e) { return std::tuple(e.code, e.pos, e.len); }

struct Events {
  std::vector<int32_t> notified;
  std::vector<std::string> renamed;
};
Events g_events;

void XEV_CALL RecordNotify(ExprContext*, int32_t code) { g_events.notified.push_back(code); }
void XEV_CALL RecordRename(ExprContext*, const char* oldName, const char* newName) {
  g_events.renamed.push_back(std::string(oldName) + ">" + newName);
}

class Entry : public ::testing::Test {
 protected:
  void SetUp() override {
    g_events = Events{};
    AddSalesItems(c);
    c.ec->renameCallback = RecordRename;
    XEVSetNotifyCallback(c.ec, RecordNotify);
  }
  HEXP Formula(const char* text, const char* name) {
    uint16_t type = 0;
    HEXP exp = XEVParseFormula(c.ec, nullptr, text, name, nullptr, &type);
    EXPECT_NE(exp, nullptr) << text;
    return exp;
  }
  ParseContext c;
};


// A generated name skips the name check's byte scan and, while no data item
// of a keyword type has a name ending in a digit, its data item lookup: a
// data item or a keyword item of a keyword type by the next name must still
// make the parse fail as for a name given, and a success leaves the error
// record as the name check does.
TEST_F(Entry, GeneratedNamesGetTheVerdictOfTheNameCheck) {
  const auto parse = [this](ExprError& error) {
    uint16_t type = 0;
    return NameOf(XEVParseFormula(c.ec, nullptr, "1", nullptr, &error, &type));
  };
  ExprError error{};
  EXPECT_EQ(parse(error), "Formula1");
  EXPECT_EQ(Span(error), std::tuple(108u, 0u, 8u));
  c.Data("Formula2", 300);
  EXPECT_EQ(parse(error), "");
  EXPECT_EQ(Span(error), std::tuple(107u, 0u, 1u));
  ASSERT_EQ(XEVDelExpItemNoCheck(c.ec, XEV_ITEM_DATA, "Formula2"), 1);
  EXPECT_EQ(parse(error), "Formula2");
  c.Data("Formula3", XEV_TYPE_NUMBER);  // an ordinary item takes no name away
  EXPECT_EQ(parse(error), "Formula3");
  c.Keyword("Formula4", 300);
  EXPECT_EQ(parse(error), "");
  EXPECT_EQ(Span(error), std::tuple(107u, 0u, 1u));
}

TEST_F(Entry, PlainNamesGetTheVerdictOfTheNameParse) {
  c.Keyword("Page2", 300);
  for (const auto& [name, valid] : {std::pair{"Page2", 0}, {"Formula12", 1}, {"Days1", 1}, {"Quantities", 1},
                                     {"x", 1}, {"Seconds", 0}, {"A1b2C3", 1}, {"Ab_1", 1}}) {
    EXPECT_EQ(XEVValidName(c.ec, name, nullptr), valid) << name;
  }
  // The longest name the shortcut takes, and the first it leaves to the parse.
  const std::string longest = std::string(254, 'a') + "1";
  EXPECT_EQ(XEVValidName(c.ec, longest.c_str(), nullptr), 1);
  EXPECT_EQ(XEVValidName(c.ec, (longest + "2").c_str(), nullptr), 1);
  uint16_t type = 0;
  ExprError error{};
  EXPECT_EQ(XEVParseFormula(c.ec, nullptr, "1", "Page2", &error, &type), nullptr);
  EXPECT_EQ(Span(error), std::tuple(107u, 0u, 1u));
}

TEST_F(Entry, ReplaceMovesTheNewFormulaInAndTellsTheHostOfARename) {
  c.Function("Left", XEV_TYPE_STRING, {{XEV_TYPE_STRING}, {XEV_TYPE_NUMBER}});
  HEXP total = Formula("Amount * 2", "Total");
  uint16_t type = 99;
  ExprError error{};
  // A type change is fine while no other formula refers to it.
  EXPECT_EQ(XEVParseFormula(c.ec, total, "Left(Name, 2)", "Total", &error, &type), total);
  EXPECT_EQ(type, XEV_TYPE_STRING);
  EXPECT_TRUE(g_events.renamed.empty());
  EXPECT_EQ(XEVParseFormula(c.ec, total, "Name", "Caption", &error, &type), total);
  EXPECT_EQ(NameOf(total) + "/" + TextOf(total), "Caption/Name");
  EXPECT_EQ(g_events.renamed, std::vector<std::string>{"Total>Caption"});
  EXPECT_EQ(g_events.notified, std::vector<int32_t>{3});
  EXPECT_EQ(XEVGetExpressionCount(c.ec), 1);
}

TEST_F(Entry, ParserStackHoldsOneHundredFiftyStates) {
  auto nested = [](int depth) {
    return std::string(static_cast<size_t>(depth), '(') + "1" + std::string(static_cast<size_t>(depth), ')');
  };
  uint16_t type = 0;
  ExprError error{};
  // The start state, 147 parentheses, the inner expression and the first
  // ")" make 150 states; one more level overflows when its ")" is shifted.
  EXPECT_NE(XEVParseFormula(c.ec, nullptr, nested(147).c_str(), "Nested", &error, &type), nullptr);
  std::string text = nested(148);
  EXPECT_EQ(XEVParseFormula(c.ec, nullptr, text.c_str(), "TooNested", &error, &type), nullptr);
  EXPECT_EQ(Span(error), std::tuple(122u, 149u, 1u));
}


// Every allocation of one parse fails in turn: each failure must report 121
// over the whole text and leave the context as it was, with nothing leaked;
// a replace that succeeds takes the new text and is undone for the next run.
void FailEachAllocation(ExprContext* ec, const char* text, HEXP existing) {
  const std::string before = oom::Snapshot(ec, false);  // items bound to 1 cannot be evaluated
  const std::string oldText = existing != nullptr ? TextOf(existing) : "";
  oom::Sweep(text, [&](oom::Trial& trial) {
    ExprError error{};
    trial.Arm();
    HEXP exp = XEVParseFormula(ec, existing, text, existing != nullptr ? "Target" : "Fresh", &error, nullptr);
    trial.Disarm();
    if (exp == nullptr) {
      EXPECT_TRUE(trial.failing()) << text << " does not parse: " << error.code;
      EXPECT_EQ(error.code, 121u);
      EXPECT_EQ(error.pos, 0u);
      EXPECT_TRUE(error.len == 0 || error.len == std::strlen(text));
    } else if (existing == nullptr) {
      EXPECT_EQ(XEVDestroyEXP(ec, exp), 1);
    } else {
      EXPECT_EQ(TextOf(existing), text);
      ASSERT_EQ(XEVParseFormula(ec, existing, oldText.c_str(), "Target", &error, nullptr), existing);
    }
    EXPECT_EQ(oom::Snapshot(ec, false), before);
  });
}

TEST_F(Entry, EveryAllocationOfAParseMayFail) {
  c.Function("Left", XEV_TYPE_STRING, {{XEV_TYPE_STRING}, {XEV_TYPE_NUMBER}});
  Formula("Amount * 2", "Double");
  for (const char* text : {"Amount * (Price + 2.5) - Double()", "Left(Name || 'x', 3) || City", "1, 2, 3, Qty",
                           "OrderDate + 3 DAYS AND OrderDate + 1 MONTH", "Qty", "''"}) {
    FailEachAllocation(c.ec, text, nullptr);
  }
  HEXP target = Formula("Qty", "Target");
  FailEachAllocation(c.ec, "Price * Qty + Double()", target);
}


}  // namespace
