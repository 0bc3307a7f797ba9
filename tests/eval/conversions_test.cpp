#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "eval/eval.h"
#include "xev/host_format.h"

namespace {

using namespace xev::eval;

NumberValue Num(const char* text) {
  NumberValue n{};
  EXPECT_EQ(HostStrToNumber(&n, text), 1) << text;
  return n;
}

NumberValue Date(int32_t year, int32_t month, int32_t day, int32_t hour = 0, int32_t minute = 0,
                 int32_t second = 0) {
  const DateParts parts{month, day, year, hour, minute, second, 0};
  NumberValue v{};
  v.bytes[0] = DatePartsToNumber(&v.bytes[1], &parts);
  return v;
}

// A text buffer that starts dirty, so that a forgotten terminator shows.
struct Text {
  char bytes[kTextBufferSize];
  Text() { std::memset(bytes, 'x', sizeof bytes); }
  std::string str() const { return bytes; }
};

class ConversionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::setlocale(LC_ALL, "C");
    HostSetLocale(nullptr);
  }
  void TearDown() override { HostSetLocale(nullptr); }
};

TEST_F(ConversionsTest, DateFromTextReadsDatesThenTimesAndLeavesTheResultOnFailure) {
  NumberValue v{};
  ASSERT_EQ(DateFromText(&v, "12/25/2001 10:30 PM"), 1);
  const NumberValue christmas = Date(2001, 12, 25, 22, 30);
  EXPECT_EQ(NumberCompare(&v, &christmas), 0);

  ASSERT_EQ(DateFromText(&v, "10:30:15"), 1);
  const NumberValue time = Date(1, 1, 2, 10, 30, 15);  // a time alone lies on day 0
  EXPECT_EQ(NumberCompare(&v, &time), 0);
  EXPECT_EQ(NumberToInt(&v), 37815);

  const NumberValue before = v;
  for (const char* bad : {"", "12/40/2001", "hello", "10:30 PMx", "2/29/2001"}) {
    EXPECT_EQ(DateFromText(&v, bad), 0) << bad;
    EXPECT_EQ(std::memcmp(&v, &before, sizeof v), 0) << bad;
  }
  EXPECT_EQ(DateFromText(&v, nullptr), 0);
}

TEST_F(ConversionsTest, NumberFromTextGivesZeroOnFailure) {
  NumberValue v{};
  ASSERT_EQ(NumberFromText(&v, " -12.50 "), 1);
  const NumberValue expected = Num("-12.5");
  EXPECT_EQ(NumberCompare(&v, &expected), 0);
  for (const char* bad : {"", "abc", "1,000", "12/25/2001", "1.2.3"}) {
    v = Num("7");
    EXPECT_EQ(NumberFromText(&v, bad), 0) << bad;
    EXPECT_EQ(NumberIsNull(&v), 0) << bad;
    EXPECT_EQ(NumberIsZero(&v), 1) << bad;
  }
  EXPECT_EQ(NumberFromText(&v, nullptr), 0);
  EXPECT_EQ(NumberIsZero(&v), 1);
}

TEST_F(ConversionsTest, DateToTextWritesTheDefaultFormThatReadsBack) {
  Text text;
  const NumberValue d = Date(2001, 12, 25, 22, 30, 5);
  ASSERT_EQ(DateToText(&d, text.bytes), 1);
  EXPECT_EQ(text.str(), "12/25/2001 22:30:05");
  NumberValue back{};
  ASSERT_EQ(DateFromText(&back, text.bytes), 1);
  EXPECT_EQ(NumberCompare(&back, &d), 0);

  const NumberValue null{};
  Text empty;
  EXPECT_EQ(DateToText(&null, empty.bytes), 1);
  EXPECT_EQ(empty.str(), "");
}

TEST_F(ConversionsTest, DateToTextByPictureRefusesBadPictures) {
  const NumberValue d = Date(2001, 12, 25, 22, 30, 5);
  Text text;
  ASSERT_EQ(DateToTextByPicture(&d, "dddd d MMMM yyyy, h:mm tt", text.bytes), 1);
  EXPECT_EQ(text.str(), "Tuesday 25 December 2001, 10:30 PM");
  Text refused;
  EXPECT_EQ(DateToTextByPicture(&d, "qqq", refused.bytes), 0);
  EXPECT_EQ(refused.str(), "");
  Text nullDate;
  const NumberValue null{};
  EXPECT_EQ(DateToTextByPicture(&null, "qqq", nullDate.bytes), 1);
  EXPECT_EQ(nullDate.str(), "");
  // A picture whose text overflows the buffer fails with the empty string.
  std::string wide;
  for (int i = 0; i < 13; ++i) wide += "dddd ";  // 104 bytes
  Text overflow;
  EXPECT_EQ(DateToTextByPicture(&d, wide.c_str(), overflow.bytes), 0);
  EXPECT_EQ(overflow.str(), "");
}

