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

const ExpItem* ItemAt(HGLOBAL list, int32_t i) {
  const ExpItem* item = *static_cast<ExpItem**>(HandleArrayLockElement(list, i));
  HandleArrayUnlock(list);
  return item;
}

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

TEST_F(RegistryTest, EveryRowBecomesAFunctionUnderItsDisplayName) {
  ASSERT_EQ(FUNDefineFunctions(ec_), 1);
  ASSERT_EQ(HandleArrayCount(ec_->functionItems), 46u);
  std::set<std::string> names;
  std::vector<std::string> unexported;
  for (int32_t i = 0; i < 46; ++i) {
    const ExpItem* item = ItemAt(ec_->functionItems, i);
    SCOPED_TRACE(item->name);
    names.insert(item->name);
    EXPECT_EQ(std::string("FUN") + item->name, +item->bindingName);
    EXPECT_TRUE(item->paramCount >= 1 && item->paramCount <= 7);
    EXPECT_EQ(item->subclass | item->subclass2 | item->flags, 0);
    for (int16_t p = 0; p < item->paramCount; ++p) EXPECT_EQ(+item->params[p].byName, 0);
    void* exported = xev::functions::LookupExport(item->bindingName);
    EXPECT_EQ(+item->boundValue, reinterpret_cast<intptr_t>(exported));
    if (exported == nullptr) unexported.emplace_back(item->bindingName);
  }
  EXPECT_EQ(names.size(), 46u);
  EXPECT_EQ(g_resolved, unexported) << "only rows without an export are offered to the host";
  EXPECT_EQ(FindItem(ec_->functionItems, "FUNStrLeft"), nullptr) << "formulas omit the prefix";

  const ExpItem* numberIff = FindItem(ec_->functionItems, "NumberIFF");
  const ExpItem* dateIff = FindItem(ec_->functionItems, "DateIFF");
  ASSERT_TRUE(numberIff != nullptr && dateIff != nullptr);
  EXPECT_EQ(+numberIff->boundValue, +dateIff->boundValue) << "one entry point serves both";
  EXPECT_NE(+numberIff->boundValue, 0);

  const ExpItem* replace = FindItem(ec_->functionItems, "StrReplace");
  ASSERT_NE(replace, nullptr);
  EXPECT_EQ(+replace->dataType, XEV_TYPE_STRING);
  ASSERT_EQ(+replace->paramCount, 4);
  const int16_t types[] = {2, 0, 0, 2};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(+replace->params[i].type, types[i]);
  EXPECT_EQ(FunctionReturnType(ec_, "DateAddDay"), XEV_TYPE_DATETIME);
  EXPECT_EQ(+FindItem(ec_->functionItems, "DateConstruct")->paramCount, 6);
}

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
