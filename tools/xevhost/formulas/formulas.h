// Putting formulas into an expression context and knowing them afterwards.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "formulas/formulas_file.h"
#include "input/text_encoding.h"
#include "options.h"
#include "xev/xev.h"

namespace xevhost {

struct FormulaEntry {
  HEXP exp = nullptr;
  std::string name;  // code-page bytes
  int type = XEV_TYPE_NUMBER;
  bool rangeOrSet = false;
};

// Every formula of the context, in ordinal order.
std::vector<FormulaEntry> ListFormulas(ExprContext* ec);

// One name a formula's tree uses directly: a data item, a function or a
// formula (XEV_ITEM_*).
struct FormulaReference {
  int16_t kind;
  std::string name;
};
// Replaces references with what exp names directly, each as often as it is
// written; false when the engine could not list them (memory).
bool ListReferences(ExprContext* ec, HEXP exp, std::vector<FormulaReference>& references);
std::string ExpressionName(ExprContext* ec, HEXP exp);
std::string ExpressionText(ExprContext* ec, HEXP exp);

// Reads the formulas the options name (files, then arguments), in code-page
// bytes, with the definitions that are not 'name = text'. false (with the
// message printed) when a file cannot be read.
bool CollectFormulaSources(const Options& options, const CodePageConverter& converter,
                           std::vector<FormulaSource>& sources, std::vector<DefinitionError>& errors);

// Parses the sources into ec. A formula may use one defined after it: those
// that fail are tried again while any others still succeed. The errors of the
// formulas that never parse and the shape errors are printed together in
// the order they were written; returns how many there were. parsed receives
// the new expressions in the order they were written.
int ParseFormulas(ExprContext* ec, const std::vector<FormulaSource>& sources,
                  const std::vector<DefinitionError>& shapeErrors, const CodePageConverter& converter,
                  std::FILE* diagnostics, std::vector<HEXP>& parsed);

}  // namespace xevhost
