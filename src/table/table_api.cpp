// Making a table (its copies of the context), binding data items to columns,
// and releasing it.
#include <cstring>
#include <thread>

#include "core/item_store.h"
#include "table/table.h"

namespace xev::table {
namespace {

int32_t ThreadsFor(int32_t asked) {
  if (asked > 0) return asked < kMaxThreads ? asked : kMaxThreads;
  unsigned processors = std::thread::hardware_concurrency();
  if (processors == 0) return 1;
  return processors < static_cast<unsigned>(kMaxThreads) ? static_cast<int32_t>(processors) : kMaxThreads;
}

// The operator callbacks decide which operators parse, so they are set
// before the formulas that may use them are parsed again.
bool CopyOperators(ExprContext* copy, const ExprContext* source) {
  for (int32_t op = 0; op < kOperatorCount; ++op) {
    for (int32_t slot = 0; slot < kOperatorSlots; ++slot) {
      const char* name = source->operators[op].names[slot];
      if (name != nullptr) {
        char* own = core::CopyString(name);
        if (own == nullptr) return false;
        HostFree(copy->operators[op].names[slot]);
        copy->operators[op].names[slot] = own;
      }
      copy->operators[op].bound[slot] = source->operators[op].bound[slot];
    }
  }
  return true;
}

// Parses again the formulas the plain copy left out (those that need the
// operators, and those that use them), until every one is there or a round
// adds none.
bool CompleteExpressions(ExprContext* copy, ExprContext* source) {
  const int32_t count = XEVGetExpressionCount(source);
  for (bool added = true; added && XEVGetExpressionCount(copy) < count;) {
    added = false;
    for (int32_t ordinal = 0; ordinal < count; ++ordinal) {
      HEXP exp = XEVHEXPFromOrdinal(source, ordinal);
      if (exp->name == nullptr || exp->text == nullptr || XEVHEXPFromName(copy, exp->name) != nullptr) continue;
      added = XEVParseString(copy, exp->text, exp->name, nullptr, nullptr) != nullptr || added;
    }
  }
  return XEVGetExpressionCount(copy) == count;
}

int32_t ItemCount(ExprContext* ec, int16_t kind) {
  return static_cast<int32_t>(core::HandleArrayCount(*core::ItemList(ec, kind)));
}

// A copy that holds everything the source holds, or nullptr.
ExprContext* CompleteCopy(ExprContext* source) {
  ExprContext* copy = XEVCopyEC(source);
  if (copy == nullptr) return nullptr;
  bool complete = CopyOperators(copy, source) && CompleteExpressions(copy, source);
  for (int16_t kind : {XEV_ITEM_FUNCTION, XEV_ITEM_DATA, XEV_ITEM_KEYWORD})
    complete = complete && ItemCount(copy, kind) == ItemCount(source, kind);
  if (complete) return copy;
  XEVDestroyEC(copy);
  return nullptr;
}

int32_t FindBinding(const XevTable* table, const char* name) {
  for (int32_t i = 0; i < table->bindingCount; ++i) {
    if (std::strcmp(table->bindings[i].name, name) == 0) return i;
  }
  return -1;
}

bool GrowBindings(XevTable* table) {
  if (table->bindingCount < table->bindingCapacity) return true;
  int32_t capacity = table->bindingCapacity == 0 ? 8 : table->bindingCapacity * 2;
  auto* bindings = static_cast<Binding*>(HostAlloc(sizeof(Binding) * static_cast<size_t>(capacity)));
  auto* byName = static_cast<int32_t*>(HostAlloc(sizeof(int32_t) * static_cast<size_t>(capacity)));
  if (bindings == nullptr || byName == nullptr) {
    HostFree(bindings);
    HostFree(byName);
    return false;
  }
  size_t used = static_cast<size_t>(table->bindingCount);
  if (used > 0) {
    std::memcpy(bindings, table->bindings, sizeof(Binding) * used);
    std::memcpy(byName, table->byName, sizeof(int32_t) * used);
  }
  HostFree(table->bindings);
  HostFree(table->byName);
  table->bindings = bindings;
  table->byName = byName;
  table->bindingCapacity = capacity;
  return true;
}

// Adds index to the name order, which the shared callback searches.
void InsertByName(XevTable* table, int32_t index) {
  const char* name = table->bindings[index].name;
  int32_t at = index;
  while (at > 0 && std::strcmp(table->bindings[table->byName[at - 1]].name, name) > 0) {
    table->byName[at] = table->byName[at - 1];
    --at;
  }
  table->byName[at] = index;
}

}  // namespace
}  // namespace xev::table

using namespace xev::table;

extern "C" {

XEV_API XevTable* XEV_CALL XEVTableCreate(ExprContext* ec, int32_t threads) {
  if (ec == nullptr) return nullptr;
  RegisterColumnReaders();
  auto* table = static_cast<XevTable*>(HostAlloc(sizeof(XevTable)));
  if (table == nullptr) return nullptr;
  table->source = ec;
  table->threadCount = ThreadsFor(threads);
  table->copies = static_cast<ExprContext**>(HostAlloc(sizeof(ExprContext*) * static_cast<size_t>(table->threadCount)));
  if (table->copies == nullptr) {
    XEVTableDestroy(table);
    return nullptr;
  }
  for (int32_t i = 0; i < table->threadCount; ++i) {
    table->copies[i] = CompleteCopy(ec);
    if (table->copies[i] == nullptr) {
      XEVTableDestroy(table);
      return nullptr;
    }
  }
  return table;
}

XEV_API void XEV_CALL XEVTableDestroy(XevTable* table) {
  if (table == nullptr) return;
  if (table->copies != nullptr) {
    for (int32_t i = 0; i < table->threadCount; ++i) XEVDestroyEC(table->copies[i]);
  }
  HostFree(table->copies);
  HostFree(table->bindings);
  HostFree(table->byName);
  HostFree(table);
}

XEV_API int32_t XEV_CALL XEVTableThreadCount(const XevTable* table) {
  return table == nullptr ? 0 : table->threadCount;
}

XEV_API int32_t XEV_CALL XEVTableBind(XevTable* table, const char* itemName, const XevColumn* column) {
  if (table == nullptr || itemName == nullptr || column == nullptr) return -1;
  if (std::strlen(itemName) >= sizeof(ExpItem::name)) return -1;
  const ExpItem* item = xev::core::FindItem(table->copies[0]->dataItems, itemName);
  if (item == nullptr || !KindFeedsType(column->kind, item->dataType) || !ColumnUsable(*column, 0)) return -1;
  int32_t index = FindBinding(table, itemName);
  if (index < 0) {
    if (!GrowBindings(table)) return -1;
    index = table->bindingCount++;
    Binding& binding = table->bindings[index];
    std::memset(&binding, 0, sizeof binding);
    std::strcpy(binding.name, itemName);
    binding.itemType = item->dataType;
    InsertByName(table, index);
    // Every copy's item now asks the column; what a plan resolved is made again.
    for (int32_t i = 0; i < table->threadCount; ++i) {
      ExprContext* copy = table->copies[i];
      xev::core::FindItem(copy->dataItems, itemName)->boundValue = ColumnCallback(index);
      xev::core::NoteContextChange(copy);
    }
  }
  table->bindings[index].column = *column;
  return index;
}

XEV_API int32_t XEV_CALL XEVTableUnixEpochDay(void) {
  const DateParts parts{1, 1, 1970, 0, 0, 0, 0};
  return DatePartsToDayNumber(&parts);
}

}  // extern "C"
