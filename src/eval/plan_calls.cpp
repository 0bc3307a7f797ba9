// Built-in calls that a plan runs itself (plan_calls.h). Each result is the
// function's own, byte for byte: the date functions read the calendar's
// parts and rebuild values through it, and so does this, from the loaded
// value instead of the 13 bytes.
#include "eval/plan_calls.h"

#include <limits>

#include "host/format_internal.h"

namespace xev::eval::plan {
namespace {

namespace dec = host::decimal;

constexpr int64_t kMicrosPerSecond = 1000000;
constexpr int64_t kMicrosPerDay = 86400 * kMicrosPerSecond;

struct FieldFunction {
  XEVFunctionEntry entry;
  DateField field;
};

const FieldFunction kFieldFunctions[] = {
    {&FUNDateYear, DateField::kYear},     {&FUNDateMonth, DateField::kMonth},
    {&FUNDateDay, DateField::kDay},       {&FUNDateHour, DateField::kHour},
    {&FUNDateMinute, DateField::kMinute}, {&FUNDateSecond, DateField::kSecond},
    {&FUNDateQuarter, DateField::kQuarter}, {&FUNWeekDay, DateField::kWeekDay},
};

// The DateTime arguments the function reads must be values the plan holds.
bool TakesDate(int32_t given, const language::ExprNode* const* nodes) {
  return given >= 1 && nodes[0] != nullptr && nodes[0]->type == XEV_TYPE_DATETIME;
}

// A picture written as a plain literal, which the plan's text is for every row.
const char* WrittenPicture(int32_t given, const language::ExprNode* const* nodes) {
  if (given < 2 || nodes[1] == nullptr) return nullptr;
  const language::ExprNode* node = nodes[1];
  if (node->kind != language::NK_STRING || node->left == nullptr || (node->flags & language::kStringEscaped) != 0) {
    return nullptr;
  }
  return static_cast<const char*>(node->left);
}

// The microseconds the calendar takes d for: cut towards minus infinity
// below a microsecond. False beyond 63 bits.
bool MicrosOfLoaded(const dec::Decimal& d, int64_t* micros) {
  const dec::u128 coef = dec::CoefOf(d);
  if (coef > dec::u128(std::numeric_limits<int64_t>::max())) return false;
  const auto magnitude = static_cast<int64_t>(coef);
  const int32_t scale = d.exp + 6;
  if (scale >= 0) {
    if (scale > 18 || magnitude > std::numeric_limits<int64_t>::max() / int64_t(dec::kPow10Narrow[scale])) {
      return false;
    }
    const int64_t scaled = magnitude * int64_t(dec::kPow10Narrow[scale]);
    *micros = d.neg ? -scaled : scaled;
    return true;
  }
  if (scale < -18) return false;
  const auto divisor = int64_t(dec::kPow10Narrow[-scale]);
  const int64_t whole = magnitude / divisor;
  const bool cut = magnitude % divisor != 0;
  *micros = d.neg ? -whole - (cut ? 1 : 0) : whole;
  return true;
}

int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

bool InCalendar(int64_t day) {
  return day <= std::numeric_limits<int32_t>::max() && day >= -int64_t(std::numeric_limits<int32_t>::max());
}

int32_t FieldValue(DateField field, const DateParts& parts) {
  switch (field) {
    case DateField::kYear: return parts.year;
    case DateField::kMonth: return parts.month;
    case DateField::kDay: return parts.day;
    case DateField::kHour: return parts.hour;
    case DateField::kMinute: return parts.minute;
    case DateField::kSecond: return parts.second;
    case DateField::kQuarter: return (parts.month + 2) / 3;
    case DateField::kWeekDay: break;
  }
  // The calendar's day numbers start so that this gives 0 for Sunday.
  return static_cast<int32_t>((static_cast<int64_t>(DatePartsToDayNumber(&parts)) + 2) % 7);
}

bool IsLeapYear(int32_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int32_t LastDayOfMonth(int32_t month, int32_t year) {
  if (month == 2) return IsLeapYear(year) ? 29 : 28;
  if (month == 4 || month == 6 || month == 9 || month == 11) return 30;
  return 31;
}

bool FitsInt32(int64_t v) {
  return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

// Months carry into years; the day is then clamped to the month's length.
bool AddMonths(DateParts& parts, int64_t count) {
  const int64_t months = static_cast<int64_t>(parts.month) - 1 + count;
  const int64_t years = FloorDiv(months, 12);
  const int64_t year = parts.year + years;
  if (!FitsInt32(year)) return false;
  parts.year = static_cast<int32_t>(year);
  parts.month = static_cast<int32_t>(months - years * 12 + 1);
  const int32_t last = LastDayOfMonth(parts.month, parts.year);
  if (parts.day > last) parts.day = last;
  return true;
}

}  // namespace

bool AddUnitsToLoaded(const host::decimal::Decimal& d, int64_t count, uint16_t unit, NumberValue* out) {
  DateParts parts;
  return DatePartsOfLoaded(d, &parts) && AddUnitsToParts(parts, count, unit, out);
}

bool AddUnitsToParts(DateParts parts, int64_t count, uint16_t unit, NumberValue* out) {
  if (unit == 0 || unit == language::DU_DAY) {
    const int64_t day = static_cast<int64_t>(DatePartsToDayNumber(&parts)) + count;
    if (!FitsInt32(day)) return false;
    DayNumberToDateParts(static_cast<int32_t>(day), &parts);
  } else if (unit == language::DU_MONTH) {
    if (!AddMonths(parts, count)) return false;
  } else if (unit == language::DU_YEAR) {
    // Years do not clamp: 29 February of a common year is what the calendar makes of it.
    const int64_t year = static_cast<int64_t>(parts.year) + count;
    if (!FitsInt32(year)) return false;
    parts.year = static_cast<int32_t>(year);
  } else {
    return false;
  }
  *out = NumberValue{};
  out->bytes[0] = DatePartsToNumber(out->bytes + 1, &parts);
  return true;
}

bool PrepareCall(const ExpItem* function, int32_t given, const language::ExprNode* const* nodes, PreparedCall* out) {
  if (function == nullptr || !TakesDate(given, nodes)) return false;
  const auto entry = reinterpret_cast<XEVFunctionEntry>(function->boundValue);
  out->monthEnd = entry == &FUNDateMonthEnd;
  if (out->monthEnd || entry == &FUNDateMonthBegin) {
    out->kind = Prepared::kMonthBound;
    return true;
  }
  for (const FieldFunction& known : kFieldFunctions) {
    if (known.entry != entry) continue;
    out->kind = Prepared::kDateField;
    out->field = known.field;
    return true;
  }
  out->kind = Prepared::kDateText;
  if (entry == &FUNDateToStr) return host::CompileDatePicture(host::DefaultDatePicture(XEV_FORMAT_DATETIME), &out->picture);
  // A picture the engine refuses is the function's to answer.
  const char* picture = entry == &FUNDateToStrPicture ? WrittenPicture(given, nodes) : nullptr;
  return picture != nullptr && host::CompileDatePicture(picture, &out->picture);
}

bool DayOfLoaded(const host::decimal::Decimal& d, int64_t* day) {
  int64_t micros = 0;
  if (!MicrosOfLoaded(d, &micros)) return false;
  *day = FloorDiv(micros, kMicrosPerDay);
  return InCalendar(*day);
}

bool DatePartsOfLoaded(const host::decimal::Decimal& d, DateParts* parts) {
  int64_t micros = 0;
  if (!MicrosOfLoaded(d, &micros)) return false;
  const int64_t day = FloorDiv(micros, kMicrosPerDay);
  if (!InCalendar(day)) return false;
  DayNumberToDateParts(static_cast<int32_t>(day), parts);
  const int64_t rest = micros - day * kMicrosPerDay;
  parts->fraction = static_cast<int32_t>(rest % kMicrosPerSecond);
  const int64_t seconds = rest / kMicrosPerSecond;
  parts->second = static_cast<int32_t>(seconds % 60);
  parts->minute = static_cast<int32_t>(seconds / 60 % 60);
  parts->hour = static_cast<int32_t>(seconds / 3600);
  return true;
}

void RunDateNumber(const PreparedCall& call, const DateParts& parts, NumberValue* out) {
  if (call.kind == Prepared::kDateField) return IntToNumber(out, FieldValue(call.field, parts));
  DateParts bound = parts;
  bound.day = call.monthEnd ? LastDayOfMonth(parts.month, parts.year) : 1;
  bound.hour = bound.minute = bound.second = bound.fraction = 0;
  *out = NumberValue{};
  out->bytes[0] = DatePartsToNumber(out->bytes + 1, &bound);
}

}  // namespace xev::eval::plan
