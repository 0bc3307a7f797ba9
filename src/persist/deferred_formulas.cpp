// The list of deferred formulas, kept in a handle array like every list of
// the engine, and the queues linked through its entries.
#include "persist/deferred_formulas.h"

#include "xev/xevhost.h"

namespace xev::persist {
namespace {

void LinkAfter(core::HGLOBAL list, int32_t last, int32_t i) {
  DeferredFormula entry = DeferredAt(list, last);
  entry.next = i;
  PutDeferred(list, last, entry);
}

}  // namespace

bool AppendDeferred(core::HGLOBAL* list, const char* text, int32_t index, bool owned) {
  core::HGLOBAL grown = *list == nullptr
                            ? core::HandleArrayCreate(static_cast<int32_t>(sizeof(DeferredFormula)), 1)
                            : core::HandleArrayAppend(*list);
  if (grown == nullptr) return false;
  *list = grown;
  PutDeferred(grown, DeferredCount(grown) - 1, DeferredFormula{text, index, owned ? 1 : 0, -1, -1, ExprError{}});
  return true;
}

int32_t DeferredCount(core::HGLOBAL list) { return static_cast<int32_t>(core::HandleArrayCount(list)); }

DeferredFormula DeferredAt(core::HGLOBAL list, int32_t i) {
  auto* entry = static_cast<DeferredFormula*>(core::HandleArrayLockElement(list, i));
  if (entry == nullptr) return DeferredFormula{nullptr, -1, 0, -1, -1, ExprError{}};
  DeferredFormula copy = *entry;
  core::HandleArrayUnlock(list);
  return copy;
}

void PutDeferred(core::HGLOBAL list, int32_t i, const DeferredFormula& entry) {
  auto* slot = static_cast<DeferredFormula*>(core::HandleArrayLockElement(list, i));
  if (slot == nullptr) return;
  *slot = entry;
  core::HandleArrayUnlock(list);
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

void Enqueue(core::HGLOBAL list, WaitQueue& queue, int32_t i) {
  DeferredFormula entry = DeferredAt(list, i);
  entry.next = -1;
  PutDeferred(list, i, entry);
  if (queue.last >= 0) {
    LinkAfter(list, queue.last, i);
  } else {
    queue.first = i;
  }
  queue.last = i;
}

void MoveQueue(core::HGLOBAL list, WaitQueue& to, WaitQueue& from) {
  if (from.first < 0) return;
  if (to.last >= 0) {
    LinkAfter(list, to.last, from.first);
  } else {
    to.first = from.first;
  }
  to.last = from.last;
  from = WaitQueue{};
}

int32_t Dequeue(core::HGLOBAL list, WaitQueue& queue) {
  int32_t i = queue.first;
  if (i < 0) return -1;
  DeferredFormula entry = DeferredAt(list, i);
  queue.first = entry.next;
  if (queue.first < 0) queue.last = -1;
  entry.next = -1;
  PutDeferred(list, i, entry);
  return i;
}

}  // namespace xev::persist
