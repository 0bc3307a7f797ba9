// Values between texts, Numbers and DateTimes, and date-unit arithmetic: what
// the scanner, tree building, extended text, the evaluator and the functions
// all convert with. They depend on the host runtime alone.
#pragma once

#include <cstdint>

#include "xev/xevhost.h"

namespace xev::host {

// Text buffers of the conversions hold this many bytes.
constexpr int32_t kTextBufferSize = 100;

// unit: 0 or 1 DAY, 2 MONTH, 4 YEAR, 8 HOUR, 16 MINUTE, 32 SECOND; op '+' or '-'.
NumberValue* DateAddUnits(NumberValue* result, const NumberValue* date, int32_t count, char op,
                          uint16_t unit);
NumberValue* DateDiffDays(NumberValue* result, const NumberValue* a, const NumberValue* b);
// Reads a date/time text (kind 3, then kind 2); 0 leaves result untouched.
int32_t DateFromText(NumberValue* result, const char* text);
int32_t NumberFromText(NumberValue* result, const char* text);
int32_t DateToText(const NumberValue* date, char* text);
int32_t DateToTextByPicture(const NumberValue* date, const char* picture, char* text);
int32_t NumberToTextByPicture(const NumberValue* number, const char* picture, char* text);
int32_t NumberToTextFixed(const NumberValue* number, int32_t decimals, char* text);
int32_t NumberToCountryText(const NumberValue* number, char* text);
int32_t NumberToCurrencyText(const NumberValue* number, char* text);
// Codes: 8 kind 1 (date), 10 kind 3 (date and time), 9 kind 2 (time), 0 none.
// output must hold kTextBufferSize bytes.
int32_t RecognizeDateText(const char* text, char* output, const char* picture1,
                          const char* picture3, const char* picture2);

}  // namespace xev::host
