// The formula name index must answer exactly what a scan of the list would,
// whatever happened to the list since it was built, and lookups never allocate.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

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
