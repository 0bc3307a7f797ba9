// The arithmetic core behind NumberValue: a decimal value held as an unsigned
// 128-bit coefficient, a power-of-ten exponent and a sign.
//
// Stored layout of a NumberValue (13 bytes):
//   byte 0      length of what follows: kStoredLength for a number, 0 for NULL
//   bytes 1-8   coefficient, low 64 bits, little-endian
//   bytes 9-10  coefficient, high 16 bits, little-endian
//   byte 11     exponent, two's complement (-120 to 99)
//   byte 12     sign: 0 positive, 1 negative
// The coefficient is below 10^22 and is not normalised (12.50 may stay
// 1250 * 10^-2), so that amounts with the same scale add without rescaling.
// Zero is always coefficient 0, exponent 0, sign 0: one zero, never negative.
#pragma once

#include <cstdint>
#include <cstring>

#include "xev/xevhost.h"

namespace xev::host::decimal {

using u128 = unsigned __int128;

inline constexpr int kPrecision = 22;     // significant digits
inline constexpr int kMaxAdjusted = 99;   // exponent of the leading digit
inline constexpr int kMinAdjusted = -99;
inline constexpr unsigned char kStoredLength = 12;

struct Decimal {
  u128 coef;
  int32_t exp;
  bool neg;
};

// 10^k for 0 <= k <= 38.
u128 Pow10(int k);
inline constexpr u128 kTen19 = 10000000000000000000ull;
inline constexpr u128 kTen22 = kTen19 * 1000u;

// Number of decimal digits of x; 1 for 0.
int DigitCount(u128 x);

// x / d and x % d for a divisor below 2^64.
u128 DivMod64(u128 x, uint64_t d, uint64_t* remainder);
// x / 10^k and x % 10^k for 1 <= k <= 19, without a hardware division.
u128 DivPow10(u128 x, int k, uint64_t* remainder);

inline bool IsNull(const NumberValue* n) { return n->bytes[0] == 0; }

inline Decimal Load(const NumberValue* n) {
  uint64_t low;
  std::memcpy(&low, n->bytes + 1, sizeof low);
  uint64_t high = uint64_t(n->bytes[9]) | uint64_t(n->bytes[10]) << 8;
  u128 coef = (u128(high) << 64) | low;
  // Bytes no operation writes (a damaged stored block) must not push any
  // operation past its tables: the coefficient is capped at 22 digits.
  if (coef >= kTen22) coef = kTen22 - 1;
  return Decimal{coef, int8_t(n->bytes[11]), n->bytes[12] != 0};
}

// Writes a value already known to be in range (coef < 10^22, exponent fits).
inline void Store(NumberValue* n, u128 coef, int32_t exp, bool neg) {
  uint64_t low = uint64_t(coef);
  uint64_t high = uint64_t(coef >> 64);
  n->bytes[0] = kStoredLength;
  std::memcpy(n->bytes + 1, &low, sizeof low);
  n->bytes[9] = uint8_t(high);
  n->bytes[10] = uint8_t(high >> 8);
  n->bytes[11] = uint8_t(int8_t(exp));
  n->bytes[12] = neg ? 1 : 0;
}

inline void StoreZero(NumberValue* n) {
  std::memset(n->bytes, 0, sizeof n->bytes);
  n->bytes[0] = kStoredLength;
}

inline void StoreNull(NumberValue* n) { std::memset(n->bytes, 0, sizeof n->bytes); }

// Rounds an exact coefficient * 10^exp to kPrecision digits, half away from
// zero, and stores it. Digits already cut off below coef never matter: with
// at least one digit still to drop, only the dropped digits decide the
// rounding. Beyond the exponent range the result is NULL (returns false);
// below it, zero (returns true).
bool FinishSlow(NumberValue* dst, u128 coef, int64_t exp, bool neg);

inline bool Finish(NumberValue* dst, u128 coef, int64_t exp, bool neg) {
  // Exponents for which no coefficient below 10^22 can leave the range.
  constexpr int64_t kSafeLow = kMinAdjusted, kSafeHigh = kMaxAdjusted - (kPrecision - 1);
  if (coef - 1 < kTen22 - 1 && exp >= kSafeLow && exp <= kSafeHigh) {
    Store(dst, coef, int32_t(exp), neg);
    return true;
  }
  return FinishSlow(dst, coef, exp, neg);
}

// The operations take the stored values and load them themselves: a Decimal
// handed over through memory costs a stalled load (two 8-byte stores read
// back as one 16-byte load), which measured as much as the division itself.
// Operands are not NULL; dst may be one of them.

// dst = a + b, or a - b when subtract is set.
bool Add(NumberValue* dst, const NumberValue* a, const NumberValue* b, bool subtract);

// Add with the common case inline: operands of one scale (amounts with two
// decimals, whole numbers) need no alignment.
inline bool AddQuick(NumberValue* dst, const NumberValue* pa, const NumberValue* pb, bool subtract) {
  Decimal a = Load(pa), b = Load(pb);
  if (a.exp != b.exp) return Add(dst, pa, pb, subtract);
  bool bNeg = b.neg != subtract;
  if (a.neg == bNeg) return Finish(dst, a.coef + b.coef, a.exp, a.neg);
  if (a.coef >= b.coef) return Finish(dst, a.coef - b.coef, a.exp, a.neg);
  return Finish(dst, b.coef - a.coef, a.exp, bNeg);
}

bool Multiply(NumberValue* dst, const NumberValue* a, const NumberValue* b);
// b must not be zero.
bool Divide(NumberValue* dst, const NumberValue* a, const NumberValue* b);

// -1, 0 or 1 by value (not by scale).
int Compare(const NumberValue* a, const NumberValue* b);

// dst = src rounded (or truncated toward zero) to the given number of decimals.
bool Quantize(NumberValue* dst, const NumberValue* src, int64_t places, bool roundHalfUp);

}  // namespace xev::host::decimal
