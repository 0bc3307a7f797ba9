// The formula scanner: tokens with their byte spans, the read-ahead error spans
// are measured from, fallbacks to shorter matches and the match-buffer limit.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "language/language.h"
#include "tests/support/items.h"
#include "xev/xevhost.h"

namespace {

using namespace xev::language;

std::string Printable(const char* text) {
  std::string out;
  for (char hex[8]; *text != 0; ++text) {
    auto b = static_cast<unsigned char>(*text);
    std::snprintf(hex, sizeof hex, b >= 32 && b < 127 ? "%c" : "\\x%02X", b);
    out += hex;
  }
  return out;
}

// One token as kind[value]@pos+len; single-character tokens as 'c'@pos+len.
std::string Describe(int32_t code, const TokenValue& t) {
  static const char* const kKinds[] = {"num",  "name",   "func", "niladic", "",     "str",
                                       "date", "concat", "bad",  "unit",    "quant", "nomem", "and"};
  std::string out = code >= TK_NUMBER && code <= TK_AND ? kKinds[code - TK_NUMBER]
                                                        : std::string("'") + static_cast<char>(code) + "'";
  if (code == TK_NUMBER) {
    double d = 0;
    char text[64];
    NumberToDouble(static_cast<const NumberValue*>(t.value), &d);
    out += (std::snprintf(text, sizeof text, "[%.15g]", d), text);
  } else if (code == TK_DATEUNIT) {
    out += "[" + std::to_string(PendingDateUnit()) + "]";
    ClearPendingDateUnit();
  } else if (code == TK_SETQUANT) {
    out += "[" + std::to_string(TakePendingQuantifier()) + "]";
  } else if (t.value != nullptr) {
    out += "[" + Printable(static_cast<const char*>(t.value)) + "]";
  }
  return out + "@" + std::to_string(t.pos) + "+" + std::to_string(t.len);
}

// The whole token stream; withOffsets appends "/offset" after each token.
std::string Scan(const std::string& text, ExprContext* ec = nullptr, bool nameCheck = false,
                 bool withOffsets = false) {
  ScannerReset(text.c_str(), ec, nameCheck);
  std::string out;
  for (size_t guard = 0; guard <= text.size() + 1; ++guard) {
    int32_t code = NextToken();
    if (code == TK_END) return out;
    if (!out.empty()) out += ' ';
    out += Describe(code, CurrentToken());
    if (withOffsets) out += "/" + std::to_string(CurrentOffset());
    HostFree(CurrentToken().value);
  }
  ADD_FAILURE() << "more tokens than bytes in " << Printable(text.c_str());
  return out;
}

std::string ScanOffsets(const std::string& text) { return Scan(text, nullptr, false, true); }

// Each {text, tokens} pair scanned without a context.
void ExpectScans(std::initializer_list<std::pair<std::string, const char*>> cases) {
  for (const auto& [text, tokens] : cases) EXPECT_EQ(Scan(text), tokens) << Printable(text.c_str());
}

class ScannerTest : public ::testing::Test {
 protected:
  void SetUp() override { liveAtStart_ = HostLiveBlockCount(); }
  void TearDown() override {
    HostSetCodePage(XEV_CP_WESTERN);
    HostFailAllocationAfter(0);
    for (ExprContext* ec : contexts_) XEVDestroyEC(ec);
    EXPECT_EQ(HostLiveBlockCount(), liveAtStart_) << "blocks leaked";
  }

  ExprContext* Context(uint16_t flags) { return contexts_.emplace_back(XEVCreateEC(0, nullptr, nullptr, flags)); }

  void AddKeywordItem(ExprContext* ec, const char* name, bool caseSensitive) {
    ASSERT_EQ(testhost::AddItem(ec, XEV_ITEM_KEYWORD, name, {.type = 300, .subclass2 = caseSensitive}), 1);
  }

