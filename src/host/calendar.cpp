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
#include <limits>

#include "host/calendar.h"
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

// Days from 1 March 0000 style era arithmetic: the number of days from the
// civil date 0000-03-01 shifted so that 0001-01-02 is 0. Valid for any int64
// year small enough not to overflow (callers keep |year| far below 2^40).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = FloorDiv(year, 400);
  const int64_t yearOfEra = year - era * 400;
  const int64_t shiftedMonth = month > 2 ? month - 3 : month + 9;
  const int64_t dayOfYear = (153 * shiftedMonth + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  // era * 146097 + dayOfEra counts from 0000-03-01; 0001-01-02 is 307 days later.
  return era * 146097 + dayOfEra - 307;
}

void CivilFromDays(int64_t dayNumber, int64_t* year, int32_t* month, int32_t* day) {
  const int64_t z = dayNumber + 307;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t dayOfEra = z - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  *day = static_cast<int32_t>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  *month = static_cast<int32_t>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  *year = yearOfEra + era * 400 + (*month <= 2 ? 1 : 0);
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
  const int64_t monthIndex = static_cast<int64_t>(parts.month) - 1;
  const int64_t year = static_cast<int64_t>(parts.year) + FloorDiv(monthIndex, 12);
  const int64_t month = monthIndex - FloorDiv(monthIndex, 12) * 12 + 1;
  return DaysFromCivil(year, month, 1) + static_cast<int64_t>(parts.day) - 1;
}

int128 MicrosecondsOf(const DateParts& parts) {
  const int128 seconds = static_cast<int128>(DayNumberOf(parts)) * kSecondsPerDay +
                           static_cast<int64_t>(parts.hour) * 3600 +
                           static_cast<int64_t>(parts.minute) * 60 + parts.second;
  return seconds * kMicrosPerSecond + parts.fraction;
}

bool PartsFromMicroseconds(int128 micros, DateParts* parts) {
  const int128 limitDays = std::numeric_limits<int32_t>::max();
  int128 days = micros / kMicrosPerDay;
  int128 rest = micros % kMicrosPerDay;
  if (rest < 0) {
    rest += kMicrosPerDay;
    --days;
  }
  if (days > limitDays || days < -limitDays) return false;
  int64_t year = 0;
  CivilFromDays(static_cast<int64_t>(days), &year, &parts->month, &parts->day);
  parts->year = static_cast<int32_t>(year);
  const int64_t r = static_cast<int64_t>(rest);
  parts->fraction = static_cast<int32_t>(r % kMicrosPerSecond);
  const int64_t seconds = r / kMicrosPerSecond;
  parts->second = static_cast<int32_t>(seconds % 60);
  parts->minute = static_cast<int32_t>(seconds / 60 % 60);
  parts->hour = static_cast<int32_t>(seconds / 3600);
  return true;
}

bool NormaliseParts(const DateParts& in, DateParts* out) {
  return PartsFromMicroseconds(MicrosecondsOf(in), out);
}

bool DateValueFromParts(NumberValue* dst, const DateParts& parts) {
  return NumberFromParts(dst, MicrosecondsOf(parts), -6);
}

bool DateValueToParts(const NumberValue* value, DateParts* parts) {
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
  if (digits != nullptr) {
    for (int i = 1; i < XEV_NUMBER_SIZE; ++i) digits[i - 1] = value.bytes[i];
  }
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
