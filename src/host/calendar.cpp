// The calendar of the host runtime: proleptic Gregorian dates, day numbers and
// the DateTime NumberValue.
//
// Day numbers count days from Tuesday 2 January 0001, which is day 0, so
// 1 January 0001 is day -1 and a day number is the Rata Die count minus 2. The
// origin is chosen so that (day + 2) mod 7 is 0 on a Sunday and 6 on a Saturday.
//
// A DateTime NumberValue holds the seconds since the start of day 0, with the
// microseconds as decimals: day * 86400 + hour * 3600 + minute * 60 + second +
// fraction / 10^6. The decimal keeps every microsecond exact, and values order
// and subtract like the instants they stand for. A time of day on its own is
// therefore the small number of seconds since midnight of day 0.
//
// Out-of-range parts are normalised arithmetically rather than refused: month 13
// of 2000 is January 2001, month 0 is December of the year before, day 0 is the
// last day of the month before, 30 February is 1 or 2 March, hour 24 is
// midnight of the next day, a negative minute borrows from the hour, and so on.
// A host that stores parts it built field by field always gets a real instant.
#include <cstdint>
#include <cstring>
#include <limits>

#include "host/calendar.h"
#include "host/decimal.h"
#include "host/host.h"
#include "xev/xevhost.h"

