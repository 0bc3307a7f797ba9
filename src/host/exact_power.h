// Powers with a whole exponent whose value is a short decimal, computed
// exactly, so that they never depend on the C library's pow: its results
// differ between platforms in the last bit, and so in the Number they give.
#pragma once

#include "xev/xevhost.h"

namespace xev::host {

// base^exponent when exponent is a whole number and the exact result has at
// most 15 significant digits (as every double prints back to itself); false
// when that does not hold or either value is NULL, and out is untouched.
bool ExactPower(NumberValue* out, const NumberValue* base, const NumberValue* exponent);

}  // namespace xev::host
