// 128-bit integers for the decimal, calendar, format and table code.
//
// Where the compiler has a native 128-bit type (GCC and Clang on 64-bit
// targets) uint128 and int128 are that type. Elsewhere (32-bit targets) they
// are UInt128 and Int128 below: two 64-bit words with the same operators and
// the same results bit for bit (wrapping arithmetic, division truncating
// toward zero, arithmetic right shift for the signed type).
// XEV_PORTABLE_INT128 forces the two-word types so that a 64-bit build runs
// the whole suite over the arithmetic 32-bit builds use.
#pragma once

#include <bit>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace xev::host {

namespace wide {

struct Words {
  uint64_t high;
  uint64_t low;
};

constexpr Words MultiplyWords(uint64_t a, uint64_t b) {
  const uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
  const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
  return {p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & 0xFFFFFFFFu)};
}

// Divides high:low by divisor when high < divisor, so the quotient fits in
// one word: long division in 32-bit digits with the divisor normalised so
// that each estimated digit is off by at most two.
constexpr uint64_t DivideWords(uint64_t high, uint64_t low, uint64_t divisor, uint64_t* remainder) {
  constexpr uint64_t kBase = uint64_t{1} << 32;
  const int shift = std::countl_zero(divisor);
  divisor <<= shift;
  const uint64_t d1 = divisor >> 32, d0 = divisor & 0xFFFFFFFFu;
  const uint64_t top = shift == 0 ? high : (high << shift) | (low >> (64 - shift));
  const uint64_t rest = low << shift;
  const uint64_t n1 = rest >> 32, n0 = rest & 0xFFFFFFFFu;
  uint64_t q1 = top / d1, r = top - q1 * d1;
  while (q1 >= kBase || q1 * d0 > kBase * r + n1) {
    --q1;
    r += d1;
    if (r >= kBase) break;
  }
  const uint64_t middle = top * kBase + n1 - q1 * divisor;
  uint64_t q0 = middle / d1;
  r = middle - q0 * d1;
  while (q0 >= kBase || q0 * d0 > kBase * r + n0) {
    --q0;
    r += d1;
    if (r >= kBase) break;
  }
  *remainder = (middle * kBase + n0 - q0 * divisor) >> shift;
  return q1 * kBase + q0;
}

}  // namespace wide

class Int128;

class UInt128 {
 public:
  constexpr UInt128() = default;
  template <class T>
    requires std::is_integral_v<T>
  constexpr UInt128(T value)  // NOLINT: converts implicitly, as the built-in type does
      : low_(static_cast<uint64_t>(value)), high_(std::is_signed_v<T> && value < 0 ? ~uint64_t{0} : 0) {}
  constexpr UInt128(const Int128& value);  // NOLINT: signed to unsigned is implicit for built-ins too
  static constexpr UInt128 FromWords(uint64_t high, uint64_t low) {
    UInt128 v{};
    v.high_ = high;
    v.low_ = low;
    return v;
  }

  template <class T>
    requires std::is_integral_v<T>
  constexpr explicit operator T() const {
    if constexpr (std::is_same_v<T, bool>) {
      return (high_ | low_) != 0;
    } else {
      return static_cast<T>(low_);
    }
  }

  constexpr uint64_t High() const { return high_; }
  constexpr uint64_t Low() const { return low_; }

