// The report mix evaluated over many rows must give exactly the results
// recorded in tests/data/eval/report_mix.expected, digit for digit and scale
// for scale: the evaluator may get faster, never different.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

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

}  // namespace
