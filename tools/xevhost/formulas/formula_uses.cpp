#include "formulas/formula_uses.h"

#include <algorithm>

#include "formulas/formulas.h"

namespace xevhost {
namespace {

int32_t XEV_CALL CollectName(ExprContext* /*ec*/, const char* name, intptr_t user) {
  reinterpret_cast<std::vector<std::string>*>(user)->emplace_back(name);
  return 1;
}

// Name to rank; the first of equal names wins, as the engine resolves them.
std::unordered_map<std::string, int> RanksOf(const std::vector<std::string>& names) {
  std::unordered_map<std::string, int> ranks;
  ranks.reserve(names.size());
  for (size_t i = 0; i < names.size(); ++i) ranks.emplace(names[i], static_cast<int>(i));
  return ranks;
}

std::vector<std::string> NamesAt(std::vector<int>& ranks, const std::vector<std::string>& names) {
  std::sort(ranks.begin(), ranks.end());
  ranks.erase(std::unique(ranks.begin(), ranks.end()), ranks.end());
  std::vector<std::string> out;
  out.reserve(ranks.size());
  for (int rank : ranks) out.push_back(names[static_cast<size_t>(rank)]);
  return out;
}

}  // namespace

std::vector<std::string> ItemNames(ExprContext* ec, int16_t kind) {
  std::vector<std::string> names;
  XEVEnumExpItems(ec, kind, CollectName, reinterpret_cast<intptr_t>(&names));
  return names;
}

UsesIndex::UsesIndex(ExprContext* ec)
    : itemNames_(ItemNames(ec, XEV_ITEM_DATA)), functionNames_(ItemNames(ec, XEV_ITEM_FUNCTION)) {
  for (const std::string& name : functionNames_)
    functionAggregate_.push_back(XEVIsItemAggregate(ec, XEV_ITEM_FUNCTION, name.c_str()) == 1);
  for (FormulaEntry& entry : ListFormulas(ec)) {
    expressions_.push_back(entry.exp);
    formulaNames_.push_back(std::move(entry.name));
  }
  auto itemRanks = RanksOf(itemNames_);
  auto functionRanks = RanksOf(functionNames_);
  auto formulaRanks = RanksOf(formulaNames_);
  direct_.resize(expressions_.size());
  std::vector<FormulaReference> references;
  for (size_t i = 0; i < expressions_.size(); ++i) {
    ListReferences(ec, expressions_[i], references);
    Direct& direct = direct_[i];
    for (const FormulaReference& r : references) {
      const auto& ranks = r.kind == XEV_ITEM_DATA ? itemRanks : r.kind == XEV_ITEM_FUNCTION ? functionRanks : formulaRanks;
      auto found = ranks.find(r.name);
      if (found == ranks.end()) continue;
      auto& list = r.kind == XEV_ITEM_DATA ? direct.items : r.kind == XEV_ITEM_FUNCTION ? direct.functions : direct.formulas;
      list.push_back(found->second);
    }
  }
  visitedIn_.assign(expressions_.size(), 0);
}

FormulaUses UsesIndex::For(size_t ordinal) {
  FormulaUses uses;
  if (ordinal >= direct_.size()) return uses;
  ++stamp_;
  std::vector<int> items, functions, reached;
  std::vector<size_t> queue{ordinal};
  visitedIn_[ordinal] = stamp_;
  // Each formula reached is read once per query, also around a cycle.
  for (size_t next = 0; next < queue.size(); ++next) {
    const Direct& direct = direct_[queue[next]];
    items.insert(items.end(), direct.items.begin(), direct.items.end());
    functions.insert(functions.end(), direct.functions.begin(), direct.functions.end());
    for (int other : direct.formulas) {
      if (static_cast<size_t>(other) != ordinal) reached.push_back(other);
      if (visitedIn_[static_cast<size_t>(other)] == stamp_) continue;
      visitedIn_[static_cast<size_t>(other)] = stamp_;
      queue.push_back(static_cast<size_t>(other));
    }
  }
  uses.items = NamesAt(items, itemNames_);
  for (int rank : functions) uses.aggregate = uses.aggregate || functionAggregate_[static_cast<size_t>(rank)];
  uses.functions = NamesAt(functions, functionNames_);
  uses.formulas = NamesAt(reached, formulaNames_);
  return uses;
}

FormulaUses UsesIndex::For(HEXP exp) {
  auto at = std::find(expressions_.begin(), expressions_.end(), exp);
  return For(static_cast<size_t>(at - expressions_.begin()));
}

FormulaUses UsesOf(ExprContext* ec, HEXP exp) { return UsesIndex(ec).For(exp); }

std::string JoinNames(const std::vector<std::string>& names) {
  if (names.empty()) return "-";
  std::string joined;
  for (const std::string& n : names) {
    if (!joined.empty()) joined += ", ";
    joined += n;
  }
  return joined;
}

}  // namespace xevhost