  friend constexpr UInt128 operator+(UInt128 a, UInt128 b) {
    const uint64_t low = a.low_ + b.low_;
    return FromWords(a.high_ + b.high_ + (low < a.low_), low);
  }
  friend constexpr UInt128 operator-(UInt128 a, UInt128 b) {
    return FromWords(a.high_ - b.high_ - (a.low_ < b.low_), a.low_ - b.low_);
  }
  friend constexpr UInt128 operator*(UInt128 a, UInt128 b) {
    const wide::Words low = wide::MultiplyWords(a.low_, b.low_);
    return FromWords(low.high + a.high_ * b.low_ + a.low_ * b.high_, low.low);
  }
  friend constexpr UInt128 operator/(UInt128 a, UInt128 b) {
    UInt128 quotient{}, remainder{};
    DivMod(a, b, &quotient, &remainder);
    return quotient;
  }
  friend constexpr UInt128 operator%(UInt128 a, UInt128 b) {
    UInt128 quotient{}, remainder{};
    DivMod(a, b, &quotient, &remainder);
    return remainder;
  }
  friend constexpr UInt128 operator&(UInt128 a, UInt128 b) { return FromWords(a.high_ & b.high_, a.low_ & b.low_); }
  friend constexpr UInt128 operator|(UInt128 a, UInt128 b) { return FromWords(a.high_ | b.high_, a.low_ | b.low_); }
  friend constexpr UInt128 operator^(UInt128 a, UInt128 b) { return FromWords(a.high_ ^ b.high_, a.low_ ^ b.low_); }
  friend constexpr UInt128 operator~(UInt128 a) { return FromWords(~a.high_, ~a.low_); }
  friend constexpr UInt128 operator-(UInt128 a) { return UInt128() - a; }
  friend constexpr bool operator!(UInt128 a) { return (a.high_ | a.low_) == 0; }
  friend constexpr UInt128 operator<<(UInt128 a, int n) {
    if (n == 0) return a;
    if (n >= 64) return FromWords(a.low_ << (n - 64), 0);
    return FromWords((a.high_ << n) | (a.low_ >> (64 - n)), a.low_ << n);
  }
  friend constexpr UInt128 operator>>(UInt128 a, int n) {
    if (n == 0) return a;
    if (n >= 64) return FromWords(0, a.high_ >> (n - 64));
    return FromWords(a.high_ >> n, (a.low_ >> n) | (a.high_ << (64 - n)));
  }
  friend constexpr bool operator==(UInt128 a, UInt128 b) { return a.high_ == b.high_ && a.low_ == b.low_; }
  friend constexpr bool operator<(UInt128 a, UInt128 b) {
    return a.high_ != b.high_ ? a.high_ < b.high_ : a.low_ < b.low_;
  }
  friend constexpr bool operator>(UInt128 a, UInt128 b) { return b < a; }
  friend constexpr bool operator<=(UInt128 a, UInt128 b) { return !(b < a); }
  friend constexpr bool operator>=(UInt128 a, UInt128 b) { return !(a < b); }

  constexpr UInt128& operator+=(UInt128 b) { return *this = *this + b; }
  constexpr UInt128& operator-=(UInt128 b) { return *this = *this - b; }
  constexpr UInt128& operator*=(UInt128 b) { return *this = *this * b; }
  constexpr UInt128& operator/=(UInt128 b) { return *this = *this / b; }
  constexpr UInt128& operator%=(UInt128 b) { return *this = *this % b; }
  constexpr UInt128& operator&=(UInt128 b) { return *this = *this & b; }
  constexpr UInt128& operator|=(UInt128 b) { return *this = *this | b; }
  constexpr UInt128& operator^=(UInt128 b) { return *this = *this ^ b; }
  constexpr UInt128& operator<<=(int n) { return *this = *this << n; }
  constexpr UInt128& operator>>=(int n) { return *this = *this >> n; }
  constexpr UInt128& operator++() { return *this += 1; }
  constexpr UInt128& operator--() { return *this -= 1; }
  constexpr UInt128 operator++(int) { return std::exchange(*this, *this + 1); }
  constexpr UInt128 operator--(int) { return std::exchange(*this, *this - 1); }

  static constexpr void DivMod(UInt128 a, UInt128 b, UInt128* quotient, UInt128* remainder);

 private:
  // No initialisers, so that the type stays trivial like the built-in one:
  // UInt128() is zero, a plain declaration is uninitialised.
  // Low word first: the layout of the native type on little-endian targets,
  // which code that moves a coefficient as two words relies on.
  uint64_t low_;
  uint64_t high_;
};

// Word-sized divisors take one or two word divisions; wider ones take one
// estimate from the top words, which is exact or one too large.
constexpr void UInt128::DivMod(UInt128 a, UInt128 b, UInt128* quotient, UInt128* remainder) {
  if (b.high_ == 0) {
    uint64_t rest = 0;
    const uint64_t high = a.high_ < b.low_ ? 0 : a.high_ / b.low_;
    const uint64_t low = wide::DivideWords(a.high_ - high * b.low_, a.low_, b.low_, &rest);
    *quotient = FromWords(high, low);
    *remainder = FromWords(0, rest);
    return;
  }
  const int shift = std::countl_zero(b.high_);
  const uint64_t top = (b << shift).high_;
  const UInt128 half = a >> 1;
  uint64_t unused = 0;
  uint64_t q = wide::DivideWords(half.high_, half.low_, top, &unused) >> (63 - shift);
  if (q != 0) --q;
  UInt128 rest = a - UInt128(q) * b;
  if (rest >= b) {
    ++q;
    rest -= b;
  }
  *quotient = UInt128(q);
  *remainder = rest;
}

class Int128 {
 public:
  constexpr Int128() = default;
  template <class T>
    requires std::is_integral_v<T>
  constexpr Int128(T value) : bits_(value) {}  // NOLINT: converts implicitly, as the built-in type does
  constexpr explicit Int128(UInt128 bits) : bits_(bits) {}

