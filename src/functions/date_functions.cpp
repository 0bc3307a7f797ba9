// The built-in date functions: field extraction, month begin and end, quarter,
// weekday, day addition, construction, the three-way choice and text output.
// DateTime values are taken apart and rebuilt by the host calendar; what is
// decided here is which fields change and how NULL travels.
#include "eval/eval.h"
#include "functions/builtin_support.h"
#include "language/language.h"

namespace xev::functions {
namespace {

bool ReadDate(const NumberValue* date, DateParts* parts) {
  if (NumberIsNull(date)) return false;
  return NumberToDateParts(date->bytes + 1, date->bytes[0], parts) != 0;
}

void WriteDate(NumberValue* out, const DateParts& parts) {
  out->bytes[0] = DatePartsToNumber(out->bytes + 1, &parts);
}

bool IsLeapYear(int32_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int32_t LastDayOfMonth(int32_t month, int32_t year) {
  if (month == 2) return IsLeapYear(year) ? 29 : 28;
  if (month == 4 || month == 6 || month == 9 || month == 11) return 30;
  return 31;
}

enum class Field { kYear, kMonth, kDay, kHour, kMinute, kSecond };

int32_t FieldOf(const DateParts& parts, Field field) {
  switch (field) {
    case Field::kYear: return parts.year;
    case Field::kMonth: return parts.month;
    case Field::kDay: return parts.day;
    case Field::kHour: return parts.hour;
    case Field::kMinute: return parts.minute;
    case Field::kSecond: return parts.second;
  }
  return 0;
}

// The shape of the six field functions: a Number from one DateTime, NULL in,
// NULL out.
int32_t DateToNumberResult(void** result, int32_t size, void** args, Field field) {
  if (!ArgumentsPresent(args, 1)) return 0;
  NumberValue* out = NumberResult(result, size);
  if (out == nullptr) return 0;
  DateParts parts;
  if (!ReadDate(NumberArg(args, 0), &parts)) {
    NumberSetNull(out);
    return 1;
  }
  IntToNumber(out, FieldOf(parts, field));
  return 1;
}

// Month begin and end share everything but the day they pick.
int32_t MonthBoundary(void** result, int32_t size, void** args, bool end) {
  NumberValue* out = NumberResult(result, size);
  if (out == nullptr) return 0;
  *out = NumberValue{};
  DateParts parts;
  if (!ReadDate(NumberArg(args, 0), &parts)) return 1;
  parts.day = end ? LastDayOfMonth(parts.month, parts.year) : 1;
  parts.hour = parts.minute = parts.second = parts.fraction = 0;
  WriteDate(out, parts);
  return 1;
}

}  // namespace
}  // namespace xev::functions

using namespace xev::functions;

extern "C" {

XEV_API int32_t XEV_CALL FUNDateYear(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                     void** args) {
  return DateToNumberResult(result, size, args, Field::kYear);
}

XEV_API int32_t XEV_CALL FUNDateMonth(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                      void** args) {
  return DateToNumberResult(result, size, args, Field::kMonth);
}

XEV_API int32_t XEV_CALL FUNDateDay(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                    void** args) {
  return DateToNumberResult(result, size, args, Field::kDay);
}

XEV_API int32_t XEV_CALL FUNDateHour(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                     void** args) {
  return DateToNumberResult(result, size, args, Field::kHour);
}

XEV_API int32_t XEV_CALL FUNDateMinute(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                       void** args) {
  return DateToNumberResult(result, size, args, Field::kMinute);
}

XEV_API int32_t XEV_CALL FUNDateSecond(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                       void** args) {
  return DateToNumberResult(result, size, args, Field::kSecond);
}

XEV_API int32_t XEV_CALL FUNDateQuarter(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                        void** args) {
  if (!ArgumentsPresent(args, 1)) return 0;
  NumberValue* out = NumberResult(result, size);
  if (out == nullptr) return 0;
  DateParts parts;
  if (!ReadDate(NumberArg(args, 0), &parts)) {
    NumberSetNull(out);
    return 1;
  }
  int32_t month = parts.month;
  int32_t quarter = 4;  // also for a month outside 1..12
  if (month >= 1 && month <= 3) quarter = 1;
  else if (month >= 4 && month <= 6) quarter = 2;
  else if (month >= 7 && month <= 9) quarter = 3;
  IntToNumber(out, quarter);
  return 1;
}

XEV_API int32_t XEV_CALL FUNWeekDay(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                    void** args) {
  if (!ArgumentsPresent(args, 1)) return 0;
  NumberValue* out = NumberResult(result, size);
  if (out == nullptr) return 0;
  DateParts parts;
  if (!ReadDate(NumberArg(args, 0), &parts)) {
    NumberSetNull(out);
    return 1;
  }
  // The calendar's day numbers start so that this gives 0 for Sunday.
  int64_t day = static_cast<int64_t>(DatePartsToDayNumber(&parts)) + 2;
  IntToNumber(out, static_cast<int32_t>(day % 7));
  return 1;
}

XEV_API int32_t XEV_CALL FUNDateMonthBegin(ExprContext*, HEXP, int32_t size, void** result,
                                           const char*, void** args) {
  if (!ArgumentsPresent(args, 1)) return 0;
  return MonthBoundary(result, size, args, false);
}

XEV_API int32_t XEV_CALL FUNDateMonthEnd(ExprContext*, HEXP, int32_t size, void** result,
                                         const char*, void** args) {
  if (!ArgumentsPresent(args, 1)) return 0;
  return MonthBoundary(result, size, args, true);
}

XEV_API int32_t XEV_CALL FUNDateAddDay(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                       void** args) {
  if (!ArgumentsPresent(args, 2)) return 0;
  NumberValue* out = NumberResult(result, size);
  if (out == nullptr) return 0;
  xev::eval::DateAddUnits(out, NumberArg(args, 0), IntArg(args, 1), '+', xev::language::DU_DAY);
  return 1;
}

XEV_API int32_t XEV_CALL FUNDateConstruct(ExprContext*, HEXP, int32_t size, void** result,
                                          const char*, void** args) {
  if (!ArgumentsPresent(args, 6)) return 0;
  NumberValue* out = NumberResult(result, size);
  if (out == nullptr) return 0;
  *out = NumberValue{};
  // Out-of-range fields go to the calendar unchanged; it decides what they mean.
  DateParts parts{};
  parts.year = IntArg(args, 0);
  parts.month = IntArg(args, 1);
  parts.day = IntArg(args, 2);
  parts.hour = IntArg(args, 3);
  parts.minute = IntArg(args, 4);
  parts.second = IntArg(args, 5);
  WriteDate(out, parts);
  return 1;
}

XEV_API int32_t XEV_CALL FUNDateToStr(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                      void** args) {
  if (!ArgumentsPresent(args, 1)) return 0;
  char text[xev::eval::kTextBufferSize] = "";
  const NumberValue* date = NumberArg(args, 0);
  if (NumberIsNull(date) || !xev::eval::DateToText(date, text)) text[0] = '\0';
  return CopyTextResult(result, size, text);
}

XEV_API int32_t XEV_CALL FUNDateToStrPicture(ExprContext*, HEXP, int32_t size, void** result,
                                             const char*, void** args) {
  if (!ArgumentsPresent(args, 2)) return 0;
  char text[xev::eval::kTextBufferSize] = "";
  const NumberValue* date = NumberArg(args, 0);
  if (NumberIsNull(date) || !xev::eval::DateToTextByPicture(date, StringArg(args, 1), text)) {
    text[0] = '\0';
  }
  return CopyTextResult(result, size, text);
}

// FUNDateIFF is defined beside FUNNumberIFF, as another name for the same code.

}  // extern "C"
