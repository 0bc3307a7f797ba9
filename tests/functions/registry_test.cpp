// Registering the built-in functions from the function table, and the helpers
// that let a function grow its result block.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "core/core.h"
#include "functions/functions.h"

namespace {

using xev::core::FindItem;
using xev::core::HandleArrayCount;

std::vector<std::string> g_resolved;
intptr_t XEV_CALL Resolve(const char* name) {
  g_resolved.emplace_back(name);
  return 0;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_resolved.clear();
    live_ = HostLiveBlockCount();
    ec_ = XEVCreateEC(0, Resolve, nullptr, 0);
    ASSERT_NE(ec_, nullptr);
  }
  void TearDown() override {
    HostFailAllocationAfter(0);
    HostSetCodePage(XEV_CP_WESTERN);
    XEVDestroyEC(ec_);
    EXPECT_EQ(HostLiveBlockCount(), live_);
  }
  const ExpItem* Function(const char* name) { return FindItem(ec_->functionItems, name); }

  ExprContext* ec_ = nullptr;
  int64_t live_ = 0;
};

TEST_F(RegistryTest, AllRowsBecomeFunctionItemsUnderTheirDisplayNames) {
  ASSERT_EQ(FUNDefineFunctions(ec_), 1);
  ASSERT_EQ(HandleArrayCount(ec_->functionItems), 46u);

  std::set<std::string> names;
  for (uint32_t i = 0; i < 46; ++i) {
    void* slot = xev::core::HandleArrayLockElement(ec_->functionItems, static_cast<int32_t>(i));
    const ExpItem* item = *static_cast<ExpItem**>(slot);
    xev::core::HandleArrayUnlock(ec_->functionItems);
    SCOPED_TRACE(item->name);
    names.insert(item->name);
    EXPECT_EQ(+item->kind, XEV_ITEM_FUNCTION);
    EXPECT_EQ(std::string("FUN") + item->name, +item->bindingName);
    EXPECT_GE(+item->paramCount, 1);
    EXPECT_LE(+item->paramCount, 7);
    EXPECT_EQ(+item->subclass, 0);
    EXPECT_EQ(+item->subclass2, 0);
    EXPECT_EQ(+item->flags, 0);
    for (int16_t p = 0; p < item->paramCount; ++p) {
      EXPECT_EQ(+item->params[p].byName, 0);
      EXPECT_GE(+item->params[p].type, XEV_TYPE_NUMBER);
      EXPECT_LE(+item->params[p].type, XEV_TYPE_STRING);
    }
  }
  EXPECT_EQ(names.size(), 46u) << "display names are unique";
  EXPECT_EQ(Function("FUNStrLeft"), nullptr) << "formulas use the name without its prefix";
}

