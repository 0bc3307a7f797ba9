// What the parts of the block loader share: the state of one load and the
// formula loaders of the old and the current versions.
#pragma once

#include <cstdint>
#include <cstring>

#include "persist/block_cursor.h"
#include "xev/xev.h"

namespace xev::persist {

struct BlockLoad {
  ExprContext* ec;
  int32_t version;
  BlockCursor cursor;
  XEVLoadErrorCallback onError;
  // Oldest version only: an item or formula name was a date-part keyword and
  // got a "_" in front, so every later formula text must follow suit.
  bool keywordRenamed = false;
};

// The next formula record: its text, immediately followed by its name. Null
// (success cleared) when the record does not lie within the block.
inline const char* TakeFormulaRecord(BlockCursor& cursor) {
  const char* text = cursor.TakeString(Follow::kMayEnd);
  if (text == nullptr || cursor.TakeString(Follow::kMayEnd) == nullptr) return nullptr;
  return text;
}

inline const char* NameAfter(const char* text) { return text + std::strlen(text) + 1; }

// Versions 0 and 1: formulas in block order; the first that fails is
// reported to the load error callback and ends the load.
void LoadFormulasInOrder(BlockLoad& load, int32_t count);

// Versions 2 and 3: formulas that wait for a later one are retried in further
// passes, the others are offered to the user for correction, and the loaded
// formulas end in block order.
void LoadFormulasDeferring(BlockLoad& load, int32_t count);

// Writes text into destination with "_" in front of every token that reads as
// a date-part keyword; destination holds 2 * length(text) + 1 bytes. False
// when memory is short.
bool PrefixKeywordTokens(char* destination, const char* text);

}  // namespace xev::persist
