#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "xev/host_format.h"

namespace {

struct Expected {
  int32_t year, month, day, hour, minute, second, fraction;
};

bool Parse(const char* text, int32_t kind, DateParts* parts) {
  FormatDesc desc;
  FormatInit(&desc);
  desc.kind = kind;
  desc.text = text;
  const bool ok = FormatParse(&desc) != 0;
  *parts = desc.date;
  return ok;
}

std::string Output(const DateParts& parts, int32_t kind, const char* picture) {
  char buffer[100];
  FormatDesc desc;
  FormatInit(&desc);
  desc.kind = kind;
  desc.date = parts;
  desc.picture = picture;
  desc.output = buffer;
  desc.outputSize = sizeof buffer;
  if (!FormatOutput(&desc)) return "<refused:" + std::string(buffer) + ">";
  return buffer;
}

NumberValue Num(const char* text) {
  NumberValue n{};
  EXPECT_EQ(HostStrToNumber(&n, text), 1) << text;
  return n;
}

std::string WriteNumber(const char* number, int32_t kind, const char* picture = nullptr,
                        int32_t decimals = -1, bool locale = false) {
  char buffer[100];
  FormatDesc desc;
  FormatInit(&desc);
  if (locale) FormatUseLocale(&desc);
  desc.kind = kind;
  desc.number = Num(number);
  desc.picture = picture;
  desc.decimals = decimals;
  desc.output = buffer;
  desc.outputSize = sizeof buffer;
  if (!FormatNumber(&desc)) return "<refused:" + std::string(buffer) + ">";
  return buffer;
}

void ExpectParts(const DateParts& p, const Expected& e, const char* text) {
  EXPECT_TRUE(p.year == e.year && p.month == e.month && p.day == e.day && p.hour == e.hour &&
              p.minute == e.minute && p.second == e.second && p.fraction == e.fraction)
      << text << " gave " << p.year << "-" << p.month << "-" << p.day << " " << p.hour << ":"
      << p.minute << ":" << p.second << "." << p.fraction;
}

// Every shape of date constant a formula can hold, with the instant it names.
struct Form {
  const char* text;
  int32_t kind;  // the first kind of 3, 2 that accepts it
  Expected parts;
};

const Form kForms[] = {
    {"12/25/2001", 3, {2001, 12, 25, 0, 0, 0, 0}},
    {"1-2-3", 3, {2003, 1, 2, 0, 0, 0, 0}},
    {"1\\2\\99", 3, {1999, 1, 2, 0, 0, 0, 0}},
    {"2001-12-25 10:30:00", 3, {2001, 12, 25, 10, 30, 0, 0}},
    {"2001/12/25-10:30", 3, {2001, 12, 25, 10, 30, 0, 0}},
    {"12-Jan-2001", 3, {2001, 1, 12, 0, 0, 0, 0}},
    {"12.jan.01", 3, {2001, 1, 12, 0, 0, 0, 0}},
    {"15 January, 2001", 3, {2001, 1, 15, 0, 0, 0, 0}},
    {"15 January, 2001 10:30 PM", 3, {2001, 1, 15, 22, 30, 0, 0}},
    {"15  SEPTEMBER  2001", 3, {2001, 9, 15, 0, 0, 0, 0}},
    {"Jan 15, 2001", 3, {2001, 1, 15, 0, 0, 0, 0}},
    {"dec 31,1999 11:59:59 pm", 3, {1999, 12, 31, 23, 59, 59, 0}},
    {"1.5.2001", 3, {2001, 5, 1, 0, 0, 0, 0}},
    {"1.5/2001", 3, {2001, 5, 1, 0, 0, 0, 0}},
    {"1.5.2001 10.30.45", 3, {2001, 5, 1, 10, 30, 45, 0}},
    {"12/25/2001 10PM", 3, {2001, 12, 25, 22, 0, 0, 0}},
    {"12/25/2001 10", 3, {2001, 12, 25, 10, 0, 0, 0}},
    {"10:30", 2, {1, 1, 2, 10, 30, 0, 0}},
    {"10:30 PM", 2, {1, 1, 2, 22, 30, 0, 0}},
    {"10:30pm", 2, {1, 1, 2, 22, 30, 0, 0}},
    {"10.30 PM", 2, {1, 1, 2, 22, 30, 0, 0}},
    {"10:30:45", 2, {1, 1, 2, 10, 30, 45, 0}},
    {"10:30:45.25", 2, {1, 1, 2, 10, 30, 45, 250000}},
    {"10.30.45", 2, {1, 1, 2, 10, 30, 45, 0}},
    {"10PM", 2, {1, 1, 2, 22, 0, 0, 0}},
    {"12 AM", 2, {1, 1, 2, 0, 0, 0, 0}},
    {"12 pm", 2, {1, 1, 2, 12, 0, 0, 0}},
    {" 0:00 ", 2, {1, 1, 2, 0, 0, 0, 0}},
};

TEST(DateText, EveryFormParsesAsTheFirstKindThatNamesIt) {
  for (const Form& form : kForms) {
    DateParts parts{};
    const bool asDateTime = Parse(form.text, XEV_FORMAT_DATETIME, &parts);
    EXPECT_EQ(asDateTime, form.kind == 3) << form.text;
    if (!asDateTime) {
      ASSERT_TRUE(Parse(form.text, XEV_FORMAT_TIME, &parts)) << form.text;
    }
    ExpectParts(parts, form.parts, form.text);
  }
}

TEST(DateText, KindsSeparateDatesFromTimes) {
  DateParts parts{};
  EXPECT_TRUE(Parse("12/25/2001", XEV_FORMAT_DATE, &parts));
  EXPECT_FALSE(Parse("12/25/2001 10:30", XEV_FORMAT_DATE, &parts));
  EXPECT_FALSE(Parse("10:30", XEV_FORMAT_DATE, &parts));
  EXPECT_FALSE(Parse("12/25/2001", XEV_FORMAT_TIME, &parts));
  EXPECT_FALSE(Parse("10", XEV_FORMAT_TIME, &parts));  // a bare hour is a number
}

TEST(DateText, TwoDigitYearsFollowTheCenturyWindow) {
  DateParts parts{};
  ASSERT_TRUE(Parse("1/1/49", XEV_FORMAT_DATE, &parts));
  EXPECT_EQ(parts.year, 2049);
  ASSERT_TRUE(Parse("1/1/50", XEV_FORMAT_DATE, &parts));
  EXPECT_EQ(parts.year, 1950);
  ASSERT_TRUE(Parse("1/1/0049", XEV_FORMAT_DATE, &parts));
  EXPECT_EQ(parts.year, 49);
  ASSERT_TRUE(Parse("1/1/200", XEV_FORMAT_DATE, &parts));
  EXPECT_EQ(parts.year, 200);
}

TEST(DateText, ImpossibleDatesAndTimesAndStrayTextAreRefused) {
  const char* const refused[] = {
      "12/40/2001", "2/30/2001",  "2/29/1900",   "13/1/2001",  "0/1/2001",    "1/0/2001",
      "1/1/0000",   "1/1/10000",  "25:00",       "10:60",      "10:30:60",    "13 PM",
      "0 AM",       "10:30 PMx",  "Foo 15, 2001", "15 Janu 2001", "12/25/2001 x", "12/25",
      "",           "   ",        "10:30:45:123:5", "1:2:3:4:5", "12/25/2001,10:30",
      "10:30/2001", "1.5:2001",   "12/25/2001 25:00", "1234567890/1/1", "\x82\xa0 10:30"};
  for (const char* text : refused) {
    DateParts parts{};
    EXPECT_FALSE(Parse(text, XEV_FORMAT_DATETIME, &parts)) << text;
    EXPECT_FALSE(Parse(text, XEV_FORMAT_TIME, &parts)) << text;
    EXPECT_FALSE(Parse(text, XEV_FORMAT_DATE, &parts)) << text;
  }
}

TEST(DateText, DefaultFormsReadBackToTheSameInstant) {
  for (const Form& form : kForms) {
    DateParts parts{};
    if (!Parse(form.text, XEV_FORMAT_DATETIME, &parts)) Parse(form.text, XEV_FORMAT_TIME, &parts);
    for (int32_t kind : {XEV_FORMAT_DATETIME, XEV_FORMAT_DATE, XEV_FORMAT_TIME}) {
      const std::string text = Output(parts, kind, nullptr);
      DateParts back{};
      ASSERT_TRUE(Parse(text.c_str(), kind, &back)) << form.text << " -> " << text;
      if (kind != XEV_FORMAT_TIME) {
        EXPECT_TRUE(back.year == parts.year && back.month == parts.month && back.day == parts.day)
            << text;
      }
      if (kind != XEV_FORMAT_DATE) {
        EXPECT_TRUE(back.hour == parts.hour && back.minute == parts.minute &&
                    back.second == parts.second && back.fraction == parts.fraction)
            << text;
      }
    }
  }
  EXPECT_EQ(Output(DateParts{12, 25, 2001, 22, 30, 5, 0}, XEV_FORMAT_DATETIME, nullptr),
            "12/25/2001 22:30:05");
  EXPECT_EQ(Output(DateParts{1, 2, 1, 0, 0, 0, 120000}, XEV_FORMAT_DATETIME, nullptr),
            "01/02/0001 00:00:00.12");
}

TEST(DatePicture, FieldsNamesAndLiterals) {
  const DateParts christmas{12, 25, 2001, 22, 5, 9, 123456};
  EXPECT_EQ(Output(christmas, 3, "dddd, MMMM d, yyyy"), "Tuesday, December 25, 2001");
  EXPECT_EQ(Output(christmas, 3, "ddd dd-MMM-yy"), "Tue 25-Dec-01");
  EXPECT_EQ(Output(christmas, 3, "M/d/yyyy h:mm tt"), "12/25/2001 10:05 PM");
  EXPECT_EQ(Output(christmas, 3, "HH:mm:ss.fff"), "22:05:09.123");
  EXPECT_EQ(Output(christmas, 3, "H:m:s"), "22:5:9");
  EXPECT_EQ(Output(christmas, 3, "yyyy'-W'MM \"at\" HH\\h"), "2001-W12 at 22h");
  EXPECT_EQ(Output(DateParts{1, 5, 2001, 0, 30, 0, 0}, 3, "h tt"), "12 AM");
  EXPECT_EQ(Output(DateParts{1, 5, 2001, 12, 0, 0, 0}, 3, "hh tt"), "12 PM");
  // Out-of-range parts are written as the instant they name.
  EXPECT_EQ(Output(DateParts{13, 1, 2000, 0, 0, 0, 0}, 3, "yyyy-MM-dd"), "2001-01-01");
}

TEST(DatePicture, PicturesReadBackWhenTheyHoldEveryField) {
  const char* const pictures[] = {"M/d/yyyy H:mm:ss", "dd-MMM-yyyy hh:mm:ss tt",
                                  "MMMM d, yyyy HH:mm:ss", "d.M.yyyy HH.mm.ss.ffffff"};
  const DateParts value{2, 29, 2000, 13, 7, 59, 5};
  for (const char* picture : pictures) {
    const std::string text = Output(value, 3, picture);
    DateParts back{};
    ASSERT_TRUE(Parse(text.c_str(), XEV_FORMAT_DATETIME, &back)) << picture << " -> " << text;
    EXPECT_TRUE(back.year == 2000 && back.month == 2 && back.day == 29 && back.hour == 13 &&
                back.minute == 7 && back.second == 59)
        << text;
  }
}

TEST(DatePicture, BadPicturesAreRefused) {
  const char* const refused[] = {nullptr, "", "yyy", "yyyyy", "MMMMM", "ddddd", "HHH", "t",
                                 "ttt", "fffffff", "q", "Date: yyyy", "'open", "yyyy\\"};
  for (const char* picture : refused) {
    EXPECT_EQ(FormatCheckPicture(picture), 0) << (picture ? picture : "(null)");
  }
  EXPECT_EQ(FormatCheckPicture("'Date:' yyyy"), 1);
  EXPECT_EQ(Output(DateParts{1, 1, 2000, 0, 0, 0, 0}, 3, "yyy"), "<refused:>");
}

TEST(DatePicture, MeasureGivesTheWidestText) {
  FormatDesc desc;
  FormatInit(&desc);
  desc.kind = XEV_FORMAT_DATETIME;
  EXPECT_EQ(FormatMeasure(&desc, 0), 26);
  EXPECT_EQ(FormatMeasure(&desc, 40), 40);
  desc.picture = "dddd MMMM d";
  EXPECT_EQ(FormatMeasure(&desc, 0), 22);
  EXPECT_EQ(Output(DateParts{9, 27, 2000, 0, 0, 0, 0}, 3, desc.picture).size(), 22u);
  desc.picture = "bad";
  EXPECT_EQ(FormatMeasure(&desc, 7), 7);
}

TEST(DatePicture, DoubleByteLiteralsAreNeverTakenForCodes) {
  // Under code page 932 the trail byte 0x41 is an "A", which alone would be refused.
  ASSERT_EQ(HostSetCodePage(XEV_CP_SHIFTJIS), 1);
  EXPECT_EQ(FormatCheckPicture("yyyy\x94\x4e"), 1);
  EXPECT_EQ(Output(DateParts{1, 5, 2001, 0, 0, 0, 0}, 3, "yyyy\x83\x41MM"), "2001\x83\x41" "01");
  ASSERT_EQ(HostSetCodePage(XEV_CP_WESTERN), 1);
  EXPECT_EQ(FormatCheckPicture("yyyy\x83\x41"), 0);
}

TEST(FormatRobustness, ArbitraryTextsAndPicturesNeverMisbehave) {
  // Texts built from the characters the readers care about, so that most of
  // them get deep into the grammar before failing.
  const char alphabet[] = "0123456789/-.:\\ ,APMamJanDecyMdHhmsfFt#%$;'\"";
  uint32_t seed = 12345;
  const auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  char text[24];
  char out[100];
  for (int i = 0; i < 20000; ++i) {
    const int length = static_cast<int>(next() >> 16) % 23;
    for (int k = 0; k < length; ++k) text[k] = alphabet[(next() >> 16) % (sizeof alphabet - 1)];
    text[length] = '\0';
    FormatDesc desc;
    FormatInit(&desc);
    desc.text = text;
    for (int32_t kind = 1; kind <= 4; ++kind) {
      desc.kind = kind;
      if (FormatParse(&desc) && kind <= 3) {
        // Whatever is accepted names a real instant.
        EXPECT_TRUE(desc.date.month >= 1 && desc.date.month <= 12 && desc.date.day >= 1 &&
                    desc.date.hour <= 23 && desc.date.minute <= 59 && desc.date.second <= 59)
            << text;
      }
    }
    desc.output = out;
    desc.outputSize = sizeof out;
    desc.picture = text;
    desc.kind = XEV_FORMAT_DATETIME;
    desc.date = DateParts{12, 31, 1999, 23, 59, 59, 999999};
    if (FormatOutput(&desc)) {
      EXPECT_LT(std::strlen(out), sizeof out);
    }
    desc.kind = XEV_FORMAT_PICTURE;
    HostStrToNumber(&desc.number, "-98765.4321");
    if (FormatNumber(&desc)) {
      EXPECT_LT(std::strlen(out), sizeof out);
    }
  }
}

TEST(DateOutput, TooSmallABufferGivesFailureAndEmptyText) {
  char buffer[8] = "xxxxxxx";
  FormatDesc desc;
  FormatInit(&desc);
  desc.date = DateParts{12, 25, 2001, 0, 0, 0, 0};
  desc.output = buffer;
  desc.outputSize = sizeof buffer;
  EXPECT_EQ(FormatOutput(&desc), 0);
  EXPECT_STREQ(buffer, "");
}

TEST(NumberPicture, Placeholders) {
  EXPECT_EQ(WriteNumber("1234567.891", 6, "#,##0.00"), "1,234,567.89");
  EXPECT_EQ(WriteNumber("0.5", 6, "#,##0.00"), "0.50");
  EXPECT_EQ(WriteNumber("42", 6, "0000"), "0042");
  EXPECT_EQ(WriteNumber("123456", 6, "00"), "123456");
  EXPECT_EQ(WriteNumber("2.5", 6, "#.##"), "2.5");
  EXPECT_EQ(WriteNumber("2", 6, "#.##"), "2");
  EXPECT_EQ(WriteNumber("0.25", 6, "#.00"), ".25");
  EXPECT_EQ(WriteNumber("5551234", 6, "###-####"), "555-1234");
  EXPECT_EQ(WriteNumber("0.125", 6, "0.0%"), "12.5%");
  EXPECT_EQ(WriteNumber("1234.5", 6, "$#,##0.00"), "$1,234.50");
  EXPECT_EQ(WriteNumber("1234.5", 6, "0.00 \"EUR\""), "1234.50 EUR");
}

TEST(NumberPicture, RoundingAndSigns) {
  EXPECT_EQ(WriteNumber("2.345", 6, "0.00"), "2.35");
  EXPECT_EQ(WriteNumber("-2.345", 6, "0.00"), "-2.35");
  EXPECT_EQ(WriteNumber("9.999", 6, "0.00"), "10.00");
  EXPECT_EQ(WriteNumber("-0.001", 6, "0.00"), "0.00");
  EXPECT_EQ(WriteNumber("-1234", 6, "#,##0;(#,##0)"), "(1,234)");
  EXPECT_EQ(WriteNumber("0", 6, "0.0;-0.0;'nil'"), "nil");
  EXPECT_EQ(WriteNumber("-3", 6, "0.0;-0.0;'nil'"), "-3.0");
  EXPECT_EQ(WriteNumber("1E+30", 6, "#,##0"), "1,000,000,000,000,000,000,000,000,000,000");
}

TEST(NumberPicture, BadPicturesAreRefused) {
  const char* const refused[] = {"",      "abc",     "0.0.0", "0;0;0;0",   "\"open 0",
                                 "$",     "0 kr",    "0\\",   "'text';0",  "12#"};
  for (const char* picture : refused) {
    FormatDesc desc;
    FormatInit(&desc);
    desc.picture = picture;
    EXPECT_EQ(FormatPreparePicture(&desc), 0) << picture;
    EXPECT_EQ(WriteNumber("1", 6, picture), "<refused:>") << picture;
  }
  FormatDesc desc;
  FormatInit(&desc);
  desc.picture = nullptr;
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

class LocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::setlocale(LC_ALL, "C");
    HostSetLocale(nullptr);
  }
  void TearDown() override { HostSetLocale(nullptr); }
};

