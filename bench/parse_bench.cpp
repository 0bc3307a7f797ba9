// Parse throughput through XEVParseFormula: the formula corpus under
// tests/data/formulas parsed in order into a context with its items and all
// built-in functions, formulas per second and bytes per second. Each round
// parses the whole corpus (later formulas refer to earlier ones by name, so
// the name, recursion and uniqueness checks see a growing context) and then
// drops the expressions, which is counted in the time.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/core.h"
#include "tests/language/corpus_context.h"
#include "xev/xev.h"

namespace {

using namespace parse_test;

void DropExpressions(ExprContext* ec) {
  uint32_t count = xev::core::HandleArrayCount(ec->expressions);
  for (uint32_t i = 0; i < count; ++i) {
    auto** slot = static_cast<ExprRecord**>(xev::core::HandleArrayLockElement(ec->expressions, static_cast<int32_t>(i)));
    xev::core::ReleaseExpressionRecord(ec, *slot);
    xev::core::HandleArrayUnlock(ec->expressions);
  }
  xev::core::HandleArrayFree(ec->expressions);
  ec->expressions = nullptr;
}

void BM_ParseCorpus(benchmark::State& state) {
  ParseContext c(kCorpusFlags);
  AddCorpusItems(c);
  std::vector<CorpusFormula> corpus = LoadCorpus(CorpusPath());
  size_t bytes = 0;
  for (const CorpusFormula& f : corpus) bytes += f.text.size();
  uint16_t type = 0;
  ExprError error{};
  for (auto _ : state) {
    for (const CorpusFormula& f : corpus) {
      HEXP exp = XEVParseFormula(c.ec, nullptr, f.text.c_str(), f.name.c_str(), &error, &type);
      benchmark::DoNotOptimize(exp);
    }
    DropExpressions(c.ec);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * corpus.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["avg_bytes"] = static_cast<double>(bytes) / static_cast<double>(corpus.size());
}
BENCHMARK(BM_ParseCorpus);

// One formula of the corpus parsed again and again under a fresh generated
// name into an otherwise empty context: the cost of the parse itself.
void BM_ParseOneFormula(benchmark::State& state) {
  ParseContext c(kCorpusFlags);
  AddCorpusItems(c);
  const char* text = "'Dear ' || StrProper(Customer) || ', your total is ' || NumberToCurrency(Price * Quantity)";
  uint16_t type = 0;
  for (auto _ : state) {
    HEXP exp = XEVParseFormula(c.ec, nullptr, text, "Letter", nullptr, &type);
    benchmark::DoNotOptimize(exp);
    DropExpressions(c.ec);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * std::strlen(text)));
}
BENCHMARK(BM_ParseOneFormula);

}  // namespace
