// Calls of built-in functions that a plan runs itself, their constant
// arguments read once when the plan is made: a date picture compiled to its
// pieces, the field a date function takes. A row then costs the calendar
// arithmetic on the loaded argument, not a call with 13-byte copies, a
// picture read again and a text block per call. Whatever the fast form
// cannot do exactly as the function would (a value outside the plain range
// of instants) goes to the function itself.
#pragma once

#include <cstdint>

#include "host/decimal.h"
#include "host/picture_date.h"
#include "language/language.h"
#include "xev/xev.h"

namespace xev::eval::plan {

enum class Prepared : uint8_t {
  kDateText,    // DateToStrPicture with a written picture, DateToStr by the default one
  kDateField,   // DateYear ... DateSecond, DateQuarter, WeekDay
  kMonthBound,  // DateMonthBegin, DateMonthEnd
};

enum class DateField : uint8_t { kYear, kMonth, kDay, kHour, kMinute, kSecond, kQuarter, kWeekDay };

struct PreparedCall {
  Prepared kind;
  DateField field;
  bool monthEnd;
  host::CompiledDatePicture picture;
};

// What a call of function with the given argument nodes (the date first;
// for a picture, a literal second) becomes: true with out filled when the
// plan runs it itself.
bool PrepareCall(const ExpItem* function, int32_t given, const language::ExprNode* const* nodes, PreparedCall* out);

// The normalised parts of the DateTime d (not NULL) as the calendar reads
// it; false when d lies outside the instants this form handles, whose
// microseconds fit 63 bits: the caller then asks the calendar.
bool DatePartsOfLoaded(const host::decimal::Decimal& d, DateParts* parts);
// The day number of d alone, under the same terms.
bool DayOfLoaded(const host::decimal::Decimal& d, int64_t* day);

// d plus count days, months or years (unit as the date arithmetic writes
// it, 0 for days) into out, as the calendar adds them; false when d, the
// unit or the result lies beyond the fast form.
bool AddUnitsToLoaded(const host::decimal::Decimal& d, int64_t count, uint16_t unit, NumberValue* out);

// The same for a date (not NULL) whose parts DatePartsOfLoaded gave.
bool AddUnitsToParts(DateParts parts, int64_t count, uint16_t unit, NumberValue* out);

// The result of a prepared Number call on a date with these parts.
void RunDateNumber(const PreparedCall& call, const DateParts& parts, NumberValue* out);

}  // namespace xev::eval::plan
