// Formula definitions as the tool reads them: `name = text` lines of a
// formulas file, or NAME=TEXT arguments, each remembered with where it came
// from so that an error can point into the line it was written on.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "input/text_encoding.h"

namespace xevhost {

struct FormulaSource {
  std::string origin;    // file name, or "--formula"
  int line = 0;          // line in the file, or the argument's ordinal
  std::string lineText;  // the whole line, code-page bytes
  size_t nameOffset = 0; // byte offsets of name and text within lineText
  size_t textOffset = 0;
  std::string name;      // code-page bytes
  std::string text;
  int order = 0;         // place among all definitions read, for reporting in order
};

// A problem with the shape of a definition (not with the formula itself).
struct DefinitionError {
  std::string origin;
  int line = 0;
  size_t column = 0;  // byte offset in the line
  std::string lineText;
  std::string message;
  int order = 0;
};

// The format is the library's (XEVReadFormulaLine, XEVReadDefinition); this
// reads files in their encodings and keeps where each definition came from.

// Splits one definition (already in code-page bytes) given alone. Returns
// false and fills error when there is no '=', no name or no text.
bool ParseDefinition(std::string_view lineText, const std::string& origin, int line,
                     FormulaSource& out, DefinitionError& error);

// Takes the next line of a formulas file off rest, without its line end.
bool NextLine(std::string_view& rest, std::string& line);

// Reads a formulas file: one definition a line, blank lines and comments
// skipped. Returns false when the file cannot be read (ioError set); shape
// errors are collected and reading goes on.
bool ReadFormulasFile(const std::string& path, InputEncoding encoding,
                      const CodePageConverter& converter, std::vector<FormulaSource>& formulas,
                      std::vector<DefinitionError>& errors, std::string& ioError);

}  // namespace xevhost
