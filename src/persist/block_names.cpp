// Sorted formula names of the block being loaded.
#include "persist/block_names.h"

#include <algorithm>
#include <cstring>

#include "xev/xevhost.h"

namespace xev::persist {

BlockNames::~BlockNames() { HostFree(static_cast<void*>(entries_)); }

// Takes the same records LoadNameIsInBlock walks: at most the published
// count, and none past the block's end.
bool BlockNames::Build(const LoadFixState& state) {
  int32_t records = state.records == nullptr || state.recordCount < 1 ? 0 : state.recordCount;
  // One entry more than the records, so that a block without formulas still
  // counts as built.
  entries_ = static_cast<Entry*>(HostAlloc((static_cast<size_t>(records) + 1) * sizeof(Entry)));
  if (entries_ == nullptr) return false;
  const char* at = state.records;
  const char* end = state.records + state.recordsLength;
  while (count_ < records) {
    const char* textEnd = static_cast<const char*>(std::memchr(at, 0, static_cast<size_t>(end - at)));
    if (textEnd == nullptr) break;
    const char* name = textEnd + 1;
    const char* nameEnd = static_cast<const char*>(std::memchr(name, 0, static_cast<size_t>(end - name)));
    if (nameEnd == nullptr) break;
    entries_[count_++] = Entry{name, WaitQueue{}};
    at = nameEnd + 1;
  }
  std::sort(entries_, entries_ + count_,
            [](const Entry& a, const Entry& b) { return std::strcmp(a.name, b.name) < 0; });
  return true;
}

int32_t BlockNames::KeyOf(const char* name) const {
  if (entries_ == nullptr) return -1;
  const Entry* found = std::lower_bound(entries_, entries_ + count_, name,
                                        [](const Entry& e, const char* n) { return std::strcmp(e.name, n) < 0; });
  if (found == entries_ + count_ || std::strcmp(found->name, name) != 0) return -1;
  return static_cast<int32_t>(found - entries_);
}

int32_t BlockNames::CalledKey(const char* text, const ExprError& error) const {
  char word[kCalledNameSize];
  CalledName(text, &error, word);
  return KeyOf(word);
}

}  // namespace xev::persist
