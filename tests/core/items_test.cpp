// Item records in a context: how they are stored, bound, found, listed and
// deleted, and the argument-count rule of function items.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/core.h"

namespace {

using xev::core::CheckArity;
using xev::core::FindItem;

ExpItem MakeItem(int16_t kind, const char* name, int16_t dataType = XEV_TYPE_NUMBER) {
  ExpItem item{};
  item.kind = kind;
  item.dataType = dataType;
  std::snprintf(item.name, sizeof item.name, "%s", name);
  return item;
}

// A function record with room for several parameter entries.
struct FunctionRecord {
  ExpItem item;
  ExpParam more[6];
};

std::vector<std::string> g_resolved;
intptr_t XEV_CALL RecordingResolve(const char* name) {
  g_resolved.emplace_back(name);
  return 0x1234;
}

class ItemsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_resolved.clear();
    liveAtStart_ = HostLiveBlockCount();
    ec_ = XEVCreateEC(0, RecordingResolve, nullptr, 0);
    ASSERT_NE(ec_, nullptr);
  }
  void TearDown() override {
    HostFailAllocationAfter(0);
    XEVDestroyEC(ec_);
    EXPECT_EQ(HostLiveBlockCount(), liveAtStart_);
  }
  uint32_t Count(int16_t kind) { return xev::core::HandleArrayCount(*xev::core::ItemList(ec_, kind)); }

  ExprContext* ec_ = nullptr;
  int64_t liveAtStart_ = 0;
};

TEST_F(ItemsTest, StoredSizeFollowsKindAndParameterCount) {
  FunctionRecord two{};
  two.item = MakeItem(XEV_ITEM_FUNCTION, "Two");
  two.item.paramCount = 2;
  FunctionRecord negative{};
  negative.item = MakeItem(XEV_ITEM_FUNCTION, "Negative");
  negative.item.paramCount = -1;
  ExpItem none = MakeItem(XEV_ITEM_FUNCTION, "None");
  ExpItem data = MakeItem(XEV_ITEM_DATA, "Amount");
  ExpItem keyword = MakeItem(XEV_ITEM_KEYWORD, "PAGE");
  for (const ExpItem* item : {&two.item, &negative.item, &none, &data, &keyword}) {
    ASSERT_EQ(XEVAddExpressionItem(ec_, item), 1) << item->name;
  }

  const int32_t fixed = XEV_ITEM_FIXED_SIZE;
  EXPECT_EQ(HostBlockSize(FindItem(ec_->functionItems, "Two")), size_t(fixed + 12));
  EXPECT_EQ(HostBlockSize(FindItem(ec_->functionItems, "Negative")), size_t(fixed + 6));
  EXPECT_EQ(HostBlockSize(FindItem(ec_->functionItems, "None")), size_t(fixed));
  EXPECT_EQ(HostBlockSize(FindItem(ec_->dataItems, "Amount")), size_t(fixed));
  EXPECT_EQ(HostBlockSize(FindItem(ec_->keywordItems, "PAGE")), size_t(fixed));
  EXPECT_EQ(xev::core::StoredItemSize(&two.item), fixed + 12);
}

TEST_F(ItemsTest, UnknownKindsAreRefusedWithoutCreatingLists) {
  for (int16_t kind : {int16_t(2), int16_t(-1), int16_t(4)}) {
    ExpItem item = MakeItem(kind, "X");
    EXPECT_EQ(XEVAddExpressionItem(ec_, &item), 0);
  }
  EXPECT_EQ(ec_->functionItems, nullptr);
  EXPECT_EQ(ec_->dataItems, nullptr);
  EXPECT_EQ(ec_->keywordItems, nullptr);
  ExpItem item = MakeItem(XEV_ITEM_DATA, "X");
  EXPECT_EQ(XEVAddExpressionItem(nullptr, &item), 0);
  EXPECT_EQ(XEVAddExpressionItem(ec_, nullptr), 0);
}

TEST_F(ItemsTest, ResolveCallbackBindsOnlyUnboundItemsWithABindingName) {
  ExpItem unbound = MakeItem(XEV_ITEM_DATA, "Unbound");
  unbound.bindingName = "GetUnbound";
  ExpItem bound = MakeItem(XEV_ITEM_DATA, "Bound");
  bound.bindingName = "GetBound";
  bound.boundValue = 77;
  ExpItem nameless = MakeItem(XEV_ITEM_DATA, "Nameless");
  for (const ExpItem* item : {&unbound, &bound, &nameless}) ASSERT_EQ(XEVAddExpressionItem(ec_, item), 1);

  EXPECT_EQ(g_resolved, std::vector<std::string>{"GetUnbound"});
  const ExpItem* stored = FindItem(ec_->dataItems, "Unbound");
  EXPECT_EQ(+stored->boundValue, 0x1234);
  EXPECT_STREQ(+stored->bindingName, "GetUnbound");
  EXPECT_NE(+stored->bindingName, +unbound.bindingName) << "the context keeps its own copy";
  EXPECT_EQ(+FindItem(ec_->dataItems, "Bound")->boundValue, 77);
  EXPECT_EQ(+FindItem(ec_->dataItems, "Nameless")->bindingName, nullptr);

  ExprContext* plain = XEVCreateEC(0, nullptr, nullptr, 0);
  ASSERT_EQ(XEVAddExpressionItem(plain, &unbound), 1);
  EXPECT_EQ(+FindItem(plain->dataItems, "Unbound")->boundValue, 0);
  XEVDestroyEC(plain);
}

