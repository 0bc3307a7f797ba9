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
