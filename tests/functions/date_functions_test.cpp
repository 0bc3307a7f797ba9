#include <tuple>

#include "functions/call_helpers.h"

using namespace xev_test;

namespace {

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
