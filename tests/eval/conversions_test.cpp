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

}  // namespace
