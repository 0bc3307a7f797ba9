// Item lookups through the context's index: every change of the item lists
// is seen by the next lookup, the first of two equal names wins as in the
// list (a context whose index could not be made is the allocation sweep's).
// Trees keep their names right when an item is renamed to a longer name.
// The formula name index answers exactly what a scan of the list would,
// whatever happened to the list since it was built, and its lookups never
// allocate.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/core.h"
#include "core/item_index.h"
#include "tests/language/parse_fixture.h"
#include "xev/xevhost.h"

namespace {

using parse_test::ParseContext;
using xev::core::DataItemType;
using xev::core::FindFunctionItem;

TEST(ItemIndex, LookupsFollowEveryChangeOfTheItems) {
  ParseContext c;
  c.Data("Price", XEV_TYPE_NUMBER);
  c.Function("Twice", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER}});
  EXPECT_EQ(DataItemType(c.ec, "Price"), XEV_TYPE_NUMBER);
  // Parsing changes only the expressions; items added afterwards are found.
  ASSERT_NE(parse_test::Parse(c.ec, "Twice(Price)").exp, nullptr);
  c.Data("City", XEV_TYPE_STRING);
  EXPECT_EQ(DataItemType(c.ec, "City"), XEV_TYPE_STRING);
  XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "City", "Town");
  EXPECT_EQ(DataItemType(c.ec, "City"), -1);
  EXPECT_EQ(DataItemType(c.ec, "Town"), XEV_TYPE_STRING);
  ASSERT_EQ(XEVDelExpItemNoCheck(c.ec, XEV_ITEM_FUNCTION, "Twice"), 1);
  EXPECT_EQ(FindFunctionItem(c.ec, "Twice"), nullptr);
  EXPECT_EQ(parse_test::Parse(c.ec, "Twice(1)").error.code, 103u);
  ASSERT_EQ(XEVDeleteAllECVars(c.ec), 1);
  EXPECT_EQ(DataItemType(c.ec, "Price"), -1);
  EXPECT_EQ(parse_test::Parse(c.ec, "Price").error.code, 102u);
}

// A parse lays the index out once, before its first lookup; items added just
// before it grow the index (the block moves), and a growth refused leaves the
// parse walking the lists.
TEST(ItemIndex, AParseSeesItemsAddedJustBeforeItWhateverMemoryAllows) {
  for (int64_t failAt = 0; failAt <= 8; ++failAt) {
    ParseContext c;
    c.Function("Twice", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER}});
    ASSERT_NE(parse_test::Parse(c.ec, "Twice(1)").exp, nullptr);
    for (int i = 0; i < 70; ++i) c.Data(("Col" + std::to_string(i)).c_str(), XEV_TYPE_NUMBER);
    HostFailAllocationAfter(failAt);
    const parse_test::Parsed parsed = parse_test::Parse(c.ec, "Twice(Col69) + Col0");
    HostFailAllocationAfter(0);
    if (parsed.exp == nullptr) {
      EXPECT_EQ(parsed.error.code, 121u) << failAt;
      continue;
    }
    EXPECT_EQ(parsed.tree, "(+ Twice[Col69] Col0)") << failAt;
  }
}

TEST(ItemIndex, TheFirstOfEqualNamesWinsAndManyItemsAreFound) {
  ParseContext c;
  c.Data("Amount", XEV_TYPE_NUMBER);
  c.Data("Amount", XEV_TYPE_STRING);
  for (int i = 0; i < 3000; ++i) c.Data(("Col" + std::to_string(i)).c_str(), XEV_TYPE_DATETIME);
  EXPECT_EQ(DataItemType(c.ec, "Amount"), XEV_TYPE_NUMBER);
  for (int i = 0; i < 3000; i += 7) EXPECT_EQ(DataItemType(c.ec, ("Col" + std::to_string(i)).c_str()), XEV_TYPE_DATETIME);
  EXPECT_EQ(DataItemType(c.ec, "Col3000"), -1);
  ASSERT_EQ(XEVDelExpItemNoCheck(c.ec, XEV_ITEM_DATA, "Amount"), 1);
  EXPECT_EQ(DataItemType(c.ec, "Amount"), XEV_TYPE_STRING);
  // The name field holds 64 bytes and its end; nothing longer is stored.
  const std::string longest(64, 'n');
  c.Data(longest.c_str(), XEV_TYPE_NUMBER);
  EXPECT_EQ(DataItemType(c.ec, longest.c_str()), XEV_TYPE_NUMBER);
  EXPECT_EQ(DataItemType(c.ec, (longest + "n").c_str()), -1);
}

