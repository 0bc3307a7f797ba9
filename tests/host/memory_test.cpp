// Host memory blocks: zero fill (also when a recycled block comes back dirty),
// sizes across the small/large boundary, failure injection and the counters.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "xev/xevhost.h"

namespace {

bool AllZero(const void* block, size_t from, size_t to) {
  const auto* bytes = static_cast<const unsigned char*>(block);
  for (size_t i = from; i < to; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

void* DirtyBlock(size_t size) {
  void* block = HostAlloc(size);
  if (block != nullptr) std::memset(block, 0xAB, size);
  return block;
}

class MemoryTest : public ::testing::Test {
 protected:
  void SetUp() override { startLive_ = HostLiveBlockCount(); }
  void TearDown() override {
    HostFailAllocationAfter(0);
    EXPECT_EQ(startLive_, HostLiveBlockCount());
  }
  int64_t startLive_ = 0;
};

TEST_F(MemoryTest, BlocksComeZeroFilledEvenWhenRecycled) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{13}, size_t{16}, size_t{50}, size_t{512}, size_t{513},
                      size_t{5000}}) {
    HostFree(DirtyBlock(size));
    HostFree(DirtyBlock(size));
    void* block = HostAlloc(size);
    ASSERT_NE(nullptr, block) << size;
    EXPECT_EQ(size, HostBlockSize(block));
    EXPECT_TRUE(AllZero(block, 0, size)) << size;
    HostFree(block);
  }
  EXPECT_EQ(0u, HostBlockSize(nullptr));
  HostFree(nullptr);
}

TEST_F(MemoryTest, ReallocKeepsContentAndZeroesWhatIsAdded) {
  // Shrink then grow inside one size class: the bytes past the shrunk size
  // still hold the old pattern in memory and must read as zero again.
  auto* block = static_cast<unsigned char*>(DirtyBlock(30));
  block = static_cast<unsigned char*>(HostRealloc(block, 10));
  ASSERT_NE(nullptr, block);
  block = static_cast<unsigned char*>(HostRealloc(block, 31));
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(31u, HostBlockSize(block));
  EXPECT_EQ(0xAB, block[9]);
  EXPECT_TRUE(AllZero(block, 10, 31));

  // Small to large, large to larger, large back to small.
  block = static_cast<unsigned char*>(HostRealloc(block, 4000));
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(0xAB, block[0]);
  EXPECT_EQ(0xAB, block[9]);
  EXPECT_TRUE(AllZero(block, 10, 4000));
  std::memset(block, 0xCD, 4000);
  block = static_cast<unsigned char*>(HostRealloc(block, 9000));
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(0xCD, block[3999]);
  EXPECT_TRUE(AllZero(block, 4000, 9000));
  block = static_cast<unsigned char*>(HostRealloc(block, 8));
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(8u, HostBlockSize(block));
  EXPECT_EQ(0xCD, block[7]);
  HostFree(block);

  void* fresh = HostRealloc(nullptr, 20);  // a null block allocates
  ASSERT_NE(nullptr, fresh);
  EXPECT_TRUE(AllZero(fresh, 0, 20));
  HostFree(fresh);
}

TEST_F(MemoryTest, ManyLiveBlocksNeverOverlap) {
  std::vector<unsigned char*> blocks;
  for (size_t i = 0; i < 3000; ++i) {
    size_t size = (i * 37) % 700 + 1;
    auto* block = static_cast<unsigned char*>(HostAlloc(size));
    ASSERT_NE(nullptr, block);
    std::memset(block, static_cast<int>(i & 0xFF), size);
    blocks.push_back(block);
    if (i % 3 == 0) {  // free some on the way so free lists get reused
      HostFree(blocks[i / 2]);
      blocks[i / 2] = nullptr;
    }
  }
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (blocks[i] == nullptr) continue;
    size_t size = HostBlockSize(blocks[i]);
    ASSERT_EQ((i * 37) % 700 + 1, size);
    for (size_t b = 0; b < size; ++b) ASSERT_EQ(i & 0xFF, blocks[i][b]) << i;
    HostFree(blocks[i]);
  }
}

TEST_F(MemoryTest, InjectedFailureHitsExactlyTheNthAllocation) {
  int64_t before = HostAllocationCount();
  HostFailAllocationAfter(2);
  void* first = HostAlloc(13);
  void* second = HostAlloc(13);
  void* third = HostAlloc(13);
  EXPECT_NE(nullptr, first);
  EXPECT_EQ(nullptr, second);
  EXPECT_NE(nullptr, third);
  EXPECT_EQ(before + 3, HostAllocationCount());

  // A failed realloc leaves the old block valid and unchanged.
  std::memset(first, 0x5A, 13);
  HostFailAllocationAfter(1);
  EXPECT_EQ(nullptr, HostRealloc(first, 2000));
  EXPECT_EQ(13u, HostBlockSize(first));
  EXPECT_EQ(0x5A, static_cast<unsigned char*>(first)[12]);
  void* after = HostRealloc(first, 2000);  // the injection fired once only
  ASSERT_NE(nullptr, after);
  EXPECT_EQ(0x5A, static_cast<unsigned char*>(after)[12]);

  HostFree(after);
  HostFree(third);
}

TEST_F(MemoryTest, ZeroSwitchesInjectionOffAndHugeSizesFail) {
  HostFailAllocationAfter(1);
  HostFailAllocationAfter(0);
  void* block = HostAlloc(4);
  EXPECT_NE(nullptr, block);
  EXPECT_EQ(nullptr, HostAlloc(SIZE_MAX));
  EXPECT_EQ(nullptr, HostRealloc(block, SIZE_MAX / 2));
  EXPECT_EQ(4u, HostBlockSize(block));
  HostFree(block);
}

// More idle small blocks than the recycler keeps: the surplus must go back to
// malloc without disturbing the live count (the sanitizer build sees leaks).
TEST_F(MemoryTest, LargeBurstOfSmallBlocksIsReleased) {
  std::vector<void*> blocks(300000);
  for (void*& block : blocks) block = HostAlloc(50);
  for (void* block : blocks) {
    ASSERT_NE(nullptr, block);
    HostFree(block);
  }
}

}  // namespace
