#include "host/exact_power.h"

#include <cstdint>

#include "host/host.h"

namespace xev::host {
namespace {

constexpr uint64_t kShortLimit = 1000000000000000;  // 10^15: at most 15 digits
constexpr int64_t kLargestExponent = 64;           // 2^50 already passes the limit

// The exponent as a whole number of modest size, or false.
bool WholeExponent(const NumberValue* exponent, int64_t* whole) {
  int128 coefficient = 0;
  int32_t scale = 0;
  if (!NumberToParts(exponent, &coefficient, &scale) || scale < 0 || scale > 2) return false;
  for (; scale > 0; --scale) coefficient *= 10;
  if (coefficient > kLargestExponent || coefficient < -kLargestExponent) return false;
  *whole = int64_t(coefficient);
  return true;
}

// factor^count, or false once it passes the limit.
bool ShortPower(uint64_t factor, int64_t count, uint64_t* power) {
  uint64_t result = 1;
  for (int64_t i = 0; i < count; ++i) {
    if (result > kShortLimit / factor) return false;
    result *= factor;
  }
  *power = result;
  return result <= kShortLimit;
}

// Splits value into 2^twos * 5^fives; false when another prime divides it.
bool TwosAndFives(uint64_t value, int64_t* twos, int64_t* fives) {
  for (*twos = 0; value % 2 == 0; value /= 2) ++*twos;
  for (*fives = 0; value % 5 == 0; value /= 5) ++*fives;
  return value == 1;
}

// 1 / (2^a 5^b) is 2^b 5^a / 10^(a+b): exact, with a short coefficient or none.
bool ShortReciprocal(uint64_t coefficient, int64_t count, uint64_t* reciprocal, int64_t* shift) {
  int64_t twos = 0, fives = 0;
  if (!TwosAndFives(coefficient, &twos, &fives)) return false;
  uint64_t ofTwos = 0, ofFives = 0;
  if (!ShortPower(2, fives * count, &ofTwos) || !ShortPower(5, twos * count, &ofFives)) return false;
  if (ofTwos > kShortLimit / ofFives) return false;
  *reciprocal = ofTwos * ofFives;
  *shift = (twos + fives) * count;
  return true;
}

}  // namespace

bool ExactPower(NumberValue* out, const NumberValue* base, const NumberValue* exponent) {
  int64_t count = 0;
  int128 coefficient = 0;
  int32_t scale = 0;
  if (!WholeExponent(exponent, &count) || !NumberToParts(base, &coefficient, &scale)) return false;
  const bool negative = coefficient < 0 && count % 2 != 0;
  const int128 magnitude = coefficient < 0 ? -coefficient : coefficient;
  if (magnitude == 0 || magnitude >= int128(kShortLimit)) return false;
  uint64_t power = 0;
  int64_t powerScale = int64_t(scale) * count;
  if (count >= 0) {
    if (!ShortPower(uint64_t(magnitude), count, &power)) return false;
  } else {
    int64_t shift = 0;
    if (!ShortReciprocal(uint64_t(magnitude), -count, &power, &shift)) return false;
    powerScale -= shift;
  }
  if (powerScale < INT32_MIN || powerScale > INT32_MAX) return false;
  NumberValue result;
  if (!NumberFromParts(&result, negative ? -int128(power) : int128(power), int32_t(powerScale))) return false;
  *out = result;
  return true;
}

}  // namespace xev::host
