// The arithmetic of the four operators on loaded values, shared by the row
// steps and the block runner so that both give the same bytes by
// construction.
#pragma once

#include "eval/plan_steps.h"
#include "host/decimal.h"

namespace xev::eval::plan {

// '+', '-', '*' and '/' as the walk does them without a host callback: NULL
// counts as zero (a loaded NULL is a zero), a division by zero gives zero,
// and a result beyond the Number range is NULL.
// kSumsInPlace: sums of 64-bit coefficients worked out in the step. They pay
// in the row steps; in the steps that ask every occurrence of an item they
// measured a little slower than the general Add's call, with fewer
// instructions (the same results either way).
template <Code kCode, bool kSumsInPlace = true>
__attribute__((always_inline)) inline void Compute(host::decimal::Decimal& r, const host::decimal::Decimal& a,
                                                   const host::decimal::Decimal& b) {
  namespace dec = host::decimal;
  if constexpr (kCode == Code::kAdd || kCode == Code::kSubtract) {
    constexpr bool kSubtract = kCode == Code::kSubtract;
    if constexpr (kSumsInPlace) {
      dec::AddNarrowInline(r, a, b, kSubtract);
    } else {
      dec::Add(r, a, b, kSubtract);
    }
  } else if constexpr (kCode == Code::kMultiply) {
    dec::Multiply(r, a, b);
  } else if (dec::CoefOf(b) == 0) {
    dec::Set(r, 0, 0, false);
  } else {
    dec::Divide(r, a, b);
  }
}

// A division by a literal other than zero, by its prepared divisor.
__attribute__((always_inline)) inline void DivideByConstant(host::decimal::Decimal& r, const host::decimal::Decimal& a,
                                                            const host::decimal::Divisor& divisor) {
  if (host::decimal::DivideExactInline(r, a, divisor)) return;
  host::decimal::Divide(r, a, divisor);
}

// The built-in rounding to a literal count of places on a loaded argument:
// NULL stays NULL, a result beyond the range is NULL.
inline void Round(host::decimal::Decimal& r, const host::decimal::Decimal& a, int32_t places) {
  if (host::decimal::IsNull(a)) return host::decimal::Set(r, 0, host::decimal::kNullExponent, false);
  host::decimal::Quantize(r, a, places, true);
}

}  // namespace xev::eval::plan
