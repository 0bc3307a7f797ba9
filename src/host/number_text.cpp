// Conversions of NumberValues to and from plain text and binary doubles.
//
// Text read: an optional sign, digits with an optional decimal point (at least
// one digit, "12.", ".5"), then an optional exponent "E" or "e" with an
// optional sign and at least one digit. Nothing else, no blanks. More than 22
// digits round half away from zero.
//
// Text written: the shortest text that reads back to the same value. Plain
// digits for integers of up to 22 digits and for fractions down to 10^-7
// ("100", "12.5", "-0.001"); beyond those, one digit, the other digits after
// a point and an exponent with its sign ("1E+25", "-1.5E-8").
#include <charconv>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/decimal.h"
#include "host/host.h"

namespace dec = xev::host::decimal;
using dec::u128;

namespace {

constexpr int kLargestPlainAdjusted = 21;
constexpr int kSmallestPlainAdjusted = -7;
// Longest text written: "-0.000000" and 22 digits.
constexpr int kLongestText = 31;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Exponents beyond this are out of range whatever the digits; clamping keeps
// the sum with the digit position from overflowing.
constexpr int64_t kExponentClamp = 1000000;

struct ParsedNumber {
  u128 coef = 0;
  int64_t exp = 0;
  bool neg = false;
};

// Keeps the first 23 significant digits: one more than the precision, so the
// rounding in Finish sees its deciding digit while later ones cannot matter.
class DigitCollector {
 public:
  void Integer(int digit, ParsedNumber* n) {
    if (Append(digit, n)) return;
    if (kept_ > 0) ++n->exp;  // a dropped integer digit still scales the value
  }
  void Fraction(int digit, ParsedNumber* n) {
    if (Append(digit, n)) --n->exp;
  }

 private:
  static constexpr int kKeep = dec::kPrecision + 1;
  // True when the digit took a place in the coefficient (leading zeros of a
  // fraction do too: they shift the exponent like any other fraction digit).
  bool Append(int digit, ParsedNumber* n) {
    if (kept_ == 0 && digit == 0) return true;
    if (kept_ >= kKeep) return false;
    n->coef = n->coef * 10 + unsigned(digit);
    ++kept_;
    return true;
  }
  int kept_ = 0;
};

bool ParseNumberText(const char* p, ParsedNumber* n) {
  if (*p == '+' || *p == '-') n->neg = *p++ == '-';
  DigitCollector digits;
  bool anyDigit = false;
  for (; IsDigit(*p); ++p, anyDigit = true) digits.Integer(*p - '0', n);
  if (*p == '.') {
    for (++p; IsDigit(*p); ++p, anyDigit = true) digits.Fraction(*p - '0', n);
  }
  if (!anyDigit) return false;
  if (*p == 'E' || *p == 'e') {
    ++p;
    bool expNeg = false;
    if (*p == '+' || *p == '-') expNeg = *p++ == '-';
    if (!IsDigit(*p)) return false;
    int64_t value = 0;
    for (; IsDigit(*p); ++p) value = std::min<int64_t>(value * 10 + (*p - '0'), kExponentClamp);
    n->exp += expNeg ? -value : value;
  }
  return *p == '\0';
}

// Writes the text of n into out (at least kLongestText + 1 bytes); returns
// its length.
int FormatNumber(const NumberValue* n, char* out) {
  __int128 signedCoef;
  int32_t exp;
  xev::host::NumberToParts(n, &signedCoef, &exp);
  u128 coef = signedCoef < 0 ? u128(0) - u128(signedCoef) : u128(signedCoef);

  char digits[40];
  int count = 0;
  do {
    uint64_t digit;
    coef = dec::DivMod64(coef, 10, &digit);
    digits[count++] = char('0' + digit);
  } while (coef != 0);
  // digits[] holds the digits lowest first.
  int adjusted = exp + count - 1;

  char* p = out;
  if (signedCoef < 0) *p++ = '-';
  if (exp >= 0 && adjusted <= kLargestPlainAdjusted) {
    for (int i = count - 1; i >= 0; --i) *p++ = digits[i];
    for (int i = 0; i < exp; ++i) *p++ = '0';
  } else if (exp < 0 && adjusted >= kSmallestPlainAdjusted) {
    if (adjusted < 0) {
      *p++ = '0';
      *p++ = '.';
      for (int i = -1; i > adjusted; --i) *p++ = '0';
    }
    for (int i = count - 1; i >= 0; --i) {
      *p++ = digits[i];
      if (i == -exp && i != 0) *p++ = '.';
    }
  } else {
    *p++ = digits[count - 1];
    if (count > 1) *p++ = '.';
    for (int i = count - 2; i >= 0; --i) *p++ = digits[i];
    *p++ = 'E';
    *p++ = adjusted < 0 ? '-' : '+';
    p = std::to_chars(p, p + 4, adjusted < 0 ? -adjusted : adjusted).ptr;
  }
  *p = '\0';
  return int(p - out);
}

}  // namespace

