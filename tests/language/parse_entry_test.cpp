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


TEST_F(Entry, GeneratedNamesFollowTheKindAndSkipTakenNames) {
  uint16_t type = 0;
  HEXP set = XEVParseString(c.ec, "1, 2", nullptr, nullptr, &type);
  EXPECT_EQ(NameOf(set), "Set1");
  EXPECT_EQ(NameOf(XEVParseFormula(c.ec, nullptr, "1 AND 2.5", "", nullptr, &type)), "Range1");
  Formula("1", "Formula1");
  Formula("2", "Formula2");
  EXPECT_EQ(c.ec->nextFormulaNumber, 1);
  EXPECT_EQ(NameOf(XEVParseFormula(c.ec, nullptr, "3", nullptr, nullptr, &type)), "Formula3");
  EXPECT_EQ(c.ec->nextFormulaNumber, 3);  // the number used, tried first next time
  EXPECT_EQ(NameOf(XEVParseFormula(c.ec, nullptr, "4", nullptr, nullptr, &type)), "Formula4");
  // A taken name is refused for a new formula, except through XEVParseString.
  ExprError error{};
  EXPECT_EQ(XEVParseFormula(c.ec, nullptr, "5", "Formula1", &error, &type), nullptr);
  EXPECT_EQ(Span(error), std::tuple(126u, 0u, 1u));
  EXPECT_NE(XEVParseString(c.ec, "5", "Formula1", nullptr, &type), nullptr);
  // Only XEVParseString tells the host about a new expression.
  EXPECT_EQ(g_events.notified, (std::vector<int32_t>{2, 2}));
}

// The tries count up in place: across a new digit, over a run of taken names,
// and from 65535 back to 0.
TEST_F(Entry, GeneratedNamesCountUpAcrossDigitsAndWrapAround) {
  const auto next = [this] {
    uint16_t type = 0;
    return NameOf(XEVParseFormula(c.ec, nullptr, "1", nullptr, nullptr, &type));
  };
  for (const char* taken : {"Formula9", "Formula10", "Formula99", "Formula100", "Formula101", "Formula65535"}) {
    Formula("1", taken);
  }
  c.ec->nextFormulaNumber = 9;
  EXPECT_EQ(next(), "Formula11");
  c.ec->nextFormulaNumber = 98;
  EXPECT_EQ(next(), "Formula98");
  EXPECT_EQ(next(), "Formula102");
  c.ec->nextFormulaNumber = 65534;
  EXPECT_EQ(next(), "Formula65534");
  EXPECT_EQ(next(), "Formula0");
  EXPECT_EQ(c.ec->nextFormulaNumber, 0);
  EXPECT_EQ(next(), "Formula1");
}

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