TEST_F(RegistryTest, RowsCarryTheirTypesAndParameters) {
  ASSERT_EQ(FUNDefineFunctions(ec_), 1);
  const ExpItem* addDay = Function("DateAddDay");
  ASSERT_NE(addDay, nullptr);
  EXPECT_EQ(+addDay->dataType, XEV_TYPE_DATETIME);
  ASSERT_EQ(+addDay->paramCount, 2);
  EXPECT_EQ(+addDay->params[0].type, XEV_TYPE_DATETIME);
  EXPECT_EQ(+addDay->params[1].type, XEV_TYPE_NUMBER);

  const ExpItem* construct = Function("DateConstruct");
  ASSERT_NE(construct, nullptr);
  ASSERT_EQ(+construct->paramCount, 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(+construct->params[i].type, XEV_TYPE_NUMBER);
  EXPECT_EQ(HostBlockSize(construct), size_t(XEV_ITEM_FIXED_SIZE + 6 * 6));

  const ExpItem* replace = Function("StrReplace");
  ASSERT_NE(replace, nullptr);
  EXPECT_EQ(+replace->dataType, XEV_TYPE_STRING);
  ASSERT_EQ(+replace->paramCount, 4);
  const int16_t replaceTypes[] = {2, 0, 0, 2};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(+replace->params[i].type, replaceTypes[i]);
  EXPECT_EQ(xev::core::FunctionReturnType(ec_, "StrLength"), XEV_TYPE_NUMBER);
}

TEST_F(RegistryTest, BoundValuesComeFromTheExportsAndGapsGoToTheResolveCallback) {
  ASSERT_EQ(FUNDefineFunctions(ec_), 1);
  const ExpItem* numberIff = Function("NumberIFF");
  const ExpItem* dateIff = Function("DateIFF");
  ASSERT_NE(numberIff, nullptr);
  ASSERT_NE(dateIff, nullptr);
  EXPECT_EQ(+numberIff->boundValue, +dateIff->boundValue) << "one entry point serves both";

  std::vector<std::string> missing;
  for (uint32_t i = 0; i < 46; ++i) {
    void* slot = xev::core::HandleArrayLockElement(ec_->functionItems, static_cast<int32_t>(i));
    const ExpItem* item = *static_cast<ExpItem**>(slot);
    xev::core::HandleArrayUnlock(ec_->functionItems);
    void* exported = xev::functions::LookupExport(item->bindingName);
    EXPECT_EQ(+item->boundValue, reinterpret_cast<intptr_t>(exported)) << item->name;
    if (exported == nullptr) missing.emplace_back(item->bindingName);
  }
  EXPECT_EQ(g_resolved, missing) << "only rows without an export are offered to the host";
}

TEST_F(RegistryTest, EveryAllocationFailureReportsZeroAndKeepsWhatWasRegistered) {
  const int64_t start = HostAllocationCount();
  ExprContext* probe = XEVCreateEC(0, nullptr, nullptr, 0);
  ASSERT_EQ(FUNDefineFunctions(probe), 1);
  const int64_t allocations = HostAllocationCount() - start;
  XEVDestroyEC(probe);

  int64_t lastRegistered = 0;
  for (int64_t k = 1; k <= allocations; ++k) {
    SCOPED_TRACE(k);
    const int64_t live = HostLiveBlockCount();
    ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
    HostFailAllocationAfter(k);
    const int32_t result = FUNDefineFunctions(ec);
    HostFailAllocationAfter(0);
    const uint32_t registered = HandleArrayCount(ec->functionItems);
    if (result == 1) {
      // Only a binding-name copy failed: every row is there, one without its name.
      EXPECT_EQ(registered, 46u);
    } else {
      EXPECT_LT(registered, 46u);
      EXPECT_GE(registered, lastRegistered) << "rows registered before the failure stay";
      lastRegistered = registered;
    }
    XEVDestroyEC(ec);
    EXPECT_EQ(HostLiveBlockCount(), live);
  }
  EXPECT_EQ(FUNDefineFunctions(nullptr), 0);
}

TEST_F(RegistryTest, StrVarResultGrowsTheBlockOnlyWhenNeeded) {
  void* block = HostAlloc(0);
  ASSERT_EQ(FUNStrVarResult(&block, 0, "0123456789"), 1);
  EXPECT_EQ(HostBlockSize(block), 11u);
  EXPECT_STREQ(static_cast<char*>(block), "0123456789");

  void* before = block;
  ASSERT_EQ(FUNStrVarResult(&block, 11, "abc"), 1);
  EXPECT_EQ(block, before) << "a block that is large enough is reused";
  EXPECT_STREQ(static_cast<char*>(block), "abc");

  HostFailAllocationAfter(1);
  EXPECT_EQ(FUNStrVarResult(&block, 11, "a string of more than eleven bytes"), 0);
  HostFailAllocationAfter(0);
  EXPECT_EQ(block, before) << "a failed grow leaves the old block";
  EXPECT_STREQ(static_cast<char*>(block), "abc");
  HostFree(block);

  void* none = nullptr;
  ASSERT_EQ(FUNStrVarResult(&none, 50, "new"), 1) << "a missing block is allocated";
  EXPECT_STREQ(static_cast<char*>(none), "new");
  HostFree(none);
  EXPECT_EQ(FUNStrVarResult(nullptr, 0, "x"), 0);
}

TEST_F(RegistryTest, CharacterCountsDoubleOnlyInDoubleByteCodePages) {
  using xev::functions::CharsToBytes;
  EXPECT_EQ(CharsToBytes(10), 10);
  EXPECT_EQ(CharsToBytes(-3), 0);
  ASSERT_EQ(HostSetCodePage(XEV_CP_SHIFTJIS), 1);
  EXPECT_EQ(CharsToBytes(10), 20);
  EXPECT_EQ(CharsToBytes(INT32_MAX), INT32_MAX) << "saturates instead of overflowing";

  void* block = nullptr;
  ASSERT_TRUE(xev::functions::EnsureResultSize(&block, 0, 20));
  EXPECT_EQ(HostBlockSize(block), 20u);
  void* kept = block;
  ASSERT_TRUE(xev::functions::EnsureResultSize(&block, 20, 5));
  EXPECT_EQ(block, kept);
  HostFree(block);
}

TEST(ModuleHandle, IsTheLibrarysOwnModule) {
  EXPECT_NE(FUNModuleHandle(), nullptr);
  EXPECT_EQ(FUNModuleHandle(), FUNModuleHandle());
  FUNWinIniChange();  // a notice only; it must be safe at any time
}

}  // namespace
