// The library's own module: its handle and its string resources. Its exports
// are looked up above every layer (library/exports.cpp).
#include <cstring>

#include "platform/platform.h"
#include "resources/string_table.h"

struct XevModule {
  int reserved;
};

namespace xev::platform {

namespace {

XevModule g_module{};  // only its address is used

}  // namespace

HMODULE ModuleInstance() { return &g_module; }

bool IsOwnModule(HMODULE module) { return module == nullptr || module == &g_module; }

int32_t LoadStringA(HMODULE module, uint32_t id, char* buffer, int32_t size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  if (!IsOwnModule(module)) return 0;
  const char* text = resources::FindString(id);
  if (text == nullptr) return 0;
  size_t length = std::strlen(text);
  if (length > static_cast<size_t>(size - 1)) length = static_cast<size_t>(size - 1);
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
  return static_cast<int32_t>(length);
}

}  // namespace xev::platform
