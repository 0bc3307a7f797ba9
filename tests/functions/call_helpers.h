// Calls built-in function entry points the way the evaluator does: an array of
// value pointers and a HostAlloc result block of 13 or 50 bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "oom/sweep.h"
#include "tests/support/values.h"

namespace xev_test {

using testhost::Date;
using testhost::Num;
using testhost::Text;
inline NumberValue NullNum() { return NumberValue{}; }

// "NULL", or "2000-02-29 00:00:00".
inline std::string DateText(const NumberValue& n) {
  DateParts p{};
  if (!NumberToDateParts(n.bytes + 1, n.bytes[0], &p)) return "NULL";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day,
                p.hour, p.minute, p.second);
  return buffer;
}

// One argument slot: a number, a text, or nullptr for a missing slot.
struct Arg {
  Arg(const NumberValue& n) : number(n), kind(1) {}
  Arg(const char* s) : text(s), kind(2) {}
  Arg(const std::string& s) : text(s), kind(2) {}
  Arg(std::nullptr_t) {}
  NumberValue number{};
  std::string text;
  int kind = 0;
  void* pointer() { return kind == 1 ? static_cast<void*>(&number) : kind == 2 ? text.data() : nullptr; }
};

// The arguments as a formula writes them, a missing slot as "missing".
inline std::string ArgsText(const std::vector<Arg>& args) {
  std::string text = "(";
  for (const Arg& a : args) {
    if (text.size() > 1) text += ", ";
    text += a.kind == 2 ? "'" + a.text + "'" : a.kind == 1 ? Text(a.number) : "missing";
  }
  return text + ")";
}

struct CallOutcome {
  int32_t returned = 0;
  std::string text;
  NumberValue number{};
  size_t blockSize = 0;
};

// Calls fn with a fresh result block of size bytes (an empty list passes no
// array), with the failAt-th allocation from the call on failing.
inline CallOutcome Call(XEVFunctionEntry fn, std::vector<Arg> args, int32_t size = 50, int64_t failAt = 0) {
  std::vector<void*> slots;
  for (Arg& a : args) slots.push_back(a.pointer());
  void* block = HostAlloc(static_cast<size_t>(size));
  CallOutcome out;
  HostFailAllocationAfter(failAt);
  out.returned = fn(nullptr, nullptr, size, &block, "f", slots.empty() ? nullptr : slots.data());
  HostFailAllocationAfter(0);
  out.blockSize = HostBlockSize(block);
  if (out.returned != 0 && size == XEV_NUMBER_SIZE) std::memcpy(&out.number, block, XEV_NUMBER_SIZE);
  if (out.returned != 0 && size != XEV_NUMBER_SIZE) out.text = static_cast<const char*>(block);
  HostFree(block);
  return out;
}

inline NumberValue CallNumber(XEVFunctionEntry fn, std::vector<Arg> args) {
  CallOutcome out = Call(fn, std::move(args), XEV_NUMBER_SIZE);
  EXPECT_EQ(out.returned, 1);
  return out.number;
}
inline std::string CallText(XEVFunctionEntry fn, std::vector<Arg> args) {
  CallOutcome out = Call(fn, std::move(args));
  EXPECT_EQ(out.returned, 1);
  return out.text;
}

// Calls fn with its first allocation failing; returns what fn returned and
// checks that the block was kept.
inline int32_t CallFailingGrowth(XEVFunctionEntry fn, std::vector<Arg> args, int32_t size) {
  const CallOutcome out = Call(fn, std::move(args), size, 1);
  EXPECT_EQ(out.blockSize, static_cast<size_t>(size));
  return out.returned;
}

// Leaves no host block behind and restores the code page.
class FunctionTest : public oom::NoLeakTest {
 protected:
  void TearDown() override {
    HostFailAllocationAfter(0);
    HostSetCodePage(XEV_CP_WESTERN);
    NoLeakTest::TearDown();
  }
};

}  // namespace xev_test
