// The context block writer: the layout of each section, the size query and
// the rule that a piece is written whole or skipped when the buffer is short.
#include <gtest/gtest.h>

#include <tuple>

#include "persist/block_test_support.h"

namespace {

using namespace blocktest;

constexpr size_t kHeader = 21;  // version byte and 20 empty names

TEST(BlockWriter, HeaderAndOperatorNames) {
  Ec ec = NewContext();
  EXPECT_EQ(XEVGetECBlockSize(ec.get(), 0), kHeader);
  Bytes expected(kHeader, 0);
  expected[0] = 3;
  EXPECT_EQ(WriteBlock(ec.get()), expected);
  uint8_t buffer[4] = {9, 9, 9, 9};
  EXPECT_EQ(XEVGetECBlock(nullptr, sizeof buffer, buffer), 1);
  EXPECT_EQ(Bytes(buffer, buffer + 2), (Bytes{3, 9}));

  // Names lie in table order; operator codes 2 ('/') and 3 ('*') swap places.
  ASSERT_EQ(XEVSetOperatorCallback(ec.get(), 0, 0, "Add"), 1);
  ASSERT_EQ(XEVSetOperatorCallback(ec.get(), 2, 1, "Div"), 1);
  ASSERT_EQ(XEVSetOperatorCallback(ec.get(), 3, 1, "Mul"), 1);
  Bytes block = WriteBlock(ec.get());
  std::vector<std::string> names;
  for (size_t at = 1; at < block.size(); at += names.back().size() + 1)
    names.emplace_back(reinterpret_cast<const char*>(block.data() + at));
  ASSERT_EQ(names.size(), 20u);
  EXPECT_EQ(std::tuple(names[0], names[9], names[13]), std::tuple("Add", "Mul", "Div"));
}

TEST(BlockWriter, DataItemRecordLayout) {
  Ec ec = NewContext();
  ExpItem item = DataItem("Amount", "g", XEV_TYPE_STRING);
  item.name[10] = 'x';  // a byte after the terminator is carried as held
  item.paramCount = 0x0102, item.subclass = 0x0304, item.subclass2 = 0x0506, item.flags = 0x0708;
  ASSERT_EQ(XEVAddExpressionItem(ec.get(), &item), 1);

  Bytes block = WriteBlock(ec.get());
  ASSERT_EQ(block.size(), 112u);
  EXPECT_EQ(XEVGetECBlockSize(ec.get(), 1), 112u);
  EXPECT_EQ(Bytes(block.begin() + 21, block.begin() + 25), (Bytes{0xFA, 0, 1, 0}));
  const uint8_t* image = block.data() + 25;
  EXPECT_EQ(Bytes(image, image + 12), (Bytes{1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0})) << "pointers as zero";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image + 12)), "Amount");
  EXPECT_EQ(image[12 + 10], 'x');
  EXPECT_EQ(Bytes(image + 77, image + 85), (Bytes{2, 1, 4, 3, 6, 5, 8, 7}));
  EXPECT_EQ(Bytes(block.begin() + 110, block.end()), (Bytes{'g', 0}));

  // An emptied list is counted by the size query but not written.
  ASSERT_EQ(XEVDelExpItemNoCheck(ec.get(), XEV_ITEM_DATA, "Amount"), 1);
  EXPECT_EQ(XEVGetECBlockSize(ec.get(), 1), kHeader + 4);
  EXPECT_EQ(WriteBlock(ec.get()).size(), kHeader);
}

// A piece that does not fit is skipped whole, shorter ones after it still go
// in, and nothing lands past the buffer.
TEST(BlockWriter, ShortBuffers) {
  Ec ec = NewContext();
  std::string longName(24, 'N');
  ASSERT_EQ(XEVSetOperatorCallback(ec.get(), 0, 0, longName.c_str()), 1);
  ExpItem item = DataItem("Amount", "GetAmount");
  ASSERT_EQ(XEVAddExpressionItem(ec.get(), &item), 1);
  Bytes buffer(26, 0xEE);
  EXPECT_EQ(XEVGetECBlock(ec.get(), 25, buffer.data()), 20);
  EXPECT_EQ(buffer, BlockBuilder().Byte(3).Field("", 19).Field("\xEE\xEE\xEE\xEE\xEE\xEE", 6).Build());

  ExprError error{};
  uint16_t type = 0;
  ASSERT_NE(XEVParseString(ec.get(), "1+2", "Ab", &error, &type), nullptr);
  ASSERT_NE(XEVParseString(ec.get(), "Amount + 1", "Next", &error, &type), nullptr);
  uint32_t full = XEVGetECBlockSize(ec.get(), 1);
  EXPECT_EQ(full - XEVGetECBlockSize(ec.get(), 0), 4u + 7u + 16u);
  Bytes block(full, 0);
  ASSERT_EQ(XEVGetECBlock(ec.get(), static_cast<int32_t>(full), block.data()), static_cast<int32_t>(full));
  EXPECT_EQ(Bytes(block.end() - 11 - 16, block.end() - 16), (Bytes{0xFC, 0, 2, 0, '1', '+', '2', 0, 'A', 'b', 0}));
  // One byte short, the last record is left out whole.
  EXPECT_EQ(XEVGetECBlock(ec.get(), static_cast<int32_t>(full - 1), block.data()), static_cast<int32_t>(full - 16));
}

}  // namespace
