// Item records in a context: storage, lookup rules, listing and
// deletion, and the argument-count rule of function items; which operators
// each operand type admits, and how installing an operator callback fills the
// table those answers come from. Packed record fields are read by value
// (unary +) since gtest binds references to its arguments.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "core/core.h"
#include "oom/sweep.h"

namespace {

using namespace xev::core;

struct Record {  // an item with room for several parameter entries
  ExpItem item;
  ExpParam more[6];
};

Record Make(int16_t kind, const char* name, int16_t type = 0, int16_t params = 0) {
  Record r{};
  r.item.kind = kind, r.item.dataType = type, r.item.paramCount = params;
  std::snprintf(r.item.name, sizeof r.item.name, "%s", name);
  return r;
}

std::vector<std::string> g_log;
intptr_t XEV_CALL Resolve(const char* name) { return g_log.emplace_back(name), 0x1234; }
int32_t XEV_CALL Visit(ExprContext*, const char* name, intptr_t user) {
  g_log.push_back(std::string(name) + "/" + std::to_string(user));
  return 0;
}

class ItemsTest : public oom::NoLeakTest {
 protected:
  void SetUp() override { g_log.clear(), NoLeakTest::SetUp(), ec_ = XEVCreateEC(0, Resolve, nullptr, 0); }
  void TearDown() override {
    HostFailAllocationAfter(0);
    XEVDestroyEC(ec_);
    NoLeakTest::TearDown();
  }
  void Add(const Record& r) { ASSERT_EQ(XEVAddExpressionItem(ec_, &r.item), 1) << r.item.name; }
  uint32_t Count(int16_t kind) { return HandleArrayCount(*ItemList(ec_, kind)); }

