// The lines of a formulas file: one "name = text" definition a line, blank
// lines and "#" comments between them. Hosts read such files from users and
// from each other, so the rule of how a line ends and where a name and its
// text lie is the library's, not each host's.
#include <cstdint>
#include <cstring>

#include "xev/xev.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

uint32_t SkipBlanks(const char* text, uint32_t from, uint32_t end) {
  while (from < end && IsBlank(text[from])) ++from;
  return from;
}

uint32_t TrimBlanks(const char* text, uint32_t begin, uint32_t end) {
  while (end > begin && IsBlank(text[end - 1])) --end;
  return end;
}

int32_t Problem(XEVFormulaLine& line, int32_t kind, uint32_t column, const char* message) {
  line.kind = kind;
  line.column = column;
  line.problem = message;
  return 0;
}

// The definition in the length bytes of text, split at the first "=".
int32_t SplitDefinition(const char* text, uint32_t length, XEVFormulaLine& line) {
  line = XEVFormulaLine{};
  line.length = length;
  const uint32_t nameStart = SkipBlanks(text, 0, length);
  const auto* equals = static_cast<const char*>(std::memchr(text, '=', length));
  if (equals == nullptr) return Problem(line, XEV_LINE_NO_EQUALS, nameStart, "expected 'name = formula'");
  const auto at = static_cast<uint32_t>(equals - text);
  const uint32_t nameEnd = TrimBlanks(text, nameStart, at);
  if (nameEnd == nameStart) return Problem(line, XEV_LINE_NO_NAME, at, "missing formula name before '='");
  const uint32_t textStart = SkipBlanks(text, at + 1, length);
  const uint32_t textEnd = TrimBlanks(text, textStart, length);
  if (textEnd == textStart) return Problem(line, XEV_LINE_NO_TEXT, length, "missing formula text after '='");
  line.kind = XEV_LINE_DEFINITION;
  line.nameStart = nameStart;
  line.nameLength = nameEnd - nameStart;
  line.textStart = textStart;
  line.textLength = textEnd - textStart;
  return 1;
}

// Bytes up to the first CR or LF, or all of them.
uint32_t LineLength(const char* text, uint32_t length) {
  uint32_t i = 0;
  while (i < length && text[i] != '\r' && text[i] != '\n') ++i;
  return i;
}

}  // namespace

extern "C" {

XEV_API int32_t XEV_CALL XEVReadFormulaLine(const char* text, int32_t length, XEVFormulaLine* line) {
  if (text == nullptr || line == nullptr || length < 0) return -1;
  if (length == 0) return 0;
  const auto size = static_cast<uint32_t>(length);
  const uint32_t lineLength = LineLength(text, size);
  uint32_t taken = lineLength;
  if (taken < size) taken += text[taken] == '\r' && taken + 1 < size && text[taken + 1] == '\n' ? 2 : 1;
  const uint32_t first = SkipBlanks(text, 0, lineLength);
  if (first == lineLength || text[first] == '#') {
    *line = XEVFormulaLine{};
    line->kind = first == lineLength ? XEV_LINE_BLANK : XEV_LINE_COMMENT;
    line->length = lineLength;
  } else {
    SplitDefinition(text, lineLength, *line);
  }
  return static_cast<int32_t>(taken);
}

XEV_API int32_t XEV_CALL XEVReadDefinition(const char* text, int32_t length, XEVFormulaLine* line) {
  if (text == nullptr || line == nullptr || length < 0) return -1;
  return SplitDefinition(text, static_cast<uint32_t>(length), *line);
}

}  // extern "C"
