#include "formulas/diagnostics.h"

#include <algorithm>

#include "report/report_output.h"
#include "xev/xev.h"

namespace xevhost {
namespace {

// Errors about the name as a whole point at the name, not at the text.
bool IsNameError(uint32_t code) { return code == XEV_ERR_NAME || code == XEV_ERR_DUPNAME; }

// Terminal columns of the first bytes of a line: in 1252 and 932 a byte is a
// column (double-byte characters are the wide ones); UTF-8 is measured.
size_t Columns(const std::string& lineText, size_t bytes, const CodePageConverter& converter) {
  bytes = std::min(bytes, lineText.size());
  if (!converter.utf8()) return bytes;
  return static_cast<size_t>(Utf8Width(std::string_view(lineText).substr(0, bytes)));
}

std::string FormatLocated(const std::string& origin, int line, size_t column, const std::string& what,
                          const std::string& lineText, size_t pos, size_t len,
                          const CodePageConverter& converter) {
  size_t end = Columns(lineText, pos + len, converter);
  column = Columns(lineText, column, converter);
  pos = Columns(lineText, pos, converter);
  return origin + ":" + std::to_string(line) + ":" + std::to_string(column + 1) + ": " + what + "\n    " +
         converter.ToUtf8(lineText) + "\n    " + Underline(Columns(lineText, lineText.size(), converter), pos, end - pos) +
         "\n";
}

}  // namespace

std::string ErrorMessage(uint32_t code) {
  char buffer[256];
  int32_t length = XEVGetErrorMessage(code, buffer, static_cast<int32_t>(sizeof buffer));
  return std::string(buffer, static_cast<size_t>(length));
}

std::string Underline(size_t lineLength, size_t pos, size_t len) {
  pos = std::min(pos, lineLength);
  len = std::min(len, lineLength - pos);
  std::string marks(pos, ' ');
  marks.push_back('^');
  if (len > 1) marks.append(len - 1, '~');
  return marks;
}

std::string FormatFormulaError(const FormulaSource& source, const ExprError& error,
                               const CodePageConverter& converter, const std::string& hint) {
  size_t pos;
  size_t len;
  if (IsNameError(error.code)) {
    pos = source.nameOffset;
    len = source.name.size();
  } else {
    size_t inText = std::min<size_t>(error.pos, source.text.size());
    pos = source.textOffset + inText;
    len = std::min<size_t>(error.len, source.text.size() - inText);
  }
  std::string what = "error " + std::to_string(error.code);
  std::string message = ErrorMessage(error.code);
  if (!message.empty()) what += ": " + converter.ToUtf8(message);
  std::string located = FormatLocated(source.origin, source.line, pos, what, source.lineText, pos, len, converter);
  return hint.empty() ? located : located + "    hint: " + converter.ToUtf8(hint) + "\n";
}

std::string FormatDefinitionError(const DefinitionError& error, const CodePageConverter& converter) {
  return FormatLocated(error.origin, error.line, error.column, "error: " + error.message,
                       error.lineText, error.column, 0, converter);
}

void PrintFormulaError(std::FILE* out, const FormulaSource& source, const ExprError& error,
                       const CodePageConverter& converter, const std::string& hint) {
  std::fputs(FormatFormulaError(source, error, converter, hint).c_str(), out);
}

}  // namespace xevhost
