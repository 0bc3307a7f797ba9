// How the work on a context grows with its number of formulas: parsing many
// formulas into one context (every parse checks the new name against all
// others), writing and loading the block, and listing what every formula
// uses (what `xevhost info` asks), and one formula parsed and destroyed in a
// full context. Each is run at two sizes ten times apart;
// linear work takes about ten times as long at the larger size.
//
// The formulas: F<i> = A * <i>, and every fourth one F<i> = F<i-1>() + B, so
// that names are checked, references resolved and the recursion check run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "xev/xev.h"

namespace {

intptr_t XEV_CALL Resolve(const char*) { return 1; }

std::string FormulaText(int i) {
  if (i % 4 == 3) return "F" + std::to_string(i - 1) + "() + B";
  return "A * " + std::to_string(i);
}

ExprContext* NewContext() {
  ExprContext* ec = XEVCreateEC(0, Resolve, nullptr, 0);
  FUNDefineFunctions(ec);
  for (const char* name : {"A", "B"}) {
    ExpItem item{};
    item.kind = XEV_ITEM_DATA;
    item.dataType = XEV_TYPE_NUMBER;
    item.bindingName = name;
    std::strcpy(item.name, name);
    XEVAddExpressionItem(ec, &item);
  }
  return ec;
}

void ParseFormulas(ExprContext* ec, int count) {
  uint16_t type = 0;
  for (int i = 0; i < count; ++i) {
    std::string name = "F" + std::to_string(i);
    if (XEVParseFormula(ec, nullptr, FormulaText(i).c_str(), name.c_str(), nullptr, &type) == nullptr) std::abort();
  }
}

std::vector<uint8_t> BlockOf(ExprContext* ec) {
  std::vector<uint8_t> block(XEVGetECBlockSize(ec, 1));
  XEVGetECBlock(ec, static_cast<int32_t>(block.size()), block.data());
  return block;
}

void BM_ParseIntoContext(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    ExprContext* ec = NewContext();
    state.ResumeTiming();
    ParseFormulas(ec, count);
    state.PauseTiming();
    XEVDestroyEC(ec);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_ParseIntoContext)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// A block counts its formulas in 16 bits (at most 32767): 3,000 and 30,000.
void BM_WriteBlock(benchmark::State& state) {
  ExprContext* ec = NewContext();
  ParseFormulas(ec, static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(BlockOf(ec));
  XEVDestroyEC(ec);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WriteBlock)->Arg(3000)->Arg(30000)->Unit(benchmark::kMillisecond);

void BM_LoadBlock(benchmark::State& state) {
  ExprContext* source = NewContext();
  ParseFormulas(source, static_cast<int>(state.range(0)));
  const std::vector<uint8_t> block = BlockOf(source);
  XEVDestroyEC(source);
  for (auto _ : state) {
    state.PauseTiming();
    ExprContext* ec = XEVCreateEC(0, Resolve, nullptr, 0);
    FUNDefineFunctions(ec);
    state.ResumeTiming();
    if (XEVSetECContents(ec, static_cast<int32_t>(block.size()), block.data(), 1, nullptr) != 1) std::abort();
    state.PauseTiming();
    XEVDestroyEC(ec);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadBlock)->Arg(3000)->Arg(30000)->Unit(benchmark::kMillisecond);

int32_t XEV_CALL CountReference(ExprContext*, int16_t, const char* name, intptr_t user) {
  auto* names = reinterpret_cast<std::unordered_map<std::string, int>*>(user);
  ++(*names)[name];
  return 1;
}

// What a host that lists who uses what asks: the direct references of every
// formula, one pass, names gathered in a hash map.
void BM_ListReferences(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  ExprContext* ec = NewContext();
  ParseFormulas(ec, count);
  for (auto _ : state) {
    std::unordered_map<std::string, int> names;
    for (int i = 0; i < count; ++i) {
      XEVEnumExpReferences(ec, XEVHEXPFromOrdinal(ec, i), CountReference, reinterpret_cast<intptr_t>(&names));
    }
    benchmark::DoNotOptimize(names.size());
  }
  XEVDestroyEC(ec);
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_ListReferences)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// One formula parsed and destroyed again in a context of many that name no
// formula: independent of the context's size, as the destroy need not look
// for formulas that use the one going.
void BM_ParseAndDestroyOne(benchmark::State& state) {
  ExprContext* ec = XEVCreateEC(0, Resolve, nullptr, 0);
  ExpItem item{};
  item.kind = XEV_ITEM_DATA;
  item.dataType = XEV_TYPE_NUMBER;
  item.bindingName = "A";
  std::strcpy(item.name, "A");
  XEVAddExpressionItem(ec, &item);
  uint16_t type = 0;
  for (int64_t i = 0; i < state.range(0); ++i) {
    const std::string name = "F" + std::to_string(i);
    XEVParseFormula(ec, nullptr, ("A * " + std::to_string(i)).c_str(), name.c_str(), nullptr, &type);
  }
  for (auto _ : state) XEVDestroyEXP(ec, XEVParseFormula(ec, nullptr, "A * 2", "Again", nullptr, &type));
  XEVDestroyEC(ec);
}
BENCHMARK(BM_ParseAndDestroyOne)->Arg(10000)->Arg(100000);

// One more name checked against a full context: independent of its size.
void BM_NameCheck(benchmark::State& state) {
  ExprContext* ec = NewContext();
  ParseFormulas(ec, static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(XEVIsExpNameUnique(ec, nullptr, "NewName"));
  XEVDestroyEC(ec);
}
BENCHMARK(BM_NameCheck)->Arg(10000)->Arg(100000);

}  // namespace