TEST(ItemIndex, RenamingToALongerNameAndBackKeepsEveryTree) {
  ParseContext c;
  c.Data("Qty", XEV_TYPE_NUMBER);
  c.Function("Twice", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER}});
  HEXP exp = parse_test::Parse(c.ec, "Qty * 2 + Twice(Qty)", "F").exp;
  ASSERT_NE(exp, nullptr);
  XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "Qty", "QuantityOrderedThisYear");
  XEVRenameExpressionItem(c.ec, XEV_ITEM_FUNCTION, "Twice", "Doubled");
  EXPECT_EQ(parse_test::Describe(exp->root), "(+ (* QuantityOrderedThisYear 2) Doubled[QuantityOrderedThisYear])");
  // Back to a short name, which fits where the longer one now lies.
  XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, "QuantityOrderedThisYear", "Q");
  EXPECT_EQ(parse_test::Describe(exp->root), "(+ (* Q 2) Doubled[Q])");
  EXPECT_EQ(XEVDestroyEXP(c.ec, exp), 1);
}

// Names are hashed and compared a word at a time, with overlapping words at
// the end: a name of any length is found, and a name that differs from an item
// in any one byte, or is one byte shorter or longer, is not.
TEST(ItemIndex, EveryByteOfANameOfAnyLengthCounts) {
  ParseContext c;
  std::vector<std::string> names;
  for (size_t length = 1; length <= 64; ++length) {
    std::string name;
    for (size_t i = 0; i < length; ++i) name += static_cast<char>('a' + (i * 7 + length) % 26);
    names.push_back(name);
    c.Data(name.c_str(), XEV_TYPE_NUMBER);
  }
  for (const std::string& name : names) {
    ASSERT_EQ(DataItemType(c.ec, name.c_str()), XEV_TYPE_NUMBER) << name;
    for (size_t at = 0; at < name.size(); ++at) {
      std::string changed = name;
      changed[at] = '_';
      EXPECT_EQ(DataItemType(c.ec, changed.c_str()), -1) << changed;
    }
    EXPECT_EQ(DataItemType(c.ec, (name + "_").c_str()), -1) << name;
    if (name.size() > 1) {
      EXPECT_EQ(DataItemType(c.ec, name.substr(0, name.size() - 1).c_str()), -1) << name;
    }
  }
}

struct Context {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  ~Context() { XEVDestroyEC(ec); }
  HEXP Add(const char* text, const char* name) {
    uint16_t type = 0;
    return XEVParseString(ec, text, name, nullptr, &type);
  }
};

TEST(FormulaIndex, FollowsDestroyRenameAndDuplicates) {
  Context c;
  HEXP a = c.Add("1", "A");
  HEXP b = c.Add("2", "B");
  HEXP a2 = c.Add("3", "A");  // names need not be unique through this entry point
  ASSERT_NE(a2, nullptr);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "A"), a);  // the first of equal names
  ASSERT_EQ(XEVDestroyEXP(c.ec, a), 1);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "A"), a2);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "B"), b);
  // The later of equal names going as the last formula leaves the first found.
  ASSERT_EQ(XEVDestroyEXP(c.ec, c.Add("4", "A")), 1);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "A"), a2);
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, a2, "A"), 1);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "B"), b);

  uint16_t type = 0;
  ASSERT_EQ(XEVParseFormula(c.ec, b, "4", "C", nullptr, &type), b);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "B"), nullptr);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "C"), b);

  ASSERT_EQ(XEVDestroyEXP(c.ec, b), 1);
  ASSERT_EQ(XEVDestroyEXP(c.ec, a2), 1);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "A"), nullptr);
  EXPECT_NE(c.Add("5", "A"), nullptr);
  EXPECT_NE(XEVHEXPFromName(c.ec, "A"), nullptr);
}

