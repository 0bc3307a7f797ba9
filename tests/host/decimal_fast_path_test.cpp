// The shortcuts of the decimal core against the general paths they stand in
// for: over many random operands (and the edges: 22-digit coefficients, the
// 64-bit boundary, exponents at both ends of the range, NULL) each must give
// the very same coefficient, exponent, sign and range verdict.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "host/decimal.h"

namespace {

namespace dec = xev::host::decimal;
using dec::Decimal;
using dec::u128;

std::string Show(const Decimal& d) {
  std::string digits;
  u128 c = d.coef;
  do {
    digits.insert(digits.begin(), char('0' + int(c % 10)));
    c /= 10;
  } while (c != 0);
  return (d.neg ? "-" : "") + digits + "e" + std::to_string(d.exp);
}

bool Same(const Decimal& a, const Decimal& b) { return a.coef == b.coef && a.exp == b.exp && a.neg == b.neg; }

// Random values in range, weighted toward what reports hold (few digits, a
// few decimals) but reaching every digit count and both ends of the range.
class Operands {
 public:
  explicit Operands(uint32_t seed) : random_(seed) {}

  Decimal Next() {
    static const u128 kEdges[] = {1, 9, 10, 99, 100, ~uint64_t{0}, u128(~uint64_t{0}) + 1,
                                  dec::Pow10(19), dec::Pow10(20), dec::kTen22 - 1, dec::Pow10(21)};
    u128 coef;
    switch (Pick(4)) {
      case 0: coef = kEdges[Pick(sizeof kEdges / sizeof kEdges[0])]; break;
      case 1: coef = Pick(100000) + 1; break;
      default: coef = Digits(1 + Pick(22)); break;
    }
    int32_t exp = Pick(3) == 0 ? int32_t(Pick(221)) - 121 : int32_t(Pick(9)) - 6;
    Decimal d{};
    if (!dec::Finish(d, coef, exp, Pick(2) == 1)) return Next();
    return d;
  }
  uint64_t Pick(uint64_t below) { return std::uniform_int_distribution<uint64_t>(0, below - 1)(random_); }

