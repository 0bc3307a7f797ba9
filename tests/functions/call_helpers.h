// Helpers for calling built-in function entry points directly, the way the
// evaluator does: an argument array of value pointers and a HostAlloc result
// block of 13 or 50 bytes.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "xev/xev.h"

namespace xev_test {

inline NumberValue Num(const char* text) {
  NumberValue n{};
  EXPECT_EQ(HostStrToNumber(&n, text), 1) << text;
  return n;
}

inline int32_t IntOf(NumberValue n) { return NumberToInt(&n); }

inline NumberValue NullNum() { return NumberValue{}; }

inline NumberValue Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  DateParts parts{month, day, year, hour, minute, second, 0};
  NumberValue n{};
  n.bytes[0] = DatePartsToNumber(n.bytes + 1, &parts);
  return n;
}

inline DateParts PartsOf(const NumberValue& n) {
  DateParts parts{};
  NumberToDateParts(n.bytes + 1, n.bytes[0], &parts);
  return parts;
}

// The decimal text of a Number, "NULL" for NULL.
inline std::string Text(const NumberValue& n) {
  if (NumberIsNull(&n)) return "NULL";
  char buffer[64];
  if (HostNumberToStr(&n, buffer, sizeof buffer) < 0) return "?";
  return buffer;
}

// "2000-02-29 00:00:00", "NULL" for NULL.
inline std::string DateText(const NumberValue& n) {
  if (NumberIsNull(&n)) return "NULL";
  DateParts p = PartsOf(n);
  char buffer[64];
  snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
           p.minute, p.second);
  return buffer;
}

// One argument: a NumberValue or a string, kept alive for the call.
struct Arg {
  Arg(const NumberValue& n) : number(n), isNumber(true) {}
  Arg(const char* s) : text(s) {}
  Arg(std::nullptr_t) : isNull(true) {}
  NumberValue number{};
  std::string text;
  bool isNumber = false;
  bool isNull = false;
  void* pointer() { return isNull ? nullptr : isNumber ? static_cast<void*>(&number) : text.data(); }
};

struct CallOutcome {
  int32_t returned = 0;
  std::string text;
  NumberValue number{};
  size_t blockSize = 0;
};

// Calls fn with the given arguments and a fresh result block of size bytes.
inline CallOutcome Call(XEVFunctionEntry fn, std::vector<Arg> args, int32_t size) {
  std::vector<void*> slots;
  for (Arg& a : args) slots.push_back(a.pointer());
  void* block = HostAlloc(static_cast<size_t>(size));
  CallOutcome outcome;
  outcome.returned = fn(nullptr, nullptr, size, &block, "f", slots.empty() ? nullptr : slots.data());
  outcome.blockSize = HostBlockSize(block);
  if (outcome.returned != 0) {
    if (size == XEV_NUMBER_SIZE) {
      memcpy(&outcome.number, block, XEV_NUMBER_SIZE);
    } else {
      outcome.text = static_cast<const char*>(block);
    }
  }
  HostFree(block);
  return outcome;
}

inline NumberValue CallNumber(XEVFunctionEntry fn, std::vector<Arg> args) {
  CallOutcome outcome = Call(fn, std::move(args), XEV_NUMBER_SIZE);
  EXPECT_EQ(outcome.returned, 1);
  return outcome.number;
}

inline std::string CallText(XEVFunctionEntry fn, std::vector<Arg> args) {
  CallOutcome outcome = Call(fn, std::move(args), 50);
  EXPECT_EQ(outcome.returned, 1);
  return outcome.text;
}

// Checks that a test leaves no host block behind and restores the code page.
class FunctionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HostSetCodePage(XEV_CP_WESTERN);
    live_ = HostLiveBlockCount();
  }
  void TearDown() override {
    HostFailAllocationAfter(0);
    HostSetCodePage(XEV_CP_WESTERN);
    EXPECT_EQ(HostLiveBlockCount(), live_);
  }

 private:
  int64_t live_ = 0;
};

}  // namespace xev_test
