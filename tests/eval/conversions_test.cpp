#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "eval/eval.h"
#include "tests/support/values.h"
#include "xev/host_format.h"

namespace {

using namespace xev::eval;

using testhost::Date;
using testhost::Num;

// "<result> <text>" of a writer called with args and a text buffer that
// starts dirty, so that a forgotten terminator shows.
template <typename Writer, typename... Args>
std::string Wrote(Writer write, Args... args) {
  char bytes[kTextBufferSize];
  std::memset(bytes, 'x', sizeof bytes);
  const int32_t result = write(args..., bytes);
  return std::to_string(result) + " " + bytes;
}

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
  for (const char* bad : {"", "12/40/2001", "hello", "10:30 PMx", "2/29/2001",
                          static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(DateFromText(&v, bad), 0) << (bad ? bad : "(null)");
    EXPECT_EQ(std::memcmp(&v, &time, sizeof v), 0) << (bad ? bad : "(null)");
  }
}

TEST_F(ConversionsTest, NumberFromTextGivesZeroOnFailure) {
  NumberValue v{};
  ASSERT_EQ(NumberFromText(&v, " -12.50 "), 1);
  const NumberValue expected = Num("-12.5");
  EXPECT_EQ(NumberCompare(&v, &expected), 0);
  for (const char* bad : {"", "abc", "1,000", "12/25/2001", "1.2.3",
                          static_cast<const char*>(nullptr)}) {
    v = Num("7");
    EXPECT_EQ(NumberFromText(&v, bad), 0) << (bad ? bad : "(null)");
    EXPECT_TRUE(!NumberIsNull(&v) && NumberIsZero(&v)) << (bad ? bad : "(null)");
  }
}

TEST_F(ConversionsTest, DateTextsReadBackAndRefuseBadOrOverflowingPictures) {
  const NumberValue d = Date(2001, 12, 25, 22, 30, 5), null{};
  EXPECT_EQ(Wrote(DateToText, &d), "1 12/25/2001 22:30:05");
  NumberValue back{};
  ASSERT_EQ(DateFromText(&back, "12/25/2001 22:30:05"), 1);
  EXPECT_EQ(NumberCompare(&back, &d), 0);
  EXPECT_EQ(Wrote(DateToText, &null), "1 ");
  EXPECT_EQ(Wrote(DateToTextByPicture, &d, "dddd d MMMM yyyy, h:mm tt"),
            "1 Tuesday 25 December 2001, 10:30 PM");
  EXPECT_EQ(Wrote(DateToTextByPicture, &d, "qqq"), "0 ");
  EXPECT_EQ(Wrote(DateToTextByPicture, &null, "qqq"), "1 ");
  std::string wide;
  for (int i = 0; i < 13; ++i) wide += "dddd ";  // 104 bytes: overflows the buffer
  EXPECT_EQ(Wrote(DateToTextByPicture, &d, wide.c_str()), "0 ");
}

TEST_F(ConversionsTest, NumberTextsAndTheirFailures) {
  const NumberValue n = Num("-1234567.125"), one = Num("1"), huge = Num("1E+99"), null{};
  EXPECT_EQ(Wrote(NumberToTextFixed, &n, 2), "1 -1234567.13");
  EXPECT_EQ(Wrote(NumberToTextFixed, &n, -3), "1 -1234567");
  EXPECT_EQ(Wrote(NumberToCountryText, &n), "1 -1234567.125");
  EXPECT_EQ(Wrote(NumberToCurrencyText, &n), "1 -1234567.13");
  EXPECT_EQ(Wrote(NumberToTextByPicture, &n, "#,##0.0;(#,##0.0)"), "1 (1,234,567.1)");
  EXPECT_EQ(Wrote(NumberToTextByPicture, &one, "abc"), "0 ");
  EXPECT_EQ(Wrote(NumberToTextFixed, &huge, 2), "0 ");
  EXPECT_EQ(Wrote(NumberToTextFixed, &null, 2), "1 ");
  EXPECT_EQ(Wrote(NumberToCountryText, &null), "1 ");
  EXPECT_EQ(Wrote(NumberToCurrencyText, &null), "1 ");
  EXPECT_EQ(Wrote(NumberToTextByPicture, &null, "0.00"), "1 ");
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
  EXPECT_EQ(Wrote(NumberToTextFixed, &n, 1), "1 1234567.5");  // the fixed form never follows it
  EXPECT_EQ(Wrote(NumberToCountryText, &n), "1 1 234 567,5");
  EXPECT_EQ(Wrote(NumberToCurrencyText, &n), "1 1 234 567,50 kr");
}

TEST_F(ConversionsTest, RecognizeDateTextCodesAndRewrites) {
  const auto recognize = [](const char* text, const char* p1, const char* p2, const char* p3) {
    char output[128] = "dirty";
    return std::to_string(RecognizeDateText(text, output, p1, p2, p3)) + " " + output;
  };
  EXPECT_EQ(recognize("12/25/2001", "yyyy-MM-dd", "x", "y"), "8 2001-12-25");
  EXPECT_EQ(recognize("12/25/2001 10:30", nullptr, "yyyy-MM-dd HH:mm", nullptr),
            "10 2001-12-25 10:30");
  EXPECT_EQ(recognize("10:30 PM", nullptr, nullptr, "HH.mm"), "9 22.30");
  EXPECT_EQ(recognize("12/25/2001", nullptr, nullptr, nullptr), "8 ");
  EXPECT_EQ(recognize("12/40/2001", "yyyy", "yyyy", "yyyy"), "0 ");
  EXPECT_EQ(recognize("12/25/2001", "bad", nullptr, nullptr), "8 ");
}

}  // namespace
