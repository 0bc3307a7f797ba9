// Host memory blocks: zero fill (also when a recycled block comes back dirty),
// sizes across the small/large boundary, failure injection and the counters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "oom/sweep.h"

#if defined(__SANITIZE_ADDRESS__)
#define MEMORY_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MEMORY_TEST_ASAN 1
#endif
#endif
#ifdef MEMORY_TEST_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace {

bool AllZero(const void* block, size_t from, size_t to) {
  const auto* bytes = static_cast<const unsigned char*>(block);
  return std::all_of(bytes + from, bytes + to, [](unsigned char b) { return b == 0; });
}

unsigned char* DirtyBlock(size_t size) {
  auto* block = static_cast<unsigned char*>(HostAlloc(size));
  if (block != nullptr) std::memset(block, 0xAB, size);
  return block;
}

// Resizes and checks that the block survived with the given size.
unsigned char* Resize(void* block, size_t size) {
  auto* resized = static_cast<unsigned char*>(HostRealloc(block, size));
  EXPECT_TRUE(resized != nullptr && HostBlockSize(resized) == size) << size;
  return resized;
}

class MemoryTest : public oom::NoLeakTest {};

TEST_F(MemoryTest, BlocksComeZeroFilledEvenWhenRecycled) {
  for (size_t size : {0, 1, 13, 50, 512, 513, 5000}) {
    HostFree(DirtyBlock(size));
    void* block = HostAlloc(size);
    ASSERT_NE(nullptr, block) << size;
    EXPECT_EQ(size, HostBlockSize(block));
    EXPECT_TRUE(AllZero(block, 0, size)) << size;
    HostFree(block);
  }
}

TEST_F(MemoryTest, ReallocKeepsContentAndZeroesWhatIsAdded) {
  // Shrink then grow inside one size class: the bytes past the shrunk size
  // still hold the old pattern in memory and must read as zero again.
  unsigned char* block = Resize(Resize(DirtyBlock(30), 10), 31);
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(0xAB, block[9]);
  EXPECT_TRUE(AllZero(block, 10, 31));

  // Small to large, large to larger, large back to small.
  ASSERT_NE(nullptr, block = Resize(block, 4000));
  EXPECT_EQ(0xAB, block[9]);
  EXPECT_TRUE(AllZero(block, 10, 4000));
  std::memset(block, 0xCD, 4000);
  ASSERT_NE(nullptr, block = Resize(block, 9000));
  EXPECT_EQ(0xCD, block[3999]);
  EXPECT_TRUE(AllZero(block, 4000, 9000));
  ASSERT_NE(nullptr, block = Resize(block, 8));
  EXPECT_EQ(0xCD, block[7]);
  HostFree(block);
}

// Interleaved allocations and frees of many sizes, then every surviving block
// is checked for its own pattern: a corrupted free list shows up as overlap.
// The count also exceeds what the recycler keeps idle, so that path runs too.
TEST_F(MemoryTest, ManyLiveBlocksNeverOverlap) {
  std::vector<unsigned char*> blocks;
  for (size_t i = 0; i < 40000; ++i) {
    size_t size = (i * 37) % 700 + 1;
    blocks.push_back(DirtyBlock(size));
    ASSERT_NE(nullptr, blocks.back());
    std::memset(blocks.back(), static_cast<int>(i & 0xFF), size);
    if (i % 3 == 0) {
      HostFree(blocks[i / 2]);
      blocks[i / 2] = nullptr;
    }
  }
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (blocks[i] == nullptr) continue;
    ASSERT_EQ((i * 37) % 700 + 1, HostBlockSize(blocks[i]));
    for (size_t b = 0; b < HostBlockSize(blocks[i]); ++b) ASSERT_EQ(i & 0xFF, blocks[i][b]) << i;
    HostFree(blocks[i]);
  }
}

TEST_F(MemoryTest, InjectedFailureHitsExactlyTheNthAllocation) {
  int64_t before = HostAllocationCount();
  HostFailAllocationAfter(2);
  void *first = HostAlloc(13), *second = HostAlloc(13), *third = HostAlloc(13);
  EXPECT_TRUE(first != nullptr && second == nullptr && third != nullptr);
  EXPECT_EQ(before + 3, HostAllocationCount());

  // A failed realloc leaves the old block valid and unchanged.
  std::memset(first, 0x5A, 13);
  HostFailAllocationAfter(1);
  EXPECT_EQ(nullptr, HostRealloc(first, 2000));
  EXPECT_EQ(13u, HostBlockSize(first));
  unsigned char* after = Resize(first, 2000);  // the injection fired once only
  ASSERT_NE(nullptr, after);
  EXPECT_EQ(0x5A, after[12]);
  HostFree(after);
  HostFree(third);

  HostFailAllocationAfter(1);
  HostFailAllocationAfter(0);  // switches injection off again
  void* block = HostAlloc(4);
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(nullptr, HostAlloc(SIZE_MAX));
  EXPECT_EQ(nullptr, HostRealloc(block, SIZE_MAX / 2));
  HostFree(block);
}

#ifdef MEMORY_TEST_ASAN
// The sanitizer sees the recycling allocator as it sees its own: a freed
// block, and the room of a block's class beyond its size, may not be touched;
// a recycled block is whole again when it is handed out.
TEST_F(MemoryTest, TheSanitizerSeesFreedBlocksAndClassRoom) {
  // On a thread of its own, whose free lists and quarantine start empty.
  std::thread([] {
    auto* block = static_cast<unsigned char*>(HostAlloc(20));
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(nullptr, __asan_region_is_poisoned(block, 20));
    EXPECT_TRUE(__asan_address_is_poisoned(block + 20));  // the class holds 32
    unsigned char* grown = Resize(block, 30);
    ASSERT_EQ(block, grown);  // grown in place, and its new bytes open
    EXPECT_EQ(nullptr, __asan_region_is_poisoned(grown, 30));
    HostFree(grown);
    EXPECT_TRUE(__asan_address_is_poisoned(grown));
    EXPECT_TRUE(__asan_address_is_poisoned(grown - 8));  // its size class: a second free is caught
    // Past the quarantine the block comes back, open and zero-filled.
    std::vector<void*> taken;
    bool cameBack = false;
    for (int i = 0; i < 20000 && !cameBack; ++i) {
      void* next = HostAlloc(20);
      ASSERT_NE(nullptr, next);
      cameBack = next == grown;
      taken.push_back(next);
      if (!cameBack && i % 2 == 0) {
        HostFree(taken.back());
        taken.pop_back();
      }
    }
    ASSERT_TRUE(cameBack);
    EXPECT_EQ(nullptr, __asan_region_is_poisoned(grown, 20));
    EXPECT_TRUE(AllZero(grown, 0, 20));
    for (void* each : taken) HostFree(each);
  }).join();
}
#endif

}  // namespace
