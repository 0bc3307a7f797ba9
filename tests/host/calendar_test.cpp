#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "host/calendar.h"
#include "host/host.h"
#include "tests/support/values.h"
#include "xev/xevhost.h"

namespace {

DateParts Make(int32_t year, int32_t month, int32_t day, int32_t hour = 0, int32_t minute = 0,
               int32_t second = 0, int32_t fraction = 0) {
  return DateParts{month, day, year, hour, minute, second, fraction};
}

// The calendar by plain era arithmetic, slow and evident: the fast
// conversions must agree with it day by day.
namespace plain {

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  const int64_t monthIndex = month - 1;
  year += FloorDiv(monthIndex, 12);
  month = monthIndex - FloorDiv(monthIndex, 12) * 12 + 1;
  year -= month <= 2 ? 1 : 0;
  const int64_t era = FloorDiv(year, 400);
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  return era * 146097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear - 307;
}

DateParts CivilFromDays(int64_t dayNumber) {
  const int64_t z = dayNumber + 307;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t dayOfEra = z - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  const auto month = static_cast<int32_t>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  const auto day = static_cast<int32_t>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  return DateParts{month, day, static_cast<int32_t>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0)), 0, 0, 0, 0};
}

}  // namespace plain

using testhost::Show;
using testhost::ValueOf;

DateParts FromValue(const NumberValue& v) {
  DateParts parts{};
  EXPECT_EQ(NumberToDateParts(&v.bytes[1], v.bytes[0], &parts), 1);
  return parts;
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

TEST(Calendar, DayNumbersAgreeWithPlainEraArithmetic) {
  const auto check = [](int64_t day) {
    DateParts parts{};
    DayNumberToDateParts(static_cast<int32_t>(day), &parts);
    const DateParts want = plain::CivilFromDays(day);
    ASSERT_TRUE(parts.year == want.year && parts.month == want.month && parts.day == want.day &&
                xev::host::DayNumberOf(parts) == day)
        << day << ": " << Show(parts);
  };
  // Every day of years 1 to 9999 and of both ends of the 32-bit day numbers,
  // and a stride over all of them.
  for (int64_t day = plain::DaysFromCivil(1, 1, 1); day < plain::DaysFromCivil(10000, 1, 1); ++day) check(day);
  constexpr int64_t kLow = std::numeric_limits<int32_t>::min(), kHigh = std::numeric_limits<int32_t>::max();
  for (int64_t day = 0; day < 200000; ++day) check(kLow + day), check(kHigh - day);
  for (int64_t day = kLow; day <= kHigh; day += 9973) check(day);
  // Months and days out of their range, in years near and far.
  for (const int32_t year : {-2147483647 - 1, -4801, -1, 0, 1, 1600, 1900, 2000, 2023, 2147483647}) {
    for (const int32_t month : {-2147483647 - 1, -25, -12, -1, 0, 1, 2, 3, 12, 13, 14, 25, 2147483647}) {
      for (const int32_t day : {-400, -1, 0, 1, 29, 31, 32, 367}) {
        EXPECT_EQ(xev::host::DayNumberOf(DateParts{month, day, year, 0, 0, 0, 0}), plain::DaysFromCivil(year, month, day))
            << year << "-" << month << "-" << day;
      }
    }
  }
}

}  // namespace
