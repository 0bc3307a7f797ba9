#include "functions/call_helpers.h"

using namespace xev_test;

namespace {

class StringFunctions : public FunctionTest {};

struct TextCase {
  XEVFunctionEntry fn;
  std::vector<Arg> args;
  std::string expected;
};

void ExpectTexts(std::vector<TextCase> cases) {
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(CallText(cases[i].fn, cases[i].args), cases[i].expected)
        << "case " << i << " " << ArgsText(cases[i].args);
  }
}

TEST_F(StringFunctions, OrdinaryValuesNullAndNegativeCounts) {
  NumberValue null = NullNum();
  ExpectTexts({
      {FUNStrLeft, {"abcdef", Num("3")}, "abc"},          {FUNStrLeft, {"abc", Num("-2")}, ""},
      {FUNStrLeft, {"abc", Num("2147483647")}, "abc"},    {FUNStrRight, {"abcdef", Num("2")}, "ef"},
      {FUNStrRight, {"abc", null}, ""},                   {FUNStrMid, {"abcdef", Num("1"), Num("3")}, "bcd"},
      {FUNStrMid, {"abc", Num("99"), Num("2")}, ""},      {FUNStrMid, {"abc", Num("-5"), Num("2")}, "ab"},
      {FUNStrTrim, {"  ab c  "}, "ab c"},                 {FUNStrRTrim, {"  ab c  "}, "  ab c"},
      {FUNStrLTrim, {"  ab c  "}, "ab c  "},              {FUNStrUpper, {"hello wORLD 1"}, "HELLO WORLD 1"},
      {FUNStrLower, {"hello wORLD 1"}, "hello world 1"},  {FUNStrProper, {"hello wORLD"}, "Hello World"},
      {FUNStrRepeat, {"ab", Num("3")}, "ababab"},         {FUNStrRepeat, {"ab", Num("-4")}, ""},
      {FUNStrRepeat, {"ab", null}, ""},                   {FUNStrRepeat, {"", Num("1000000000")}, ""},
      {FUNStrSpaces, {Num("3")}, "   "},                  {FUNStrSpaces, {Num("-2")}, ""},
      {FUNStrPad, {"abc", Num("5")}, "abc  "},            {FUNStrPad, {"abcdef", Num("3")}, "abc"},
      {FUNStrPad, {"abc", Num("-1")}, ""},
      // The count is limited by the replacement's length.
      {FUNStrReplace, {"abcdef", Num("1"), Num("2"), "XY"}, "aXYdef"},
      {FUNStrReplace, {"abcdef", Num("1"), Num("5"), "XY"}, "aXYdef"},
      {FUNStrReplace, {"abcdef", Num("99"), Num("1"), "XY"}, "abcdefXY"},
      {FUNStrReplace, {"abcdef", Num("-3"), null, "XY"}, "XYabcdef"},
      {FUNStrIFF, {Num("-0.5"), "neg", "zero", "pos"}, "neg"},
      {FUNStrIFF, {null, "neg", "zero", "pos"}, "zero"},
      {FUNStrIFF, {Num("7"), "neg", "zero", std::string(80, 'p')}, std::string(80, 'p')},
  });
}

TEST_F(StringFunctions, ListPicking) {
  ExpectTexts({
      {FUNStrCase, {Num("0"), "a,b,c"}, "a"},  {FUNStrCase, {Num("2"), "a,b,c"}, "c"},
      {FUNStrCase, {Num("3"), "a,b,c"}, ""},   {FUNStrCase, {Num("-1"), "a,b,c"}, ""},
      {FUNStrCase, {NullNum(), "a,b,c"}, "a"}, {FUNStrCase, {Num("1"), "a,,c"}, ""},
      {FUNStrCase, {Num("1"), "a, b ,c"}, " b "},
      {FUNStrTranslate, {"b", "a,b,c", "x,y,z"}, "y"}, {FUNStrTranslate, {"B", "a,b,c", "x,y,z"}, ""},
      {FUNStrTranslate, {"c", "a,b,c", "x,y"}, ""},    {FUNStrTranslate, {"", "a,,c", "x,y,z"}, "y"},
  });
  // Without memory for its working copy the translation is empty, not a failure.
  EXPECT_EQ(CallFailingGrowth(FUNStrTranslate, {"b", "a,b,c", "x,y,z"}, 50), 1);
}

