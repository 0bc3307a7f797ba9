// The report: every formula evaluated for every row of the data file.
#pragma once

#include "input/text_encoding.h"
#include "options.h"

namespace xevhost {

int RunReport(const Options& options, const CodePageConverter& converter);
// Lists what formulas call each column of the data file, and its type.
int RunColumns(const Options& options, const CodePageConverter& converter);

}  // namespace xevhost
