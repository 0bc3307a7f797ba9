// Handle arrays: creation rules, growth and deletion with their element moves,
// the packed size query, and movable blocks that grow zero-filled.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "core/handle_array.h"
#include "oom/sweep.h"

namespace {

using namespace xev::core;

intptr_t Slot(HGLOBAL array, int32_t index) {
  auto* slot = static_cast<intptr_t*>(HandleArrayLockElement(array, index));
  if (slot == nullptr) return -1;
  intptr_t value = *slot;
  HandleArrayUnlock(array);
  return value;
}

// A list of slots holding 10, 11, ..., added one by one as every owner does.
HGLOBAL MakeList(int32_t count) {
  HGLOBAL array = HandleArrayCreate(kSlotSize, 0);
  for (int32_t i = 0; i < count && array != nullptr; ++i) {
    array = HandleArrayAppend(array);
    *static_cast<intptr_t*>(HandleArrayLockElement(array, i)) = 10 + i;
    HandleArrayUnlock(array);
  }
  return array;
}

class HandleArrayTest : public oom::NoLeakTest {};

TEST_F(HandleArrayTest, CreateRefusesBadShapesGrowsAndPacksSizeInfo) {
  EXPECT_EQ(nullptr, HandleArrayCreate(0, 1));
  EXPECT_EQ(nullptr, HandleArrayCreate(4, -1));
  HGLOBAL three = HandleArrayCreate(4, 3);
  EXPECT_EQ(0x00030004u, HandleArraySizeInfo(three));
  HandleArrayFree(three);
  HGLOBAL grown = MakeList(200);
  EXPECT_EQ(static_cast<uint32_t>(200 << 16 | kSlotSize), HandleArraySizeInfo(grown));
  for (int32_t i = 0; i < 200; ++i) ASSERT_EQ(10 + i, Slot(grown, i));
  HandleArrayFree(grown);

  // The size query keeps only 16 bits of the count; the full count stays readable.
  HGLOBAL big = HandleArrayCreate(1, 65537);
  EXPECT_EQ(0x00010001u, HandleArraySizeInfo(big));
  EXPECT_EQ(65537u, HandleArrayCount(big));
  HandleArrayFree(big);
}

TEST_F(HandleArrayTest, DeleteMovesLaterElementsDownAndClampsTheIndex) {
  for (int32_t index : {0, 1, -1, 3, 8}) {
    HGLOBAL array = HandleArrayDelete(MakeList(3), index);
    int32_t removed = index == 0 || index == 1 ? index : 2;
    EXPECT_EQ(2u, HandleArrayCount(array)) << index;
    EXPECT_EQ(removed == 0 ? 11 : 10, Slot(array, 0)) << index;
    EXPECT_EQ(removed == 2 ? 11 : 12, Slot(array, 1)) << index;
    HandleArrayFree(array);
  }
  HGLOBAL empty = HandleArrayDelete(HandleArrayCreate(4, 0), 0);  // stays an empty list
  ASSERT_TRUE(empty != nullptr && HandleArrayCount(empty) == 0u);
  HandleArrayFree(empty);
  EXPECT_EQ(nullptr, HandleArrayDelete(nullptr, 0));
}

// Growth is zero-filled, also for a handle shrunk to nothing whose host block
// keeps a byte of what it held.
TEST_F(HandleArrayTest, MovableBlocksGrowZeroFilledFromAnySize) {
  using namespace xev::platform;
  HGLOBAL block = GlobalAlloc(GHND, 4);
  ASSERT_NE(nullptr, block);
  for (size_t to : {size_t{0}, size_t{2}}) {
    std::memset(GlobalLock(block), 0xFF, 4);
    GlobalUnlock(block);
    ASSERT_EQ(block, GlobalReAlloc(block, to, GHND));
    ASSERT_EQ(block, GlobalReAlloc(block, 4, GHND));
    const auto* bytes = static_cast<const unsigned char*>(GlobalLock(block));
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(i < to ? 0xFF : 0, bytes[i]) << to << " " << i;
    GlobalUnlock(block);
  }
  GlobalFree(block);
}

}  // namespace
