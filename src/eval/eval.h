// What the evaluation subsystem offers: the conversions between texts,
// Numbers and DateTime values (from the host runtime), date-unit arithmetic,
// and the tree evaluator.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "host/values.h"
#include "xev/xev.h"

namespace xev::eval {

// The conversions live in the host runtime (host/values.h), below the
// language, which reads date constants with them; eval code names them here.
using host::kTextBufferSize;
using host::DateAddUnits;
using host::DateDiffDays;
using host::DateFromText;
using host::NumberFromText;
using host::DateToText;
using host::DateToTextByPicture;
using host::NumberToTextByPicture;
using host::NumberToTextFixed;
using host::NumberToCountryText;
using host::NumberToCurrencyText;
using host::RecognizeDateText;

}  // namespace xev::eval
