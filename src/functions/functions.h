// What the function library offers: the export table behind GetProcAddress and
// the helpers that every function body shares.
#pragma once

#include <cstdint>

#include "xev/xev.h"

namespace xev::functions {

// The address of one of the library's exported entry points by its full name
// (for example "FUNStrLeft"), or nullptr.
void* LookupExport(const char* name);

// The DBCS doubling rule: a character count turned into the bytes it may take.
int32_t CharsToBytes(int32_t chars);

// Makes *result hold at least needed bytes by the result-growing rule: grows
// only when size is smaller; returns false (block unchanged) when that fails.
bool EnsureResultSize(void** result, int32_t size, int32_t needed);

}  // namespace xev::functions
