// Cost of one HostAlloc + HostFree pair for the block sizes the evaluator
// uses most: 13 bytes (a Number or DateTime value) and 50 bytes (a String
// result block). Compared with the C library's malloc + free of the same size.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "xev/xevhost.h"

namespace {

void BM_HostAllocFree(benchmark::State& state) {
  auto size = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* block = HostAlloc(size);
    benchmark::DoNotOptimize(block);
    HostFree(block);
  }
}
BENCHMARK(BM_HostAllocFree)->Arg(13)->Arg(50);

// Several blocks live at once, freed in the order they were made, as an
// evaluation of a small expression tree does.
void BM_HostAllocFreeBatch(benchmark::State& state) {
  auto size = static_cast<size_t>(state.range(0));
  void* blocks[8];
  for (auto _ : state) {
    for (void*& block : blocks) block = HostAlloc(size);
    benchmark::DoNotOptimize(blocks);
    for (void* block : blocks) HostFree(block);
  }
  state.SetItemsProcessed(state.iterations() * 8);
}
BENCHMARK(BM_HostAllocFreeBatch)->Arg(13)->Arg(50);

void BM_CallocFree(benchmark::State& state) {
  auto size = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* block = std::calloc(1, size);
    benchmark::DoNotOptimize(block);
    std::free(block);
  }
}
BENCHMARK(BM_CallocFree)->Arg(13)->Arg(50);

}  // namespace
