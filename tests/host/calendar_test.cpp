#include <gtest/gtest.h>

#include <string>

#include "host/host.h"
#include "tests/support/values.h"
#include "xev/xevhost.h"

namespace {

DateParts Make(int32_t year, int32_t month, int32_t day, int32_t hour = 0, int32_t minute = 0,
               int32_t second = 0, int32_t fraction = 0) {
  return DateParts{month, day, year, hour, minute, second, fraction};
}

using testhost::Show;
using testhost::ValueOf;

DateParts FromValue(const NumberValue& v) {
  DateParts parts{};
  EXPECT_EQ(NumberToDateParts(&v.bytes[1], v.bytes[0], &parts), 1);
  return parts;
}

std::string RoundTrip(const DateParts& parts) { return Show(FromValue(ValueOf(parts))); }

TEST(Calendar, EveryDayFromYearOneToNineThousandNineHundredNinetyNineRoundTrips) {
  const DateParts first = Make(1, 1, 1);
  int32_t expected = DatePartsToDayNumber(&first);
  EXPECT_EQ(expected, -1);
  const int32_t lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int32_t year = 1; year <= 9999; ++year) {
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    for (int32_t month = 1; month <= 12; ++month) {
      const int32_t length = lengths[month - 1] + (month == 2 && leap ? 1 : 0);
      for (int32_t day = 1; day <= length; ++day) {
        const DateParts p = Make(year, month, day);
        const int32_t number = DatePartsToDayNumber(&p);
        ASSERT_EQ(number, expected) << year << "-" << month << "-" << day;
        DateParts back{};
        DayNumberToDateParts(number, &back);
        ASSERT_TRUE(back.year == year && back.month == month && back.day == day)
            << year << "-" << month << "-" << day;
        ++expected;
      }
    }
  }
}

TEST(Calendar, DateTimeValueIsSecondsSinceDayZeroWithMicrosecondDecimalsAndOrdersLikeTime) {
  NumberValue v = ValueOf(Make(1, 1, 3, 1, 2, 3, 500000));
  xev::host::int128 coefficient = 0;
  int32_t exponent = 0;
  ASSERT_TRUE(xev::host::NumberToParts(&v, &coefficient, &exponent));
  EXPECT_TRUE(coefficient == 901235 && exponent == -1);  // 86400 + 3723.5
  EXPECT_EQ(RoundTrip(Make(2024, 2, 29, 23, 59, 59, 999999)), "2024-2-29 23:59:59.999999");
  // Instants before day 0 keep their time of day.
  EXPECT_EQ(RoundTrip(Make(1, 1, 1, 6, 30)), "1-1-1 6:30:0.0");

  const NumberValue a = ValueOf(Make(1999, 12, 31, 23, 59, 59, 999999));
  const NumberValue b = ValueOf(Make(2000, 1, 1));
  const NumberValue c = ValueOf(Make(2000, 1, 1, 0, 0, 0, 1));
  EXPECT_LT(NumberCompare(&a, &b), 0);
  EXPECT_LT(NumberCompare(&b, &c), 0);
}

TEST(Calendar, OutOfRangePartsAreNormalisedArithmetically) {
  EXPECT_EQ(RoundTrip(Make(2000, 13, 1)), "2001-1-1 0:0:0.0");
  EXPECT_EQ(RoundTrip(Make(2000, 3, 0)), "2000-2-29 0:0:0.0");
  EXPECT_EQ(RoundTrip(Make(2001, 2, 30)), "2001-3-2 0:0:0.0");
  EXPECT_EQ(RoundTrip(Make(2000, 0, 15)), "1999-12-15 0:0:0.0");
  EXPECT_EQ(RoundTrip(Make(2000, -13, 1)), "1998-11-1 0:0:0.0");
  EXPECT_EQ(RoundTrip(Make(2000, 1, 1, 24, 0)), "2000-1-2 0:0:0.0");
  EXPECT_EQ(RoundTrip(Make(2000, 1, 1, 0, -1)), "1999-12-31 23:59:0.0");
  EXPECT_EQ(RoundTrip(Make(2000, 1, 1, 0, 0, 0, 1500000)), "2000-1-1 0:0:1.500000");
  // All zeros: month 0 of year 0 is December of year -1, day 0 its eve.
  EXPECT_EQ(RoundTrip(Make(0, 0, 0)), "-1-11-30 0:0:0.0");
}

TEST(Calendar, NullUnrepresentableAndSubMicrosecondValues) {
  DateParts parts = Make(2000, 1, 1, 1, 1, 1, 1);
  unsigned char digits[12] = {};
  EXPECT_EQ(NumberToDateParts(digits, 0, &parts), 0);
  EXPECT_EQ(Show(parts), "0-0-0 0:0:0.0");
  NumberValue v{};
  ASSERT_TRUE(xev::host::NumberFromParts(&v, 1, 90));
  parts = Make(2000, 1, 1);
  EXPECT_EQ(NumberToDateParts(&v.bytes[1], v.bytes[0], &parts), 0);
  EXPECT_EQ(Show(parts), "0-0-0 0:0:0.0");

  // Digits below a microsecond never carry into the next day.
  ASSERT_TRUE(xev::host::NumberFromParts(&v, 863999999999999, -10));
  EXPECT_EQ(Show(FromValue(v)), "1-1-2 23:59:59.999999");
  ASSERT_TRUE(xev::host::NumberFromParts(&v, -1, -7));
  EXPECT_EQ(Show(FromValue(v)), "1-1-1 23:59:59.999999");
}

TEST(Calendar, ExtremeDayNumbersSaturate) {
  const DateParts far = Make(2147483647, 12, 31);
  EXPECT_EQ(DatePartsToDayNumber(&far), 2147483647);
  const DateParts before = Make(-2147483647, 1, 1);
  EXPECT_EQ(DatePartsToDayNumber(&before), -2147483647 - 1);
}

}  // namespace
