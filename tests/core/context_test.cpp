// The expression context: its life, its settings, what a copy takes over, and
// the memory entry points a host uses for blocks that cross the API.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/core.h"

namespace {

int g_resolveCalls = 0;
intptr_t XEV_CALL CountingResolve(const char*) {
  ++g_resolveCalls;
  return 99;
}
void XEV_CALL Rename(ExprContext*, const char*, const char*) {}
void XEV_CALL Notify(ExprContext*, int32_t) {}
int32_t XEV_CALL Permit(ExprContext*, HEXP, HWND) { return 1; }
void XEV_CALL ListValues(ExprContext*, const char*, HWND, int32_t, int32_t*) {}

class ContextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_resolveCalls = 0;
    liveAtStart_ = HostLiveBlockCount();
  }
  void TearDown() override {
    HostFailAllocationAfter(0);
    EXPECT_EQ(HostLiveBlockCount(), liveAtStart_) << "blocks leaked";
  }
  int64_t liveAtStart_ = 0;
};

TEST_F(ContextTest, NewContextHoldsItsArgumentsAndNothingElse) {
  ExprContext* ec = XEVCreateEC(42, CountingResolve, Rename, ECF_MODULO);
  ASSERT_NE(ec, nullptr);
  EXPECT_EQ(ec->hostValue, 42);
  EXPECT_EQ(ec->resolveCallback, CountingResolve);
  EXPECT_EQ(ec->renameCallback, Rename);
  EXPECT_EQ(ec->flags, ECF_MODULO);
  EXPECT_EQ(ec->pipeAllowed, 1);
  EXPECT_EQ(ec->nextFormulaNumber, 1);
  EXPECT_EQ(ec->nextRangeNumber, 1);
  EXPECT_EQ(ec->nextSetNumber, 1);
  EXPECT_EQ(ec->expressions, nullptr);
  EXPECT_EQ(ec->functionItems, nullptr);
  EXPECT_EQ(ec->dataItems, nullptr);
  EXPECT_EQ(ec->keywordItems, nullptr);
  EXPECT_EQ(ec->helpPath[0], '\0');
  XEVDestroyEC(ec);

  ec = XEVCreateEC(0, nullptr, nullptr, ECF_NO_STRING_CONCAT);
  EXPECT_EQ(ec->pipeAllowed, 0);
  XEVDestroyEC(ec);
}

TEST_F(ContextTest, CreationFailsCleanlyWithoutMemory) {
  HostFailAllocationAfter(1);
  EXPECT_EQ(XEVCreateEC(0, nullptr, nullptr, 0), nullptr);
}

TEST_F(ContextTest, DestroyReleasesEverythingTheContextOwns) {
  EXPECT_EQ(XEVDestroyEC(nullptr), 1);
  ExprContext* ec = XEVCreateEC(0, CountingResolve, nullptr, 0);
  ExpItem item{};
  item.bindingName = "Get";
  for (int16_t kind : {0, 1, 3}) {
    item.kind = kind;
    ASSERT_EQ(XEVAddExpressionItem(ec, &item), 1);
  }
  XEVSetDateConvert(ec, "a%s", "b%s", "c%s", 0);
  XEVSetDatePicture(ec, nullptr, nullptr, nullptr);
  ASSERT_EQ(XEVSetOperatorCallback(ec, 0, 0, "Add"), 1);
  ASSERT_EQ(XEVSetOperatorCallback(ec, 4, 3, "Cat"), 1);
  EXPECT_EQ(XEVDestroyEC(ec), 1);  // the fixture checks that nothing is left
}

TEST_F(ContextTest, HelpPathKeepsAtMost519Bytes) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  const std::string fits(519, 'p');
  XEVSetHelpPath(ec, fits.c_str(), 5);
  EXPECT_EQ(std::string(ec->helpPath), fits);
  EXPECT_EQ(ec->helpContext, 5);

  const std::string tooLong(520, 'q');
  XEVSetHelpPath(ec, tooLong.c_str(), 6);
  EXPECT_EQ(std::string(ec->helpPath), fits) << "a path that does not fit is ignored";
  EXPECT_EQ(ec->helpContext, 6) << "the context is stored anyway";

  XEVSetHelpPath(ec, "short.hlp", 7);
  EXPECT_STREQ(ec->helpPath, "short.hlp");
  XEVSetHelpPath(nullptr, "x", 1);
  XEVDestroyEC(ec);
}

