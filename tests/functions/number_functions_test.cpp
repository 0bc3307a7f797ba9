#include <gtest/gtest.h>

#include "functions/call_helpers.h"
#include "functions/functions.h"

using namespace xev_test;

namespace {

class NumberFunctions : public FunctionTest {};

TEST_F(NumberFunctions, AbsoluteKeepsNullAndFlipsOnlyNegatives) {
  EXPECT_EQ(Text(CallNumber(FUNNumberAbsolute, {NullNum()})), "NULL");
  EXPECT_EQ(Text(CallNumber(FUNNumberAbsolute, {Num("-2.5")})), "2.5");
  EXPECT_EQ(Text(CallNumber(FUNNumberAbsolute, {Num("0")})), "0");
  EXPECT_EQ(Text(CallNumber(FUNNumberAbsolute, {Num("1234567890123456789012")})),
            "1234567890123456789012");
  EXPECT_EQ(Text(CallNumber(FUNNumberAbsolute, {Num("-0.0000001")})), "0.0000001");
}

TEST_F(NumberFunctions, ModWorksOnWholeNumbersWithTheSignOfTheDividend) {
  EXPECT_EQ(Text(CallNumber(FUNNumberMod, {Num("7"), Num("3")})), "1");
  EXPECT_EQ(Text(CallNumber(FUNNumberMod, {Num("-7"), Num("3")})), "-1");
  EXPECT_EQ(Text(CallNumber(FUNNumberMod, {Num("7"), Num("-3")})), "1");
  EXPECT_EQ(Text(CallNumber(FUNNumberMod, {Num("7.9"), Num("2")})), "1");
  EXPECT_EQ(Text(CallNumber(FUNNumberMod, {NullNum(), Num("2")})), "NULL");
  EXPECT_EQ(Text(CallNumber(FUNNumberMod, {Num("7"), NullNum()})), "NULL");
  // The cases without a remainder give zero, like a division by zero.
  EXPECT_EQ(Text(CallNumber(FUNNumberMod, {Num("7"), Num("0")})), "0");
  EXPECT_EQ(Text(CallNumber(FUNNumberMod, {Num("7"), Num("0.5")})), "0");
  EXPECT_EQ(Text(CallNumber(FUNNumberMod, {Num("-2147483648"), Num("-1")})), "0");
}

TEST_F(NumberFunctions, RoundAndTruncateAgainstExactDecimals) {
  EXPECT_EQ(Text(CallNumber(FUNNumberRound, {Num("2.345"), Num("2")})), "2.35");
  EXPECT_EQ(Text(CallNumber(FUNNumberRound, {Num("-2.345"), Num("2")})), "-2.35");
  EXPECT_EQ(Text(CallNumber(FUNNumberRound, {Num("2.5"), NullNum()})), "3");
  EXPECT_EQ(Text(CallNumber(FUNNumberRound, {Num("0.125"), Num("2")})), "0.13");
  EXPECT_EQ(Text(CallNumber(FUNNumberRound, {NullNum(), Num("2")})), "NULL");
  EXPECT_EQ(Text(CallNumber(FUNNumberTruncate, {Num("2.349"), Num("2")})), "2.34");
  EXPECT_EQ(Text(CallNumber(FUNNumberTruncate, {Num("-2.349"), Num("2")})), "-2.34");
  EXPECT_EQ(Text(CallNumber(FUNNumberTruncate, {Num("7.9"), NullNum()})), "7");
  EXPECT_EQ(Text(CallNumber(FUNNumberTruncate, {NullNum(), Num("1")})), "NULL");
}

TEST_F(NumberFunctions, PowerInDoublePrecision) {
  EXPECT_EQ(Text(CallNumber(FUNPower, {Num("2"), Num("10")})), "1024");
  EXPECT_EQ(Text(CallNumber(FUNPower, {Num("2"), NullNum()})), "2");
  EXPECT_EQ(Text(CallNumber(FUNPower, {NullNum(), Num("2")})), "NULL");
  EXPECT_EQ(Text(CallNumber(FUNPower, {Num("10"), Num("-2")})), "0.01");
  EXPECT_EQ(Text(CallNumber(FUNPower, {Num("-8"), Num("0.5")})), "NULL");
  EXPECT_EQ(Text(CallNumber(FUNPower, {Num("10"), Num("400")})), "NULL");
  double root = 0;
  NumberValue r = CallNumber(FUNPower, {Num("2"), Num("0.5")});
  NumberToDouble(&r, &root);
  EXPECT_NEAR(root, 1.4142135623730951, 1e-12);
}

TEST_F(NumberFunctions, ChoiceBySignServesNumbersAndDates) {
  NumberValue a = Num("1"), b = Num("2"), c = Num("3");
  EXPECT_EQ(Text(CallNumber(FUNNumberIFF, {Num("-4"), a, b, c})), "1");
  EXPECT_EQ(Text(CallNumber(FUNNumberIFF, {Num("0"), a, b, c})), "2");
  EXPECT_EQ(Text(CallNumber(FUNNumberIFF, {NullNum(), a, b, c})), "2");
  EXPECT_EQ(Text(CallNumber(FUNNumberIFF, {Num("0.001"), a, b, c})), "3");
  EXPECT_EQ(Text(CallNumber(FUNNumberIFF, {Num("1"), a, b, NullNum()})), "NULL");

  NumberValue day = Date(2001, 3, 17, 15, 45, 0);
  EXPECT_EQ(DateText(CallNumber(FUNDateIFF, {Num("-1"), day, NullNum(), NullNum()})),
            "2001-03-17 15:45:00");

  void* numberIff = xev::functions::LookupExport("FUNNumberIFF");
  EXPECT_NE(numberIff, nullptr);
  EXPECT_EQ(xev::functions::LookupExport("FUNDateIFF"), numberIff);
}

TEST_F(NumberFunctions, ExportTableFindsEveryNameExactly) {
  EXPECT_EQ(xev::functions::LookupExport("FUNStrLeft"), reinterpret_cast<void*>(&FUNStrLeft));
  EXPECT_EQ(xev::functions::LookupExport("FUNWeekDay"), reinterpret_cast<void*>(&FUNWeekDay));
  EXPECT_EQ(xev::functions::LookupExport("FUNDateAddDay"), reinterpret_cast<void*>(&FUNDateAddDay));
  EXPECT_EQ(xev::functions::LookupExport("StrLeft"), nullptr);
  EXPECT_EQ(xev::functions::LookupExport("FUNStrleft"), nullptr);
  EXPECT_EQ(xev::functions::LookupExport("FUNStrLeftX"), nullptr);
  EXPECT_EQ(xev::functions::LookupExport(""), nullptr);
  EXPECT_EQ(xev::functions::LookupExport(nullptr), nullptr);
}

TEST_F(NumberFunctions, FixedDecimalText) {
  EXPECT_EQ(CallText(FUNNumberToStr, {Num("3.14159"), Num("2")}), "3.14");
  EXPECT_EQ(CallText(FUNNumberToStr, {Num("1234567.891"), Num("2")}), "1234567.89");
  EXPECT_EQ(CallText(FUNNumberToStr, {Num("-1.5"), Num("1")}), "-1.5");
  EXPECT_EQ(CallText(FUNNumberToStr, {Num("2"), NullNum()}), "2");
}

TEST_F(NumberFunctions, LocaleFormatsGiveText) {
  EXPECT_FALSE(CallText(FUNNumberToCurrency, {Num("12.5")}).empty());
  EXPECT_FALSE(CallText(FUNNumberCountryFmt, {Num("1234.5")}).empty());
}

TEST_F(NumberFunctions, TextResultsGrowOrFailWithoutLosingTheBlock) {
  // A 1-byte block must grow to hold the text.
  CallOutcome grown = Call(FUNNumberToStr, {Num("123456"), Num("0")}, 1);
  EXPECT_EQ(grown.returned, 1);
  EXPECT_EQ(grown.text, "123456");
  EXPECT_GE(grown.blockSize, 7u);

  void* block = HostAlloc(1);
  NumberValue n = Num("123456"), places = Num("0");
  void* args[2] = {&n, &places};
  HostFailAllocationAfter(1);
  EXPECT_EQ(FUNNumberToStr(nullptr, nullptr, 1, &block, "NumberToStr", args), 0);
  HostFailAllocationAfter(0);
  EXPECT_EQ(HostBlockSize(block), 1u);
  HostFree(block);
}

TEST_F(NumberFunctions, NullSlotsFailTheCall) {
  EXPECT_EQ(Call(FUNNumberAbsolute, {nullptr}, 13).returned, 0);
  EXPECT_EQ(Call(FUNNumberMod, {Num("7"), nullptr}, 13).returned, 0);
  EXPECT_EQ(Call(FUNNumberIFF, {Num("1"), Num("1"), Num("2"), nullptr}, 13).returned, 0);
  EXPECT_EQ(Call(FUNNumberToStr, {nullptr, Num("2")}, 50).returned, 0);
}

}  // namespace