TEST_F(ItemsTest, UnterminatedNameIsCutAtTheField) {
  ExpItem item = MakeItem(XEV_ITEM_DATA, "");
  std::memset(item.name, 'a', sizeof item.name);
  ASSERT_EQ(XEVAddExpressionItem(ec_, &item), 1);
  EXPECT_NE(FindItem(ec_->dataItems, std::string(64, 'a').c_str()), nullptr);
}

TEST_F(ItemsTest, LookupsMatchNamesExactlyAndReportMissingAsMinusOne) {
  ExpItem data = MakeItem(XEV_ITEM_DATA, "Amount", XEV_TYPE_STRING);
  ExpItem function = MakeItem(XEV_ITEM_FUNCTION, "StrLeft", XEV_TYPE_STRING);
  ExpItem first = MakeItem(XEV_ITEM_DATA, "Twin", XEV_TYPE_NUMBER);
  ExpItem second = MakeItem(XEV_ITEM_DATA, "Twin", XEV_TYPE_DATETIME);
  for (const ExpItem* item : {&data, &function, &first, &second}) ASSERT_EQ(XEVAddExpressionItem(ec_, item), 1);

  EXPECT_EQ(xev::core::DataItemType(ec_, "Amount"), XEV_TYPE_STRING);
  EXPECT_EQ(xev::core::DataItemType(ec_, "amount"), -1);
  EXPECT_EQ(xev::core::DataItemType(ec_, "StrLeft"), -1) << "kinds do not mix";
  EXPECT_EQ(xev::core::DataItemType(ec_, "Twin"), XEV_TYPE_NUMBER) << "the first of a name wins";
  EXPECT_EQ(xev::core::FunctionReturnType(ec_, "StrLeft"), XEV_TYPE_STRING);
  EXPECT_EQ(xev::core::FunctionReturnType(ec_, "FUNStrLeft"), -1);
  EXPECT_EQ(xev::core::DataItemType(nullptr, "Amount"), -1);
  EXPECT_EQ(FindItem(nullptr, "Amount"), nullptr);
  EXPECT_EQ(FindItem(ec_->dataItems, nullptr), nullptr);
}

TEST_F(ItemsTest, KeywordNamesIgnoreCaseUnlessTheItemAsksForIt) {
  ExpItem loose = MakeItem(XEV_ITEM_KEYWORD, "PAGE", 300);
  loose.subclass = XEV_TYPE_NUMBER;
  ExpItem strict = MakeItem(XEV_ITEM_KEYWORD, "Region", 301);
  strict.subclass = XEV_TYPE_STRING;
  strict.subclass2 = 1;
  for (const ExpItem* item : {&loose, &strict}) ASSERT_EQ(XEVAddExpressionItem(ec_, item), 1);

  EXPECT_EQ(xev::core::KeywordItemType(ec_, "page"), 300);
  EXPECT_EQ(xev::core::KeywordItemType(ec_, "PAGE"), 300);
  EXPECT_EQ(xev::core::KeywordItemType(ec_, "Region"), 301);
  EXPECT_EQ(xev::core::KeywordItemType(ec_, "REGION"), -1);
  // The subclass lookup is always case-blind.
  EXPECT_EQ(xev::core::KeywordItemSubclass(ec_, "REGION"), XEV_TYPE_STRING);
  EXPECT_EQ(xev::core::KeywordItemSubclass(ec_, "Page"), XEV_TYPE_NUMBER);
  EXPECT_EQ(xev::core::KeywordItemSubclass(ec_, "Other"), -1);
}

