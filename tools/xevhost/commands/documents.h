// Documents: a context's data items and formulas stored as the engine's
// context block in a file, loaded again, and described.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "commands/file_replace.h"
#include "input/text_encoding.h"
#include "options.h"
#include "xev/xev.h"

namespace xevhost {

// Prints why on stderr and returns false when the file cannot be written
// (see ReplaceFileContent for how it is replaced).
bool SaveDocument(ExprContext* ec, const std::string& path, const ReplaceRules& rules);

// Loads a document into a new context (functions defined, nothing else yet).
// A formula that stops the load is printed the way a formula file's errors
// are, with the document as its origin; false when the load is incomplete.
bool LoadDocument(ExprContext* ec, const std::string& path, const CodePageConverter& converter,
                  std::FILE* diagnostics);

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes, std::string& error);

// xevhost info DOC.xev
int RunInfo(const Options& options, const CodePageConverter& converter);

}  // namespace xevhost
