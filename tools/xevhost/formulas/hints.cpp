#include "formulas/hints.h"

#include "aggregates/aggregate_calls.h"

namespace xevhost {
namespace {


bool IsQuantifier(const std::string& word) {
  std::string upper;
  for (char c : word) upper += static_cast<char>(c & ~0x20);
  return upper == "DISTINCT" || upper == "ALL";
}

// The engine reads DISTINCT and ALL only when the tool asks for them, which
// only the tool's own option can change.
std::string QuantifierHint(const std::string& text, const ExprError& error) {
  if (error.code != XEV_ERR_VAR) return "";
  for (const FormulaToken& t : TokenizeFormula(text)) {
    if (t.pos + t.len <= error.pos) continue;
    if (t.kind == FormulaToken::kName && IsQuantifier(t.text))
      return t.text + " inside an aggregate needs the option --set-quantifiers";
    return "";
  }
  return "";
}

}  // namespace

std::string FormulaHint(ExprContext* ec, const std::string& name, const std::string& text, const ExprError& error) {
  if (ec == nullptr) return "";
  if (std::string hint = QuantifierHint(text, error); !hint.empty()) return hint;
  char hint[512];
  int32_t length = XEVFormulaHint(ec, name.c_str(), text.c_str(), &error, hint, sizeof hint);
  return length > 0 ? std::string(hint, static_cast<size_t>(length)) : "";
}

}  // namespace xevhost
