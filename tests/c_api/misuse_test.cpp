// Misuse of the C API that the library can recognise cheaply gets the
// documented failure result: no context or no text, an expression of
// another context where it would change that context, buffers too small for
// the result, blocks shorter than their contents say. Each case also leaves
// the context usable.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "xev/xev.h"

namespace {

intptr_t XEV_CALL Resolve(const char*) { return 1; }

int32_t XEV_CALL NumberValueOf(ExprContext*, HEXP, int32_t, void** result, const char*) {
  IntToNumber(static_cast<NumberValue*>(*result), 21);
  return 1;
}

struct Context {
  Context() {
    ec = XEVCreateEC(0, Resolve, nullptr, ECF_RANGES_SETS);
    FUNDefineFunctions(ec);
    ExpItem item{};
    item.kind = XEV_ITEM_DATA;
    item.dataType = XEV_TYPE_NUMBER;
    item.boundValue = reinterpret_cast<intptr_t>(&NumberValueOf);
    std::strcpy(item.name, "Amount");
    XEVAddExpressionItem(ec, &item);
    uint16_t type = 0;
    number = XEVParseFormula(ec, nullptr, "Amount * 2", "Twice", nullptr, &type);
    text = XEVParseFormula(ec, nullptr, "StrRepeat('ab', 10)", "Long", nullptr, &type);
  }
  ~Context() { XEVDestroyEC(ec); }
  // The context still parses, evaluates and writes after the misuse.
  void ExpectUsable() const {
    uint16_t type = 0;
    HEXP more = XEVParseFormula(ec, nullptr, "Twice() + 1", nullptr, nullptr, &type);
    ASSERT_NE(more, nullptr);
    NumberValue value{};
    EXPECT_EQ(XEVEvaluateExpression(ec, more, sizeof value, &value), 1);
    EXPECT_EQ(NumberToInt(&value), 43);
    EXPECT_EQ(XEVDestroyEXP(ec, more), 1);
  }
  ExprContext* ec;
  HEXP number;
  HEXP text;
};

TEST(ApiMisuse, NoContextOrNoTextGetsTheFailureResult) {
  Context c;
  ExprError error{};
  uint16_t type = 0;
  char buffer[64] = "untouched";
  EXPECT_EQ(XEVParseFormula(nullptr, nullptr, "1", "X", &error, &type), nullptr);
  EXPECT_EQ(XEVParseString(nullptr, "1", "X", &error, &type), nullptr);
  EXPECT_EQ(XEVParseFormula(c.ec, nullptr, nullptr, "Empty", &error, &type), nullptr);  // no text is an empty one
  EXPECT_EQ(error.code, 109u);
  EXPECT_EQ(XEVGetExpressionCount(nullptr), 0);
  EXPECT_EQ(XEVHEXPFromName(nullptr, "Twice"), nullptr);
  EXPECT_EQ(XEVHEXPFromName(c.ec, nullptr), nullptr);
  EXPECT_EQ(XEVHEXPFromText(c.ec, nullptr), nullptr);
  EXPECT_EQ(XEVHEXPFromOrdinal(nullptr, 0), nullptr);
  EXPECT_EQ(XEVGetExpressionText(c.ec, nullptr, sizeof buffer, buffer), 0);
  EXPECT_EQ(XEVGetExpressionName(c.ec, nullptr, sizeof buffer, buffer), -1);
  EXPECT_STREQ(buffer, "untouched");
  EXPECT_EQ(XEVEvaluateExpression(c.ec, nullptr, sizeof buffer, buffer), 0);
  EXPECT_EQ(XEVEvaluateExpression(nullptr, nullptr, sizeof buffer, buffer), 0);
  EXPECT_EQ(XEVIsExpNameUnique(nullptr, nullptr, "A"), 1);
  EXPECT_EQ(XEVIsItemUsed(c.ec, c.number, XEV_ITEM_DATA, nullptr), 0);
  EXPECT_EQ(XEVIsNamedFormulaUsed(nullptr, "Twice"), 0);
  EXPECT_EQ(XEVGetExtendedText(c.ec, nullptr, sizeof buffer, buffer, 0), 0);
  EXPECT_EQ(XEVEnumExpReferences(c.ec, nullptr, nullptr, 0), 0);
  EXPECT_EQ(XEVAddExpressionItem(nullptr, nullptr), 0);
  EXPECT_EQ(XEVAddExpressionItem(c.ec, nullptr), 0);
  EXPECT_EQ(XEVRenameExpressionItem(c.ec, XEV_ITEM_DATA, nullptr, "B"), 0);
  EXPECT_EQ(XEVDeleteExpItem(nullptr, XEV_ITEM_DATA, "Amount", nullptr), 1);  // nothing to delete
  EXPECT_EQ(XEVValidName(c.ec, nullptr, &error), 0);
  EXPECT_EQ(XEVGetECBlockSize(nullptr, 1), 1u);
  EXPECT_EQ(XEVSetECContents(nullptr, 4, buffer, 1, nullptr), 0);
  EXPECT_EQ(XEVSetECContents(c.ec, 4, nullptr, 1, nullptr), 0);
  c.ExpectUsable();
}

// What would change another context's list is refused; what only reads an
// expression works in the context it is asked in, as evaluation does.
TEST(ApiMisuse, AnExpressionOfAnotherContextIsNotChangedThroughThisOne) {
  Context mine, other;
  EXPECT_EQ(XEVDestroyEXP(mine.ec, other.number), 0);
  EXPECT_EQ(XEVGetExpressionOrdinal(mine.ec, other.number), -1);
  uint16_t type = 0;
  ExprError error{};
  EXPECT_EQ(XEVParseFormula(mine.ec, other.number, "1", "Other", &error, &type), nullptr);
  char text[32] = "";
  XEVGetExpressionText(other.ec, other.number, sizeof text, text);
  EXPECT_STREQ(text, "Amount * 2");
  EXPECT_EQ(XEVHEXPFromName(other.ec, "Twice"), other.number);
  EXPECT_EQ(XEVGetExpressionCount(other.ec), 2);
  EXPECT_EQ(XEVIsItemUsed(nullptr, other.number, XEV_ITEM_DATA, "Amount"), 1);  // its own context
  mine.ExpectUsable();
  other.ExpectUsable();
}

TEST(ApiMisuse, BuffersTooSmallGetAPrefixOrNothing) {
  Context c;
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(XEVGetExpressionText(c.ec, c.number, 4, buffer), 4);
  EXPECT_EQ(std::string(buffer, 4), std::string("Amo\0", 4));
  EXPECT_EQ(buffer[4], '#');
  EXPECT_EQ(XEVGetExpressionName(c.ec, c.number, 0, buffer), 0);
  EXPECT_EQ(XEVGetErrorMessage(109, buffer, 1), 0);
  EXPECT_EQ(buffer[0], '\0');
  // A text evaluated into 3 bytes gets its first 3 bytes and nothing more.
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(XEVEvaluateExpression(c.ec, c.text, 3, buffer), 1);
  EXPECT_EQ(std::string(buffer, 4), "aba#");
  EXPECT_EQ(XEVGetExtendedText(c.ec, c.number, 1, buffer, 0), -1);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(XEVGetExtendedText(c.ec, c.number, 0, buffer, 0), 0);
  // A block buffer too small holds what fits and says so by its count.
  uint32_t size = XEVGetECBlockSize(c.ec, 1);
  std::vector<unsigned char> block(size + 1, 0xEE);
  EXPECT_LT(static_cast<uint32_t>(XEVGetECBlock(c.ec, static_cast<int32_t>(size - 1), block.data())), size);
  EXPECT_EQ(block[size - 1], 0xEE);
  EXPECT_EQ(XEVGetECBlock(c.ec, 0, nullptr), 0);
  c.ExpectUsable();
}

TEST(ApiMisuse, BlocksShorterThanTheirContentsSayLoadNothingFalse) {
  Context c;
  std::vector<unsigned char> block(XEVGetECBlockSize(c.ec, 1));
  ASSERT_EQ(static_cast<size_t>(XEVGetECBlock(c.ec, static_cast<int32_t>(block.size()), block.data())), block.size());
  // Lengths that end inside the header, a section or the last record (a
  // block cut between sections is a shorter valid block), and a negative one.
  for (int32_t length : {-1, 0, 1, 20, 23, 100, static_cast<int32_t>(block.size()) - 1}) {
    Context fresh;
    ASSERT_EQ(XEVDestroyEXP(fresh.ec, fresh.text), 1);
    ASSERT_EQ(XEVDestroyEXP(fresh.ec, fresh.number), 1);
    std::vector<unsigned char> exact(block.begin(), block.begin() + std::max(length, 0));
    EXPECT_EQ(XEVSetECContents(fresh.ec, length, exact.data(), 1, nullptr), 0) << length;
  }
  c.ExpectUsable();
}

}  // namespace