  template <class T>
    requires std::is_integral_v<T>
  constexpr explicit operator T() const {
    return static_cast<T>(bits_);
  }
  constexpr UInt128 Bits() const { return bits_; }
  constexpr bool Negative() const { return (bits_.High() >> 63) != 0; }

  friend constexpr Int128 operator+(Int128 a, Int128 b) { return Int128(a.bits_ + b.bits_); }
  friend constexpr Int128 operator-(Int128 a, Int128 b) { return Int128(a.bits_ - b.bits_); }
  friend constexpr Int128 operator*(Int128 a, Int128 b) { return Int128(a.bits_ * b.bits_); }
  friend constexpr Int128 operator/(Int128 a, Int128 b) {
    const UInt128 q = a.Magnitude() / b.Magnitude();
    return a.Negative() != b.Negative() ? -Int128(q) : Int128(q);
  }
  friend constexpr Int128 operator%(Int128 a, Int128 b) {
    const UInt128 r = a.Magnitude() % b.Magnitude();
    return a.Negative() ? -Int128(r) : Int128(r);
  }
  friend constexpr Int128 operator-(Int128 a) { return Int128(UInt128() - a.bits_); }
  friend constexpr Int128 operator~(Int128 a) { return Int128(~a.bits_); }
  friend constexpr bool operator!(Int128 a) { return !a.bits_; }
  friend constexpr Int128 operator<<(Int128 a, int n) { return Int128(a.bits_ << n); }
  friend constexpr Int128 operator>>(Int128 a, int n) {
    if (!a.Negative()) return Int128(a.bits_ >> n);
    return ~Int128(~a.bits_ >> n);
  }
  friend constexpr bool operator==(Int128 a, Int128 b) { return a.bits_ == b.bits_; }
  friend constexpr bool operator<(Int128 a, Int128 b) {
    if (a.Negative() != b.Negative()) return a.Negative();
    return a.bits_ < b.bits_;
  }
  friend constexpr bool operator>(Int128 a, Int128 b) { return b < a; }
  friend constexpr bool operator<=(Int128 a, Int128 b) { return !(b < a); }
  friend constexpr bool operator>=(Int128 a, Int128 b) { return !(a < b); }

  constexpr Int128& operator+=(Int128 b) { return *this = *this + b; }
  constexpr Int128& operator-=(Int128 b) { return *this = *this - b; }
  constexpr Int128& operator*=(Int128 b) { return *this = *this * b; }
  constexpr Int128& operator/=(Int128 b) { return *this = *this / b; }
  constexpr Int128& operator%=(Int128 b) { return *this = *this % b; }
  constexpr Int128& operator<<=(int n) { return *this = *this << n; }
  constexpr Int128& operator>>=(int n) { return *this = *this >> n; }
  constexpr Int128& operator++() { return *this += 1; }
  constexpr Int128& operator--() { return *this -= 1; }
  constexpr Int128 operator++(int) { return std::exchange(*this, *this + 1); }
  constexpr Int128 operator--(int) { return std::exchange(*this, *this - 1); }

 private:
  constexpr UInt128 Magnitude() const { return Negative() ? UInt128() - bits_ : bits_; }

  UInt128 bits_;
};

constexpr UInt128::UInt128(const Int128& value) : UInt128(value.Bits()) {}

static_assert(sizeof(UInt128) == 16 && std::is_trivially_copyable_v<UInt128>);
static_assert(sizeof(Int128) == 16 && std::is_trivially_copyable_v<Int128>);

// Whether a * b wraps; *product is the wrapped product either way. Of two
// factors that both reach the high word the product always wraps; otherwise
// the one cross product must fit the high word with the carry of the low one.
constexpr bool MultiplyOverflows(UInt128 a, UInt128 b, UInt128* product) {
  *product = a * b;
  if (a.High() != 0 && b.High() != 0) return true;
  const wide::Words cross = wide::MultiplyWords(a.High() | b.High(), a.High() != 0 ? b.Low() : a.Low());
  if (cross.high != 0) return true;
  const uint64_t lowHigh = wide::MultiplyWords(a.Low(), b.Low()).high;
  return lowHigh + cross.low < lowHigh;
}

#if defined(__SIZEOF_INT128__) && !defined(XEV_PORTABLE_INT128)

using uint128 = unsigned __int128;
using int128 = __int128;

inline bool MultiplyOverflows(uint128 a, uint128 b, uint128* product) { return __builtin_mul_overflow(a, b, product); }

#else

using uint128 = UInt128;
using int128 = Int128;

#endif

}  // namespace xev::host
