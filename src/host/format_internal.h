// What the formatting files of the host runtime share: a bounded text writer,
// the date text reader, the date and number picture engines and the number
// digit helpers.
#pragma once

#include <cstdint>
#include <string_view>

#include "xev/xevhost.h"

namespace xev::host {

// Writes into a caller's buffer without ever passing its end; remembers when
// something did not fit so that the caller can report failure.
class TextSink {
 public:
  TextSink(char* buffer, int32_t size) : buffer_(buffer), size_(size) {
    if (buffer_ != nullptr && size_ > 0) buffer_[0] = '\0';
  }
  void Put(char c) {
    if (buffer_ == nullptr || length_ + 1 >= size_) {
      overflow_ = true;
      return;
    }
    buffer_[length_++] = c;
    buffer_[length_] = '\0';
  }
  void Put(std::string_view s) {
    for (char c : s) Put(c);
  }
  int32_t length() const { return length_; }
  // True when everything fitted; otherwise the buffer is left empty.
  bool Finish() {
    if (!overflow_) return true;
    if (buffer_ != nullptr && size_ > 0) buffer_[0] = '\0';
    length_ = 0;
    return false;
  }

 private:
  char* buffer_;
  int32_t size_;
  int32_t length_ = 0;
  bool overflow_ = false;
};

// ---- Date and time texts (format_date_text.cpp) ----------------------------
// kind is XEV_FORMAT_DATE, _TIME or _DATETIME. A time alone lies on day 0
// (2 January 0001). Fails on anything but one whole date or time text.
bool ParseDateText(const char* text, int32_t kind, DateParts* parts);
// Constant, so that the compiled date pictures can lay them out at compile time.
inline constexpr const char* kMonthNames[12] = {"January", "February", "March",     "April",
                                                "May",     "June",     "July",      "August",
                                                "September", "October", "November", "December"};
inline constexpr const char* kWeekdayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                 "Thursday", "Friday", "Saturday"};
// The picture each date kind writes when none is given.
const char* DefaultDatePicture(int32_t kind);

// ---- Date pictures (picture_date.cpp) ---------------------------------------
bool IsValidDatePicture(const char* picture);
// parts must already be normalised. False when the picture is refused.
bool WriteDateByPicture(const char* picture, const DateParts& parts, TextSink* out);
// Widest text the picture can write; -1 when it is refused.
int32_t MeasureDatePicture(const char* picture);

// ---- Number digits (format_number.cpp) --------------------------------------
// The most digits a plain (not exponent) form has on either side of the point.
constexpr int32_t kMaxPlainDigits = 120;
// A number as sign, the decimal digits of its integer part ("" for 0) and of
// its fraction, rounded half away from zero to `decimals` places (-1: exact).
struct DecimalDigits {
  bool negative = false;
  char integer[128] = {};
  int32_t integerLength = 0;
  char fraction[128] = {};
  int32_t fractionLength = 0;
};
// False for NULL and for values whose plain form would not fit.
bool SplitNumber(const NumberValue* n, int32_t decimals, DecimalDigits* digits);
// Marks mark[i] for each digit i (of count) that a separator precedes, by a
// grouping string of group sizes from the right (the last size repeats).
void GroupMarks(int32_t count, const char* grouping, bool* mark);
// Writes the integer digits with separators placed by a grouping string.
void PutGroupedDigits(std::string_view digits, const char* separator, const char* grouping,
                      TextSink* out);
// Reads a number with the given decimal point and thousands separator (the
// latter may be empty; groups must then follow grouping). Accepts blanks
// around, a sign, a currency symbol before or after, an exponent.
bool ParseNumberText(const char* text, const char* decimalPoint, const char* thousandsSep,
                     const char* grouping, const char* currencySymbol, NumberValue* result);

// ---- Number pictures (picture_number.cpp) -----------------------------------
bool IsValidNumberPicture(const char* picture);
struct NumberStyle {
  const char* decimalPoint;
  const char* thousandsSep;
  const char* grouping;
  const char* currencySymbol;
};
bool WriteNumberByPicture(const char* picture, const NumberValue* n, const NumberStyle& style,
                          TextSink* out);
int32_t MeasureNumberPicture(const char* picture, const NumberStyle& style);

}  // namespace xev::host
