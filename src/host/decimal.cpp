// Exact decimal arithmetic on 128-bit coefficients. Every operation first
// forms an exact (or exactly truncated) coefficient and lets Finish round it
// once, so results are correctly rounded without double rounding.
#include "host/decimal.h"

#include <algorithm>

namespace xev::host::decimal {

namespace {

constexpr u128 kTen21 = kTen22 / 10;

// floor(x / 10^k) for any k >= 0.
u128 DropDigits(u128 x, int k) {
  if (k <= 0) return x;
  if (k > kMaxPow10) return 0;
  if (k <= 19) {
    uint64_t unused;
    return DivPow10(x, k, &unused);
  }
  return x / kPow10Table.values[k];
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

// Divides a 192-bit number by 10^19; the top limb is below 10^19, so the
// quotient fits 128 bits.
u128 DivideWideBy1e19(const Wide& w, uint64_t* remainder) {
  u128 upper = (u128(w.limb[2]) << 64) | w.limb[1];
  uint64_t r;
  u128 high = DivPow10(upper, 19, &r);  // below 2^64
  u128 lower = (u128(r) << 64) | w.limb[0];
  u128 low = DivPow10(lower, 19, remainder);
  return (high << 64) + low;
}

}  // namespace

const uint64_t kPow10Narrow[20] = {
    1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull, 10000000ull, 100000000ull,
    1000000000ull, 10000000000ull, 100000000000ull, 1000000000000ull, 10000000000000ull,
    100000000000000ull, 1000000000000000ull, 10000000000000000ull, 100000000000000000ull,
    1000000000000000000ull, 10000000000000000000ull};

u128 DivPow10(u128 x, int k, uint64_t* remainder) {
  // Measured: the hardware divider beats a multiply by the reciprocal here.
  return DivMod64(x, uint64_t(kPow10Table.values[k]), remainder);
}

u128 DivMod64(u128 x, uint64_t d, uint64_t* remainder) {
  uint64_t high = uint64_t(x >> 64);
  uint64_t low = uint64_t(x);
  if (high == 0) {
    *remainder = low % d;
    return low / d;
  }
  uint64_t quotientHigh = 0;
  if (high >= d) {
    quotientHigh = high / d;
    high %= d;
  }
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

namespace {

// x / d and x % d with the divider, in registers: a wide sum or product is
// rounded after nearly every other operation of a report and must not pay
// two calls and a remainder passed through memory.
inline u128 DivideWideBy64(u128 x, uint64_t d, uint64_t& remainder) {
  uint64_t high = uint64_t(x >> 64), low = uint64_t(x);
  uint64_t quotientHigh = high / d;
  high %= d;
#if defined(__x86_64__)
  uint64_t quotientLow;
  __asm__("divq %[d]" : "=a"(quotientLow), "=d"(remainder) : "a"(low), "d"(high), [d] "r"(d));
#else
  u128 rest = (u128(high) << 64) | low;
  uint64_t quotientLow = uint64_t(rest / d);
  remainder = uint64_t(rest % d);
#endif
  return (u128(quotientHigh) << 64) | quotientLow;
}

// 5^k, and 2^64 = quotient[k] * 5^k + remainder[k], for 1 <= k <= 17.
struct PowersOfFive {
  uint64_t power[18], quotient[18], remainder[18];
  constexpr PowersOfFive() : power(), quotient(), remainder() {
    uint64_t p = 1;
    for (int k = 1; k <= 17; ++k) {
      p *= 5;
      power[k] = p;
      quotient[k] = ~uint64_t(0) / p;  // 2^64 is no multiple of 5^k
      remainder[k] = uint64_t(0) - quotient[k] * p;
    }
  }
};
constexpr PowersOfFive kFives;

// coef / 10^drop and its remainder without the divider, whose two steps a
// wide result paid on nearly every rounding. 10^drop is 2^drop * 5^drop: the
// twos go with a shift, and of n = a * 2^64 + b, with 2^64 = Q * 5^drop + R,
// a * Q fives are whole and a * R + b is left to divide, by a reciprocal
// product that falls short by at most one. False where a * R + b does not
// fit 64 bits (coefficients of many digits, rare), for the divider.
inline bool DividePow10ByProducts(u128 coef, int drop, u128& kept, uint64_t& rest) {
  const u128 n = coef >> drop;
  const uint64_t a = uint64_t(n >> 64), b = uint64_t(n);
  uint64_t t;
  if (__builtin_mul_overflow(a, kFives.remainder[drop], &t) || __builtin_add_overflow(t, b, &t)) return false;
  const uint64_t five = kFives.power[drop];
  uint64_t q = uint64_t((u128(t) * kFives.quotient[drop]) >> 64);
  uint64_t left = t - q * five;
  if (left >= five) {
    ++q;
    left -= five;
  }
  kept = u128(a) * kFives.quotient[drop] + q;
  rest = (left << drop) | (uint64_t(coef) & ((uint64_t(1) << drop) - 1));
  return true;
}

// A coefficient of 23 to 39 digits cut to 22, the dropped digits deciding
// the rounding. At most 17 digits go, so the divisor fits 64 bits.
bool FinishWide(Decimal& r, u128 coef, int64_t exp, bool neg) {
  int drop = DigitCount(coef) - kPrecision;
  uint64_t divisor = kPow10Narrow[drop];
  uint64_t rest;
  u128 kept;
  if (!DividePow10ByProducts(coef, drop, kept, rest)) kept = DivideWideBy64(coef, divisor, rest);
  if (rest >= divisor / 2) ++kept;
  exp += drop;
  if (kept == kTen22) {
    kept = kTen21;
    ++exp;
  }
  // The leading digit's exponent is exp + 21.
  if (exp > kMaxAdjusted - (kPrecision - 1)) {
    Set(r, 0, kNullExponent, false);
    return false;
  }
  if (exp < kMinAdjusted - (kPrecision - 1)) {
    Set(r, 0, 0, false);
    return true;
  }
  Set(r, kept, int32_t(exp), neg);
  return true;
}

}  // namespace

bool FinishSlow(Decimal& r, u128 coef, int64_t exp, bool neg) {
  if (coef >= kTen22) return FinishWide(r, coef, exp, neg);
  Set(r, 0, 0, false);
  if (coef == 0) return true;
  int digits = DigitCount(coef);
  int64_t adjusted = exp + digits - 1;
  if (adjusted > kMaxAdjusted) {
    r.exp = kNullExponent;
    return false;
  }
  if (adjusted < kMinAdjusted) return true;
  Set(r, coef, int32_t(exp), neg);
  return true;
}

namespace {

int CompareMagnitude(const Decimal& a, const Decimal& b) {
  if (a.coef == 0 || b.coef == 0) return (a.coef != 0) - (b.coef != 0);
  bool aHigher = a.exp >= b.exp;
  const Decimal& high = aHigher ? a : b;
  const Decimal& low = aHigher ? b : a;
  int64_t gap = int64_t(high.exp) - low.exp;
  int order;
  if (gap >= kPrecision || high.coef >= kPow10Table.values[kPrecision - gap]) {
    // high.coef * 10^gap reaches 10^22, beyond any coefficient.
    order = 1;
  } else {
    u128 scaled = high.coef * kPow10Table.values[gap];
    order = scaled > low.coef ? 1 : (scaled == low.coef ? 0 : -1);
  }
  return aHigher ? order : -order;
}

}  // namespace

int Compare(const NumberValue* pa, const NumberValue* pb) {
  Decimal a = Load(pa), b = Load(pb);
  // Zero carries no sign, so a sign difference decides unless both are zero.
  int aSign = a.coef == 0 ? 0 : (a.neg ? -1 : 1);
  int bSign = b.coef == 0 ? 0 : (b.neg ? -1 : 1);
  if (aSign != bSign) return aSign < bSign ? -1 : 1;
  int order = CompareMagnitude(a, b);
  return aSign < 0 ? -order : order;
}

bool AddOutOfLine(Decimal& r, const Decimal& a, const Decimal& b, bool subtract) { return Add(r, a, b, subtract); }

bool AddAligned(Decimal& r, const Decimal& a, const Decimal& b, bool subtract) {
  const u128 ac = CoefOf(a), bc = CoefOf(b);
  bool bNeg = b.neg != subtract;
  if (bc == 0) return Finish(r, ac, a.exp, a.neg);
  if (ac == 0) return Finish(r, bc, b.exp, bNeg);

  // Align on the smaller exponent: the operand with the larger one is scaled up.
  bool aHigher = a.exp >= b.exp;
  u128 high = aHigher ? ac : bc;
  u128 low = aHigher ? bc : ac;
  bool highNeg = aHigher ? a.neg : bNeg;
  bool lowNeg = aHigher ? bNeg : a.neg;
  int32_t gap = aHigher ? a.exp - b.exp : b.exp - a.exp;
  int32_t exp = aHigher ? b.exp : a.exp;

  bool lowInexact = false;
  if (gap <= kExactAlignment) {
    high *= kPow10Table.values[gap];  // below 10^38: exact
  } else {
    // Scale the larger operand to 37 digits and cut the smaller one down to
    // the same exponent; the result keeps more than 22 digits, so the cut
    // digits cannot change the rounding, except as a borrow when subtracting.
    int highDigits = DigitCount(high);
    // A smaller operand whose leading digit lies more than 23 places below
    // the larger one's stays under a tenth of the result's last place, even
    // when a subtraction costs the result a leading digit: the larger
    // operand is the rounded result.
    if (DigitCount(low) - gap < highDigits - (kPrecision + 1)) {
      return Finish(r, high, exp + gap, highNeg);
    }
    int lift = std::min<int32_t>(gap, 37 - highDigits);
    int cut = gap - lift;
    high *= kPow10Table.values[lift];
    exp += cut;
    if (cut > 0) {
      u128 kept = DropDigits(low, cut);
      lowInexact = cut > kMaxPow10 || kept * kPow10Table.values[cut] != low;
      low = kept;
    }
  }

  if (highNeg == lowNeg) return Finish(r, high + low, exp, highNeg);
  if (lowInexact) return Finish(r, high - low - 1, exp, highNeg);
  if (high >= low) return Finish(r, high - low, exp, highNeg);
  return Finish(r, low - high, exp, lowNeg);
}

bool MultiplyWide(Decimal& r, const Decimal& a, const Decimal& b) {
  const u128 ac = CoefOf(a), bc = CoefOf(b);
  bool neg = a.neg != b.neg;
  int64_t exp = int64_t(a.exp) + b.exp;
  Wide wide = WideProduct(ac, bc);
  if (wide.limb[2] == 0) return Finish(r, (u128(wide.limb[1]) << 64) | wide.limb[0], exp, neg);

  // The product needs up to 148 bits: split it at 10^19 into quotient and
  // remainder, then round the 22 leading digits straight from those parts.
  uint64_t low;
  u128 high = DivideWideBy1e19(wide, &low);  // at least 20 digits
  int drop = DigitCount(high) + 19 - kPrecision;
  u128 coef;
  bool up;
  if (drop > 19) {
    uint64_t rest;
    coef = DivPow10(high, drop - 19, &rest);
    up = rest >= uint64_t(kPow10Table.values[drop - 19]) / 2;  // low only adds below half a unit
  } else if (drop == 19) {
    coef = high;
    up = low >= uint64_t(kTen19) / 2;
  } else {
    uint64_t rest;
    coef = high * kPow10Table.values[19 - drop] + DivPow10(low, drop, &rest);
    up = rest >= uint64_t(kPow10Table.values[drop]) / 2;
  }
  return Finish(r, coef + (up ? 1 : 0), exp + drop, neg);
}

namespace {

// The high 128 bits of x * m.
u128 MultiplyHigh(u128 x, u128 m) {
  uint64_t x0 = uint64_t(x), x1 = uint64_t(x >> 64), m0 = uint64_t(m), m1 = uint64_t(m >> 64);
  u128 p00 = u128(x0) * m0, p01 = u128(x0) * m1, p10 = u128(x1) * m0, p11 = u128(x1) * m1;
  u128 middle = (p00 >> 64) + uint64_t(p01) + uint64_t(p10);
  return p11 + (p01 >> 64) + (p10 >> 64) + (middle >> 64);
}

// The long division on the operands' fields; exp is a's exponent less b's,
// bDigits the digit count of bc.
bool DivideFields(Decimal& r, u128 ac, u128 bc, int bDigits, int64_t exp, bool neg) {
  if (ac == 0) return Finish(r, 0, 0, false);
  int aDigits = DigitCount(ac);
  // Scale a so that the quotient has exactly 22 digits: then the remainder
  // alone decides the rounding and no second division is needed. With both
  // coefficients brought to 22 digits, the quotient has a 23rd digit
  // exactly when a's is not below b's.
  u128 aWide = ac * kPow10Table.values[kPrecision - aDigits];
  u128 bWide = bc * kPow10Table.values[kPrecision - bDigits];
  int shift = kPrecision + bDigits - aDigits - (aWide >= bWide ? 1 : 0);
  int first = std::min(shift, kMaxPow10 - aDigits);
  u128 numerator = ac * kPow10Table.values[first];
  u128 quotient, rest;
  if ((bc >> 64) == 0) {
    uint64_t r;
    quotient = DivMod64(numerator, uint64_t(bc), &r);
    rest = r;
  } else {
    quotient = numerator / bc;
    rest = numerator - quotient * bc;
  }
  int second = shift - first;
  if (second > 0) {
    // Long division: bring down the remaining zeros onto the remainder,
    // which is below b and so leaves room for them.
    rest *= kPow10Table.values[second];
    u128 more = rest / bc;
    quotient = quotient * kPow10Table.values[second] + more;
    rest -= more * bc;
  }
  if (rest >= bc - rest) ++quotient;  // half or more of a last place
  return Finish(r, quotient, exp - shift, neg);
}

// Both coefficients of 64 bits, a not zero: the long division's quotient
// from a single division of a scaled up to at most 38 digits, which the
// divider takes in two 64-bit steps; a divisor of 17 digits or more needs
// more room and takes the long division.
bool DivideNarrow(Decimal& r, uint64_t ac, uint64_t bc, int64_t exp, bool neg) {
  int aDigits = DigitCount(ac), bDigits = DigitCount(bc);
  if (bc == kPow10Narrow[bDigits - 1]) {
    int widen = kPrecision - aDigits;
    return Finish(r, ac * kPow10Table.values[widen], exp - widen - (bDigits - 1), neg);
  }
  u128 aWide = ac * kPow10Table.values[kPrecision - aDigits];
  u128 bWide = bc * kPow10Table.values[kPrecision - bDigits];
  int shift = kPrecision + bDigits - aDigits - (aWide >= bWide ? 1 : 0);
  if (aDigits + shift > kMaxPow10) return DivideFields(r, ac, bc, bDigits, exp, neg);
  uint64_t rest;
  u128 quotient = DivideWideBy64(ac * kPow10Table.values[shift], bc, rest);
  if (rest >= bc - rest) ++quotient;  // half or more of a last place
  return Finish(r, quotient, exp - shift, neg);
}

// A divisor whose coefficient is a power of ten only moves the point; any
// other takes the long division.
bool DivideAnyFields(Decimal& r, u128 ac, u128 bc, int64_t exp, bool neg) {
  if (((ac | bc) >> 64) == 0 && ac != 0) return DivideNarrow(r, uint64_t(ac), uint64_t(bc), exp, neg);
  int bDigits = DigitCount(bc);
  if (ac == 0 || bc != kPow10Table.values[bDigits - 1]) return DivideFields(r, ac, bc, bDigits, exp, neg);
  // The long division scales a to a 22-digit quotient, which for a divisor
  // 10^m is a's coefficient widened to 22 digits, with no remainder to round.
  int widen = kPrecision - DigitCount(ac);
  return Finish(r, ac * kPow10Table.values[widen], exp - widen - (bDigits - 1), neg);
}

}  // namespace

bool DivideLong(Decimal& r, const Decimal& a, const Decimal& b) {
  const u128 bc = CoefOf(b);
  return DivideFields(r, CoefOf(a), bc, DigitCount(bc), int64_t(a.exp) - b.exp, a.neg != b.neg);
}

bool Divide(Decimal& r, const Decimal& a, const Decimal& b) {
  const u128 ac = CoefOf(a), bc = CoefOf(b);
  const int64_t exp = int64_t(a.exp) - b.exp;
  // The usual computed divisor, narrow on both sides, without the general
  // path's second call.
  if (((ac | bc) >> 64) == 0 && ac != 0) return DivideNarrow(r, uint64_t(ac), uint64_t(bc), exp, a.neg != b.neg);
  return DivideAnyFields(r, ac, bc, exp, a.neg != b.neg);
}

namespace {

// For coef = 2^i * 5^j: the places k = max(i, j) by which a dividend must be
// scaled to divide by it exactly, and factor = 10^k / coef; -1 for any other
// coefficient, or one whose factor reaches 2^54 (a 22-digit coefficient times
// the factor must stay within 128 bits).
int32_t ExactPlaces(u128 coef, uint64_t& factor) {
  int32_t twos = 0, fives = 0;
  u128 rest = coef;
  while (rest % 2 == 0) {
    rest /= 2;
    ++twos;
  }
  while (rest % 5 == 0) {
    rest /= 5;
    ++fives;
  }
  const int32_t places = std::max(twos, fives);
  if (rest != 1 || places > kMaxPow10) return -1;
  const u128 whole = kPow10Table.values[places] / coef;
  if ((whole >> 54) != 0) return -1;
  factor = uint64_t(whole);
  return places;
}

}  // namespace

void PrepareDivisor(Divisor& divisor, const Decimal& b) {
  divisor = Divisor{};
  divisor.coef = CoefOf(b);
  divisor.exp = b.exp;
  divisor.neg = b.neg;
  if (divisor.coef == 0) return;
  divisor.digits = DigitCount(divisor.coef);
  divisor.exactPlaces = ExactPlaces(divisor.coef, divisor.exactFactor);
  divisor.exactExp = -divisor.exp - divisor.exactPlaces;
  divisor.wide = divisor.coef * kPow10Table.values[kPrecision - divisor.digits];
  if ((divisor.coef >> 64) == 0) divisor.reciprocal = ~u128(0) / divisor.coef;
}

bool Divide(Decimal& r, const Decimal& a, const Divisor& b) {
  const u128 ac = CoefOf(a), bc = b.coef;
  int64_t exp = int64_t(a.exp) - b.exp;
  bool neg = a.neg != b.neg;
  if (ac == 0) return Finish(r, 0, 0, false);
  if (b.exactPlaces >= 0) {
    // The long division scales a until the quotient has 22 digits. When that
    // scaling reaches exactPlaces the division leaves no remainder, and the
    // quotient is a times exactFactor, widened to 22 digits; it does exactly
    // when that product has at most 22 (a power of ten always: the factor is 1).
    const u128 exact = ac * b.exactFactor;
    if (exact < kTen22) {
      const int widen = kPrecision - DigitCount(exact);
      return Finish(r, exact * kPow10Table.values[widen], exp - widen - b.exactPlaces, neg);
    }
  }
  int aDigits = DigitCount(ac);
  // As DivideFields, with the divisor's share worked out already.
  u128 aWide = ac * kPow10Table.values[kPrecision - aDigits];
  int shift = kPrecision + b.digits - aDigits - (aWide >= b.wide ? 1 : 0);
  int first = std::min(shift, kMaxPow10 - aDigits);
  if ((bc >> 64) != 0 || first != shift) return DivideFields(r, ac, bc, b.digits, exp, neg);
  u128 numerator = ac * kPow10Table.values[first];
  // The reciprocal is short of 2^128 / bc by less than two, so the estimate
  // is short of the quotient by at most two.
  u128 quotient = MultiplyHigh(numerator, b.reciprocal);
  u128 rest = numerator - quotient * bc;
  while (rest >= bc) {
    ++quotient;
    rest -= bc;
  }
  if (rest >= bc - rest) ++quotient;  // half or more of a last place
  return Finish(r, quotient, exp - shift, neg);
}

bool DivideStored(NumberValue* dst, const NumberValue* pa, const NumberValue* pb) {
  Decimal a = Load(pa), b = Load(pb), r;
  return Store(dst, r, DivideAnyFields(r, a.coef, b.coef, int64_t(a.exp) - b.exp, a.neg != b.neg));
}

bool FinishStoredSlow(NumberValue* dst, u128 coef, int64_t exp, bool neg) {
  Decimal r;
  return Store(dst, r, FinishSlow(r, coef, exp, neg));
}

// The stored-value operations' general paths.
bool AddStored(NumberValue* dst, const NumberValue* pa, const NumberValue* pb, bool subtract) {
  Decimal a = Load(pa), b = Load(pb), r;
  return Store(dst, r, Add(r, a, b, subtract));
}

bool MultiplyStored(NumberValue* dst, const NumberValue* pa, const NumberValue* pb) {
  Decimal a = Load(pa), b = Load(pb), r;
  return Store(dst, r, Multiply(r, a, b));
}

bool Quantize(Decimal& r, const Decimal& src, int64_t places, bool roundHalfUp) {
  int64_t target = -places;
  if (src.exp >= target) return Finish(r, CoefOf(src), src.exp, src.neg);
  int64_t drop = target - src.exp;
  if (drop > kMaxPow10 + 1) return Finish(r, 0, 0, false);
  u128 coef;
  if (roundHalfUp) {
    u128 kept = DropDigits(CoefOf(src), int(drop - 1));
    uint64_t digit;
    coef = DivPow10(kept, 1, &digit);
    if (digit >= 5) ++coef;
  } else {
    coef = DropDigits(CoefOf(src), int(drop));
  }
  return Finish(r, coef, target, src.neg);
}

bool Quantize(NumberValue* dst, const NumberValue* stored, int64_t places, bool roundHalfUp) {
  Decimal r;
  bool inRange = Quantize(r, Load(stored), places, roundHalfUp);
  return Store(dst, r, inRange);
}

}  // namespace xev::host::decimal
