// Whole powers with short exact values: the same Number on every platform,
// and the one a correctly rounded pow gives.
#include "host/exact_power.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "xev/xevhost.h"

namespace {

NumberValue Num(const std::string& text) {
  NumberValue n;
  HostStrToNumber(&n, text.c_str());
  return n;
}

std::string Text(const NumberValue& n) {
  char buffer[64] = "";
  HostNumberToStr(&n, buffer, sizeof buffer);
  return buffer;
}

std::string Power(const std::string& base, const std::string& exponent) {
  NumberValue out = Num("-999"), b = Num(base), e = Num(exponent);
  return xev::host::ExactPower(&out, &b, &e) ? Text(out) : "pow";
}

TEST(ExactPower, ShortWholePowersAreExactAndTheRestAreLeftToPow) {
  EXPECT_EQ(Power("10", "-2"), "0.01");
  EXPECT_EQ(Power("-1.5", "3"), "-3.375");
  EXPECT_EQ(Power("0.2", "-3"), "125");
  EXPECT_EQ(Power("3", "-1"), "pow");        // 1/3 has no exact decimal
  EXPECT_EQ(Power("2", "0.5"), "pow");       // not a whole exponent
  EXPECT_EQ(Power("99999", "4"), "pow");     // 20 digits: pow's rounding decides
}

#if !defined(_WIN32)
// For bases a double holds exactly, glibc's pow rounds correctly; a result
// of at most 15 digits prints back from its double unchanged, so both agree.
// (For 0.1 or 1.1 the exact power is the better answer: pow sees the double.)
TEST(ExactPower, AgreesWithACorrectlyRoundedPow) {
  const char* bases[] = {"2", "-2", "10", "2.5", "-0.5", "16", "0.25", "123", "625", "1.5", "0.125", "-3"};
  for (const char* base : bases) {
    for (int exponent = -12; exponent <= 12; ++exponent) {
      NumberValue exact, b = Num(base), e = Num(std::to_string(exponent));
      if (!xev::host::ExactPower(&exact, &b, &e)) continue;
      double x = 0;
      NumberToDouble(&b, &x);
      NumberValue viaDouble;
      ASSERT_TRUE(DoubleToNumber(&viaDouble, std::pow(x, exponent)));
      EXPECT_EQ(Text(exact), Text(viaDouble)) << base << "^" << exponent;
    }
  }
}
#endif

}  // namespace