TEST_F(ContextTest, DateConvertReplacesOnlyTheGivenPositions) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  XEVSetDateConvert(ec, "one %s", "two %s", nullptr, 3);
  EXPECT_STREQ(ec->dateConverts[0], "one %s");
  EXPECT_STREQ(ec->dateConverts[1], "two %s");
  EXPECT_EQ(ec->dateConverts[2], nullptr);
  EXPECT_EQ(ec->dateConvertOptions, 3);

  XEVSetDateConvert(ec, nullptr, "TWO %s", "three %s", 0);
  EXPECT_STREQ(ec->dateConverts[0], "one %s");
  EXPECT_STREQ(ec->dateConverts[1], "TWO %s");
  EXPECT_STREQ(ec->dateConverts[2], "three %s");
  EXPECT_EQ(ec->dateConvertOptions, 0);

  // A copy that cannot be made empties its position rather than keeping
  // a string the host meant to replace.
  HostFailAllocationAfter(1);
  XEVSetDateConvert(ec, "new %s", nullptr, nullptr, 0);
  HostFailAllocationAfter(0);
  EXPECT_EQ(ec->dateConverts[0], nullptr);
  EXPECT_STREQ(ec->dateConverts[1], "TWO %s");
  XEVDestroyEC(ec);
}

TEST_F(ContextTest, DatePictureStoresOnlyNonEmptyPicturesAndMeasuresConversions) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  EXPECT_EQ(XEVSetDatePicture(ec, "first", "", nullptr), 1);
  EXPECT_STREQ(ec->datePictures[0], "first");
  EXPECT_EQ(ec->datePictures[1], nullptr);
  EXPECT_EQ(ec->datePictures[2], nullptr);

  EXPECT_EQ(XEVSetDatePicture(ec, nullptr, nullptr, "third"), 1);
  EXPECT_EQ(ec->datePictures[0], nullptr) << "earlier pictures are dropped";
  EXPECT_STREQ(ec->datePictures[2], "third");

  // Without pictures the width is the wrapping alone, and only when wrapping is on.
  XEVSetDateConvert(ec, "{d '%s'}", "{ts '%s'}", nullptr, 0x02);
  XEVSetDatePicture(ec, nullptr, nullptr, nullptr);
  EXPECT_EQ(ec->dateTextWidth, 9);
  XEVSetDateConvert(ec, nullptr, nullptr, nullptr, 0);
  XEVSetDatePicture(ec, nullptr, nullptr, nullptr);
  EXPECT_EQ(ec->dateTextWidth, 0);
  XEVDestroyEC(ec);
}

TEST_F(ContextTest, DateTextWidthCoversEveryPictureAndTheWidestWrapping) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  auto width = [ec](const char* first, const char* second, const char* third) {
    XEVSetDatePicture(ec, first, second, third);
    return ec->dateTextWidth;
  };
  const char* date = "yyyy-MM-dd";
  const char* dateTime = "yyyy-MM-dd HH:mm:ss";
  const char* time = "HH:mm";
  EXPECT_EQ(width(date, nullptr, nullptr), 10);
  EXPECT_EQ(width(nullptr, dateTime, nullptr), 19);
  EXPECT_EQ(width(nullptr, nullptr, time), 5);
  EXPECT_EQ(width(date, dateTime, time), 19) << "the widest picture sets the width";
  EXPECT_EQ(width(date, "", time), 10) << "an empty picture is no picture";

  // Wrapping adds the longest conversion string once, and only when asked for.
  XEVSetDateConvert(ec, "ab%s", "abcdef%s", nullptr, 0);
  EXPECT_EQ(width(date, nullptr, nullptr), 10);
  XEVSetDateConvert(ec, nullptr, nullptr, nullptr, 0x02);
  EXPECT_EQ(ec->dateTextWidth, 10) << "the width is computed by the picture setter";
  EXPECT_EQ(width(date, nullptr, nullptr), 18);
  EXPECT_EQ(width(nullptr, nullptr, nullptr), 8);
  XEVDestroyEC(ec);
}

