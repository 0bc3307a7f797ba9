// Every way of reading a formula's text must read it alike: the scanner
// telling tokens by their first bytes and by the automaton alone; the direct
// parser reading the bytes, the direct parser over the scanner's tokens, and
// the table parser alone. Over the report mix, the corpus, the language
// reference's examples, random and mutated texts, runs at the match buffer's
// limit and nesting around the parser stack's limit, in both code pages and
// under several contexts, they must give the same tokens, values, spans,
// read-ahead offsets, pending keywords, error records, rejected dates, trees
// (every field of every node) and host blocks; and with any one allocation
// failing, a parse still ends in the same tree or a memory error.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "language/language.h"
#include "oom/sweep.h"
#include "tests/eval/report_mix.h"
#include "tests/language/corpus_context.h"
#include "xev/xevhost.h"

namespace {

using namespace xev::language;

std::string Hex(const void* data, size_t size) {
  std::string out;
  char byte[4];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(byte, sizeof byte, "%02X", static_cast<const unsigned char*>(data)[i]);
    out += byte;
  }
  return out;
}

// The scan's error and the date constant it set aside, as "eCODE,POS,LEN rREJECTED,POS,LEN".
std::string ErrorAndRejectedDate() {
  const ExprError& e = ParseError();
  uint32_t pos = 0, len = 0;
  const bool rejected = RejectedDate(&pos, &len);
  return "e" + std::to_string(e.code) + "," + std::to_string(e.pos) + "," + std::to_string(e.len) + " r" +
         std::to_string(rejected) + "," + std::to_string(pos) + "," + std::to_string(len);
}

// Everything the parser and the entry points can observe of one scan.
std::string Trace(const std::string& text, ExprContext* ec, bool nameCheck) {
  ScannerReset(text.c_str(), ec, nameCheck);
  std::string out;
  for (size_t guard = 0; guard <= text.size() + 2; ++guard) {
    const int32_t code = NextToken();
    const TokenValue& t = CurrentToken();
    out += std::to_string(code) + "@" + std::to_string(t.pos) + "+" + std::to_string(t.len) + "/" +
           std::to_string(CurrentOffset()) + "u" + std::to_string(PendingDateUnit()) + "q" +
           std::to_string(TakePendingQuantifier());
    ClearPendingDateUnit();
    if (code == TK_NUMBER) out += "=" + Hex(t.value, XEV_NUMBER_SIZE);
    if (t.value != nullptr && code != TK_NUMBER) out += "=" + std::string(static_cast<const char*>(t.value));
    HostFree(t.value);
    out += ' ';
    if (code == TK_END) break;
  }
  return out + ErrorAndRejectedDate();
}

struct Outcome {
  std::string seen;  // result, error, read-ahead, rejected date, tree
  int64_t allocations = 0;
  int64_t held = 0;  // host blocks the tree holds
  bool fast = false;
  bool bytes = false;
};

// The table parser alone, the direct parser over the scanner's tokens, and
// the direct parser reading the bytes first (the default).
enum class Way { kTables, kTokens, kBytes };
constexpr Way kWays[] = {Way::kTables, Way::kTokens, Way::kBytes};

void Use(Way way, bool scannerShortcuts = true) {
  SetParserFastPath(way != Way::kTables);
  SetParserReadsBytes(way == Way::kBytes);
  SetScannerShortcuts(scannerShortcuts);
}

void UseDefaultWay() { Use(Way::kBytes); }

Outcome ParseOnce(const std::string& text, ExprContext* ec, bool nameCheck, Way way, bool scannerShortcuts = true) {
  Use(way, scannerShortcuts);
  const int64_t live = HostLiveBlockCount();
  const int64_t made = HostAllocationCount();
  ScannerReset(text.c_str(), ec, nameCheck);
  const int32_t failed = ParseTokens();
  Outcome outcome;
  outcome.allocations = HostAllocationCount() - made;
  outcome.held = HostLiveBlockCount() - live;
  outcome.fast = LastParseTookFastPath();
  outcome.bytes = LastParseReadBytes();
  outcome.seen = (failed != 0 ? "fail " : "ok ") + ErrorAndRejectedDate() + " o" + std::to_string(CurrentOffset()) +
                 " f" + std::to_string(failed == 0 && ParsedTreeHasFormulaReference()) + " ";
  ExprNode* root = TakeParseRoot();
  parse_test::DescribeExactly(root, outcome.seen);
  ReleaseTree(ec, root);
  if (HostLiveBlockCount() != live) outcome.seen += " leaked";
  UseDefaultWay();
  return outcome;
}

