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
#include "host/values.h"
#include "tests/support/values.h"
#include "xev/xevhost.h"

namespace {

using testhost::Num;

NumberValue Null() {
  NumberValue n;
  NumberSetNull(&n);
  return n;
}

// The shortest text, "" for NULL.
std::string Text(const NumberValue& n) {
  char buffer[64];
  EXPECT_GE(HostNumberToStr(&n, buffer, sizeof buffer), 0);
  return buffer;
}
std::string TextOrNull(const NumberValue& n) { return NumberIsNull(&n) ? "NULL" : Text(n); }

using BinaryOp = int32_t (*)(NumberValue*, const NumberValue*, const NumberValue*);

// The result's text; the operation must return 0 exactly when it gives NULL.
std::string Apply(BinaryOp op, const NumberValue& x, const NumberValue& y) {
  NumberValue r = Num("1");
  const int32_t ok = op(&r, &x, &y);
  EXPECT_EQ(ok, NumberIsNull(&r) ? 0 : 1);
  return TextOrNull(r);
}
std::string Apply(BinaryOp op, const char* a, const char* b) { return Apply(op, Num(a), Num(b)); }

TEST(NumberBasics, NullAndZeroAreDistinct) {
  NumberValue n = Null(), z;
  NumberSetZero(&z);
  EXPECT_TRUE(NumberIsNull(&n) && !NumberIsZero(&n));
  EXPECT_TRUE(!NumberIsNull(&z) && NumberIsZero(&z));
  for (unsigned char byte : n.bytes) EXPECT_EQ(byte, 0);
  EXPECT_NE(z.bytes[0], 0);
  EXPECT_EQ(Text(n), "");
  EXPECT_EQ(Text(z), "0");
}

TEST(NumberBasics, ToIntTruncatesAndSaturates) {
  const struct { const char* text; int32_t value; } cases[] = {
      {"7.9", 7},       {"-7.9", -7},       {"0.999999", 0},           {"2147483647.9", INT32_MAX},
      {"5E+3", 5000},   {"1E-99", 0},       {"2147483648", INT32_MAX}, {"-2147483648.5", INT32_MIN},
      {"-2147483649", INT32_MIN},           {"1E+99", INT32_MAX},      {"-1E+50", INT32_MIN}};
  for (const auto& c : cases) {
    NumberValue n = Num(c.text);
    EXPECT_EQ(NumberToInt(&n), c.value) << c.text;
  }
  NumberValue n = Null();
  EXPECT_EQ(NumberToInt(&n), 0);
}

TEST(NumberArithmetic, NullOperandsAndDivisionByZeroGiveNull) {
  NumberValue one = Num("1"), null = Null(), r;
  for (BinaryOp op : {NumberAdd, NumberSub, NumberMul, NumberDiv}) {
    EXPECT_EQ(Apply(op, one, null), "NULL");
    EXPECT_EQ(Apply(op, null, one), "NULL");
  }
  EXPECT_EQ(Apply(NumberDiv, "1", "0"), "NULL");
  EXPECT_EQ(Apply(NumberDiv, "0", "1"), "0");
  EXPECT_EQ(NumberRound(&r, &null, 2), 0);
  EXPECT_TRUE(NumberIsNull(&r));
  EXPECT_EQ(NumberTruncate(&null, 300, 2), 0);
  EXPECT_TRUE(NumberIsNull(&null));
  NumberNegate(&null);
  EXPECT_TRUE(NumberIsNull(&null));
}

TEST(NumberText, ReadsOnlyWholeNumbers) {
  for (const char* good : {"12", "12.", ".5", "12.50", "1.5E+10", "1.5e-10", "2E3", "+5", "-0.001",
                           "000123", "0.0000000000000000000000000000001"}) {
    NumberValue n;
    EXPECT_EQ(HostStrToNumber(&n, good), 1) << good;
  }
  for (const char* bad : {"", ".", "-", "+", "1e", "1E+", "E5", "1.2.3", " 1", "1 ", "abc", "1,5",
                          "--1", "1e5.5", "0x10", "1\xA0", static_cast<const char*>(nullptr)}) {
    NumberValue n = Num("7");
    EXPECT_EQ(HostStrToNumber(&n, bad), 0) << (bad ? bad : "(null)");
    EXPECT_TRUE(NumberIsNull(&n)) << (bad ? bad : "(null)");
  }
}

// Short plain texts and coefficients of 64 bits take shortcuts; the same
// value by the general path must come out byte for byte the same.
TEST(NumberText, ShortcutsAgreeWithTheGeneralPath) {
  // An exponent sends a text to the general reader.
  for (const char* text : {"0", "-0", "+5", "007", "0.050", ".5", "5.", "-12.50", "1234567890123456789",
                           "-.0000000000000000001", "9999999999999999999", "18446744073709551615"}) {
    NumberValue plain{}, general{};
    EXPECT_EQ(HostStrToNumber(&plain, text), HostStrToNumber(&general, (std::string(text) + "E0").c_str()));
    EXPECT_EQ(std::memcmp(plain.bytes, general.bytes, sizeof plain.bytes), 0) << text;
  }
  // A coefficient widened past 64 bits sends a value to the general writer.
  const struct {
    int64_t coef;
    int32_t exp;
  } values[] = {{1, 0},  {-12415, -2}, {1250, -2}, {1000, -2}, {-5, -7}, {5, -8}, {123, -9}, {1, -19},
                {-123456789, -15}, {INT64_MAX, -5}, {INT64_MIN, -19}, {99, -1}, {40, 0},
                {-4, -3},          {-5, -3},        {995, -3},        {999999, -6}};
  for (const auto& v : values) {
    xev::host::int128 wide = v.coef;
    int32_t exp = v.exp;
    for (; wide < (xev::host::int128(1) << 64) && -wide < (xev::host::int128(1) << 64); --exp) wide *= 10;
    NumberValue shortcut{}, general{};
    ASSERT_TRUE(xev::host::NumberFromParts(&shortcut, v.coef, v.exp) && xev::host::NumberFromParts(&general, wide, exp));
    EXPECT_EQ(Text(shortcut), Text(general)) << v.coef << "E" << v.exp;
    for (int32_t places : {-1, 0, 1, 2, 3, 7, 18, 19}) {  // and with a count of places
      char fast[xev::host::kTextBufferSize], slow[xev::host::kTextBufferSize];
      EXPECT_EQ(xev::host::NumberToTextFixed(&shortcut, places, fast), xev::host::NumberToTextFixed(&general, places, slow));
      EXPECT_STREQ(fast, slow) << v.coef << "E" << v.exp << " at " << places;
    }
  }
}

TEST(NumberDouble, ShortestRoundTrip) {
  const struct { double in; const char* out; } cases[] = {
      {0.1, "0.1"},     {0.1 + 0.2, "0.30000000000000004"}, {-0.0, "0"},       {1e22, "1E+22"},
      {1e100, "NULL"},  {123456789.0, "123456789"},         {NAN, "NULL"},     {-INFINITY, "NULL"},
      {1e-300, "0"},    {DBL_TRUE_MIN, "0"}};
  for (const auto& c : cases) {
    NumberValue n;
    EXPECT_EQ(DoubleToNumber(&n, c.in) ? Text(n) : "NULL", c.out) << c.in;
  }
  // Every double in range comes back unchanged.
  uint64_t state = 88172645463325252ull;
  for (int i = 0; i < 20000; ++i) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    double d, back = 0;
    std::memcpy(&d, &state, sizeof d);
    if (!std::isfinite(d) || std::fabs(d) > 1e99 || std::fabs(d) < 1e-99) continue;
    NumberValue n;
    ASSERT_EQ(DoubleToNumber(&n, d), 1);
    ASSERT_EQ(NumberToDouble(&n, &back), 1);
    ASSERT_EQ(back, d) << Text(n);
  }
  double out = 5;
  NumberValue null = Null(), third = Num("0.3333333333333333333333");
  EXPECT_EQ(NumberToDouble(&null, &out), 0);
  EXPECT_EQ(out, 0.0);
  NumberToDouble(&third, &out);
  EXPECT_EQ(out, 1.0 / 3.0);
}

