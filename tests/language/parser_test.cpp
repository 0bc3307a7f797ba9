// The grammar and the checks made while trees are built: grouping, error codes
// with their spans, calls against host function descriptions, sets and ranges.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "language/parse_fixture.h"
#include "platform/platform.h"

namespace {

using namespace parse_test;
using xev::language::ExprNode;

struct ErrorCase {
  const char* text;
  uint32_t code;
  uint32_t pos;
  uint32_t len;
};

void ExpectTypes(ExprContext* ec, std::initializer_list<std::pair<const char*, int>> cases) {
  for (const auto& [text, type] : cases) EXPECT_EQ(Parse(ec, text).type, type) << text;
}

void ExpectErrors(ExprContext* ec, std::initializer_list<ErrorCase> cases) {
  for (const ErrorCase& e : cases) {
    Parsed p = Parse(ec, e.text);
    EXPECT_EQ(p.exp, nullptr) << e.text;
    EXPECT_EQ(std::tuple(p.error.code, p.error.pos, p.error.len), std::tuple(e.code, e.pos, e.len)) << e.text;
    char message[201] = {};
    EXPECT_GT(xev::platform::LoadStringA(xev::platform::ModuleInstance(), e.code, message, sizeof message), 0)
        << "no message for " << e.code;
  }
}

TEST(Grouping, EveryPairOfOperatorsGroupsByLevelThenLeft) {
  ParseContext c;
  for (const char* name : {"a", "b", "c"}) c.Data(name, XEV_TYPE_NUMBER);
  c.Operator(4, XEV_TYPE_NUMBER);  // '||' on Numbers, so every operator applies
  const std::pair<std::string, int> ops[] = {{"+", 1}, {"-", 1}, {"*", 2}, {"/", 2}, {"%", 3}, {"||", 4}};
  for (const auto& [first, firstLevel] : ops) {
    for (const auto& [second, secondLevel] : ops) {
      std::string text = "a " + first + " b " + second + " c";
      Parsed p = Parse(c.ec, text.c_str());
      EXPECT_EQ(p.tree, firstLevel >= secondLevel ? "(" + second + " (" + first + " a b) c)"
                                                  : "(" + first + " a (" + second + " b c))")
          << text << " error " << p.error.code;
    }
  }
}

class Errors : public ::testing::Test {
 protected:
  void SetUp() override {
    AddSalesItems(c);
    c.Function("Left", XEV_TYPE_STRING, {{XEV_TYPE_STRING}, {XEV_TYPE_NUMBER}});
    c.Function("Year", XEV_TYPE_NUMBER, {{XEV_TYPE_DATETIME}});
    c.Function("PageOf", XEV_TYPE_NUMBER, {{300}});
    c.Function("Sum", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER, 1}}, 0, 0, XEV_FN_DISTINCT | XEV_FN_ALL);
    c.Function("SumOf7", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER, 1, 7}}, 0, 0, XEV_FN_DISTINCT | XEV_FN_ALL);
    c.Function("CountD", XEV_TYPE_NUMBER, {{XEV_TYPE_ANY, 1}}, 0, 0, XEV_FN_DISTINCT | XEV_FN_DISTINCT_REQUIRED);
    XEVParseFormula(c.ec, nullptr, "Amount * 0.2", "Margin", nullptr, &type);
    XEVParseFormula(c.ec, nullptr, "1, 2", "Sizes", nullptr, &type);
  }
  ParseContext c;
  uint16_t type = 0;
};

TEST_F(Errors, TypesOfOperands) {
  ExpectErrors(c.ec, {{"1 + 'a'", 100, 4, 3}, {"OrderDate + ShipDate", 100, 12, 8}, {"Amount * Name", 100, 9, 4},
                      {"Name || 1", 115, 8, 1}, {"OrderDate - 'x'", 128, 12, 3}, {"Amount || 2", 111, 7, 2},
                      {"'a' * 'b'", 113, 4, 1}, {"'a' + 'b'", 113, 4, 1}, {"OrderDate * 2", 114, 10, 1},
                      {"PageNo + 1", 132, 7, 1},
                      // the right operand of a concatenation is built first and
                      // spans the token after it, here the end: the last real one
                      {"Amount + Name || City", 100, 17, 4}});
}

