// The context's index from names to data and function items. Parsing looks
// up every name it meets, and checking a new formula's name asks whether a
// function has it; a hash table saves walking the item lists each time.
//
// The index is made with the context and never allocates anew afterwards:
// when items change (the context's generation moves on) the next lookup lays
// it out again in place, growing the block only by reallocating it, and when
// that fails the lookup walks the list instead. So a lookup never fails and
// leaves the count of live blocks as it was.
#pragma once

#include <cstddef>
#include <cstring>

#include "core/core.h"
#include "core/item_store.h"
#include "core/name_hash.h"

namespace xev::core {

namespace item_index {

enum ListKind : uint32_t { kData = 0, kFunctions = 1, kListKinds = 2 };

// Two open-addressed tables (data items, then functions) of slotCount slots
// each, at most half full; a slot holds the first item of its name in list
// order, as a walk of the list would find it.
struct IndexBlock {
  uint32_t slotCount;  // a power of two
  uint32_t valid;      // laid out for the lists below at generation
  uint32_t generation;
  // Some function's name ends in a digit. Generated formula names all do, so
  // while none does, no generated name can be a function's.
  uint32_t functionNameEndsInDigit;
  // The same for data items of a keyword type, the only ones that make the
  // name check refuse a plain name.
  uint32_t keywordTypedDataNameEndsInDigit;
  HGLOBAL lists[kListKinds];
  ExpItem* slots[1];
};

constexpr size_t kNameField = sizeof(ExpItem::name);

// Stored names are terminated within the name field, so comparing the
// terminator too stays inside the field.
inline bool NameIs(const ExpItem* item, const char* name, size_t length) {
  return item->name[0] == name[0] && SameNameBytes(item->name, name, length + 1);
}

// True when block is laid out for ec's lists as they are now.
inline bool IsCurrent(const ExprContext* ec, const IndexBlock* block) {
  return block->valid != 0 && block->generation == ec->generation && block->lists[kData] == ec->dataItems &&
         block->lists[kFunctions] == ec->functionItems;
}

// The lookup when the index is missing or out of date: lays it out again or
// walks the list.
ExpItem* FindOutOfDate(ExprContext* ec, uint32_t kind, const char* name);

// The probe of a block known to be up to date, made in place: every leaf and
// call of a parse looks its name up.
inline ExpItem* FindIn(const IndexBlock* block, uint32_t kind, const char* name) {
  const size_t length = std::strlen(name);
  if (length >= kNameField) return nullptr;  // stored names are shorter
  const uint32_t mask = block->slotCount - 1;
  ExpItem* const* table = block->slots + kind * block->slotCount;
  for (uint32_t slot = HashNameBytes(name, length) & mask; table[slot] != nullptr; slot = (slot + 1) & mask) {
    if (NameIs(table[slot], name, length)) return table[slot];
  }
  return nullptr;
}

inline ExpItem* Find(ExprContext* ec, uint32_t kind, const char* name) {
  if (ec == nullptr || name == nullptr) return nullptr;
  const auto* block = static_cast<const IndexBlock*>(ec->itemIndex);
  if (block == nullptr || !IsCurrent(ec, block)) return FindOutOfDate(ec, kind, name);
  return FindIn(block, kind, name);
}

// The index laid out for ec's lists as they are now, or nullptr when there is
// none (memory was short). Nothing in a parse adds, removes or renames an
// item, so a parse asks this once and probes the block with FindIn after.
const IndexBlock* CurrentIndex(ExprContext* ec);

}  // namespace item_index

// Called by XEVCreateEC and XEVDestroyEC. A context without an index (memory
// was short when it was made) walks its lists.
void ItemIndexCreate(ExprContext* ec);
void ItemIndexRelease(ExprContext* ec);

// The same item FindItem(ec->dataItems or ec->functionItems, name) finds.
inline ExpItem* FindDataItem(ExprContext* ec, const char* name) {
  return item_index::Find(ec, item_index::kData, name);
}
inline ExpItem* FindFunctionItem(ExprContext* ec, const char* name) {
  return item_index::Find(ec, item_index::kFunctions, name);
}

// False when no function's name ends in a digit, so that no generated name
// can be one; true when one does or the index cannot tell.
bool FunctionNameMayEndInDigit(ExprContext* ec);
// The same for the names of data items of a keyword type.
bool KeywordTypedDataNameMayEndInDigit(ExprContext* ec);

// Records a change of the expression list only (see NoteContextChange): what
// was resolved by name may now resolve differently, but no item changed, so
// the item index stays as it is.
void NoteExpressionChange(ExprContext* ec);

}  // namespace xev::core
