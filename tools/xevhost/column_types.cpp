#include "column_types.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <set>

namespace xevhost {
namespace {

constexpr size_t kMaxItemName = 64;  // bytes of the item record's name field

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool IsNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '@' || c == '#' || c == '$' || c >= 0x81;
}

// Cuts a name to limit bytes without splitting a double-byte character.
void CutToBytes(std::string& name, size_t limit) {
  if (name.size() <= limit) return;
  size_t keep = 0;
  while (keep < name.size()) {
    size_t step = (HostIsLeadByte(static_cast<unsigned char>(name[keep])) && keep + 1 < name.size()) ? 2 : 1;
    if (keep + step > limit) break;
    keep += step;
  }
  name.resize(keep);
}

std::string SanitizedName(const std::string& header, size_t index) {
  std::string name;
  bool pendingGap = false;
  for (size_t i = 0; i < header.size(); ++i) {
    auto c = static_cast<unsigned char>(header[i]);
    if (HostIsLeadByte(c) && i + 1 < header.size()) {  // keep double-byte characters whole
      if (pendingGap && !name.empty()) name.push_back('_');
      pendingGap = false;
      name.push_back(header[i]);
      name.push_back(header[++i]);
      continue;
    }
    if (!IsNameByte(c)) {
      pendingGap = true;
      continue;
    }
    if (pendingGap && !name.empty()) name.push_back('_');
    pendingGap = false;
    name.push_back(static_cast<char>(c));
  }
  if (name.empty()) return "Column" + std::to_string(index + 1);
  if (name[0] >= '0' && name[0] <= '9') name = "_" + name;
  // Words the scanner takes as keywords in any letter case: AND always,
  // DISTINCT and ALL with --set-quantifiers. A column keeps its name whichever
  // options a run gives, so all three are prefixed.
  for (const char* keyword : {"AND", "DISTINCT", "ALL"}) {
    if (strcasecmp(name.c_str(), keyword) != 0) continue;
    name = "_" + name;
    break;
  }
  // Day, Months, year ... scan as date units, so they would never reach the
  // item; the engine's own rule renames them the way stored documents are.
  std::string prefixed(name.size() + 2, '\0');
  if (name.size() < 67 && XEVInputNameIsKeyword(prefixed.data(), name.c_str()) != 0)
    name = prefixed.c_str();
  CutToBytes(name, kMaxItemName);
  return name;
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
  std::vector<std::string> names;
  std::set<std::string> taken;
  for (size_t i = 0; i < headers.size(); ++i) {
    std::string base = SanitizedName(headers[i], i);
    std::string name = base;
    for (int n = 2; taken.count(name) != 0; ++n) {
      char suffix[16];
      int length = std::snprintf(suffix, sizeof suffix, "_%d", n);
      name = base;
      CutToBytes(name, kMaxItemName - static_cast<size_t>(length));
      name += suffix;
    }
    taken.insert(name);
    names.push_back(name);
  }
  return names;
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