// Uniqueness with a skipped expression: the skipped one alone does not make a
// name taken, a second holder (possible through XEVParseString) does.
TEST(FormulaIndex, NameUniquenessSeesPastTheSkippedHolder) {
  Context c;
  HEXP a = c.Add("1", "A");
  HEXP b = c.Add("2", "B");
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, nullptr, "A"), 0);
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, a, "A"), 1);
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, b, "A"), 0);
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, a, "C"), 1);
  HEXP a2 = c.Add("3", "A");
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, a, "A"), 0);
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, a2, "A"), 0);
  ASSERT_EQ(XEVDestroyEXP(c.ec, a2), 1);
  EXPECT_EQ(XEVIsExpNameUnique(c.ec, a, "A"), 1);  // the rebuilt index forgets the duplicate
  uint16_t type = 0;
  ExprError error{};
  EXPECT_EQ(XEVParseFormula(c.ec, a, "4", "B", &error, &type), nullptr);
  EXPECT_EQ(error.code, 126u);
  EXPECT_EQ(XEVParseFormula(c.ec, a, "4", "A", &error, &type), a);
}

TEST(FormulaIndex, ManyFormulasResolveWithoutAllocating) {
  Context c;
  for (int i = 0; i < 3000; ++i) {
    std::string name = "F";
    name += std::to_string(i);
    std::string text = i == 0 ? std::string("1") : "F" + std::to_string(i - 1) + "() + 1";
    ASSERT_NE(c.Add(text.c_str(), name.c_str()), nullptr) << i;
  }
  HEXP middle = XEVHEXPFromOrdinal(c.ec, 1500);
  ASSERT_EQ(XEVDestroyEXP(c.ec, XEVHEXPFromOrdinal(c.ec, 2999)), 1);  // marks the index stale
  int64_t before = HostAllocationCount();
  EXPECT_EQ(XEVHEXPFromName(c.ec, "F1500"), middle);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "F2999"), nullptr);
  EXPECT_EQ(XEVHEXPFromName(c.ec, "F2998"), XEVHEXPFromOrdinal(c.ec, 2998));
  EXPECT_EQ(HostAllocationCount(), before);
  // A new formula that would close a cycle is still found out through the chain.
  uint16_t type = 0;
  ExprError error{};
  EXPECT_EQ(XEVParseFormula(c.ec, XEVHEXPFromName(c.ec, "F0"), "F2998() + 1", "F0", &error, &type), nullptr);
  EXPECT_EQ(error.code, 125u);
}

// The index must agree with a scan of the list after every destroy, whether
// the last formula goes (its entry is taken out in place, and the entries
// probing past it close up) or one from the middle (the index is laid out again).
TEST(FormulaIndex, DestroyingInAnyOrderKeepsEveryNameFound) {
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    Context c;
    std::vector<std::pair<std::string, HEXP>> live;
    for (int i = 0; i < 40; ++i) {
      std::string name = "F" + std::to_string(i * 37 % 41);
      HEXP exp = c.Add("1", name.c_str());
      ASSERT_NE(exp, nullptr);
      live.emplace_back(name, exp);
    }
    uint32_t state = seed;
    while (!live.empty()) {
      state = state * 1103515245u + 12345u;
      // Mostly the last, as a caller undoing its own parses does.
      size_t at = (state >> 16) % 4 != 0 ? live.size() - 1 : (state >> 8) % live.size();
      std::string gone = live[at].first;
      ASSERT_EQ(XEVDestroyEXP(c.ec, live[at].second), 1);
      live.erase(live.begin() + static_cast<std::ptrdiff_t>(at));
      EXPECT_EQ(XEVHEXPFromName(c.ec, gone.c_str()), nullptr) << gone;
      EXPECT_EQ(XEVIsExpNameUnique(c.ec, nullptr, gone.c_str()), 1) << gone;
      for (const auto& [name, exp] : live) ASSERT_EQ(XEVHEXPFromName(c.ec, name.c_str()), exp) << name << " seed " << seed;
    }
  }
}

}  // namespace
