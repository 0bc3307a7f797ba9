// The tool's aggregate functions (Sum, Average, Count, Minimum, Maximum): what
// each request asks for, how its value builds up over the rows of a group,
// and the function the engine calls, which answers from values a pass over
// the data has already settled.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "xev/xev.h"

namespace xevhost {

enum class AggregateKind { kSum, kAverage, kCount, kMinimum, kMaximum };

// A value of any type: Number and DateTime in number, String in text.
struct TypedValue {
  bool null = true;
  NumberValue number{};
  std::string text;
};

struct AggregateRequest {
  AggregateKind kind = AggregateKind::kSum;
  std::string function;  // as written
  std::string argument;  // empty for (*)
  bool star = false;
  bool distinct = false;
  bool formula = false;
  int type = XEV_TYPE_NUMBER;  // of the argument
  int level = 1;               // passes needed before its own: those of the aggregates its argument uses
  HEXP argumentExp = nullptr;  // reads the argument for the current row
};

// One request's value over the rows of one group, built up row by row.
class Accumulator {
 public:
  void Add(const AggregateRequest& request, const TypedValue& value);
  TypedValue Finish(const AggregateRequest& request) const;

 private:
  int64_t count_ = 0;
  NumberValue sum_{};
  bool haveSum_ = false;
  TypedValue extreme_;
  std::unique_ptr<std::unordered_set<std::string>> seen_;  // DISTINCT only
};

// Every aggregate request of the report and the values settled so far, per
// group. Group 0 is all rows; grouped reports number their groups from 1.
class AggregateTable {
 public:
  std::vector<AggregateRequest>& requests() { return requests_; }
  const std::vector<AggregateRequest>& requests() const { return requests_; }
  int maxLevel() const;

  // A call seen in formula exp's text. Both Count(x) and Count(DISTINCT x)
  // may be in a report; the engine does not say which one is calling, so a
  // formula holding both is refused by the caller before any evaluation.
  int AddCall(HEXP exp, const AggregateRequest& request);
  int Find(HEXP exp, const char* function, const char* argument) const;

  void SetGroupCount(size_t groups);
  Accumulator& At(size_t group, size_t request) { return accumulators_[group * requests_.size() + request]; }
  // Settles every request of level over every group.
  void FinishLevel(int level);

  void SetCurrentGroup(size_t group) { currentGroup_ = group; }
  // The settled value for the current group; null before its level is done.
  const TypedValue* Current(int request) const;

 private:
  static std::string Key(const std::string& function, const std::string& argument);
  std::vector<AggregateRequest> requests_;
  std::map<std::string, std::vector<int>> byCall_;  // plain and DISTINCT forms of one call
  std::map<std::pair<HEXP, std::string>, bool> distinctIn_;  // formula, call -> DISTINCT written
  std::vector<Accumulator> accumulators_;
  std::vector<TypedValue> results_;
  std::vector<bool> settled_;
  size_t groups_ = 0;
  size_t currentGroup_ = 0;
};

// The names the aggregates are called by.
const std::vector<std::string>& AggregateNames();
bool AggregateKindOf(const std::string& name, AggregateKind& kind);

// Registers the aggregates, @NOW and @PI in ec unless it holds them already
// (a name already taken keeps its owner). false when the engine refuses one.
bool DefineHostFunctions(ExprContext* ec);

}  // namespace xevhost
