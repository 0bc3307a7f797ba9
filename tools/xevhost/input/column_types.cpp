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

bool ParseNumberCell(std::string_view cell, NumberValue* out) {
  std::string text(TrimBlanks(cell));
  if (text.empty()) return false;
  return HostStrToNumber(out, text.c_str()) == 1;
}

bool ParseDateTimeCell(std::string_view cell, NumberValue* out) {
  std::string text(TrimBlanks(cell));
  if (text.empty()) return false;
  // Cheap refusal first: every date and time form starts with a digit or a
  // month name, and type inference asks this of every cell of a column.
  auto first = static_cast<unsigned char>(text[0]);
  bool digit = first >= '0' && first <= '9';
  bool letter = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
  if (!digit && !letter) return false;
  FormatDesc desc;
  for (int32_t kind : {XEV_FORMAT_DATETIME, XEV_FORMAT_TIME}) {
    FormatInit(&desc);
    desc.kind = kind;
    desc.text = text.c_str();
    if (FormatParse(&desc) == 1) {
      std::memset(out, 0, sizeof *out);
      out->bytes[0] = DatePartsToNumber(out->bytes + 1, &desc.date);
      return true;
    }
  }
  return false;
}

void ColumnTypeInference::Observe(std::string_view cell) {
  if (!allNumbers_ && !allDates_) return;  // settled: String
  if (IsBlankCell(cell)) return;
  sawValue_ = true;
  NumberValue scratch;
  if (allNumbers_ && !ParseNumberCell(cell, &scratch)) allNumbers_ = false;
  if (allDates_ && !ParseDateTimeCell(cell, &scratch)) allDates_ = false;
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