TEST_F(Errors, NamesCallsAndConstants) {
  ExpectErrors(c.ec, {{"Unknown", 102, 0, 7}, {"Amount + Amout", 102, 9, 5}, {"Unknown(1)", 103, 0, 8},
                      {"Left  (Name, 1, 2)", 105, 0, 7}, {"Left(Name)", 117, 0, 5}, {"Left()", 117, 0, 5},
                      {"Left(*)", 109, 5, 1}, {"Left(1, 2)", 119, 5, 1}, {"Left(Name, 'x')", 118, 11, 3},
                      {"Year(Amount)", 120, 5, 6}, {"PageOf(Amount)", 133, 7, 6},
                      // the argument is an operator node, spanning the ")" read after it
                      {"Sum(Amount * 2)", 101, 14, 1}, {"SumOf7(Price)", 137, 7, 5}, {"Margin(1)", 124, 0, 7},
                      {"Margin(*)", 124, 0, 7}, {"Amount + Sizes()", 136, 9, 6}, {"Left(DISTINCT Name, 1)", 129, 5, 8},
                      {"CountD(Amount)", 130, 0, 7}, {"CountD(ALL Amount)", 130, 7, 3}, {"PageNo", 129, 0, 1000},
                      {"Amount + ? 2", 110, 9, 1},
                      {"Amount ? 2", 109, 7, 1}});  // a bad character where no operand may stand
}

TEST_F(Errors, SyntaxErrorsAreMarkedAfterTheReadAhead) {
  ExpectErrors(c.ec, {{"1 + 2 3", 109, 7, 1},  // the scanner read the blank after 3
                      {"Amount +", 109, 8, 1}, {"", 109, 1, 0}, {"   ", 109, 4, 0}, {"Amount )", 109, 7, 1},
                      {"Left(Name,)", 109, 10, 1},
                      // A sign belongs to a number only; a set stands at the top level only.
                      {"-Amount", 109, 2, 6}, {"- - 5", 109, 2, 1}, {"(Amount, Price)", 109, 7, 1}});
}

TEST_F(Errors, DateUnitsOnlyStepDates) {
  ExpectErrors(c.ec, {{"OrderDate - ShipDate DAYS", 129, 21, 4}, {"2 * 3 DAYS", 129, 2, 1}, {"1 + 2 DAYS", 129, 6, 4},
                      {"Name || 'x' DAYS", 109, 13, 4}});  // a concatenation is complete before the unit is read
}

TEST(ErrorRecord, OverlongTokenStaysReportedThroughTheSyntaxError) {
  ParseContext c;
  std::string text = "1 + '" + std::string(3000, 'x') + "'";
  Parsed p = Parse(c.ec, text.c_str());
  EXPECT_EQ(std::tuple(p.exp, p.error.code), std::tuple(nullptr, 112u));
  EXPECT_LE(p.error.pos + p.error.len, text.size() + 1);
}

TEST(ErrorRecord, RejectedDateConstantIsReportedInstead) {
  ParseContext c;  // sets are on, so the scanner checks dates with the host
  Parsed p = Parse(c.ec, "12/40/2001 +");
  EXPECT_EQ(std::tuple(p.error.code, p.error.pos, p.error.len), std::tuple(123u, 0u, 10u));
  // The same pieces parse as a division when the text is complete.
  EXPECT_EQ(Parse(c.ec, "12/40/2001").tree, "(/ (/ 12 40) 2001)");
}

