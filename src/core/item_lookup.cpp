// Lookups over the item lists that the scanner, the parser and the evaluator
// ask while they resolve names, and the argument-count rule of function calls.
#include <cstring>

#include "core/core.h"
#include "core/item_index.h"
#include "core/item_store.h"
#include "platform/platform.h"

namespace xev::core {

LockedItems::LockedItems(HGLOBAL list) : list_(list) {
  if (list_ == nullptr) return;
  items_ = static_cast<ExpItem**>(HandleArrayLockElement(list_, 0));
  if (items_ != nullptr) count_ = HandleArrayCount(list_);
}

LockedItems::~LockedItems() {
  if (items_ != nullptr) HandleArrayUnlock(list_);
}

ExpItem* ItemAt(HGLOBAL list, uint32_t index) {
  if (list == nullptr || index >= HandleArrayCount(list)) return nullptr;
  ExpItem* item = nullptr;
  void* slot = HandleArrayLockElement(list, static_cast<int32_t>(index));
  if (slot == nullptr) return nullptr;
  std::memcpy(&item, slot, sizeof item);
  HandleArrayUnlock(list);
  return item;
}

// Every evaluation looks each call and data item up by name among all the
// registered items, so candidates are screened by length and first byte
// before their bytes are compared.
ExpItem* FindItem(HGLOBAL list, const char* name) {
  if (name == nullptr) return nullptr;
  size_t length = std::strlen(name);
  if (length >= sizeof(ExpItem::name)) return nullptr;  // stored names are shorter
  LockedItems items(list);
  for (ExpItem* item : items) {
    // A load that stopped inside the data item section leaves its last slot empty.
    if (item == nullptr || item->name[length] != '\0' || item->name[0] != name[0]) continue;
    if (std::memcmp(item->name, name, length) == 0) return item;
  }
  return nullptr;
}

int32_t DataItemType(ExprContext* ec, const char* name) {
  if (ec == nullptr) return -1;
  const ExpItem* item = FindDataItem(ec, name);
  return item == nullptr ? -1 : item->dataType;
}

int32_t FunctionReturnType(ExprContext* ec, const char* name) {
  if (ec == nullptr) return -1;
  const ExpItem* item = FindFunctionItem(ec, name);
  return item == nullptr ? -1 : item->dataType;
}

// Keyword names are usually written in any case; an item may insist on its
// exact spelling through its second subclass field.
int32_t KeywordItemType(ExprContext* ec, const char* name) {
  if (ec == nullptr || name == nullptr) return -1;
  LockedItems items(ec->keywordItems);
  for (const ExpItem* item : items) {
    bool same = item->subclass2 != 0 ? std::strcmp(item->name, name) == 0
                                     : platform::lstrcmpiA(item->name, name) == 0;
    if (same) return item->dataType;
  }
  return -1;
}

int32_t KeywordItemSubclass(ExprContext* ec, const char* name) {
  if (ec == nullptr || name == nullptr) return -1;
  LockedItems items(ec->keywordItems);
  for (const ExpItem* item : items) {
    if (platform::lstrcmpiA(item->name, name) == 0) return item->subclass;
  }
  return -1;
}

int32_t IsAggregateFunction(HGLOBAL list, const char* name) {
  const ExpItem* item = FindItem(list, name);
  if (item == nullptr) return 0;
  int32_t entries = item->paramCount < 0 ? 1 : item->paramCount;
  for (int32_t i = 0; i < entries; ++i) {
    if (item->params[i].byName != 0) return 1;
  }
  return 0;
}

// paramCount is what a plain call passes; subclass (A) is where a repeating
// group starts and subclass2 (B) how many arguments may follow A at most.
int32_t CheckArity(int32_t argCount, const ExpItem* function) {
  if (function == nullptr) return 1;
  const int32_t params = function->paramCount;
  const int32_t fixed = function->subclass;
  const int32_t extra = function->subclass2;
  if (argCount == params) return 0;
  if (argCount < params) {
    if (fixed == 0 || argCount < fixed || extra == 0) return -1;
    return argCount > fixed + extra ? 1 : 0;
  }
  if (fixed == 0) return 1;
  if (extra == 0) return 0;
  return argCount > fixed + extra ? 1 : 0;
}

}  // namespace xev::core
