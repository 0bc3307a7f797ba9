#include "functions/call_helpers.h"
#include "functions/functions.h"

using namespace xev_test;

namespace {

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

TEST_F(NumberFunctions, DateIffPassesADateThrough) {
  NumberValue day = Date(2001, 3, 17, 15, 45);
  EXPECT_EQ(DateText(CallNumber(FUNDateIFF, {Num("-1"), day, NullNum(), NullNum()})),
            "2001-03-17 15:45:00");
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

}  // namespace
