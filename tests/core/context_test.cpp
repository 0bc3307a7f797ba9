// The expression context: its life, settings, what a copy takes over, start-up
// and the memory entry points.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "core/core.h"
#include "oom/sweep.h"

namespace {

using namespace xev::core;

int g_resolves = 0, g_added = 0;
intptr_t XEV_CALL Resolve(const char*) { return ++g_resolves, 99; }
void XEV_CALL Rename(ExprContext*, const char*, const char*) {}
void XEV_CALL Notify(ExprContext*, int32_t code) { g_added += code == 2; }
int32_t XEV_CALL Permit(ExprContext*, HEXP, XEVHWND) { return 1; }
void XEV_CALL ListValues(ExprContext*, const char*, XEVHWND, int32_t, int32_t*) {}

class ContextTest : public oom::NoLeakTest {};

TEST_F(ContextTest, LifecycleAndStartUp) {
  ExprContext* ec = XEVCreateEC(42, Resolve, Rename, ECF_MODULO);
  ASSERT_NE(ec, nullptr);
  EXPECT_EQ(ec->pipeAllowed, 1);
  EXPECT_EQ(ec->nextFormulaNumber + ec->nextRangeNumber + ec->nextSetNumber, 3);
  EXPECT_EQ(ec->functionItems, nullptr);
  EXPECT_EQ((std::tuple{XEVSetUserLong(ec, 10), XEVSetUserLong(ec, 20), XEVGetUserLong(ec)}), std::tuple(0, 10, 20));
  ExpItem item{};
  item.bindingName = "Get";
  for (int16_t kind : {0, 1, 3}) item.kind = kind, XEVAddExpressionItem(ec, &item);
  XEVSetDateConvert(ec, "a%s", "b%s", "c%s", 0);
  XEVSetDatePicture(ec, "yyyy", "MM", "dd");
  XEVSetOperatorCallback(ec, 4, 3, "Cat");
  EXPECT_EQ(XEVDestroyEC(ec), 1);  // the fixture checks that every block went

  ec = XEVCreateEC(0, nullptr, nullptr, ECF_NO_STRING_CONCAT);
  EXPECT_EQ(ec->pipeAllowed, 0);
  XEVDestroyEC(ec);
  EXPECT_EQ(std::tuple(XEVDestroyEC(nullptr), XEVSetUserLong(nullptr, 5)), std::tuple(1, 0));
  HostFailAllocationAfter(1);
  EXPECT_EQ(XEVCreateEC(0, nullptr, nullptr, 0), nullptr);
  HostFailAllocationAfter(0);

  void* block = XEVMemRealloc(XEVMemAlloc(10), 30);
  EXPECT_EQ(XEVMemSize(block), 30u);
  XEVMemFree(block);
  EXPECT_EQ(XEVMemRealloc(nullptr, 8), nullptr) << "a null block is not an allocation request";

  EXPECT_EQ(std::string(Label(208)) + "/" + Label(231), "Formula/Keyword");
  ASSERT_NE(DefaultContext(), nullptr);
  EXPECT_EQ(DefaultContext(), DefaultContext());
}

TEST_F(ContextTest, HelpPathKeepsAtMost519Bytes) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  const std::string fits(519, 'p'), tooLong(520, 'q');
  XEVSetHelpPath(ec, fits.c_str(), 5);
  EXPECT_EQ(ec->helpPath, fits);
  XEVSetHelpPath(ec, tooLong.c_str(), 6);  // ignored but for its help context
  EXPECT_EQ(std::tuple(std::string(ec->helpPath), ec->helpContext), std::tuple(fits, 6));
  XEVDestroyEC(ec);
}

