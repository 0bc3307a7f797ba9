// The built-in functions' entry points called as the evaluator calls them:
// ordinary values, NULL, missing slots, negative and oversized counts,
// double-byte text, and result blocks that must grow or fail keeping theirs.
#include <tuple>

#include "functions/call_helpers.h"
#include "functions/functions.h"

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

class NumberFunctions : public FunctionTest {};

struct NumberCase {
  XEVFunctionEntry fn;
  std::vector<Arg> args;
  const char* expected;  // exact decimal text, or "NULL"
};

TEST_F(NumberFunctions, ExactResultsNullAndTheOpenCases) {
  NumberValue null = NullNum(), one = Num("1"), two = Num("2"), three = Num("3");
  std::vector<NumberCase> cases = {
      {FUNNumberAbsolute, {null}, "NULL"},            {FUNNumberAbsolute, {Num("-2.5")}, "2.5"},
      {FUNNumberAbsolute, {Num("0")}, "0"},
      {FUNNumberMod, {Num("7"), three}, "1"},         {FUNNumberMod, {Num("-7"), three}, "-1"},
      {FUNNumberMod, {Num("7"), Num("-3")}, "1"},     {FUNNumberMod, {Num("7.9"), two}, "1"},
      {FUNNumberMod, {null, two}, "NULL"},            {FUNNumberMod, {Num("7"), null}, "NULL"},
      {FUNNumberMod, {Num("7"), Num("0.5")}, "0"},    // a zero divisor gives 0, like '/'
      {FUNNumberMod, {Num("-2147483648"), Num("-1")}, "0"},
      {FUNNumberRound, {Num("2.345"), two}, "2.35"},  {FUNNumberRound, {Num("-2.345"), two}, "-2.35"},
      {FUNNumberRound, {Num("2.5"), null}, "3"},      {FUNNumberRound, {null, two}, "NULL"},
      {FUNNumberTruncate, {Num("-2.349"), two}, "-2.34"}, {FUNNumberTruncate, {Num("7.9"), null}, "7"},
      {FUNNumberTruncate, {null, one}, "NULL"},
      {FUNPower, {two, Num("10")}, "1024"},           {FUNPower, {two, null}, "2"},
      {FUNPower, {null, two}, "NULL"},                {FUNPower, {Num("10"), Num("-2")}, "0.01"},
      {FUNPower, {Num("-8"), Num("0.5")}, "NULL"},    {FUNPower, {Num("10"), Num("400")}, "NULL"},
      {FUNNumberIFF, {Num("-4"), one, two, three}, "1"}, {FUNNumberIFF, {null, one, two, three}, "2"},
      {FUNNumberIFF, {Num("0.001"), one, two, null}, "NULL"},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(Text(CallNumber(cases[i].fn, cases[i].args)), cases[i].expected)
        << "case " << i << " " << ArgsText(cases[i].args);
  }
}

TEST_F(NumberFunctions, ExportLookupIsExact) {
  EXPECT_EQ(xev::functions::LookupExport("FUNStrLeft"), reinterpret_cast<void*>(&FUNStrLeft));
  EXPECT_EQ(xev::functions::LookupExport("FUNWeekDay"), reinterpret_cast<void*>(&FUNWeekDay));
  for (const char* name : {"StrLeft", "FUNStrleft", "FUNStrLeftX", ""}) {
    EXPECT_EQ(xev::functions::LookupExport(name), nullptr) << name;
  }
  EXPECT_EQ(xev::functions::LookupExport(nullptr), nullptr);
}

TEST_F(NumberFunctions, TextsGrowTheirBlockOrFailKeepingIt) {
  EXPECT_EQ(CallText(FUNNumberToStr, {Num("1234567.891"), Num("2")}), "1234567.89");
  EXPECT_EQ(CallText(FUNNumberToStr, {Num("-1.5"), Num("1")}), "-1.5");
  EXPECT_FALSE(CallText(FUNNumberToCurrency, {Num("12.5")}).empty());
  EXPECT_FALSE(CallText(FUNNumberCountryFmt, {Num("1234.5")}).empty());
  CallOutcome grown = Call(FUNNumberToStr, {Num("123456"), Num("0")}, 1);
  EXPECT_EQ(grown.text, "123456");
  EXPECT_EQ(CallFailingGrowth(FUNNumberToStr, {Num("123456"), Num("0")}, 1), 0);
  EXPECT_EQ(Call(FUNNumberMod, {Num("7"), nullptr}, 13).returned, 0);  // a missing slot
}

