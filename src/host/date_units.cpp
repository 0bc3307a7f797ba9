// Adding counts of date units to DateTime values and the day difference of two
// DateTimes.
//
// MONTH, HOUR, MINUTE and SECOND carry into the next larger unit by the same
// algorithm, so a carry ripples upwards (59 minutes + 1 can turn the hour, the
// day, the month and the year). Adding months clamps the day to the end of the
// resulting month; adding years does not, and 29 February plus one year is
// whatever the calendar makes of 29 February of that year (1 March).
#include <cstdint>
#include <limits>

#include "host/values.h"
#include "xev/xevhost.h"

namespace xev::host {
namespace {

enum Unit : uint16_t { kDay = 1, kMonth = 2, kYear = 4, kHour = 8, kMinute = 16, kSecond = 32 };

bool IsLeap(int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int32_t MonthLength(int64_t year, int32_t month) {
  switch (month) {
    case 2: return IsLeap(year) ? 29 : 28;
    case 4: case 6: case 9: case 11: return 30;
    default: return 31;
  }
}

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if (a % b != 0 && ((a < 0) != (b < 0))) --q;
  return q;
}

bool FitsInt32(int64_t v) {
  return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

struct Carry {
  int32_t DateParts::*field;
  int64_t size;
  int64_t lowest;
  uint16_t nextUnit;
};

bool CarryOf(uint16_t unit, Carry* carry) {
  switch (unit) {
    case kMonth: *carry = Carry{&DateParts::month, 12, 1, kYear}; return true;
    case kHour: *carry = Carry{&DateParts::hour, 24, 0, kDay}; return true;
    case kMinute: *carry = Carry{&DateParts::minute, 60, 0, kHour}; return true;
    case kSecond: *carry = Carry{&DateParts::second, 60, 0, kMinute}; return true;
    default: return false;
  }
}

// Adds a signed count of units to parts in place. False when the result
// leaves the range of the calendar.
bool AddToParts(DateParts* parts, int64_t count, uint16_t unit) {
  if (unit == 0 || unit == kDay) {
    const int64_t day = static_cast<int64_t>(DatePartsToDayNumber(parts)) + count;
    if (!FitsInt32(day)) return false;
    DayNumberToDateParts(static_cast<int32_t>(day), parts);
    return true;
  }
  if (unit == kYear) {
    const int64_t year = static_cast<int64_t>(parts->year) + count;
    if (!FitsInt32(year)) return false;
    parts->year = static_cast<int32_t>(year);
    return true;
  }
  Carry carry{};
  if (!CarryOf(unit, &carry)) return false;
  int64_t value = static_cast<int64_t>(parts->*carry.field) + count;
  if (value < carry.lowest || value >= carry.lowest + carry.size) {
    const int64_t c = FloorDiv(value - carry.lowest, carry.size);
    value -= c * carry.size;
    if (!AddToParts(parts, c, carry.nextUnit)) return false;
  }
  parts->*carry.field = static_cast<int32_t>(value);
  if (unit == kMonth) {
    const int32_t last = MonthLength(parts->year, parts->month);
    if (parts->day > last) parts->day = last;
  }
  return true;
}

bool IsKnownUnit(uint16_t unit) {
  return unit == 0 || unit == kDay || unit == kMonth || unit == kYear || unit == kHour ||
         unit == kMinute || unit == kSecond;
}

bool PartsOf(const NumberValue* date, DateParts* parts) {
  return date != nullptr && date->bytes[0] != 0 &&
         NumberToDateParts(&date->bytes[1], date->bytes[0], parts) != 0;
}

}  // namespace

NumberValue* DateAddUnits(NumberValue* result, const NumberValue* date, int32_t count, char op,
                          uint16_t unit) {
  if (result == nullptr) return result;
  NumberValue value{};
  DateParts parts{};
  if (IsKnownUnit(unit) && PartsOf(date, &parts)) {
    const int64_t signedCount = op == '-' ? -static_cast<int64_t>(count) : count;
    if (AddToParts(&parts, signedCount, unit)) {
      value.bytes[0] = DatePartsToNumber(&value.bytes[1], &parts);
    }
  }
  *result = value;
  return result;
}

NumberValue* DateDiffDays(NumberValue* result, const NumberValue* a, const NumberValue* b) {
  if (result == nullptr) return result;
  NumberValue value{};
  DateParts first{};
  DateParts second{};
  if (PartsOf(a, &first) && PartsOf(b, &second)) {
    LongToNumber(&value, static_cast<int64_t>(DatePartsToDayNumber(&first)) -
                             DatePartsToDayNumber(&second));
  }
  *result = value;
  return result;
}

}  // namespace xev::host