TEST_F(ContextTest, StartUpLoadsLabelsAndAPlainDefaultContext) {
  EXPECT_STREQ(xev::core::Label(208), "Formula");
  EXPECT_STREQ(xev::core::Label(214), "Range");
  EXPECT_STREQ(xev::core::Label(215), "Set");
  EXPECT_STREQ(xev::core::Label(207), "Formula Editor");
  EXPECT_STREQ(xev::core::Label(212), "Range Editor");
  EXPECT_STREQ(xev::core::Label(213), "Set Editor");
  EXPECT_STREQ(xev::core::Label(227), "Number");
  EXPECT_STREQ(xev::core::Label(228), "DateTime");
  EXPECT_STREQ(xev::core::Label(229), "String");
  EXPECT_STREQ(xev::core::Label(230), "Any");
  EXPECT_STREQ(xev::core::Label(231), "Keyword");
  EXPECT_STREQ(xev::core::Label(100), "") << "only the start-up labels are kept";

  ExprContext* ec = xev::core::DefaultContext();
  ASSERT_NE(ec, nullptr);
  EXPECT_EQ(ec, xev::core::DefaultContext()) << "created once";
  EXPECT_EQ(ec->flags, 0);
  EXPECT_EQ(ec->resolveCallback, nullptr);
  EXPECT_EQ(ec->functionItems, nullptr);
}

TEST_F(ContextTest, UserLongAndCallbacks) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  EXPECT_EQ(XEVSetUserLong(ec, 10), 0);
  EXPECT_EQ(XEVSetUserLong(ec, 20), 10);
  EXPECT_EQ(XEVGetUserLong(ec), 20);
  EXPECT_EQ(XEVSetUserLong(nullptr, 5), 0);
  EXPECT_EQ(XEVGetUserLong(nullptr), 0);

  XEVSetNotifyCallback(ec, Notify);
  XEVSetDelPermissionCallback(ec, Permit);
  XEVSetListValuesCallback(ec, ListValues);
  EXPECT_EQ(ec->notifyCallback, Notify);
  EXPECT_EQ(ec->delPermissionCallback, Permit);
  EXPECT_EQ(ec->listValuesCallback, ListValues);
  XEVSetNotifyCallback(ec, nullptr);
  EXPECT_EQ(ec->notifyCallback, nullptr);
  XEVDestroyEC(ec);
}

ExprContext* MakeRichContext() {
  ExprContext* ec = XEVCreateEC(7, CountingResolve, Rename, ECF_NO_STRING_CONCAT | ECF_MODULO);
  XEVSetUserLong(ec, 1234);
  ec->reserved = 55;
  XEVSetNotifyCallback(ec, Notify);
  XEVSetDelPermissionCallback(ec, Permit);
  XEVSetListValuesCallback(ec, ListValues);
  XEVSetDateConvert(ec, "a%s", nullptr, "ccc%s", 0x02);
  XEVSetHelpPath(ec, "help.hlp", 3);
  XEVSetOperatorCallback(ec, 0, 0, "Add");
  ec->nextFormulaNumber = 9;
  ExpItem item{};
  const char* names[] = {"F", "D", "K"};
  const int16_t kinds[] = {0, 1, 3};
  for (int i = 0; i < 3; ++i) {
    item.kind = kinds[i];
    item.bindingName = names[i];
    std::snprintf(item.name, sizeof item.name, "%s", names[i]);
    XEVAddExpressionItem(ec, &item);
  }
  return ec;
}

