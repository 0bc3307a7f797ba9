// The entries of a list box or combo box: texts copied into HostAlloc blocks,
// each with its item data and what its owner last drew for it. Entries are
// kept in one growing array; an operation that cannot get memory leaves the
// list exactly as it was.
#pragma once

#include <cstdint>

#include "platform/ui/owner_draw.h"

namespace xev::ui::kit {

struct Entry {
  char* text;  // never null
  intptr_t data;
  DrawnRecord drawn;
};

class EntryList {
 public:
  int32_t Count() const { return count_; }
  bool Holds(int32_t index) const { return index >= 0 && index < count_; }
  Entry* At(int32_t index) { return Holds(index) ? &entries_[index] : nullptr; }
  const Entry* At(int32_t index) const { return Holds(index) ? &entries_[index] : nullptr; }

  // Where a sorted list puts text: before the first entry that compares
  // greater without regard to case, so equal texts keep their arrival order.
  int32_t SortedPosition(const char* text) const;
  // Inserts a copy of text (null reads as "") at index, 0..Count(); returns
  // index, or -1 when memory is short.
  int32_t Insert(int32_t index, const char* text, intptr_t data);
  // Inserts at the sorted position or at the end.
  int32_t Add(const char* text, bool sorted) { return Insert(sorted ? SortedPosition(text) : count_, text, 0); }
  bool Remove(int32_t index);
  // Frees every entry and the array.
  void Clear();
  // The next entry after `after` (-1: from the start) whose text equals text
  // without regard to case, wrapping round; -1 when none does.
  int32_t FindExact(int32_t after, const char* text) const;
  // The next entry after `after` (-1: from the start) whose text begins with
  // the first length bytes of prefix without regard to case, wrapping round;
  // -1 when none does or the prefix is longer than kMaxPrefix.
  static constexpr int32_t kMaxPrefix = 32;
  int32_t FindPrefix(int32_t after, const char* prefix, int32_t length) const;
  // Copies the text of an entry with its terminator; its length, or -1.
  int32_t CopyText(int32_t index, char* buffer) const;
  int32_t TextLength(int32_t index) const;

 private:
  bool Reserve(int32_t count);

  Entry* entries_ = nullptr;  // HostAlloc
  int32_t count_ = 0;
  int32_t capacity_ = 0;
};

}  // namespace xev::ui::kit
