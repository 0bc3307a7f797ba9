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
// The first 19 collect in a 64-bit word, the rest in a second one.
class DigitCollector {
 public:
  void Integer(int digit, int64_t* exp) {
    if (!Append(digit)) ++*exp;  // a dropped integer digit still scales the value
  }
  void Fraction(int digit, int64_t* exp) {
    if (Append(digit)) --*exp;
  }
  u128 Coefficient() const { return u128(head_) * uint64_t(dec::Pow10(tailDigits_)) + tail_; }

 private:
  static constexpr int kKeep = dec::kPrecision + 1;
  static constexpr int kHeadDigits = 19;
  // True when the digit took a place in the coefficient (leading zeros of a
  // fraction do too: they shift the exponent like any other fraction digit).
  bool Append(int digit) {
    if (kept_ == 0 && digit == 0) return true;
    if (kept_ >= kKeep) return false;
    if (kept_ < kHeadDigits) {
      head_ = head_ * 10 + unsigned(digit);
    } else {
      tail_ = tail_ * 10 + unsigned(digit);
      ++tailDigits_;
    }
    ++kept_;
    return true;
  }
  uint64_t head_ = 0, tail_ = 0;
  int kept_ = 0, tailDigits_ = 0;
};

bool ParseNumberText(const char* p, ParsedNumber* n) {
  if (*p == '+' || *p == '-') n->neg = *p++ == '-';
  DigitCollector digits;
  bool anyDigit = false;
  for (; IsDigit(*p); ++p, anyDigit = true) digits.Integer(*p - '0', &n->exp);
  if (*p == '.') {
    for (++p; IsDigit(*p); ++p, anyDigit = true) digits.Fraction(*p - '0', &n->exp);
  }
  if (!anyDigit) return false;
  n->coef = digits.Coefficient();
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

// The text data files hold: a sign, up to 19 digits with a point among
// them, no exponent. The digits are the coefficient as they stand, as the
// general reader keeps them; false for anything else, which it reads.
bool ParsePlainNumber(const char* p, ParsedNumber* n) {
  if (*p == '+' || *p == '-') n->neg = *p++ == '-';
  uint64_t value = 0;  // wraps past 19 digits, when it is not used
  const char* start = p;
  for (; IsDigit(*p); ++p) value = value * 10 + unsigned(*p - '0');
  int64_t fraction = 0;
  int64_t digits = p - start;
  if (*p == '.') {
    const char* point = ++p;
    for (; IsDigit(*p); ++p) value = value * 10 + unsigned(*p - '0');
    fraction = p - point;
    digits += fraction;
  }
  if (*p != '\0' || digits == 0 || digits > 19) return false;
  n->coef = value;
  n->exp = -fraction;
  return true;
}

// The significant digits of a non-zero n, most significant first and without
// trailing zeros, into out (at least 23 bytes); returns their count and sets
// *exp to the exponent of the last one.
int SignificantDigits(const dec::Decimal& d, char* out, int32_t* exp) {
  char* end;
  if (d.coef < dec::kTen19) {
    end = std::to_chars(out, out + 22, uint64_t(d.coef)).ptr;
  } else {
    uint64_t low;
    uint64_t high = uint64_t(dec::DivPow10(d.coef, 19, &low));
    end = std::to_chars(out, out + 3, high).ptr;
    char* lowStart = end;
    end = std::to_chars(lowStart, lowStart + 19, low).ptr;
    int width = int(end - lowStart);
    if (width < 19) {  // restore the leading zeros of the low part
      std::memmove(lowStart + (19 - width), lowStart, size_t(width));
      std::memset(lowStart, '0', size_t(19 - width));
      end = lowStart + 19;
    }
  }
  *exp = d.exp;
  while (end[-1] == '0') {
    --end;
    ++*exp;
  }
  return int(end - out);
}

// "00" to "99".
constexpr struct DigitPairs {
  char text[200];
  constexpr DigitPairs() : text() {
    for (int i = 0; i < 100; ++i) {
      text[2 * i] = char('0' + i / 10);
      text[2 * i + 1] = char('0' + i % 10);
    }
  }
} kDigitPairs;

// Copies of up to kWord bytes are made as one move of kWord bytes, so the
// buffers they write and read have that much room past their text.
constexpr int kWord = 24;

// The digits of v (not zero) written backwards to end; returns their start.
char* DigitsBefore(uint64_t v, char* end) {
  while (v >= 100) {
    const uint64_t rest = v % 100;
    v /= 100;
    end -= 2;
    std::memcpy(end, &kDigitPairs.text[2 * rest], 2);
  }
  if (v >= 10) {
    end -= 2;
    std::memcpy(end, &kDigitPairs.text[2 * v], 2);
  } else {
    *--end = char('0' + v);
  }
  return end;
}

// The plain forms of a coefficient of 64 bits with 0 to 19 decimals, most
// numbers a report writes: its digits straight, with the point put in and
// the zeros after the last decimal dropped, as the general path writes
// them. -1 for a fraction that the general path writes with an exponent.
int FormatPlainNumber(uint64_t coef, int32_t exp, bool neg, char* out) {
  while (exp < 0 && coef % 10 == 0) {
    coef /= 10;
    ++exp;
  }
  char digits[2 * kWord];
  char* const end = digits + kWord;
  const char* start = DigitsBefore(coef, end);
  const int count = int(end - start);
  const int places = -exp;
  char* p = out;
  if (neg) *p++ = '-';
  if (places < count) {
    std::memcpy(p, start, kWord);
    p += count - places;
    if (places > 0) {
      *p++ = '.';
      std::memcpy(p, end - places, kWord);
      p += places;
    }
  } else {
    if (places - count > -kSmallestPlainAdjusted - 1) return -1;
    std::memcpy(p, "0.000000", 8);
    p += 2 + (places - count);
    std::memcpy(p, start, kWord);
    p += count;
  }
  *p = '\0';
  return int(p - out);
}

// Writes the text of a number (not NULL) into out (at least kLongestText + 1
// + kWord bytes); returns its length.
int FormatNumber(const NumberValue* n, char* out) {
  dec::Decimal d = dec::Load(n);
  if (d.coef == 0) {
    out[0] = '0';
    out[1] = '\0';
    return 1;
  }
  if ((d.coef >> 64) == 0 && d.exp <= 0 && d.exp >= -19) {
    const int length = FormatPlainNumber(uint64_t(d.coef), d.exp, d.neg, out);
    if (length >= 0) return length;
  }
  char digits[24];
  int32_t exp;
  int count = SignificantDigits(d, digits, &exp);
  int adjusted = exp + count - 1;

  char* p = out;
  if (d.neg) *p++ = '-';
  if (exp >= 0 && adjusted <= kLargestPlainAdjusted) {
    std::memcpy(p, digits, size_t(count));
    p += count;
    std::memset(p, '0', size_t(exp));
    p += exp;
  } else if (exp < 0 && adjusted >= kSmallestPlainAdjusted) {
    if (adjusted < 0) {
      *p++ = '0';
      *p++ = '.';
      std::memset(p, '0', size_t(-adjusted - 1));
      p += -adjusted - 1;
      std::memcpy(p, digits, size_t(count));
      p += count;
    } else {
      int integerDigits = adjusted + 1;
      std::memcpy(p, digits, size_t(integerDigits));
      p += integerDigits;
      *p++ = '.';
      std::memcpy(p, digits + integerDigits, size_t(count - integerDigits));
      p += count - integerDigits;
    }
  } else {
    *p++ = digits[0];
    if (count > 1) {
      *p++ = '.';
      std::memcpy(p, digits + 1, size_t(count - 1));
      p += count - 1;
    }
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
  if (text != nullptr && ParsePlainNumber(text, &n)) return dec::Finish(dst, n.coef, n.exp, n.neg && n.coef != 0) ? 1 : 0;
  n = ParsedNumber{};
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
  char text[kLongestText + 1 + kWord];
  int length = FormatNumber(n, text);
  if (length >= size) return -1;
  std::memcpy(buffer, text, size_t(length) + 1);
  return length;
}

XEV_API int32_t XEV_CALL NumberToDouble(const NumberValue* n, double* out) {
  *out = 0.0;
  if (dec::IsNull(n)) return 0;
  dec::Decimal d = dec::Load(n);
  if (d.coef == 0) return 1;
  // Text in, double out: the library's reader rounds correctly, which a
  // product of the coefficient and a power of ten would not.
  char text[40];
  char* p = text;
  if (d.neg) *p++ = '-';
  int32_t exp;
  p += SignificantDigits(d, p, &exp);
  *p++ = 'e';
  p = std::to_chars(p, text + sizeof text, exp).ptr;
  std::from_chars(text, p, *out);
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