TEST_F(ConversionsTest, NumberTexts) {
  const NumberValue n = Num("-1234567.125");
  Text fixed, country, currency, picture;
  NumberToTextFixed(&n, 2, fixed.bytes);
  EXPECT_EQ(fixed.str(), "-1234567.13");
  EXPECT_EQ(NumberToCountryText(&n, country.bytes), 1);
  EXPECT_EQ(country.str(), "-1234567.125");
  EXPECT_EQ(NumberToCurrencyText(&n, currency.bytes), 1);
  EXPECT_EQ(currency.str(), "-1234567.13");
  EXPECT_EQ(NumberToTextByPicture(&n, "#,##0.0;(#,##0.0)", picture.bytes), 1);
  EXPECT_EQ(picture.str(), "(1,234,567.1)");

  Text negativePlaces;
  NumberToTextFixed(&n, -3, negativePlaces.bytes);
  EXPECT_EQ(negativePlaces.str(), "-1234567");
}

TEST_F(ConversionsTest, NumberTextsUseTheLocaleWhenAsked) {
  XevLocale record{};
  std::strcpy(record.decimalPoint, ",");
  std::strcpy(record.thousandsSep, " ");
  std::strcpy(record.grouping, "\3");
  std::strcpy(record.currencySymbol, "kr");
  record.currencyPlacement = XEV_CURRENCY_AFTER_SPACE;
  record.currencyDigits = 2;
  HostSetLocale(&record);
  const NumberValue n = Num("1234567.5");
  Text fixed, country, currency;
  NumberToTextFixed(&n, 1, fixed.bytes);
  EXPECT_EQ(fixed.str(), "1234567.5");  // the fixed form never follows the locale
  NumberToCountryText(&n, country.bytes);
  EXPECT_EQ(country.str(), "1 234 567,5");
  NumberToCurrencyText(&n, currency.bytes);
  EXPECT_EQ(currency.str(), "1 234 567,50 kr");
}

TEST_F(ConversionsTest, NumberConversionFailures) {
  const NumberValue n = Num("1");
  Text refused;
  EXPECT_EQ(NumberToTextByPicture(&n, "abc", refused.bytes), 0);
  EXPECT_EQ(refused.str(), "");
  Text tooWide;
  const NumberValue huge = Num("1E+99");
  EXPECT_EQ(NumberToTextFixed(&huge, 2, tooWide.bytes), 0);
  EXPECT_EQ(tooWide.str(), "");
  const NumberValue null{};
  Text a, b, c, d;
  EXPECT_EQ(NumberToTextFixed(&null, 2, a.bytes), 1);
  EXPECT_EQ(NumberToCountryText(&null, b.bytes), 1);
  EXPECT_EQ(NumberToCurrencyText(&null, c.bytes), 1);
  EXPECT_EQ(NumberToTextByPicture(&null, "0.00", d.bytes), 1);
  EXPECT_EQ(a.str() + b.str() + c.str() + d.str(), "");
}

TEST_F(ConversionsTest, RecognizeDateTextCodesAndRewrites) {
  char output[128];
  EXPECT_EQ(RecognizeDateText("12/25/2001", output, "yyyy-MM-dd", "x", "y"), 8);
  EXPECT_STREQ(output, "2001-12-25");
  EXPECT_EQ(RecognizeDateText("12/25/2001 10:30", output, nullptr, "yyyy-MM-dd HH:mm", nullptr),
            10);
  EXPECT_STREQ(output, "2001-12-25 10:30");
  EXPECT_EQ(RecognizeDateText("10:30 PM", output, nullptr, nullptr, "HH.mm"), 9);
  EXPECT_STREQ(output, "22.30");
  std::strcpy(output, "dirty");
  EXPECT_EQ(RecognizeDateText("12/25/2001", output, nullptr, nullptr, nullptr), 8);
  EXPECT_STREQ(output, "");
  std::strcpy(output, "dirty");
  EXPECT_EQ(RecognizeDateText("12/40/2001", output, "yyyy", "yyyy", "yyyy"), 0);
  EXPECT_STREQ(output, "");
  EXPECT_EQ(RecognizeDateText("12/25/2001", output, "bad", nullptr, nullptr), 8);
  EXPECT_STREQ(output, "");
}

}  // namespace
