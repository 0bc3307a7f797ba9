#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "functions/call_helpers.h"

using namespace xev_test;

namespace {

class StringFunctions : public FunctionTest {};

// Two double-byte characters of code page 932 whose trail bytes look like
// ASCII letters or a backslash, which is where byte-wise code goes wrong.
const char kTwoWide[] = "\x82\x61\x83\x5c";

TEST_F(StringFunctions, PartsOfAStringCountCharactersAndTolerateBadCounts) {
  EXPECT_EQ(CallText(FUNStrLeft, {"abcdef", Num("3")}), "abc");
  EXPECT_EQ(CallText(FUNStrRight, {"abcdef", Num("2")}), "ef");
  EXPECT_EQ(CallText(FUNStrMid, {"abcdef", Num("1"), Num("3")}), "bcd");
  EXPECT_EQ(CallText(FUNStrLeft, {"abc", Num("10")}), "abc");
  EXPECT_EQ(CallText(FUNStrLeft, {"abc", Num("-2")}), "");
  EXPECT_EQ(CallText(FUNStrRight, {"abc", NullNum()}), "");
  EXPECT_EQ(CallText(FUNStrMid, {"abc", Num("99"), Num("2")}), "");
  EXPECT_EQ(CallText(FUNStrMid, {"abc", NullNum(), Num("2")}), "ab");
  EXPECT_EQ(CallText(FUNStrMid, {"abc", Num("-5"), Num("2")}), "ab");
  EXPECT_EQ(CallText(FUNStrLeft, {"abc", Num("2147483647")}), "abc");
}

TEST_F(StringFunctions, LongResultsGrowTheBlock) {
  std::string longText(300, 'q');
  CallOutcome left = Call(FUNStrLeft, {longText.c_str(), Num("200")}, 50);
  EXPECT_EQ(left.returned, 1);
  EXPECT_EQ(left.text, std::string(200, 'q'));
  EXPECT_GE(left.blockSize, 201u);

  CallOutcome repeated = Call(FUNStrRepeat, {"ab", Num("100")}, 50);
  EXPECT_EQ(repeated.text.size(), 200u);
  EXPECT_GE(repeated.blockSize, 201u);
}

TEST_F(StringFunctions, FailedGrowthReturnsZeroAndKeepsTheBlock) {
  std::string longText(300, 'q');
  void* block = HostAlloc(50);
  std::strcpy(static_cast<char*>(block), "old");
  std::string arg = longText;
  void* args[2];
  NumberValue count = Num("200");
  args[0] = arg.data();
  args[1] = &count;
  HostFailAllocationAfter(1);
  EXPECT_EQ(FUNStrLeft(nullptr, nullptr, 50, &block, "StrLeft", args), 0);
  HostFailAllocationAfter(0);
  EXPECT_STREQ(static_cast<char*>(block), "old");
  HostFree(block);
}

TEST_F(StringFunctions, HugeRepeatFailsCleanly) {
  void* block = HostAlloc(50);
  void* args[2];
  NumberValue count = Num("1000000000");
  char x[] = "x";
  args[0] = x;
  args[1] = &count;
  HostFailAllocationAfter(1);
  EXPECT_EQ(FUNStrRepeat(nullptr, nullptr, 50, &block, "StrRepeat", args), 0);
  HostFailAllocationAfter(0);
  // More than a 32-bit size can name fails without asking for memory.
  char ten[] = "abcdefghij";
  args[0] = ten;
  EXPECT_EQ(FUNStrRepeat(nullptr, nullptr, 50, &block, "StrRepeat", args), 0);
  HostFree(block);
}

TEST_F(StringFunctions, RepeatSpacesAndPadWithEveryKindOfCount) {
  EXPECT_EQ(CallText(FUNStrRepeat, {"ab", Num("3")}), "ababab");
  EXPECT_EQ(CallText(FUNStrRepeat, {"ab", Num("0")}), "");
  EXPECT_EQ(CallText(FUNStrRepeat, {"ab", Num("-4")}), "");
  EXPECT_EQ(CallText(FUNStrRepeat, {"ab", NullNum()}), "");
  EXPECT_EQ(CallText(FUNStrRepeat, {"", Num("1000000000")}), "");
  EXPECT_EQ(CallText(FUNStrSpaces, {Num("3")}), "   ");
  EXPECT_EQ(CallText(FUNStrSpaces, {Num("-2")}), "");
  EXPECT_EQ(CallText(FUNStrPad, {"abc", Num("5")}), "abc  ");
  EXPECT_EQ(CallText(FUNStrPad, {"abcdef", Num("3")}), "abc");
  EXPECT_EQ(CallText(FUNStrPad, {"abc", Num("-1")}), "");
  EXPECT_EQ(CallText(FUNStrPad, {"", NullNum()}), "");
}

TEST_F(StringFunctions, TrimmingAndCaseFolding) {
  EXPECT_EQ(CallText(FUNStrTrim, {"  ab c  "}), "ab c");
  EXPECT_EQ(CallText(FUNStrRTrim, {"  ab c  "}), "  ab c");
  EXPECT_EQ(CallText(FUNStrLTrim, {"  ab c  "}), "ab c  ");
  EXPECT_EQ(CallText(FUNStrUpper, {"hello wORLD 1"}), "HELLO WORLD 1");
  EXPECT_EQ(CallText(FUNStrLower, {"hello wORLD 1"}), "hello world 1");
  EXPECT_EQ(CallText(FUNStrProper, {"hello wORLD"}), "Hello World");
}

TEST_F(StringFunctions, NumbersAboutStrings) {
  EXPECT_EQ(Text(CallNumber(FUNStrLength, {"abc"})), "3");
  EXPECT_EQ(Text(CallNumber(FUNStrLength, {""})), "0");
  EXPECT_LT(IntOf(CallNumber(FUNStrCompare, {"a", "b"})), 0);
  EXPECT_EQ(Text(CallNumber(FUNStrCompare, {"abc", "abc"})), "0");
  EXPECT_GT(IntOf(CallNumber(FUNStrCompare, {"b", "a"})), 0);
  EXPECT_NE(Text(CallNumber(FUNStrCompare, {"a", "A"})), "0");
  EXPECT_EQ(Text(CallNumber(FUNStrScan, {"hello", "ll"})), "2");
  EXPECT_EQ(Text(CallNumber(FUNStrScan, {"hello", "xyz"})), "-1");
}

TEST_F(StringFunctions, ReplaceLimitsItsCountByTheReplacement) {
  EXPECT_EQ(CallText(FUNStrReplace, {"abcdef", Num("1"), Num("2"), "XY"}), "aXYdef");
  EXPECT_EQ(CallText(FUNStrReplace, {"abcdef", Num("1"), Num("5"), "XY"}), "aXYdef");
  EXPECT_EQ(CallText(FUNStrReplace, {"abcdef", Num("99"), Num("1"), "XY"}), "abcdefXY");
  EXPECT_EQ(CallText(FUNStrReplace, {"abcdef", Num("-3"), Num("-1"), "XY"}), "XYabcdef");
  EXPECT_EQ(CallText(FUNStrReplace, {"abcdef", NullNum(), NullNum(), ""}), "abcdef");
}

TEST_F(StringFunctions, ChoiceBySign) {
  EXPECT_EQ(CallText(FUNStrIFF, {Num("-0.5"), "neg", "zero", "pos"}), "neg");
  EXPECT_EQ(CallText(FUNStrIFF, {Num("0"), "neg", "zero", "pos"}), "zero");
  EXPECT_EQ(CallText(FUNStrIFF, {NullNum(), "neg", "zero", "pos"}), "zero");
  EXPECT_EQ(CallText(FUNStrIFF, {Num("7"), "neg", "zero", std::string(80, 'p').c_str()}),
            std::string(80, 'p'));
}

TEST_F(StringFunctions, ListPicking) {
  EXPECT_EQ(CallText(FUNStrCase, {Num("0"), "a,b,c"}), "a");
  EXPECT_EQ(CallText(FUNStrCase, {Num("2"), "a,b,c"}), "c");
  EXPECT_EQ(CallText(FUNStrCase, {Num("3"), "a,b,c"}), "");
  EXPECT_EQ(CallText(FUNStrCase, {Num("-1"), "a,b,c"}), "");
  EXPECT_EQ(CallText(FUNStrCase, {NullNum(), "a,b,c"}), "a");
  EXPECT_EQ(CallText(FUNStrCase, {Num("1"), "a,,c"}), "");
  EXPECT_EQ(CallText(FUNStrCase, {Num("1"), "a, b ,c"}), " b ");
  EXPECT_EQ(CallText(FUNStrCase, {Num("0"), ""}), "");

  EXPECT_EQ(CallText(FUNStrTranslate, {"b", "a,b,c", "x,y,z"}), "y");
  EXPECT_EQ(CallText(FUNStrTranslate, {"B", "a,b,c", "x,y,z"}), "");
  EXPECT_EQ(CallText(FUNStrTranslate, {"c", "a,b,c", "x,y"}), "");
  EXPECT_EQ(CallText(FUNStrTranslate, {"", "a,,c", "x,y,z"}), "y");
  EXPECT_EQ(CallText(FUNStrTranslate, {"q", "a,b,c", "x,y,z"}), "");
}

TEST_F(StringFunctions, TranslateWithoutMemoryForItsCopyGivesEmpty) {
  void* block = HostAlloc(50);
  char value[] = "b", from[] = "a,b,c", to[] = "x,y,z";
  void* args[3] = {value, from, to};
  HostFailAllocationAfter(1);
  EXPECT_EQ(FUNStrTranslate(nullptr, nullptr, 50, &block, "StrTranslate", args), 1);
  HostFailAllocationAfter(0);
  EXPECT_STREQ(static_cast<char*>(block), "");
  HostFree(block);
}

TEST_F(StringFunctions, TextToValues) {
  EXPECT_EQ(Text(CallNumber(FUNStrToNumber, {"12.5"})), "12.5");
  EXPECT_EQ(Text(CallNumber(FUNStrToNumber, {"abc"})), "0");
  EXPECT_EQ(Text(CallNumber(FUNStrToNumber, {""})), "0");
  EXPECT_EQ(DateText(CallNumber(FUNStrToDate, {"abc"})), "NULL");
  EXPECT_EQ(DateText(CallNumber(FUNStrToDate, {""})), "NULL");
  EXPECT_EQ(DateText(CallNumber(FUNStrToDate, {"2/29/2000"})), "2000-02-29 00:00:00");
}

// A slot is null only when its argument could not be evaluated; the call then
// fails rather than compute with a value that was never there.
TEST_F(StringFunctions, NullSlotsFailTheCall) {
  EXPECT_EQ(Call(FUNStrUpper, {nullptr}, 50).returned, 0);
  EXPECT_EQ(Call(FUNStrCase, {nullptr, "a,b"}, 50).returned, 0);
  EXPECT_EQ(Call(FUNStrReplace, {"ab", Num("1"), Num("1"), nullptr}, 50).returned, 0);
  EXPECT_EQ(Call(FUNStrLength, {nullptr}, 13).returned, 0);
  EXPECT_EQ(Call(FUNStrLeft, {}, 50).returned, 0);
}

TEST_F(StringFunctions, DoubleByteTextIsNeverSplit) {
  ASSERT_EQ(HostSetCodePage(XEV_CP_SHIFTJIS), 1);
  EXPECT_EQ(Text(CallNumber(FUNStrLength, {kTwoWide})), "2");
  EXPECT_EQ(CallText(FUNStrLeft, {kTwoWide, Num("1")}), "\x82\x61");
  EXPECT_EQ(CallText(FUNStrRight, {kTwoWide, Num("1")}), "\x83\x5c");
  EXPECT_EQ(CallText(FUNStrMid, {"a\x82\x61z", Num("1"), Num("1")}), "\x82\x61");
  EXPECT_EQ(CallText(FUNStrUpper, {"a\x82\x61"}), "A\x82\x61");
  EXPECT_EQ(CallText(FUNStrPad, {kTwoWide, Num("3")}), std::string(kTwoWide) + " ");
  EXPECT_EQ(CallText(FUNStrPad, {kTwoWide, Num("1")}), "\x82\x61");
  EXPECT_EQ(CallText(FUNStrCase, {Num("1"), "\x82\x61,\x83\x5c"}), "\x83\x5c");

  // Counts become bytes by doubling: forty wide characters need 81 bytes.
  std::string wide;
  for (int i = 0; i < 40; ++i) wide += "\x82\x61";
  CallOutcome left = Call(FUNStrLeft, {wide.c_str(), Num("40")}, 50);
  EXPECT_EQ(left.text, wide);
  EXPECT_GE(left.blockSize, 81u);
  CallOutcome pad = Call(FUNStrPad, {"a", Num("30")}, 50);
  EXPECT_EQ(pad.text, "a" + std::string(29, ' '));
  EXPECT_GE(pad.blockSize, 61u);
}

}  // namespace
