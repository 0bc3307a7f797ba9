#include "aggregates/aggregates.h"

#include <algorithm>
#include <cstring>

#include "input/data_items.h"
#include "report/report_output.h"

namespace xevhost {
namespace {

constexpr std::string_view kHostFunctionPrefix = "xevhost:";

struct AggregateName {
  const char* name;
  AggregateKind kind;
};
constexpr AggregateName kAggregates[] = {{"Sum", AggregateKind::kSum},
                                         {"Average", AggregateKind::kAverage},
                                         {"Count", AggregateKind::kCount},
                                         {"Minimum", AggregateKind::kMinimum},
                                         {"Maximum", AggregateKind::kMaximum}};

// What a DISTINCT set compares: equal values give equal keys whatever their
// digits looked like in the file.
std::string DistinctKey(const AggregateRequest& request, const TypedValue& value) {
  return request.type == XEV_TYPE_STRING ? value.text : NumberText(value.number);
}

bool IsBefore(const AggregateRequest& request, const TypedValue& a, const TypedValue& b) {
  if (request.type == XEV_TYPE_STRING) return a.text < b.text;
  return NumberCompare(&a.number, &b.number) < 0;
}

HostState* StateOf(ExprContext* ec) { return reinterpret_cast<HostState*>(XEVGetUserLong(ec)); }

int32_t WriteResult(const TypedValue& value, bool text, int32_t size, void** result) {
  if (text) return FUNStrVarResult(result, size, value.text.c_str());
  if (size < XEV_NUMBER_SIZE || *result == nullptr) return 0;
  NumberValue out = value.number;
  if (value.null) NumberSetNull(&out);
  std::memcpy(*result, out.bytes, XEV_NUMBER_SIZE);
  return 1;
}

int32_t XEV_CALL AggregateEntry(ExprContext* ec, HEXP exp, int32_t size, void** result, const char* name,
                                void** args) {
  HostState* state = StateOf(ec);
  if (state == nullptr || state->aggregates == nullptr || name == nullptr) return 0;
  const char* argument = args == nullptr ? "" : static_cast<const char*>(args[0]);
  if (argument == nullptr) return 0;  // an expression, refused before any row
  int index = state->aggregates->Find(exp, name, argument);
  if (index < 0) return 0;
  const TypedValue* value = state->aggregates->Current(index);
  if (value == nullptr) return 0;
  const AggregateRequest& request = state->aggregates->requests()[static_cast<size_t>(index)];
  bool text = request.type == XEV_TYPE_STRING && request.kind != AggregateKind::kCount;
  return WriteResult(*value, text, size, result);
}

int32_t XEV_CALL NowEntry(ExprContext* ec, HEXP, int32_t size, void** result, const char*, void**) {
  HostState* state = StateOf(ec);
  if (state == nullptr) return 0;
  TypedValue now;
  now.null = NumberIsNull(&state->now) != 0;
  now.number = state->now;
  return WriteResult(now, false, size, result);
}

int32_t XEV_CALL PiEntry(ExprContext*, HEXP, int32_t size, void** result, const char*, void**) {
  TypedValue pi;
  pi.null = false;
  // As many digits as a Number holds; the runtime rounds the rest away.
  HostStrToNumber(&pi.number, "3.14159265358979323846264338327950288");
  return WriteResult(pi, false, size, result);
}

struct HostFunction {
  const char* name;
  XEVFunctionEntry entry;
  int16_t returnType;
  int16_t paramType;  // -1: no parameter
  uint16_t flags;
};

constexpr uint16_t kAggregateFlags = XEV_FN_DISTINCT | XEV_FN_ALL | XEV_FN_ANY_BY_NAME;
// Type 4 returns the argument's own type (Minimum of dates is a date); type 5
// is what admits Count(*).
constexpr HostFunction kHostFunctions[] = {
    {"Sum", AggregateEntry, XEV_TYPE_NUMBER, XEV_TYPE_NUMBER, kAggregateFlags},
    {"Average", AggregateEntry, XEV_TYPE_NUMBER, XEV_TYPE_NUMBER, kAggregateFlags},
    {"Count", AggregateEntry, XEV_TYPE_NUMBER, XEV_TYPE_ANY, kAggregateFlags},
    {"Minimum", AggregateEntry, XEV_TYPE_MATCHING, XEV_TYPE_MATCHING, kAggregateFlags},
    {"Maximum", AggregateEntry, XEV_TYPE_MATCHING, XEV_TYPE_MATCHING, kAggregateFlags},
    {"@NOW", NowEntry, XEV_TYPE_DATETIME, -1, 0},
    {"@PI", PiEntry, XEV_TYPE_NUMBER, -1, 0},
};

bool HasFunction(ExprContext* ec, const char* name) {
  struct Finder {
    const char* name;
    bool found;
  } finder{name, false};
  XEVEnumExpItems(
      ec, XEV_ITEM_FUNCTION,
      [](ExprContext*, const char* n, intptr_t user) -> int32_t {
        auto* f = reinterpret_cast<Finder*>(user);
        f->found = f->found || std::strcmp(n, f->name) == 0;
        return 1;
      },
      reinterpret_cast<intptr_t>(&finder));
  return finder.found;
}

}  // namespace

void Accumulator::Add(const AggregateRequest& request, const TypedValue& value) {
  if (request.star) {
    ++count_;
    return;
  }
  if (value.null) return;
  if (request.distinct) {
    if (!seen_) seen_ = std::make_unique<std::unordered_set<std::string>>();
    if (!seen_->insert(DistinctKey(request, value)).second) return;
  }
  ++count_;
  switch (request.kind) {
    case AggregateKind::kSum:
    case AggregateKind::kAverage:
      if (!haveSum_) {
        sum_ = value.number;
        haveSum_ = true;
      } else {
        NumberValue total;
        if (NumberAdd(&total, &sum_, &value.number) == 1) sum_ = total;
        else NumberSetNull(&sum_);  // out of range: no honest total
      }
      break;
    case AggregateKind::kMinimum:
      if (extreme_.null || IsBefore(request, value, extreme_)) extreme_ = value;
      break;
    case AggregateKind::kMaximum:
      if (extreme_.null || IsBefore(request, extreme_, value)) extreme_ = value;
      break;
    case AggregateKind::kCount:
      break;
  }
}

TypedValue Accumulator::Finish(const AggregateRequest& request) const {
  TypedValue out;
  switch (request.kind) {
    case AggregateKind::kCount:
      out.null = false;
      LongToNumber(&out.number, count_);
      return out;
    case AggregateKind::kSum:
      out.null = !haveSum_ || NumberIsNull(&sum_) != 0;
      out.number = sum_;
      return out;
    case AggregateKind::kAverage: {
      if (!haveSum_ || NumberIsNull(&sum_) != 0 || count_ == 0) return out;
      NumberValue n;
      LongToNumber(&n, count_);
      out.null = NumberDiv(&out.number, &sum_, &n) != 1;
      return out;
    }
    case AggregateKind::kMinimum:
    case AggregateKind::kMaximum:
      return extreme_;
  }
  return out;
}

int AggregateTable::maxLevel() const {
  int level = 0;
  for (const AggregateRequest& r : requests_) level = std::max(level, r.level);
  return level;
}

std::string AggregateTable::Key(const std::string& function, const std::string& argument) {
  return function + '\0' + argument;
}

int AggregateTable::AddCall(HEXP exp, const AggregateRequest& request) {
  std::string key = Key(request.function, request.argument);
  distinctIn_[{exp, key}] = request.distinct;
  std::vector<int>& forms = byCall_[key];
  for (int index : forms)
    if (requests_[static_cast<size_t>(index)].distinct == request.distinct) return index;
  requests_.push_back(request);
  forms.push_back(static_cast<int>(requests_.size() - 1));
  return forms.back();
}

int AggregateTable::Find(HEXP exp, const char* function, const char* argument) const {
  std::string key = Key(function, argument);
  auto forms = byCall_.find(key);
  if (forms == byCall_.end()) return -1;
  if (forms->second.size() == 1) return forms->second[0];
  auto written = distinctIn_.find({exp, key});
  if (written == distinctIn_.end()) return -1;
  for (int index : forms->second)
    if (requests_[static_cast<size_t>(index)].distinct == written->second) return index;
  return -1;
}

void AggregateTable::SetGroupCount(size_t groups) {
  if (groups == groups_) return;
  groups_ = groups;
  accumulators_.resize(groups * requests_.size());
  results_.resize(groups * requests_.size());
  settled_.resize(requests_.size(), false);
}

void AggregateTable::FinishLevel(int level) {
  for (size_t r = 0; r < requests_.size(); ++r) {
    if (requests_[r].level != level) continue;
    for (size_t g = 0; g < groups_; ++g) {
      Accumulator& accumulator = At(g, r);
      results_[g * requests_.size() + r] = accumulator.Finish(requests_[r]);
      accumulator = Accumulator();  // a DISTINCT set is not needed any more
    }
    settled_[r] = true;
  }
}

const TypedValue* AggregateTable::Current(int request) const {
  auto r = static_cast<size_t>(request);
  if (r >= requests_.size() || !settled_[r] || currentGroup_ >= groups_) return nullptr;
  return &results_[currentGroup_ * requests_.size() + r];
}

const std::vector<std::string>& AggregateNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (const AggregateName& a : kAggregates) list.emplace_back(a.name);
    return list;
  }();
  return names;
}

bool AggregateKindOf(const std::string& name, AggregateKind& kind) {
  for (const AggregateName& a : kAggregates) {
    if (name != a.name) continue;
    kind = a.kind;
    return true;
  }
  return false;
}

bool DefineHostFunctions(ExprContext* ec) {
  for (const HostFunction& f : kHostFunctions) {
    if (HasFunction(ec, f.name)) continue;
    std::string binding = std::string(kHostFunctionPrefix) + f.name;
    ExpItem item;
    std::memset(&item, 0, sizeof item);
    item.kind = XEV_ITEM_FUNCTION;
    item.dataType = f.returnType;
    item.bindingName = binding.c_str();
    item.boundValue = reinterpret_cast<intptr_t>(f.entry);
    std::strncpy(item.name, f.name, sizeof item.name - 1);
    item.flags = f.flags;
    if (f.paramType >= 0) {
      item.paramCount = 1;
      item.params[0].byName = 1;
      item.params[0].type = f.paramType;
    }
    if (XEVAddExpressionItem(ec, &item) != 1) return false;
  }
  return true;
}

}  // namespace xevhost
