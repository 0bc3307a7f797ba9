// Formulas whose loading waits for a formula stored later in the block. The
// list is a handle array of entries in block order; an entry either points
// into the block or owns a corrected text that the user left in the editor.
#pragma once

#include <cstdint>

#include "core/handle_array.h"

namespace xev::persist {

struct DeferredFormula {
  const char* text;  // "text\0name\0": a record of the block or an owned buffer
  int32_t index;     // the record's position in the block's expression section
  int32_t owned;     // non-zero: text is a HostAlloc block the list frees
};

// Appends an entry, creating the list on first use; false (list unchanged)
// when memory is short.
bool AppendDeferred(core::HGLOBAL* list, const char* text, int32_t index, bool owned);
int32_t DeferredCount(core::HGLOBAL list);
// A copy of entry i.
DeferredFormula DeferredAt(core::HGLOBAL list, int32_t i);
// Frees every owned text, then the list; *list becomes null.
void DiscardDeferred(core::HGLOBAL* list);

}  // namespace xev::persist
