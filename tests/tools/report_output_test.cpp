// The reference host's output side where its end-to-end tests do not check
// it: the texts of NULL values, which the reports write without these, and
// the quoting of CSV fields, tested many bytes at a time.
#include <string>

#include <gtest/gtest.h>

#include "report/report_output.h"

namespace {

TEST(ReportOutput, NullValuesHaveAnEmptyText) {
  NumberValue n{}, d{};
  EXPECT_EQ(xevhost::NumberText(n) + xevhost::DateTimeText(d), "");
}

// A byte that asks for quotes is found wherever it is: before, inside and
// after each block of bytes tested at once, and past the buffer a row is
// gathered in.
TEST(ReportOutput, CsvFieldsAreQuotedWhereverTheByteThatAsksForItIs) {
  for (size_t length : {0, 1, 3, 4, 5, 8, 9, 15, 16, 17, 31, 33, 1100, 2100}) {
    for (char special : {',', '"', '\r', '\n'}) {
      for (size_t at = 0; at <= length; ++at) {
        std::string text(length, 'a');
        if (at < length) text[at] = special;
        std::string expected = text;
        if (at < length) expected = "\"" + text.substr(0, at) + (special == '"' ? "\"\"" : std::string(1, special)) +
                                    text.substr(at + 1) + "\"";
        // Alone, and as the start of a larger block whose bytes may be read.
        const std::string block = text + std::string(16, ',');
        std::string field = "x", inBlock;
        xevhost::AppendCsvField(field, text);
        xevhost::AppendCsvField(inBlock, std::string_view(block).substr(0, length), block.data() + block.size());
        ASSERT_EQ(field, "x" + expected) << length << " " << at;
        ASSERT_EQ(inBlock, expected) << length << " " << at;
      }
    }
  }
}

}  // namespace
