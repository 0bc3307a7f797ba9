// Handle arrays: creation rules, growth and deletion with their element moves,
// the packed size query, the lock pairing and allocation failures.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "core/handle_array.h"

namespace {

using namespace xev::core;
using xev::platform::GlobalLock;
using xev::platform::GlobalUnlock;

intptr_t Slot(HGLOBAL array, int32_t index) {
  auto* slot = static_cast<intptr_t*>(HandleArrayLockElement(array, index));
  if (slot == nullptr) return -1;
  intptr_t value = *slot;
  HandleArrayUnlock(array);
  return value;
}

// Appends one slot and writes value into it, as every owner of a list does.
HGLOBAL AppendSlot(HGLOBAL array, intptr_t value) {
  HGLOBAL grown = HandleArrayAppend(array);
  if (grown == nullptr) return nullptr;
  auto* slot = static_cast<intptr_t*>(HandleArrayLockElement(grown, static_cast<int32_t>(HandleArrayCount(grown)) - 1));
  *slot = value;
  HandleArrayUnlock(grown);
  return grown;
}

// A list of slots holding 10, 11, ... 10 + count - 1.
HGLOBAL MakeList(int32_t count) {
  HGLOBAL array = HandleArrayCreate(kSlotSize, 0);
  for (int32_t i = 0; i < count && array != nullptr; ++i) array = AppendSlot(array, 10 + i);
  return array;
}

// Whether the block is left unlocked: one lock/unlock pair then leaves no lock.
bool IsUnlocked(HGLOBAL array) {
  GlobalLock(array);
  return GlobalUnlock(array) == 0;
}

class HandleArrayTest : public ::testing::Test {
 protected:
  void SetUp() override { startLive_ = HostLiveBlockCount(); }
  void TearDown() override {
    HostFailAllocationAfter(0);
    EXPECT_EQ(startLive_, HostLiveBlockCount());
  }
  int64_t startLive_ = 0;
};

TEST_F(HandleArrayTest, CreateRefusesBadShapesAndPacksSizeInfo) {
  EXPECT_EQ(nullptr, HandleArrayCreate(0, 1));
  EXPECT_EQ(nullptr, HandleArrayCreate(4, -1));
  HGLOBAL empty = HandleArrayCreate(4, 0);
  ASSERT_NE(nullptr, empty);
  EXPECT_EQ(0x00000004u, HandleArraySizeInfo(empty));
  EXPECT_EQ(nullptr, HandleArrayLockElement(empty, 0));
  HandleArrayFree(empty);

  HGLOBAL three = HandleArrayCreate(4, 3);
  EXPECT_EQ(0x00030004u, HandleArraySizeInfo(three));
  auto* elements = static_cast<unsigned char*>(HandleArrayLockElement(three, 0));
  for (int i = 0; i < 12; ++i) EXPECT_EQ(0, elements[i]);
  HandleArrayUnlock(three);
  HandleArrayFree(three);

  // The size query keeps only 16 bits of the count; the full count stays readable.
  HGLOBAL big = HandleArrayCreate(1, 65537);
  ASSERT_NE(nullptr, big);
  EXPECT_EQ(0x00010001u, HandleArraySizeInfo(big));
  EXPECT_EQ(65537u, HandleArrayCount(big));
  HandleArrayFree(big);

  EXPECT_EQ(0u, HandleArraySizeInfo(nullptr));
  EXPECT_EQ(0u, HandleArrayCount(nullptr));
}

TEST_F(HandleArrayTest, GrowsOneSlotAtATimeKeepingEveryElement) {
  HGLOBAL array = MakeList(200);
  ASSERT_NE(nullptr, array);
  EXPECT_EQ(200u, HandleArrayCount(array));
  EXPECT_EQ(static_cast<uint32_t>(200 << 16 | kSlotSize), HandleArraySizeInfo(array));
  for (int32_t i = 0; i < 200; ++i) ASSERT_EQ(10 + i, Slot(array, i));
  HandleArrayFree(array);
}

TEST_F(HandleArrayTest, AppendedElementIsZeroAfterEarlierUse) {
  HGLOBAL array = HandleArrayCreate(12, 2);
  std::memset(HandleArrayLockElement(array, 0), 0xEE, 24);
  HandleArrayUnlock(array);
  array = HandleArrayDelete(array, 1);
  array = HandleArrayAppend(array);
  ASSERT_NE(nullptr, array);
  auto* last = static_cast<unsigned char*>(HandleArrayLockElement(array, 1));
  for (int i = 0; i < 12; ++i) EXPECT_EQ(0, last[i]);
  HandleArrayUnlock(array);
  HandleArrayFree(array);
}

TEST_F(HandleArrayTest, DeleteMovesLaterElementsDownAndClampsTheIndex) {
  HGLOBAL array = MakeList(3);
  array = HandleArrayDelete(array, 0);
  EXPECT_EQ(2u, HandleArrayCount(array));
  EXPECT_EQ(11, Slot(array, 0));
  EXPECT_EQ(12, Slot(array, 1));
  HandleArrayFree(array);

  for (int32_t outOfRange : {-1, 3, 8}) {
    array = MakeList(3);
    array = HandleArrayDelete(array, outOfRange);
    EXPECT_EQ(2u, HandleArrayCount(array)) << outOfRange;
    EXPECT_EQ(10, Slot(array, 0));
    EXPECT_EQ(11, Slot(array, 1));
    HandleArrayFree(array);
  }

  array = MakeList(5);
  array = HandleArrayDelete(array, 2);
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(i < 2 ? 10 + i : 11 + i, Slot(array, i));
  for (int i = 0; i < 4; ++i) array = HandleArrayDelete(array, 0);
  EXPECT_EQ(0u, HandleArrayCount(array));
  array = HandleArrayDelete(array, 0);  // deleting from an empty list keeps it empty
  ASSERT_NE(nullptr, array);
  EXPECT_EQ(0u, HandleArrayCount(array));
  HandleArrayFree(array);
  EXPECT_EQ(nullptr, HandleArrayDelete(nullptr, 0));
  EXPECT_EQ(nullptr, HandleArrayAppend(nullptr));
}

TEST_F(HandleArrayTest, LockElementPairsWithOneUnlockAndRefusesOutOfRange) {
  HGLOBAL array = MakeList(2);
  EXPECT_EQ(nullptr, HandleArrayLockElement(array, 2));
  EXPECT_TRUE(IsUnlocked(array));
  EXPECT_EQ(nullptr, HandleArrayLockElement(array, -1));
  EXPECT_TRUE(IsUnlocked(array));
  ASSERT_NE(nullptr, HandleArrayLockElement(array, 1));
  EXPECT_FALSE(IsUnlocked(array));
  HandleArrayUnlock(array);
  EXPECT_TRUE(IsUnlocked(array));
  HandleArraySizeInfo(array);
  EXPECT_TRUE(IsUnlocked(array));
  HandleArrayFree(array);
}

TEST_F(HandleArrayTest, AllocationFailuresLeaveTheListIntact) {
  for (int64_t k = 1; k <= 2; ++k) {
    HostFailAllocationAfter(k);
    EXPECT_EQ(nullptr, HandleArrayCreate(4, 1)) << k;
  }
  HostFailAllocationAfter(0);

  HGLOBAL array = MakeList(3);
  HostFailAllocationAfter(1);
  EXPECT_EQ(nullptr, HandleArrayAppend(array));
  EXPECT_EQ(3u, HandleArrayCount(array));
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(10 + i, Slot(array, i));

  // A refused shrink still removes the element: the larger block holds the list.
  HostFailAllocationAfter(1);
  array = HandleArrayDelete(array, 0);
  ASSERT_NE(nullptr, array);
  EXPECT_EQ(2u, HandleArrayCount(array));
  EXPECT_EQ(11, Slot(array, 0));
  EXPECT_EQ(12, Slot(array, 1));
  HandleArrayFree(array);
}

}  // namespace
