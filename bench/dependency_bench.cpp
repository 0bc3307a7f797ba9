// Dependency queries and extended text over chains of 1,000 named formulas:
// each formula referring twice to the one before (a walk without memory
// would take 2^1000 steps), once to the one before (a text 1,000 levels
// deep), and a ring of 1,000 formulas closed into a cycle.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/core.h"
#include "language/language.h"
#include "xev/xev.h"
#include "xev/xevhost.h"

namespace {

constexpr int kChain = 1000;

intptr_t XEV_CALL Resolve(const char*) { return 1; }

std::string FormulaName(int k) {
  char name[16];
  std::snprintf(name, sizeof name, "F%d", k);
  return name;
}

class Chain {
 public:
  // F0 is Total(Amount); Fk is F(k-1)() + F(k-1)(), or F(k-1)() + 1.
  Chain(bool twice, bool closeRing) {
    ec_ = XEVCreateEC(0, Resolve, nullptr, ECF_RANGES_SETS);
    AddItem(XEV_ITEM_DATA, "Amount", 0);
    AddItem(XEV_ITEM_DATA, "Price", 0);
    AddItem(XEV_ITEM_FUNCTION, "Total", 1);
    Parse("Total(Amount)", "F0");
    for (int k = 1; k < kChain; ++k) {
      std::string previous = FormulaName(k - 1);
      previous.append("()");
      std::string text = previous;
      text.append(" + ").append(twice ? previous : std::string("1"));
      last_ = Parse(text.c_str(), FormulaName(k).c_str());
    }
    if (closeRing) {
      // F0 now refers to the last formula: no parse would accept that.
      HEXP first = XEVHEXPFromName(ec_, "F0");
      std::string text = FormulaName(kChain - 1);
      text.append("() + Amount");
      HEXP scratch = Parse(text.c_str(), "Scratch");
      std::swap(first->root, scratch->root);
      std::swap(first->text, scratch->text);
      XEVDestroyEXP(ec_, scratch);
    }
  }
  ~Chain() { XEVDestroyEC(ec_); }
  ExprContext* ec() const { return ec_; }
  HEXP last() const { return last_; }

 private:
  void AddItem(int16_t kind, const char* name, int16_t byName) {
    std::vector<unsigned char> bytes(XEV_ITEM_FIXED_SIZE + sizeof(ExpParam));
    auto* item = reinterpret_cast<ExpItem*>(bytes.data());
    item->kind = kind;
    item->boundValue = 1;
    std::strncpy(item->name, name, sizeof item->name - 1);
    if (kind == XEV_ITEM_FUNCTION) {
      item->paramCount = 1;
      item->flags = 0x04;
      ExpParam param{byName, XEV_TYPE_NUMBER, 0};
      std::memcpy(bytes.data() + XEV_ITEM_FIXED_SIZE, &param, sizeof param);
    }
    XEVAddExpressionItem(ec_, item);
  }
  HEXP Parse(const char* text, const char* name) {
    uint16_t type = 0;
    return XEVParseFormula(ec_, nullptr, text, name, nullptr, &type);
  }
  ExprContext* ec_;
  HEXP last_ = nullptr;
};

const Chain& Doubling() {
  static const Chain chain(true, false);
  return chain;
}
const Chain& Single() {
  static const Chain chain(false, false);
  return chain;
}
const Chain& Ring() {
  static const Chain chain(true, true);
  return chain;
}

void IsItemUsedFound(benchmark::State& state) {
  const Chain& chain = Doubling();
  for (auto _ : state) benchmark::DoNotOptimize(XEVIsItemUsed(chain.ec(), chain.last(), XEV_ITEM_DATA, "Amount"));
}
BENCHMARK(IsItemUsedFound);

void IsItemUsedNotFound(benchmark::State& state) {
  const Chain& chain = Doubling();
  for (auto _ : state) benchmark::DoNotOptimize(XEVIsItemUsed(chain.ec(), chain.last(), XEV_ITEM_DATA, "Price"));
}
BENCHMARK(IsItemUsedNotFound);

// The last formula is used by none, so every tree is looked at.
void IsNamedFormulaUsed(benchmark::State& state) {
  const Chain& chain = Doubling();
  for (auto _ : state) benchmark::DoNotOptimize(XEVIsNamedFormulaUsed(chain.ec(), "F999"));
}
BENCHMARK(IsNamedFormulaUsed);

void IsAggregateUsed(benchmark::State& state) {
  const Chain& chain = Doubling();
  for (auto _ : state) benchmark::DoNotOptimize(XEVIsAggregateUsed(chain.ec(), chain.last()));
}
BENCHMARK(IsAggregateUsed);

void IsFunctionVariableUsed(benchmark::State& state) {
  const Chain& chain = Doubling();
  for (auto _ : state) {
    benchmark::DoNotOptimize(XEVIsFunctionVariableUsed(chain.ec(), chain.last(), "Total", "Amount"));
  }
}
BENCHMARK(IsFunctionVariableUsed);

// The doubling chain leaves 32 bits after about thirty levels; the answer is 0.
void ExtendedTextLengthOverflow(benchmark::State& state) {
  const Chain& chain = Doubling();
  for (auto _ : state) benchmark::DoNotOptimize(XEVGetExtendedTextLength(chain.ec(), chain.last(), 1));
}
BENCHMARK(ExtendedTextLengthOverflow);

void ExtendedTextLengthDeep(benchmark::State& state) {
  const Chain& chain = Single();
  for (auto _ : state) benchmark::DoNotOptimize(XEVGetExtendedTextLength(chain.ec(), chain.last(), 1));
}
BENCHMARK(ExtendedTextLengthDeep);

void ExtendedTextDeep(benchmark::State& state) {
  const Chain& chain = Single();
  std::vector<char> buffer(static_cast<size_t>(XEVGetExtendedTextLength(chain.ec(), chain.last(), 1)) + 1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        XEVGetExtendedText(chain.ec(), chain.last(), static_cast<int32_t>(buffer.size()), buffer.data(), 1));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buffer.size()));
}
BENCHMARK(ExtendedTextDeep);

void CycleIsItemUsed(benchmark::State& state) {
  const Chain& chain = Ring();
  for (auto _ : state) benchmark::DoNotOptimize(XEVIsItemUsed(chain.ec(), chain.last(), XEV_ITEM_DATA, "Price"));
}
BENCHMARK(CycleIsItemUsed);

void CycleExtendedTextLength(benchmark::State& state) {
  const Chain& chain = Ring();
  for (auto _ : state) benchmark::DoNotOptimize(XEVGetExtendedTextLength(chain.ec(), chain.last(), 0));
}
BENCHMARK(CycleExtendedTextLength);

}  // namespace