class DateFunctions : public FunctionTest {};

TEST_F(DateFunctions, FieldsQuarterAndWeekDay) {
  NumberValue d = Date(2001, 3, 17, 15, 45, 30);  // a Saturday
  std::vector<std::tuple<const char*, XEVFunctionEntry, const char*>> fields = {
      {"DateYear", FUNDateYear, "2001"},     {"DateMonth", FUNDateMonth, "3"},  {"DateDay", FUNDateDay, "17"},
      {"DateHour", FUNDateHour, "15"},       {"DateMinute", FUNDateMinute, "45"},
      {"DateSecond", FUNDateSecond, "30"},   {"DateQuarter", FUNDateQuarter, "1"}, {"WeekDay", FUNWeekDay, "6"}};
  for (auto [name, fn, expected] : fields) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Text(CallNumber(fn, {d})), expected);
    EXPECT_EQ(Text(CallNumber(fn, {NullNum()})), "NULL");  // NULL, not 0
    EXPECT_EQ(Call(fn, {nullptr}, 13).returned, 0);       // a missing slot is no NULL
  }
  const char* quarters = "111222333444";
  for (int month = 1; month <= 12; ++month) {
    EXPECT_EQ(Text(CallNumber(FUNDateQuarter, {Date(1999, month, 5)})), std::string(1, quarters[month - 1]));
  }
  EXPECT_EQ(Text(CallNumber(FUNWeekDay, {Date(2000, 1, 2)})), "0");  // a Sunday
}

TEST_F(DateFunctions, MonthBoundariesAndDayArithmetic) {
  std::vector<std::pair<NumberValue, const char*>> ends = {
      {Date(2000, 2, 10, 8), "2000-02-29 00:00:00"}, {Date(1900, 2, 1), "1900-02-28 00:00:00"},
      {Date(2004, 2, 29, 23, 59, 59), "2004-02-29 00:00:00"}, {Date(2001, 4, 2), "2001-04-30 00:00:00"},
      {NullNum(), "NULL"}};
  for (auto& [date, expected] : ends) EXPECT_EQ(DateText(CallNumber(FUNDateMonthEnd, {date})), expected);
  EXPECT_EQ(DateText(CallNumber(FUNDateMonthBegin, {Date(2001, 3, 17, 15, 45)})), "2001-03-01 00:00:00");
  EXPECT_EQ(DateText(CallNumber(FUNDateMonthBegin, {NullNum()})), "NULL");

  NumberValue eve = Date(1999, 12, 31, 23);
  EXPECT_EQ(DateText(CallNumber(FUNDateAddDay, {eve, Num("1")})), "2000-01-01 23:00:00");
  EXPECT_EQ(DateText(CallNumber(FUNDateAddDay, {eve, Num("-1.9")})), "1999-12-30 23:00:00");
  EXPECT_EQ(DateText(CallNumber(FUNDateAddDay, {eve, NullNum()})), "1999-12-31 23:00:00");
  EXPECT_EQ(DateText(CallNumber(FUNDateAddDay, {NullNum(), Num("1")})), "NULL");
}

TEST_F(DateFunctions, ConstructAndText) {
  EXPECT_EQ(DateText(CallNumber(FUNDateConstruct, {Num("2001"), Num("2"), Num("3"), Num("4"),
                                                   Num("5"), Num("6")})),
            "2001-02-03 04:05:06");
  NumberValue null = NullNum();
  EXPECT_EQ(Call(FUNDateConstruct, {null, null, null, null, null, null}, 13).returned, 1);

  NumberValue d = Date(2001, 3, 17, 15, 45, 30);
  std::string text = CallText(FUNDateToStr, {d});  // reads back to the same value
  EXPECT_EQ(DateText(CallNumber(FUNStrToDate, {text})), "2001-03-17 15:45:30");
  EXPECT_EQ(CallText(FUNDateToStr, {null}), "");
  EXPECT_EQ(CallText(FUNDateToStrPicture, {null, "yyyy"}), "");
  EXPECT_EQ(CallFailingGrowth(FUNDateToStr, {d}, 1), 0);
}

}  // namespace
