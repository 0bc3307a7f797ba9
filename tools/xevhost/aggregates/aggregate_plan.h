// Working out what a report's aggregates need before any row is read: the
// requests, the expressions that read their arguments, and how many passes
// over the data settle them (an aggregate over a formula that itself uses an
// aggregate needs the inner one's pass first).
#pragma once

#include <cstdio>

#include "aggregates/aggregates.h"
#include "formulas/formula_graph.h"
#include "input/text_encoding.h"
#include "xev/xev.h"

namespace xevhost {

// Reads the aggregate calls of every formula of ec into table. false, with
// the reasons printed to diagnostics, when a call cannot be evaluated by the
// tool (an expression as the argument, or the same call written with and
// without DISTINCT in one formula).
bool PlanAggregates(ExprContext* ec, const FormulaGraph& graph, const CodePageConverter& converter,
                    AggregateTable& table, std::FILE* diagnostics);

}  // namespace xevhost

namespace xevhost {

// For every formula of the graph: whether it reads values of the current row
// anywhere outside its aggregate calls, itself or through the formulas it
// uses. One that does not has the same value on every row of a group.
std::vector<bool> ReadsRowValues(ExprContext* ec, const FormulaGraph& graph);

}  // namespace xevhost
