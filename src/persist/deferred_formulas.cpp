// The list of deferred formulas, kept in a handle array like every list of
// the engine.
#include "persist/deferred_formulas.h"

#include "xev/xevhost.h"

namespace xev::persist {

bool AppendDeferred(core::HGLOBAL* list, const char* text, int32_t index, bool owned) {
  core::HGLOBAL grown = *list == nullptr
                            ? core::HandleArrayCreate(static_cast<int32_t>(sizeof(DeferredFormula)), 1)
                            : core::HandleArrayAppend(*list);
  if (grown == nullptr) return false;
  *list = grown;
  int32_t last = DeferredCount(grown) - 1;
  auto* entry = static_cast<DeferredFormula*>(core::HandleArrayLockElement(grown, last));
  *entry = DeferredFormula{text, index, owned ? 1 : 0};
  core::HandleArrayUnlock(grown);
  return true;
}

int32_t DeferredCount(core::HGLOBAL list) { return static_cast<int32_t>(core::HandleArrayCount(list)); }

DeferredFormula DeferredAt(core::HGLOBAL list, int32_t i) {
  auto* entry = static_cast<DeferredFormula*>(core::HandleArrayLockElement(list, i));
  if (entry == nullptr) return DeferredFormula{nullptr, -1, 0};
  DeferredFormula copy = *entry;
  core::HandleArrayUnlock(list);
  return copy;
}

void DiscardDeferred(core::HGLOBAL* list) {
  if (*list == nullptr) return;
  int32_t count = DeferredCount(*list);
  for (int32_t i = 0; i < count; ++i) {
    DeferredFormula entry = DeferredAt(*list, i);
    if (entry.owned != 0) HostFree(const_cast<char*>(entry.text));
  }
  core::HandleArrayFree(*list);
  *list = nullptr;
}

}  // namespace xev::persist