 private:
  u128 Digits(int count) {
    u128 value = 1 + Pick(9);
    for (int i = 1; i < count; ++i) value = value * 10 + Pick(10);
    return value;
  }
  std::mt19937_64 random_;
};

// One drawn operation: two random operands (and for sums whether the second
// is subtracted) that a test may reshape, skip, or mark as one its shortcut
// takes.
struct Draw {
  Operands& p;
  int i;
  Decimal a = p.Next(), b = p.Next();
  bool subtract = p.Pick(2) == 1;
  bool skip = false, taken = false;
  uint64_t Pick(uint64_t below) { return p.Pick(below); }
  bool Narrow() const { return ((a.coef | b.coef) >> 64) == 0; }
  bool OutOfRange() const { return b.exp < -120 || b.exp > 99; }
};
using Way = bool (*)(Decimal&, const Draw&);

// Holds the shortcut to the model over rounds drawn operations: the same
// range verdict and the same coefficient, exponent and sign. Returns how many
// draws were marked taken, which says the shortcut was exercised.
template <typename Shape>
int Agree(uint32_t seed, int rounds, char op, Shape shape, Way fast, Way model) {
  Operands operands(seed);
  int takenOnes = 0;
  for (int i = 0; i < rounds; ++i) {
    Draw d{operands, i};
    shape(d);
    if (d.skip) continue;
    takenOnes += d.taken ? 1 : 0;
    Decimal f{}, m{};
    const bool fastInRange = fast(f, d), modelInRange = model(m, d);
    const std::string what = Show(d.a) + " " + (op == '+' && d.subtract ? '-' : op) + " " + Show(d.b);
    EXPECT_EQ(fastInRange, modelInRange) << what;
    EXPECT_TRUE(Same(f, m)) << what << ": " << Show(f) << " vs " << Show(m);
    if (::testing::Test::HasFailure()) break;
  }
  return takenOnes;
}

bool LongDivision(Decimal& r, const Draw& d) { return dec::DivideLong(r, d.a, d.b); }
bool Division(Decimal& r, const Draw& d) { return dec::Divide(r, d.a, d.b); }
bool Sum(Decimal& r, const Draw& d) { return dec::Add(r, d.a, d.b, d.subtract); }
bool Product(Decimal& r, const Draw& d) { return dec::Multiply(r, d.a, d.b); }

TEST(DecimalFastPaths, DivisionByAPowerOfTenMatchesTheLongDivision) {
  Agree(7, 200000, '/', [](Draw& d) {
    d.b = Decimal{dec::Pow10(int(d.Pick(20))), int32_t(d.Pick(41)) - 20, d.Pick(2) == 1};
  }, Division, LongDivision);
}

// Two 64-bit coefficients divide in one pass of the divider, for divisors of
// every length up to the 64-bit edge, dividends at both ends of the range
// and quotients that round up to 10^22.
TEST(DecimalFastPaths, DivisionOfNarrowCoefficientsMatchesTheLongDivision) {
  EXPECT_GT(Agree(43, 300000, '/', [](Draw& d) {
    switch (d.i % 5) {
      case 0: d.b.coef = 1 + d.Pick(1000); break;
      case 1: d.b.coef = ~uint64_t(0) - d.Pick(3); break;
      case 2: d.a.coef = ~uint64_t(0) - d.Pick(3); break;
      case 3: d.a.coef = d.b.coef; break;  // quotients of 1 and near it
      default: break;
    }
    d.skip = d.b.coef == 0;
    d.taken = d.Narrow();
  }, Division, LongDivision), 100000);
}

// Exponents up to 40 places apart, half of the time: the shortcut takes
// some of them, depending on the digits of either side.
TEST(DecimalFastPaths, AdditionOfNearbyScalesMatchesTheAlignedAddition) {
  EXPECT_GT(Agree(11, 400000, '+', [](Draw& d) {
    if (d.Pick(2) == 0) d.b.exp = d.a.exp + int32_t(d.Pick(81)) - 40;
    d.skip = d.OutOfRange();
    d.taken = d.Narrow() && d.a.exp != d.b.exp;
  }, Sum, [](Decimal& r, const Draw& d) { return dec::AddAligned(r, d.a, d.b, d.subtract); }), 100000);
}

// The sums a plan's steps work out in place (64-bit coefficients, one scale
// or a few places apart) against the general addition, with zeros, NULLs,
// 64-bit and 22-digit neighbours, carries past 10^22 and both ends of the
// exponent range mixed in.
TEST(DecimalFastPaths, NarrowSumsInPlaceMatchTheGeneralAddition) {
  EXPECT_GT(Agree(17, 400000, '+', [](Draw& d) {
    const Decimal null{0, dec::kNullExponent, false}, zero{0, 0, false};
    switch (d.Pick(8)) {
      case 0: d.a = d.Pick(2) == 0 ? null : zero; break;
      case 1: d.b = d.Pick(2) == 0 ? null : Decimal{0, int32_t(d.Pick(9)) - 6, false}; break;
      case 2: case 3: d.b.exp = d.a.exp; break;  // one scale, as amounts are
      case 4: case 5: d.b.exp = d.a.exp + int32_t(d.Pick(41)) - 20; break;
      default: break;
    }
    d.skip = d.OutOfRange();
    d.taken = d.Narrow() && d.a.coef != 0 && d.b.coef != 0;
  }, [](Decimal& r, const Draw& d) { return dec::AddNarrowInline(r, d.a, d.b, d.subtract); }, Sum), 100000);
}

// A divisor prepared once (a constant of a formula) divides by its
// reciprocal, or by a product where the quotient is exact; every quotient
// must be the long division's, for divisors of every length, powers of ten,
// products of twos and fives (with factors on either side of the product's
// limit) and the 64-bit boundary included. The step's own exact path, where
// it takes a division, must give a result in range, the long division's;
// where it declines, the long division stands in for it.
TEST(DecimalFastPaths, DivisionByAPreparedDivisorMatchesTheLongDivision) {
  const auto divisors = [](Draw& d) {
    switch (d.i % 5) {
      case 0: d.b.coef = 1 + d.Pick(12); break;  // / 3, / 4, / 5 ...
      case 1: d.b.coef = dec::Pow10(int(d.Pick(22))); break;
      case 2: d.b.coef = ~uint64_t(0) - d.Pick(3); break;  // the reciprocal's edge
      case 3: {
        u128 twosAndFives = u128(1) << d.Pick(40);
        for (uint64_t fives = d.Pick(30); fives > 0 && twosAndFives < dec::kTen22 / 5; --fives) twosAndFives *= 5;
        d.b.coef = twosAndFives;
        break;
      }
      default: break;
    }
    d.skip = d.b.coef == 0;
    dec::Divisor divisor;
    Decimal r{};
    if (!d.skip) dec::PrepareDivisor(divisor, d.b);
    d.taken = !d.skip && dec::DivideExactInline(r, d.a, divisor);
  };
  Agree(37, 400000, '/', divisors, [](Decimal& r, const Draw& d) {
    dec::Divisor divisor;
    dec::PrepareDivisor(divisor, d.b);
    return dec::Divide(r, d.a, divisor);
  }, LongDivision);
  EXPECT_GT(Agree(37, 400000, '/', divisors, [](Decimal& r, const Draw& d) {
    dec::Divisor divisor;
    dec::PrepareDivisor(divisor, d.b);
    return dec::DivideExactInline(r, d.a, divisor) || dec::DivideLong(r, d.a, d.b);
  }, LongDivision), 50000);
}

// A factor 10^k * 10^e drops only its own zeros from a product wider than
// 22 digits: the product by growing the coefficient must be Multiply's, for
// every power up to 10^19, operands of every length, both ends of the
// exponent range and NULL.
TEST(DecimalFastPaths, ProductsByAPowerOfTenMatchTheGeneralMultiplication) {
  Agree(43, 300000, '*', [](Draw& d) {
    if (d.i % 50 == 0) dec::Set(d.a, 0, dec::kNullExponent, false);
    d.b = Decimal{dec::kPow10Narrow[d.Pick(20)], int32_t(d.Pick(41)) - 20, d.Pick(2) == 1};
  }, [](Decimal& r, const Draw& d) {
    int places = 0;
    while (dec::kPow10Narrow[places] != d.b.coef) ++places;
    return dec::MultiplyByPowerOfTen(r, d.a, places, d.b.exp, d.b.neg);
  }, Product);
}

// A product that fits 128 bits is rounded straight from them; MultiplyWide
// finds the same product in three limbs and must round it alike, around the
// 2^54 boundary of the shortcut on both sides of it.
TEST(DecimalFastPaths, ProductsThatFit128BitsMatchTheWideMultiplication) {
  EXPECT_GT(Agree(31, 300000, '*', [](Draw& d) {
    if (d.i % 3 == 0) d.b.coef = (u128(1) << (50 + d.Pick(8))) + d.Pick(1000) - 500;
    d.skip = d.b.coef >= dec::kTen22;
    d.taken = !d.Narrow() && ((d.a.coef >> 54) == 0 || (d.b.coef >> 54) == 0);
  }, Product, [](Decimal& r, const Draw& d) { return dec::MultiplyWide(r, d.a, d.b); }), 30000);
}

// A NULL loaded for the arithmetic must act as zero in every operation,
// whatever the scale of the other operand, and a result beyond the range
// must come back as that NULL.
TEST(DecimalFastPaths, ALoadedNullActsAsZeroAndAnOverflowIsNull) {
  Operands operands(13);
  const Decimal null{0, dec::kNullExponent, false}, zero{0, 0, false};
  for (int i = 0; i < 50000; ++i) {
    Decimal b = operands.Next();
    for (bool subtract : {false, true}) {
      Decimal viaNull{}, viaZero{};
      ASSERT_EQ(dec::Add(viaNull, null, b, subtract), dec::Add(viaZero, zero, b, subtract));
      ASSERT_TRUE(Same(viaNull, viaZero)) << Show(b);
      ASSERT_EQ(dec::Add(viaNull, b, null, subtract), dec::Add(viaZero, b, zero, subtract));
      ASSERT_TRUE(Same(viaNull, viaZero)) << Show(b);
    }
    Decimal viaNull{}, viaZero{};
    dec::Multiply(viaNull, null, b);
    dec::Multiply(viaZero, zero, b);
    ASSERT_TRUE(Same(viaNull, viaZero) && Same(viaNull, zero)) << Show(b);
    dec::Divide(viaNull, null, b);
    ASSERT_TRUE(Same(viaNull, zero)) << Show(b);
  }
  Decimal huge{dec::kTen22 - 1, 99 - 21, false}, product{};
  EXPECT_FALSE(dec::Multiply(product, huge, huge));
  EXPECT_TRUE(dec::IsNull(product));
  Decimal sum{};
  EXPECT_FALSE(dec::Add(sum, huge, huge, false));
  EXPECT_TRUE(dec::IsNull(sum));
}

// The operations on stored values take 64-bit coefficients in registers;
// each must store the very bytes, and give the very verdict, of the loaded
// operation it stands in for, the operands also being the destination.
TEST(DecimalFastPaths, StoredOperationsMatchTheLoadedOnes) {
  Operands operands(29);
  auto stored = [](const Decimal& d) {
    NumberValue n;
    dec::Store(&n, d.coef, d.exp, d.neg);
    return n;
  };
  int narrowOnes = 0;
  for (int i = 0; i < 300000; ++i) {
    Decimal a = operands.Next(), b = operands.Next();
    if (operands.Pick(2) == 0) b.exp = a.exp + int32_t(operands.Pick(37)) - 18;
    if (operands.Pick(4) == 0) b.exp = a.exp;
    if (b.exp < -120 || b.exp > 99) continue;
    narrowOnes += ((a.coef | b.coef) >> 64) == 0;
    NumberValue sa = stored(a), sb = stored(b);
    for (int op = 0; op < 4; ++op) {
      if (op == 3 && b.coef == 0) continue;
      Decimal r{};
      bool loadedInRange = op == 0   ? dec::Add(r, a, b, false)
                           : op == 1 ? dec::Add(r, a, b, true)
                           : op == 2 ? dec::Multiply(r, a, b)
                                     : dec::Divide(r, a, b);
      NumberValue expected{};
      dec::Store(&expected, r, loadedInRange);
      NumberValue inPlace = sa;
      bool storedInRange = op == 0   ? dec::Add(&inPlace, &inPlace, &sb, false)
                           : op == 1 ? dec::Add(&inPlace, &inPlace, &sb, true)
                           : op == 2 ? dec::Multiply(&inPlace, &inPlace, &sb)
                                     : dec::Divide(&inPlace, &inPlace, &sb);
      ASSERT_EQ(storedInRange, loadedInRange) << Show(a) << " op " << op << " " << Show(b);
      ASSERT_EQ(std::memcmp(inPlace.bytes, expected.bytes, sizeof expected.bytes), 0)
          << Show(a) << " op " << op << " " << Show(b);
    }
  }
  EXPECT_GT(narrowOnes, 30000);
}

// Dropping digits divides in two 64-bit steps; quotient and remainder must
// be those of the 128-bit division for every dividend, the extremes included.
TEST(DecimalFastPaths, DroppingDigitsMatchesTheDivider) {
  std::mt19937_64 random(19);
  const u128 kExtremes[] = {0, 1, ~uint64_t{0}, u128(~uint64_t{0}) + 1, ~u128(0), ~u128(0) - 1, dec::kTen22,
                            dec::Pow10(38) - 1, dec::Pow10(38)};
  for (int i = 0; i < 300000; ++i) {
    u128 x = i < 9 * 19 ? kExtremes[i % 9] : (u128(random()) << 64 | random()) >> (random() % 128);
    int k = 1 + int(i % 19);
    uint64_t rest = 0;
    u128 quotient = dec::DivPow10(x, k, &rest);
    ASSERT_TRUE(quotient == x / dec::Pow10(k) && rest == uint64_t(x % dec::Pow10(k))) << i << " k " << k;
  }
}

// Load reads two overlapping words; every byte pattern must decode as the
// byte-by-byte layout says, loaded for the arithmetic too.
TEST(DecimalFastPaths, LoadDecodesEveryByteOfTheStoredLayout) {
  std::mt19937_64 random(17);
  for (int i = 0; i < 100000; ++i) {
    NumberValue n;
    for (auto& byte : n.bytes) byte = static_cast<unsigned char>(random());
    u128 low = 0;
    for (int k = 8; k >= 1; --k) low = low << 8 | n.bytes[k];
    u128 coef = (u128(n.bytes[9] | n.bytes[10] << 8) << 64) | low;
    if (coef >= dec::kTen22) coef = dec::kTen22 - 1;
    Decimal d = dec::Load(&n);
    ASSERT_EQ(d.coef, coef);
    ASSERT_EQ(d.exp, int8_t(n.bytes[11]));
    ASSERT_EQ(d.neg, n.bytes[12] != 0);
    // Loaded for the arithmetic: the same, or NULL when byte 0 says so.
    if (i % 4 == 0) n.bytes[0] = 0;
    Decimal forArithmetic{};
    dec::LoadOrNull(forArithmetic, &n);
    if (n.bytes[0] == 0) {
      ASSERT_TRUE(dec::IsNull(forArithmetic) && forArithmetic.coef == 0);
    } else {
      ASSERT_TRUE(Same(forArithmetic, d)) << i;
    }
  }
}

// Store writes two overlapping words; every byte must be where the layout
// puts it (the overlap written the same both times), and load back whole.
TEST(DecimalFastPaths, StoreWritesEveryByteOfTheStoredLayout) {
  Operands operands(23);
  for (int i = 0; i < 100000; ++i) {
    Decimal d = operands.Next();
    if (dec::IsNull(d)) continue;
    NumberValue n;
    std::memset(n.bytes, 0xa5, sizeof n.bytes);
    dec::Store(&n, d.coef, d.exp, d.neg);
    ASSERT_EQ(n.bytes[0], dec::kStoredLength);
    for (int k = 0; k < 8; ++k) ASSERT_EQ(n.bytes[1 + k], uint8_t(uint64_t(d.coef) >> (8 * k))) << Show(d);
    uint64_t high = uint64_t(d.coef >> 64);
    ASSERT_EQ(n.bytes[9], uint8_t(high)) << Show(d);
    ASSERT_EQ(n.bytes[10], uint8_t(high >> 8)) << Show(d);
    ASSERT_EQ(n.bytes[11], uint8_t(int8_t(d.exp))) << Show(d);
    ASSERT_EQ(n.bytes[12], d.neg ? 1 : 0) << Show(d);
    ASSERT_TRUE(Same(dec::Load(&n), d)) << Show(d);
  }
}

}  // namespace

