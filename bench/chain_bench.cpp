// Cost per node of one long formula, a sum A + A + ... + A of 10 to 1,000,000
// terms (2 * terms - 1 nodes): parsing it, evaluating it (first through its
// prepared form, then as the walk does for a formula reached by reference),
// the dependency query that visits every node, and releasing it. Flat cost
// per node means linear work: the "node" column, in seconds per node, should
// stay the same from the smallest size to the largest.
//
// Chains of formulas, F0 = A and Fi = F(i-1)() + 1: evaluating the last one
// walks every formula of the chain, so its "node" column (seconds per formula)
// should stay flat too, and no length may leave it without a value. Through a
// table, with every formula of the chain a result as a report has it, each
// formula runs once a row and its users read its value: flat again.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "xev/xev.h"
#include "xev/xevtable.h"

namespace {

int32_t XEV_CALL One(ExprContext*, HEXP, int32_t, void** result, const char*) {
  IntToNumber(static_cast<NumberValue*>(*result), 1);
  return 1;
}

ExprContext* NewContext() {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  ExpItem item{};
  item.kind = XEV_ITEM_DATA;
  item.dataType = XEV_TYPE_NUMBER;
  item.boundValue = reinterpret_cast<intptr_t>(&One);
  std::strcpy(item.name, "A");
  XEVAddExpressionItem(ec, &item);
  return ec;
}

std::string Sum(int64_t terms) {
  std::string text = "A";
  for (int64_t i = 1; i < terms; ++i) text += " + A";
  return text;
}

HEXP Parse(ExprContext* ec, const std::string& text, const char* name) {
  uint16_t type = 0;
  HEXP exp = XEVParseFormula(ec, nullptr, text.c_str(), name, nullptr, &type);
  if (exp == nullptr) std::abort();
  return exp;
}

void PerNode(benchmark::State& state, int64_t terms) {
  double nodes = static_cast<double>(2 * terms - 1);
  state.counters["node"] =
      benchmark::Counter(nodes * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate |
                                                                             benchmark::Counter::kInvert);
}

void BM_ParseChain(benchmark::State& state) {
  ExprContext* ec = NewContext();
  const std::string text = Sum(state.range(0));
  for (auto _ : state) {
    HEXP exp = Parse(ec, text, nullptr);
    state.PauseTiming();
    XEVDestroyEXP(ec, exp);
    state.ResumeTiming();
  }
  PerNode(state, state.range(0));
  XEVDestroyEC(ec);
}

void BM_ReleaseChain(benchmark::State& state) {
  ExprContext* ec = NewContext();
  const std::string text = Sum(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    HEXP exp = Parse(ec, text, nullptr);
    state.ResumeTiming();
    XEVDestroyEXP(ec, exp);
  }
  PerNode(state, state.range(0));
  XEVDestroyEC(ec);
}

// The first evaluation prepares the formula; rows after it are what counts.
void Evaluate(benchmark::State& state, HEXP exp, ExprContext* ec) {
  NumberValue value{};
  if (XEVEvaluateExpression(ec, exp, 0, &value) != 1) std::abort();
  for (auto _ : state) {
    if (XEVEvaluateExpression(ec, exp, 0, &value) != 1) std::abort();
    benchmark::DoNotOptimize(value);
  }
  PerNode(state, state.range(0));
}

void BM_EvaluateChain(benchmark::State& state) {
  ExprContext* ec = NewContext();
  Evaluate(state, Parse(ec, Sum(state.range(0)), nullptr), ec);
  XEVDestroyEC(ec);
}

// A formula reached by reference is walked node by node.
void BM_EvaluateChainByWalk(benchmark::State& state) {
  ExprContext* ec = NewContext();
  Parse(ec, Sum(state.range(0)), "Sum");
  Evaluate(state, Parse(ec, "Sum()", nullptr), ec);
  XEVDestroyEC(ec);
}

void BM_QueryChain(benchmark::State& state) {
  ExprContext* ec = NewContext();
  HEXP exp = Parse(ec, Sum(state.range(0)), nullptr);
  for (auto _ : state) {
    if (XEVIsItemUsed(ec, exp, XEV_ITEM_DATA, "B") != 0) std::abort();
  }
  PerNode(state, state.range(0));
  XEVDestroyEC(ec);
}

// Parses the chain F0 = A, F1 = F0() + 1, ... and returns its last formula.
HEXP ParseReferenceChain(ExprContext* ec, int64_t length) {
  HEXP last = Parse(ec, "A", "F0");
  for (int64_t i = 1; i < length; ++i) {
    const std::string name = "F" + std::to_string(i);
    last = Parse(ec, "F" + std::to_string(i - 1) + "() + 1", name.c_str());
  }
  return last;
}

void PerFormula(benchmark::State& state) {
  state.counters["node"] = benchmark::Counter(
      static_cast<double>(state.range(0)) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_EvaluateReferenceChain(benchmark::State& state) {
  ExprContext* ec = NewContext();
  HEXP last = ParseReferenceChain(ec, state.range(0));
  NumberValue value{};
  for (auto _ : state) {
    if (XEVEvaluateExpression(ec, last, 0, &value) != 1) std::abort();
    benchmark::DoNotOptimize(value);
  }
  PerFormula(state);
  XEVDestroyEC(ec);
}

// Two rows, every formula of the chain a result.
void BM_TableReferenceChain(benchmark::State& state) {
  ExprContext* ec = NewContext();
  ParseReferenceChain(ec, state.range(0));
  std::vector<XevResult> results(static_cast<size_t>(state.range(0)));
  for (size_t i = 0; i < results.size(); ++i) results[i].formula = XEVHEXPFromOrdinal(ec, static_cast<int32_t>(i));
  XevTable* table = XEVTableCreate(ec, 1);
  const int64_t values[] = {3, 5};
  XevColumn column{};
  column.kind = XEV_COLUMN_INT64;
  column.values = values;
  if (XEVTableBind(table, "A", &column) != 0) std::abort();
  for (auto _ : state) {
    if (XEVTableEvaluate(table, 2, nullptr, results.data(), static_cast<int32_t>(results.size()), nullptr,
                         nullptr) != 1) {
      std::abort();
    }
    XEVTableFreeResults(results.data(), static_cast<int32_t>(results.size()));
  }
  PerFormula(state);
  XEVTableDestroy(table);
  XEVDestroyEC(ec);
}

#define CHAIN_SIZES ->Arg(10)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_ParseChain) CHAIN_SIZES;
BENCHMARK(BM_ReleaseChain) CHAIN_SIZES;
BENCHMARK(BM_EvaluateChain) CHAIN_SIZES;
BENCHMARK(BM_EvaluateChainByWalk) CHAIN_SIZES;
BENCHMARK(BM_QueryChain) CHAIN_SIZES;
// Parsing a chain is not yet linear (each new formula's recursion check walks
// the chain below it), which keeps the lengths here to what sets up quickly.
BENCHMARK(BM_EvaluateReferenceChain)->Arg(10)->Arg(300)->Arg(3000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TableReferenceChain)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
