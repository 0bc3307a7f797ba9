// xevhost explain NAME: one formula's type, what it uses and its extended text.
#pragma once

#include <cstdio>

#include "input/text_encoding.h"
#include "options.h"
#include "xev/xev.h"

namespace xevhost {

// Describes the formula exp of ec on out (UTF-8).
void ExplainFormula(ExprContext* ec, HEXP exp, const CodePageConverter& converter, std::FILE* out);

int RunExplain(const Options& options, const CodePageConverter& converter);

}  // namespace xevhost
