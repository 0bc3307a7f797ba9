// Number columns as integers with one scale, in both directions: a host that
// keeps exact decimals in fixed-width arrays reads results and feeds inputs
// without a text per value. Nothing is allocated here; the caller owns every
// array.
#include <cstdint>
#include <cstring>

#include "host/decimal.h"
#include "xev/xevtable.h"

namespace {

namespace decimal = xev::host::decimal;
using decimal::u128;

constexpr u128 kInt64Max = u128(INT64_MAX);
constexpr u128 kInt128Max = ~u128(0) >> 1;

bool ValidBits(int32_t bits) { return bits == 64 || bits == 128; }

// The decimals a value needs once the trailing zeros of its coefficient go.
int32_t DecimalsOf(u128 coef, int32_t exp) {
  if (coef == 0 || exp >= 0) return 0;
  if ((coef >> 64) == 0) {
    uint64_t narrow = uint64_t(coef);
    while (exp < 0 && narrow % 10 == 0) {
      narrow /= 10;
      ++exp;
    }
    return -exp;
  }
  while (exp < 0 && coef % 10 == 0) {
    coef /= 10;
    ++exp;
  }
  return -exp;
}

// The same for a stored value, its coefficient read in 64 bits when it fits.
// The decimals a value needs when that is more than known, else known.
int32_t DecimalsBeyond(const NumberValue& value, int32_t known) {
  decimal::NarrowFields fields;
  if (!decimal::ReadNarrow(&value, fields)) {
    decimal::Decimal d = decimal::Load(&value);
    int32_t decimals = DecimalsOf(d.coef, d.exp);
    return decimals > known ? decimals : known;
  }
  uint64_t coef = fields.coef;
  int32_t exp = fields.exp;
  if (coef == 0 || -exp <= known) return known;  // most rows of a column share its scale
  while (exp < 0 && -exp > known && coef % 10 == 0) {
    coef /= 10;
    ++exp;
  }
  return -exp > known ? -exp : known;
}

// The largest 64-bit coefficient that still fits int64 times 10^shift.
struct Int64Limits {
  uint64_t values[19];
  constexpr Int64Limits() : values() {
    uint64_t power = 1;
    for (int shift = 0; shift < 19; ++shift) {
      values[shift] = uint64_t(INT64_MAX) / power;
      power *= 10;
    }
  }
};
constexpr Int64Limits kInt64Limits;

// True when a value with a 64-bit coefficient is whole at scale and fits
// int64 there; false sends it the general way.
bool FitsInt64(const NumberValue& value, int32_t scale) {
  decimal::NarrowFields fields;
  if (!decimal::ReadNarrow(&value, fields)) return false;
  const int64_t shift = int64_t(fields.exp) + scale;
  return shift >= 0 && shift < 19 && fields.coef <= kInt64Limits.values[shift];
}

// coef * 10^shift as a magnitude, false when it is not whole (shift < 0
// with digits to drop) or does not fit below limit.
bool Magnitude(u128 coef, int64_t shift, u128 limit, u128& out) {
  if (coef == 0) {
    out = 0;
    return true;
  }
  if (shift < 0) {
    if (shift < -decimal::kPrecision) return false;
    u128 divisor = decimal::Pow10(int(-shift));
    if (coef % divisor != 0) return false;
    out = coef / divisor;
    return out <= limit;
  }
  if (shift > decimal::kMaxPow10) return false;
  return !xev::host::MultiplyOverflows(coef, decimal::Pow10(int(shift)), &out) && out <= limit;
}

void WriteInteger(void* out, int64_t row, int32_t bits, u128 magnitude, bool negative) {
  u128 value = negative ? u128(0) - magnitude : magnitude;
  if (bits == 64) {
    uint64_t word = uint64_t(value);
    std::memcpy(static_cast<char*>(out) + row * 8, &word, sizeof word);
    return;
  }
  uint64_t words[2] = {uint64_t(value), uint64_t(value >> 64)};
  std::memcpy(static_cast<char*>(out) + row * 16, words, sizeof words);
}

// Row row of values as a sign and a magnitude.
u128 ReadInteger(const void* values, int64_t row, int32_t bits, bool& negative) {
  if (bits == 64) {
    int64_t value;
    std::memcpy(&value, static_cast<const char*>(values) + row * 8, sizeof value);
    negative = value < 0;
    const xev::host::int128 wide = value;  // wide enough that negating INT64_MIN is defined
    return u128(negative ? -wide : wide);
  }
  uint64_t words[2];
  std::memcpy(words, static_cast<const char*>(values) + row * 16, sizeof words);
  u128 value = (u128(words[1]) << 64) | words[0];
  negative = (words[1] >> 63) != 0;
  return negative ? u128(0) - value : value;
}

// A magnitude and a scale stored as a NumberValue; false when the value
// would be rounded or lies outside the range.
bool StoreScaled(NumberValue* out, u128 magnitude, int32_t scale, bool negative) {
  if (magnitude == 0) {
    decimal::StoreZero(out);
    return true;
  }
  int64_t exp = -int64_t(scale);
  // A wide integer with trailing zeros (1 at scale 22) still has few digits.
  while (magnitude >= decimal::kTen22 && magnitude % 10 == 0) {
    magnitude /= 10;
    ++exp;
  }
  if (magnitude >= decimal::kTen22) return false;
  const int64_t adjusted = int64_t(decimal::DigitCount(magnitude)) - 1 + exp;
  if (adjusted < decimal::kMinAdjusted || adjusted > decimal::kMaxAdjusted) return false;
  decimal::Store(out, magnitude, int32_t(exp), negative);
  return true;
}

}  // namespace