TEST(NumberParts, ExactCoefficientAndExponent) {
  using xev::host::NumberFromParts, xev::host::NumberToParts;
  NumberValue n;
  xev::host::int128 coef;
  int32_t exp;
  ASSERT_TRUE(NumberFromParts(&n, 1250, -2) && NumberToParts(&n, &coef, &exp));
  EXPECT_TRUE(coef == 125 && exp == -1);
  ASSERT_TRUE(NumberFromParts(&n, -(xev::host::int128(1234567890123456789ll) * 1000000 + 12345), 0));
  EXPECT_EQ(Text(n), "-1.234567890123456789012E+24");
  ASSERT_TRUE(NumberFromParts(&n, -(xev::host::int128(1) << 126) * 2, 0));  // the smallest xev::host::int128
  EXPECT_EQ(Text(n), "-1.701411834604692317317E+38");
  ASSERT_TRUE(NumberFromParts(&n, 0, 500) && NumberToParts(&n, &coef, &exp));
  EXPECT_TRUE(coef == 0 && exp == 0);
  EXPECT_FALSE(NumberFromParts(&n, 1, 100));
  EXPECT_TRUE(NumberIsNull(&n));
  EXPECT_FALSE(NumberToParts(&n, &coef, &exp));
}

TEST(NumberRobustness, DamagedBytesNeverCrash) {
  // Any 13 bytes with a non-zero length byte go through every operation;
  // the sanitizer builds catch reads past a table or undefined arithmetic.
  uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&state] { return state ^= state << 13, state ^= state >> 7, state ^= state << 17; };
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
    xev::host::int128 coef;
    int32_t exp;
    xev::host::NumberToParts(&a, &coef, &exp);
  }
}

