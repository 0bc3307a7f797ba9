// The entry store shared by list boxes and combo boxes.
#include "platform/ui/entry_list.h"

#include <cstring>

#include "platform/platform.h"
#include "xev/xevhost.h"

namespace xev::ui::kit {

int32_t EntryList::SortedPosition(const char* text) const {
  if (text == nullptr) text = "";
  // Binary search for the first entry that compares greater: equal texts
  // stay in the order they came in.
  int32_t low = 0, high = count_;
  while (low < high) {
    int32_t middle = low + (high - low) / 2;
    if (platform::lstrcmpiA(entries_[middle].text, text) > 0) high = middle;
    else low = middle + 1;
  }
  return low;
}

bool EntryList::Reserve(int32_t count) {
  if (count <= capacity_) return true;
  int32_t capacity = capacity_ == 0 ? 8 : capacity_ * 2;
  if (capacity < count) capacity = count;
  auto* grown = static_cast<Entry*>(HostRealloc(entries_, sizeof(Entry) * static_cast<size_t>(capacity)));
  if (grown == nullptr) return false;
  entries_ = grown;
  capacity_ = capacity;
  return true;
}

int32_t EntryList::Insert(int32_t index, const char* text, intptr_t data) {
  if (index < 0 || index > count_) return -1;
  if (text == nullptr) text = "";
  size_t length = std::strlen(text);
  auto* copy = static_cast<char*>(HostAlloc(length + 1));
  if (copy == nullptr) return -1;
  std::memcpy(copy, text, length + 1);
  if (!Reserve(count_ + 1)) {
    HostFree(copy);
    return -1;
  }
  std::memmove(&entries_[index + 1], &entries_[index], sizeof(Entry) * static_cast<size_t>(count_ - index));
  entries_[index] = Entry{copy, data, DrawnRecord{}};
  ++count_;
  return index;
}

bool EntryList::Remove(int32_t index) {
  if (!Holds(index)) return false;
  HostFree(entries_[index].text);
  ClearDrawnRecord(&entries_[index].drawn);
  std::memmove(&entries_[index], &entries_[index + 1], sizeof(Entry) * static_cast<size_t>(count_ - index - 1));
  --count_;
  return true;
}

void EntryList::Clear() {
  for (int32_t i = 0; i < count_; ++i) {
    HostFree(entries_[i].text);
    ClearDrawnRecord(&entries_[i].drawn);
  }
  HostFree(entries_);
  entries_ = nullptr;
  count_ = 0;
  capacity_ = 0;
}

int32_t EntryList::FindExact(int32_t after, const char* text) const {
  if (text == nullptr || count_ == 0) return -1;
  if (!Holds(after)) after = -1;
  for (int32_t step = 1; step <= count_; ++step) {
    int32_t index = (after + step) % count_;
    if (platform::lstrcmpiA(entries_[index].text, text) == 0) return index;
  }
  return -1;
}

int32_t EntryList::FindPrefix(int32_t after, const char* prefix, int32_t length) const {
  if (prefix == nullptr || length <= 0 || length > kMaxPrefix || count_ == 0) return -1;
  char wanted[kMaxPrefix];
  std::memcpy(wanted, prefix, static_cast<size_t>(length));
  platform::CharUpperBuffA(wanted, static_cast<uint32_t>(length));
  if (!Holds(after)) after = -1;
  for (int32_t step = 1; step <= count_; ++step) {
    int32_t index = (after + step) % count_;
    const char* text = entries_[index].text;
    if (static_cast<int32_t>(strnlen(text, static_cast<size_t>(length))) < length) continue;
    char head[kMaxPrefix];
    std::memcpy(head, text, static_cast<size_t>(length));
    platform::CharUpperBuffA(head, static_cast<uint32_t>(length));
    if (std::memcmp(head, wanted, static_cast<size_t>(length)) == 0) return index;
  }
  return -1;
}

int32_t EntryList::CopyText(int32_t index, char* buffer) const {
  if (!Holds(index) || buffer == nullptr) return -1;
  size_t length = std::strlen(entries_[index].text);
  std::memcpy(buffer, entries_[index].text, length + 1);
  return static_cast<int32_t>(length);
}

int32_t EntryList::TextLength(int32_t index) const {
  return Holds(index) ? static_cast<int32_t>(std::strlen(entries_[index].text)) : -1;
}

}  // namespace xev::ui::kit
