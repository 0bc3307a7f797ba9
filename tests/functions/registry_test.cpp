// Registering the built-in functions from the function table, and the helpers
// that let a function grow its result block.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/core.h"
#include "functions/functions.h"
#include "oom/sweep.h"

namespace {

using namespace xev::core;

std::vector<std::string> g_resolved;
intptr_t XEV_CALL Resolve(const char* name) { return g_resolved.emplace_back(name), 0; }

class RegistryTest : public oom::NoLeakTest {
 protected:
  void SetUp() override {
    g_resolved.clear();
    NoLeakTest::SetUp();
    ec_ = XEVCreateEC(0, Resolve, nullptr, 0);
  }
  void TearDown() override {
    HostFailAllocationAfter(0);
    HostSetCodePage(XEV_CP_WESTERN);
    XEVDestroyEC(ec_);
    NoLeakTest::TearDown();
  }
  ExprContext* ec_ = nullptr;
};

TEST_F(RegistryTest, ResultBlocksGrowOnlyWhenNeeded) {
  void* block = HostAlloc(0);
  ASSERT_EQ(FUNStrVarResult(&block, 0, "0123456789"), 1);
  EXPECT_EQ(HostBlockSize(block), 11u);
  EXPECT_STREQ(static_cast<char*>(block), "0123456789");
  void* before = block;
  ASSERT_EQ(FUNStrVarResult(&block, 11, "abc"), 1);
  EXPECT_EQ(block, before) << "a block that is large enough is reused";
  HostFailAllocationAfter(1);
  EXPECT_EQ(FUNStrVarResult(&block, 11, "more than eleven bytes"), 0);
  HostFailAllocationAfter(0);
  EXPECT_EQ(block, before) << "a failed grow leaves the old block";
  EXPECT_STREQ(static_cast<char*>(block), "abc");
  HostFree(block);
  void* none = nullptr;
  ASSERT_EQ(FUNStrVarResult(&none, 50, "new"), 1) << "a missing block is allocated";
  HostFree(none);
  EXPECT_EQ(FUNStrVarResult(nullptr, 0, "x"), 0);
  FUNWinIniChange();  // a notice only; safe at any time

  using xev::functions::CharsToBytes;
  EXPECT_EQ(CharsToBytes(10), 10);
  EXPECT_EQ(CharsToBytes(-3), 0);
  ASSERT_EQ(HostSetCodePage(XEV_CP_SHIFTJIS), 1);
  EXPECT_EQ(CharsToBytes(10), 20);
  EXPECT_EQ(CharsToBytes(INT32_MAX), INT32_MAX) << "saturates instead of overflowing";
}

}  // namespace
