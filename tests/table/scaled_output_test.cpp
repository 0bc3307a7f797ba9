// Number columns as scaled integers: the smallest scale and width, both
// directions exact, and every value that cannot cross whole refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xev/xevtable.h"

namespace {

std::vector<NumberValue> Numbers(const std::vector<std::string>& texts) {
  std::vector<NumberValue> values(texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    if (texts[i].empty()) {
      NumberSetNull(&values[i]);
    } else {
      EXPECT_EQ(HostStrToNumber(&values[i], texts[i].c_str()), 1) << texts[i];
    }
  }
  return values;
}

std::string Text(const NumberValue& value) {
  char buffer[64];
  HostNumberToStr(&value, buffer, sizeof buffer);
  return buffer;
}

TEST(ScaledOutput, ScaleWidthAndValuesRoundTrip) {
  struct Case {
    std::vector<std::string> texts;
    int32_t scale, bits;
  } cases[] = {
      {{"12.50", "-3", "", "0.125"}, 3, 64},
      {{"100", "0"}, 0, 64},
      {{"9223372036854775807"}, 0, 64},
      {{"9223372036854775808", "-0.5"}, 1, 128},
      {{"0.0666666666666666666667", "-1"}, 22, 128},
  };
  for (const Case& c : cases) {
    std::vector<NumberValue> values = Numbers(c.texts);
    int32_t scale = -1, bits = -1;
    ASSERT_EQ(XEVNumbersScale(values.data(), int64_t(values.size()), &scale, &bits), 1);
    EXPECT_EQ(scale, c.scale);
    EXPECT_EQ(bits, c.bits);
    std::vector<int64_t> integers(values.size() * size_t(bits / 64));
    ASSERT_EQ(XEVNumbersToScaled(values.data(), int64_t(values.size()), scale, bits, integers.data()), 1);
    std::vector<uint8_t> nulls(values.size());
    for (size_t i = 0; i < values.size(); ++i) nulls[i] = c.texts[i].empty();
    std::vector<NumberValue> back(values.size());
    ASSERT_EQ(XEVScaledToNumbers(integers.data(), int64_t(values.size()), scale, bits, nulls.data(), back.data()), 1);
    for (size_t i = 0; i < values.size(); ++i) {
      EXPECT_EQ(NumberCompare(&back[i], &values[i]), 0) << c.texts[i];
      EXPECT_EQ(NumberIsNull(&back[i]) != 0, c.texts[i].empty());
    }
  }
  std::vector<NumberValue> wide = Numbers({"0.0666666666666666666667", "1e-99"});
  int32_t scale = 0, bits = 0;
  EXPECT_EQ(XEVNumbersScale(wide.data(), 2, &scale, &bits), 0);  // 99 + 22 digits at one scale
  EXPECT_EQ(scale + bits, 0);
  std::vector<NumberValue> minus = Numbers({"-12.5"});
  int64_t integer = 0;
  ASSERT_EQ(XEVNumbersToScaled(minus.data(), 1, 2, 64, &integer), 1);
  EXPECT_EQ(integer, -1250);
}

TEST(ScaledOutput, WhatCannotCrossWholeIsRefused) {
  std::vector<NumberValue> values = Numbers({"1.25", "1e30"});
  std::vector<int64_t> out(4);
  EXPECT_EQ(XEVNumbersToScaled(values.data(), 1, 1, 64, out.data()), 0);  // 12.5 is not whole
  EXPECT_EQ(XEVNumbersToScaled(values.data() + 1, 1, 0, 64, out.data()), 0);
  EXPECT_EQ(XEVNumbersToScaled(values.data() + 1, 1, 0, 128, out.data()), 1);
  EXPECT_EQ(XEVNumbersToScaled(values.data(), 1, -1, 64, out.data()), 0);
  EXPECT_EQ(XEVNumbersToScaled(values.data(), 1, 2, 32, out.data()), 0);

  NumberValue number;
  const int64_t integers[] = {INT64_MIN, 1, 0, -7};
  std::vector<NumberValue> back(4);
  ASSERT_EQ(XEVScaledToNumbers(integers, 4, 3, 64, nullptr, back.data()), 1);
  EXPECT_EQ(Text(back[0]), "-9223372036854775.808");
  EXPECT_EQ(Text(back[3]), "-0.007");
  EXPECT_EQ(XEVScaledToNumbers(integers + 1, 1, 100, 64, nullptr, &number), 0);  // 10^-100
  const int64_t big[2] = {0, 1};  // 2^64: 20 digits
  EXPECT_EQ(XEVScaledToNumbers(big, 1, 0, 128, nullptr, &number), 1);
  EXPECT_EQ(Text(number), "18446744073709551616");
  const int64_t huge[2] = {0, 1 << 20};  // 2^84: 26 digits, which a NumberValue would round
  EXPECT_EQ(XEVScaledToNumbers(huge, 1, 0, 128, nullptr, &number), 0);
}

}  // namespace
