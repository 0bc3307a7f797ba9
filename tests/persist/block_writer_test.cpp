// The context block writer: the layout of each section, the size query and
// the rule that a piece is written whole or skipped when the buffer is short.
#include <gtest/gtest.h>

#include "persist/block_test_support.h"

namespace {

using namespace blocktest;

constexpr size_t kHeader = 21;  // version byte and 20 empty names

Bytes Expected(std::initializer_list<uint8_t> bytes) { return Bytes(bytes); }

TEST(BlockWriter, EmptyContextAndNullContext) {
  Ec ec = NewContext();
  EXPECT_EQ(XEVGetECBlockSize(ec.get(), 0), kHeader);
  EXPECT_EQ(XEVGetECBlockSize(ec.get(), 1), kHeader);
  Bytes block = WriteBlock(ec.get());
  Bytes expected(kHeader, 0);
  expected[0] = 3;
  EXPECT_EQ(block, expected);

  EXPECT_EQ(XEVGetECBlockSize(nullptr, 1), 1u);
  uint8_t buffer[4] = {9, 9, 9, 9};
  EXPECT_EQ(XEVGetECBlock(nullptr, sizeof buffer, buffer), 1);
  EXPECT_EQ(buffer[0], 3);
  EXPECT_EQ(buffer[1], 9);
}

TEST(BlockWriter, OperatorNamesInTableOrder) {
  Ec ec = NewContext();
  ASSERT_EQ(XEVSetOperatorCallback(ec.get(), 0, 0, "Add"), 1);
  Bytes block = WriteBlock(ec.get());
  Bytes expected = {3, 'A', 'd', 'd', 0};
  expected.resize(24, 0);
  EXPECT_EQ(block, expected);

  // Operator codes 2 ('/') and 3 ('*') are stored in the order '*', '/'.
  ASSERT_EQ(XEVSetOperatorCallback(ec.get(), 2, 1, "Div"), 1);
  ASSERT_EQ(XEVSetOperatorCallback(ec.get(), 3, 1, "Mul"), 1);
  ASSERT_EQ(XEVSetOperatorCallback(ec.get(), 4, 3, "Cat"), 1);
  block = WriteBlock(ec.get());
  std::vector<std::string> names;
  for (size_t at = 1; at < block.size(); at += names.back().size() + 1)
    names.emplace_back(reinterpret_cast<const char*>(block.data() + at));
  ASSERT_EQ(names.size(), 20u);
  EXPECT_EQ(names[0], "Add");
  EXPECT_EQ(names[9], "Mul");
  EXPECT_EQ(names[13], "Div");
  EXPECT_EQ(names[19], "Cat");
}

TEST(BlockWriter, DataItemRecordLayout) {
  Ec ec = NewContext();
  ExpItem item = DataItem("Amount", "g", XEV_TYPE_STRING);
  item.name[10] = 'x';  // a byte after the terminator is carried as held
  item.paramCount = 0x0102;
  item.subclass = 0x0304;
  item.subclass2 = 0x0506;
  item.flags = 0x0708;
  ASSERT_EQ(XEVAddExpressionItem(ec.get(), &item), 1);

  EXPECT_EQ(XEVGetECBlockSize(ec.get(), 1), 112u);
  Bytes block = WriteBlock(ec.get());
  ASSERT_EQ(block.size(), 112u);
  EXPECT_EQ(Bytes(block.begin() + 21, block.begin() + 25), Expected({0xFA, 0, 1, 0}));
  const uint8_t* image = block.data() + 25;
  EXPECT_EQ(Bytes(image, image + 4), Expected({1, 0, 2, 0}));
  EXPECT_EQ(Bytes(image + 4, image + 12), Bytes(8, 0)) << "pointer fields are written as zero";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image + 12)), "Amount");
  EXPECT_EQ(image[12 + 10], 'x');
  EXPECT_EQ(Bytes(image + 77, image + 85), Expected({2, 1, 4, 3, 6, 5, 8, 7}));
  EXPECT_EQ(block[110], 'g');
  EXPECT_EQ(block[111], 0);
}

TEST(BlockWriter, EmptiedDataItemListIsCountedButNotWritten) {
  Ec ec = NewContext();
  ExpItem item = DataItem("Amount", "GetAmount");
  ASSERT_EQ(XEVAddExpressionItem(ec.get(), &item), 1);
  ASSERT_EQ(XEVDelExpItemNoCheck(ec.get(), XEV_ITEM_DATA, "Amount"), 1);
  EXPECT_EQ(XEVGetECBlockSize(ec.get(), 1), kHeader + 4);
  EXPECT_EQ(WriteBlock(ec.get()).size(), kHeader);
}