extern "C" {

XEV_API int32_t XEV_CALL XEVNumbersScale(const NumberValue* values, int64_t count, int32_t* scale,
                                         int32_t* bits) {
  if (values == nullptr || scale == nullptr || bits == nullptr || count < 0) return 0;
  int32_t widest = 0;
  for (int64_t row = 0; row < count; ++row) {
    if (!decimal::IsNull(&values[row])) widest = DecimalsBeyond(values[row], widest);
  }
  bool narrow = true;
  for (int64_t row = 0; row < count; ++row) {
    if (decimal::IsNull(&values[row])) continue;
    if (narrow && FitsInt64(values[row], widest)) continue;
    decimal::Decimal d = decimal::Load(&values[row]);
    u128 magnitude;
    if (!Magnitude(d.coef, int64_t(d.exp) + widest, kInt128Max, magnitude)) return 0;
    narrow = narrow && magnitude <= kInt64Max;
  }
  *scale = widest;
  *bits = narrow ? 64 : 128;
  return 1;
}

XEV_API int32_t XEV_CALL XEVNumbersToScaled(const NumberValue* values, int64_t count, int32_t scale,
                                            int32_t bits, void* out) {
  if (values == nullptr || out == nullptr || count < 0 || scale < 0 || !ValidBits(bits)) return 0;
  const u128 limit = bits == 64 ? kInt64Max : kInt128Max;
  for (int64_t row = 0; row < count; ++row) {
    u128 magnitude = 0;
    bool negative = false;
    decimal::NarrowFields fields;
    if (bits == 64 && FitsInt64(values[row], scale) && decimal::ReadNarrow(&values[row], fields)) {
      const int64_t integer = int64_t(fields.coef * uint64_t(decimal::Pow10(fields.exp + scale)));
      std::memcpy(static_cast<char*>(out) + row * 8, &integer, sizeof integer);
      if (fields.neg) {
        const int64_t negated = -integer;
        std::memcpy(static_cast<char*>(out) + row * 8, &negated, sizeof negated);
      }
      continue;
    }
    if (!decimal::IsNull(&values[row])) {
      decimal::Decimal d = decimal::Load(&values[row]);
      if (!Magnitude(d.coef, int64_t(d.exp) + scale, limit, magnitude)) return 0;
      negative = d.neg;
    }
    WriteInteger(out, row, bits, magnitude, negative);
  }
  return 1;
}

XEV_API int32_t XEV_CALL XEVScaledToNumbers(const void* values, int64_t count, int32_t scale, int32_t bits,
                                            const uint8_t* nulls, NumberValue* out) {
  if (values == nullptr || out == nullptr || count < 0 || scale < 0 || !ValidBits(bits)) return 0;
  for (int64_t row = 0; row < count; ++row) {
    if (nulls != nullptr && nulls[row] != 0) {
      decimal::StoreNull(&out[row]);
      continue;
    }
    bool negative;
    u128 magnitude = ReadInteger(values, row, bits, negative);
    if (!StoreScaled(&out[row], magnitude, scale, negative)) return 0;
  }
  return 1;
}

}  // extern "C"
