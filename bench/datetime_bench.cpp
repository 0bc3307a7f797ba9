// Date conversions: reading date texts, writing values as text, adding units.
#include <benchmark/benchmark.h>

#include "eval/eval.h"
#include "eval/plan_calls.h"
#include "xev/host_format.h"

namespace {

NumberValue Date(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                 int32_t second) {
  const DateParts parts{month, day, year, hour, minute, second, 0};
  NumberValue v{};
  v.bytes[0] = DatePartsToNumber(&v.bytes[1], &parts);
  return v;
}

void DateFromTextNumeric(benchmark::State& state) {
  NumberValue v{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(xev::eval::DateFromText(&v, "12/25/2001 10:30:45"));
  }
}
BENCHMARK(DateFromTextNumeric);

void DateFromTextMonthName(benchmark::State& state) {
  NumberValue v{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(xev::eval::DateFromText(&v, "15 January, 2001 10:30 PM"));
  }
}
BENCHMARK(DateFromTextMonthName);

void DateFromTextTimeOnly(benchmark::State& state) {
  NumberValue v{};
  for (auto _ : state) benchmark::DoNotOptimize(xev::eval::DateFromText(&v, "10:30 PM"));
}
BENCHMARK(DateFromTextTimeOnly);

void DateToTextDefault(benchmark::State& state) {
  const NumberValue d = Date(2001, 12, 25, 22, 30, 5);
  char text[xev::eval::kTextBufferSize];
  for (auto _ : state) benchmark::DoNotOptimize(xev::eval::DateToText(&d, text));
}
BENCHMARK(DateToTextDefault);

void DateToTextByPictureNames(benchmark::State& state) {
  const NumberValue d = Date(2001, 12, 25, 22, 30, 5);
  char text[xev::eval::kTextBufferSize];
  for (auto _ : state) {
    benchmark::DoNotOptimize(xev::eval::DateToTextByPicture(&d, "dddd, MMMM d, yyyy h:mm tt", text));
  }
}
BENCHMARK(DateToTextByPictureNames);

// The same text as a plan writes it: the picture compiled once, the parts
// read from the loaded value.
void DateToTextByCompiledPicture(benchmark::State& state) {
  const NumberValue d = Date(2001, 12, 25, 22, 30, 5);
  xev::host::decimal::Decimal loaded{};
  xev::host::decimal::LoadOrNull(loaded, &d);
  xev::host::CompiledDatePicture picture;
  xev::host::CompileDatePicture("dddd, MMMM d, yyyy h:mm tt", &picture);
  char text[xev::eval::kTextBufferSize];
  for (auto _ : state) {
    DateParts parts;
    benchmark::DoNotOptimize(xev::eval::plan::DatePartsOfLoaded(loaded, &parts) &&
                             xev::host::WriteDateByCompiledPicture(picture, parts, text, sizeof text));
  }
}
BENCHMARK(DateToTextByCompiledPicture);

// A report's pictures, written for a day of each month in turn.
void DateToTextByCompiledReportPicture(benchmark::State& state) {
  xev::host::CompiledDatePicture picture;
  xev::host::CompileDatePicture("ddd d MMM yyyy", &picture);
  char text[xev::eval::kTextBufferSize];
  int32_t month = 0;
  for (auto _ : state) {
    const DateParts parts{month + 1, 2 * month + 1, 2023, 0, 0, 0, 0};
    benchmark::DoNotOptimize(xev::host::WriteDateByCompiledPicture(picture, parts, text, sizeof text));
    month = (month + 1) % 12;
  }
}
BENCHMARK(DateToTextByCompiledReportPicture);

// Day numbers to dates and back, across four centuries.
void DayNumberRoundTrip(benchmark::State& state) {
  int32_t day = 0;
  for (auto _ : state) {
    DateParts parts{};
    DayNumberToDateParts(day, &parts);
    benchmark::DoNotOptimize(DatePartsToDayNumber(&parts));
    day = (day + 7919) % 146097;
  }
}
BENCHMARK(DayNumberRoundTrip);

void DateAddUnitsBench(benchmark::State& state) {
  const NumberValue d = Date(2001, 1, 31, 23, 59, 59);
  const auto unit = static_cast<uint16_t>(state.range(0));
  NumberValue result{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(xev::eval::DateAddUnits(&result, &d, 1, '+', unit));
  }
}
// DAY, MONTH, YEAR, HOUR, MINUTE, SECOND
BENCHMARK(DateAddUnitsBench)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Arg(16)->Arg(32);

void DatePartsRoundTrip(benchmark::State& state) {
  const DateParts parts{12, 25, 2001, 22, 30, 5, 0};
  for (auto _ : state) {
    NumberValue v{};
    v.bytes[0] = DatePartsToNumber(&v.bytes[1], &parts);
    DateParts back{};
    benchmark::DoNotOptimize(NumberToDateParts(&v.bytes[1], v.bytes[0], &back));
  }
}
BENCHMARK(DatePartsRoundTrip);

void NumberToTextByPictureBench(benchmark::State& state) {
  NumberValue n{};
  HostStrToNumber(&n, "-1234567.891");
  char text[xev::eval::kTextBufferSize];
  for (auto _ : state) {
    benchmark::DoNotOptimize(xev::eval::NumberToTextByPicture(&n, "#,##0.00;(#,##0.00)", text));
  }
}
BENCHMARK(NumberToTextByPictureBench);

}  // namespace
