// Looking up the generated help of the built-in functions.
#include "editor/function_help.h"

#include <cstring>

namespace xev::editor {

const char* FunctionHelp(const char* name) {
  if (name == nullptr) return nullptr;
  for (int32_t i = 0; i < kFunctionHelpCount; ++i)
    if (std::strcmp(kFunctionHelp[i].name, name) == 0) return kFunctionHelp[i].help;
  return nullptr;
}

}  // namespace xev::editor
