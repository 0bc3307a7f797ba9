#include "input/column_types.h"

#include <cstring>
#include <new>

namespace xevhost {
namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

bool IsBlankCell(std::string_view cell) { return TrimBlanks(cell).empty(); }
std::string_view TrimmedCell(std::string_view cell) { return TrimBlanks(cell); }

namespace {

// The longest cell read through a buffer on the stack; longer ones (rare:
// every number and date form is short) take a string.
constexpr size_t kShortCell = 127;

// Calls read with cell as a terminated text, without allocating for short ones.
template <typename Read>
bool WithTerminated(std::string_view cell, Read read) {
  if (cell.size() > kShortCell) return read(std::string(cell).c_str());
  char text[kShortCell + 1];
  cell.copy(text, cell.size());
  text[cell.size()] = '\0';
  return read(static_cast<const char*>(text));
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// What the number reader would say of text: kYes and kNo for certain, kAsk
// when only the reader knows (an exponent, or more digits than are exact,
// may put the value out of range). The form is a sign, digits with at most
// one point and at least one digit, then an exponent.
enum class Answer { kNo, kYes, kAsk };
Answer NumberForm(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) ++digits;
  if (i < text.size() && text[i] == '.')
    for (++i; i < text.size() && IsDigit(text[i]); ++i) ++digits;
  if (digits == 0) return Answer::kNo;
  if (i == text.size()) return digits <= 22 ? Answer::kYes : Answer::kAsk;
  if (text[i] != 'E' && text[i] != 'e') return Answer::kNo;
  if (++i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i == text.size()) return Answer::kNo;
  for (; i < text.size(); ++i)
    if (!IsDigit(text[i])) return Answer::kNo;
  return Answer::kAsk;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// The form data files mostly hold, read here without the general reader:
// yyyy-MM-dd, then optionally HH:mm or HH:mm:ss after one blank. The parts
// are what the general reader makes of it; anything else is left to that.
// Each digit is taken apart without a branch: the type pass and the
// conversion each ask this of every cell of a date column.
bool ReadIsoDateTime(std::string_view text, DateParts& parts) {
  const size_t n = text.size();
  if (n != 10 && n != 16 && n != 19) return false;
  const auto* t = reinterpret_cast<const unsigned char*>(text.data());
  // Two digits as a number, 100 or more when either is no digit.
  auto pair = [t](size_t i) {
    const unsigned high = t[i] - unsigned{'0'}, low = t[i + 1] - unsigned{'0'};
    return static_cast<int>(high > 9 || low > 9 ? 100 : high * 10 + low);
  };
  if (t[4] != '-' || t[7] != '-') return false;
  const int century = pair(0), years = pair(2);
  parts = DateParts{pair(5), pair(8), century * 100 + years, 0, 0, 0, 0};
  if (n > 10) {
    if (t[10] != ' ' || t[13] != ':') return false;
    parts.hour = pair(11);
    parts.minute = pair(14);
  }
  if (n > 16) {
    if (t[16] != ':') return false;
    parts.second = pair(17);
  }
  // Before 1601 the calendar's leap years are left to the general reader.
  if (century > 99 || years > 99 || parts.year < 1601 || parts.month < 1 || parts.month > 12 || parts.day < 1 ||
      parts.day > DaysInMonth(parts.year, parts.month))
    return false;
  return parts.hour <= 23 && parts.minute <= 59 && parts.second <= 59;
}

void StoreDate(const DateParts& parts, NumberValue* out) {
  std::memset(out, 0, sizeof *out);
  out->bytes[0] = DatePartsToNumber(out->bytes + 1, &parts);
}

bool ParseDateTimeText(std::string_view text, NumberValue* out) {
  // Cheap refusal first: every date and time form starts with a digit or a
  // month name, and type inference asks this of every cell of a column.
  auto first = static_cast<unsigned char>(text[0]);
  bool digit = first >= '0' && first <= '9';
  bool letter = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
  if (!digit && !letter) return false;
  return WithTerminated(text, [out](const char* terminated) {
    FormatDesc desc;
    for (int32_t kind : {XEV_FORMAT_DATETIME, XEV_FORMAT_TIME}) {
      FormatInit(&desc);
      desc.kind = kind;
      desc.text = terminated;
      if (FormatParse(&desc) == 1) {
        StoreDate(desc.date, out);
        return true;
      }
    }
    return false;
  });
}

}  // namespace

bool ParseNumberCell(std::string_view cell, NumberValue* out) {
  std::string_view text = TrimBlanks(cell);
  if (NumberForm(text) == Answer::kNo) return false;
  return WithTerminated(text, [out](const char* terminated) { return HostStrToNumber(out, terminated) == 1; });
}

bool ParseDateTimeCell(std::string_view cell, NumberValue* out) {
  std::string_view text = TrimBlanks(cell);
  if (text.empty()) return false;
  DateParts parts;
  if (ReadIsoDateTime(text, parts)) {
    StoreDate(parts, out);
    return true;
  }
  return ParseDateTimeText(text, out);
}

namespace {

// The questions below asked of a text without blanks around it: the type
// pass trims each cell once, not once for every question.
bool IsNumberText(std::string_view text) {
  Answer form = NumberForm(text);
  if (form != Answer::kAsk) return form == Answer::kYes;
  NumberValue scratch;
  return ParseNumberCell(text, &scratch);
}

bool ReadWholeText(std::string_view text, int64_t* out) {
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
  if (text.empty() || text.size() > 18) return false;
  int64_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    value = value * 10 + (c - '0');
  }
  *out = negative ? -value : value;
  return true;
}

}  // namespace

bool IsNumberCell(std::string_view cell) { return IsNumberText(TrimBlanks(cell)); }
bool ParseWholeCell(std::string_view cell, int64_t* out) { return ReadWholeText(TrimBlanks(cell), out); }

bool IsDateTimeCell(std::string_view cell) {
  std::string_view text = TrimBlanks(cell);
  DateParts parts;
  if (text.empty()) return false;
  if (ReadIsoDateTime(text, parts)) return true;
  NumberValue scratch;
  return ParseDateTimeText(text, &scratch);
}

void ColumnTypeInference::Observe(std::string_view cell) {
  if (!allNumbers_ && !allDates_) return;  // settled: String
  const std::string_view text = TrimBlanks(cell);
  if (text.empty()) return;
  sawValue_ = true;
  // A whole number is a number: the general question is asked of the others.
  int64_t whole = 0;
  allWhole_ = allWhole_ && allNumbers_ && ReadWholeText(text, &whole);
  if (allNumbers_ && !allWhole_ && !IsNumberText(text)) allNumbers_ = false;
  if (allDates_ && !IsDateTime(text)) allDates_ = false;
}

// A cell is only asked while every one before it was a date, so only dates
// need remembering. text comes without blanks around it.
bool ColumnTypeInference::IsDateTime(std::string_view text) {
  if (lastDate_.Is(text)) return true;
  DateParts parts;
  if (ReadIsoDateTime(text, parts)) {
    lastDate_.Keep(text);
    return true;
  }
  for (const std::string& date : dates_)
    if (date == text) return true;
  if (!IsDateTimeCell(text)) return false;
  dates_[nextDate_++ % dates_.size()] = text;
  return true;
}

void ColumnTypeInference::Merge(const ColumnTypeInference& other) {
  sawValue_ = sawValue_ || other.sawValue_;
  allNumbers_ = allNumbers_ && other.allNumbers_;
  allDates_ = allDates_ && other.allDates_;
  allWhole_ = allWhole_ && other.allWhole_;
}

int ColumnTypeInference::Type() const {
  if (!sawValue_) return XEV_TYPE_STRING;
  if (allNumbers_) return XEV_TYPE_NUMBER;
  if (allDates_) return XEV_TYPE_DATETIME;
  return XEV_TYPE_STRING;
}

std::vector<std::string> DataItemNames(const std::vector<std::string>& headers) {
  std::vector<const char*> labels;
  for (const std::string& header : headers) labels.push_back(header.c_str());
  std::vector<char> names(headers.size() * XEV_NAME_SIZE);
  if (XEVDataItemNames(labels.data(), static_cast<int32_t>(labels.size()), names.data()) != 1) throw std::bad_alloc();
  std::vector<std::string> out;
  for (size_t i = 0; i < headers.size(); ++i) out.emplace_back(names.data() + i * XEV_NAME_SIZE);
  return out;
}

const char* TypeName(int type) {
  switch (type) {
    case XEV_TYPE_NUMBER: return "Number";
    case XEV_TYPE_DATETIME: return "DateTime";
    case XEV_TYPE_STRING: return "String";
    default: return "Keyword";
  }
}

}  // namespace xevhost
