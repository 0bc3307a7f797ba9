// What a formula depends on, as the engine's dependency queries answer it:
// data items, functions and other formulas, directly or through the formulas
// it refers to.
#pragma once

#include <string>
#include <vector>

#include "xev/xev.h"

namespace xevhost {

struct FormulaUses {
  std::vector<std::string> items;
  std::vector<std::string> functions;
  std::vector<std::string> formulas;
  bool aggregate = false;
};

std::vector<std::string> ItemNames(ExprContext* ec, int16_t kind);
FormulaUses UsesOf(ExprContext* ec, HEXP exp);
std::string JoinNames(const std::vector<std::string>& names);

}  // namespace xevhost