  ExprContext* ec_ = nullptr;
};

TEST_F(ItemsTest, StorageSizeFollowsKindAndParameterCount) {
  const std::pair<Record, int32_t> cases[] = {
      {Make(0, "Two", 0, 2), 12}, {Make(0, "Neg", 0, -1), 6}, {Make(0, "None"), 0},
      {Make(1, "Data", 0, 5), 0}, {Make(3, "Key", 0, 5), 0}};
  for (const auto& [record, extra] : cases) {
    Add(record);
    const ExpItem* stored = FindItem(*ItemList(ec_, record.item.kind), record.item.name);
    EXPECT_EQ(HostBlockSize(stored), size_t(XEV_ITEM_FIXED_SIZE + extra)) << record.item.name;
  }
  for (int16_t kind : {2, -1, 4}) {
    const Record odd = Make(kind, "X");
    EXPECT_EQ(XEVAddExpressionItem(ec_, &odd.item), 0);
    EXPECT_EQ(XEVAddExpressionItem(nullptr, &odd.item), 0);
  }
  EXPECT_EQ(Count(1), 1u) << "refused kinds touch no list";

  Record longName = Make(1, "");
  std::memset(longName.item.name, 'a', sizeof longName.item.name);  // no terminator
  Add(longName);
  EXPECT_NE(FindItem(ec_->dataItems, std::string(64, 'a').c_str()), nullptr);
}

TEST_F(ItemsTest, NameLookups) {
  Record loose = Make(3, "PAGE", 300), strict = Make(3, "Region", 301);
  loose.item.subclass = 7, strict.item.subclass = 8, strict.item.subclass2 = 1;
  for (const Record& r : {Make(1, "Twin", 0), Make(1, "Twin", 1), Make(0, "Left", 2), loose, strict}) Add(r);
  EXPECT_EQ(DataItemType(ec_, "Twin"), 0) << "the first of a name wins";
  EXPECT_EQ(DataItemType(ec_, "twin"), -1);
  EXPECT_EQ(DataItemType(ec_, "Left"), -1) << "kinds do not mix";
  EXPECT_EQ(FunctionReturnType(ec_, "Left"), 2);
  // Keyword names are case-blind unless the item asks for its exact spelling.
  EXPECT_EQ(std::tuple(KeywordItemType(ec_, "page"), KeywordItemType(ec_, "Region"), KeywordItemType(ec_, "REGION")),
            std::tuple(300, 301, -1));
  EXPECT_EQ(KeywordItemSubclass(ec_, "REGION"), 8) << "the subclass lookup is always case-blind";

  Record sum = Make(0, "Sum", 0, 2);
  sum.more[0].byName = 1;
  Add(sum);
  EXPECT_EQ(IsAggregateFunction(ec_->functionItems, "Sum") * 10 + IsAggregateFunction(ec_->functionItems, "Left"), 10);
}

TEST(ItemArity, FixedRepeatingAndOpenEndedParameterLists) {
  // {paramCount, A, B, arguments, expected}
  const int32_t cases[][5] = {{2, 0, 0, 1, -1}, {2, 0, 0, 2, 0}, {2, 0, 0, 3, 1},  // plain
                              {2, 1, 2, 1, 0},  {2, 1, 2, 3, 0}, {2, 1, 2, 4, 1},  // bounded group
                              {3, 2, 3, 1, -1}, {2, 1, 0, 9, 0}, {2, 1, 0, 1, -1}};  // open group
  for (const auto& c : cases) {
    ExpItem f{};
    f.paramCount = int16_t(c[0]), f.subclass = int16_t(c[1]), f.subclass2 = int16_t(c[2]);
    EXPECT_EQ(CheckArity(c[3], &f), c[4]) << c[0] << "," << c[1] << "," << c[2] << " with " << c[3];
  }
}

TEST_F(ItemsTest, EnumerationCopyOutAndDeletion) {
  Record first = Make(1, "B", 1);
  first.item.bindingName = "GetB", first.item.subclass = 9;
  for (const Record& r : {first, Make(1, "A"), Make(1, "B", 2), Make(3, "K")}) Add(r);
  g_log.clear();
  XEVEnumExpItems(ec_, 1, Visit, 7);
  XEVEnumExpItems(ec_, 0, Visit, 0);  // no list
  EXPECT_EQ(g_log, (std::vector<std::string>{"B/7", "A/7", "B/7"}));

  ExpItem out;
  std::memset(&out, 0xCC, sizeof out);
  ASSERT_EQ(XEVGetExpressionVariable(ec_, &out, "B"), 1);
  // The tail past the record is cleared.
  EXPECT_EQ(std::tuple(+out.subclass, +out.boundValue, +out.params[0].type), std::tuple(9, 0x1234, 0));
  EXPECT_EQ(XEVGetExpressionVariable(ec_, &out, "K") + XEVGetExpressionVariable(ec_, nullptr, "B"), 0) << "data only";

  EXPECT_EQ(XEVDelExpItemNoCheck(ec_, 1, "B"), 1);
  EXPECT_EQ(DataItemType(ec_, "B"), 2) << "the first of the name went";
  EXPECT_EQ(XEVDelExpItemNoCheck(ec_, 0, "B"), 0) << "no function list";
  EXPECT_EQ(XEVDeleteAllECVars(ec_), 1);
  EXPECT_EQ(Count(1) * 10 + Count(3), 1u) << "data items only; the emptied list stays";
  HandleArrayFree(ec_->dataItems), ec_->dataItems = nullptr;
  EXPECT_EQ(XEVDeleteAllECVars(ec_), 0) << "no list at all";
}

// The admitted operators of a type, '|' standing for '||'.
std::string Admitted(ExprContext* ec, int32_t type) {
  std::string result;
  for (char op : {'+', '-', '*', '/', '%', '|'}) {
    if (OperatorAdmitted(ec, op, type)) result += op;
  }
  return result;
}

int g_resolves = 0;
intptr_t XEV_CALL ResolveOperator(const char*) { return 0x500 + ++g_resolves; }

class OperatorTest : public oom::NoLeakTest {
 protected:
  void SetUp() override { g_resolves = 0, NoLeakTest::SetUp(); }
};

TEST_F(OperatorTest, AdmissionByTypeFlagsAndCallbacks) {
  struct Case {
    uint16_t flags;
    const char* number;
    const char* date;
    const char* string;
  };
  const Case cases[] = {
      {0, "+-*/", "+-", "|"},
      {ECF_MODULO | ECF_STRING_PLUS, "+-*/%", "+-", "+|"},
      {ECF_NO_DATE_ARITH | ECF_NO_STRING_CONCAT, "+-*/", "", ""},
  };
  for (const Case& c : cases) {
    ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, c.flags);
    EXPECT_EQ(Admitted(ec, 0), c.number) << c.flags;
    EXPECT_EQ(Admitted(ec, 1), c.date) << c.flags;
    EXPECT_EQ(Admitted(ec, 2), c.string) << c.flags;
    EXPECT_EQ(Admitted(ec, 3), "") << c.flags;
    for (int32_t other : {4, 300, -1}) EXPECT_EQ(Admitted(ec, other), "") << "no table slots for " << other;
    XEVDestroyEC(ec);
  }