class Calls : public ::testing::Test {
 protected:
  void SetUp() override {
    AddSalesItems(c);
    c.Function("@PI", XEV_TYPE_NUMBER, {});
    c.Function("Now", XEV_TYPE_DATETIME, {});
    c.Function("Opt", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER}}, 0, 1);
    // First a String, then a repeating group of (String, matching) pairs:
    // Switch(City, 'a', 1, 'b', 2, default).
    c.Function("Switch", XEV_TYPE_NUMBER, {{XEV_TYPE_STRING}, {XEV_TYPE_STRING}, {XEV_TYPE_MATCHING}}, 1, 9);
    // A String, then any number of Numbers.
    c.Function("Most", XEV_TYPE_NUMBER, {{XEV_TYPE_STRING}, {XEV_TYPE_NUMBER}}, 1, 5);
    c.Function("Max", XEV_TYPE_MATCHING, {{XEV_TYPE_MATCHING}, {XEV_TYPE_MATCHING}}, 1, 8);
    c.Function("Count", XEV_TYPE_NUMBER, {{XEV_TYPE_ANY, 1}}, 0, 0, XEV_FN_DISTINCT | XEV_FN_ALL);
    c.Function("CountD", XEV_TYPE_NUMBER, {{XEV_TYPE_ANY, 1}}, 0, 0, XEV_FN_DISTINCT | XEV_FN_DISTINCT_REQUIRED);
    c.Function("SumAny", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER, 1}}, 0, 0, XEV_FN_DISTINCT | XEV_FN_ANY_BY_NAME);
    c.Function("SumAll", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER, 1}}, 0, 0,
               XEV_FN_DISTINCT | XEV_FN_ANY_BY_NAME_UNLESS_DISTINCT);
  }
  ParseContext c;
};

TEST_F(Calls, FormsWithoutArguments) {
  Parsed p = Parse(c.ec, "@PI * 2");
  EXPECT_EQ(p.tree, "(* @PI[] 2)");
  EXPECT_EQ(static_cast<ExprNode*>(p.exp->root->left)->endPos, 0u);
  p = Parse(c.ec, "@PI()");
  EXPECT_EQ(p.tree, "@PI[]");
  EXPECT_EQ(p.exp->root->endPos, 4u);
  EXPECT_EQ(Parse(c.ec, "Now()").type, XEV_TYPE_DATETIME);
  EXPECT_EQ(Parse(c.ec, "Opt()").type, XEV_TYPE_NUMBER);
  EXPECT_EQ(Parse(c.ec, "Count(*)").exp->root->flags, xev::language::kCallStar);
  EXPECT_EQ(Parse(c.ec, "CountD(*)").tree, "CountD[]");
  ExpectErrors(c.ec, {{"@pi", 103, 0, 3}, {"Now(*)", 109, 4, 1}, {"Most()", 117, 0, 5}, {"Max()", 117, 0, 4}});
}

TEST_F(Calls, RepeatingParameterGroup) {
  ExpectTypes(c.ec, {{"Switch(City, 'a', 1, 'b', 2)", XEV_TYPE_NUMBER},
                     {"Switch(City, 'a', 1, 'b', 2, 0)", XEV_TYPE_NUMBER},
                     {"Switch(City, 'a', Name, 'b', City)", XEV_TYPE_NUMBER},
                     {"Most('x', 1, 2, Amount, 4, 5)", XEV_TYPE_NUMBER}});
  ExpectErrors(c.ec, {{"Switch(City, 1, 1)", 119, 13, 1},              // group key follows the first argument
                      {"Switch(City, 'a', 1, 'b', 'x')", 118, 26, 3},  // value matches the first value
                      {"Switch(City, 'a', 1, 'z')", 118, 21, 3},       // last one is the default value
                      {"Switch(City, 'a', 1, 'b', 2, 'c', 3, 'd', 4, 'e', 5)", 105, 0, 7},
                      {"Most('x', 1, 'y')", 118, 13, 3}, {"Most('x', 1, 2, 3, 4, 5, 6)", 105, 0, 5}});
}

TEST_F(Calls, MatchingResultType) {
  ExpectTypes(c.ec, {{"Max(Amount, Price, 3)", XEV_TYPE_NUMBER}, {"Max(Name, City)", XEV_TYPE_STRING},
                     {"Max(OrderDate, ShipDate) + 1", XEV_TYPE_DATETIME}});
  // A keyword first argument yields the type an aggregate over it gives.
  EXPECT_EQ(Parse(c.ec, "Max(PageNo, PageNo)").type, XEV_TYPE_NUMBER);
  EXPECT_EQ(Parse(c.ec, "Max(Top Ten, Top Ten) || 'x'").type, XEV_TYPE_STRING);
}

