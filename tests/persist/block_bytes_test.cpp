// A block is a document's bytes: the same context gives the same block on
// every platform (64- and 32-bit Windows, Linux). The suite runs on Linux
// and under Wine, so both must produce the block whose digest is fixed here.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "xev/xev.h"

namespace {

int32_t XEV_CALL Quantity(ExprContext*, HEXP, int32_t, void** result, const char*) {
  return HostStrToNumber(static_cast<NumberValue*>(*result), "12");
}

intptr_t XEV_CALL Resolve(const char* bindingName) {
  return std::strcmp(bindingName, "column:quantity") == 0 ? reinterpret_cast<intptr_t>(Quantity) : 0;
}

uint64_t Digest(const std::vector<unsigned char>& bytes) {
  uint64_t hash = 0xcbf29ce484222325u;
  for (unsigned char byte : bytes) hash = (hash ^ byte) * 0x100000001b3u;
  return hash;
}

TEST(BlockBytes, TheSameContextGivesTheSameBlockOnEveryPlatform) {
  ExprContext* ec = XEVCreateEC(0, Resolve, nullptr, ECF_RANGES_SETS);
  ASSERT_NE(ec, nullptr);
  ASSERT_TRUE(FUNDefineFunctions(ec));
  ExpItem item;
  std::memset(&item, 0, sizeof item);
  item.kind = XEV_ITEM_DATA;
  item.dataType = XEV_TYPE_NUMBER;
  item.bindingName = "column:quantity";
  std::strcpy(item.name, "Quantity");
  ASSERT_TRUE(XEVAddExpressionItem(ec, &item));
  ExprError error;
  uint16_t type;
  const char* formulas[][2] = {{"Total", "NumberRound(Quantity * 4.25 * 1.2, 2)"},
                               {"Rate", "Power(10, -2) + 0.0000000000000000001"},
                               {"Due", "DateConstruct(2024, 2, 29, 23, 59, 59)"},
                               {"Short", "StrLeft('grüße', 3) || '!'"}};
  for (const auto& [name, formula] : formulas)
    ASSERT_NE(XEVParseFormula(ec, nullptr, formula, name, &error, &type), nullptr) << formula;
  std::vector<unsigned char> block(XEVGetECBlockSize(ec, 1));
  ASSERT_TRUE(XEVGetECBlock(ec, static_cast<int32_t>(block.size()), block.data()));
  XEVDestroyEC(ec);
  // A deliberate change of the block format changes this digest: update it then.
  EXPECT_EQ(Digest(block), 5362965229294609385u);
}

}  // namespace
