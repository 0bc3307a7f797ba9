// One line that says how to fix a formula error, where the cause can be told
// from the failing token, its neighbours and the names the context holds.
#pragma once

#include <string>

#include "xev/xev.h"

namespace xevhost {

// The hint for error in the formula named name with text (code-page bytes),
// or "" when the cause is not known for sure.
std::string FormulaHint(ExprContext* ec, const std::string& name, const std::string& text, const ExprError& error);

}  // namespace xevhost
