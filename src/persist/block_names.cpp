// Sorted formula names of the block being loaded.
#include "persist/block_names.h"

#include <algorithm>
#include <cstring>

#include "xev/xevhost.h"

namespace xev::persist {
namespace {

bool NameBefore(const char* a, const char* b) { return std::strcmp(a, b) < 0; }

}  // namespace

BlockNames::~BlockNames() { HostFree(static_cast<void*>(names_)); }

// Takes the same records LoadNameIsInBlock walks: at most the published
// count, and none past the block's end.
bool BlockNames::Build(const LoadFixState& state) {
  if (state.records == nullptr || state.recordCount < 1) return true;
  names_ = static_cast<const char**>(HostAlloc(static_cast<size_t>(state.recordCount) * sizeof(const char*)));
  if (names_ == nullptr) return false;
  const char* at = state.records;
  const char* end = state.records + state.recordsLength;
  while (count_ < state.recordCount) {
    const char* textEnd = static_cast<const char*>(std::memchr(at, 0, static_cast<size_t>(end - at)));
    if (textEnd == nullptr) break;
    const char* name = textEnd + 1;
    const char* nameEnd = static_cast<const char*>(std::memchr(name, 0, static_cast<size_t>(end - name)));
    if (nameEnd == nullptr) break;
    names_[count_++] = name;
    at = nameEnd + 1;
  }
  std::sort(names_, names_ + count_, NameBefore);
  return true;
}

bool BlockNames::Contains(const char* text, const ExprError& error, const LoadFixState& state) {
  if (names_ == nullptr && !unavailable_ && !Build(state)) unavailable_ = true;
  if (unavailable_)
    return LoadNameIsInBlock(text, state.records, state.recordsLength, &error, state.recordCount) != 0;
  char word[kCalledNameSize];
  CalledName(text, &error, word);
  return std::binary_search(names_, names_ + count_, static_cast<const char*>(word), NameBefore);
}

}  // namespace xev::persist
