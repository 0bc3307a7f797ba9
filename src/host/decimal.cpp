// Exact decimal arithmetic on 128-bit coefficients. Every operation first
// forms an exact (or exactly truncated) coefficient and lets Finish round it
// once, so results are correctly rounded without double rounding.
#include "host/decimal.h"

#include <algorithm>

namespace xev::host::decimal {

namespace {

constexpr int kMaxPow10 = 38;

struct Pow10Table {
  u128 values[kMaxPow10 + 1];
  constexpr Pow10Table() : values() {
    u128 v = 1;
    for (int k = 0; k <= kMaxPow10; ++k) {
      values[k] = v;
      v *= 10;
    }
  }
};
constexpr Pow10Table kPow10;

constexpr u128 kTen21 = kTen22 / 10;

// Exponents whose every coefficient below 10^22 keeps the leading digit's
// exponent inside the range; Finish skips counting digits for them.
constexpr int64_t kSafeExpLow = kMinAdjusted;
constexpr int64_t kSafeExpHigh = kMaxAdjusted - (kPrecision - 1);

// floor(x / 10^k) for any k >= 0.
u128 DropDigits(u128 x, int k) {
  if (k <= 0) return x;
  if (k > kMaxPow10) return 0;
  if (k <= 19) {
    uint64_t unused;
    return DivMod64(x, uint64_t(kPow10.values[k]), &unused);
  }
  return x / kPow10.values[k];
}

// 192-bit product of two coefficients below 2^80, as three 64-bit limbs.
struct Wide {
  uint64_t limb[3];
};

Wide WideProduct(u128 a, u128 b) {
  uint64_t a0 = uint64_t(a), a1 = uint64_t(a >> 64);
  uint64_t b0 = uint64_t(b), b1 = uint64_t(b >> 64);
  u128 low = u128(a0) * b0;
  u128 middle = u128(a1) * b0 + u128(a0) * b1 + (low >> 64);
  uint64_t top = a1 * b1 + uint64_t(middle >> 64);
  return Wide{{uint64_t(low), uint64_t(middle), top}};
}

// Divides a 192-bit number whose top limb is below d by d; the quotient
// fits 128 bits.
u128 DivideWide(const Wide& w, uint64_t d, uint64_t* remainder) {
  u128 upper = (u128(w.limb[2]) << 64) | w.limb[1];
  uint64_t r;
  u128 high = DivMod64(upper, d, &r);  // below 2^64 because limb[2] < d
  u128 lower = (u128(r) << 64) | w.limb[0];
  u128 low = DivMod64(lower, d, remainder);
  return (high << 64) + low;
}

}  // namespace

u128 Pow10(int k) { return kPow10.values[k]; }

int DigitCount(u128 x) {
  if (x == 0) return 1;
  uint64_t high = uint64_t(x >> 64);
  int bits = high != 0 ? 128 - __builtin_clzll(high) : 64 - __builtin_clzll(uint64_t(x));
  // 1233 / 4096 is just below log10(2): the estimate is the digit count or
  // one less.
  int estimate = (bits * 1233) >> 12;
  return estimate + (x >= kPow10.values[estimate] ? 1 : 0);
}

u128 DivMod64(u128 x, uint64_t d, uint64_t* remainder) {
  uint64_t high = uint64_t(x >> 64);
  uint64_t low = uint64_t(x);
  if (high == 0) {
    *remainder = low % d;
    return low / d;
  }
  uint64_t quotientHigh = high / d;
  high %= d;
#if defined(__x86_64__)
  // The hardware divides 128 by 64 bits directly once the quotient is known
  // to fit 64 bits (high < d), which the library's generic division does not
  // exploit inline.
  uint64_t quotientLow, r;
  __asm__("divq %[d]" : "=a"(quotientLow), "=d"(r) : "a"(low), "d"(high), [d] "r"(d));
  *remainder = r;
  return (u128(quotientHigh) << 64) | quotientLow;
#else
  u128 rest = (u128(high) << 64) | low;
  *remainder = uint64_t(rest % d);
  return (u128(quotientHigh) << 64) | uint64_t(rest / d);
#endif
}

bool Finish(NumberValue* dst, u128 coef, int64_t exp, bool neg) {
  if (coef >= kTen22) {
    int drop = DigitCount(coef) - kPrecision;
    u128 kept = DropDigits(coef, drop - 1);
    uint64_t digit;
    coef = DivMod64(kept, 10, &digit);
    if (digit >= 5) ++coef;
    exp += drop;
    if (coef == kTen22) {
      coef = kTen21;
      ++exp;
    }
  }
  if (coef == 0) {
    StoreZero(dst);
    return true;
  }
  if (exp < kSafeExpLow || exp > kSafeExpHigh) {
    int64_t adjusted = exp + DigitCount(coef) - 1;
    if (adjusted > kMaxAdjusted) {
      StoreNull(dst);
      return false;
    }
    if (adjusted < kMinAdjusted) {
      StoreZero(dst);
      return true;
    }
  }
  Store(dst, coef, int32_t(exp), neg);
  return true;
}

int CompareMagnitude(const Decimal& a, const Decimal& b) {
  if (a.coef == 0 || b.coef == 0) return (a.coef != 0) - (b.coef != 0);
  bool aHigher = a.exp >= b.exp;
  const Decimal& high = aHigher ? a : b;
  const Decimal& low = aHigher ? b : a;
  int64_t gap = int64_t(high.exp) - low.exp;
  int order;
  if (gap >= kPrecision || high.coef >= kPow10.values[kPrecision - gap]) {
    // high.coef * 10^gap reaches 10^22, beyond any coefficient.
    order = 1;
  } else {
    u128 scaled = high.coef * kPow10.values[gap];
    order = scaled > low.coef ? 1 : (scaled == low.coef ? 0 : -1);
  }
  return aHigher ? order : -order;
}

bool Add(NumberValue* dst, const Decimal& a, const Decimal& b, bool subtract) {
  bool bNeg = b.neg != subtract;
  if (b.coef == 0) return Finish(dst, a.coef, a.exp, a.neg);
  if (a.coef == 0) return Finish(dst, b.coef, b.exp, bNeg);

  // Align on the smaller exponent: the operand with the larger one is scaled up.
  bool aHigher = a.exp >= b.exp;
  u128 high = aHigher ? a.coef : b.coef;
  u128 low = aHigher ? b.coef : a.coef;
  bool highNeg = aHigher ? a.neg : bNeg;
  bool lowNeg = aHigher ? bNeg : a.neg;
  int32_t gap = aHigher ? a.exp - b.exp : b.exp - a.exp;
  int32_t exp = aHigher ? b.exp : a.exp;

  bool lowInexact = false;
  if (gap <= 16) {
    high *= kPow10.values[gap];  // below 10^38: exact
  } else {
    // Scale the larger operand to 37 digits and cut the smaller one down to
    // the same exponent; the result keeps more than 22 digits, so the cut
    // digits cannot change the rounding, except as a borrow when subtracting.
    int lift = std::min<int32_t>(gap, 37 - DigitCount(high));
    int cut = gap - lift;
    high *= kPow10.values[lift];
    exp += cut;
    u128 kept = DropDigits(low, cut);
    lowInexact = cut > kMaxPow10 || kept * kPow10.values[cut] != low;
    low = kept;
  }

  if (highNeg == lowNeg) return Finish(dst, high + low, exp, highNeg);
  if (lowInexact) return Finish(dst, high - low - 1, exp, highNeg);
  if (high >= low) return Finish(dst, high - low, exp, highNeg);
  return Finish(dst, low - high, exp, lowNeg);
}

bool Multiply(NumberValue* dst, const Decimal& a, const Decimal& b) {
  bool neg = a.neg != b.neg;
  int64_t exp = int64_t(a.exp) + b.exp;
  u128 product;
  if (!__builtin_mul_overflow(a.coef, b.coef, &product)) return Finish(dst, product, exp, neg);

  // The product needs up to 148 bits. Divide it by 10^19 into a quotient and
  // a remainder, then keep exactly 23 digits (one to round on).
  Wide wide = WideProduct(a.coef, b.coef);
  uint64_t remainder;
  u128 quotient = DivideWide(wide, uint64_t(kTen19), &remainder);
  int cut = DigitCount(quotient) + 19 - (kPrecision + 1);  // digits below the 23 kept
  u128 kept;
  if (cut >= 19) {
    kept = DropDigits(quotient, cut - 19);
  } else {
    kept = quotient * kPow10.values[19 - cut] + DropDigits(remainder, cut);
  }
  return Finish(dst, kept, exp + cut, neg);
}

bool Divide(NumberValue* dst, const Decimal& a, const Decimal& b) {
  bool neg = a.neg != b.neg;
  if (a.coef == 0) return Finish(dst, 0, 0, false);
  int aDigits = DigitCount(a.coef);
  int bDigits = DigitCount(b.coef);
  // a * 10^shift has 23 + bDigits digits, so the quotient has 23 or 24.
  int shift = kPrecision + 1 + bDigits - aDigits;
  int first = std::min(shift, kMaxPow10 - aDigits);
  u128 numerator = a.coef * kPow10.values[first];
  u128 quotient = numerator / b.coef;
  int second = shift - first;
  if (second > 0) {
    // Long division: bring down the remaining zeros onto the remainder,
    // which is below b and so leaves room for them.
    u128 rest = (numerator - quotient * b.coef) * kPow10.values[second];
    quotient = quotient * kPow10.values[second] + rest / b.coef;
  }
  return Finish(dst, quotient, int64_t(a.exp) - b.exp - shift, neg);
}

bool Quantize(NumberValue* dst, const Decimal& src, int64_t places, bool roundHalfUp) {
  int64_t target = -places;
  if (src.exp >= target) return Finish(dst, src.coef, src.exp, src.neg);
  int64_t drop = target - src.exp;
  if (drop > kMaxPow10 + 1) return Finish(dst, 0, 0, false);
  u128 coef;
  if (roundHalfUp) {
    u128 kept = DropDigits(src.coef, int(drop - 1));
    uint64_t digit;
    coef = DivMod64(kept, 10, &digit);
    if (digit >= 5) ++coef;
  } else {
    coef = DropDigits(src.coef, int(drop));
  }
  return Finish(dst, coef, target, src.neg);
}

}  // namespace xev::host::decimal
