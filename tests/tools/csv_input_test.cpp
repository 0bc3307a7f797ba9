// The reference host's input side: the CSV reader, column types, data item
// names for headers and the code-page conversion at the boundary.
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "column_types.h"
#include "csv_reader.h"
#include "text_encoding.h"
#include "xev/xev.h"

namespace {

using xevhost::CsvReader;
using Fields = std::vector<std::string>;

struct Parsed {
  std::vector<Fields> records;
  std::vector<int64_t> lines;
  std::string error;
};

Parsed ReadAll(const std::string& bytes) {
  std::FILE* file = bytes.empty() ? std::tmpfile() : fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
  Parsed parsed;
  CsvReader reader(file);
  Fields fields;
  CsvReader::Status status;
  while ((status = reader.Next(fields)) == CsvReader::Status::kRecord) {
    parsed.records.push_back(fields);
    parsed.lines.push_back(reader.line());
  }
  if (status == CsvReader::Status::kError) parsed.error = reader.error();
  std::fclose(file);
  return parsed;
}

TEST(CsvReader, QuotedFieldsHoldSeparatorsQuotesAndLineBreaks) {
  Parsed p = ReadAll("a,b,c\n\"x, y\",\"say \"\"hi\"\"\",\"two\nlines\"\n,,\n\"\",plain,\"\"\"\"\n");
  ASSERT_EQ(p.error, "");
  ASSERT_EQ(p.records.size(), 4u);
  EXPECT_EQ(p.records[1], (Fields{"x, y", "say \"hi\"", "two\nlines"}));
  EXPECT_EQ(p.records[2], (Fields{"", "", ""}));
  EXPECT_EQ(p.records[3], (Fields{"", "plain", "\""}));
  // A record's line is where it starts, after records that span lines.
  EXPECT_EQ(p.lines, (std::vector<int64_t>{1, 2, 4, 5}));
}

TEST(CsvReader, LineEndingsBlankLinesAndByteOrderMark) {
  Parsed p = ReadAll("\xEF\xBB\xBFh1,h2\r\n1,2\r\n\r\n\n3,4");
  ASSERT_EQ(p.error, "");
  ASSERT_EQ(p.records.size(), 3u);
  EXPECT_EQ(p.records[0], (Fields{"h1", "h2"}));
  EXPECT_EQ(p.records[2], (Fields{"3", "4"}));  // no final line break needed
  EXPECT_EQ(p.lines[2], 5);
  EXPECT_TRUE(ReadAll("").records.empty());
  // CR alone ends a line as LF does, also inside a quoted field and mixed with the others.
  p = ReadAll("h1,h2\r1,\"a\rb\"\r\r3,4\n5,6\r\n");
  ASSERT_EQ(p.error, "");
  ASSERT_EQ(p.records.size(), 4u);
  EXPECT_EQ(p.records[1], (Fields{"1", "a\rb"}));
  EXPECT_EQ(p.lines, (std::vector<int64_t>{1, 2, 5, 6}));
}

TEST(CsvReader, MalformedInputIsRefusedWithItsLine) {
  using namespace std::string_literals;
  const struct {
    std::string bytes;
    const char* error;
  } cases[] = {
      {"a\n\"open\n\nstill open", "line 2: quoted field is not closed before the end of the file"},
      {"a,b\n\"x\"y,1\n", "line 2: unexpected character after a closing quote"},
      {"a,b\n1,2\nab\"c,3\n", "line 3: quote inside an unquoted field"},
      {"a\n1\n2\0" "3\n"s, "line 3: NUL byte in the data"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadAll(c.bytes).error, c.error) << c.bytes;
}

TEST(CsvReader, FieldsLongerThanTheReadBufferStayWhole) {
  std::string big, quoted, plain(200000, 'x');
  for (int i = 0; i < 30000; ++i) {
    big += i % 1000 == 999 ? "\n\"\"," : "abcd";
    quoted += i % 1000 == 999 ? "\n\"\"\"\"," : "abcd";
  }
  Parsed p = ReadAll("h1,h2\n\"" + quoted + "\"," + plain + "\nlast,row\n");
  ASSERT_EQ(p.error, "");
  ASSERT_EQ(p.records.size(), 3u);
  EXPECT_EQ(p.records[1][0], big);
  EXPECT_EQ(p.records[1][1], plain);
  EXPECT_EQ(p.lines[2], 2 + 30 + 1);  // the 30 line breaks inside the quoted field count
}

TEST(CsvReader, RewindStartsOverAtTheHeader) {
  std::string bytes = "h\n1\n2\n";
  std::FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
  CsvReader reader(file);
  Fields fields;
  while (reader.Next(fields) == CsvReader::Status::kRecord) {
  }
  ASSERT_TRUE(reader.Rewind());
  ASSERT_EQ(reader.Next(fields), CsvReader::Status::kRecord);
  EXPECT_EQ(fields, Fields{"h"});
  EXPECT_EQ(reader.line(), 1);
  std::fclose(file);
}

int Infer(const std::vector<std::string>& cells) {
  xevhost::ColumnTypeInference inference;
  for (const std::string& c : cells) inference.Observe(c);
  return inference.Type();
}

TEST(ColumnTypes, EveryNonEmptyCellDecidesTheType) {
  EXPECT_EQ(Infer({"1", "-2.50", " 3 ", "", "1e5"}), XEV_TYPE_NUMBER);
  EXPECT_EQ(Infer({"2024-01-15", "12/25/2001 10:30", "", "Jan 15, 2001", "10:30 PM"}), XEV_TYPE_DATETIME);
  EXPECT_EQ(Infer({"10", "11"}), XEV_TYPE_NUMBER);  // a bare number is never taken for an hour
  // One cell that is neither makes a String, as do a mix of the two, a day that
  // does not exist, grouped digits, and no value at all.
  for (const auto& cells : std::vector<std::vector<std::string>>{
           {"1", "2", "n/a"}, {"1", "2024-01-15"}, {"2024-02-30"}, {"1,234"}, {"", "  "}, {}})
    EXPECT_EQ(Infer(cells), XEV_TYPE_STRING) << testing::PrintToString(cells);
}

TEST(ColumnTypes, CellsConvertToTheValuesFormulasSee) {
  NumberValue n{};
  ASSERT_TRUE(xevhost::ParseNumberCell(" 12.50 ", &n));
  NumberValue expected{};
  HostStrToNumber(&expected, "12.5");
  EXPECT_EQ(NumberCompare(&n, &expected), 0);

  NumberValue d{};
  ASSERT_TRUE(xevhost::ParseDateTimeCell("2001-12-25 22:30", &d));
  DateParts parts{};
  ASSERT_EQ(NumberToDateParts(d.bytes + 1, d.bytes[0], &parts), 1);
  EXPECT_EQ(std::tuple(parts.year, parts.month, parts.day, parts.hour, parts.minute), std::tuple(2001, 12, 25, 22, 30));
  EXPECT_FALSE(xevhost::ParseDateTimeCell("", &d));
  EXPECT_FALSE(xevhost::ParseDateTimeCell("-5", &d));
}

TEST(ColumnTypes, HeadersBecomeNamesFormulasCanWrite) {
  std::vector<std::string> names = xevhost::DataItemNames(
      {"Order Date", "Unit Price ($)", "2nd Address", "Month", "days", "and", "", "Order Date", "Total", "Total",
       "Distinct", "ALL"});
  EXPECT_EQ(names, (std::vector<std::string>{"Order_Date", "Unit_Price_$", "_2nd_Address", "_Month", "_days",
                                             "_and", "Column7", "Order_Date_2", "Total", "Total_2", "_Distinct",
                                             "_ALL"}));
  for (const std::string& name : names) EXPECT_EQ(XEVValidName(nullptr, name.c_str(), nullptr), 1) << name;
}

TEST(ColumnTypes, LongNamesAreCutWithoutSplittingADoubleByteCharacter) {
  ASSERT_EQ(HostSetCodePage(XEV_CP_SHIFTJIS), 1);
  std::string header = "a";
  for (int i = 0; i < 40; ++i) header += "\x82\xA0";  // あ: 1 + 80 bytes
  std::vector<std::string> names = xevhost::DataItemNames({header, header});
  EXPECT_EQ(names[0], header.substr(0, 63));        // 64 would end inside a character
  EXPECT_EQ(names[1], header.substr(0, 61) + "_2");  // "_2" fits after a + 30 characters
  ASSERT_EQ(HostSetCodePage(XEV_CP_WESTERN), 1);
}

TEST(TextEncoding, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  xevhost::CodePageConverter western(1252);
  ASSERT_TRUE(western.ok());
  EXPECT_EQ(western.ToAnsi("Caf\xC3\xA9 \xE2\x82\xAC 5"), "Caf\xE9 \x80 5");  // é and € exist in 1252
  EXPECT_EQ(western.ToAnsi("\xE3\x82\x8A-\xF0\x9F\x98\x80-x"), "?-?-x");  // kana and an emoji do not
  EXPECT_EQ(western.ToAnsi("bad \xC3 byte"), "bad ? byte");               // broken UTF-8
  EXPECT_EQ(western.ToUtf8("Caf\xE9 \x80"), "Caf\xC3\xA9 \xE2\x82\xAC");

  xevhost::CodePageConverter japanese(932);
  ASSERT_TRUE(japanese.ok());
  EXPECT_EQ(japanese.ToAnsi("\xE3\x82\x8A\xE3\x82\x93"), "\x82\xE8\x82\xF1");
  EXPECT_EQ(japanese.ToUtf8("\x82\xE8\x82\xF1"), "\xE3\x82\x8A\xE3\x82\x93");
  EXPECT_TRUE(xevhost::IsValidUtf8("plain \xC3\xA9"));
  EXPECT_FALSE(xevhost::IsValidUtf8("Caf\xE9"));
}

}  // namespace