namespace xev::host {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kMicrosPerSecond = 1000000;
constexpr int64_t kMicrosPerDay = kSecondsPerDay * kMicrosPerSecond;

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Day numbers and years are first moved up by a whole number of 400-year
// cycles (146097 days each; the calendar repeats after one), so that every
// division below is of a number never negative by a constant, which the
// compiler turns into a multiplication. Years are counted from 1 March, so
// that the leap day ends a year.

// Cycles added to a day number: the lowest 32-bit day lies above minus this
// many days from 1 March 0000.
constexpr int64_t kDayCycles = 14700;
// Cycles added to a year: the lowest 32-bit year, moved back by the most
// months an int32 holds, lies above minus this many years.
constexpr int64_t kYearCycles = 5900000;
// Day 0 (2 January 0001) lies this many days after 1 March 0000.
constexpr int64_t kDaysFromMarchZero = 307;

// The day number of the first of month (1 to 12) in year.
int64_t MonthStart(int64_t year, int32_t month) {
  const bool early = month <= 2;  // January and February end the year before
  const auto y = static_cast<uint64_t>(year + kYearCycles * 400 - (early ? 1 : 0));
  const uint64_t century = y / 100;
  const uint64_t daysBeforeYear = 1461 * y / 4 - century + century / 4;
  // Months from March (3) to February (14): 979 / 32 is 30.6 days a month,
  // which puts every month start on its day.
  const uint32_t m = static_cast<uint32_t>(month) + (early ? 12 : 0);
  const uint32_t daysBeforeMonth = (979 * m - 2919) / 32;
  return static_cast<int64_t>(daysBeforeYear + daysBeforeMonth) - kYearCycles * 146097 - kDaysFromMarchZero;
}

void CivilFromDays(int32_t dayNumber, int64_t* year, int32_t* month, int32_t* day) {
  const auto n = static_cast<uint64_t>(dayNumber + kDaysFromMarchZero + kDayCycles * 146097);
  // Centuries in quarter days: a century is 36524.25 days, so the fourth one's
  // leap day comes out of the division.
  const uint64_t quarters = 4 * n + 3;
  const uint64_t century = quarters / 146097;
  const auto dayOfCentury = static_cast<uint32_t>(quarters % 146097 / 4);
  // Years of 365.25 days: the high half of a product by 2^32 / 1461 is the
  // year in the century, the low half the fraction that gives the day.
  const uint64_t product = static_cast<uint64_t>(4 * dayOfCentury + 3) * 2939745;
  const auto yearOfCentury = static_cast<uint32_t>(product >> 32);
  const uint32_t dayOfYear = static_cast<uint32_t>(product) / 2939745 / 4;
  // Months of 30.6 days in 16-bit fixed point: the high half is the month
  // from March (3 to 14), the low half the day in it.
  const uint32_t monthDay = 2141 * dayOfYear + 197913;
  const uint32_t shiftedMonth = monthDay >> 16;
  const bool january = dayOfYear >= 306;
  *day = static_cast<int32_t>((monthDay & 0xFFFF) / 2141 + 1);
  *month = static_cast<int32_t>(january ? shiftedMonth - 12 : shiftedMonth);
  *year = static_cast<int64_t>(100 * century + yearOfCentury) - kDayCycles * 400 + (january ? 1 : 0);
}

int64_t Pow10(int32_t n) {
  int64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

}  // namespace

bool IsLeapYear(int64_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int32_t DaysInMonth(int64_t year, int32_t month) {
  switch (month) {
    case 2: return IsLeapYear(year) ? 29 : 28;
    case 4: case 6: case 9: case 11: return 30;
    default: return 31;
  }
}

int64_t DayNumberOf(const DateParts& parts) {
  // Month first, so that the day offset is counted from a real month start.
  int64_t year = parts.year;
  int32_t month = parts.month;
  if (month < 1 || month > 12) {
    const int64_t monthIndex = static_cast<int64_t>(month) - 1;
    const int64_t years = FloorDiv(monthIndex, 12);
    year += years;
    month = static_cast<int32_t>(monthIndex - years * 12 + 1);
  }
  return MonthStart(year, month) + static_cast<int64_t>(parts.day) - 1;
}

int128 MicrosecondsOf(const DateParts& parts) {
  const int128 seconds = static_cast<int128>(DayNumberOf(parts)) * kSecondsPerDay +
                           static_cast<int64_t>(parts.hour) * 3600 +
                           static_cast<int64_t>(parts.minute) * 60 + parts.second;
  return seconds * kMicrosPerSecond + parts.fraction;
}

namespace {

// The parts of day, and of rest microseconds into it (0 to a day).
void SplitDay(int32_t day, int64_t rest, DateParts* parts) {
  int64_t year = 0;
  CivilFromDays(day, &year, &parts->month, &parts->day);
  parts->year = static_cast<int32_t>(year);
  parts->fraction = static_cast<int32_t>(rest % kMicrosPerSecond);
  const int64_t seconds = rest / kMicrosPerSecond;
  parts->second = static_cast<int32_t>(seconds % 60);
  parts->minute = static_cast<int32_t>(seconds / 60 % 60);
  parts->hour = static_cast<int32_t>(seconds / 3600);
}

// Microseconds of 64 bits lie within about 300,000 years of day 0, so in
// 32-bit days always, and divide without the 128-bit library calls.
void PartsFromMicroseconds64(int64_t micros, DateParts* parts) {
  int64_t days = micros / kMicrosPerDay;
  int64_t rest = micros % kMicrosPerDay;
  if (rest < 0) {
    rest += kMicrosPerDay;
    --days;
  }
  SplitDay(static_cast<int32_t>(days), rest, parts);
}

}  // namespace

bool PartsFromMicroseconds(int128 micros, DateParts* parts) {
  const auto narrow = static_cast<int64_t>(micros);
  if (static_cast<int128>(narrow) == micros) {
    PartsFromMicroseconds64(narrow, parts);
    return true;
  }
  const int128 limitDays = std::numeric_limits<int32_t>::max();
  int128 days = micros / kMicrosPerDay;
  int128 rest = micros % kMicrosPerDay;
  if (rest < 0) {
    rest += kMicrosPerDay;
    --days;
  }
  if (days > limitDays || days < -limitDays) return false;
  SplitDay(static_cast<int32_t>(days), static_cast<int64_t>(rest), parts);
  return true;
}

bool NormaliseParts(const DateParts& in, DateParts* out) {
  return PartsFromMicroseconds(MicrosecondsOf(in), out);
}

bool DateValueFromParts(NumberValue* dst, const DateParts& parts) {
  const int128 micros = MicrosecondsOf(parts);
  const bool neg = micros < 0;
  return decimal::Finish(dst, neg ? uint128(0) - uint128(micros) : uint128(micros), -6, neg);
}

bool DateValueToParts(const NumberValue* value, DateParts* parts) {
  if (decimal::IsNull(value)) return false;
  // Whole microseconds that fit 64 bits, as nearly every date and time is
  // stored: exact, and within the calendar.
  const decimal::Decimal d = decimal::Load(value);
  int64_t whole = 0;
  if (d.exp >= -6 && d.exp <= 0 && (d.coef >> 63) == 0 &&
      !__builtin_mul_overflow(static_cast<int64_t>(d.coef), static_cast<int64_t>(decimal::kPow10Narrow[d.exp + 6]), &whole)) {
    PartsFromMicroseconds64(d.neg ? -whole : whole, parts);
    return true;
  }
  int128 coefficient = 0;
  int32_t exponent = 0;
  if (!NumberToParts(value, &coefficient, &exponent)) return false;
  // Bring the value to whole microseconds. Digits below a microsecond are cut
  // towards minus infinity so that an instant never moves into the next day.
  int128 micros = coefficient;
  if (exponent >= -6) {
    const int32_t scale = exponent + 6;
    // A value beyond about 10^17 seconds lies outside every representable day.
    if (scale > 18) return false;
    const int128 limit = static_cast<int128>(1) << 100;
    const int64_t factor = Pow10(scale);
    if (micros > limit / factor || micros < -limit / factor) return false;
    micros *= factor;
  } else {
    int32_t cut = -6 - exponent;
    if (cut > 38) return PartsFromMicroseconds(micros < 0 ? -1 : 0, parts);
    int128 divisor = 1;
    while (cut-- > 0) divisor *= 10;
    int128 q = micros / divisor;
    if (micros % divisor != 0 && micros < 0) --q;
    micros = q;
  }
  return PartsFromMicroseconds(micros, parts);
}

}  // namespace xev::host

using xev::host::DateValueFromParts;
using xev::host::DateValueToParts;

extern "C" XEV_API uint8_t XEV_CALL DatePartsToNumber(unsigned char* digits,
                                                      const DateParts* parts) {
  NumberValue value{};
  if (parts != nullptr) DateValueFromParts(&value, *parts);
  if (digits != nullptr) std::memcpy(digits, value.bytes + 1, XEV_NUMBER_SIZE - 1);
  return value.bytes[0];
}

extern "C" XEV_API int32_t XEV_CALL NumberToDateParts(const unsigned char* digits, uint8_t length,
                                                      DateParts* parts) {
  if (parts == nullptr) return 0;
  *parts = DateParts{};
  if (digits == nullptr || length == 0) return 0;
  NumberValue value{};
  value.bytes[0] = length;
  for (int i = 1; i < XEV_NUMBER_SIZE; ++i) value.bytes[i] = digits[i - 1];
  DateParts result{};
  if (!DateValueToParts(&value, &result)) return 0;
  *parts = result;
  return 1;
}

extern "C" XEV_API int32_t XEV_CALL DatePartsToDayNumber(const DateParts* parts) {
  if (parts == nullptr) return 0;
  const int64_t day = xev::host::DayNumberOf(*parts);
  // Saturate rather than wrap: no real date lies this far out.
  if (day > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (day < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(day);
}

extern "C" XEV_API void XEV_CALL DayNumberToDateParts(int32_t day, DateParts* parts) {
  if (parts == nullptr) return;
  int64_t year = 0;
  xev::host::CivilFromDays(day, &year, &parts->month, &parts->day);
  parts->year = static_cast<int32_t>(year);
}