TEST_F(LocaleTest, PosixLocaleWritesPlainNumbers) {
  XevLocale record{};
  LoadLocale(&record);
  EXPECT_STREQ(record.decimalPoint, ".");
  EXPECT_STREQ(record.thousandsSep, "");
  EXPECT_STREQ(record.currencySymbol, "");
  EXPECT_EQ(record.currencyDigits, 2);
  EXPECT_EQ(WriteNumber("1234567.5", 4, nullptr, -1, true), "1234567.5");
  EXPECT_EQ(WriteNumber("-1234567.5", 5, nullptr, -1, true), "-1234567.50");
  // A picture without a locale separator still groups, with ",".
  EXPECT_EQ(WriteNumber("1234567.5", 6, "$#,##0.0", -1, true), "$1,234,567.5");
}

TEST_F(LocaleTest, HostSetLocaleIsUsedUntilReset) {
  XevLocale record{};
  std::strcpy(record.decimalPoint, ",");
  std::strcpy(record.thousandsSep, ".");
  std::strcpy(record.grouping, "\3");
  std::strcpy(record.currencySymbol, "EUR");
  record.currencyPlacement = XEV_CURRENCY_AFTER_SPACE;
  record.currencyDigits = 2;
  HostSetLocale(&record);
  EXPECT_EQ(WriteNumber("1234567.5", 4, nullptr, -1, true), "1.234.567,5");
  EXPECT_EQ(WriteNumber("-1234567.5", 5, nullptr, -1, true), "-1.234.567,50 EUR");
  EXPECT_EQ(WriteNumber("1234567.5", 6, "#,##0.00 $", -1, true), "1.234.567,50 EUR");
  EXPECT_EQ(WriteNumber("999", 4, nullptr, -1, true), "999");

  std::strcpy(record.grouping, "\3\2");
  std::strcpy(record.currencySymbol, "Rs");
  record.currencyPlacement = XEV_CURRENCY_BEFORE_SPACE;
  record.currencyDigits = 0;
  HostSetLocale(&record);
  EXPECT_EQ(WriteNumber("123456789", 5, nullptr, -1, true), "Rs 12.34.56.789");

  HostSetLocale(nullptr);
  EXPECT_EQ(WriteNumber("1234567.5", 4, nullptr, -1, true), "1234567.5");
}

