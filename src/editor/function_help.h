// One line of help per built-in function, as docs/functions.md writes it
// (the table is generated from that page): what the editor shows when a
// function is selected.
#pragma once

#include <cstdint>

namespace xev::editor {

struct FunctionHelpRow {
  const char* name;  // the display name, "StrLeft"
  const char* help;  // "StrLeft(s, n), StrRight(s, n): the first / last n characters"
};
extern const FunctionHelpRow kFunctionHelp[];
extern const int32_t kFunctionHelpCount;

// The help of a built-in function by its exact name, or null.
const char* FunctionHelp(const char* name);

}  // namespace xev::editor