TEST(ItemArity, FixedRepeatingAndOpenEndedParameterLists) {
  ExpItem f{};
  auto check = [&f](int16_t params, int16_t fixed, int16_t extra, int32_t args) {
    f.paramCount = params;
    f.subclass = fixed;
    f.subclass2 = extra;
    return CheckArity(args, &f);
  };
  // Plain list of two.
  EXPECT_EQ(check(2, 0, 0, 1), -1);
  EXPECT_EQ(check(2, 0, 0, 2), 0);
  EXPECT_EQ(check(2, 0, 0, 3), 1);
  // One fixed, up to two more.
  EXPECT_EQ(check(2, 1, 2, 1), 0);
  EXPECT_EQ(check(2, 1, 2, 2), 0);
  EXPECT_EQ(check(2, 1, 2, 3), 0);
  EXPECT_EQ(check(2, 1, 2, 4), 1);
  // Two fixed: fewer than the fixed part is too few.
  EXPECT_EQ(check(3, 2, 3, 1), -1);
  // A repeating group without a limit takes any number above its count...
  EXPECT_EQ(check(2, 1, 0, 9), 0);
  // ...but never fewer than its count.
  EXPECT_EQ(check(2, 1, 0, 1), -1);
}

TEST_F(ItemsTest, AggregatesAreFunctionsWithAByNameParameter) {
  FunctionRecord sum{};
  sum.item = MakeItem(XEV_ITEM_FUNCTION, "Sum");
  sum.item.paramCount = 2;
  sum.item.params[0].byName = 0;
  sum.more[0].byName = 1;
  FunctionRecord left{};
  left.item = MakeItem(XEV_ITEM_FUNCTION, "Left");
  left.item.paramCount = 2;
  for (const ExpItem* item : {&sum.item, &left.item}) ASSERT_EQ(XEVAddExpressionItem(ec_, item), 1);
  EXPECT_EQ(xev::core::IsAggregateFunction(ec_->functionItems, "Sum"), 1);
  EXPECT_EQ(xev::core::IsAggregateFunction(ec_->functionItems, "Left"), 0);
  EXPECT_EQ(xev::core::IsAggregateFunction(ec_->functionItems, "Missing"), 0);
}

std::vector<std::string> g_visited;
int32_t XEV_CALL Visit(ExprContext*, const char* name, intptr_t user) {
  g_visited.push_back(std::string(name) + "/" + std::to_string(user));
  return 0;  // ignored: every item is visited
}

TEST_F(ItemsTest, EnumerationVisitsOneKindInListOrder) {
  g_visited.clear();
  ExpItem b = MakeItem(XEV_ITEM_DATA, "B");
  ExpItem a = MakeItem(XEV_ITEM_DATA, "A");
  ExpItem k = MakeItem(XEV_ITEM_KEYWORD, "K");
  for (const ExpItem* item : {&b, &a, &k}) ASSERT_EQ(XEVAddExpressionItem(ec_, item), 1);
  XEVEnumExpItems(ec_, XEV_ITEM_DATA, Visit, 7);
  EXPECT_EQ(g_visited, (std::vector<std::string>{"B/7", "A/7"}));

  g_visited.clear();
  XEVEnumExpItems(ec_, XEV_ITEM_FUNCTION, Visit, 0);  // no list yet
  XEVEnumExpItems(ec_, XEV_ITEM_FORMULA, Visit, 0);
  XEVEnumExpItems(nullptr, XEV_ITEM_DATA, Visit, 0);
  EXPECT_TRUE(g_visited.empty());
}

TEST_F(ItemsTest, GetExpressionVariableCopiesADataItemRecord) {
  ExpItem item = MakeItem(XEV_ITEM_DATA, "Amount", XEV_TYPE_DATETIME);
  item.bindingName = "GetAmount";
  item.subclass = 9;
  ASSERT_EQ(XEVAddExpressionItem(ec_, &item), 1);
  ExpItem function = MakeItem(XEV_ITEM_FUNCTION, "Fn");
  ASSERT_EQ(XEVAddExpressionItem(ec_, &function), 1);

  ExpItem out;
  std::memset(&out, 0xCC, sizeof out);
  ASSERT_EQ(XEVGetExpressionVariable(ec_, &out, "Amount"), 1);
  EXPECT_EQ(+out.kind, XEV_ITEM_DATA);
  EXPECT_EQ(+out.dataType, XEV_TYPE_DATETIME);
  EXPECT_EQ(+out.subclass, 9);
  EXPECT_EQ(+out.boundValue, 0x1234);
  EXPECT_EQ(+out.bindingName, +FindItem(ec_->dataItems, "Amount")->bindingName);
  EXPECT_EQ(+out.params[0].byName, 0);
  EXPECT_EQ(+out.params[0].type, 0);

  EXPECT_EQ(XEVGetExpressionVariable(ec_, &out, "Fn"), 0) << "functions are not variables";
  EXPECT_EQ(XEVGetExpressionVariable(ec_, &out, "amount"), 0);
  EXPECT_EQ(XEVGetExpressionVariable(ec_, nullptr, "Amount"), 0);
  EXPECT_EQ(XEVGetExpressionVariable(ec_, &out, nullptr), 0);
  EXPECT_EQ(XEVGetExpressionVariable(nullptr, &out, "Amount"), 0);
}

