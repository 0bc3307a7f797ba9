// The prepared form of a Number or DateTime formula: the nodes of its tree as
// a flat list of steps in evaluation order, with every data item and function
// resolved once. A row then costs the callbacks and the arithmetic, not a
// name lookup per node or a pointer chase through the tree.
//
// A plan belongs to its expression record and is made at the record's first
// evaluation. It stays valid while the context's generation and the record's
// root are what they were when it was made; any change of items or
// expressions moves the generation on, and the next evaluation prepares
// again. Parts of a tree that the plan does not handle itself (texts, dates,
// date arithmetic, formula references) become one step that walks that
// subtree, so the results are the walk's, node for node; a reference whose
// formula has its value for the row (eval/formula_values.h) takes it.
#pragma once

#include "eval/evaluator.h"

namespace xev::eval {

enum class PlanOutcome { kValue, kNoValue, kNotPrepared };

// Evaluates exp through its plan, preparing the plan first when it is missing
// or stale. kNotPrepared when the formula has no plan (a text formula, one
// being evaluated already further up, or memory short): the caller walks the
// tree instead.
// With answers, each data item is asked once for all the formulas of a call;
// with formulas, a reference takes its formula's value for the row.
PlanOutcome EvaluateByPlan(ExprContext* ec, HEXP exp, Value& out, ItemAnswers* answers = nullptr,
                           const FormulaValues* formulas = nullptr);
// The same for a caller that wants the 13 bytes alone: out is written only
// when the formula has a value.
PlanOutcome EvaluateByPlan(ExprContext* ec, HEXP exp, NumberValue* out);
PlanOutcome EvaluateByPlan(ExprContext* ec, HEXP exp, NumberValue* out, ItemAnswers& answers);

// XEVEvaluateExpressions with valid arguments: the formulas in order with
// one set of answers; returns how many have a value.
int32_t EvaluateRow(ExprContext* ec, int32_t count, const HEXP* exps, const int32_t* sizes, void* const* buffers,
                    int32_t* results, ItemAnswers& answers);

}  // namespace xev::eval
