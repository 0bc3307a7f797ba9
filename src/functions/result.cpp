// How a function makes room for its result: the block the evaluator hands in is
// grown in place when the result needs more, and character counts are turned
// into byte counts for the current code page.
#include <climits>
#include <cstring>

#include "eval/evaluator.h"
#include "host/code_page.h"
#include "functions/functions.h"

namespace xev::functions {

int32_t CharsToBytes(int32_t chars) {
  if (chars <= 0) return 0;
  // Each character may take as many bytes as the longest character of the
  // code page (two, or four under UTF-8); saturate rather than overflow.
  int32_t most = xev::host::CurrentCodePage().maxCharBytes;
  return chars > INT32_MAX / most ? INT32_MAX : chars * most;
}

bool EnsureResultSize(void** result, int32_t size, int32_t needed) {
  if (result == nullptr) return false;
  if (*result != nullptr && size >= needed) return true;
  void* grown = HostRealloc(*result, static_cast<size_t>(needed > 0 ? needed : 1));
  // The formula then has no value; the note tells its caller why.
  if (grown == nullptr) return xev::eval::NoteMemoryShort();
  *result = grown;
  return true;
}

}  // namespace xev::functions

extern "C" {

XEV_API int32_t XEV_CALL FUNStrVarResult(void** result, int32_t size, const char* source) {
  if (result == nullptr || source == nullptr) return 0;
  int32_t needed = HostStrLen(source) + 1;
  if (!xev::functions::EnsureResultSize(result, size, needed)) return 0;
  std::memcpy(*result, source, static_cast<size_t>(needed));
  return 1;
}

}  // extern "C"