TEST_F(ItemsTest, DeletionRemovesTheFirstOfANameAndKeepsTheList) {
  ExpItem first = MakeItem(XEV_ITEM_DATA, "Twin", XEV_TYPE_NUMBER);
  first.bindingName = "one";
  ExpItem second = MakeItem(XEV_ITEM_DATA, "Twin", XEV_TYPE_STRING);
  ExpItem other = MakeItem(XEV_ITEM_KEYWORD, "Twin");
  for (const ExpItem* item : {&first, &second, &other}) ASSERT_EQ(XEVAddExpressionItem(ec_, item), 1);

  EXPECT_EQ(XEVDelExpItemNoCheck(ec_, XEV_ITEM_DATA, "Twin"), 1);
  EXPECT_EQ(xev::core::DataItemType(ec_, "Twin"), XEV_TYPE_STRING);
  EXPECT_EQ(XEVDelExpItemNoCheck(ec_, XEV_ITEM_DATA, "Twin"), 1);
  EXPECT_EQ(XEVDelExpItemNoCheck(ec_, XEV_ITEM_DATA, "Twin"), 0);
  EXPECT_NE(ec_->dataItems, nullptr);
  EXPECT_EQ(Count(XEV_ITEM_DATA), 0u);
  EXPECT_EQ(Count(XEV_ITEM_KEYWORD), 1u) << "other kinds untouched";

  EXPECT_EQ(XEVDelExpItemNoCheck(ec_, XEV_ITEM_FUNCTION, "Twin"), 0) << "no list";
  EXPECT_EQ(XEVDelExpItemNoCheck(ec_, XEV_ITEM_FORMULA, "Twin"), 0);
  EXPECT_EQ(XEVDelExpItemNoCheck(nullptr, XEV_ITEM_DATA, "Twin"), 0);
  EXPECT_EQ(XEVDelExpItemNoCheck(ec_, XEV_ITEM_KEYWORD, nullptr), 0);
}

TEST_F(ItemsTest, DeleteAllVariablesEmptiesOnlyTheDataItems) {
  EXPECT_EQ(XEVDeleteAllECVars(ec_), 0) << "no data-item list yet";
  EXPECT_EQ(XEVDeleteAllECVars(nullptr), 0);
  ExpItem a = MakeItem(XEV_ITEM_DATA, "A");
  a.bindingName = "GetA";
  ExpItem b = MakeItem(XEV_ITEM_DATA, "B");
  ExpItem f = MakeItem(XEV_ITEM_FUNCTION, "F");
  for (const ExpItem* item : {&a, &b, &f}) ASSERT_EQ(XEVAddExpressionItem(ec_, item), 1);
  EXPECT_EQ(XEVDeleteAllECVars(ec_), 1);
  EXPECT_EQ(Count(XEV_ITEM_DATA), 0u);
  EXPECT_EQ(Count(XEV_ITEM_FUNCTION), 1u);
  EXPECT_EQ(XEVDeleteAllECVars(ec_), 1) << "an empty list still exists";
}

TEST_F(ItemsTest, EveryFailedAllocationWhileAddingLeavesTheListAsItWas) {
  ExpItem existing = MakeItem(XEV_ITEM_DATA, "Existing");
  ASSERT_EQ(XEVAddExpressionItem(ec_, &existing), 1);
  for (int16_t kind : {int16_t(XEV_ITEM_DATA), int16_t(XEV_ITEM_KEYWORD)}) {
    ExpItem item = MakeItem(kind, "New");
    item.bindingName = "GetNew";
    for (int64_t k = 1;; ++k) {
      SCOPED_TRACE(k);
      const uint32_t before = Count(kind);
      const bool hadList = *xev::core::ItemList(ec_, kind) != nullptr;
      HostFailAllocationAfter(k);
      int32_t added = XEVAddExpressionItem(ec_, &item);
      HostFailAllocationAfter(0);
      if (added == 0) {
        EXPECT_EQ(Count(kind), before);
        EXPECT_EQ(*xev::core::ItemList(ec_, kind) != nullptr, hadList);
        continue;
      }
      const ExpItem* stored = FindItem(*xev::core::ItemList(ec_, kind), "New");
      ASSERT_NE(stored, nullptr);
      if (stored->bindingName == nullptr) {
        // Only the binding-name copy failed: the item stays, unbound.
        EXPECT_EQ(+stored->boundValue, 0);
        XEVDelExpItemNoCheck(ec_, kind, "New");
        continue;
      }
      EXPECT_EQ(+stored->boundValue, 0x1234);
      break;
    }
  }
}

}  // namespace
