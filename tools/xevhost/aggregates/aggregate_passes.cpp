#include "aggregates/aggregate_passes.h"

#include <algorithm>

#include "report/progress.h"

namespace xevhost {
namespace {

constexpr uint64_t kProgressRows = 100000;

// Aggregates skip NULL; an empty String cell is the String form of it.
void ReadArgument(ValueReader& reader, TypedValue& value) {
  reader.Read(value);
  if (reader.type() == XEV_TYPE_STRING && value.text.empty()) value.null = true;
}

class LevelPass {
 public:
  LevelPass(AggregateTable& aggregates, int level, std::vector<ValueReader>& readers)
      : aggregates_(aggregates), level_(level), readers_(readers) {}

  void Accumulate(size_t group) {
    aggregates_.SetCurrentGroup(group);
    const std::vector<AggregateRequest>& requests = aggregates_.requests();
    for (size_t r = 0; r < requests.size(); ++r) {
      if (requests[r].level != level_) continue;
      if (!requests[r].star) ReadArgument(readers_[r], value_);
      aggregates_.At(group, r).Add(requests[r], value_);
    }
  }

 private:
  AggregateTable& aggregates_;
  int level_;
  std::vector<ValueReader>& readers_;
  TypedValue value_;
};

}  // namespace

size_t Grouping::GroupOf(const RowValues& rows, bool create) {
  if (keys_.empty()) return 0;
  scratch_.resize(keys_.size());
  key_.clear();
  for (size_t k = 0; k < keys_.size(); ++k) {
    keys_[k].Read(scratch_[k]);
    key_ += scratch_[k].null ? "\x01" : ValueText(scratch_[k], keys_[k].type());
    key_ += '\x1f';
  }
  auto found = index_.find(key_);
  if (found != index_.end()) return found->second;
  if (!create) return 0;
  groups_.push_back(Group{rows.cells(), scratch_});
  index_.emplace(key_, groups_.size());
  return groups_.size();
}

std::vector<size_t> Grouping::Order(bool sorted) const {
  std::vector<size_t> order;
  for (size_t g = 1; g <= groups_.size(); ++g) order.push_back(g);
  if (!sorted) return order;
  std::stable_sort(order.begin(), order.end(), [this](size_t a, size_t b) {
    for (size_t k = 0; k < keys_.size(); ++k) {
      int c = CompareValues(group(a).keys[k], group(b).keys[k], keys_[k].type());
      if (c != 0) return c < 0;
    }
    return false;
  });
  return order;
}

bool RunAggregatePasses(ExprContext* ec, CsvTable& table, HostState& state, ValueReader* where, Grouping& grouping,
                        AggregateTable& aggregates, bool totals, std::string& error) {
  std::vector<ValueReader> readers;
  for (const AggregateRequest& request : aggregates.requests())
    readers.emplace_back(ec, request.argumentExp, request.type);
  std::vector<std::string> cells;
  // Groups are found in the first pass, so a grouped report makes one even
  // when no formula calls an aggregate.
  int passes = std::max(aggregates.maxLevel(), grouping.grouped() ? 1 : 0);
  for (int level = 1; level <= passes; ++level) {
    if (!table.Restart(error)) return false;
    aggregates.SetGroupCount(grouping.count());
    LevelPass pass(aggregates, level, readers);
    Progress progress("aggregating", table.rowCount(), kProgressRows);
    uint64_t rowsRead = 0;
    while (table.NextRow(cells, error)) {
      state.rows.SetRow(cells);
      ++rowsRead;
      progress.Update(rowsRead, rowsRead);
      aggregates.SetCurrentGroup(0);
      if (where != nullptr && !where->IsTrue()) continue;
      size_t group = grouping.GroupOf(state.rows, level == 1);
      if (group >= grouping.count() - 1) aggregates.SetGroupCount(grouping.count());
      pass.Accumulate(group);
      if (group != 0 && totals) pass.Accumulate(0);
    }
    progress.Finish();
    if (!error.empty()) return false;
    aggregates.FinishLevel(level);
  }
  return true;
}

}  // namespace xevhost
