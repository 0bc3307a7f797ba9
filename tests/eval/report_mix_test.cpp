// The report mix evaluated over many rows must give exactly the results
// recorded in tests/data/eval/report_mix.expected, digit for digit and scale
// for scale: the evaluator may get faster, never different.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "eval/report_mix.h"

namespace {

using namespace report_mix;

constexpr int kRows = 3 * kRowCycle;

// One line per row: the ten results as texts (NULL as "-"), each with its
// stored bytes in hex, so that a change of scale shows too.
std::string RowLine(Report& report) {
  std::string line;
  for (int f = 0; f < kFormulaCount; ++f) {
    NumberValue value{};
    char text[64] = "?";
    if (XEVEvaluateExpression(report.ec, report.formulas[f], 0, &value) == 1) {
      if (NumberIsNull(&value)) {
        std::strcpy(text, "-");
      } else {
        HostNumberToStr(&value, text, sizeof text);
      }
    }
    line += (f == 0 ? "" : " ");
    line += text;
    line += '/';
    static const char kHex[] = "0123456789abcdef";
    for (unsigned char byte : value.bytes) {
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
  }
}

// Every row of the mix through the row call and through single calls: the
// same bytes, with each of the five items asked once a row instead of at each
// of its 51 occurrences. Returns the rows that differ.
int CompareRowCallWithSingleCalls(int rows) {
  Report report;
  if (!report.ParseAll()) return rows;
  int differing = 0;
  for (int row = 0; row < rows; ++row) {
    t_row = row % kRowCycle;
    NumberValue single[kFormulaCount] = {};
    int32_t singleResults[kFormulaCount];
    int64_t asked = t_asked;
    for (int f = 0; f < kFormulaCount; ++f) {
      singleResults[f] = XEVEvaluateExpression(report.ec, report.formulas[f], 0, &single[f]);
    }
    bool same = t_asked - asked == 51;
    NumberValue batch[kFormulaCount] = {};
    void* buffers[kFormulaCount];
    for (int f = 0; f < kFormulaCount; ++f) buffers[f] = &batch[f];
    int32_t results[kFormulaCount];
    asked = t_asked;
    int32_t valued = XEVEvaluateExpressions(report.ec, kFormulaCount, report.formulas, nullptr, buffers, results);
    same = same && t_asked - asked == kItemCount;
    int32_t singleValued = 0;
    for (int f = 0; f < kFormulaCount; ++f) {
      singleValued += singleResults[f];
      same = same && results[f] == singleResults[f] && std::memcmp(&batch[f], &single[f], sizeof(NumberValue)) == 0;
    }
    if (!same || valued != singleValued) ++differing;
  }
  return differing;
}

TEST(ReportMix, TheRowCallGivesTheSingleCallsResultsAskingEachItemOnce) {
  EXPECT_EQ(CompareRowCallWithSingleCalls(kRows), 0);
}

// Each thread with its own context: the answers of one call are its own.
TEST(ReportMix, RowCallsOnSeveralThreadsKeepToTheirOwnRows) {
  int differing[3] = {-1, -1, -1};
  std::vector<std::thread> threads;
  for (int& count : differing) threads.emplace_back([&count] { count = CompareRowCallWithSingleCalls(20 * kRows); });
  for (std::thread& thread : threads) thread.join();
  for (int count : differing) EXPECT_EQ(count, 0);
}

}  // namespace