class ReadingWays : public ::testing::Test {
 protected:
  void SetUp() override {
    parse_test::AddCorpusItems(corpus_);
    corpus_.Keyword("ab cd", 300);
    for (const auto& formula : parse_test::LoadCorpus(parse_test::CorpusPath())) {
      corpusTexts_.push_back(formula.text);
      XEVParseFormula(corpus_.ec, nullptr, formula.text.c_str(), formula.name.c_str(), nullptr, nullptr);
    }
    for (uint16_t flags : {uint16_t{0}, uint16_t{ECF_NO_DATE_ARITH}}) {
      auto* context = new parse_test::ParseContext(flags);
      context->Data("Price", XEV_TYPE_NUMBER);
      plain_.push_back(context);
    }
    parse_test::AddSalesItems(every_);
    every_.Data("Sum", XEV_TYPE_NUMBER);
    every_.Function("Join", XEV_TYPE_STRING, {{XEV_TYPE_STRING}, {XEV_TYPE_MATCHING}}, 1);
    every_.Function("Total", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER}}, 0, 0, XEV_FN_DISTINCT | XEV_FN_ALL);
    every_.Operator(4, XEV_TYPE_NUMBER);
    every_.Operator(2, XEV_TYPE_STRING);
    FUNDefineFunctions(every_.ec);
  }
  void TearDown() override {
    UseDefaultWay();
    HostSetCodePage(XEV_CP_WESTERN);
    for (auto* context : plain_) delete context;
  }

  std::vector<ExprContext*> Contexts() const {
    std::vector<ExprContext*> contexts{corpus_.ec, every_.ec};
    for (auto* context : plain_) contexts.push_back(context->ec);
    return contexts;
  }

  // Parses text every way in ec; false after a difference. A direct parse
  // takes the table parser's host blocks; one that read the bytes in vain
  // took blocks for that try too, and its tree holds the same ones.
  bool SameIn(const std::string& text, ExprContext* ec, bool nameCheck = false) {
    ParseOnce(text, ec, nameCheck, Way::kTables);  // lays out the lookup tables the parse asks
    const Outcome bytes = ParseOnce(text, ec, nameCheck, Way::kBytes);
    const Outcome tokens = ParseOnce(text, ec, nameCheck, Way::kTokens);
    const Outcome tables = ParseOnce(text, ec, nameCheck, Way::kTables);
    const Outcome automaton = ParseOnce(text, ec, nameCheck, Way::kBytes, false);
    EXPECT_FALSE(tables.fast);
    EXPECT_FALSE(tokens.bytes);
    EXPECT_EQ(tokens.seen, tables.seen) << "text: '" << text << "'";
    EXPECT_EQ(bytes.seen, tables.seen) << "text: '" << text << "'";
    EXPECT_EQ(automaton.seen, tables.seen) << "without the scanner's shortcuts, text: '" << text << "'";
    EXPECT_EQ(bytes.held, tables.held) << "text: '" << text << "'";
    if (tokens.fast) {
      ++taken_;
      EXPECT_EQ(tokens.allocations, tables.allocations) << "text: '" << text << "'";
    }
    if (bytes.bytes) {
      ++fromBytes_;
      EXPECT_EQ(bytes.allocations, tables.allocations) << "text: '" << text << "'";
    }
    return !HasFailure();  // the callers stop at the first difference
  }

  // Scans text with and without the scanner's shortcuts in every context
  // (and none), then parses it every way in every context.
  bool Same(const std::string& text, bool nameCheck = false) {
    std::vector<ExprContext*> contexts = Contexts();
    contexts.push_back(nullptr);
    for (ExprContext* ec : contexts) {
      SetScannerShortcuts(true);
      const std::string fast = Trace(text, ec, nameCheck);
      SetScannerShortcuts(false);
      const std::string slow = Trace(text, ec, nameCheck);
      SetScannerShortcuts(true);
      EXPECT_EQ(fast, slow) << "text: " << Hex(text.data(), text.size()) << " '" << text << "'";
      if (fast != slow || (ec != nullptr && !SameIn(text, ec, nameCheck))) return false;
    }
    return true;
  }

  parse_test::ParseContext corpus_{parse_test::kCorpusFlags};
  parse_test::ParseContext every_{static_cast<uint16_t>(0xFF & ~(ECF_NO_STRING_CONCAT | ECF_NO_DATE_ARITH))};
  std::vector<parse_test::ParseContext*> plain_;
  std::vector<std::string> corpusTexts_;
  int taken_ = 0;
  int fromBytes_ = 0;
};

