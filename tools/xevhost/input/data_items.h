// The CSV columns as data items of an expression context: their records, the
// one value callback every one of them is bound to, and the current row that
// callback reads.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "xev/xev.h"

namespace xevhost {

struct Column {
  std::string header;    // as written in the file, code-page bytes
  std::string itemName;  // what formulas call it
  int type = XEV_TYPE_STRING;
  bool wholeNumbers = false;  // a Number column of integers that fit an int64_t
};

// Binding names of the tool's data items start with this; a document saved
// by the tool names the column it read after it.
inline constexpr std::string_view kBindingPrefix = "csv:";

// The values of the current row, converted lazily to the type each data item
// asks for, so a column is read as a number only when a formula needs it.
class RowValues {
 public:
  void SetColumns(std::vector<Column> columns);
  const std::vector<Column>& columns() const { return columns_; }
  int ColumnOf(std::string_view itemName) const;
  const std::vector<std::string>& cells() const { return cells_; }

  // Takes the row's cells (code-page bytes); the vector is swapped in.
  void SetRow(std::vector<std::string>& cells);

  // Writes the value of column as a value block of type, as a data item
  // callback must (growing a String block when needed). 0 when growing fails.
  int32_t Deliver(int column, int type, int32_t size, void** result);

 private:
  struct Cached {
    bool numberDone = false;
    bool dateDone = false;
    NumberValue number{};
    NumberValue date{};
  };
  std::vector<Column> columns_;
  std::unordered_map<std::string_view, int> byName_;
  std::vector<std::string> cells_;
  std::vector<Cached> cache_;
};

// What the data item callback finds through the context's user long.
struct LoadReporter;
class AggregateTable;

struct HostState {
  RowValues rows;
  LoadReporter* loadReporter = nullptr;  // set while a document loads
  AggregateTable* aggregates = nullptr;  // set while a report with aggregates runs
  NumberValue now{};                     // what @NOW gives: the start of the run
  // Data item name -> {column, item type}; built once the items are known.
  struct Binding {
    int column;
    int type;
  };
  std::unordered_map<std::string, Binding> bindings;
  // Remembered lookups by name address (see ReadCell). key points at the
  // bindings entry's own name, so a hit is confirmed by comparing texts.
  struct CacheEntry {
    const char* address = nullptr;
    const std::string* key = nullptr;
    Binding binding{-1, 0};
  };
  static constexpr size_t kCacheSize = 64;
  CacheEntry cache[kCacheSize];
  void ClearCache() {
    for (CacheEntry& e : cache) e = CacheEntry{};
  }
};

// The value callback of every data item of the tool.
int32_t XEV_CALL ReadCell(ExprContext* ec, HEXP exp, int32_t size, void** result, const char* name);

// Resolves the tool's binding names to ReadCell; anything else is unknown (0).
intptr_t XEV_CALL ResolveBinding(const char* bindingName);
// Resolves every name, to a callback that gives no value: for looking into
// documents of other hosts without evaluating anything.
intptr_t XEV_CALL ResolveAnyBinding(const char* bindingName);

// Adds one data item per column whose name the context does not hold yet.
// Returns false when the engine refuses an item.
bool AddColumnItems(ExprContext* ec, const std::vector<Column>& columns);

// Fills state.bindings from the data items the context holds, matching them
// to columns by name. Names of items without a column go to missing.
void BindItems(ExprContext* ec, HostState& state, std::vector<std::string>& missing);

}  // namespace xevhost
