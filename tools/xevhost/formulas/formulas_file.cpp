#include "formulas/formulas_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

#include "xev/xev.h"

namespace xevhost {
namespace {

// Far more than any formula; a longer line is a file that is not one.
constexpr size_t kMaxFormulaLineBytes = 1 << 20;

// The library reads at most 2 GiB at a time; a line is far shorter, and the
// rest of a longer text is read by the next call.
int32_t ReadableLength(std::string_view text) {
  return static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX));
}

// Reads the next line off rest into line; 0 at the end.
int32_t NextFileLine(std::string_view& rest, XEVFormulaLine& line) {
  const int32_t taken = XEVReadFormulaLine(rest.data(), ReadableLength(rest), &line);
  if (taken > 0) rest.remove_prefix(static_cast<size_t>(taken));
  return taken;
}

}  // namespace

bool NextLine(std::string_view& rest, std::string& line) {
  const std::string_view start = rest;
  XEVFormulaLine read;
  if (NextFileLine(rest, read) <= 0) return false;
  line.assign(start.substr(0, read.length));
  return true;
}

bool ParseDefinition(std::string_view lineText, const std::string& origin, int line,
                     FormulaSource& out, DefinitionError& error) {
  XEVFormulaLine read;
  if (XEVReadDefinition(lineText.data(), ReadableLength(lineText), &read) != 1) {
    error = DefinitionError{origin, line, read.column, std::string(lineText), read.problem};
    return false;
  }
  out.origin = origin;
  out.line = line;
  out.lineText = std::string(lineText);
  out.nameOffset = read.nameStart;
  out.textOffset = read.textStart;
  out.name = std::string(lineText.substr(read.nameStart, read.nameLength));
  out.text = std::string(lineText.substr(read.textStart, read.textLength));
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
  std::string_view raw;
  XEVFormulaLine read;
  std::string ansi;
  size_t replaced = 0;
  int number = 0;
  for (std::string_view start = rest; NextFileLine(rest, read) > 0; start = rest) {
    raw = start.substr(0, read.length);
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
    if (read.kind == XEV_LINE_BLANK || read.kind == XEV_LINE_COMMENT) continue;
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