// The examples of docs/language.md, without their results and names.
TEST_F(ReadingWays, LanguageReferenceExamplesParseAlike) {
  std::ifstream in(XEV_SOURCE_DIR "/docs/language.md");
  std::string line;
  bool inBlock = false;
  int examples = 0;
  while (std::getline(in, line)) {
    if (line.rfind("```", 0) == 0) {
      inBlock = !inBlock && line.rfind("```formula", 0) == 0;
      continue;
    }
    if (!inBlock || line.empty()) continue;
    std::string text = line.substr(0, line.rfind(" => "));
    const size_t named = text.find(" = ");
    if (named != std::string::npos && text.find('(') > named) text = text.substr(named + 3);
    ASSERT_TRUE(Same(text));
    ++examples;
  }
  EXPECT_GT(examples, 100);
  EXPECT_GT(taken_, 0);
}

// The shortcut converts up to 18 digits itself and leaves longer runs to the
// host's conversion: both sides of that bound, with leading and trailing
// zeros and fractions, must give the host's values.
TEST_F(ReadingWays, NumbersAroundTheShortCoefficientScanAlike) {
  const std::string nines(30, '9');
  for (size_t digits = 1; digits <= 24; ++digits) {
    for (size_t dot = 0; dot <= digits; ++dot) {
      std::string number = nines.substr(0, digits);
      if (dot > 0) number.insert(dot, ".");
      for (const std::string& text : {number, number + " + 1", "0" + number + "0*2", "1-" + number}) {
        ASSERT_TRUE(Same(text, false));
      }
    }
  }
  for (const char* text : {"000000000000000000000012", "0.000000000000000001", "123456789012345678",
                           "1234567890123456789", "0.50", "12.", "18446744073709551615", "0"}) {
    ASSERT_TRUE(Same(text, false));
  }
}

// The shortcut's number rule against the automaton's number, date and time
// rules: every text of up to five bytes after a leading digit, over bytes
// that may go on with a number, a date or a time, or end one.
TEST_F(ReadingWays, EveryShortTextAfterADigitScansAlike) {
  const std::string bytes = "09. -/:\\,*)aPM\t";
  for (size_t length = 0, combinations = 1; length <= 4; ++length, combinations *= bytes.size()) {
    for (size_t code = 0; code < combinations; ++code) {
      std::string text = "1";
      for (size_t rest = code, i = 0; i < length; ++i, rest /= bytes.size()) text += bytes[rest % bytes.size()];
      for (ExprContext* ec : {static_cast<ExprContext*>(nullptr), every_.ec}) {
        SetScannerShortcuts(true);
        const std::string fast = Trace(text, ec, false);
        SetScannerShortcuts(false);
        ASSERT_EQ(fast, Trace(text, ec, false)) << "text: '" << text << "'";
      }
    }
  }
}

// Pieces that make the scanner shortcuts' decisions interesting: each kind
// of byte that may follow a name or a number, and the beginnings of dates,
// times, calls, keywords, quoted parts and strings; ...
const char* const kScannerPieces[] = {
    "Price", "Quantity", "x1", "a_b", "@PI", "Jan", "January", "ab", "cd", "AND", "Days", "DISTINCT", "all", "PM",
    "am", "E", "e", "Sum", "12", "1", "1.5", "12.", ".5", "2001", "10:30", "0.25", " ", "  ", "\t", "\n", "(", ")",
    "*", "+", "-", "/", ",", "%", "|", "||", ".", ":", "'", "''", "\"", "`", "\\", "<", "=", "\r", "\x81", "\xE9",
    "\x95", "#", "$", "Price(", "Sum (", "1 ", "x ",
};

