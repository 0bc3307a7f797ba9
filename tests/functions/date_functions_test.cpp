#include <gtest/gtest.h>

#include "functions/call_helpers.h"

using namespace xev_test;

namespace {

class DateFunctions : public FunctionTest {};

TEST_F(DateFunctions, FieldsOfADateAndNullForNull) {
  NumberValue d = Date(2001, 3, 17, 15, 45, 30);
  EXPECT_EQ(Text(CallNumber(FUNDateYear, {d})), "2001");
  EXPECT_EQ(Text(CallNumber(FUNDateMonth, {d})), "3");
  EXPECT_EQ(Text(CallNumber(FUNDateDay, {d})), "17");
  EXPECT_EQ(Text(CallNumber(FUNDateHour, {d})), "15");
  EXPECT_EQ(Text(CallNumber(FUNDateMinute, {d})), "45");
  EXPECT_EQ(Text(CallNumber(FUNDateSecond, {d})), "30");
  for (XEVFunctionEntry fn : {FUNDateYear, FUNDateMonth, FUNDateDay, FUNDateHour, FUNDateMinute,
                              FUNDateSecond, FUNDateQuarter, FUNWeekDay}) {
    EXPECT_EQ(Text(CallNumber(fn, {NullNum()})), "NULL");
    EXPECT_EQ(Call(fn, {nullptr}, 13).returned, 0) << "a missing argument is no NULL";
  }
}

TEST_F(DateFunctions, QuarterOfEveryMonth) {
  const char* expected[] = {"1", "1", "1", "2", "2", "2", "3", "3", "3", "4", "4", "4"};
  for (int month = 1; month <= 12; ++month) {
    EXPECT_EQ(Text(CallNumber(FUNDateQuarter, {Date(1999, month, 5)})), expected[month - 1])
        << month;
  }
}

TEST_F(DateFunctions, WeekDayCountsFromSunday) {
  EXPECT_EQ(Text(CallNumber(FUNWeekDay, {Date(2000, 1, 2)})), "0");   // a Sunday
  EXPECT_EQ(Text(CallNumber(FUNWeekDay, {Date(2001, 3, 17, 23, 59)})), "6");  // a Saturday
  EXPECT_EQ(Text(CallNumber(FUNWeekDay, {Date(2024, 2, 29)})), "4");  // a Thursday
}

TEST_F(DateFunctions, MonthBoundariesDropTheTime) {
  EXPECT_EQ(DateText(CallNumber(FUNDateMonthBegin, {Date(2001, 3, 17, 15, 45)})),
            "2001-03-01 00:00:00");
  EXPECT_EQ(DateText(CallNumber(FUNDateMonthEnd, {Date(2000, 2, 10, 8)})), "2000-02-29 00:00:00");
  EXPECT_EQ(DateText(CallNumber(FUNDateMonthEnd, {Date(1900, 2, 1)})), "1900-02-28 00:00:00");
  EXPECT_EQ(DateText(CallNumber(FUNDateMonthEnd, {Date(2004, 2, 29, 23, 59, 59)})),
            "2004-02-29 00:00:00");
  EXPECT_EQ(DateText(CallNumber(FUNDateMonthEnd, {Date(2001, 4, 2)})), "2001-04-30 00:00:00");
  EXPECT_EQ(DateText(CallNumber(FUNDateMonthEnd, {Date(2001, 12, 31)})), "2001-12-31 00:00:00");
  EXPECT_EQ(DateText(CallNumber(FUNDateMonthBegin, {NullNum()})), "NULL");
  EXPECT_EQ(DateText(CallNumber(FUNDateMonthEnd, {NullNum()})), "NULL");
}

TEST_F(DateFunctions, AddDayKeepsTheTimeAndCrossesYears) {
  NumberValue eve = Date(1999, 12, 31, 23);
  EXPECT_EQ(DateText(CallNumber(FUNDateAddDay, {eve, Num("1")})), "2000-01-01 23:00:00");
  EXPECT_EQ(DateText(CallNumber(FUNDateAddDay, {eve, Num("-1")})), "1999-12-30 23:00:00");
  EXPECT_EQ(DateText(CallNumber(FUNDateAddDay, {eve, Num("1.9")})), "2000-01-01 23:00:00");
  EXPECT_EQ(DateText(CallNumber(FUNDateAddDay, {eve, NullNum()})), "1999-12-31 23:00:00");
  EXPECT_EQ(DateText(CallNumber(FUNDateAddDay, {NullNum(), Num("1")})), "NULL");
  EXPECT_EQ(DateText(CallNumber(FUNDateAddDay, {Date(2000, 2, 28), Num("366")})),
            "2001-02-28 00:00:00");
}

TEST_F(DateFunctions, ConstructFromSixNumbers) {
  NumberValue built =
      CallNumber(FUNDateConstruct, {Num("2001"), Num("2"), Num("3"), Num("4"), Num("5"), Num("6")});
  EXPECT_EQ(DateText(built), "2001-02-03 04:05:06");
  EXPECT_EQ(DateText(CallNumber(FUNDateConstruct,
                                {Num("1999.7"), Num("12"), Num("31"), NullNum(), NullNum(), NullNum()})),
            "1999-12-31 00:00:00");
  // All NULL goes to the calendar as 0/0/0 00:00:00; whatever it makes of that,
  // the call succeeds.
  CallOutcome zero = Call(FUNDateConstruct,
                          {NullNum(), NullNum(), NullNum(), NullNum(), NullNum(), NullNum()}, 13);
  EXPECT_EQ(zero.returned, 1);
}

TEST_F(DateFunctions, DateTextReadsBackAndIsEmptyForNull) {
  NumberValue d = Date(2001, 3, 17, 15, 45, 30);
  std::string text = CallText(FUNDateToStr, {d});
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(DateText(CallNumber(FUNStrToDate, {text.c_str()})), "2001-03-17 15:45:30");
  EXPECT_EQ(CallText(FUNDateToStr, {NullNum()}), "");
  EXPECT_EQ(CallText(FUNDateToStrPicture, {NullNum(), "yyyy"}), "");
}

TEST_F(DateFunctions, TextResultGrowthFailureKeepsTheBlock) {
  NumberValue d = Date(2001, 3, 17, 15, 45, 30);
  void* block = HostAlloc(1);
  void* args[1] = {&d};
  HostFailAllocationAfter(1);
  EXPECT_EQ(FUNDateToStr(nullptr, nullptr, 1, &block, "DateToStr", args), 0);
  HostFailAllocationAfter(0);
  EXPECT_EQ(HostBlockSize(block), 1u);
  EXPECT_EQ(FUNDateToStr(nullptr, nullptr, 1, &block, "DateToStr", args), 1);
  EXPECT_GT(HostBlockSize(block), 1u);
  HostFree(block);
}

}  // namespace
