// xevhost explain NAME: one formula's type, what it uses and its extended text.
#pragma once

#include <cstdio>

#include "options.h"
#include "text_encoding.h"
#include "xev/xev.h"

namespace xevhost {

// Describes the formula exp of ec on out (UTF-8).
void ExplainFormula(ExprContext* ec, HEXP exp, const CodePageConverter& converter, std::FILE* out);

int RunExplain(const Options& options, const CodePageConverter& converter);

}  // namespace xevhost
