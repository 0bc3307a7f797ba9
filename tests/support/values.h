// Numbers and dates made from their texts and parts and shown as texts, for
// the tests that hold values to what they must be.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "xev/xevhost.h"

namespace testhost {

inline NumberValue Num(const char* text) {
  NumberValue n{};
  EXPECT_EQ(HostStrToNumber(&n, text), 1) << text;
  return n;
}

inline NumberValue ValueOf(const DateParts& parts) {
  NumberValue v{};
  v.bytes[0] = static_cast<unsigned char>(DatePartsToNumber(v.bytes + 1, &parts));
  return v;
}

inline NumberValue Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return ValueOf(DateParts{month, day, year, hour, minute, second, 0});
}

// The parts of a DateTime value; all zero for NULL.
inline DateParts PartsOf(const NumberValue& v) {
  DateParts parts{};
  NumberToDateParts(v.bytes + 1, v.bytes[0], &parts);
  return parts;
}

// "y-m-d h:m:s.f", so that one comparison shows every part.
inline std::string Show(const DateParts& p) {
  char text[96];
  std::snprintf(text, sizeof text, "%d-%d-%d %d:%d:%d.%d", p.year, p.month, p.day, p.hour, p.minute, p.second,
                p.fraction);
  return text;
}

// "NULL", or the shortest decimal text.
inline std::string Text(const NumberValue& n) {
  char buffer[64];
  if (NumberIsNull(&n)) return "NULL";
  return HostNumberToStr(&n, buffer, sizeof buffer) < 0 ? "?" : buffer;
}

}  // namespace testhost
