// Errors printed the way a compiler prints them: where, what, the line, and
// the failing span underlined.
#pragma once

#include <cstdio>
#include <string>

#include "formulas/formulas_file.h"
#include "input/text_encoding.h"
#include "xev/xev.h"

namespace xevhost {

// The text of an engine error code, or "" when none can be had.
std::string ErrorMessage(uint32_t code);

// origin:line:column: error CODE: message, the line, ^~~~ under the span
// and the hint (code-page bytes) when there is one, as UTF-8 lines ready to
// print.
std::string FormatFormulaError(const FormulaSource& source, const ExprError& error,
                               const CodePageConverter& converter, const std::string& hint = "");
std::string FormatDefinitionError(const DefinitionError& error, const CodePageConverter& converter);
void PrintFormulaError(std::FILE* out, const FormulaSource& source, const ExprError& error,
                       const CodePageConverter& converter, const std::string& hint = "");

// The caret line for a span of a line of code-page bytes: one column per byte,
// which is also one display column per single-byte and two per double-byte
// character. The span is clamped to the line; an empty span is a lone '^'.
std::string Underline(size_t lineLength, size_t pos, size_t len);

}  // namespace xevhost