extern "C" {

XEV_API int32_t XEV_CALL HostStrToNumber(NumberValue* dst, const char* text) {
  ParsedNumber n;
  if (text == nullptr || !ParseNumberText(text, &n)) {
    dec::StoreNull(dst);
    return 0;
  }
  return dec::Finish(dst, n.coef, n.exp, n.neg && n.coef != 0) ? 1 : 0;
}

XEV_API int32_t XEV_CALL HostNumberToStr(const NumberValue* n, char* buffer, int32_t size) {
  if (buffer == nullptr || size <= 0) return -1;
  if (dec::IsNull(n)) {
    buffer[0] = '\0';
    return 0;
  }
  char text[kLongestText + 1];
  int length = FormatNumber(n, text);
  if (length >= size) return -1;
  std::memcpy(buffer, text, size_t(length) + 1);
  return length;
}

XEV_API int32_t XEV_CALL NumberToDouble(const NumberValue* n, double* out) {
  *out = 0.0;
  if (dec::IsNull(n)) return 0;
  __int128 coef;
  int32_t exp;
  xev::host::NumberToParts(n, &coef, &exp);
  // Text in, double out: the library's reader rounds correctly, which a
  // product of the coefficient and a power of ten would not.
  char text[64];
  char* p = text;
  if (coef < 0) *p++ = '-';
  u128 magnitude = coef < 0 ? u128(0) - u128(coef) : u128(coef);
  uint64_t high = uint64_t(magnitude / dec::kTen19);
  uint64_t low = uint64_t(magnitude % dec::kTen19);
  if (high != 0) {
    p = std::to_chars(p, text + sizeof text, high).ptr;
    char lowDigits[20];
    char* end = std::to_chars(lowDigits, lowDigits + sizeof lowDigits, low).ptr;
    int width = int(end - lowDigits);
    for (int i = width; i < 19; ++i) *p++ = '0';
    std::memcpy(p, lowDigits, size_t(width));
    p += width;
  } else {
    p = std::to_chars(p, text + sizeof text, low).ptr;
  }
  *p++ = 'e';
  p = std::to_chars(p, text + sizeof text, exp).ptr;
  double value = 0.0;
  std::from_chars(text, p, value);
  *out = value;
  return 1;
}

XEV_API int32_t XEV_CALL DoubleToNumber(NumberValue* dst, double value) {
  if (!std::isfinite(value)) {
    dec::StoreNull(dst);
    return 0;
  }
  // The shortest text that reads back as the same double is the decimal the
  // double stands for; it has at most 17 digits, so it converts exactly.
  char text[64];
  auto result = std::to_chars(text, text + sizeof text - 1, value);
  *result.ptr = '\0';
  return HostStrToNumber(dst, text);
}

}  // extern "C"
