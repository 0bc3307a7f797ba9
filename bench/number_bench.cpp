// Cost of one NumberValue operation on typical report values.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "xev/xevhost.h"

namespace {

NumberValue Num(const char* text) {
  NumberValue n;
  HostStrToNumber(&n, text);
  return n;
}

// On a shared machine the fastest repetition is the least disturbed one.
double Least(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// Operand pairs cycled through so that no branch sees one pattern only.
struct Pairs {
  std::vector<NumberValue> a, b;
  Pairs(std::initializer_list<const char*> left, std::initializer_list<const char*> right) {
    for (const char* t : left) a.push_back(Num(t));
    for (const char* t : right) b.push_back(Num(t));
  }
};

// Amounts with two decimals, as a report sums them.
const Pairs& Amounts() {
  static Pairs p({"1234567.89", "-98.10", "45.00", "1000000.01", "0.99", "-7777.77", "31.41", "12.5"},
                 {"9876.54", "12.34", "-0.01", "250.00", "99999.99", "1.10", "-3.00", "87.5"});
  return p;
}

// Mixed scales and magnitudes.
const Pairs& Mixed() {
  static Pairs p({"3.14159265358979", "-1.5E+12", "0.000123", "42", "987654321.123456", "1E-20",
                  "-2.718281828459045", "6.02214076E+23"},
                 {"2.718281828459045", "7.25", "-123456.789", "0.3333333333333333", "1.5E-3",
                  "99", "1000000", "-1.602176634E-19"});
  return p;
}

// Fifteen significant digits on both sides: the product needs rounding.
const Pairs& FifteenDigits() {
  static Pairs p({"123456789012345", "9.87654321098765", "-314159265358979", "0.271828182845904"},
                 {"1.23456789012345", "-55555555555.5555", "7.07106781186547", "141421356237309"});
  return p;
}

const Pairs& FullWidth() {
  static Pairs p({"1234567890123456789012", "9.876543210987654321098", "-3.141592653589793238463"},
                 {"2.718281828459045235360", "-1.414213562373095048802", "7777777777777777777777"});
  return p;
}

template <int32_t (*Op)(NumberValue*, const NumberValue*, const NumberValue*)>
void RunBinary(benchmark::State& state, const Pairs& pairs) {
  size_t n = pairs.a.size(), i = 0;
  NumberValue r;
  for (auto _ : state) {
    Op(&r, &pairs.a[i], &pairs.b[i]);
    benchmark::DoNotOptimize(r);
    if (++i == n) i = 0;
  }
}

void BM_AddAmounts(benchmark::State& s) { RunBinary<NumberAdd>(s, Amounts()); }
void BM_AddMixed(benchmark::State& s) { RunBinary<NumberAdd>(s, Mixed()); }
void BM_SubAmounts(benchmark::State& s) { RunBinary<NumberSub>(s, Amounts()); }
void BM_SubMixed(benchmark::State& s) { RunBinary<NumberSub>(s, Mixed()); }
void BM_MulAmounts(benchmark::State& s) { RunBinary<NumberMul>(s, Amounts()); }
void BM_MulFifteenDigits(benchmark::State& s) { RunBinary<NumberMul>(s, FifteenDigits()); }
void BM_MulFullWidth(benchmark::State& s) { RunBinary<NumberMul>(s, FullWidth()); }
void BM_DivAmounts(benchmark::State& s) { RunBinary<NumberDiv>(s, Amounts()); }
void BM_DivMixed(benchmark::State& s) { RunBinary<NumberDiv>(s, Mixed()); }
void BM_DivFullWidth(benchmark::State& s) { RunBinary<NumberDiv>(s, FullWidth()); }

void BM_Compare(benchmark::State& state) {
  const Pairs& pairs = Mixed();
  size_t n = pairs.a.size(), i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(NumberCompare(&pairs.a[i], &pairs.b[i]));
    if (++i == n) i = 0;
  }
}

void BM_TextToNumber(benchmark::State& state) {
  const char* texts[] = {"1234567.89", "-98.10", "3.14159265358979", "42", "1.5E-3", "0.000123"};
  size_t i = 0;
  NumberValue r;
  for (auto _ : state) {
    HostStrToNumber(&r, texts[i]);
    benchmark::DoNotOptimize(r);
    if (++i == 6) i = 0;
  }
}

void BM_NumberToText(benchmark::State& state) {
  const Pairs& pairs = Mixed();
  size_t n = pairs.a.size(), i = 0;
  char buffer[64];
  for (auto _ : state) {
    benchmark::DoNotOptimize(HostNumberToStr(&pairs.a[i], buffer, sizeof buffer));
    if (++i == n) i = 0;
  }
}

void BM_DoubleToNumber(benchmark::State& state) {
  const double values[] = {0.1, 1234567.89, 3.141592653589793, 6.02214076e23};
  size_t i = 0;
  NumberValue r;
  for (auto _ : state) {
    DoubleToNumber(&r, values[i]);
    benchmark::DoNotOptimize(r);
    if (++i == 4) i = 0;
  }
}

BENCHMARK(BM_AddAmounts)->ComputeStatistics("min", Least);
BENCHMARK(BM_AddMixed)->ComputeStatistics("min", Least);
BENCHMARK(BM_SubAmounts)->ComputeStatistics("min", Least);
BENCHMARK(BM_SubMixed)->ComputeStatistics("min", Least);
BENCHMARK(BM_MulAmounts)->ComputeStatistics("min", Least);
BENCHMARK(BM_MulFifteenDigits)->ComputeStatistics("min", Least);
BENCHMARK(BM_MulFullWidth)->ComputeStatistics("min", Least);
BENCHMARK(BM_DivAmounts)->ComputeStatistics("min", Least);
BENCHMARK(BM_DivMixed)->ComputeStatistics("min", Least);
BENCHMARK(BM_DivFullWidth)->ComputeStatistics("min", Least);
BENCHMARK(BM_Compare)->ComputeStatistics("min", Least);
BENCHMARK(BM_TextToNumber)->ComputeStatistics("min", Least);
BENCHMARK(BM_NumberToText)->ComputeStatistics("min", Least);
BENCHMARK(BM_DoubleToNumber)->ComputeStatistics("min", Least);

}  // namespace
