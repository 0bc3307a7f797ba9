// Writing and loading context blocks of 10,000 formulas over 200 data items.
// 100 base formulas use data items only; the other 9,900 each call one base
// formula. "Backward" blocks store the base formulas first, so every call
// refers back; "Forward" blocks store them last, so 9,900 formulas wait for
// them. Chains, in which each formula calls the next one, are the extremes of
// both orders: stored callee first every formula loads at once; stored caller
// first every formula but the last waits, and each load wakes the one before
// it. Loading is linear when the time per formula stays flat from 3,000 to
// 30,000 formulas.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "xev/xev.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kDataItems = 200;
constexpr int kBaseFormulas = 100;
constexpr int kFormulas = 10000;

intptr_t XEV_CALL Resolve(const char*) { return 0x1000; }

void PutString(Bytes& out, const std::string& s) {
  out.insert(out.end(), s.begin(), s.end());
  out.push_back(0);
}

void PutU16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v & 0xFF));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

struct Formula {
  std::string text;
  std::string name;
};

// Version byte, 20 empty operator names, the data items, the formulas.
Bytes MakeBlock(const std::vector<Formula>& formulas) {
  Bytes out(21, 0);
  out[0] = 3;
  PutU16(out, 0x00FA);
  PutU16(out, kDataItems);
  for (int i = 0; i < kDataItems; ++i) {
    Bytes image(85, 0);
    image[0] = 1;  // data item, Number
    std::string name = "Item" + std::to_string(i);
    std::memcpy(image.data() + 12, name.data(), name.size());
    out.insert(out.end(), image.begin(), image.end());
    PutString(out, "Get" + name);
  }
  PutU16(out, 0x00FC);
  PutU16(out, static_cast<uint16_t>(formulas.size()));
  for (const Formula& f : formulas) {
    PutString(out, f.text);
    PutString(out, f.name);
  }
  return out;
}

std::vector<Formula> BaseFormulas() {
  std::vector<Formula> base;
  for (int k = 0; k < kBaseFormulas; ++k)
    base.push_back({"Item" + std::to_string(k) + " * 2 + Item" + std::to_string(k + kBaseFormulas),
                    "Base" + std::to_string(k)});
  return base;
}

std::vector<Formula> CallingFormulas() {
  std::vector<Formula> calling;
  for (int i = kBaseFormulas; i < kFormulas; ++i)
    calling.push_back({"Base" + std::to_string(i % kBaseFormulas) + "() + Item" + std::to_string(i % kDataItems) + " / 3",
                       "Calc" + std::to_string(i)});
  return calling;
}

Bytes BlockWithReferences(bool backward) {
  std::vector<Formula> base = BaseFormulas();
  std::vector<Formula> calling = CallingFormulas();
  std::vector<Formula> all = backward ? base : calling;
  const std::vector<Formula>& rest = backward ? calling : base;
  all.insert(all.end(), rest.begin(), rest.end());
  return MakeBlock(all);
}

// Chain0 calls Chain1, which calls Chain2, ...; the last uses a data item.
// Forward, the callers come first; backward, the callees do.
Bytes Chain(int length, bool forward) {
  std::vector<Formula> chain;
  for (int i = 0; i < length; ++i) {
    std::string text = i + 1 < length ? "Chain" + std::to_string(i + 1) + "() + 1" : "Item0 + 1";
    chain.push_back({text, "Chain" + std::to_string(i)});
  }
  if (!forward) std::reverse(chain.begin(), chain.end());
  return MakeBlock(chain);
}

ExprContext* HostContext() {
  ExprContext* ec = XEVCreateEC(0, Resolve, nullptr, ECF_RANGES_SETS);
  FUNDefineFunctions(ec);
  return ec;
}

void LoadBlock(benchmark::State& state, const Bytes& block, int expectedFormulas) {
  for (auto _ : state) {
    state.PauseTiming();
    ExprContext* ec = HostContext();
    state.ResumeTiming();
    int32_t result = XEVSetECContents(ec, static_cast<int32_t>(block.size()), block.data(), 1, nullptr);
    state.PauseTiming();
    if (result != 1 || XEVGetExpressionCount(ec) != expectedFormulas) state.SkipWithError("block did not load");
    XEVDestroyEC(ec);
    state.ResumeTiming();
  }
}

void BM_LoadBackwardReferences(benchmark::State& state) {
  static const Bytes block = BlockWithReferences(true);
  LoadBlock(state, block, kFormulas);
}
BENCHMARK(BM_LoadBackwardReferences)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LoadForwardReferences(benchmark::State& state) {
  static const Bytes block = BlockWithReferences(false);
  LoadBlock(state, block, kFormulas);
}
BENCHMARK(BM_LoadForwardReferences)->Unit(benchmark::kMillisecond)->Iterations(5);

void LoadChain(benchmark::State& state, bool forward) {
  int length = static_cast<int>(state.range(0));
  Bytes block = Chain(length, forward);
  LoadBlock(state, block, length);
  state.counters["formula"] = benchmark::Counter(static_cast<double>(length) * static_cast<double>(state.iterations()),
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_LoadForwardChain(benchmark::State& state) { LoadChain(state, true); }
BENCHMARK(BM_LoadForwardChain)->Arg(3000)->Arg(30000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LoadBackwardChain(benchmark::State& state) { LoadChain(state, false); }
BENCHMARK(BM_LoadBackwardChain)->Arg(3000)->Arg(30000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_WriteBlock(benchmark::State& state) {
  static const Bytes block = BlockWithReferences(true);
  ExprContext* ec = HostContext();
  if (XEVSetECContents(ec, static_cast<int32_t>(block.size()), block.data(), 1, nullptr) != 1)
    state.SkipWithError("block did not load");
  Bytes out;
  for (auto _ : state) {
    out.resize(XEVGetECBlockSize(ec, 1));
    benchmark::DoNotOptimize(XEVGetECBlock(ec, static_cast<int32_t>(out.size()), out.data()));
  }
  if (out != block) state.SkipWithError("written block differs from the loaded one");
  XEVDestroyEC(ec);
}
BENCHMARK(BM_WriteBlock)->Unit(benchmark::kMicrosecond);

}  // namespace
