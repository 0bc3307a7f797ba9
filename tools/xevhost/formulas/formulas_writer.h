// Writing a formulas file back after the editor changed the formulas: every
// line stays where it was (comments, blank lines, alignment), a changed
// formula's line gets its new name and text, a deleted formula loses its
// line, and formulas made in the editor follow at the end.
#pragma once

#include <string>
#include <vector>

#include "commands/file_replace.h"
#include "input/text_encoding.h"
#include "xev/xev.h"

namespace xevhost {

struct FormulasFileOrigin {
  std::string path;
  InputEncoding encoding = InputEncoding::kAuto;
  // The expression each definition of the file became, in the file's order
  // (empty when the file did not exist).
  std::vector<HEXP> expressions;
};

// The file's new content, in the file's own encoding (UTF-8 or code page)
// and line endings. false with a message when the old file cannot be read.
bool RewriteFormulas(const FormulasFileOrigin& origin, ExprContext* ec, const CodePageConverter& converter,
                     std::string& content, std::string& error);

// Replaces the file as ReplaceFileContent does, the old one kept beside it
// as PATH.bak. When the old one cannot be kept or the file cannot be
// replaced, false with the reason in error, and the content, so as not to
// lose the edits, goes to a new file beside it whose name lands in savedAs
// (left empty when that fails too).
bool ReplaceFile(const std::string& path, const std::string& content, const ReplaceRules& rules,
                 std::string& savedAs, std::string& error);

}  // namespace xevhost
