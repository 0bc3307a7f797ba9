// The reference host's output side: report writers, value texts, formula
// definitions and the compiler-style error lines.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "diagnostics.h"
#include "formulas_file.h"
#include "report_output.h"
#include "text_encoding.h"

namespace {

using namespace xevhost;

Cell TextCell(const std::string& text, int width = -1) {
  return Cell{text, width < 0 ? static_cast<int>(text.size()) : width, text.empty()};
}

// What a writer of the format prints for the rows, caught in a memory stream.
std::string Report(OutputFormat format, const std::vector<ReportColumn>& columns,
                   const std::vector<std::vector<Cell>>& rows) {
  char* data = nullptr;
  size_t size = 0;
  std::FILE* out = open_memstream(&data, &size);
  auto writer = MakeReportWriter(format, out);
  writer->Begin(columns);
  for (const auto& row : rows) writer->Row(row);
  writer->End();
  writer.reset();
  std::fclose(out);
  std::string text(data, size);
  std::free(data);
  return text;
}

const std::vector<ReportColumn> kColumns = {{"Name", 4, XEV_TYPE_STRING}, {"Amount", 6, XEV_TYPE_NUMBER}};

TEST(ReportOutput, TableAlignsByDisplayWidthAndRightAlignsNumbers) {
  // "りんご" is 9 UTF-8 bytes but 6 columns wide, as its code-page bytes say.
  std::string table = Report(OutputFormat::kTable, kColumns,
                             {{TextCell("\xE3\x82\x8A\xE3\x82\x93\xE3\x81\x94", 6), TextCell("1.5")},
                              {TextCell("ab\ncd"), TextCell("")}});
  EXPECT_EQ(table,
            "Name    Amount\n"
            "------  ------\n"
            "\xE3\x82\x8A\xE3\x82\x93\xE3\x81\x94     1.5\n"
            "ab cd\n");  // a line break inside a value stays on its line; NULL prints nothing
}

TEST(ReportOutput, TableWidthsSettleOnTheFirstRowsOfALongReport) {
  std::vector<std::vector<Cell>> rows(1001, {TextCell("a"), TextCell("1")});
  rows.push_back({TextCell("much wider"), TextCell("2")});
  std::string table = Report(OutputFormat::kTable, kColumns, rows);
  EXPECT_EQ(table.substr(0, 15), "Name  Amount\n--");
  // The late wide value pushes its own line out instead of holding all rows back.
  EXPECT_NE(table.find("\nmuch wider       2\n"), std::string::npos);
}

TEST(ReportOutput, CsvQuotesOnlyWhatNeedsIt) {
  std::string csv = Report(OutputFormat::kCsv, kColumns,
                           {{TextCell("plain"), TextCell("1")}, {TextCell("a,b \"c\"\nd"), TextCell("")}});
  EXPECT_EQ(csv, "Name,Amount\nplain,1\n\"a,b \"\"c\"\"\nd\",\n");
}

TEST(ReportOutput, JsonWritesNumbersNullsAndEscapedStrings) {
  std::string json = Report(OutputFormat::kJson, kColumns,
                            {{TextCell("tab\there \"q\" \x01"), TextCell(".5")},
                             {TextCell(""), TextCell("-.25")},
                             {TextCell("x"), TextCell("")}});
  EXPECT_EQ(json,
            "[\n"
            "  {\"Name\": \"tab\\there \\\"q\\\" \\u0001\", \"Amount\": 0.5},\n"
            "  {\"Name\": null, \"Amount\": -0.25},\n"
            "  {\"Name\": \"x\", \"Amount\": null}\n"
            "]\n");
  EXPECT_EQ(Report(OutputFormat::kJson, kColumns, {}), "[]\n");
}

// The texts of other values are checked through the reports, which write
// their NULL cells without these.
TEST(ReportOutput, NullValuesHaveAnEmptyText) {
  NumberValue n{}, d{};
  EXPECT_EQ(NumberText(n) + DateTimeText(d), "");
}

TEST(FormulaDefinitions, SplitAtTheFirstEqualsSignWithOffsetsIntoTheLine) {
  FormulaSource source;
  DefinitionError error;
  ASSERT_TRUE(ParseDefinition("  Label =  'a=b' || Name  ", "f", 3, source, error));
  EXPECT_EQ(std::tuple(source.name, source.text, source.nameOffset, source.textOffset),
            std::tuple("Label", "'a=b' || Name", 2u, 11u));

  const struct {
    const char* line;
    const char* message;
    size_t column;
  } bad[] = {{"Total Amount", "expected 'name = formula'", 0},
             {"  = 1", "missing formula name before '='", 2},
             {"x =   ", "missing formula text after '='", 6}};
  for (const auto& b : bad) {
    EXPECT_FALSE(ParseDefinition(b.line, "f", 1, source, error)) << b.line;
    EXPECT_EQ(std::tuple(error.message, error.column), std::tuple(b.message, b.column)) << b.line;
  }
}

TEST(Diagnostics, SpansAreClampedToTheLineAndNameErrorsMarkTheName) {
  EXPECT_EQ(Underline(10, 2, 3), "  ^~~");
  EXPECT_EQ(Underline(10, 4, 0), "    ^");
  EXPECT_EQ(Underline(5, 9, 2), "     ^");    // past the end: the caret after the text
  EXPECT_EQ(Underline(5, 1, 1000), " ^~~~");  // a whole-formula length stops at the end

  CodePageConverter converter(1252);
  FormulaSource source;
  DefinitionError unused;
  ASSERT_TRUE(ParseDefinition("Bad Name = 1 + 2", "f.formulas", 7, source, unused));
  EXPECT_EQ(FormatFormulaError(source, ExprError{107, 0, 5}, converter),
            "f.formulas:7:1: error 107: ERR_NAME: Invalid Formula Name.\n    Bad Name = 1 + 2\n    ^~~~~~~~\n");
  // An error at the end of the text (1 + 2 is incomplete there) points after it.
  EXPECT_EQ(FormatFormulaError(source, ExprError{109, 5, 1}, converter),
            "f.formulas:7:17: error 109: ERR_SYNTAX: Incomplete or invalid formula\n    Bad Name = 1 + 2\n                    ^\n");
  EXPECT_EQ(FormatFormulaError(source, ExprError{110, 2, 1}, converter),
            "f.formulas:7:14: error 110: ERR_UNKNOWNCHAR: This character is not allowed here.\n    Bad Name = 1 + 2\n                 ^\n");
}

}  // namespace
