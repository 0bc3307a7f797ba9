#include "library/exports.h"

#include "editor/editor.h"
#include "functions/functions.h"

namespace xev::library {

void* GetProcAddress(HMODULE module, const char* name) {
  if (!platform::IsOwnModule(module) || name == nullptr) return nullptr;
  if (void* entry = functions::LookupExport(name)) return entry;
  return editor::LookupProcedure(name);
}

}  // namespace xev::library