TEST_F(Calls, QuantifiersAndPassByName) {
  EXPECT_EQ(Parse(c.ec, "Count(DISTINCT Amount)").exp->root->flags, xev::language::kCallQuantifier);
  ExpectTypes(c.ec, {{"Count(ALL Name)", XEV_TYPE_NUMBER}, {"CountD(DISTINCT Name)", XEV_TYPE_NUMBER},
                     {"SumAny(Amount * 2)", XEV_TYPE_NUMBER}, {"SumAll(Amount * 2)", XEV_TYPE_NUMBER}});
  ExpectErrors(c.ec, {{"SumAll(DISTINCT Amount * 2)", 101, 26, 1}, {"Count(1)", 101, 6, 1},
                      {"CountD(DISTINCT)", 117, 0, 7}});
}

TEST_F(Calls, NamedFormulasAreWrittenWithEmptyParentheses) {
  uint16_t type = 0;
  ASSERT_NE(XEVParseFormula(c.ec, nullptr, "Name || '!'", "Shout", nullptr, &type), nullptr);
  Parsed p = Parse(c.ec, "Shout() || City");
  EXPECT_EQ(p.tree, "(|| Shout() City)");
  EXPECT_EQ(p.type, XEV_TYPE_STRING);
  EXPECT_EQ(static_cast<ExprNode*>(p.exp->root->left)->endPos, 6u);
}

TEST(SetsAndRanges, NeedTheirContextFlag) {
  ParseContext c(0);
  AddSalesItems(c);
  ExpectErrors(c.ec, {{"1, 2", 109, 0, 0}, {"Amount AND Price", 109, 0, 0},
                      // without the flag the scanner takes day-month-year
                      // shapes as they are, and the parser checks them
                      {"1 AND 2", 123, 0, 7},
                      {"Amount + 12/40/2001", 123, 9, 10}});
}

TEST(Positions, OperatorNodesTakeTheTokenReadAfterTheirRightOperand) {
  ParseContext c;
  AddSalesItems(c);
  Parsed p = Parse(c.ec, "Amount * Price + Qty");
  const ExprNode* plus = p.exp->root;
  const auto* times = static_cast<const ExprNode*>(plus->left);
  EXPECT_EQ(std::tuple(times->pos, times->len), std::tuple(15u, 1u));  // the "+" that made the product complete
  EXPECT_EQ(std::tuple(plus->pos, plus->len), std::tuple(17u, 3u));    // the end leaves the last real token, Qty
  EXPECT_EQ(static_cast<const ExprNode*>(plus->right)->pos, 17u);
  p = Parse(c.ec, "Amount - -12");
  EXPECT_EQ(static_cast<const ExprNode*>(p.exp->root->right)->pos, 10u);  // the number, not the sign
}

TEST(Text, QuoteEscapesAreMarked) {
  ParseContext c;
  for (const char* escaped : {"'it''s'", "'it\\'s'"})
    EXPECT_EQ(Parse(c.ec, escaped).exp->root->flags, xev::language::kStringEscaped) << escaped;
  EXPECT_EQ(Parse(c.ec, "'its'").exp->root->flags, 0);
}

class DoubleByte : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(HostSetCodePage(XEV_CP_SHIFTJIS), 1); }
  void TearDown() override { HostSetCodePage(XEV_CP_WESTERN); }
};

TEST_F(DoubleByte, NamesStringsAndSpansCountBytes) {
  ParseContext c;
  const char* price = "\x89\xbf\x8a\x69";  // two double-byte characters
  c.Data(price, XEV_TYPE_NUMBER);
  c.Data("\x83\x5c\x83\x74\x83\x67", XEV_TYPE_STRING);  // trail bytes equal to a backslash
  std::string text = std::string(price) + " * 2";
  EXPECT_EQ(Parse(c.ec, text.c_str()).tree, "(* " + std::string(price) + " 2)");
  Parsed p = Parse(c.ec, "'\x83\x5c' || \x83\x5c\x83\x74\x83\x67");
  ASSERT_NE(p.exp, nullptr);
  EXPECT_EQ(static_cast<const ExprNode*>(p.exp->root->left)->flags, 0);
  text = std::string(price) + " + '\x83\x41'";
  ExpectErrors(c.ec, {{text.c_str(), 100, 7, 4}, {"\x83\x41\x83\x43 + 1", 102, 0, 4}});
}

}  // namespace
