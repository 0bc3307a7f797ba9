// Contexts on different threads must not meet: several threads each build a
// context, parse, evaluate, copy it, write it as a block and load it again,
// over and over, and every result must be what one thread alone computes.
// Run under ThreadSanitizer by scripts/test, which then also checks that no
// two threads touch the same state unguarded.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "eval/report_mix.h"
#include "tests/support/host.h"

namespace {

using namespace report_mix;

// Beyond the mix: texts, dates, a formula reference and formatting by locale.
constexpr const char* kMoreFormulas[] = {
    "StrUpper(StrLeft('report total ' || NumberToStr(Price * Quantity), 14))",
    "DateAddDay(DateConstruct(2001, 12, 25), Quantity) + 1 MONTHS",
    "NumberToCurrency(Price - Cost)",
};

// Every formula's value on every row of the cycle, as one text.
std::string AllValues(ExprContext* ec) {
  std::string all;
  int32_t count = XEVGetExpressionCount(ec);
  for (int row = 0; row < kRowCycle; ++row) {
    t_row = row;
    for (int32_t i = 0; i < count; ++i) all += testhost::ValueText(ec, XEVHEXPFromOrdinal(ec, i)) + "|";
  }
  return all;
}

// One round of a thread's work on a context of its own; the values it saw.
std::string OneRound() {
  Report report;
  if (!report.ParseAll()) return "the mix does not parse";
  for (const char* text : kMoreFormulas) {
    uint16_t type = 0;
    if (XEVParseFormula(report.ec, nullptr, text, nullptr, nullptr, &type) == nullptr) return text;
  }
  uint16_t type = 0;
  if (XEVParseFormula(report.ec, nullptr, "Formula1() * 2", "Twice", nullptr, &type) == nullptr) {
    return "no reference";
  }
  if (XEVValidName(nullptr, "Order_Total", nullptr) != 1) return "name check";
  std::string values = AllValues(report.ec);

  ExprContext* copy = XEVCopyEC(report.ec);
  std::string copied = copy != nullptr ? AllValues(copy) : "no copy";
  XEVDestroyEC(copy);
  if (copied != values) return "the copy differs";

  std::vector<char> block(XEVGetECBlockSize(report.ec, 1));
  XEVGetECBlock(report.ec, static_cast<int32_t>(block.size()), block.data());
  Report loaded;
  if (XEVSetECContents(loaded.ec, static_cast<int32_t>(block.size()), block.data(), 1, nullptr) != 1) {
    return "the block does not load";
  }
  if (AllValues(loaded.ec) != values) return "the loaded context differs";
  return values;
}

TEST(Threads, ContextsOnDifferentThreadsWorkAsAlone) {
  const std::string expected = OneRound();
  ASSERT_NE(expected.find('|'), std::string::npos) << expected;

  constexpr int kThreads = 4;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  std::atomic<int> rounds{0};
  std::vector<std::string> failures(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const int64_t live = HostLiveBlockCount();
      // At least a few rounds each, however slow the build.
      for (int round = 0; round < 3 || std::chrono::steady_clock::now() < until; ++round) {
        std::string got = OneRound();
        if (got != expected) {
          failures[t] = got.substr(0, 200);
          return;
        }
        ++rounds;
      }
      if (HostLiveBlockCount() != live) failures[t] = "blocks leaked";
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], "") << "thread " << t;
  EXPECT_GE(rounds.load(), 3 * kThreads);
}

// A block made on one thread may be freed on another, and the other way round.
TEST(Threads, BlocksMayChangeThreads) {
  constexpr int kBlocks = 1000;
  std::vector<void*> blocks(kBlocks);
  std::thread maker([&] {
    for (int i = 0; i < kBlocks; ++i) blocks[i] = HostAlloc(static_cast<size_t>(1 + i % 600));
  });
  maker.join();
  std::thread freer([&] {
    for (int i = 0; i < kBlocks; ++i) {
      ASSERT_NE(blocks[i], nullptr);
      ASSERT_EQ(HostBlockSize(blocks[i]), static_cast<size_t>(1 + i % 600));
      blocks[i] = HostRealloc(blocks[i], 40);
      HostFree(blocks[i]);
    }
  });
  freer.join();
  void* again = HostAlloc(40);  // the main thread's lists are untouched
  EXPECT_NE(again, nullptr);
  HostFree(again);
}

// A context handed to another thread takes its trees along: their nodes may
// be released there while this thread goes on parsing into new contexts.
TEST(Threads, TreesMayBeReleasedOnAnotherThreadWhileParsingGoesOn) {
  constexpr int kContexts = 200;
  std::vector<ExprContext*> handed(kContexts, nullptr);
  std::atomic<int> ready{0};
  std::atomic<int> wrongCounts{0};
  std::thread releaser([&] {
    for (int i = 0; i < kContexts; ++i) {
      while (ready.load() <= i) std::this_thread::yield();
      if (XEVGetExpressionCount(handed[i]) != kFormulaCount) ++wrongCounts;
      XEVDestroyEC(handed[i]);
    }
  });
  for (int i = 0; i < kContexts; ++i) {
    ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
    for (const char* name : kItems) testhost::AddItem(ec, XEV_ITEM_DATA, name, {.type = XEV_TYPE_NUMBER});
    FUNDefineFunctions(ec);
    for (const char* text : kFormulas) {
      uint16_t type = 0;
      XEVParseFormula(ec, nullptr, text, nullptr, nullptr, &type);
    }
    handed[i] = ec;
    ready.store(i + 1);
  }
  releaser.join();
  EXPECT_EQ(wrongCounts.load(), 0);
}

}  // namespace