TEST_F(LocaleTest, NumbersAreReadWithTheLocaleOrPlain) {
  XevLocale record{};
  std::strcpy(record.decimalPoint, ",");
  std::strcpy(record.thousandsSep, ".");
  std::strcpy(record.currencySymbol, "EUR");
  HostSetLocale(&record);
  const auto read = [](const char* text, bool locale, std::string* out) {
    FormatDesc desc;
    FormatInit(&desc);
    desc.kind = XEV_FORMAT_NUMBER;
    if (locale) FormatUseLocale(&desc);
    desc.text = text;
    if (!FormatParseNumber(&desc)) return false;
    char buffer[64];
    HostNumberToStr(&desc.number, buffer, sizeof buffer);
    *out = buffer;
    return true;
  };
  std::string value;
  EXPECT_TRUE(read("1.234,5", true, &value));
  EXPECT_EQ(value, "1234.5");
  EXPECT_TRUE(read(" -1.234.567,25 EUR ", true, &value));
  EXPECT_EQ(value, "-1234567.25");
  EXPECT_TRUE(read("  -12.5e3 ", false, &value));
  EXPECT_EQ(value, "-12500");
  EXPECT_TRUE(read("+.5", false, &value));
  EXPECT_EQ(value, "0.5");
  for (const char* bad : {"", " ", "abc", "1,5", "12abc", "--1", ".", "1e", "1.2.3", "- 1 2"}) {
    EXPECT_FALSE(read(bad, false, &value)) << bad;
  }
  EXPECT_FALSE(read("1.5", true, &value)) << value;  // "." groups here
}

TEST(NumberOutput, NullNumbersWriteNothing) {
  char buffer[16] = "x";
  FormatDesc desc;
  FormatInit(&desc);
  desc.kind = XEV_FORMAT_CURRENCY;
  desc.output = buffer;
  desc.outputSize = sizeof buffer;
  EXPECT_EQ(FormatNumber(&desc), 1);
  EXPECT_STREQ(buffer, "");
}

}  // namespace