TEST_F(ContextTest, DateConversionsAndPictures) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  XEVSetDateConvert(ec, "ab%s", "abcdef%s", nullptr, 0);
  XEVSetDateConvert(ec, nullptr, nullptr, "x%s", 0x02);  // null keeps a position
  EXPECT_EQ(std::string(ec->dateConverts[0]) + " " + ec->dateConverts[2], "ab%s x%s");
  EXPECT_EQ(ec->dateTextWidth, 0) << "the width is computed by the picture setter";

  auto width = [ec](const char* first, const char* second, const char* third) {
    XEVSetDatePicture(ec, first, second, third);
    return ec->dateTextWidth;
  };
  // Widest picture, plus the longest conversion string since option 0x02 is on.
  EXPECT_EQ(width("yyyy-MM-dd", nullptr, nullptr), 10 + 8);
  EXPECT_EQ(width(nullptr, "yyyy-MM-dd HH:mm:ss", "HH:mm"), 19 + 8);
  EXPECT_EQ(width("yyyy-MM-dd", "", "HH:mm"), 10 + 8);
  EXPECT_EQ(ec->datePictures[1], nullptr) << "an empty picture is no picture";
  XEVSetDateConvert(ec, nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(width(nullptr, nullptr, "HH:mm"), 5);
  EXPECT_EQ(ec->datePictures[0], nullptr) << "earlier pictures are dropped";

  HostFailAllocationAfter(1);  // a failed copy empties its position
  XEVSetDateConvert(ec, "new %s", nullptr, nullptr, 0);
  HostFailAllocationAfter(0);
  EXPECT_EQ(ec->dateConverts[0], nullptr);
  EXPECT_STREQ(ec->dateConverts[1], "abcdef%s");
  XEVDestroyEC(ec);
}

ExprContext* MakeRichContext() {
  ExprContext* ec = XEVCreateEC(7, Resolve, Rename, ECF_NO_STRING_CONCAT);
  XEVSetUserLong(ec, 1234), ec->reserved = 55;
  XEVSetNotifyCallback(ec, Notify);
  XEVSetDelPermissionCallback(ec, Permit);
  XEVSetListValuesCallback(ec, ListValues);
  XEVSetDateConvert(ec, "a%s", nullptr, "ccc%s", 0x02);
  XEVSetDatePicture(ec, nullptr, "yyyy", "HH");
  XEVSetHelpPath(ec, "help.hlp", 3);
  XEVSetOperatorCallback(ec, 0, 0, "Add");
  for (int16_t kind : {0, 1, 3}) testhost::AddItem(ec, kind, kind == 1 ? "Amount" : "Other", {.binding = "GetAmount"});
  ExprError error{};
  uint16_t type = 0;
  XEVParseString(ec, "Amount * 2", "Double", &error, &type);
  XEVParseString(ec, "Amount + 1", "", &error, &type);
  return ec;
}

TEST_F(ContextTest, CopyTakesSettingsItemsAndFormulasButNotTheOperatorTableOrHelp) {
  ExprContext* source = MakeRichContext();
  ASSERT_EQ(XEVGetExpressionCount(source), 2);
  source->nextFormulaNumber = 9;
  g_resolves = g_added = 0;
  ExprContext* copy = XEVCopyEC(source);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(g_resolves, 0) << "copied items keep their bound values";
  EXPECT_EQ(+FindItem(copy->dataItems, "Amount")->boundValue, 99);
  EXPECT_EQ(HandleArrayCount(copy->functionItems) + HandleArrayCount(copy->keywordItems), 2u);
  EXPECT_EQ(copy->hostValue + copy->userLong + copy->reserved, 7 + 1234 + 55);
  EXPECT_EQ(copy->pipeAllowed, 0);
  EXPECT_EQ(copy->listValuesCallback, ListValues);
  EXPECT_STREQ(copy->dateConverts[2], "ccc%s");
  EXPECT_EQ(copy->datePictures[1], nullptr) << "pictures travel only with the first";
  EXPECT_EQ(std::tuple(copy->operators[kOpPlus].names[0], copy->helpPath[0], copy->helpContext),
            std::tuple(nullptr, '\0', 0));
  // Formulas are parsed again in the copy; an unnamed one gets a new name.
  EXPECT_EQ(std::tuple(g_added, XEVGetExpressionCount(copy)), std::tuple(2, 2));
  EXPECT_NE(XEVHEXPFromName(copy, "Double"), nullptr);
  XEVDestroyEC(copy);

  // A formula that no longer parses is left out silently.
  XEVDelExpItemNoCheck(source, 1, "Amount");
  copy = XEVCopyEC(source);
  EXPECT_EQ(XEVGetExpressionCount(copy), 0);
  XEVDestroyEC(copy), XEVDestroyEC(source);
  EXPECT_EQ(XEVCopyEC(nullptr), nullptr);
}

}  // namespace
