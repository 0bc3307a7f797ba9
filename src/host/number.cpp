// NumberValue: the host runtime's decimal numbers.
//
// Behaviour callers can rely on:
// - A number has 22 significant digits. +, -, * and / give the exact result
//   rounded once to 22 digits, half away from zero (division included).
// - The leading digit's exponent lies in -99..99. A result beyond 10^99
//   (after rounding) is NULL and the operation returns 0; a result below
//   10^-99 becomes zero and the operation returns 1.
// - There is one zero; negative zero never arises (-0.4 rounded is 0).
// - A NULL operand makes the result NULL and the operation returns 0; the
//   evaluator decides itself where NULL counts as zero. Division by zero
//   also gives NULL and 0. Every arithmetic operation returns 1 exactly when
//   dst holds a number afterwards.
// - NumberToInt truncates toward zero and saturates at INT32_MIN/INT32_MAX;
//   NULL gives 0.
// - NumberCompare orders NULL below every number; two NULLs are equal.
// - NumberRound rounds half away from zero to `places` decimals; negative
//   places round to tens, hundreds and so on. NumberTruncate does the same
//   toward zero, in place; its mode argument (always 300) is ignored.
// - NumberIsZero is 0 for NULL: NULL is not a number, so not zero either.
#include <climits>
#include <cstring>

#include "host/decimal.h"
#include "host/host.h"

namespace dec = xev::host::decimal;
using dec::u128;

namespace xev::host {

bool NumberFromParts(NumberValue* dst, int128 coefficient, int32_t exponent) {
  bool neg = coefficient < 0;
  u128 magnitude = neg ? u128(0) - u128(coefficient) : u128(coefficient);
  return dec::Finish(dst, magnitude, exponent, neg && magnitude != 0);
}

bool NumberToParts(const NumberValue* n, int128* coefficient, int32_t* exponent) {
  if (dec::IsNull(n)) {
    *coefficient = 0;
    *exponent = 0;
    return false;
  }
  dec::Decimal d = dec::Load(n);
  int32_t exp = d.exp;
  u128 coef = d.coef;
  if (coef == 0) {
    exp = 0;
  } else {
    // Wide coefficients lose their zeros by 128-bit division, the rest by
    // 64-bit steps that the compiler turns into multiplications.
    uint64_t digit;
    while ((coef >> 64) != 0) {
      u128 shorter = dec::DivPow10(coef, 1, &digit);
      if (digit != 0) break;
      coef = shorter;
      ++exp;
    }
    if ((coef >> 64) == 0) {
      uint64_t narrow = uint64_t(coef);
      while (narrow % 10 == 0) {
        narrow /= 10;
        ++exp;
      }
      coef = narrow;
    }
  }
  *coefficient = d.neg ? -int128(coef) : int128(coef);
  *exponent = exp;
  return true;
}

}  // namespace xev::host

namespace {

int32_t SaturatedInt(u128 magnitude, bool neg) {
  if (neg) return magnitude >= u128(1) << 31 ? INT32_MIN : -int32_t(magnitude);
  return magnitude > u128(INT32_MAX) ? INT32_MAX : int32_t(magnitude);
}

// Guards shared by the binary operations: false (dst NULL) when an operand is.
bool BothPresent(NumberValue* dst, const NumberValue* a, const NumberValue* b) {
  if (dec::IsNull(a) || dec::IsNull(b)) {
    dec::StoreNull(dst);
    return false;
  }
  return true;
}

}  // namespace

extern "C" {

XEV_API int32_t XEV_CALL NumberIsNull(const NumberValue* n) { return dec::IsNull(n) ? 1 : 0; }

XEV_API int32_t XEV_CALL NumberIsZero(const NumberValue* n) {
  return !dec::IsNull(n) && dec::Load(n).coef == 0 ? 1 : 0;
}

XEV_API void XEV_CALL NumberSetNull(NumberValue* n) { dec::StoreNull(n); }

XEV_API void XEV_CALL NumberSetZero(NumberValue* n) { dec::StoreZero(n); }

XEV_API int32_t XEV_CALL NumberToInt(const NumberValue* n) {
  if (dec::IsNull(n)) return 0;
  dec::Decimal d = dec::Load(n);
  u128 magnitude;
  if (d.exp >= 0) {
    // Any non-zero coefficient times 10^11 is beyond 32 bits already.
    magnitude = d.exp > 10 ? (d.coef != 0 ? u128(1) << 40 : 0) : d.coef * dec::Pow10(d.exp);
  } else {
    magnitude = -d.exp > dec::kPrecision ? 0 : d.coef / dec::Pow10(-d.exp);
  }
  return SaturatedInt(magnitude, d.neg);
}

XEV_API void XEV_CALL IntToNumber(NumberValue* dst, int32_t value) { LongToNumber(dst, value); }

XEV_API void XEV_CALL LongToNumber(NumberValue* dst, int64_t value) {
  if (value == 0) {
    dec::StoreZero(dst);
    return;
  }
  bool neg = value < 0;
  uint64_t magnitude = neg ? uint64_t(0) - uint64_t(value) : uint64_t(value);
  dec::Store(dst, magnitude, 0, neg);
}

XEV_API int32_t XEV_CALL NumberCompare(const NumberValue* a, const NumberValue* b) {
  bool aNull = dec::IsNull(a), bNull = dec::IsNull(b);
  if (aNull || bNull) return int32_t(bNull) - int32_t(aNull);
  return dec::Compare(a, b);
}

XEV_API void XEV_CALL NumberNegate(NumberValue* n) {
  if (dec::IsNull(n) || dec::Load(n).coef == 0) return;
  n->bytes[12] ^= 1;
}

XEV_API int32_t XEV_CALL NumberAdd(NumberValue* dst, const NumberValue* a, const NumberValue* b) {
  if (!BothPresent(dst, a, b)) return 0;
  return dec::Add(dst, a, b, false) ? 1 : 0;
}

XEV_API int32_t XEV_CALL NumberSub(NumberValue* dst, const NumberValue* a, const NumberValue* b) {
  if (!BothPresent(dst, a, b)) return 0;
  return dec::Add(dst, a, b, true) ? 1 : 0;
}

XEV_API int32_t XEV_CALL NumberMul(NumberValue* dst, const NumberValue* a, const NumberValue* b) {
  if (!BothPresent(dst, a, b)) return 0;
  return dec::Multiply(dst, a, b) ? 1 : 0;
}

XEV_API int32_t XEV_CALL NumberDiv(NumberValue* dst, const NumberValue* a, const NumberValue* b) {
  if (!BothPresent(dst, a, b)) return 0;
  if (dec::Load(b).coef == 0) {
    dec::StoreNull(dst);
    return 0;
  }
  return dec::Divide(dst, a, b) ? 1 : 0;
}

XEV_API int32_t XEV_CALL NumberRound(NumberValue* dst, const NumberValue* src, int32_t places) {
  if (dec::IsNull(src)) {
    dec::StoreNull(dst);
    return 0;
  }
  return dec::Quantize(dst, src, places, true) ? 1 : 0;
}

XEV_API int32_t XEV_CALL NumberTruncate(NumberValue* n, int32_t mode, int32_t places) {
  (void)mode;
  if (dec::IsNull(n)) return 0;
  return dec::Quantize(n, n, places, false) ? 1 : 0;
}

}  // extern "C"
