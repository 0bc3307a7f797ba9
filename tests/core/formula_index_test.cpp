// The formula name index must answer exactly what a scan of the list would,
// whatever happened to the list since it was built, and lookups never allocate.
#include <gtest/gtest.h>

#include <string>

#include "xev/xev.h"

namespace {

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

}  // namespace
