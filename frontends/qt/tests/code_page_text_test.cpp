// Text between the kit's code pages and Qt: characters round-trip, and
// positions map onto byte offsets without splitting a double-byte character.
#include <gtest/gtest.h>

#include "code_page_text.h"
#include "xev/xevhost.h"

using xevqt::CodePageText;

namespace {
// A converter is made under the code page the host runtime has selected.
struct Selected {
  explicit Selected(uint32_t codePage) : before(HostGetCodePage()) { HostSetCodePage(codePage); }
  ~Selected() { HostSetCodePage(before); }
  uint32_t before;
};
}  // namespace

TEST(CodePageText, Cp1252RoundTripsItsOwnCharactersAndMarksTheRest) {
  Selected selected(1252);
  CodePageText cp;
  std::string bytes = "Caf\xE9 \x80 5 \x93ok\x94";
  QString shown = cp.ToUnicode(bytes);
  EXPECT_EQ(shown, QString::fromUtf8("Café € 5 “ok”"));
  EXPECT_EQ(cp.FromUnicode(shown), bytes);
  EXPECT_EQ(cp.ToUnicode("\x81"), QString(QChar(0xFFFD)));    // undefined in the code page
  EXPECT_EQ(cp.FromUnicode(QString::fromUtf8("日")), "?");
}

TEST(CodePageText, Cp932PositionsNeverSplitADoubleByteCharacter) {
  Selected selected(932);
  CodePageText cp;
  std::string bytes = "A\x93\xFA" "B\xB1";  // A, a kanji (two bytes), B, a half-width katakana
  xevqt::DisplayText d = cp.ToDisplay(bytes, false);
  EXPECT_EQ(d.text, QString::fromUtf8("A日Bｱ"));
  EXPECT_EQ(d.byteAt, (std::vector<int32_t>{0, 1, 3, 4, 5}));
  EXPECT_EQ(d.PositionOf(2), 1);  // the kanji's second byte belongs to the kanji
  EXPECT_EQ(d.PositionOf(3), 2);
  EXPECT_EQ(d.ByteOffsetOf(2), 3);
  EXPECT_EQ(d.ByteOffsetOf(99), 5);
  EXPECT_EQ(cp.FromUnicode(d.text), bytes);
}

TEST(CodePageText, Utf8PositionsMapEveryUnitOfACharacterToItsFirstByte) {
  Selected selected(65001);
  CodePageText cp;
  std::string bytes = "A\xCE\xB1\xE5\x8C\x97\xF0\x9F\x98\x80\xFF";  // A, alpha, a hanzi, an emoji, a stray byte
  xevqt::DisplayText d = cp.ToDisplay(bytes, false);
  EXPECT_EQ(d.text, QString::fromUtf8("A\u03B1\u5317\U0001F600") + QChar(0xFFFD));
  EXPECT_EQ(d.byteAt, (std::vector<int32_t>{0, 1, 3, 6, 6, 10, 11}));
  EXPECT_EQ(d.PositionOf(4), 2);    // inside the hanzi
  EXPECT_EQ(d.ByteOffsetOf(4), 6);  // between the emoji's surrogate halves
  EXPECT_EQ(cp.FromUnicode(d.text.left(5)), bytes.substr(0, 10));
  EXPECT_EQ(cp.FromUnicode(QString(QChar(0xD800))), "\xEF\xBF\xBD");  // a lone surrogate half
}

TEST(CodePageText, MultiLineTextsShowCrLfAsOneBreak) {
  Selected selected(1252);
  CodePageText cp;
  xevqt::DisplayText d = cp.ToDisplay("a\r\nb", true);
  EXPECT_EQ(d.text, QString("a\nb"));
  EXPECT_EQ(d.ByteOffsetOf(2), 3);  // b starts after both bytes of the break
  EXPECT_EQ(d.PositionOf(2), 1);    // between CR and LF is the break itself
}
