#include "formula_uses.h"

#include "formulas.h"

namespace xevhost {
namespace {

int32_t XEV_CALL CollectName(ExprContext* /*ec*/, const char* name, intptr_t user) {
  reinterpret_cast<std::vector<std::string>*>(user)->emplace_back(name);
  return 1;
}

}  // namespace

std::vector<std::string> ItemNames(ExprContext* ec, int16_t kind) {
  std::vector<std::string> names;
  XEVEnumExpItems(ec, kind, CollectName, reinterpret_cast<intptr_t>(&names));
  return names;
}

FormulaUses UsesOf(ExprContext* ec, HEXP exp) {
  FormulaUses uses;
  for (const std::string& name : ItemNames(ec, XEV_ITEM_DATA))
    if (XEVIsItemUsed(ec, exp, XEV_ITEM_DATA, name.c_str()) == 1) uses.items.push_back(name);
  for (const std::string& name : ItemNames(ec, XEV_ITEM_FUNCTION))
    if (XEVIsItemUsed(ec, exp, XEV_ITEM_FUNCTION, name.c_str()) == 1) uses.functions.push_back(name);
  for (const FormulaEntry& other : ListFormulas(ec))
    if (other.exp != exp && XEVIsItemUsed(ec, exp, XEV_ITEM_FORMULA, other.name.c_str()) == 1)
      uses.formulas.push_back(other.name);
  uses.aggregate = XEVIsAggregateUsed(ec, exp) == 1;
  return uses;
}

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
