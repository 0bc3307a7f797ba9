#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "host/picture_date.h"
#include "tests/support/values.h"
#include "xev/host_format.h"

namespace {

FormatDesc Desc(int32_t kind, char* output = nullptr, int32_t size = 0) {
  FormatDesc desc;
  FormatInit(&desc);
  desc.kind = kind;
  desc.output = output;
  desc.outputSize = size;
  return desc;
}

bool Parse(const char* text, int32_t kind, DateParts* parts) {
  FormatDesc desc = Desc(kind);
  desc.text = text;
  const bool ok = FormatParse(&desc) != 0;
  *parts = desc.date;
  return ok;
}

std::string Output(const DateParts& parts, int32_t kind, const char* picture) {
  char buffer[100];
  FormatDesc desc = Desc(kind, buffer, sizeof buffer);
  desc.date = parts;
  desc.picture = picture;
  return FormatOutput(&desc) ? std::string(buffer) : "<refused:" + std::string(buffer) + ">";
}

std::string WriteNumber(const char* number, int32_t kind, const char* picture = nullptr,
                        int32_t decimals = -1, bool locale = false) {
  char buffer[100];
  FormatDesc desc = Desc(kind, buffer, sizeof buffer);
  if (locale) FormatUseLocale(&desc);
  EXPECT_EQ(HostStrToNumber(&desc.number, number), 1) << number;
  desc.picture = picture;
  desc.decimals = decimals;
  return FormatNumber(&desc) ? std::string(buffer) : "<refused:" + std::string(buffer) + ">";
}

TEST(DateText, ImpossibleDatesAndTimesAndStrayTextAreRefused) {
  const char* const refused[] = {
      "12/40/2001", "2/30/2001", "2/29/1900", "13/1/2001", "0/1/2001", "1/0/2001", "1/1/0000",
      "1/1/10000", "25:00", "10:60", "10:30:60", "13 PM", "0 AM", "10:30 PMx", "Foo 15, 2001",
      "15 Janu 2001", "12/25/2001 x", "12/25", "", "   ", "10:30:45:123:5", "1:2:3:4:5",
      "12/25/2001,10:30", "10:30/2001", "1.5:2001", "12/25/2001 25:00", "1234567890/1/1",
      "\x82\xa0 10:30"};
  for (const char* text : refused) {
    DateParts parts{};
    for (int32_t kind : {XEV_FORMAT_DATETIME, XEV_FORMAT_TIME, XEV_FORMAT_DATE}) {
      EXPECT_FALSE(Parse(text, kind, &parts)) << text << " as kind " << kind;
    }
  }
}

TEST(DatePicture, BadPicturesAreRefusedAndMeasureGivesTheWidestText) {
  for (const char* picture : {"", "yyy", "yyyyy", "MMMMM", "ddddd", "HHH", "t", "ttt", "fffffff",
                              "q", "Date: yyyy", "'open", "yyyy\\"}) {
    EXPECT_EQ(FormatCheckPicture(picture), 0) << picture;
  }
  EXPECT_EQ(FormatCheckPicture(nullptr), 0);
  EXPECT_EQ(FormatCheckPicture("'Date:' yyyy"), 1);
  EXPECT_EQ(Output(DateParts{1, 1, 2000, 0, 0, 0, 0}, 3, "yyy"), "<refused:>");

  FormatDesc desc = Desc(XEV_FORMAT_DATETIME);
  EXPECT_EQ(FormatMeasure(&desc, 0), 26);
  EXPECT_EQ(FormatMeasure(&desc, 40), 40);
  desc.picture = "dddd MMMM d";
  EXPECT_EQ(FormatMeasure(&desc, 0), 22);
  EXPECT_EQ(Output(DateParts{9, 27, 2000, 0, 0, 0, 0}, 3, desc.picture).size(), 22u);
  desc.picture = "bad";
  EXPECT_EQ(FormatMeasure(&desc, 7), 7);
}

TEST(DatePicture, CompiledPicturesWriteWhatTheirTextWrites) {
  const char* const pictures[] = {"ddd d MMM yyyy", "yyyy", "MM/dd/yyyy HH:mm:ssFFFFFF", "dddd, MMMM d, yy",
                                  "h:m:s.fff tt 'at' H\\h", "'long literal text' M-d-yyyy F ffffff FF",
                                  "yy.MM.dd hh.mm.ss.ff"};
  const DateParts dates[] = {{12, 31, 1999, 23, 59, 59, 999999}, {1, 2, 1, 0, 0, 0, 0},
                             {2, 29, -44, 12, 5, 9, 120},        {7, 4, 12345, 9, 0, 0, 500000},
                             {9, 15, 999, 11, 30, 7, 30},        {3, 1, -5000000, 13, 1, 0, 1}};
  for (const char* picture : pictures) {
    xev::host::CompiledDatePicture compiled;
    ASSERT_TRUE(xev::host::CompileDatePicture(picture, &compiled)) << picture;
    for (const DateParts& date : dates) {
      const std::string want = Output(date, XEV_FORMAT_DATETIME, picture);
      // Big enough, just big enough and a byte short.
      for (const size_t size : {size_t{100}, want.size() + 1, want.size()}) {
        char text[100] = "x";
        const bool ok = xev::host::WriteDateByCompiledPicture(compiled, date, text, static_cast<int32_t>(size));
        EXPECT_EQ(ok ? std::string(text) : "<refused:" + std::string(text) + ">",
                  size > want.size() ? want : "<refused:>")
            << picture << " " << testhost::Show(date) << " in " << size;
      }
    }
  }
}

TEST(FormatRobustness, ArbitraryTextsAndPicturesNeverMisbehave) {
  // Texts built from the characters the readers care about, so that most of
  // them get deep into the grammar before failing.
  const char alphabet[] = "0123456789/-.:\\ ,APMamJanDecyMdHhmsfFt#%$;'\"";
  uint32_t seed = 12345;
  const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  char text[24];
  char out[100];
  for (int i = 0; i < 20000; ++i) {
    const int length = static_cast<int>(next()) % 23;
    for (int k = 0; k < length; ++k) text[k] = alphabet[next() % (sizeof alphabet - 1)];
    text[length] = '\0';
    FormatDesc desc = Desc(XEV_FORMAT_DATETIME, out, sizeof out);
    desc.text = text;
    for (desc.kind = 1; desc.kind <= 4; ++desc.kind) {
      if (!FormatParse(&desc) || desc.kind > 3) continue;
      const DateParts& d = desc.date;  // whatever is accepted names a real instant
      EXPECT_TRUE(d.month >= 1 && d.month <= 12 && d.day >= 1 && d.hour <= 23 &&
                  d.minute <= 59 && d.second <= 59)
          << text;
    }
    desc.picture = text;
    desc.kind = XEV_FORMAT_DATETIME;
    desc.date = DateParts{12, 31, 1999, 23, 59, 59, 999999};
    EXPECT_LT(FormatOutput(&desc) ? std::strlen(out) : 0, sizeof out);
    desc.kind = XEV_FORMAT_PICTURE;
    HostStrToNumber(&desc.number, "-98765.4321");
    EXPECT_LT(FormatNumber(&desc) ? std::strlen(out) : 0, sizeof out);
  }
}

TEST(NumberPicture, PlaceholdersRoundingAndSigns) {
  const struct { const char* number; const char* picture; const char* text; } cases[] = {
      {"1234567.891", "#,##0.00", "1,234,567.89"}, {"0.5", "#,##0.00", "0.50"},
      {"42", "0000", "0042"},                      {"123456", "00", "123456"},
      {"2.5", "#.##", "2.5"},                      {"2", "#.##", "2"},
      {"0.25", "#.00", ".25"},                     {"5551234", "###-####", "555-1234"},
      {"0.125", "0.0%", "12.5%"},                  {"1234.5", "$#,##0.00", "$1,234.50"},
      {"1234.5", "0.00 \"EUR\"", "1234.50 EUR"},   {"2.345", "0.00", "2.35"},
      {"-2.345", "0.00", "-2.35"},                 {"9.999", "0.00", "10.00"},
      {"-0.001", "0.00", "0.00"},                  {"-1234", "#,##0;(#,##0)", "(1,234)"},
      {"0", "0.0;-0.0;'nil'", "nil"},              {"-3", "0.0;-0.0;'nil'", "-3.0"},
      {"1E+30", "#,##0", "1,000,000,000,000,000,000,000,000,000,000"},
  };
  for (const auto& c : cases) EXPECT_EQ(WriteNumber(c.number, 6, c.picture), c.text) << c.picture;
}

TEST(NumberPicture, BadPicturesAreRefused) {
  for (const char* picture :
       {"", "abc", "0.0.0", "0;0;0;0", "\"open 0", "$", "0 kr", "0\\", "'text';0", "12#"}) {
    FormatDesc desc = Desc(XEV_FORMAT_DATETIME);
    desc.picture = picture;
    EXPECT_EQ(FormatPreparePicture(&desc), 0) << picture;
    EXPECT_EQ(WriteNumber("1", 6, picture), "<refused:>") << picture;
  }
  FormatDesc desc = Desc(XEV_FORMAT_DATETIME);
  EXPECT_EQ(FormatPreparePicture(&desc), 0);
}

TEST(NumberText, FixedAndExactForms) {
  EXPECT_EQ(WriteNumber("1234.5", 4, nullptr, 2), "1234.50");
  EXPECT_EQ(WriteNumber("-0.004", 4, nullptr, 2), "0.00");
  EXPECT_EQ(WriteNumber("0.005", 4, nullptr, 2), "0.01");
  EXPECT_EQ(WriteNumber("123.456", 4, nullptr, 0), "123");
  EXPECT_EQ(WriteNumber("1234567.125", 4), "1234567.125");
  EXPECT_EQ(WriteNumber("0.000001", 4), "0.000001");
  EXPECT_EQ(WriteNumber("1E+99", 4), "1E+99");
  EXPECT_EQ(WriteNumber("-1.5E-99", 4), "-1.5E-99");
  EXPECT_EQ(WriteNumber("1E+99", 4, nullptr, 2), "<refused:>");
}

XevLocale Locale(const char* point, const char* separator, const char* grouping,
                 const char* symbol, int32_t placement = 0, int32_t digits = 0) {
  XevLocale record{};
  std::strcpy(record.decimalPoint, point);
  std::strcpy(record.thousandsSep, separator);
  std::strcpy(record.grouping, grouping);
  std::strcpy(record.currencySymbol, symbol);
  record.currencyPlacement = placement;
  record.currencyDigits = digits;
  return record;
}

class LocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::setlocale(LC_ALL, "C");
    HostSetLocale(nullptr);
  }
  void TearDown() override { HostSetLocale(nullptr); }
};