// ... and every operand and operator the direct parser knows, and the shapes
// it leaves to the table parser.
const char* const kParserPieces[] = {
    "Price", "Amount", "Qty", "Name", "City", "OrderDate", "PageNo", "Top Ten", "Net()", "Sum(", "Count(*)",
    "Join(", "NumberRound(", "@PI", "@NOW", "Upper(", "x", "12", "1.5", "0", "'text'", "'it''s'", "12/31/2001",
    "Jan 1, 2001", "(", ")", ")", ",", "+", "-", "*", "/", "%", "||", " - 5", "-", " AND ", " DAYS", "DISTINCT ",
    " ", "(*)", "()", "'", "\x81", "<",
};

TEST_F(ReadingWays, RandomPieceTextsReadAlike) {
  std::mt19937 random(20261207);
  for (uint32_t codePage : {XEV_CP_WESTERN, XEV_CP_SHIFTJIS}) {
    ASSERT_EQ(HostSetCodePage(codePage), 1);
    for (int round = 0; round < 2500; ++round) {
      ASSERT_TRUE(Same(parse_test::PieceText(random, kScannerPieces, 8), round % 11 == 0));
      ASSERT_TRUE(Same(parse_test::PieceText(random, kParserPieces, 10), round % 13 == 0));
    }
  }
  EXPECT_GT(taken_, 300);
}

// Formulas with a few bytes replaced, inserted or erased: bytes of names,
// numbers and operators, and (in the second half) any byte at all.
TEST_F(ReadingWays, MutatedFormulasReadAlike) {
  std::vector<std::string> formulas(std::begin(report_mix::kFormulas), std::end(report_mix::kFormulas));
  formulas.insert(formulas.end(), corpusTexts_.begin(), corpusTexts_.end());
  ASSERT_GT(formulas.size(), 50u);
  for (const std::string& formula : formulas) ASSERT_TRUE(Same(formula));
  std::mt19937 random(7);
  const std::string bytes = " \t\n()*+,-/%|.:'\"`0123456789aAeEmMpPxZ_@#\x81\xE9";
  for (int round = 0; round < 4000; ++round) {
    ASSERT_TRUE(Same(parse_test::Mutated(random, formulas[random() % formulas.size()], bytes, round >= 2000)));
  }
  EXPECT_GT(taken_, 50);
}

// The match buffer holds the token and the byte that ends it (2,048 bytes; a
// longer match is refused with 112): names, calls and numbers whose blanks,
// name bytes or digits reach its end and pass it.
TEST_F(ReadingWays, RunsAtTheMatchBufferLimitReadAlike) {
  for (size_t length = 2044; length <= 2050; ++length) {
    for (const char* head : {"a", "x1", "12", "1.5", "Jan"}) {
      for (const char* tail : {"*", "(", "", "b", ")"}) {
        ASSERT_TRUE(Same(head + std::string(length - std::strlen(head), ' ') + tail));
        ASSERT_TRUE(Same(std::string(length, head[0]) + tail));
      }
    }
  }
  for (size_t run : {1000u, 1030u, 2040u, 2045u, 2046u, 2047u, 2048u, 2049u, 3000u}) {
    const std::string blanks(run, ' ');
    for (const std::string& text : {"Price" + blanks + "+ 1", "1" + blanks + "* Price", "(Price)" + blanks,
                                    "Sum" + blanks + "(Price)", "P" + std::string(run, 'r'), std::string(run, '1')}) {
      ASSERT_TRUE(Same(text)) << run;
    }
  }
}

// Names, calls with and without blanks before "(", "(*)", numbers with and
// without a fraction (also negated, and "12." before a stop byte), every
// operator, parentheses and the commas of a set are read from the bytes.
TEST_F(ReadingWays, EveryTokenClassIsReadFromTheBytes) {
  for (const char* text : {"Amount % 7 + Sum(Price) * -2.50 - Quantity / (Discount + 1)", "Customer || City || Region",
                           "Count(*) + Sum   (Amount) * (12.) + 0.5", "Amount, Price, 3, -4", "Amount"}) {
    fromBytes_ = 0;
    ASSERT_TRUE(SameIn(text, corpus_.ec));
    EXPECT_EQ(fromBytes_, 1) << text;
  }
}