TEST_F(ContextTest, CopyTakesSettingsAndItemsButNotTheOperatorTableOrHelp) {
  ExprContext* source = MakeRichContext();
  const int resolvedBefore = g_resolveCalls;
  ExprContext* copy = XEVCopyEC(source);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(g_resolveCalls, resolvedBefore) << "copied items keep their bound values";

  EXPECT_EQ(copy->hostValue, 7);
  EXPECT_EQ(copy->resolveCallback, CountingResolve);
  EXPECT_EQ(copy->renameCallback, Rename);
  EXPECT_EQ(+copy->flags, +source->flags);
  EXPECT_EQ(copy->pipeAllowed, 0);
  EXPECT_EQ(copy->userLong, 1234);
  EXPECT_EQ(copy->reserved, 55);
  EXPECT_EQ(copy->notifyCallback, Notify);
  EXPECT_EQ(copy->delPermissionCallback, Permit);
  EXPECT_EQ(copy->listValuesCallback, ListValues);
  EXPECT_STREQ(copy->dateConverts[0], "a%s");
  EXPECT_EQ(copy->dateConverts[1], nullptr);
  EXPECT_STREQ(copy->dateConverts[2], "ccc%s");
  EXPECT_NE(copy->dateConverts[0], source->dateConverts[0]);
  EXPECT_EQ(copy->dateConvertOptions, 0x02);

  for (const char* name : {"F", "D", "K"}) {
    xev::core::HGLOBAL list = name[0] == 'F' ? copy->functionItems : name[0] == 'D' ? copy->dataItems : copy->keywordItems;
    const ExpItem* item = xev::core::FindItem(list, name);
    ASSERT_NE(item, nullptr) << name;
    EXPECT_EQ(+item->boundValue, 99);
    EXPECT_STREQ(+item->bindingName, name);
  }

  EXPECT_EQ(copy->operators[kOpPlus].names[0], nullptr);
  EXPECT_EQ(copy->operators[kOpPlus].bound[0], 0);
  EXPECT_EQ(copy->helpPath[0], '\0');
  EXPECT_EQ(copy->helpContext, 0);
  EXPECT_EQ(copy->nextFormulaNumber, 1);
  XEVDestroyEC(copy);
  XEVDestroyEC(source);
}

TEST_F(ContextTest, CopyTakesPicturesOnlyWhenTheFirstIsSet) {
  ExprContext* source = XEVCreateEC(0, nullptr, nullptr, 0);
  XEVSetDatePicture(source, nullptr, "second", "third");
  ExprContext* copy = XEVCopyEC(source);
  for (char* picture : copy->datePictures) EXPECT_EQ(picture, nullptr);
  XEVDestroyEC(copy);

  XEVSetDatePicture(source, "first", nullptr, "third");
  copy = XEVCopyEC(source);
  EXPECT_STREQ(copy->datePictures[0], "first");
  EXPECT_EQ(copy->datePictures[1], nullptr);
  EXPECT_STREQ(copy->datePictures[2], "third");
  EXPECT_EQ(copy->dateTextWidth, source->dateTextWidth);
  XEVDestroyEC(copy);
  XEVDestroyEC(source);
  EXPECT_EQ(XEVCopyEC(nullptr), nullptr);
}

TEST_F(ContextTest, CopyUnderEveryAllocationFailureLeaksNothing) {
  ExprContext* source = MakeRichContext();
  const int64_t start = HostAllocationCount();
  XEVDestroyEC(XEVCopyEC(source));
  const int64_t allocations = HostAllocationCount() - start;
  const int64_t live = HostLiveBlockCount();
  for (int64_t k = 1; k <= allocations; ++k) {
    SCOPED_TRACE(k);
    HostFailAllocationAfter(k);
    ExprContext* copy = XEVCopyEC(source);
    HostFailAllocationAfter(0);
    if (k == 1) {
      EXPECT_EQ(copy, nullptr) << "no record, no copy";
    } else {
      EXPECT_NE(copy, nullptr) << "later failures return what could be copied";
    }
    XEVDestroyEC(copy);
    EXPECT_EQ(HostLiveBlockCount(), live);
  }
  XEVDestroyEC(source);
}

TEST_F(ContextTest, MemoryEntryPoints) {
  void* block = XEVMemAlloc(10);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(XEVMemSize(block), 10u);
  block = XEVMemRealloc(block, 30);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(XEVMemSize(block), 30u);
  XEVMemFree(block);

  const int64_t before = HostAllocationCount();
  EXPECT_EQ(XEVMemRealloc(nullptr, 8), nullptr) << "a null block is not an allocation request";
  EXPECT_EQ(HostAllocationCount(), before);
  EXPECT_EQ(XEVMemSize(nullptr), 0u);
  XEVMemFree(nullptr);

  HostFailAllocationAfter(1);
  EXPECT_EQ(XEVMemAlloc(4), nullptr);
}

}  // namespace
