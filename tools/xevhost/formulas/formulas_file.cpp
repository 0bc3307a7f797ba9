#include "formulas/formulas_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

namespace xevhost {
namespace {

// Far more than any formula; a longer line is a file that is not one.
constexpr size_t kMaxFormulaLineBytes = 1 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

size_t SkipBlanks(std::string_view s, size_t i) {
  while (i < s.size() && IsBlank(s[i])) ++i;
  return i;
}

size_t TrimEnd(std::string_view s, size_t end) {
  while (end > 0 && IsBlank(s[end - 1])) --end;
  return end;
}

}  // namespace

bool NextLine(std::string_view& rest, std::string& line) {
  if (rest.empty()) return false;
  size_t end = rest.find_first_of("\r\n");
  line.assign(rest.substr(0, end));
  if (end == std::string_view::npos) {
    rest = {};
    return true;
  }
  size_t next = end + (rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n' ? 2 : 1);
  rest.remove_prefix(next);
  return true;
}

bool ParseDefinition(std::string_view lineText, const std::string& origin, int line,
                     FormulaSource& out, DefinitionError& error) {
  error = DefinitionError{origin, line, 0, std::string(lineText), ""};
  size_t equals = lineText.find('=');
  size_t nameStart = SkipBlanks(lineText, 0);
  if (equals == std::string_view::npos) {
    error.column = nameStart;
    error.message = "expected 'name = formula'";
    return false;
  }
  size_t nameEnd = TrimEnd(lineText, equals);
  if (nameEnd <= nameStart) {
    error.column = equals;
    error.message = "missing formula name before '='";
    return false;
  }
  size_t textStart = SkipBlanks(lineText, equals + 1);
  size_t textEnd = TrimEnd(lineText, lineText.size());
  if (textEnd <= textStart) {
    error.column = lineText.size();
    error.message = "missing formula text after '='";
    return false;
  }
  out.origin = origin;
  out.line = line;
  out.lineText = std::string(lineText);
  out.nameOffset = nameStart;
  out.textOffset = textStart;
  out.name = std::string(lineText.substr(nameStart, nameEnd - nameStart));
  out.text = std::string(lineText.substr(textStart, textEnd - textStart));
  return true;
}

bool ReadFormulasFile(const std::string& path, InputEncoding encoding,
                      const CodePageConverter& converter, std::vector<FormulaSource>& formulas,
                      std::vector<DefinitionError>& errors, std::string& ioError) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    ioError = path + ": cannot open formulas file: " + std::strerror(errno);
    return false;
  }
  std::stringstream content;
  content << file.rdbuf();
  if (file.bad()) {
    ioError = path + ": cannot read formulas file";
    return false;
  }
  std::string all = content.str();
  if (all.compare(0, 3, "\xEF\xBB\xBF") == 0) all.erase(0, 3);
  bool validUtf8 = IsValidUtf8(all);
  bool utf8 = encoding == InputEncoding::kUtf8 || (encoding == InputEncoding::kAuto && validUtf8);

  std::string_view rest = all;
  std::string raw;
  std::string ansi;
  size_t replaced = 0;
  int number = 0;
  while (NextLine(rest, raw)) {
    ++number;
    // Whole-file problems are told with the first line that has them, before
    // any formula of the file is used.
    if (raw.size() > kMaxFormulaLineBytes) {
      ioError = path + ":" + std::to_string(number) + ": line longer than " + std::to_string(kMaxFormulaLineBytes) + " bytes";
      return false;
    }
    // The engine reads a formula as a C string: a zero byte would end it
    // there, and the rest of the line would be dropped without a word.
    if (raw.find('\0') != std::string::npos) {
      ioError = path + ":" + std::to_string(number) + ": a zero byte in the line";
      return false;
    }
    if (converter.utf8() && !validUtf8 && !converter.CheckInput(raw, InputPlace{path, number}, replaced, ioError))
      return false;
    if (encoding == InputEncoding::kUtf8 && !validUtf8 && !converter.utf8() && !IsValidUtf8(raw)) {
      ioError = path + ":" + std::to_string(number) + ": not valid UTF-8 (--encoding utf-8 was given)";
      return false;
    }
    size_t first = SkipBlanks(raw, 0);
    if (first == raw.size() || raw[first] == '#') continue;
    converter.FromInput(raw, utf8, ansi, InputPlace{path, number});
    FormulaSource source;
    DefinitionError error;
    if (ParseDefinition(ansi, path, number, source, error)) {
      formulas.push_back(std::move(source));
    } else {
      errors.push_back(std::move(error));
    }
  }
  ReportReplaced(path, replaced);
  return true;
}

}  // namespace xevhost
