// The reference host's input side where its end-to-end tests do not check
// it: the quick answers of cell typing and of record splitting, which must
// be the general ones'.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "input/column_types.h"
#include "input/csv_reader.h"
#include "xev/xev.h"

namespace {

TEST(ColumnTypes, QuickReadingsAgreeWithTheGeneralReaders) {
  const char* texts[] = {"42", " -0.5 ", "+.5", "12.", ".", "-", "1.2.3", "1e5", "1E-999999", "1e", "12345678901234567890123",
                         "2024-02-29", "2023-02-29", "1900-02-29", "1600-02-29", "2024-01-31 23:59", "2024-01-31 24:00",
                         "2024-13-01", "\t2024-01-02 03:04:05 ", "2024-01-02 03:04:60", "2024-01-02T03:04", "Jan 2, 2024", "10:30",
                         "2024/01/02", "2024-01-02 03-04", "2024-01-02 03:04 05", "2024-01-0x", "2024-0a-02", "-0", " +007 ",
                         "999999999999999999", "-999999999999999999", "1000000000000000000", "12 3", "+", "0x1"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    NumberValue number{}, date{}, general{};
    EXPECT_EQ(xevhost::IsNumberCell(text), xevhost::ParseNumberCell(text, &number));
    // Whole numbers go to the engine as integers: the same value, byte for byte.
    int64_t whole = 0;
    if (xevhost::ParseWholeCell(text, &whole)) {
      NumberValue integer{};
      LongToNumber(&integer, whole);
      EXPECT_EQ(std::memcmp(integer.bytes, number.bytes, sizeof number.bytes), 0);
    }
    bool isDate = xevhost::ParseDateTimeCell(text, &date);
    EXPECT_EQ(xevhost::IsDateTimeCell(text), isDate);
    // The general reader, as the tool called it before the quick one.
    std::string trimmed = std::string(xevhost::TrimmedCell(text));
    FormatDesc desc;
    bool read = false;
    for (int32_t kind : {XEV_FORMAT_DATETIME, XEV_FORMAT_TIME}) {
      FormatInit(&desc);
      desc.kind = kind;
      desc.text = trimmed.c_str();
      if (!read && FormatParse(&desc) == 1) {
        general.bytes[0] = DatePartsToNumber(general.bytes + 1, &desc.date);
        read = true;
      }
    }
    EXPECT_EQ(isDate, read);
    if (read) {
      EXPECT_EQ(std::memcmp(date.bytes, general.bytes, sizeof date.bytes), 0);
    }
  }
}

// A repeat is told by whole words where it can: a change at either end,
// in any length, is still a change.
TEST(ColumnTypes, RecentCellTellsOnlyExactRepeats) {
  for (size_t length : {0, 1, 7, 8, 10, 16, 17, 32, 33}) {
    const std::string kept(length, '5');
    xevhost::RecentCell recent;
    recent.Keep(kept);
    EXPECT_EQ(recent.Is(kept), length <= 32) << length;
    EXPECT_FALSE(recent.Is(kept + "5")) << length;
    for (size_t at : {size_t{0}, length / 2, length - 1}) {
      if (length == 0) break;
      std::string changed = kept;
      changed[at] = '6';
      EXPECT_FALSE(recent.Is(changed)) << length << " " << at;
    }
  }
}

// Every record of text with its line, or the error that stops the reading.
std::string ReadAll(std::string_view text) {
  xevhost::CsvReader reader(text);
  std::vector<std::string_view> fields;
  std::string out;
  for (auto status = reader.Next(fields); status != xevhost::CsvReader::Status::kEnd; status = reader.Next(fields)) {
    if (status == xevhost::CsvReader::Status::kError) return out + reader.error();
    out += std::to_string(reader.line()) + ":";
    for (std::string_view field : fields) out += "[" + std::string(field) + "]";
    out += "\n";
  }
  return out;
}

// Records are split 64 bytes at a time where that many are left, byte by
// byte in the last ones: each text read at the end of the input and again
// with blank lines after it gives the same records, lines and errors.
TEST(CsvReader, QuickSplittingAgreesWithByteByByte) {
  const std::string wide(70, 'w');
  const std::string texts[] = {"a,b,c\n,,\nd", "a,\"b,c\",d\n\"\"\"\",\"\"", "\"x\"\"y\"\"\",z", "\"a\nb\",c\nd",
                               "a\r\nb,c\r\n\r\nd", "a\rb,\"c\"\r\ne", "a\tb,c", "\"a\" ,b", "a\"b,c", "a,\"b\"c",
                               std::string("a,\0b", 4), "\xEF\xBB\xBFh,i\nj,k", "a,\"bc", wide + "," + wide + "\n" + wide,
                               "\"" + wide + "\"\"" + wide + "\",z\ny", "x,\"" + wide + "\"\r\n" + wide,
                               std::string(40, ',') + "\nx\n" + std::string(70, ',') + "\ny,z"};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ReadAll(text), ReadAll(text + std::string(80, '\n')));
  }
}

// One vector takes every record: each comes back with its own fields
// however wide the ones before it were.
TEST(CsvReader, RecordsOfChangingWidth) {
  const std::string text = std::string(40, ',') + "\nx\n" + std::string(70, ',') + "\ny,z\n" + std::string(80, '\n');
  xevhost::CsvReader reader(text);
  std::vector<std::string_view> fields;
  for (size_t width : {41, 1, 71, 2}) {
    ASSERT_EQ(reader.Next(fields), xevhost::CsvReader::Status::kRecord);
    EXPECT_EQ(fields.size(), width);
  }
  EXPECT_EQ(fields[1], "z");
  EXPECT_EQ(reader.Next(fields), xevhost::CsvReader::Status::kEnd);
}

}  // namespace
