// Calendar helpers shared by the host runtime's calendar and formatters.
// Day numbers and DateTime values are described in calendar.cpp and docs/dates.md.
#pragma once

#include <cstdint>

#include "xev/xevhost.h"
#include "host/wide_int.h"

namespace xev::host {

bool IsLeapYear(int64_t year);
int32_t DaysInMonth(int64_t year, int32_t month);
// Day number of the parts' date, month and day normalised arithmetically.
int64_t DayNumberOf(const DateParts& parts);
// Microseconds since the start of day 0 (every field normalised arithmetically).
int128 MicrosecondsOf(const DateParts& parts);
// False when the instant lies outside the day numbers of 32 bits.
bool PartsFromMicroseconds(int128 micros, DateParts* parts);
// The same instant with every field in its range.
bool NormaliseParts(const DateParts& in, DateParts* out);
bool DateValueFromParts(NumberValue* dst, const DateParts& parts);
// False for NULL and for values outside the calendar.
bool DateValueToParts(const NumberValue* value, DateParts* parts);

}  // namespace xev::host
