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

// One iteration is one row: the ten formulas evaluated once each.
void BM_ReportMixEvaluate(benchmark::State& state) {
  Report report;
  if (!report.ParseAll()) {
    state.SkipWithError("a formula of the mix does not parse");
    return;
  }
  int32_t nodes = 0;
  for (HEXP exp : report.formulas) nodes += CountNodes(exp->root);
  NumberValue value{};
  int row = 0;
  for (auto _ : state) {
    t_row = row;
    row = row + 1 == kRowCycle ? 0 : row + 1;
    for (HEXP exp : report.formulas) {
      benchmark::DoNotOptimize(XEVEvaluateExpression(report.ec, exp, 0, &value));
    }
  }
  double evaluations = static_cast<double>(state.iterations()) * kFormulaCount;
  state.counters["evals/s"] = benchmark::Counter(evaluations, benchmark::Counter::kIsRate);
  state.counters["ns/node"] = benchmark::Counter(
      evaluations * nodes / kFormulaCount * 1e-9,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["nodes"] = nodes;
}
BENCHMARK(BM_ReportMixEvaluate);

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
