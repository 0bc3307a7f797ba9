// The reference host's input side where its end-to-end tests do not check
// it: the quick answers of cell typing, which must be the general readers'.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "input/column_types.h"
#include "xev/xev.h"

namespace {

TEST(ColumnTypes, QuickReadingsAgreeWithTheGeneralReaders) {
  const char* texts[] = {"42", " -0.5 ", "+.5", "12.", ".", "-", "1.2.3", "1e5", "1E-999999", "1e", "12345678901234567890123",
                         "2024-02-29", "2023-02-29", "1900-02-29", "1600-02-29", "2024-01-31 23:59", "2024-01-31 24:00",
                         "2024-13-01", "\t2024-01-02 03:04:05 ", "2024-01-02 03:04:60", "2024-01-02T03:04", "Jan 2, 2024", "10:30",
                         "2024/01/02", "2024-01-02 03-04", "2024-01-02 03:04 05", "2024-01-0x"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    NumberValue number{}, date{}, general{};
    EXPECT_EQ(xevhost::IsNumberCell(text), xevhost::ParseNumberCell(text, &number));
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

}  // namespace
