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
    NumberSetNull(&values[i]);
    if (!texts[i].empty()) {
      EXPECT_EQ(HostStrToNumber(&values[i], texts[i].c_str()), 1) << texts[i];
    }
  }
  return values;
}

TEST(ScaledOutput, ScaleWidthAndValuesRoundTrip) {
  const struct {
    std::vector<std::string> texts;
    int32_t scale, bits;
  } cases[] = {{{"12.50", "-3", "", "0.125"}, 3, 64}, {{"100", "0"}, 0, 64}, {{"9223372036854775807"}, 0, 64},
               {{"9223372036854775808", "-0.5"}, 1, 128}, {{"0.0666666666666666666667", "-1"}, 22, 128}};
  for (const auto& c : cases) {
    std::vector<NumberValue> values = Numbers(c.texts), back(values.size());
    const int64_t count = int64_t(values.size());
    int32_t scale = -1, bits = -1;
    ASSERT_EQ(XEVNumbersScale(values.data(), count, &scale, &bits), 1);
    EXPECT_EQ(scale, c.scale);
    EXPECT_EQ(bits, c.bits);
    std::vector<int64_t> integers(values.size() * size_t(bits / 64));
    std::vector<uint8_t> nulls;
    for (const std::string& text : c.texts) nulls.push_back(text.empty());
    ASSERT_EQ(XEVNumbersToScaled(values.data(), count, scale, bits, integers.data()), 1);
    ASSERT_EQ(XEVScaledToNumbers(integers.data(), count, scale, bits, nulls.data(), back.data()), 1);
    for (size_t i = 0; i < values.size(); ++i) {
      EXPECT_EQ(NumberCompare(&back[i], &values[i]), 0) << c.texts[i];
      EXPECT_EQ(NumberIsNull(&back[i]) != 0, c.texts[i].empty());
    }
  }
}

TEST(ScaledOutput, WhatCannotCrossWholeIsRefused) {
  std::vector<NumberValue> values = Numbers({"1.25", "1e30", "0.0666666666666666666667", "1e-99"});
  int32_t scale = 0, bits = 0;
  EXPECT_EQ(XEVNumbersScale(values.data() + 2, 2, &scale, &bits), 0);  // 121 digits at one scale
  EXPECT_EQ(scale + bits, 0);
  int64_t out[2];
  EXPECT_EQ(XEVNumbersToScaled(values.data(), 1, 1, 64, out), 0);  // 12.5 is not whole
  EXPECT_EQ(XEVNumbersToScaled(values.data() + 1, 1, 0, 64, out), 0);
  EXPECT_EQ(XEVNumbersToScaled(values.data() + 1, 1, 0, 128, out), 1);
  EXPECT_EQ(XEVNumbersToScaled(values.data(), 1, -1, 64, out), 0);
  EXPECT_EQ(XEVNumbersToScaled(values.data(), 1, 2, 32, out), 0);

  NumberValue number;
  char text[64];
  const int64_t integers[] = {INT64_MIN, 1};
  ASSERT_EQ(XEVScaledToNumbers(integers, 1, 3, 64, nullptr, &number), 1);
  HostNumberToStr(&number, text, sizeof text);
  EXPECT_STREQ(text, "-9223372036854775.808");
  EXPECT_EQ(XEVScaledToNumbers(integers + 1, 1, 100, 64, nullptr, &number), 0);  // 10^-100
  const int64_t wide[2] = {0, 1 << 20};  // 2^84: 26 digits, which a NumberValue would round
  EXPECT_EQ(XEVScaledToNumbers(wide, 1, 0, 128, nullptr, &number), 0);
}

}  // namespace