// A name that does not fit is skipped, and shorter ones after it still go in.
TEST(BlockWriter, PiecesThatDoNotFitAreSkippedWhole) {
  Ec ec = NewContext();
  std::string longName(24, 'N');
  ASSERT_EQ(XEVSetOperatorCallback(ec.get(), 0, 0, longName.c_str()), 1);
  ExpItem item = DataItem("Amount", "g");
  ASSERT_EQ(XEVAddExpressionItem(ec.get(), &item), 1);
  Bytes buffer(25, 0xEE);
  EXPECT_EQ(XEVGetECBlock(ec.get(), 25, buffer.data()), 20);
  Bytes expected(25, 0xEE);
  expected[0] = 3;
  std::fill(expected.begin() + 1, expected.begin() + 20, 0);
  EXPECT_EQ(buffer, expected) << "nothing after an overflow, nothing past the buffer";
}

TEST(BlockWriter, DataItemRecordsAreEachTriedInTurn) {
  Ec ec = NewContext();
  std::string wideBinding(40, 'w');
  ExpItem wide = DataItem("Wide", wideBinding.c_str());
  ExpItem narrow = DataItem("Narrow", "n");
  ASSERT_EQ(XEVAddExpressionItem(ec.get(), &wide), 1);
  ASSERT_EQ(XEVAddExpressionItem(ec.get(), &narrow), 1);
  // Room for the header, the section header and the narrow record only.
  int32_t size = static_cast<int32_t>(kHeader + 4 + 85 + 2);
  Bytes buffer(static_cast<size_t>(size), 0);
  EXPECT_EQ(XEVGetECBlock(ec.get(), size, buffer.data()), size);
  EXPECT_EQ(buffer[21 + 2], 2) << "the count is that of the list";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data() + 25 + 12)), "Narrow");
}

class BlockWriterFormulas : public ::testing::Test {
 protected:
  void SetUp() override {
    ec_ = NewContext();
    ExpItem amount = DataItem("Amount", "GetAmount");
    ASSERT_EQ(XEVAddExpressionItem(ec_.get(), &amount), 1);
  }
  HEXP Parse(const char* text, const char* name) {
    ExprError error{};
    uint16_t type = 0;
    HEXP exp = XEVParseString(ec_.get(), text, name, &error, &type);
    EXPECT_NE(exp, nullptr) << text << " failed with " << error.code;
    return exp;
  }
  Ec ec_;
};

TEST_F(BlockWriterFormulas, RecordIsTextThenName) {
  Parse("1+2", "Ab");
  Bytes block = WriteBlock(ec_.get());
  size_t section = kHeader + 4 + 85 + sizeof "GetAmount";
  ASSERT_EQ(block.size(), section + 4 + 7);
  EXPECT_EQ(Bytes(block.begin() + static_cast<long>(section), block.end()),
            Expected({0xFC, 0, 1, 0, '1', '+', '2', 0, 'A', 'b', 0}));
  EXPECT_EQ(XEVGetECBlockSize(ec_.get(), 1) - XEVGetECBlockSize(ec_.get(), 0), 4u + 7u);
}

TEST_F(BlockWriterFormulas, ShortBufferDropsTheLastRecord) {
  Parse("Amount * 2", "Double");
  Parse("Amount + 1", "Next");
  uint32_t full = XEVGetECBlockSize(ec_.get(), 1);
  Bytes buffer(full, 0);
  EXPECT_EQ(XEVGetECBlock(ec_.get(), static_cast<int32_t>(full - 1), buffer.data()),
            static_cast<int32_t>(full - (sizeof "Amount + 1" + sizeof "Next")));

  // With a buffer of 21 bytes, only the version byte and the names fit.
  EXPECT_EQ(XEVGetECBlock(ec_.get(), 21, buffer.data()), 21);
}

TEST_F(BlockWriterFormulas, DestroyingTheLastFormulaDropsTheSection) {
  HEXP exp = Parse("Amount * 2", "Double");
  ASSERT_EQ(XEVDestroyEXP(ec_.get(), exp), 1);
  EXPECT_EQ(XEVGetECBlockSize(ec_.get(), 1), XEVGetECBlockSize(ec_.get(), 0));
  EXPECT_EQ(WriteBlock(ec_.get()).size(), XEVGetECBlockSize(ec_.get(), 0));
}

}  // namespace
