// Host memory blocks: zero fill (also when a recycled block comes back dirty)
// across the small/large boundary, and what the sanitizer sees of freed ones.
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

#ifdef MEMORY_TEST_ASAN
// Resizes and checks that the block survived with the given size.
unsigned char* Resize(void* block, size_t size) {
  auto* resized = static_cast<unsigned char*>(HostRealloc(block, size));
  EXPECT_TRUE(resized != nullptr && HostBlockSize(resized) == size) << size;
  return resized;
}

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
