// What a formula depends on, as the engine's dependency queries answer it:
// data items, functions and other formulas, directly or through the formulas
// it refers to.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "xev/xev.h"

namespace xevhost {

struct FormulaUses {
  std::vector<std::string> items;
  std::vector<std::string> functions;
  std::vector<std::string> formulas;
  bool aggregate = false;
};

// The references of every formula of a context, read once (one pass over the
// formulas), so that asking what each formula uses costs what that formula
// reaches rather than a walk per item and formula of the context.
class UsesIndex {
 public:
  explicit UsesIndex(ExprContext* ec);
  // The uses of the formula at this ordinal, each list in the order the
  // context lists its items and formulas.
  FormulaUses For(size_t ordinal);
  FormulaUses For(HEXP exp);

 private:
  struct Direct {
    std::vector<int> items;      // ranks among the data items
    std::vector<int> functions;  // ranks among the function items
    std::vector<int> formulas;   // ordinals
  };
  std::vector<std::string> itemNames_;
  std::vector<std::string> functionNames_;
  std::vector<bool> functionAggregate_;
  std::vector<HEXP> expressions_;
  std::vector<std::string> formulaNames_;
  std::vector<Direct> direct_;
  std::vector<size_t> visitedIn_;  // a query's stamp per formula
  size_t stamp_ = 0;
};

std::vector<std::string> ItemNames(ExprContext* ec, int16_t kind);
FormulaUses UsesOf(ExprContext* ec, HEXP exp);
std::string JoinNames(const std::vector<std::string>& names);

}  // namespace xevhost