TEST_F(StringFunctions, NumbersAndValuesFromTexts) {
  EXPECT_EQ(Text(CallNumber(FUNStrLength, {"abc"})), "3");
  NumberValue order = CallNumber(FUNStrCompare, {"a", "b"});
  EXPECT_LT(NumberToInt(&order), 0);
  EXPECT_EQ(Text(CallNumber(FUNStrCompare, {"abc", "abc"})), "0");
  EXPECT_NE(Text(CallNumber(FUNStrCompare, {"a", "A"})), "0");
  EXPECT_EQ(Text(CallNumber(FUNStrScan, {"hello", "ll"})), "2");
  EXPECT_EQ(Text(CallNumber(FUNStrScan, {"hello", "xyz"})), "-1");
  EXPECT_EQ(Text(CallNumber(FUNStrToNumber, {"12.5"})), "12.5");
  EXPECT_EQ(Text(CallNumber(FUNStrToNumber, {"abc"})), "0");
  EXPECT_EQ(DateText(CallNumber(FUNStrToDate, {"abc"})), "NULL");
  EXPECT_EQ(DateText(CallNumber(FUNStrToDate, {"2/29/2000"})), "2000-02-29 00:00:00");
}

TEST_F(StringFunctions, GrowthAndItsFailure) {
  CallOutcome left = Call(FUNStrLeft, {std::string(300, 'q'), Num("200")});
  EXPECT_EQ(left.text, std::string(200, 'q'));
  EXPECT_GE(left.blockSize, 201u);
  EXPECT_EQ(CallFailingGrowth(FUNStrLeft, {std::string(300, 'q'), Num("200")}, 50), 0);
  EXPECT_EQ(CallFailingGrowth(FUNStrRepeat, {"x", Num("1000000000")}, 50), 0);
  // More than 32 bits can size fails without asking for memory.
  EXPECT_EQ(Call(FUNStrRepeat, {"abcdefghij", Num("1000000000")}).returned, 0);
}

// A missing slot (its argument failed) fails the call rather than read as "".
TEST_F(StringFunctions, MissingSlotsFailTheCall) {
  EXPECT_EQ(Call(FUNStrUpper, {nullptr}).returned, 0);
  EXPECT_EQ(Call(FUNStrReplace, {"ab", Num("1"), Num("1"), nullptr}).returned, 0);
  EXPECT_EQ(Call(FUNStrLength, {nullptr}, 13).returned, 0);
  EXPECT_EQ(Call(FUNStrLeft, {}).returned, 0);
}

TEST_F(StringFunctions, DoubleByteTextIsNeverSplit) {
  ASSERT_EQ(HostSetCodePage(XEV_CP_SHIFTJIS), 1);
  // Two characters whose trail bytes look like 'a' and a backslash.
  const std::string wide = "\x82\x61\x83\x5c";
  EXPECT_EQ(Text(CallNumber(FUNStrLength, {wide})), "2");
  ExpectTexts({
      {FUNStrLeft, {wide, Num("1")}, "\x82\x61"},      {FUNStrRight, {wide, Num("1")}, "\x83\x5c"},
      {FUNStrMid, {"a" + wide, Num("1"), Num("1")}, "\x82\x61"},
      {FUNStrUpper, {"a\x82\x61"}, "A\x82\x61"},      {FUNStrPad, {wide, Num("3")}, wide + " "},
      {FUNStrPad, {wide, Num("1")}, "\x82\x61"},      {FUNStrCase, {Num("1"), "\x82\x61," + wide}, wide},
  });
  // Counts become bytes by doubling: 40 wide characters need 81 bytes.
  std::string forty;
  for (int i = 0; i < 40; ++i) forty += "\x82\x61";
  CallOutcome left = Call(FUNStrLeft, {forty, Num("40")});
  EXPECT_EQ(left.text, forty);
  EXPECT_GE(Call(FUNStrPad, {"a", Num("30")}).blockSize, 61u);
}

}  // namespace