TEST_F(LocaleTest, HostSetLocaleIsUsedUntilReset) {
  XevLocale record = Locale(",", ".", "\3", "EUR", XEV_CURRENCY_AFTER_SPACE, 2);
  HostSetLocale(&record);
  EXPECT_EQ(WriteNumber("1234567.5", 4, nullptr, -1, true), "1.234.567,5");
  EXPECT_EQ(WriteNumber("-1234567.5", 5, nullptr, -1, true), "-1.234.567,50 EUR");
  EXPECT_EQ(WriteNumber("1234567.5", 6, "#,##0.00 $", -1, true), "1.234.567,50 EUR");
  EXPECT_EQ(WriteNumber("999", 4, nullptr, -1, true), "999");

  record = Locale(",", ".", "\3\2", "Rs", XEV_CURRENCY_BEFORE_SPACE, 0);
  HostSetLocale(&record);
  EXPECT_EQ(WriteNumber("123456789", 5, nullptr, -1, true), "Rs 12.34.56.789");

  HostSetLocale(nullptr);
  EXPECT_EQ(WriteNumber("1234567.5", 4, nullptr, -1, true), "1234567.5");
}

TEST_F(LocaleTest, NumbersAreReadWithTheLocaleOrPlain) {
  const XevLocale record = Locale(",", ".", "", "EUR");
  HostSetLocale(&record);
  // The value read as plain text, or "refused".
  const auto read = [](const char* text, bool locale) {
    FormatDesc desc = Desc(XEV_FORMAT_NUMBER);
    if (locale) FormatUseLocale(&desc);
    desc.text = text;
    char buffer[64];
    if (!FormatParseNumber(&desc)) return std::string("refused");
    HostNumberToStr(&desc.number, buffer, sizeof buffer);
    return std::string(buffer);
  };
  EXPECT_EQ(read("1.234,5", true), "1234.5");
  EXPECT_EQ(read(" -1.234.567,25 EUR ", true), "-1234567.25");
  EXPECT_EQ(read("  -12.5e3 ", false), "-12500");
  EXPECT_EQ(read("+.5", false), "0.5");
  for (const char* bad : {"", " ", "abc", "1,5", "12abc", "--1", ".", "1e", "1.2.3", "- 1 2"}) {
    EXPECT_EQ(read(bad, false), "refused") << bad;
  }
  EXPECT_EQ(read("1.5", true), "refused");  // "." groups here
}

}  // namespace
