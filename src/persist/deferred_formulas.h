// Formulas whose loading waits for a formula stored later in the block. The
// list is a handle array of entries in the order they first waited; an entry
// either points into the block or owns a corrected text that the user left in
// the editor. Entries also link into queues: the formulas waiting for one
// name, and those ready to be tried again.
#pragma once

#include <cstdint>

#include "core/handle_array.h"
#include "xev/xev.h"

namespace xev::persist {

struct DeferredFormula {
  const char* text;   // "text\0name\0": a record of the block or an owned buffer
  int32_t index;      // the record's position in the block's expression section
  int32_t owned;      // non-zero: text is a HostAlloc block the list frees
  int32_t waitsFor;   // the key of the name it waits for (block_names.h), or -1
  int32_t next;       // the entry after it in its queue, or -1
  ExprError error;    // why it waits; reported when nothing ever wakes it
};

// Entries in the order they joined, linked through DeferredFormula::next.
struct WaitQueue {
  int32_t first = -1;
  int32_t last = -1;
};

// Appends an entry, creating the list on first use; false (list unchanged)
// when memory is short.
bool AppendDeferred(core::HGLOBAL* list, const char* text, int32_t index, bool owned);
int32_t DeferredCount(core::HGLOBAL list);
// A copy of entry i, and the copy stored back.
DeferredFormula DeferredAt(core::HGLOBAL list, int32_t i);
void PutDeferred(core::HGLOBAL list, int32_t i, const DeferredFormula& entry);
// Frees every owned text, then the list; *list becomes null.
void DiscardDeferred(core::HGLOBAL* list);

// Entry i joins the end of queue.
void Enqueue(core::HGLOBAL list, WaitQueue& queue, int32_t i);
// Moves every entry of from to the end of to, in order.
void MoveQueue(core::HGLOBAL list, WaitQueue& to, WaitQueue& from);
// Takes the first entry of queue off it; -1 when it is empty.
int32_t Dequeue(core::HGLOBAL list, WaitQueue& queue);

}  // namespace xev::persist
