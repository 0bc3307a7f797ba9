// The library's exports by name, as GetProcAddress finds them on its module:
// the function library's entry points and the editor's procedures. It sits
// above every layer, since it knows them all.
#pragma once

#include "platform/platform.h"

namespace xev::library {

// The address of an export of the library's own module by its full name,
// or nullptr (also for another module).
void* GetProcAddress(HMODULE module, const char* name);

}  // namespace xev::library
