// Sweep() runs an attempt once to count the allocations its operation makes,
// then once per allocation with exactly that one failing. Each attempt brackets
// the operation with Arm() and Disarm(), checks the outcome and releases
// everything; Sweep() checks that no block outlives it. Snapshot() and
// ExpectUsable() say what a failure left of a context.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/host.h"
#include "xev/xev.h"

namespace oom {

using namespace testhost;

struct Totals {
  int scenarios = 0;
  int64_t points = 0;
};

inline Totals& RunTotals() {
  static Totals totals;
  return totals;
}

// One run of an attempt: either the counting run or one with the failAt-th
// allocation after Arm() failing.
class Trial {
 public:
  explicit Trial(int64_t failAt) : failAt_(failAt) {}
  ~Trial() { Disarm(); }
  Trial(const Trial&) = delete;
  Trial& operator=(const Trial&) = delete;
  void Arm() {
    start_ = HostAllocationCount();
    HostFailAllocationAfter(failAt_);
    armed_ = true;
  }
  void Disarm() {
    if (!armed_) return;
    HostFailAllocationAfter(0);
    made_ = HostAllocationCount() - start_;
    armed_ = false;
  }
  // False only in the counting run, whose outcome is the reference.
  bool failing() const { return failAt_ > 0; }
  // Which allocation after Arm() fails (1 is the first); 0 in the counting run.
  int64_t failAt() const { return failAt_; }
  int64_t made() const { return made_; }

 private:
  int64_t failAt_;
  int64_t start_ = 0;
  int64_t made_ = 0;
  bool armed_ = false;
};

using Attempt = std::function<void(Trial&)>;

// A test that ends with failures switched off and no block left that it did
// not find.
class NoLeakTest : public ::testing::Test {
 protected:
  void SetUp() override { live_ = HostLiveBlockCount(); }
  void TearDown() override {
    HostFailAllocationAfter(0);
    EXPECT_EQ(HostLiveBlockCount(), live_) << "blocks leaked";
  }
  int64_t live_ = 0;
};

// Returns the number of failure points. Stops at the first point that fails a
// check, so that one fault reports once, not once per allocation after it.
inline int64_t Sweep(const std::string& operation, const Attempt& attempt) {
  const int64_t live = HostLiveBlockCount();
  int64_t points = 0;
  {
    SCOPED_TRACE(operation + ", no allocation failing");
    Trial counting(0);
    attempt(counting);
    counting.Disarm();
    points = counting.made();
    EXPECT_EQ(HostLiveBlockCount(), live) << "blocks leaked";
  }
  int64_t reached = 0;
  for (int64_t k = 1; k <= points && !::testing::Test::HasFailure(); ++k) {
    SCOPED_TRACE(operation + ", allocation " + std::to_string(k) + " of " + std::to_string(points) +
                 " failing");
    Trial trial(k);
    attempt(trial);
    trial.Disarm();
    EXPECT_EQ(HostLiveBlockCount(), live) << "blocks leaked";
    // A list that kept the room an earlier run gave it grows without a new
    // allocation, so a repeat may need fewer than the counting run did.
    if (trial.made() < k) break;
    ++reached;
  }
  points = reached;
  RunTotals().points += points;
  if (std::getenv("XEV_SWEEP_VERBOSE") != nullptr) {
    std::printf("[ sweep    ] %s: %lld failure points\n", operation.c_str(), static_cast<long long>(points));
  }
  return points;
}

// What a host can see of a context, one line each: its user long, its items
// by kind, and each formula's name, text, type and (with values) value, in
// ordinal order. A failed operation that promises to change nothing must
// leave the same snapshot (a difference prints as a diff of lines); an
// operation that builds from a source holds a subset of its lines.
inline std::string Snapshot(ExprContext* ec, bool values = true) {
  std::string seen = "user long " + std::to_string(XEVGetUserLong(ec)) + "\n";
  for (int16_t kind : {XEV_ITEM_FUNCTION, XEV_ITEM_DATA, XEV_ITEM_KEYWORD}) {
    for (const std::string& name : ItemNames(ec, kind)) seen += "item " + std::to_string(kind) + " " + name + "\n";
  }
  for (int32_t i = 0; i < XEVGetExpressionCount(ec); ++i) {
    HEXP exp = XEVHEXPFromOrdinal(ec, i);
    seen += ExpressionName(ec, exp) + " = " + ExpressionText(ec, exp) + " : " +
            std::to_string(XEVGetExpressionDataType(ec, exp)) + (values ? " " + ValueText(ec, exp) : "") + "\n";
  }
  return seen;
}

// Every line of part is one of whole's.
inline void ExpectWithin(const std::string& part, const std::string& whole) {
  std::set<std::string> lines;
  for (size_t at = 0, end; (end = whole.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.insert(whole.substr(at, end - at));
  }
  for (size_t at = 0, end; (end = part.find('\n', at)) != std::string::npos; at = end + 1) {
    EXPECT_EQ(lines.count(part.substr(at, end - at)), 1u) << part.substr(at, end - at);
  }
}

// A context is still usable when every expression can be read back and found
// by name and ordinal, and a new formula parses, evaluates and goes again.
inline void ExpectUsable(ExprContext* ec) {
  const int32_t count = XEVGetExpressionCount(ec);
  ASSERT_GE(count, 0);
  for (int32_t ordinal = 0; ordinal < count; ++ordinal) {
    HEXP exp = XEVHEXPFromOrdinal(ec, ordinal);
    ASSERT_NE(exp, nullptr) << "ordinal " << ordinal;
    EXPECT_EQ(XEVGetExpressionOrdinal(ec, exp), ordinal);
    const std::string name = ExpressionName(ec, exp);
    EXPECT_EQ(XEVHEXPFromName(ec, name.c_str()), exp) << name;
    EXPECT_FALSE(ExpressionText(ec, exp).empty()) << name;
  }
  for (int16_t kind : {XEV_ITEM_FUNCTION, XEV_ITEM_DATA, XEV_ITEM_KEYWORD}) ItemNames(ec, kind);
  // A data item slot left empty by a stopped load is counted by the size but
  // not written, so the block may come out shorter, never longer.
  std::vector<uint8_t> block(XEVGetECBlockSize(ec, 1));
  EXPECT_LE(static_cast<uint32_t>(XEVGetECBlock(ec, static_cast<int32_t>(block.size()), block.data())),
            block.size());

  ExprError error{};
  uint16_t type = 0;
  HEXP probe = XEVParseFormula(ec, nullptr, "(7 + 5) * 2", "UsabilityProbe", &error, &type);
  ASSERT_NE(probe, nullptr) << "a new formula no longer parses: error " << error.code;
  EXPECT_EQ(XEVGetExpressionCount(ec), count + 1);
  NumberValue value{};
  EXPECT_EQ(XEVEvaluateExpression(ec, probe, sizeof value, &value), 1);
  EXPECT_EQ(NumberToInt(&value), 24);
  EXPECT_EQ(XEVDestroyEXP(ec, probe), 1);
  EXPECT_EQ(XEVGetExpressionCount(ec), count);
}

inline void ExpectUsableThenDestroy(ExprContext* ec) {
  ExpectUsable(ec);
  XEVDestroyEC(ec);
}

}  // namespace oom
