#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "eval/eval.h"
#include "tests/support/values.h"
#include "xev/xevhost.h"

namespace {

using xev::eval::DateAddUnits;
using xev::eval::DateDiffDays;

constexpr uint16_t kDay = 1, kMonth = 2, kYear = 4, kHour = 8, kMinute = 16, kSecond = 32;

struct Instant {
  int32_t year, month, day, hour, minute, second;
};

NumberValue Value(const Instant& t, int32_t fraction = 0) {
  return testhost::ValueOf({t.month, t.day, t.year, t.hour, t.minute, t.second, fraction});
}
using testhost::PartsOf;

::testing::AssertionResult Is(const NumberValue& v, const Instant& t) {
  if (v.bytes[0] == 0) return ::testing::AssertionFailure() << "NULL";
  const DateParts p = PartsOf(v);
  if (p.year == t.year && p.month == t.month && p.day == t.day && p.hour == t.hour &&
      p.minute == t.minute && p.second == t.second) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << p.year << "-" << p.month << "-" << p.day << " "
                                       << p.hour << ":" << p.minute << ":" << p.second;
}

struct Step {
  Instant from;
  int32_t count;
  char op;
  uint16_t unit;
  Instant to;
};

// The carry table: every unit, both directions, carries that ripple through
// several units, month-end clamps and leap years across centuries.
const Step kSteps[] = {
    {{1999, 12, 15, 0, 0, 0}, 1, '+', kMonth, {2000, 1, 15, 0, 0, 0}},
    {{2000, 1, 15, 0, 0, 0}, 1, '-', kMonth, {1999, 12, 15, 0, 0, 0}},
    {{1999, 12, 15, 0, 0, 0}, 12, '+', kMonth, {2000, 12, 15, 0, 0, 0}},
    {{1999, 12, 15, 0, 0, 0}, 24, '+', kMonth, {2001, 12, 15, 0, 0, 0}},
    {{2000, 1, 15, 0, 0, 0}, 13, '-', kMonth, {1998, 12, 15, 0, 0, 0}},
    {{2000, 3, 15, 0, 0, 0}, -5, '+', kMonth, {1999, 10, 15, 0, 0, 0}},
    {{2001, 5, 31, 9, 0, 0}, 1, '+', kMonth, {2001, 6, 30, 9, 0, 0}},
    {{2000, 1, 31, 0, 0, 0}, 1, '+', kMonth, {2000, 2, 29, 0, 0, 0}},
    {{1900, 1, 31, 0, 0, 0}, 1, '+', kMonth, {1900, 2, 28, 0, 0, 0}},
    {{2100, 3, 31, 0, 0, 0}, 1, '-', kMonth, {2100, 2, 28, 0, 0, 0}},
    {{2400, 3, 31, 0, 0, 0}, 1, '-', kMonth, {2400, 2, 29, 0, 0, 0}},
    {{2004, 1, 31, 0, 0, 0}, 1201, '+', kMonth, {2104, 2, 29, 0, 0, 0}},
    {{2000, 2, 29, 0, 0, 0}, 4, '+', kYear, {2004, 2, 29, 0, 0, 0}},
    {{2000, 2, 29, 0, 0, 0}, 1, '+', kYear, {2001, 3, 1, 0, 0, 0}},  // no clamp for years
    {{2000, 6, 1, 0, 0, 0}, 1999, '-', kYear, {1, 6, 1, 0, 0, 0}},
    {{2000, 6, 1, 0, 0, 0}, -7999, '-', kYear, {9999, 6, 1, 0, 0, 0}},
    {{2001, 1, 1, 23, 30, 0}, 1, '+', kHour, {2001, 1, 2, 0, 30, 0}},
    {{2001, 1, 1, 0, 10, 0}, 1, '-', kHour, {2000, 12, 31, 23, 10, 0}},
    {{2001, 1, 1, 0, 10, 0}, 24, '-', kHour, {2000, 12, 31, 0, 10, 0}},
    {{2001, 3, 1, 0, 0, 0}, 49, '-', kHour, {2001, 2, 26, 23, 0, 0}},
    {{2001, 1, 1, 10, 59, 30}, 45, '+', kSecond, {2001, 1, 1, 11, 0, 15}},
    {{1999, 12, 31, 23, 59, 59}, 1, '+', kSecond, {2000, 1, 1, 0, 0, 0}},
    {{2000, 1, 1, 0, 0, 0}, 1, '-', kSecond, {1999, 12, 31, 23, 59, 59}},
    {{2000, 1, 1, 0, 0, 0}, 86400 * 366, '+', kSecond, {2001, 1, 1, 0, 0, 0}},
    {{1999, 12, 31, 23, 59, 0}, 1, '+', kMinute, {2000, 1, 1, 0, 0, 0}},
    {{2000, 3, 1, 0, 0, 0}, 1, '-', kMinute, {2000, 2, 29, 23, 59, 0}},
    {{2000, 1, 1, 12, 0, 0}, 60 * 24 * 7, '+', kMinute, {2000, 1, 8, 12, 0, 0}},
    {{1999, 12, 31, 23, 0, 0}, 1, '+', kDay, {2000, 1, 1, 23, 0, 0}},
    {{1999, 12, 31, 23, 0, 0}, 1, '-', kDay, {1999, 12, 30, 23, 0, 0}},
    {{1999, 12, 31, 23, 0, 0}, 1, '+', 0, {2000, 1, 1, 23, 0, 0}},
    {{2000, 1, 1, 0, 0, 0}, 146097, '+', kDay, {2400, 1, 1, 0, 0, 0}},
    {{1900, 3, 1, 0, 0, 0}, 1, '-', kDay, {1900, 2, 28, 0, 0, 0}},
};

TEST(DateAddUnits, CarryTable) {
  for (const Step& s : kSteps) {
    NumberValue result{};
    const NumberValue from = Value(s.from);
    EXPECT_EQ(DateAddUnits(&result, &from, s.count, s.op, s.unit), &result);
    EXPECT_TRUE(Is(result, s.to)) << s.from.year << "-" << s.from.month << "-" << s.from.day
                                  << " " << s.op << s.count << " unit " << s.unit;
  }
}

// Whether the call overwrote a dirty result with NULL.
bool GivesNull(const NumberValue& date, int32_t count, char op, uint16_t unit) {
  NumberValue result;
  std::memset(&result, 0x5A, sizeof result);
  DateAddUnits(&result, &date, count, op, unit);
  return NumberIsNull(&result) != 0;
}

TEST(DateAddUnits, NullDateUnknownUnitAndOverflowGiveNull) {
  const NumberValue date = Value({2000, 1, 1, 0, 0, 0});
  EXPECT_TRUE(GivesNull(NumberValue{}, 1, '+', kDay));
  for (uint16_t unit : {3, 64, 0xFFFF}) EXPECT_TRUE(GivesNull(date, 1, '+', unit)) << unit;
  EXPECT_TRUE(GivesNull(date, 2147483647, '+', kYear));
  EXPECT_TRUE(GivesNull(date, 2147483647, '+', kDay));
  EXPECT_FALSE(GivesNull(date, -2147483647 - 1, '-', kSecond));  // large but within range
}

}  // namespace
