// The report mix evaluated over many rows must give exactly the results
// recorded in tests/data/eval/report_mix.expected, digit for digit and scale
// for scale, formula by formula and a row in one call alike: the evaluator
// may get faster, never different.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "eval/report_mix.h"

namespace {

using namespace report_mix;

constexpr int kRows = 3 * kRowCycle;

// One line per row: the ten results as texts (NULL as "-"), each with its
// stored bytes in hex, so that a change of scale shows too. inOneCall: the
// row's formulas in one call, which must ask each item once.
std::string RowLine(Report& report, bool inOneCall = false) {
  NumberValue values[kFormulaCount] = {};
  int32_t results[kFormulaCount];
  const int64_t asked = t_asked;
  if (inOneCall) {
    void* buffers[kFormulaCount];
    for (int f = 0; f < kFormulaCount; ++f) buffers[f] = &values[f];
    XEVEvaluateExpressions(report.ec, kFormulaCount, report.formulas, nullptr, buffers, results);
  } else {
    for (int f = 0; f < kFormulaCount; ++f) results[f] = XEVEvaluateExpression(report.ec, report.formulas[f], 0, &values[f]);
  }
  std::string line = t_asked - asked == (inOneCall ? kItemCount : 51) ? "" : "asked otherwise: ";
  for (int f = 0; f < kFormulaCount; ++f) {
    char text[64] = "?";
    if (results[f] == 1) {
      if (NumberIsNull(&values[f])) {
        std::strcpy(text, "-");
      } else {
        HostNumberToStr(&values[f], text, sizeof text);
      }
    }
    line += (f == 0 ? "" : " ");
    line += text;
    line += '/';
    static const char kHex[] = "0123456789abcdef";
    for (unsigned char byte : values[f].bytes) {
      line += kHex[byte >> 4];
      line += kHex[byte & 15];
    }
  }
  return line;
}

TEST(ReportMix, EveryRowGivesTheRecordedResults) {
  Report report;
  ASSERT_TRUE(report.ParseAll());
  std::ifstream expected(std::string(XEV_TEST_DATA_DIR) + "/eval/report_mix.expected");
  ASSERT_TRUE(expected.good());
  std::string want;
  for (int row = 0; row < kRows; ++row) {
    t_row = row % kRowCycle;
    ASSERT_TRUE(std::getline(expected, want));
    // Twice in a row: whatever the first evaluation prepared must not change the second.
    EXPECT_EQ(RowLine(report), want) << "row " << row;
    EXPECT_EQ(RowLine(report), want) << "row " << row << ", again";
    EXPECT_EQ(RowLine(report, true), want) << "row " << row << ", in one call";
  }
}

// Each thread with its own context: the answers of one call are its own.
TEST(ReportMix, RowCallsOnSeveralThreadsKeepToTheirOwnRows) {
  int differing[3] = {-1, -1, -1};
  std::vector<std::thread> threads;
  for (int& count : differing) {
    threads.emplace_back([&count] {
      Report report;
      count = report.ParseAll() ? 0 : 1;
      for (int row = 0; row < 20 * kRows; ++row) {
        t_row = row % kRowCycle;
        if (RowLine(report, true) != RowLine(report)) ++count;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int count : differing) EXPECT_EQ(count, 0);
}

}  // namespace