namespace {

// Rounding to 22 digits done the plain way, digit by digit: the model the
// rounding of wide sums and products is held to.
bool RoundPlainly(Decimal& r, u128 coef, int64_t exp, bool neg) {
  int drop = 0;
  while (coef / dec::Pow10(drop) >= dec::kTen22) ++drop;
  u128 unit = dec::Pow10(drop), kept = coef / unit, rest = coef % unit;
  if (drop > 0 && rest * 2 >= unit) ++kept;
  exp += drop;
  if (kept == dec::kTen22) {
    kept /= 10;
    ++exp;
  }
  int digits = 1;
  while (digits < 22 && kept >= dec::Pow10(digits)) ++digits;
  r = Decimal{0, 0, false};
  if (kept == 0) return true;
  if (exp + digits - 1 > 99) {
    r.exp = dec::kNullExponent;
    return false;
  }
  if (exp + digits - 1 >= -99) r = Decimal{kept, int32_t(exp), neg};
  return true;
}

}  // namespace

// Sums and products of 23 to 39 digits, ties, carries into a new digit,
// coefficients either side of 10^22 and both ends of the exponent range.
TEST(DecimalFastPaths, WideResultsRoundAsDigitByDigit) {
  std::mt19937_64 random(41);
  for (int i = 0; i < 300000; ++i) {
    int digits = 23 + int(random() % 17);
    u128 coef = (u128(random()) << 64 | random()) % (digits == 39 ? ~u128(0) : dec::Pow10(digits));
    int drop = digits - 22;
    if (coef < dec::kTen22) coef += dec::kTen22;
    switch (i % 4) {
      case 0: coef = coef / dec::Pow10(drop) * dec::Pow10(drop) + dec::Pow10(drop) / 2; break;      // a tie
      case 1: coef = coef / dec::Pow10(drop) * dec::Pow10(drop) + dec::Pow10(drop) / 2 - 1; break;  // just below
      case 2: if (digits < 39) coef = dec::Pow10(digits) - 1 - random() % 10; break;                // all nines
      default: coef = (u128(0x21d + random() % 2) << 64) | random(); break;  // either side of 10^22
    }
    int64_t exp = i % 8 == 0 ? int64_t(random() % 260) - 140 : int64_t(random() % 20) - 30;
    bool neg = random() % 2 == 1;
    Decimal fast{}, plain{};
    bool fastInRange = dec::Finish(fast, coef, exp, neg);
    bool plainInRange = RoundPlainly(plain, coef, exp, neg);
    ASSERT_EQ(fastInRange, plainInRange) << i << " exp " << exp;
    ASSERT_TRUE(Same(fast, plain)) << i << ": " << Show(fast) << " vs " << Show(plain);
  }
}