  ExprContext* ec = XEVCreateEC(0, ResolveOperator, nullptr, 0);
  // Codes: 0 '+', 1 '-', 2 '/', 3 '*', 4 '||'.
  for (auto [code, slot, name] : {std::tuple{2, 2, "StrDiv"}, {0, 2, "StrAdd"}, {3, 3, "KeyMul"}, {4, 0, "NumCat"},
                                  {3, 1, "DateMul"}})
    XEVSetOperatorCallback(ec, code, slot, name);
  EXPECT_EQ(Admitted(ec, 2), "+/|");
  EXPECT_EQ(Admitted(ec, 3), "*");
  EXPECT_EQ(Admitted(ec, 0), "+-*/|");
  EXPECT_EQ(Admitted(ec, 1), "+-") << "date rules ignore callbacks";
  // A character that is no operator is not the table's business.
  EXPECT_EQ(OperatorAdmitted(ec, '<', 2) + OperatorAdmitted(ec, '<', 3), 2);
  EXPECT_EQ(OperatorAdmitted(nullptr, '+', 0), 0);
  XEVDestroyEC(ec);
}

TEST_F(OperatorTest, CodesMapOntoTheTableAndOddArgumentsAreHandled) {
  ExprContext* ec = XEVCreateEC(0, ResolveOperator, nullptr, 0);
  const char* names[] = {"Plus", "Minus", "Divide", "Times", "Concat"};
  const int32_t index[] = {kOpPlus, kOpMinus, kOpDivide, kOpTimes, kOpConcat};
  for (int32_t code = 0; code < 5; ++code) {
    ASSERT_EQ(XEVSetOperatorCallback(ec, code, 1, names[code]), 1);
    EXPECT_STREQ(ec->operators[index[code]].names[1], names[code]);
    EXPECT_EQ(ec->operators[index[code]].bound[1], 0x501 + code);
  }
  ASSERT_EQ(XEVSetOperatorCallback(ec, 0, 1, "Again"), 1);
  EXPECT_STREQ(ec->operators[kOpPlus].names[1], "Again");
  ASSERT_EQ(XEVSetOperatorCallback(ec, 0, 1, nullptr), 1);
  EXPECT_EQ(ec->operators[kOpPlus].names[1], nullptr) << "a null name clears the slot";
  EXPECT_EQ(XEVSetOperatorCallback(ec, 5, 0, "Nowhere"), 1) << "unknown operators are ignored";
  EXPECT_EQ(XEVSetOperatorCallback(ec, 0, 4, "BadSlot") + XEVSetOperatorCallback(nullptr, 0, 0, "x"), 0);
  XEVDestroyEC(ec);

  ec = XEVCreateEC(0, nullptr, nullptr, 0);
  XEVSetOperatorCallback(ec, 0, 0, "Unresolved");
  EXPECT_EQ(ec->operators[kOpPlus].bound[0], 0) << "no resolve callback, no bound value";
  XEVDestroyEC(ec);
}

}  // namespace
