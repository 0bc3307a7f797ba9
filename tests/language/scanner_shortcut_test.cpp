// Tokens told by their first bytes against the automaton alone: over random,
// mutated and boundary texts, in both code pages and under every flag, both
// ways of scanning must give the same tokens, values, spans, read-ahead
// offsets, pending keywords, error records and rejected dates, and the same
// parse results.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "language/language.h"
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
  const ExprError& e = ParseError();
  uint32_t pos = 0, len = 0;
  const bool rejected = RejectedDate(&pos, &len);
  return out + "e" + std::to_string(e.code) + "," + std::to_string(e.pos) + "," + std::to_string(e.len) + " r" +
         std::to_string(rejected) + "," + std::to_string(pos) + "," + std::to_string(len);
}

std::string ParseTrace(const std::string& text, ExprContext* ec) {
  ExprError error{};
  uint16_t type = 0;
  HEXP exp = XEVParseFormula(ec, nullptr, text.c_str(), nullptr, &error, &type);
  std::string out = exp == nullptr ? "fail" : "ok" + std::to_string(type) + parse_test::Describe(exp->root);
  if (exp != nullptr) XEVDestroyEXP(ec, exp);
  return out + " " + std::to_string(error.code) + "," + std::to_string(error.pos) + "," + std::to_string(error.len);
}

class ScannerShortcuts : public ::testing::Test {
 protected:
  void SetUp() override {
    parse_test::AddCorpusItems(corpus_);
    corpus_.Keyword("ab cd", 300);
    for (uint16_t flags : {uint16_t{0}, uint16_t{ECF_NO_DATE_ARITH}}) {
      ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, flags);
      ExpItem item{};
      item.kind = XEV_ITEM_DATA, item.dataType = XEV_TYPE_NUMBER, item.boundValue = 1;
      std::strcpy(item.name, "Price");
      XEVAddExpressionItem(ec, &item);
      plain_.push_back(ec);
    }
  }
  void TearDown() override {
    SetScannerShortcuts(true);
    HostSetCodePage(XEV_CP_WESTERN);
    for (ExprContext* ec : plain_) XEVDestroyEC(ec);
  }

  // Scans and parses text both ways in every context; false after a difference.
  bool Same(const std::string& text, bool nameCheck) {
    std::vector<ExprContext*> contexts = plain_;
    contexts.push_back(corpus_.ec);
    contexts.push_back(nullptr);
    for (ExprContext* ec : contexts) {
      SetScannerShortcuts(true);
      const std::string fast = Trace(text, ec, nameCheck);
      SetScannerShortcuts(false);
      const std::string slow = Trace(text, ec, nameCheck);
      EXPECT_EQ(fast, slow) << "text: " << Hex(text.data(), text.size()) << " '" << text << "'";
      if (fast != slow) return false;
    }
    SetScannerShortcuts(true);
    const std::string fast = ParseTrace(text, corpus_.ec);
    SetScannerShortcuts(false);
    const std::string slow = ParseTrace(text, corpus_.ec);
    EXPECT_EQ(fast, slow) << "parsing '" << text << "'";
    return fast == slow;
  }

  parse_test::ParseContext corpus_{parse_test::kCorpusFlags};
  std::vector<ExprContext*> plain_;
};

// Pieces that make the shortcuts' decisions interesting: each kind of byte
// that may follow a name or a number, and the beginnings of dates, times,
// calls, keywords, quoted parts and strings.
const char* const kPieces[] = {
    "Price", "Quantity", "x1", "a_b", "@PI", "Jan", "January", "ab", "cd", "AND", "Days", "DISTINCT", "all", "PM",
    "am", "E", "e", "Sum", "12", "1", "1.5", "12.", ".5", "2001", "10:30", "0.25", " ", "  ", "\t", "\n", "(", ")",
    "*", "+", "-", "/", ",", "%", "|", "||", ".", ":", "'", "''", "\"", "`", "\\", "<", "=", "\r", "\x81", "\xE9",
    "\x95", "#", "$", "Price(", "Sum (", "1 ", "x ",
};

// The shortcut converts up to 18 digits itself and leaves longer runs to the
// host's conversion: both sides of that bound, with leading and trailing
// zeros and fractions, must give the host's values.
TEST_F(ScannerShortcuts, NumbersAroundTheShortCoefficientScanAlike) {
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

TEST_F(ScannerShortcuts, RandomPieceTextsScanAlike) {
  std::mt19937 random(20261207);
  for (uint32_t codePage : {XEV_CP_WESTERN, XEV_CP_SHIFTJIS}) {
    ASSERT_EQ(HostSetCodePage(codePage), 1);
    for (int round = 0; round < 2500; ++round) {
      ASSERT_TRUE(Same(parse_test::PieceText(random, kPieces, 8), round % 11 == 0));
    }
  }
}

TEST_F(ScannerShortcuts, MutatedFormulasScanAlike) {
  std::vector<std::string> formulas(std::begin(report_mix::kFormulas), std::end(report_mix::kFormulas));
  for (const auto& formula : parse_test::LoadCorpus(parse_test::CorpusPath())) formulas.push_back(formula.text);
  ASSERT_GT(formulas.size(), 50u);
  std::mt19937 random(7);
  const std::string bytes = " \t\n()*+,-/%|.:'\"`0123456789aAeEmMpPxZ_@\x81\xE9";
  for (const std::string& formula : formulas) ASSERT_TRUE(Same(formula, false));
  for (int round = 0; round < 3000; ++round) {
    ASSERT_TRUE(Same(parse_test::Mutated(random, formulas[random() % formulas.size()], bytes, true), false));
  }
}

// The match buffer holds the token and the byte that ends it: names, calls
// and numbers whose blanks or digits reach its end.
TEST_F(ScannerShortcuts, RunsAtTheMatchBufferLimitScanAlike) {
  for (size_t length = 2044; length <= 2050; ++length) {
    for (const char* head : {"a", "x1", "12", "1.5", "Jan"}) {
      for (const char* tail : {"*", "(", "", "b", ")"}) {
        ASSERT_TRUE(Same(head + std::string(length - std::strlen(head), ' ') + tail, false));
        ASSERT_TRUE(Same(std::string(length, head[0]) + tail, false));
      }
    }
  }
}

}  // namespace
