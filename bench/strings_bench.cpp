// Character counting over a 40-byte text under the double-byte code page
// (mixed single- and double-byte characters) and under the single-byte one.
#include <benchmark/benchmark.h>

#include "xev/xevhost.h"

namespace {

// 40 bytes: ASCII words with Shift-JIS kanji and kana between them.
constexpr char kMixed[] =
    "Sales \x93\xFA\x96\x7B total \x83\x5C\x83\x7C\x82\xA0 net\x93\xFA value\x82\xA0 Q1";
static_assert(sizeof(kMixed) == 41, "40 bytes and the terminator");

void BM_CharCountDbcs(benchmark::State& state) {
  HostSetCodePage(XEV_CP_SHIFTJIS);
  for (auto _ : state) benchmark::DoNotOptimize(HostStrCharCount(kMixed));
  HostSetCodePage(XEV_CP_WESTERN);
}
BENCHMARK(BM_CharCountDbcs);

void BM_CharCountWestern(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(HostStrCharCount(kMixed));
}
BENCHMARK(BM_CharCountWestern);

}  // namespace