  int64_t liveAtStart_ = 0;
  std::vector<ExprContext*> contexts_;
};

TEST_F(ScannerTest, OperatorsBlanksAndBadBytes) {
  EXPECT_EQ(Scan(""), "");
  EXPECT_EQ(Scan("  \t\n "), "");
  EXPECT_EQ(Scan("(a)*b/c-d,e<f=g>{h}"),
            "'('@0+1 name[a]@1+1 ')'@2+1 '*'@3+1 name[b]@4+1 '/'@5+1 name[c]@6+1 '-'@7+1 "
            "name[d]@8+1 ','@9+1 name[e]@10+1 '<'@11+1 name[f]@12+1 '='@13+1 name[g]@14+1 "
            "'>'@15+1 '{'@16+1 name[h]@17+1 '}'@18+1");
  ExpectScans({{"a|b", "name[a]@0+1 bad@1+1 name[b]@2+1"}, {"a||b", "name[a]@0+1 concat@1+2 name[b]@3+1"},
               {"a|||b", "name[a]@0+1 concat@1+2 bad@3+1 name[b]@4+1"}, {"x % 2", "name[x]@0+1 bad@2+1 num[2]@4+1"}});
  EXPECT_EQ(Scan("x % 2", Context(ECF_MODULO)), "name[x]@0+1 '%'@2+1 num[2]@4+1");
  // A carriage return is not a blank, outside strings and quoted name parts.
  ExpectScans({{"a\r\nb", "name[a]@0+1 bad@1+1 name[b]@3+1"}, {"'a\rb'", "str[a\\x0Db]@0+5"},
               {"\"a\rb\"", "name[\"a\\x0Db\"]@0+5"}, {"!~;", "bad@0+1 bad@1+1 bad@2+1"}});
}

TEST_F(ScannerTest, KeywordsAreWholeWordsOfAtMostEightLetters) {
  EXPECT_EQ(Scan("ANDAND XAND andx dAyS MINUTESS"),
            "name[ANDAND]@0+6 name[XAND]@7+4 name[andx]@12+4 unit[1]@17+4 name[MINUTESS]@22+8");
  EXPECT_EQ(Scan("dIsTiNcT DISTINCTX aLl ALLS", Context(ECF_SET_QUANTIFIERS)),
            "quant[1]@0+8 name[DISTINCTX]@9+9 quant[2]@19+3 name[ALLS]@23+4");
}

TEST_F(ScannerTest, TwoWordNamesNeedAKeywordItemAndFollowItsCaseRule) {
  ExprContext* ec = Context(0);
  AddKeywordItem(ec, "Sales Region", false);
  AddKeywordItem(ec, "Fiscal Year", true);
  EXPECT_EQ(Scan("abc def", ec), "name[abc]@0+3 name[def]@4+3");
  EXPECT_EQ(Scan("sales REGION+1", ec), "name[sales REGION]@0+12 '+'@12+1 num[1]@13+1");
  EXPECT_EQ(Scan("Fiscal Year", ec), "name[Fiscal Year]@0+11");
  EXPECT_EQ(Scan("fiscal year", ec), "name[fiscal]@0+6 unit[4]@7+4");
  // Exactly one blank between the words, and never in name-check mode.
  EXPECT_EQ(Scan("Sales  Region", ec), "name[Sales]@0+5 name[Region]@7+6");
  EXPECT_EQ(Scan("Sales Region", ec, true), "name[Sales]@0+5 name[Region]@6+6");
  EXPECT_EQ(Scan("Sales Region", nullptr), "name[Sales]@0+5 name[Region]@6+6");
}

TEST_F(ScannerTest, NiladicsAndFunctions) {
  ExpectScans({{"@PI @now @Now2 @PIE", "niladic[@PI]@0+3 niladic[@now]@4+4 name[@Now2]@9+5 name[@PIE]@15+4"},
               {"@PI()", "func[@PI]@0+4 ')'@4+1"}, {"Sum  (x)", "func[Sum]@0+6 name[x]@6+1 ')'@7+1"},
               {"Sum\t(x)", "name[Sum]@0+3 '('@4+1 name[x]@5+1 ')'@6+1"},
               {"f_2(1)", "func[f_2]@0+4 num[1]@4+1 ')'@5+1"}});
  // Only a single-part name can be called.
  EXPECT_EQ(Scan("a.b(1)"), "name[a.b]@0+3 '('@3+1 num[1]@4+1 ')'@5+1");
}

TEST_F(ScannerTest, NamesOfUpToThreePartsWithQuotedParts) {
  ExpectScans({{"x.y.z", "name[x.y.z]@0+5"}, {"x.y.z.w", "name[x.y.z]@0+5 bad@5+1 name[w]@6+1"},
               {"_total$2 #n @k", "name[_total$2]@0+8 name[#n]@9+2 name[@k]@12+2"},
               {"\"Sales Total\".`net.value`.x", "name[\"Sales Total\".`net.value`.x]@0+27"},
               {"a.\"b c\".d.e", "name[a.\"b c\".d]@0+9 bad@9+1 name[e]@10+1"}, {"\"\"", "bad@0+1 bad@1+1"}});
  // A part after a dot cannot begin with a digit: the dot goes to the number.
  EXPECT_EQ(Scan("a.1"), "name[a]@0+1 num[0.1]@1+2");
  EXPECT_EQ(Scan("a1 1a"), "name[a1]@0+2 num[1]@3+1 name[a]@4+1");
}

TEST_F(ScannerTest, NameCheckInTheDoubleByteCodePage) {
  ASSERT_EQ(HostSetCodePage(XEV_CP_SHIFTJIS), 1);
  EXPECT_EQ(Scan("\x82\xA0\x82\xA2+1"), "name[\\x82\\xA0\\x82\\xA2]@0+4 '+'@4+1 num[1]@5+1");
  // A trail byte may be "|": then it belongs to the character.
  EXPECT_EQ(Scan("\x81|x"), "name[\\x81|x]@0+3");
  EXPECT_EQ(Scan("\x82\xA0||x"), "name[\\x82\\xA0]@0+2 concat@2+2 name[x]@4+1");
  // A lead byte without a proper trail byte: the byte after it is bad, or
  // the lead byte itself when nothing follows in the name.
  ExpectScans({{"a\x81\xFD", "bad@2+1"}, {"a\x81\x7F", "bad@1+1 bad@2+1"},
               {"f\x81(x)", "bad@2+1 name[x]@3+1 ')'@4+1"}});
}

TEST_F(ScannerTest, NumbersNextToNamesAndDots) {
  ExpectScans({{"12 12. 12.50 .5", "num[12]@0+2 num[12]@3+3 num[12.5]@7+5 num[0.5]@13+2"},
               {"1.5E+10 2.5e-3", "num[15000000000]@0+7 num[0.0025]@8+6"}, {"1.5E10", "num[1.5]@0+3 name[E10]@3+3"},
               {"12.5E+3", "num[12.5]@0+4 name[E]@4+1 '+'@5+1 num[3]@6+1"},
               {"1.x x.5", "num[1]@0+2 name[x]@2+1 name[x]@4+1 num[0.5]@5+2"}, {"..5", "bad@0+1 num[0.5]@1+2"}});
}

TEST_F(ScannerTest, MeridiemNeedsAFollowerThatStaysOutOfTheToken) {
  ExpectScans({{"10:30PM+1", "date[10:30PM]@0+7 '+'@7+1 num[1]@8+1"}, {"10:30 PMx", "date[10:30]@0+5 name[PMx]@6+3"},
               {"10 PM,x", "date[10 PM]@0+5 ','@5+1 name[x]@6+1"},
               {"10PM||x", "date[10PM]@0+4 concat@4+2 name[x]@6+1"},
               {"10PM|x", "date[10PM]@0+4 bad@4+1 name[x]@5+1"}});
  // A tab is a blank but not a follower.
  EXPECT_EQ(Scan("10PM\t"), "num[10]@0+2 name[PM]@2+2");
  EXPECT_EQ(Scan("10PM\n"), "date[10PM]@0+4");
  // At the end of the text the virtual blank is the follower.
  EXPECT_EQ(ScanOffsets("10 AM"), "date[10 AM]@0+5/6");
}

TEST_F(ScannerTest, NearMissesOfDatesScanAsShorterTokens) {
  ExpectScans({{"5/2", "num[5]@0+1 '/'@1+1 num[2]@2+1"}, {"12/25/", "num[12]@0+2 '/'@2+1 num[25]@3+2 '/'@5+1"},
               {"12-Jan", "num[12]@0+2 '-'@2+1 name[Jan]@3+3"}, {"Jan 15,", "name[Jan]@0+3 num[15]@4+2 ','@6+1"},
               {"Ja 15, 2001", "name[Ja]@0+2 num[15]@3+2 ','@5+1 num[2001]@7+4"},
               {"1 Jan", "num[1]@0+1 name[Jan]@2+3"}});
}

TEST_F(ScannerTest, StringsWithEscapesAndUnclosedQuotes) {
  ExpectScans({{"'it''s' || 'it\\'s'", "str[it''s]@0+7 concat@8+2 str[it\\'s]@11+7"}, {"''", "str[]@0+2"},
               {"'a\nb'", "str[a\\x0Ab]@0+5"}, {"'abc", "bad@0+1 name[abc]@1+3"}, {"'a\\'", "str[a\\]@0+4"}});
}

TEST_F(ScannerTest, DoubleByteStringsCloseAtTheRealQuote) {
  // 0x95 0x5C is one character whose trail byte is a backslash.
  const std::string text = "'\x95\\' || 'x'";
  EXPECT_EQ(Scan(text), "str[\\x95\\' || ]@0+9 name[x]@9+1 bad@10+1");
  ASSERT_EQ(HostSetCodePage(XEV_CP_SHIFTJIS), 1);
  EXPECT_EQ(Scan(text), "str[\\x95\\]@0+4 concat@5+2 str[x]@8+3");
  // A lead byte takes the quote after it, so that quote closes nothing.
  EXPECT_EQ(Scan("'\x81'x'"), "bad@0+1 bad@1+1 str[x]@2+3");
  // An escaped quote at the end leaves the string open.
  ExpectScans({{"'a\\'", "bad@0+1 name[a]@1+1 bad@2+1 bad@3+1"}, {"'it''s' ''", "str[it''s]@0+7 str[]@8+2"},
               {"'\x82\xA0'", "str[\\x82\\xA0]@0+4"}});
}

TEST_F(ScannerTest, CurrentOffsetCountsTheReadAhead) {
  // After "3" the scanner has read the virtual blank: a date like "3 PM"
  // could still follow.
  EXPECT_EQ(ScanOffsets("1 + 2 3"), "num[1]@0+1/3 '+'@2+1/3 num[2]@4+1/7 num[3]@6+1/8");
  // "abc 1 " could still begin "Jan 15 2001".
  EXPECT_EQ(ScanOffsets("abc 1 + 2"), "name[abc]@0+3/7 num[1]@4+1/7 '+'@6+1/7 num[2]@8+1/10");
  // Tokens that no longer match can be extended read nothing past them.
  EXPECT_EQ(ScanOffsets("(a)"), "'('@0+1/1 name[a]@1+1/3 ')'@2+1/3");
  EXPECT_EQ(ScanOffsets("||x"), "concat@0+2/2 name[x]@2+1/4");
  EXPECT_EQ(ScanOffsets("|x"), "bad@0+1/2 name[x]@1+1/3");
  EXPECT_EQ(ScanOffsets("abc"), "name[abc]@0+3/4");
}

TEST_F(ScannerTest, EndTokenKeepsTheLastSpanAndRepeats) {
  const std::string text = "ab + 1";  // outlives the scan: the scanner reads it again
  EXPECT_EQ(Scan(text), "name[ab]@0+2 '+'@3+1 num[1]@5+1");
  EXPECT_EQ(NextToken(), TK_END);
  EXPECT_EQ(std::tuple(CurrentToken().pos, CurrentToken().len, CurrentOffset()), std::tuple(5u, 1u, 7u));
  EXPECT_EQ(CurrentToken().value, nullptr);
  EXPECT_EQ(ParseError().code, 0u);
}

TEST_F(ScannerTest, MatchBufferHoldsAtMost2048Bytes) {
  auto quoted = [](size_t total) { return "'" + std::string(total - 2, 'x') + "'"; };
  // {text, the last token before the end (0: none), error position (0: none), error length}
  const std::tuple<std::string, int32_t, uint32_t, uint32_t> cases[] = {
      // A token and the byte that ends it must fit.
      {quoted(2047) + ")", ')', 0, 0},
      {quoted(2048) + ")", 0, 2049, 1},
      {quoted(2049) + ")", 0, 2049, 1},
      // The virtual blank is read after a name too.
      {std::string(2046, 'a'), TK_NAME, 0, 0},
      {std::string(2047, 'a'), 0, 2048, 0},  // the span stops at the virtual blank
      // The span grows by the length of the previous match, here one blank.
      {"1 + " + quoted(3000), '+', 2052, 2},
  };
  for (const auto& [text, lastCode, errorPos, errorLen] : cases) {
    SCOPED_TRACE(text.size());
    ScannerReset(text.c_str(), nullptr, false);
    int32_t last = 0;
    for (int32_t code = NextToken(); code != TK_END; code = NextToken()) last = code, HostFree(CurrentToken().value);
    EXPECT_EQ(last, lastCode);
    const ExprError& e = ParseError();
    EXPECT_EQ(std::tuple(e.code, e.pos, e.len), std::tuple(errorPos != 0 ? 112u : 0u, errorPos, errorLen));
    EXPECT_EQ(NextToken(), TK_END);
  }
}

TEST_F(ScannerTest, BlankRunsAndTheByteAfterThemMustFitTheMatchBuffer) {
  EXPECT_EQ(ScanOffsets("a \t\n b  "), "name[a]@0+1/3 name[b]@5+1/9");
  // {text, tokens with offsets, error position (0: none), error length}
  const std::tuple<std::string, const char*, uint32_t, uint32_t> cases[] = {
      {std::string(2047, '\n') + "1", "num[1]@2047+1/2049", 0, 0},
      {std::string(2048, '\n') + "1", "", 2049, 1},
      // After a name the blanks are read ahead as well (a call may follow).
      {"a" + std::string(2046, ' ') + "b", "name[a]@0+1/2048 name[b]@2047+1/2049", 0, 0},
      {"a" + std::string(2047, ' ') + "b", "", 2049, 1},
      // A run that reaches the end of the text takes the blank after it along.
      {"a" + std::string(2048, '\t'), "name[a]@0+1/2", 2049, 1},
      {"a" + std::string(2046, ' '), "", 2048, 0},
  };
  for (const auto& [text, tokens, errorPos, errorLen] : cases) {
    SCOPED_TRACE(text.size());
    EXPECT_EQ(ScanOffsets(text), tokens);
    const ExprError& e = ParseError();
    EXPECT_EQ(std::tuple(e.code, e.pos, e.len), std::tuple(errorPos != 0 ? 112u : 0u, errorPos, errorLen));
  }
}

TEST_F(ScannerTest, EveryValueThatCannotBeAllocatedGivesNoMemory) {
  ExprContext* ec = Context(0);
  AddKeywordItem(ec, "Sales Region", false);
  const char* texts[] = {"abc", "Sales Region", "@PI", "a.b", "12", "1/2/2001", "'s'", "Sum (", "10 PM"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    ScannerReset(text, ec, false);
    int64_t live = HostLiveBlockCount();
    HostFailAllocationAfter(1);
    EXPECT_EQ(NextToken(), TK_NOMEM);
    HostFailAllocationAfter(0);
    EXPECT_EQ(std::tuple(CurrentToken().pos, CurrentToken().value, HostLiveBlockCount()), std::tuple(0u, nullptr, live));
  }
  // Tokens without a value allocate nothing.
  HostFailAllocationAfter(1);
  EXPECT_EQ(Scan("and days + ||", ec), "and@0+3 unit[1]@4+4 '+'@9+1 concat@11+2");
}

}  // namespace
