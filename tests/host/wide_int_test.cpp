// The two-word 128-bit types against the native one, operator by operator.
#include "host/wide_int.h"

#include <gtest/gtest.h>

#include <random>

#if defined(__SIZEOF_INT128__)
namespace {

using xev::host::Int128;
using xev::host::UInt128;
using Native = unsigned __int128;

UInt128 Two(Native v) { return UInt128::FromWords(uint64_t(v >> 64), uint64_t(v)); }
Native Back(UInt128 v) { return (Native(v.High()) << 64) | v.Low(); }
Native Back(Int128 v) { return Back(v.Bits()); }

// Edges of each word and of the division's estimates, then random widths.
Native Pick(std::mt19937_64& random, int i) {
  static const Native kEdges[] = {0, 1, 2, 10, ~uint64_t{0}, Native(~uint64_t{0}) + 1, Native(1) << 63,
                                  ~Native(0), ~Native(0) >> 1, (~Native(0) >> 1) + 1, Native(0xFFFFFFFFu) << 64};
  if (i < 11 * 11) return kEdges[i % 11];
  const Native v = (Native(random()) << 64) | random();
  return v >> (random() % 128);
}

TEST(WideInt, TwoWordTypesMatchTheNativeTypeBitForBit) {
  std::mt19937_64 random(42);
  for (int i = 0; i < 200000; ++i) {
    const Native a = Pick(random, i), b = Pick(random, i / 11 + 1);
    const UInt128 x = Two(a), y = Two(b);
    const int shift = int(random() % 128);
    ASSERT_EQ(Back(x + y), a + b);
    ASSERT_EQ(Back(x - y), a - b);
    ASSERT_EQ(Back(x * y), a * b);
    ASSERT_EQ(Back(x << shift), a << shift);
    ASSERT_EQ(Back(x >> shift), a >> shift);
    ASSERT_EQ(x < y, a < b);
    Native wrapped;
    UInt128 product;
    ASSERT_EQ(MultiplyOverflows(x, y, &product), __builtin_mul_overflow(a, b, &wrapped));
    const __int128 sa = __int128(a), sb = __int128(b);
    const Int128 sx(x), sy(y);
    ASSERT_EQ(Back(sx >> shift), Native(sa >> shift));
    ASSERT_EQ(sx < sy, sa < sb);
    if (b == 0) continue;
    ASSERT_EQ(Back(x / y), a / b) << i;
    ASSERT_EQ(Back(x % y), a % b) << i;
    if (sb == -1) continue;  // the smallest value over -1 overflows
    ASSERT_EQ(Back(sx / sy), Native(sa / sb)) << i;
    ASSERT_EQ(Back(sx % sy), Native(sa % sb)) << i;
  }
}

}  // namespace
#endif
