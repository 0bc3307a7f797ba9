// Deciding what each CSV column is to formulas: its data type, inferred from
// every cell, and the data item name formulas use for it.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "xev/xev.h"

namespace xevhost {

// Cells are code-page bytes. Blanks around a number or a date are ignored.
bool ParseNumberCell(std::string_view cell, NumberValue* out);
// A date with an optional time, or a time of day, in a form the host runtime
// reads; out receives the DateTime value.
bool ParseDateTimeCell(std::string_view cell, NumberValue* out);
bool IsBlankCell(std::string_view cell);
// The cell without the blanks around it.
std::string_view TrimmedCell(std::string_view cell);
// Whether the parses above would succeed, answered without making the value
// where the text's form settles it.
bool IsNumberCell(std::string_view cell);
bool IsDateTimeCell(std::string_view cell);
// A whole number of at most 18 digits (so that it fits an int64_t), signed
// or not, blanks around it ignored: the value ParseNumberCell would give.
bool ParseWholeCell(std::string_view cell, int64_t* out);

// The last short cell kept, to tell a repeat in a few steps: a sorted
// column (dates above all) repeats its cells row after row.
class RecentCell {
 public:
  bool Is(std::string_view cell) const {
    if (cell.size() != length_) return false;
    if (cell.empty()) return true;  // an empty view may have no bytes at all
    // From 8 to 16 bytes (dates with or without a time), two words that overlap.
    if (cell.size() < 8 || cell.size() > 16) return std::memcmp(cell.data(), text_, cell.size()) == 0;
    return Word(cell.data()) == Word(text_) && Word(cell.data() + cell.size() - 8) == Word(text_ + cell.size() - 8);
  }
  void Keep(std::string_view cell) {
    length_ = cell.size() <= sizeof text_ ? cell.size() : kNone;
    if (length_ != kNone && !cell.empty()) std::memcpy(text_, cell.data(), cell.size());
  }

 private:
  static uint64_t Word(const char* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
  }
  static constexpr size_t kNone = SIZE_MAX;
  char text_[32];
  size_t length_ = kNone;
};

// Watches the cells of one column. A column is Number when every non-empty
// cell is a number, DateTime when every one is a date or time, else String;
// a column without any value is String, since nothing speaks for a number.
class ColumnTypeInference {
 public:
  void Observe(std::string_view cell);
  // No cell can change the type any more: the column is String.
  bool Settled() const { return !allNumbers_ && !allDates_; }
  int Type() const;  // XEV_TYPE_NUMBER, XEV_TYPE_DATETIME or XEV_TYPE_STRING
  // A Number column whose every value ParseWholeCell reads.
  bool WholeNumbers() const { return Type() == XEV_TYPE_NUMBER && allWhole_; }
  // Takes in what another watcher saw of other cells of the column.
  void Merge(const ColumnTypeInference& other);

 private:
  bool IsDateTime(std::string_view text);  // text without blanks around it

  bool sawValue_ = false;
  bool allNumbers_ = true;
  bool allDates_ = true;
  bool allWhole_ = true;
  // The last texts found to be dates outside the quick ISO form: a column of
  // fractions that also read as times (0.15) would otherwise ask the general
  // reader of every cell.
  std::array<std::string, 8> dates_;
  size_t nextDate_ = 0;
  RecentCell lastDate_;  // the last cell found to be a date
};

// Data item names for header texts (code-page bytes), by the library's rule
// (XEVDataItemNames); short memory throws std::bad_alloc.
std::vector<std::string> DataItemNames(const std::vector<std::string>& headers);

const char* TypeName(int type);

}  // namespace xevhost