// The byte reader leaves a text to the scanner at the first token it does
// not take; whatever is put at any place of the mix's formulas (blanks other
// than spaces, dots, quotes, symbols, high bytes, long numbers, keywords, a
// second word) parses as the scanner's tokens and the table parser have it.
TEST_F(ReadingWays, TextsLeftToTheScannerAtEveryPlaceParseAlike) {
  report_mix::Report report;
  const char* const pieces[] = {"\t", "\n", ".", "'", "\"", "@", "#", "\x81", "1234567890123456789", " DAYS",
                                " AND 1", "Price ", "|"};
  for (uint32_t codePage : {XEV_CP_WESTERN, XEV_CP_SHIFTJIS}) {
    ASSERT_EQ(HostSetCodePage(codePage), 1);
    for (const char* formula : report_mix::kFormulas) {
      const std::string text = formula;
      for (size_t at = 0; at <= text.size(); ++at) {
        for (const char* piece : pieces) ASSERT_TRUE(SameIn(text.substr(0, at) + piece + text.substr(at), report.ec));
      }
    }
  }
  EXPECT_GT(taken_, 1000);
}

// The direct parser stops at a nesting that the table parser's stack still
// holds in any shape, so refusals of deeper nesting stay the table parser's.
TEST_F(ReadingWays, NestingAroundTheStackLimitParsesAlike) {
  const std::pair<const char*, const char*> shapes[] = {
      {"(", ")"},
      {"NumberAbsolute(", ")"},
      {"Price + Price * Price % Price || (", ")"},
      {"NumberRound(1, Price + Price * Price % Price || ", ")"},
      {"Total(DISTINCT Price + Price * Price % Price || ", ")"},
      {"Price - (- 1 * ", ")"},
  };
  for (const auto& [open, close] : shapes) {
    for (int depth = 1; depth <= 40; ++depth) {
      std::string text;
      for (int i = 0; i < depth; ++i) text += open;
      text += "Price";
      for (int i = 0; i < depth; ++i) text += close;
      taken_ = 0;
      ASSERT_TRUE(SameIn(text, every_.ec)) << depth;
      if (depth <= 10) {
        EXPECT_EQ(taken_, 1) << text;
      }
    }
  }
  std::string chain = "Price";
  for (int i = 0; i < 3000; ++i) chain += i % 2 == 0 ? " + Price" : " * 2";
  taken_ = 0;
  ASSERT_TRUE(SameIn(chain, every_.ec));
  EXPECT_EQ(taken_, 1);
}

class ReadingWaysSweep : public oom::NoLeakTest {};

// With one allocation failing, the direct parser gives up and the next way
// runs (the scanner's tokens after the bytes, then the table parser): the
// outcome is the whole formula or a memory error, never another error or a
// different tree; with the direct parser off, the table parser's own
// failures are swept as before.
TEST_F(ReadingWaysSweep, AllocationFailuresEndInTheTreeOrAMemoryError) {
  parse_test::ParseContext corpus(parse_test::kCorpusFlags);
  parse_test::AddCorpusItems(corpus);
  for (const char* name : {"Cost", "Tax"}) corpus.Data(name, XEV_TYPE_NUMBER);  // for the report mix
  std::vector<std::string> texts(std::begin(report_mix::kFormulas), std::end(report_mix::kFormulas));
  texts.push_back("'a' || 'b' || 'c'");
  texts.push_back("NumberRound(Price, 2) * 2 - -1");
  texts.push_back("(((Price * 2)))");
  texts.push_back("Count(DISTINCT CustomerNo) + Sum(Price)");
  texts.push_back("OrderDate + 3 MONTHS - 1 DAYS");
  texts.push_back("1, 2, 3");
  texts.push_back("1/1/2001 AND 6/30/2001");
  for (Way way : kWays) {
    for (const std::string& text : texts) {
      std::string expected;
      oom::Sweep(text, [&](oom::Trial& trial) {
        Use(way);
        ExprError error{};
        uint16_t type = 0;
        trial.Arm();
        HEXP exp = XEVParseFormula(corpus.ec, nullptr, text.c_str(), "Swept", &error, &type);
        trial.Disarm();
        UseDefaultWay();
        if (exp == nullptr) {
          EXPECT_TRUE(trial.failing());
          EXPECT_EQ(error.code, 121u) << text;
          return;
        }
        std::string tree;
        parse_test::DescribeExactly(exp->root, tree);
        if (!trial.failing()) expected = tree;
        EXPECT_EQ(tree, expected);
        XEVDestroyEXP(corpus.ec, exp);
      });
    }
  }
}

}  // namespace
