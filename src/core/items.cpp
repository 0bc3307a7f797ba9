// Item records: adding them to the context, listing, copying out and deleting.
// Each kind keeps its own list of record pointers; records never move once
// stored, only their slots do.
#include <cstring>

#include "core/core.h"
#include "core/item_index.h"
#include "core/item_store.h"

namespace xev::core {

namespace {

constexpr int32_t kParamSize = static_cast<int32_t>(sizeof(ExpParam));
constexpr size_t kNameField = sizeof(ExpItem::name);

// Makes room for one more slot; the list handle is stored back at once.
bool AppendSlot(HGLOBAL* list) {
  HGLOBAL grown = *list == nullptr ? HandleArrayCreate(kSlotSize, 1) : HandleArrayAppend(*list);
  if (grown == nullptr) return false;
  *list = grown;
  return true;
}

// Undoes AppendSlot after the record could not be made. A list created for
// this item goes again, so the context looks as if nothing had been tried.
void DropLastSlot(HGLOBAL* list) {
  if (HandleArrayCount(*list) <= 1) {
    HandleArrayFree(*list);
    *list = nullptr;
    return;
  }
  *list = HandleArrayDelete(*list, static_cast<int32_t>(HandleArrayCount(*list) - 1));
}

void StoreInLastSlot(HGLOBAL list, ExpItem* item) {
  void* slot = HandleArrayLockElement(list, static_cast<int32_t>(HandleArrayCount(list) - 1));
  std::memcpy(slot, &item, sizeof item);
  HandleArrayUnlock(list);
}

// The binding name is the EC's own copy; the bound value is asked of the host
// only when the caller did not bring one, so copies keep what was resolved.
void BindItem(ExprContext* ec, ExpItem* stored, const ExpItem* given) {
  if (given->bindingName == nullptr) return;
  char* binding = CopyString(given->bindingName);
  stored->bindingName = binding;
  if (binding == nullptr || ec->resolveCallback == nullptr || given->boundValue != 0) return;
  stored->boundValue = ec->resolveCallback(binding);
}

int32_t IndexOfName(HGLOBAL list, const char* name) {
  LockedItems items(list);
  for (uint32_t i = 0; i < items.size(); ++i) {
    if (items[i] != nullptr && std::strcmp(items[i]->name, name) == 0) return static_cast<int32_t>(i);
  }
  return -1;
}

void DeleteItemAt(HGLOBAL* list, int32_t index) {
  ReleaseItem(ItemAt(*list, static_cast<uint32_t>(index)));
  *list = HandleArrayDelete(*list, index);
}

}  // namespace

char* CopyString(const char* text) {
  int32_t length = HostStrLen(text);
  auto* copy = static_cast<char*>(HostAlloc(static_cast<size_t>(length) + 1));
  if (copy != nullptr) std::memcpy(copy, text, static_cast<size_t>(length) + 1);
  return copy;
}

HGLOBAL* ItemList(ExprContext* ec, int16_t kind) {
  if (ec == nullptr) return nullptr;
  switch (kind) {
    case XEV_ITEM_FUNCTION: return &ec->functionItems;
    case XEV_ITEM_DATA: return &ec->dataItems;
    case XEV_ITEM_KEYWORD: return &ec->keywordItems;
    default: return nullptr;
  }
}

int32_t StoredItemSize(const ExpItem* item) {
  if (item->kind != XEV_ITEM_FUNCTION) return XEV_ITEM_FIXED_SIZE;
  // A negative count still gets one entry, so code reading the first
  // parameter of any function finds a record behind it.
  if (item->paramCount < 0) return XEV_ITEM_FIXED_SIZE + kParamSize;
  return XEV_ITEM_FIXED_SIZE + kParamSize * item->paramCount;
}

void ReleaseItem(ExpItem* item) {
  if (item == nullptr) return;
  HostFree(const_cast<char*>(item->bindingName));
  HostFree(item);
}

void ReleaseItemList(HGLOBAL list) {
  if (list == nullptr) return;
  {
    LockedItems items(list);
    for (ExpItem* item : items) ReleaseItem(item);
  }
  HandleArrayFree(list);
}

bool DeleteItemByName(HGLOBAL* list, const char* name) {
  if (list == nullptr || *list == nullptr || name == nullptr) return false;
  int32_t index = IndexOfName(*list, name);
  if (index < 0) return false;
  DeleteItemAt(list, index);
  return true;
}

}  // namespace xev::core

using namespace xev::core;

extern "C" {

XEV_API int32_t XEV_CALL XEVAddExpressionItem(ExprContext* ec, const ExpItem* item) {
  if (ec == nullptr || item == nullptr) return 0;
  HGLOBAL* list = ItemList(ec, item->kind);
  if (list == nullptr) return 0;
  if (!AppendSlot(list)) return 0;
  NoteContextChange(ec);

  int32_t size = StoredItemSize(item);
  auto* stored = static_cast<ExpItem*>(HostAlloc(static_cast<size_t>(size)));
  if (stored == nullptr) {
    DropLastSlot(list);
    return 0;
  }
  std::memcpy(stored, item, static_cast<size_t>(size));
  stored->name[kNameField - 1] = '\0';  // lookups rely on a terminated name
  stored->bindingName = nullptr;
  StoreInLastSlot(*list, stored);
  BindItem(ec, stored, item);
  return 1;
}

XEV_API void XEV_CALL XEVEnumExpItems(ExprContext* ec, int16_t kind, XEVEnumItemsCallback callback,
                                      intptr_t user) {
  HGLOBAL* list = ItemList(ec, kind);
  if (list == nullptr || callback == nullptr) return;
  // The callback may add or delete items, so each step re-reads the list; an
  // empty slot left by a stopped load is passed over.
  for (uint32_t i = 0; i < HandleArrayCount(*list); ++i) {
    ExpItem* item = ItemAt(*list, i);
    if (item != nullptr) callback(ec, item->name, user);
  }
}

XEV_API int32_t XEV_CALL XEVGetExpressionVariable(ExprContext* ec, ExpItem* out, const char* name) {
  if (ec == nullptr || out == nullptr || name == nullptr) return 0;
  // Through the index: a host binding its items asks this once per item,
  // and walking the list each time made that grow with the square of them.
  const ExpItem* item = FindDataItem(ec, name);
  if (item == nullptr) return 0;
  std::memcpy(out, item, XEV_ITEM_FIXED_SIZE);
  std::memset(&out->params[0], 0, sizeof out->params[0]);  // data items have no parameters
  return 1;
}

XEV_API int32_t XEV_CALL XEVDelExpItemNoCheck(ExprContext* ec, int16_t kind, const char* name) {
  NoteContextChange(ec);
  return DeleteItemByName(ItemList(ec, kind), name) ? 1 : 0;
}

XEV_API int32_t XEV_CALL XEVDeleteAllECVars(ExprContext* ec) {
  if (ec == nullptr || ec->dataItems == nullptr) return 0;
  NoteContextChange(ec);
  for (uint32_t count = HandleArrayCount(ec->dataItems); count > 0; --count) {
    DeleteItemAt(&ec->dataItems, static_cast<int32_t>(count - 1));
  }
  return 1;
}

}  // extern "C"