TEST_F(Entry, NameValidation) {
  for (const auto& [name, valid] : {std::pair{"Order_Total", 1}, {"Order Total", 0}, {"Days", 0}, {"Formula1", 1},
                                     {"a.b.c", 1}, {"\"Net Sales\"", 1}, {"AND", 0}, {"@PI", 0}, {"1abc", 0},
                                     {"Sum(x)", 0}, {"", 0}, {"Total ", 0}, {"DISTINCT", 0}, {"x.y.z.w", 0}}) {
    ExprError error{};
    EXPECT_EQ(XEVValidName(c.ec, name, &error), valid) << name;
    EXPECT_EQ(Span(error), std::tuple(108u, 0u, uint32_t(std::strlen(name))));
  }
  // Without a context the default one answers: no flags, so no quantifiers.
  EXPECT_EQ(XEVValidName(nullptr, "DISTINCT", nullptr), 1);
  ParseContext plain(ECF_NO_DATE_ARITH);
  EXPECT_EQ(XEVValidName(plain.ec, "Days", nullptr), 1);

  uint16_t type = 0;
  ExprError error{};
  EXPECT_EQ(XEVParseFormula(c.ec, nullptr, "Amount + 1", "Net Total", &error, &type), nullptr);
  EXPECT_EQ(Span(error), std::tuple(107u, 0u, 10u));
  EXPECT_EQ(XEVGetExpressionCount(c.ec), 0);
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

TEST(InputNames, DatePartWordsArePrefixed) {
  for (const auto& [name, prefixed] : {std::pair{"Months", 1}, {"second", 1}, {"Mass", 0}, {"Dayss", 0}, {"AND", 0},
                                       {"", 0}, {"hOuRs", 1}, {"Year", 1}, {"Day1", 0}, {"Distinct", 0},
                                       {"Minutes_", 0}, {"Sminute", 0}}) {
    char out[80];
    EXPECT_EQ(XEVInputNameIsKeyword(out, name), prefixed) << name;
    EXPECT_EQ(std::string(out), (prefixed ? "_" : "") + std::string(name));
  }
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

TEST_F(Entry, RecursionIsReportedAtTheReferenceInTheNewFormula) {
  HEXP a = Formula("Amount + 1", "A");
  Formula("A() * 2", "B");
  Formula("B() + A()", "C");
  ExprError error{};
  uint16_t type = 0;
  EXPECT_EQ(XEVParseFormula(c.ec, a, "Qty + C() + 1", "A", &error, &type), nullptr);
  EXPECT_EQ(Span(error), std::tuple(125u, 6u, 2u));
  EXPECT_EQ(XEVParseFormula(c.ec, a, "A()", "A", &error, &type), nullptr);
  EXPECT_EQ(error.code, 125u);
  // Naming a formula after itself under another name is fine.
  EXPECT_NE(XEVParseFormula(c.ec, nullptr, "C() + B()", "D", &error, &type), nullptr);
}

TEST_F(Entry, ChainOfFormulasEachUsingThePreviousTwiceIsLinear) {
  // Without remembering visited formulas each check would walk 2^n paths.
  Formula("Amount", "F0");
  for (int i = 1; i < 1000; ++i) {
    std::string previous = "F" + std::to_string(i - 1) + "()";
    ASSERT_NE(Formula((previous + " + " + previous).c_str(), ("F" + std::to_string(i)).c_str()), nullptr);
  }
  EXPECT_EQ(XEVIsItemUsed(c.ec, XEVHEXPFromName(c.ec, "F999"), XEV_ITEM_FORMULA, "F0"), 1);
  EXPECT_EQ(XEVIsNamedFormulaUsed(c.ec, "F998"), 1);
  ExprError error{};
  uint16_t type = 0;
  EXPECT_EQ(XEVParseFormula(c.ec, XEVHEXPFromName(c.ec, "F0"), "F999()", "F0", &error, &type), nullptr);
  EXPECT_EQ(error.code, 125u);
}

TEST_F(Entry, CycleAmongUncheckedFormulasEndsEveryWalk) {
  HEXP b = Formula("Price", "B0");
  HEXP a = Formula("B0() + 1", "A");
  HEXP closing = Formula("A() * 2", "Closing");
  // Close A -> B0 -> A behind the checks' back, as a damaged load could.
  std::swap(b->root, closing->root);
  EXPECT_EQ(XEVIsItemUsed(c.ec, a, XEV_ITEM_DATA, "Amount"), 0);
  EXPECT_EQ(XEVIsItemUsed(c.ec, a, XEV_ITEM_FORMULA, "A"), 1);
  EXPECT_EQ(XEVIsNamedFormulaUsed(c.ec, "Closing"), 0);
  EXPECT_NE(Formula("A() + B0()", "Outside"), nullptr);
  ExprError error{};
  uint16_t type = 0;
  EXPECT_EQ(XEVParseFormula(c.ec, nullptr, "A()", "B0", &error, &type), nullptr);
  EXPECT_EQ(XEVDestroyEXP(c.ec, a), 0);
  std::swap(b->root, closing->root);
}


// Length alone is no problem when the tree stays shallow.
TEST_F(Entry, WideSetsParse) {
  uint16_t type = 0;
  ExprError error{};
  std::string wide = "Qty";
  for (int i = 0; i < 20000; ++i) wide += ", Price + " + std::to_string(i);
  HEXP set = XEVParseFormula(c.ec, nullptr, wide.c_str(), "Wide", &error, &type);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(XEVIsItemUsed(c.ec, set, XEV_ITEM_DATA, "Amount"), 0);
  EXPECT_EQ(XEVIsItemUsed(c.ec, set, XEV_ITEM_DATA, "Price"), 1);
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


TEST_F(Entry, NodesSpreadOverSeveralBlocksFailAndGoBackLikeOthers) {
  // Seventeen nodes: two full node blocks and part of a third.
  const char* longer = "Amount * 2 + Price * 3 - Qty / 4 + Amount * Price - 1";
  FailEachAllocation(c.ec, longer, nullptr);
  HEXP target = Formula("Qty", "Target");
  FailEachAllocation(c.ec, "(Price + 1) * (Qty + 2) * (Amount + 3) * (Price + 4)", target);
  // Trees go back in any order, whatever blocks their nodes came from.
  const int64_t live = HostLiveBlockCount();
  HEXP first = Formula(longer, "First");
  HEXP small = Formula("Qty", "Small");
  HEXP last = Formula(longer, "Last");
  for (HEXP exp : {small, first, last}) EXPECT_EQ(XEVDestroyEXP(c.ec, exp), 1);
  EXPECT_EQ(HostLiveBlockCount(), live);
}


}  // namespace
