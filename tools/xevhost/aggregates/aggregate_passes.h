// The passes over the data that settle a report's aggregates, one per level
// of aggregate nesting, and the groups a grouped report collects on the way.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "aggregates/aggregates.h"
#include "input/csv_table.h"
#include "input/data_items.h"
#include "report/value_reader.h"

namespace xevhost {

struct Group {
  std::vector<std::string> firstRow;  // cells, code-page bytes: what row values show
  std::vector<TypedValue> keys;
};

// Rows sorted into groups by the values of key expressions. Without keys
// every row is in group 0, all rows; with keys, groups are numbered from 1
// in the order they are first seen and group 0 still stands for all rows.
class Grouping {
 public:
  explicit Grouping(std::vector<ValueReader> keys) : keys_(std::move(keys)) {}
  bool grouped() const { return !keys_.empty(); }
  size_t count() const { return groups_.size() + 1; }
  const Group& group(size_t g) const { return groups_[g - 1]; }
  std::vector<ValueReader>& keys() { return keys_; }

  // The current row's group; a group not seen before is added when create
  // is set, else the row counts to group 0.
  size_t GroupOf(const RowValues& rows, bool create);
  // Groups 1..n, first seen first or ordered by their keys.
  std::vector<size_t> Order(bool sorted) const;

 private:
  std::vector<ValueReader> keys_;
  std::vector<Group> groups_;
  std::unordered_map<std::string, size_t> index_;
  std::vector<TypedValue> scratch_;
  std::string key_;
};

// Runs the passes; each reads every row that where (when given) keeps.
// totals also settles group 0 in a grouped report. false with error set
// when the data file cannot be read again.
bool RunAggregatePasses(ExprContext* ec, CsvTable& table, HostState& state, ValueReader* where, Grouping& grouping,
                        AggregateTable& aggregates, bool totals, std::string& error);

}  // namespace xevhost
