// Numbers as text: the exact decimal digits of a NumberValue, rounding to a
// number of places, grouping of the integer digits, and reading numbers back.
//
// Everything works on the coefficient and exponent the NumberValue holds, never
// through binary floating point, so what is written is exactly what is stored.
#include <climits>
#include <cstdint>
#include <cstring>

#include "host/format_internal.h"
#include "host/host.h"

namespace xev::host {
namespace {


// Decimal digits of a non-negative coefficient, most significant first.
int32_t CoefficientDigits(uint128 value, char* out) {
  char reversed[48];
  int32_t n = 0;
  // 64 bits, as nearly every coefficient: divisions a multiplication each.
  if ((value >> 64) == 0) {
    auto narrow = static_cast<uint64_t>(value);
    do {
      reversed[n++] = static_cast<char>('0' + narrow % 10);
      narrow /= 10;
    } while (narrow != 0);
    for (int32_t i = 0; i < n; ++i) out[i] = reversed[n - 1 - i];
    return n;
  }
  do {
    reversed[n++] = static_cast<char>('0' + static_cast<int>(value % 10));
    value /= 10;
  } while (value != 0);
  for (int32_t i = 0; i < n; ++i) out[i] = reversed[n - 1 - i];
  return n;
}

// Adds one unit in the last place of a digit string; returns the new length
// (one more when the carry runs off the front).
int32_t IncrementDigits(char* digits, int32_t length) {
  for (int32_t i = length - 1; i >= 0; --i) {
    if (digits[i] != '9') {
      ++digits[i];
      return length;
    }
    digits[i] = '0';
  }
  std::memmove(digits + 1, digits, static_cast<size_t>(length));
  digits[0] = '1';
  return length + 1;
}

bool StartsWith(const char* s, const char* prefix) {
  if (prefix == nullptr || *prefix == '\0') return false;
  return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

const char* SkipBlanks(const char* p) {
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

}  // namespace

bool SplitNumber(const NumberValue* n, int32_t decimals, DecimalDigits* digits) {
  int128 coefficient = 0;
  int32_t exponent = 0;
  if (n == nullptr || !NumberToParts(n, &coefficient, &exponent)) return false;
  *digits = DecimalDigits{};
  const bool negative = coefficient < 0;
  const uint128 magnitude =
      negative ? 0 - static_cast<uint128>(coefficient)
               : static_cast<uint128>(coefficient);
  char c[64];
  int32_t length = CoefficientDigits(magnitude, c);

  if (decimals >= 0 && -static_cast<int64_t>(exponent) > decimals) {
    // Round half away from zero at `decimals` places.
    const int64_t cut = -static_cast<int64_t>(exponent) - decimals;
    bool up = false;
    if (cut < length) {
      up = c[length - cut] >= '5';
      length -= static_cast<int32_t>(cut);
    } else {
      up = cut == length && c[0] >= '5';
      c[0] = '0';
      length = 1;
    }
    if (up) length = IncrementDigits(c, length);
    exponent = -decimals;
  }

  if (exponent >= 0) {
    if (length + static_cast<int64_t>(exponent) > kMaxPlainDigits) return false;
    std::memcpy(digits->integer, c, static_cast<size_t>(length));
    digits->integerLength = length;
    if (!(length == 1 && c[0] == '0')) {
      for (int32_t i = 0; i < exponent; ++i) digits->integer[digits->integerLength++] = '0';
    }
  } else {
    const int32_t places = -exponent;
    if (places > kMaxPlainDigits) return false;
    const int32_t intLength = length > places ? length - places : 0;
    std::memcpy(digits->integer, c, static_cast<size_t>(intLength));
    digits->integerLength = intLength;
    const int32_t zeros = places - (length - intLength);
    for (int32_t i = 0; i < zeros; ++i) digits->fraction[digits->fractionLength++] = '0';
    std::memcpy(digits->fraction + digits->fractionLength, c + intLength,
                static_cast<size_t>(length - intLength));
    digits->fractionLength += length - intLength;
  }

  // Leading zeros of the integer part go; trailing zeros of the fraction are
  // kept only when a number of places was asked for.
  int32_t lead = 0;
  while (lead < digits->integerLength && digits->integer[lead] == '0') ++lead;
  std::memmove(digits->integer, digits->integer + lead,
               static_cast<size_t>(digits->integerLength - lead));
  digits->integerLength -= lead;
  digits->integer[digits->integerLength] = '\0';
  if (decimals < 0) {
    while (digits->fractionLength > 0 && digits->fraction[digits->fractionLength - 1] == '0') {
      --digits->fractionLength;
    }
  } else {
    if (decimals > kMaxPlainDigits) return false;
    while (digits->fractionLength < decimals) digits->fraction[digits->fractionLength++] = '0';
  }
  digits->fraction[digits->fractionLength] = '\0';

  bool anyDigit = digits->integerLength > 0;
  for (int32_t i = 0; i < digits->fractionLength && !anyDigit; ++i) {
    anyDigit = digits->fraction[i] != '0';
  }
  digits->negative = negative && anyDigit;
  return true;
}

void GroupMarks(int32_t count, const char* grouping, bool* mark) {
  if (grouping == nullptr) return;
  int32_t pos = count;
  int32_t index = 0;
  int32_t size = static_cast<unsigned char>(grouping[0]);
  while (size > 0 && size != CHAR_MAX) {
    pos -= size;
    if (pos <= 0) break;
    mark[pos] = true;
    if (grouping[index + 1] != '\0') size = static_cast<unsigned char>(grouping[++index]);
  }
}

void PutGroupedDigits(std::string_view digits, const char* separator, const char* grouping,
                      TextSink* out) {
  const int32_t n = static_cast<int32_t>(digits.size());
  bool mark[kMaxPlainDigits + 8] = {};
  if (separator != nullptr && *separator != '\0' && n <= kMaxPlainDigits) {
    GroupMarks(n, grouping, mark);
  }
  for (int32_t i = 0; i < n; ++i) {
    if (mark[i]) out->Put(separator);
    out->Put(digits[static_cast<size_t>(i)]);
  }
}

bool ParseNumberText(const char* text, const char* decimalPoint, const char* thousandsSep,
                     const char* grouping, const char* currencySymbol, NumberValue* result) {
  if (text == nullptr) return false;
  if (thousandsSep != nullptr && decimalPoint != nullptr &&
      std::strcmp(thousandsSep, decimalPoint) == 0) {
    thousandsSep = nullptr;
  }
  // The number is rebuilt as a plain text that HostStrToNumber reads exactly.
  char plain[256];
  int32_t length = 0;
  const auto put = [&](char c) {
    if (length + 1 >= static_cast<int32_t>(sizeof plain)) return false;
    plain[length++] = c;
    return true;
  };

  const char* p = SkipBlanks(text);
  bool negative = false;
  bool signSeen = false;
  bool currencySeen = false;
  for (int32_t round = 0; round < 2; ++round) {
    if (!signSeen && (*p == '-' || *p == '+')) {
      negative = *p == '-';
      signSeen = true;
      p = SkipBlanks(p + 1);
    } else if (!currencySeen && StartsWith(p, currencySymbol)) {
      currencySeen = true;
      p = SkipBlanks(p + std::strlen(currencySymbol));
    }
  }
  if (negative && !put('-')) return false;

  // Digit runs between thousands separators must have the locale's group
  // sizes, so that a stray separator is not silently dropped ("1.5" is not
  // fifteen where "." groups).
  int32_t runs[kMaxPlainDigits];
  int32_t runCount = 0;
  int32_t run = 0;
  int32_t digitCount = 0;
  while (true) {
    if (*p >= '0' && *p <= '9') {
      if (!put(*p++)) return false;
      ++digitCount;
      ++run;
    } else if (digitCount > 0 && StartsWith(p, thousandsSep) &&
               p[std::strlen(thousandsSep)] >= '0' && p[std::strlen(thousandsSep)] <= '9') {
      if (runCount == kMaxPlainDigits - 1) return false;
      runs[runCount++] = run;
      run = 0;
      p += std::strlen(thousandsSep);
    } else {
      break;
    }
  }
  if (runCount > 0) {
    runs[runCount++] = run;
    const char* sizes = (grouping != nullptr && *grouping != '\0') ? grouping : "\3";
    int32_t index = 0;
    for (int32_t i = runCount - 1; i >= 0; --i) {
      const int32_t size = static_cast<unsigned char>(sizes[index]);
      if (i == 0 ? (runs[i] < 1 || runs[i] > size) : runs[i] != size) return false;
      if (sizes[index + 1] != '\0') ++index;
    }
  }
  const char* point = (decimalPoint != nullptr && *decimalPoint != '\0') ? decimalPoint : ".";
  if (StartsWith(p, point)) {
    p += std::strlen(point);
    if (!put('.')) return false;
    while (*p >= '0' && *p <= '9') {
      if (!put(*p++)) return false;
      ++digitCount;
    }
  }
  if (digitCount == 0) return false;
  if ((*p == 'e' || *p == 'E') &&
      ((p[1] >= '0' && p[1] <= '9') ||
       ((p[1] == '+' || p[1] == '-') && p[2] >= '0' && p[2] <= '9'))) {
    if (!put('e')) return false;
    ++p;
    if ((*p == '+' || *p == '-') && !put(*p++)) return false;
    while (*p >= '0' && *p <= '9') {
      if (!put(*p++)) return false;
    }
  }
  p = SkipBlanks(p);
  if (!currencySeen && StartsWith(p, currencySymbol)) p = SkipBlanks(p + std::strlen(currencySymbol));
  if (*p != '\0') return false;
  plain[length] = '\0';
  NumberValue value{};
  if (!HostStrToNumber(&value, plain)) return false;
  *result = value;
  return true;
}

}  // namespace xev::host
