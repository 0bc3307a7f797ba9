// Character counting over a 40-byte text under the double-byte code page
// (mixed single- and double-byte characters), under the single-byte one and
// under UTF-8; upper-casing the same kind of text under Western and UTF-8;
// a report's customer column under UTF-8: its first 18 characters, in proper
// case.
#include <benchmark/benchmark.h>

#include <cstring>

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

// 40 bytes: ASCII words with Greek, Cyrillic, Chinese and an emoji between them.
constexpr char kMixedUtf8[] = "Sales \xCE\xB1\xCE\xB2 total \xD0\xB6\xE4\xB8\xAD net\xF0\x9F\x98\x80 value Q12";
static_assert(sizeof(kMixedUtf8) == 41, "40 bytes and the terminator");

void BM_CharCountUtf8(benchmark::State& state) {
  HostSetCodePage(XEV_CP_UTF8);
  for (auto _ : state) benchmark::DoNotOptimize(HostStrCharCount(kMixedUtf8));
  HostSetCodePage(XEV_CP_WESTERN);
}
BENCHMARK(BM_CharCountUtf8);

// The same all-ASCII text upper-cased in place, by code page.
void UpperAscii(benchmark::State& state, uint32_t codePage) {
  HostSetCodePage(codePage);
  char text[41];
  for (auto _ : state) {
    std::memcpy(text, "Sales total net value Q1 of the region x", sizeof text);
    benchmark::DoNotOptimize(HostStrUpper(text));
  }
  HostSetCodePage(XEV_CP_WESTERN);
}
void BM_UpperAsciiWestern(benchmark::State& state) { UpperAscii(state, XEV_CP_WESTERN); }
BENCHMARK(BM_UpperAsciiWestern);
void BM_UpperAsciiUtf8(benchmark::State& state) { UpperAscii(state, XEV_CP_UTF8); }
BENCHMARK(BM_UpperAsciiUtf8);

void BM_UpperMixedUtf8(benchmark::State& state) {
  HostSetCodePage(XEV_CP_UTF8);
  char text[sizeof kMixedUtf8];
  for (auto _ : state) {
    std::memcpy(text, kMixedUtf8, sizeof text);
    benchmark::DoNotOptimize(HostStrUpper(text));
  }
  HostSetCodePage(XEV_CP_WESTERN);
}
BENCHMARK(BM_UpperMixedUtf8);

// A customer's name in ASCII and beyond it.
void ProperUtf8(benchmark::State& state, const char* name) {
  HostSetCodePage(XEV_CP_UTF8);
  char left[64], proper[64];
  for (auto _ : state) {
    HostStrLeft(left, name, 18);
    benchmark::DoNotOptimize(HostStrProper(proper, left));
  }
  HostSetCodePage(XEV_CP_WESTERN);
}
void BM_LeftProperAsciiUtf8(benchmark::State& state) { ProperUtf8(state, "riverbend CLINIC of the north"); }
BENCHMARK(BM_LeftProperAsciiUtf8);
void BM_LeftProperMixedUtf8(benchmark::State& state) { ProperUtf8(state, "caf\xC3\xA9 ol\xC3\xA9 and sons ltd"); }
BENCHMARK(BM_LeftProperMixedUtf8);

}  // namespace
