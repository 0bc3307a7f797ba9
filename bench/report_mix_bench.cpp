// The ten-formula report mix (tests/eval/report_mix.h): evaluations per second
// with every data item asked of its callback on every row, and formulas parsed
// per second into a context with the items and all built-in functions.
#include <benchmark/benchmark.h>

#include "tests/eval/report_mix.h"
#include "language/language.h"

namespace {

using namespace report_mix;

int32_t CountNodes(const xev::language::ExprNode* node) {
  if (node == nullptr) return 0;
  if (xev::language::IsOperatorKind(node->kind)) {
    return 1 + CountNodes(static_cast<const xev::language::ExprNode*>(node->left)) +
           CountNodes(static_cast<const xev::language::ExprNode*>(node->right));
  }
  int32_t count = 1;
  if (node->kind == xev::language::NK_FUNCTION && node->right != nullptr) {
    auto list = static_cast<xev::core::HGLOBAL>(node->right);
    for (uint32_t i = 0; i < xev::core::HandleArrayCount(list); ++i) {
      auto** slot = static_cast<xev::language::ExprNode**>(
          xev::core::HandleArrayLockElement(list, static_cast<int32_t>(i)));
      count += CountNodes(*slot);
      xev::core::HandleArrayUnlock(list);
    }
  }
  return count;
}

void SetEvaluationCounters(benchmark::State& state, int32_t nodes) {
  double evaluations = static_cast<double>(state.iterations()) * kFormulaCount;
  state.counters["evals/s"] = benchmark::Counter(evaluations, benchmark::Counter::kIsRate);
  state.counters["ns/node"] = benchmark::Counter(
      evaluations * nodes / kFormulaCount * 1e-9,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["nodes"] = nodes;
}

int32_t ParseForEvaluation(benchmark::State& state, Report& report) {
  if (!report.ParseAll()) {
    state.SkipWithError("a formula of the mix does not parse");
    return -1;
  }
  int32_t nodes = 0;
  for (HEXP exp : report.formulas) nodes += CountNodes(exp->root);
  return nodes;
}

// One iteration is one row: the ten formulas evaluated once each, every
// occurrence of a data item asked of its callback.
void BM_ReportMixEvaluate(benchmark::State& state) {
  Report report;
  int32_t nodes = ParseForEvaluation(state, report);
  if (nodes < 0) return;
  NumberValue value{};
  int row = 0;
  for (auto _ : state) {
    t_row = row;
    row = row + 1 == kRowCycle ? 0 : row + 1;
    for (HEXP exp : report.formulas) {
      benchmark::DoNotOptimize(XEVEvaluateExpression(report.ec, exp, 0, &value));
    }
  }
  SetEvaluationCounters(state, nodes);
}
BENCHMARK(BM_ReportMixEvaluate);

// The same rows, the ten formulas in one call that asks each data item once.
void BM_ReportMixEvaluateRow(benchmark::State& state) {
  Report report;
  int32_t nodes = ParseForEvaluation(state, report);
  if (nodes < 0) return;
  NumberValue values[kFormulaCount] = {};
  void* buffers[kFormulaCount];
  for (int i = 0; i < kFormulaCount; ++i) buffers[i] = &values[i];
  int32_t results[kFormulaCount];
  int row = 0;
  for (auto _ : state) {
    t_row = row;
    row = row + 1 == kRowCycle ? 0 : row + 1;
    benchmark::DoNotOptimize(
        XEVEvaluateExpressions(report.ec, kFormulaCount, report.formulas, nullptr, buffers, results));
  }
  SetEvaluationCounters(state, nodes);
}
BENCHMARK(BM_ReportMixEvaluateRow);

// One iteration parses the ten formulas under generated names and destroys them again.
void BM_ReportMixParse(benchmark::State& state) {
  Report report;
  HEXP parsed[kFormulaCount] = {};
  for (auto _ : state) {
    for (int i = 0; i < kFormulaCount; ++i) {
      uint16_t type = 0;
      parsed[i] = XEVParseFormula(report.ec, nullptr, kFormulas[i], nullptr, nullptr, &type);
    }
    for (int i = kFormulaCount - 1; i >= 0; --i) XEVDestroyEXP(report.ec, parsed[i]);
  }
  state.counters["parses/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kFormulaCount, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReportMixParse);

}  // namespace
