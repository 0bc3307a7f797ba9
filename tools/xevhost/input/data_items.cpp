#include "input/data_items.h"

#include <cstring>
#include <unordered_set>

#include "input/column_types.h"

namespace xevhost {
namespace {

int32_t DeliverText(const std::string& text, int32_t size, void** result) {
  if (static_cast<size_t>(size) > text.size()) {
    std::memcpy(*result, text.c_str(), text.size() + 1);
    return 1;
  }
  return FUNStrVarResult(result, size, text.c_str());
}

void DeliverNumber(const NumberValue& value, void** result) {
  std::memcpy(*result, value.bytes, XEV_NUMBER_SIZE);
}

struct ItemCollector {
  ExprContext* ec;
  std::vector<std::string> names;
};

int32_t XEV_CALL CollectName(ExprContext* /*ec*/, const char* name, intptr_t user) {
  reinterpret_cast<ItemCollector*>(user)->names.emplace_back(name);
  return 1;
}

std::vector<std::string> DataItemNamesOf(ExprContext* ec) {
  ItemCollector collector{ec, {}};
  XEVEnumExpItems(ec, XEV_ITEM_DATA, CollectName, reinterpret_cast<intptr_t>(&collector));
  return collector.names;
}

}  // namespace

void RowValues::SetColumns(std::vector<Column> columns) {
  columns_ = std::move(columns);
  byName_.clear();
  for (size_t i = 0; i < columns_.size(); ++i) byName_.emplace(columns_[i].itemName, static_cast<int>(i));
  cells_.assign(columns_.size(), std::string());
  cache_.assign(columns_.size(), Cached{});
}

int RowValues::ColumnOf(std::string_view itemName) const {
  auto found = byName_.find(itemName);
  return found == byName_.end() ? -1 : found->second;
}

void RowValues::SetRow(std::vector<std::string>& cells) {
  cells_.swap(cells);
  cells_.resize(columns_.size());
  for (Cached& c : cache_) c.numberDone = c.dateDone = false;
}

int32_t RowValues::Deliver(int column, int type, int32_t size, void** result) {
  const std::string& cell = cells_[column];
  Cached& cached = cache_[column];
  if (type == XEV_TYPE_NUMBER || type == XEV_TYPE_DATETIME) {
    if (size < XEV_NUMBER_SIZE || *result == nullptr) return 0;
    // A cell that does not read as the item's type is NULL, as an empty one is.
    if (type == XEV_TYPE_NUMBER && !cached.numberDone) {
      if (!ParseNumberCell(cell, &cached.number)) NumberSetNull(&cached.number);
      cached.numberDone = true;
    }
    if (type == XEV_TYPE_DATETIME && !cached.dateDone) {
      if (!ParseDateTimeCell(cell, &cached.date)) NumberSetNull(&cached.date);
      cached.dateDone = true;
    }
    DeliverNumber(type == XEV_TYPE_NUMBER ? cached.number : cached.date, result);
    return 1;
  }
  return DeliverText(cell, size, result);
}

int32_t XEV_CALL ReadCell(ExprContext* ec, HEXP /*exp*/, int32_t size, void** result, const char* name) {
  auto* state = reinterpret_cast<HostState*>(XEVGetUserLong(ec));
  if (state == nullptr || name == nullptr || result == nullptr) return 0;
  // The engine passes the name as its parse tree holds it, at the same address
  // row after row, so lookups are remembered by address; the text comparison
  // keeps a reused address from ever finding another item's column.
  auto slot = (reinterpret_cast<uintptr_t>(name) >> 3) % HostState::kCacheSize;
  HostState::CacheEntry& entry = state->cache[slot];
  if (entry.address != name || std::strcmp(entry.key->c_str(), name) != 0) {
    auto found = state->bindings.find(name);
    if (found == state->bindings.end()) return 0;
    entry = HostState::CacheEntry{name, &found->first, found->second};
  }
  if (entry.binding.column < 0) return 0;
  return state->rows.Deliver(entry.binding.column, entry.binding.type, size, result);
}

intptr_t XEV_CALL ResolveBinding(const char* bindingName) {
  if (bindingName == nullptr) return 0;
  if (std::strncmp(bindingName, kBindingPrefix.data(), kBindingPrefix.size()) != 0) return 0;
  return reinterpret_cast<intptr_t>(&ReadCell);
}

namespace {
int32_t XEV_CALL NoValue(ExprContext*, HEXP, int32_t, void**, const char*) { return 0; }
}  // namespace

intptr_t XEV_CALL ResolveAnyBinding(const char* /*bindingName*/) {
  return reinterpret_cast<intptr_t>(&NoValue);
}

bool AddColumnItems(ExprContext* ec, const std::vector<Column>& columns) {
  std::vector<std::string> names = DataItemNamesOf(ec);
  std::unordered_set<std::string> existing(names.begin(), names.end());
  for (const Column& column : columns) {
    if (existing.count(column.itemName) != 0) continue;
    std::string binding = std::string(kBindingPrefix) + column.header;
    ExpItem item;
    std::memset(&item, 0, sizeof item);
    item.kind = XEV_ITEM_DATA;
    item.dataType = static_cast<int16_t>(column.type);
    item.bindingName = binding.c_str();
    item.boundValue = reinterpret_cast<intptr_t>(&ReadCell);
    std::strncpy(item.name, column.itemName.c_str(), sizeof item.name - 1);
    if (XEVAddExpressionItem(ec, &item) != 1) return false;
  }
  return true;
}

void BindItems(ExprContext* ec, HostState& state, std::vector<std::string>& missing) {
  state.bindings.clear();
  state.ClearCache();
  for (const std::string& name : DataItemNamesOf(ec)) {
    ExpItem item;
    std::memset(&item, 0, sizeof item);
    if (XEVGetExpressionVariable(ec, &item, name.c_str()) != 1) continue;
    int column = state.rows.ColumnOf(name);
    if (column < 0) missing.push_back(name);
    state.bindings.emplace(name, HostState::Binding{column, item.dataType});
  }
}

}  // namespace xevhost
