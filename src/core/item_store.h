// Storage of item records inside the core: how a list of ExpItem pointers is
// walked and how one item is released. Shared by the item entry points and by
// the context, which releases whole lists when it is destroyed.
#pragma once

#include <cstdint>

#include "core/core.h"

namespace xev::core {

// A list locked once for a walk that calls nothing that could change it.
// Unlocks when it goes out of scope.
class LockedItems {
 public:
  explicit LockedItems(HGLOBAL list);
  ~LockedItems();
  LockedItems(const LockedItems&) = delete;
  LockedItems& operator=(const LockedItems&) = delete;

  uint32_t size() const { return count_; }
  ExpItem* operator[](uint32_t index) const { return items_[index]; }
  ExpItem* const* begin() const { return items_; }
  ExpItem* const* end() const { return items_ + count_; }

 private:
  HGLOBAL list_;
  ExpItem** items_ = nullptr;
  uint32_t count_ = 0;
};

// The item in slot index, or nullptr outside the list. Locks only for the read,
// so it is safe between callbacks that may change the list.
ExpItem* ItemAt(HGLOBAL list, uint32_t index);

// A HostAlloc copy of a zero-terminated string (byte length + 1), or nullptr.
char* CopyString(const char* text);

// Frees the record and the EC's copy of its binding name.
void ReleaseItem(ExpItem* item);
// Releases every item and the list itself.
void ReleaseItemList(HGLOBAL list);
// Removes the first item named exactly name; false when there is none. The
// list stays, also when it becomes empty.
bool DeleteItemByName(HGLOBAL* list, const char* name);

}  // namespace xev::core