// One line of vectors.txt, "op a b expected text", run; the result (for cmp, its sign).
NumberValue RunVector(const std::string& op, const std::string& a, const std::string& b) {
  NumberValue r, x;
  if (op == "parse") return HostStrToNumber(&r, a.c_str()), r;
  x = Num(a.c_str());
  if (op == "round") return NumberRound(&r, &x, std::stoi(b)), r;
  if (op == "trunc") return NumberTruncate(&x, 300, std::stoi(b)), x;
  NumberValue y = Num(b.c_str());
  const int32_t order = NumberCompare(&x, &y);
  if (op == "cmp") return IntToNumber(&r, (order > 0) - (order < 0)), r;
  BinaryOp fn = op == "add" ? NumberAdd : op == "sub" ? NumberSub : op == "mul" ? NumberMul : NumberDiv;
  const int32_t ok = fn(&r, &x, &y);
  EXPECT_EQ(ok, NumberIsNull(&r) ? 0 : 1);
  return r;
}

// Whether r is exactly "<sign><digits>E<exp>" and writes as text, which reads back to r.
bool Matches(const NumberValue& r, const std::string& canonical, const std::string& text) {
  const size_t e = canonical.find('E');
  xev::host::int128 want = 0, got;
  int32_t exp;
  for (size_t i = canonical[0] == '-' ? 1 : 0; i < e; ++i) want = want * 10 + (canonical[i] - '0');
  if (canonical[0] == '-') want = -want;
  NumberValue back;
  return xev::host::NumberToParts(&r, &got, &exp) && got == want &&
         exp == std::stoi(canonical.substr(e + 1)) && Text(r) == text &&
         HostStrToNumber(&back, text.c_str()) == 1 && NumberCompare(&back, &r) == 0;
}

TEST(NumberVectors, AgreeWithIndependentDecimalArithmetic) {
  std::ifstream file(XEV_TEST_DATA_DIR "/numbers/vectors.txt");
  ASSERT_TRUE(file.is_open());
  std::string line, op, a, b, expected, text;
  int count = 0, failures = 0;
  while (std::getline(file, line) && failures < 20) {
    std::istringstream(line) >> op >> a >> b >> expected >> text;
    ++count;
    NumberValue r = RunVector(op, a, b);
    const bool good = op == "cmp"            ? NumberToInt(&r) == std::stoi(expected)
                      : expected == "NULL"   ? NumberIsNull(&r) != 0
                                             : Matches(r, expected, text);
    if (!good) ++failures, ADD_FAILURE() << line << "\n  got " << TextOrNull(r);
  }
  EXPECT_GE(count, 5000);
}

}  // namespace
