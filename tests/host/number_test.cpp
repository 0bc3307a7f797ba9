// NumberValue arithmetic and text conversion: hand-picked behaviour at the
// edges, then the oracle vectors in tests/data/numbers/vectors.txt.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cstring>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "host/host.h"
#include "xev/xevhost.h"

namespace {

NumberValue Num(const char* text) {
  NumberValue n;
  EXPECT_EQ(HostStrToNumber(&n, text), 1) << text;
  return n;
}

const NumberValue* ptr_zero() {
  static NumberValue zero = [] {
    NumberValue n;
    NumberSetZero(&n);
    return n;
  }();
  return &zero;
}

NumberValue Null() {
  NumberValue n;
  NumberSetNull(&n);
  return n;
}

std::string Text(const NumberValue& n) {
  char buffer[64];
  int32_t length = HostNumberToStr(&n, buffer, sizeof buffer);
  EXPECT_GE(length, 0);
  return std::string(buffer);
}

int32_t ToInt(const char* text) {
  NumberValue n = Num(text);
  return NumberToInt(&n);
}

using BinaryOp = int32_t (*)(NumberValue*, const NumberValue*, const NumberValue*);

std::string Apply(BinaryOp op, const char* a, const char* b) {
  NumberValue x = Num(a), y = Num(b), r;
  op(&r, &x, &y);
  return NumberIsNull(&r) ? "NULL" : Text(r);
}

TEST(NumberBasics, NullAndZeroAreDistinct) {
  NumberValue n = Null(), z;
  NumberSetZero(&z);
  EXPECT_TRUE(NumberIsNull(&n));
  EXPECT_FALSE(NumberIsZero(&n));
  EXPECT_FALSE(NumberIsNull(&z));
  EXPECT_TRUE(NumberIsZero(&z));
  for (unsigned char byte : n.bytes) EXPECT_EQ(byte, 0);
  EXPECT_NE(z.bytes[0], 0);
  EXPECT_EQ(Text(n), "");
  EXPECT_EQ(Text(z), "0");
}

TEST(NumberBasics, IntegersConvertBothWays) {
  for (int64_t v : {int64_t(0), int64_t(1), int64_t(-1), int64_t(INT32_MAX), int64_t(INT32_MIN),
                    int64_t(123456789)}) {
    NumberValue n;
    IntToNumber(&n, int32_t(v));
    EXPECT_EQ(NumberToInt(&n), v);
    EXPECT_EQ(Text(n), std::to_string(v));
  }
  NumberValue n;
  LongToNumber(&n, INT64_MIN);
  EXPECT_EQ(Text(n), "-9223372036854775808");
  LongToNumber(&n, INT64_MAX);
  EXPECT_EQ(Text(n), "9223372036854775807");
}

TEST(NumberBasics, ToIntTruncatesAndSaturates) {
  EXPECT_EQ(ToInt("7.9"), 7);
  EXPECT_EQ(ToInt("-7.9"), -7);
  EXPECT_EQ(ToInt("0.999999"), 0);
  EXPECT_EQ(ToInt("2147483647.9"), INT32_MAX);
  EXPECT_EQ(ToInt("2147483648"), INT32_MAX);
  EXPECT_EQ(ToInt("-2147483648.5"), INT32_MIN);
  EXPECT_EQ(ToInt("-2147483649"), INT32_MIN);
  EXPECT_EQ(ToInt("1E+99"), INT32_MAX);
  EXPECT_EQ(ToInt("-1E+50"), INT32_MIN);
  EXPECT_EQ(ToInt("1E-99"), 0);
  EXPECT_EQ(ToInt("5E+3"), 5000);
  NumberValue n = Null();
  EXPECT_EQ(NumberToInt(&n), 0);
}

TEST(NumberArithmetic, RoundsOnceHalfAwayFromZero) {
  EXPECT_EQ(Apply(NumberAdd, "0.1", "0.2"), "0.3");
  EXPECT_EQ(Apply(NumberAdd, "-1234567890123456789012", "-0.5"), "-1234567890123456789013");
  EXPECT_EQ(Apply(NumberSub, "1E+22", "0.50000000001"), "9999999999999999999999");
  EXPECT_EQ(Apply(NumberDiv, "-2", "3"), "-0.6666666666666666666667");
  EXPECT_EQ(Apply(NumberDiv, "1234567890123456789011", "2"), "617283945061728394505.5");
}

TEST(NumberArithmetic, NoNegativeZero) {
  EXPECT_EQ(Apply(NumberSub, "2.50", "2.5"), "0");
  EXPECT_EQ(Apply(NumberMul, "-5", "0"), "0");
  NumberValue n = Num("-0");
  EXPECT_EQ(Text(n), "0");
  NumberNegate(&n);
  EXPECT_EQ(Text(n), "0");
  EXPECT_EQ(NumberCompare(&n, ptr_zero()), 0);
}

TEST(NumberArithmetic, RangeEnds) {
  // Past 10^99 is NULL with result 0; below 10^-99 is zero with result 1.
  NumberValue a = Num("9.999999999999999999999E+99"), b = Num("1E+78"), r;
  EXPECT_EQ(NumberAdd(&r, &a, &b), 0);
  EXPECT_TRUE(NumberIsNull(&r));
  NumberValue c = Num("1E+99"), d = Num("10");
  EXPECT_EQ(NumberMul(&r, &c, &d), 0);
  EXPECT_TRUE(NumberIsNull(&r));
  NumberValue e = Num("1E-99");
  EXPECT_EQ(NumberDiv(&r, &e, &d), 1);
  EXPECT_TRUE(NumberIsZero(&r));
  EXPECT_EQ(Apply(NumberMul, "1E-50", "1E-49"), "1E-99");
  EXPECT_EQ(Apply(NumberDiv, "1E+99", "0.1"), "NULL");
  NumberValue big;
  EXPECT_EQ(HostStrToNumber(&big, "1E+100"), 0);
  EXPECT_TRUE(NumberIsNull(&big));
  EXPECT_EQ(HostStrToNumber(&big, "9.9999999999999999999999E+99"), 0);  // rounds up past the top
  EXPECT_EQ(HostStrToNumber(&big, "1E-100"), 1);
  EXPECT_TRUE(NumberIsZero(&big));
}

TEST(NumberArithmetic, NullOperandsAndDivisionByZeroGiveNull) {
  NumberValue one = Num("1"), null = Null(), zero = Num("0"), r;
  for (BinaryOp op : {NumberAdd, NumberSub, NumberMul, NumberDiv}) {
    r = one;
    EXPECT_EQ(op(&r, &one, &null), 0);
    EXPECT_TRUE(NumberIsNull(&r));
    r = one;
    EXPECT_EQ(op(&r, &null, &one), 0);
    EXPECT_TRUE(NumberIsNull(&r));
  }
  EXPECT_EQ(NumberDiv(&r, &one, &zero), 0);
  EXPECT_TRUE(NumberIsNull(&r));
  EXPECT_EQ(NumberDiv(&r, &zero, &one), 1);
  EXPECT_TRUE(NumberIsZero(&r));
  EXPECT_EQ(NumberRound(&r, &null, 2), 0);
  EXPECT_TRUE(NumberIsNull(&r));
  EXPECT_EQ(NumberTruncate(&null, 300, 2), 0);
  EXPECT_TRUE(NumberIsNull(&null));
  NumberNegate(&null);
  EXPECT_TRUE(NumberIsNull(&null));
}

TEST(NumberArithmetic, ResultMayAliasAnOperand) {
  NumberValue a = Num("1.5"), b = Num("2");
  NumberAdd(&a, &a, &b);
  EXPECT_EQ(Text(a), "3.5");
  NumberMul(&b, &a, &b);
  EXPECT_EQ(Text(b), "7");
  NumberDiv(&a, &a, &a);
  EXPECT_EQ(Text(a), "1");
}

TEST(NumberCompare, OrdersNullFirst) {
  NumberValue null1 = Null(), null2 = Null(), lowest = Num("-9.999999999999999999999E+99");
  EXPECT_EQ(NumberCompare(&null1, &null2), 0);
  EXPECT_LT(NumberCompare(&null1, &lowest), 0);
  EXPECT_GT(NumberCompare(&lowest, &null1), 0);
}

TEST(NumberRounding, PlacesOnBothSidesOfThePoint) {
  auto round = [](const char* text, int32_t places) {
    NumberValue n = Num(text), r;
    NumberRound(&r, &n, places);
    return NumberIsNull(&r) ? std::string("NULL") : Text(r);
  };
  auto truncate = [](const char* text, int32_t places) {
    NumberValue n = Num(text);
    NumberTruncate(&n, 300, places);
    return NumberIsNull(&n) ? std::string("NULL") : Text(n);
  };
  EXPECT_EQ(round("-2.5", 0), "-3");
  EXPECT_EQ(round("-0.4", 0), "0");
  EXPECT_EQ(round("-1249.99", -2), "-1200");
  EXPECT_EQ(round("1.5", 40), "1.5");
  EXPECT_EQ(round("1.5", INT32_MIN), "0");
  EXPECT_EQ(round("1.5", INT32_MAX), "1.5");
  EXPECT_EQ(round("9.999999999999999999999E+99", -99), "NULL");
  EXPECT_EQ(truncate("-0.99", 0), "0");
  EXPECT_EQ(truncate("1E+99", -200), "0");
}

TEST(NumberText, ReadsOnlyWholeNumbers) {
  for (const char* good : {"12", "12.", ".5", "12.50", "1.5E+10", "1.5e-10", "2E3", "+5", "-0.001",
                           "000123", "0.0000000000000000000000000000001"}) {
    NumberValue n;
    EXPECT_EQ(HostStrToNumber(&n, good), 1) << good;
  }
  for (const char* bad : {"", ".", "-", "+", "1e", "1E+", "E5", "1.2.3", " 1", "1 ", "abc", "1,5",
                          "--1", "1e5.5", "0x10", "1\xA0"}) {
    NumberValue n = Num("7");
    EXPECT_EQ(HostStrToNumber(&n, bad), 0) << bad;
    EXPECT_TRUE(NumberIsNull(&n)) << bad;
  }
  NumberValue n = Num("7");
  EXPECT_EQ(HostStrToNumber(&n, nullptr), 0);
  EXPECT_TRUE(NumberIsNull(&n));
}

TEST(NumberText, WritesShortestPlainText) {
  EXPECT_EQ(Text(Num("12.500")), "12.5");
  EXPECT_EQ(Text(Num("-0.00100")), "-0.001");
  EXPECT_EQ(Text(Num("1E+2")), "100");
  EXPECT_EQ(Text(Num("1E+21")), "1000000000000000000000");
  EXPECT_EQ(Text(Num("1E+22")), "1E+22");
  EXPECT_EQ(Text(Num("1.5E-7")), "0.00000015");
  EXPECT_EQ(Text(Num("1.5E-8")), "1.5E-8");
  EXPECT_EQ(Text(Num("-9.999999999999999999999E+99")), "-9.999999999999999999999E+99");
  EXPECT_EQ(Text(Num("1234567890.123456789012")), "1234567890.123456789012");
  // More than 22 digits round half away from zero.
  EXPECT_EQ(Text(Num("1.23456789012345678901250")), "1.234567890123456789013");
  EXPECT_EQ(Text(Num("-99999999999999999999995")), "-1E+23");
  EXPECT_EQ(Text(Num("12345678901234567890123456")), "1.234567890123456789012E+25");
}

TEST(NumberText, BufferTooSmallIsRefused) {
  NumberValue n = Num("-12.5"), null = Null();
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(HostNumberToStr(&n, buffer, 5), -1);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(HostNumberToStr(&n, buffer, 6), 5);
  EXPECT_STREQ(buffer, "-12.5");
  EXPECT_EQ(HostNumberToStr(&null, buffer, 1), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(HostNumberToStr(&null, buffer, 0), -1);
  EXPECT_EQ(HostNumberToStr(&n, nullptr, 8), -1);
}

TEST(NumberDouble, ShortestRoundTrip) {
  auto fromDouble = [](double d) {
    NumberValue n;
    return DoubleToNumber(&n, d) ? Text(n) : std::string("NULL");
  };
  EXPECT_EQ(fromDouble(0.1), "0.1");
  EXPECT_EQ(fromDouble(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(fromDouble(-0.0), "0");
  EXPECT_EQ(fromDouble(1e22), "1E+22");
  EXPECT_EQ(fromDouble(123456789.0), "123456789");
  EXPECT_EQ(fromDouble(1e100), "NULL");
  EXPECT_EQ(fromDouble(NAN), "NULL");
  EXPECT_EQ(fromDouble(-INFINITY), "NULL");
  EXPECT_EQ(fromDouble(1e-300), "0");
  EXPECT_EQ(fromDouble(DBL_TRUE_MIN), "0");

  // Every double in range comes back unchanged.
  uint64_t state = 88172645463325252ull;
  for (int i = 0; i < 20000; ++i) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    double d;
    std::memcpy(&d, &state, sizeof d);
    if (!std::isfinite(d) || std::fabs(d) > 1e99 || std::fabs(d) < 1e-99) continue;
    NumberValue n;
    double back = 0;
    ASSERT_EQ(DoubleToNumber(&n, d), 1);
    ASSERT_EQ(NumberToDouble(&n, &back), 1);
    ASSERT_EQ(back, d) << Text(n);
  }

  double out = 5;
  NumberValue null = Null();
  EXPECT_EQ(NumberToDouble(&null, &out), 0);
  EXPECT_EQ(out, 0.0);
  NumberValue third = Num("0.3333333333333333333333");
  NumberToDouble(&third, &out);
  EXPECT_EQ(out, 1.0 / 3.0);
}

TEST(NumberParts, ExactCoefficientAndExponent) {
  NumberValue n;
  __int128 coef;
  int32_t exp;
  ASSERT_TRUE(xev::host::NumberFromParts(&n, 1250, -2));
  ASSERT_TRUE(xev::host::NumberToParts(&n, &coef, &exp));
  EXPECT_TRUE(coef == 125 && exp == -1);
  ASSERT_TRUE(xev::host::NumberFromParts(&n, -(__int128(1234567890123456789ll) * 1000000 + 12345), 0));
  EXPECT_EQ(Text(n), "-1.234567890123456789012E+24");
  __int128 smallest = -(__int128(1) << 126) * 2;
  ASSERT_TRUE(xev::host::NumberFromParts(&n, smallest, 0));
  EXPECT_EQ(Text(n), "-1.701411834604692317317E+38");
  ASSERT_TRUE(xev::host::NumberFromParts(&n, 0, 500));
  ASSERT_TRUE(xev::host::NumberToParts(&n, &coef, &exp));
  EXPECT_TRUE(coef == 0 && exp == 0);
  EXPECT_FALSE(xev::host::NumberFromParts(&n, 1, 100));
  EXPECT_TRUE(NumberIsNull(&n));
  EXPECT_FALSE(xev::host::NumberToParts(&n, &coef, &exp));
}

TEST(NumberRobustness, DamagedBytesAndRandomTextNeverCrash) {
  // Any 13 bytes with a non-zero length byte go through every operation;
  // the sanitizer builds catch reads past a table or undefined arithmetic.
  uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&state] {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    return state;
  };
  char buffer[64];
  for (int i = 0; i < 5000; ++i) {
    NumberValue a, b, r;
    for (auto& byte : a.bytes) byte = static_cast<unsigned char>(next());
    for (auto& byte : b.bytes) byte = static_cast<unsigned char>(next());
    a.bytes[0] |= 1;
    for (BinaryOp op : {NumberAdd, NumberSub, NumberMul, NumberDiv}) op(&r, &a, &b);
    NumberRound(&r, &a, int32_t(next() % 81) - 40);
    NumberTruncate(&b, 300, int32_t(next() % 81) - 40);
    NumberToInt(&a);
    NumberCompare(&a, &b);
    double d;
    NumberToDouble(&a, &d);
    ASSERT_GE(HostNumberToStr(&a, buffer, sizeof buffer), 0);
    __int128 coef;
    int32_t exp;
    xev::host::NumberToParts(&a, &coef, &exp);
  }
  const char alphabet[] = "0123456789.eE+- x";
  for (int i = 0; i < 20000; ++i) {
    size_t length = next() % 40;
    for (size_t k = 0; k < length; ++k) buffer[k] = alphabet[next() % (sizeof alphabet - 1)];
    buffer[length] = '\0';
    NumberValue n;
    if (HostStrToNumber(&n, buffer) == 1) {
      char text[64];
      ASSERT_GE(HostNumberToStr(&n, text, sizeof text), 1) << buffer;
      NumberValue back;
      ASSERT_EQ(HostStrToNumber(&back, text), 1) << text;
      ASSERT_EQ(NumberCompare(&back, &n), 0) << buffer << " -> " << text;
    } else {
      ASSERT_TRUE(NumberIsNull(&n)) << buffer;
    }
  }
}

// One line of vectors.txt: "op a b expected text".
struct Vector {
  std::string op, a, b, expected, text;
};

// "<sign><digits>E<exp>" as coefficient and exponent.
void ParseCanonical(const std::string& s, __int128* coef, int32_t* exp) {
  size_t e = s.find('E');
  size_t i = s[0] == '-' ? 1 : 0;
  __int128 value = 0;
  for (; i < e; ++i) value = value * 10 + (s[i] - '0');
  *coef = s[0] == '-' ? -value : value;
  *exp = std::stoi(s.substr(e + 1));
}

// Runs one vector; returns the NumberValue result (unused for cmp).
NumberValue RunVector(const Vector& v) {
  NumberValue r;
  if (v.op == "parse") {
    HostStrToNumber(&r, v.a.c_str());
    return r;
  }
  NumberValue a = Num(v.a.c_str());
  if (v.op == "round") {
    NumberRound(&r, &a, std::stoi(v.b));
    return r;
  }
  if (v.op == "trunc") {
    NumberTruncate(&a, 300, std::stoi(v.b));
    return a;
  }
  NumberValue b = Num(v.b.c_str());
  if (v.op == "cmp") {
    int32_t order = NumberCompare(&a, &b);
    IntToNumber(&r, (order > 0) - (order < 0));
    return r;
  }
  BinaryOp op = v.op == "add" ? NumberAdd : v.op == "sub" ? NumberSub : v.op == "mul" ? NumberMul : NumberDiv;
  int32_t ok = op(&r, &a, &b);
  EXPECT_EQ(ok, NumberIsNull(&r) ? 0 : 1);
  return r;
}

TEST(NumberVectors, AgreeWithIndependentDecimalArithmetic) {
  std::ifstream file(XEV_TEST_DATA_DIR "/numbers/vectors.txt");
  ASSERT_TRUE(file.is_open());
  std::string line;
  int count = 0, failures = 0;
  while (std::getline(file, line) && failures < 20) {
    std::istringstream fields(line);
    Vector v;
    fields >> v.op >> v.a >> v.b >> v.expected >> v.text;
    ++count;
    NumberValue r = RunVector(v);
    bool good;
    if (v.op == "cmp") {
      good = NumberToInt(&r) == std::stoi(v.expected);
    } else if (v.expected == "NULL") {
      good = NumberIsNull(&r);
    } else {
      __int128 wantCoef, gotCoef;
      int32_t wantExp, gotExp;
      ParseCanonical(v.expected, &wantCoef, &wantExp);
      good = xev::host::NumberToParts(&r, &gotCoef, &gotExp) && gotCoef == wantCoef && gotExp == wantExp;
      good = good && Text(r) == v.text;
      // The text written reads back to the same value.
      NumberValue back;
      good = good && HostStrToNumber(&back, v.text.c_str()) == 1 && NumberCompare(&back, &r) == 0;
    }
    if (!good) {
      ++failures;
      ADD_FAILURE() << line << "\n  got " << (NumberIsNull(&r) ? "NULL" : Text(r));
    }
  }
  EXPECT_GE(count, 5000);
}

}  // namespace
