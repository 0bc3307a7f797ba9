// String operations over the single-byte and the double-byte code page. The
// Shift-JIS samples are chosen so that a trail byte looks like something else
// (a letter, a backslash, a delimiter), which is where byte-wise code breaks.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "xev/xevhost.h"

namespace {

// Shift-JIS characters (two bytes each).
constexpr const char* kNi = "\x93\xFA";    // a kanji
constexpr const char* kHon = "\x96\x7B";   // a kanji whose trail byte is "{"
constexpr const char* kSo = "\x83\x5C";    // katakana whose trail byte is "\"
constexpr const char* kPo = "\x83\x7C";    // katakana whose trail byte is "|"
constexpr const char* kDi = "\x83\x61";    // katakana whose trail byte is "a"
constexpr const char* kWideA = "\x82\x81"; // full-width small a
constexpr const char* kWideAUpper = "\x82\x60";

std::string S(std::initializer_list<const char*> parts) {
  std::string s;
  for (const char* part : parts) s += part;
  return s;
}

class CodePageTest : public ::testing::Test {
 protected:
  void TearDown() override { HostSetCodePage(XEV_CP_WESTERN); }
  static void UseShiftJis() { ASSERT_EQ(1, HostSetCodePage(XEV_CP_SHIFTJIS)); }
};

// A heap copy of exactly the string's bytes plus terminator, so that the
// sanitizer build catches any read past the end.
std::unique_ptr<char[]> Exact(const std::string& s) {
  auto copy = std::make_unique<char[]>(s.size() + 1);
  std::memcpy(copy.get(), s.c_str(), s.size() + 1);
  return copy;
}

// Left, Right and Mid into a buffer as large as the source.
std::string Left(const std::string& s, int n) {
  return HostStrLeft(std::vector<char>(s.size() + 1).data(), s.c_str(), n);
}
std::string Right(const std::string& s, int n) {
  return HostStrRight(std::vector<char>(s.size() + 1).data(), s.c_str(), n);
}

TEST_F(CodePageTest, SelectionAndCharacterClasses) {
  EXPECT_EQ(0, HostIsLeadByte(0x93));
  EXPECT_TRUE(HostIsAlpha(static_cast<char>(0xE9)));  // e acute, passed as a signed char
  EXPECT_FALSE(HostIsAlpha(0xD7));                     // multiplication sign
  EXPECT_EQ(0, HostSetCodePage(437));
  EXPECT_EQ(XEV_CP_WESTERN, HostGetCodePage());

  UseShiftJis();
  EXPECT_EQ(1, HostIsDbcs());
  EXPECT_EQ(1, HostIsLeadByte(0xFC));
  EXPECT_EQ(0, HostIsLeadByte(0xA1));  // half-width katakana are single bytes
  EXPECT_FALSE(HostIsAlpha(0xE9));     // a lead byte alone is no letter
  EXPECT_TRUE(HostIsAlpha(0xB1));
  EXPECT_TRUE(HostIsAlpha(0x93FA));    // kanji
  EXPECT_FALSE(HostIsAlpha(0x8140));   // ideographic space
  EXPECT_FALSE(HostIsAlpha(0x4141));   // no lead byte
}

TEST_F(CodePageTest, LeadByteBeforeTerminatorIsNeverReadPast) {
  UseShiftJis();
  auto s = Exact("ab\x93");
  EXPECT_EQ(3, HostStrCharCount(s.get()));
  EXPECT_EQ("ab\x93", Left(s.get(), 5));
  EXPECT_EQ("\x93", Right(s.get(), 1));
  EXPECT_EQ(s.get() + 3, HostStrAdvance(s.get(), 5));
  EXPECT_EQ(-1, HostStrScan(s.get(), "x"));
  EXPECT_EQ(nullptr, HostStrChr(s.get(), 'x'));
  EXPECT_EQ(1, HostStrPrefix(s.get(), "ab\x93", 9));
  char word[8];
  EXPECT_EQ(3, HostNextToken(word, s.get(), " ", " ", 0, '"', 0));
  EXPECT_STREQ("ab\x93", word);
  auto quoted = Exact("\"a\x93");
  EXPECT_EQ(3, HostNextToken(word, quoted.get(), " ", " ", 0, '"', 0));
  EXPECT_EQ("ab\x93", std::string(HostStrNormalize(s.get())));
  EXPECT_EQ("AB\x93", std::string(HostStrUpper(s.get())));  // last: it rewrites s
}

TEST_F(CodePageTest, CaseFoldingSkipsTrailBytes) {
  std::string western = "abc \xE0\xE9\xFF\xDF";
  HostStrUpper(western.data());
  EXPECT_EQ("ABC \xC0\xC9\x9F\xDF", western);  // sharp s has no capital
  HostStrLower(western.data());
  EXPECT_EQ("abc \xE0\xE9\xFF\xDF", western);

  UseShiftJis();
  std::string s = S({kDi, "a", kWideA});
  HostStrUpper(s.data());
  EXPECT_EQ(S({kDi, "A", kWideAUpper}), s);
  HostStrLower(s.data());
  EXPECT_EQ(S({kDi, "a", kWideA}), s);
}

TEST_F(CodePageTest, ProperCaseCapitalisesWordStarts) {
  char out[64];
  EXPECT_STREQ("Hello World O'Neil 3rd A-B", HostStrProper(out, "hELLO wORLD o'neil 3rd a-b"));
  EXPECT_STREQ("O'Brien's Pub D'Arcy", HostStrProper(out, "o'BRIEN'S pub d'arcy"));

  UseShiftJis();
  // A double-byte character is a letter inside the word: what follows is lowered.
  std::string s = S({"a", kWideA, "B"});
  HostStrProper(out, s.c_str());
  EXPECT_EQ(S({"A", kWideA, "b"}), std::string(out));
}

TEST_F(CodePageTest, TrimmingAndNormalising) {
  char out[32];
  EXPECT_STREQ("a b", HostStrTrim(out, " \t a b \t "));
  EXPECT_STREQ(" \t a b", HostStrRTrim(out, " \t a b \t "));
  EXPECT_STREQ("", HostStrTrim(out, "   "));
  EXPECT_STREQ("x ", HostStrSkipBlanks("  x "));

  std::string messy = "a\x01" "b\tc\x7F  ";
  EXPECT_STREQ("abc", HostStrNormalize(messy.data()));
  for (std::string name : {"Formula12", "#Amount", "x.y"}) {
    EXPECT_EQ(name, HostStrNormalize(std::string(name).data()));
  }

  UseShiftJis();
  // The ideographic space is no blank; a trailing one stays.
  std::string wide = S({" ", kNi, "\x81\x40", " "});
  EXPECT_EQ(S({kNi, "\x81\x40"}), std::string(HostStrTrim(out, wide.c_str())));
}

TEST_F(CodePageTest, SearchMatchesOnlyAtCharacterStarts) {
  EXPECT_EQ(2, HostStrScan("abcd", "cd"));
  EXPECT_EQ(-1, HostStrScan("abcd", "x"));

  std::string trailA = S({kDi, "x"});     // bytes 83 61 78
  std::string trailSlash = S({kSo, "\\"});  // bytes 83 5C 5C
  EXPECT_EQ(1, HostStrScan(trailA.c_str(), "a"));
  EXPECT_EQ(trailSlash.c_str() + 1, HostStrChr(trailSlash.c_str(), '\\'));

  UseShiftJis();
  EXPECT_EQ(-1, HostStrScan(trailA.c_str(), "a"));
  EXPECT_EQ(1, HostStrScan(trailA.c_str(), "x"));
  EXPECT_EQ(2, HostStrScan(S({"a", kNi, kHon}).c_str(), kHon));
  EXPECT_EQ(trailSlash.c_str() + 2, HostStrChr(trailSlash.c_str(), '\\'));
  EXPECT_EQ(trailSlash.c_str(), HostStrChr(trailSlash.c_str(), 0x835C));
  EXPECT_EQ(trailSlash.c_str() + 3, HostStrChr(trailSlash.c_str(), 0));
}

TEST_F(CodePageTest, PrefixComparesWholeCharactersCaseSensitively) {
  EXPECT_EQ(1, HostStrPrefix("Formula12", "Formula", 7));
  EXPECT_EQ(0, HostStrPrefix("Form", "Formula", 7));
  EXPECT_EQ(0, HostStrPrefix("formula", "Formula", 7));
  EXPECT_EQ(1, HostStrPrefix("ab", "ab", 5));
  EXPECT_EQ(0, HostStrPrefix("abc", "ab", 5));
}

using TokenList = std::vector<std::pair<std::string, int>>;

// Runs the tokenizer over text with the delimiters the engine passes and
// returns each token with its start offset; checks that the consumed counts
// cover the text exactly.
TokenList Tokens(const std::string& text) {
  const char* delims = " \t\r()*+-/|%,";
  TokenList tokens;
  std::vector<char> word(text.size() + 2);
  size_t at = 0;
  for (int guard = 0; guard < 100; ++guard) {
    int consumed = HostNextToken(word.data(), text.c_str() + at, delims, delims, 0, '"', 0);
    if (consumed == 0) break;
    int start = static_cast<int>(at) + consumed - static_cast<int>(std::strlen(word.data()));
    if (word[0] != 0) tokens.emplace_back(word.data(), start);
    at += static_cast<size_t>(consumed);
  }
  EXPECT_EQ(text.size(), at);
  return tokens;
}

TEST_F(CodePageTest, TokensSplitAtDelimitersAndKeepQuotedTextWhole) {
  EXPECT_EQ((TokenList{{"StrLeft", 0}, {"\"a, b\"", 8}, {"2", 16}, {"x", 19}}),
            Tokens("StrLeft(\"a, b\", 2)+x"));
  EXPECT_EQ((TokenList{{"Day", 2}}), Tokens("  Day ) "));
  EXPECT_EQ((TokenList{}), Tokens(" ,()"));
  EXPECT_EQ((TokenList{{"\"say \"\"hi\"\"\"", 0}, {"y", 13}}), Tokens("\"say \"\"hi\"\"\" y"));
  EXPECT_EQ((TokenList{{"a", 0}, {"\"open (", 2}}), Tokens("a \"open ("));
  EXPECT_EQ((TokenList{{"a\"b", 0}}), Tokens("a\"b"));  // a quote only opens a token at its start

  char word[4] = "zz";
  EXPECT_EQ(0, HostNextToken(word, "", " ", " ", 0, '"', 0));
  EXPECT_STREQ("", word);

  UseShiftJis();
  // "|" as a trail byte is part of a character, not a delimiter.
  std::string text = S({kPo, "|", kNi, " \"", kSo, "\""});
  EXPECT_EQ((TokenList{{kPo, 0}, {kNi, 3}, {S({"\"", kSo, "\""}), 6}}), Tokens(text));
}

}  // namespace
