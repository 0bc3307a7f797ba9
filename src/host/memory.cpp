// Host memory blocks. The evaluator allocates and frees a small block for
// every node it visits, so small blocks are recycled through per-size free
// lists instead of going back to malloc each time; larger blocks go straight
// to malloc. Each block carries a header with its size and size class, so
// HostBlockSize and HostRealloc need no lookup. A failure can be injected at
// the n-th allocation so that tests reach every failure path.
//
// Each thread has its own free lists and counters, so threads that parse and
// evaluate in their own contexts never wait for one another and one thread
// sees exactly what it would see alone. A block may be freed on another
// thread than the one that made it; it then joins that thread's free lists.
// The counters (allocations, live blocks, the injected failure) are per
// thread too: they are test aids, and a test counts on its own thread.
// What a thread has cached goes back to malloc when the thread ends.
//
// Under AddressSanitizer the free lists are bypassed: every block goes back to
// malloc at once, so the sanitizer sees use after free and reports leaks.
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "host/host.h"
#include "xev/xevhost.h"

#if defined(__SANITIZE_ADDRESS__)
#define XEV_RECYCLE_BLOCKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define XEV_RECYCLE_BLOCKS 0
#endif
#endif
#ifndef XEV_RECYCLE_BLOCKS
#define XEV_RECYCLE_BLOCKS 1
#endif

namespace {

struct alignas(16) BlockHeader {
  size_t size;         // the size asked for; what HostBlockSize reports
  size_t sizeClass;    // 1..kClassCount for recycled blocks, 0 for large ones
};
// The user area follows the header, so every block is 16-byte aligned, as
// 128-bit values (the evaluator's loaded numbers) want, while malloc's are.
static_assert(alignof(std::max_align_t) >= 16);

constexpr size_t kClassStep = 16;
// Classes of 16, 32, ... 1,024 usable bytes: a parse's node block, which holds
// the whole tree of most formulas, is the largest block taken often.
constexpr size_t kLargestSmall = xev::host::kLargestRecycledBlock;
constexpr size_t kClassCount = kLargestSmall / kClassStep;
static_assert(kLargestSmall % kClassStep == 0);
// Idle blocks kept for reuse; beyond this they go back to malloc so that a
// burst of allocations does not pin its peak for the life of the process.
constexpr size_t kMaxCachedBytes = size_t{8} << 20;
constexpr size_t kMaxBlockSize = SIZE_MAX >> 2;

struct FreeBlock {
  FreeBlock* next;
};

// Allocation bookkeeping and the free lists of one thread: the only mutable
// state of this file. Plain data, so that reaching it costs no initialisation
// check; the drain at thread exit is armed when the first block is cached.
struct AllocationState {
  int64_t count;
  int64_t live;
  int64_t failAt;  // absolute allocation number that fails; 0 = none
  size_t cachedBytes;
  bool drainArmed;
  bool threadEnded;  // the drain has run: nothing would collect a cached block
  FreeBlock* freeLists[kClassCount + 1];
};
thread_local AllocationState g_alloc{};

void DrainFreeLists() {
  for (FreeBlock*& list : g_alloc.freeLists) {
    while (FreeBlock* block = list) {
      list = block->next;
      std::free(reinterpret_cast<BlockHeader*>(block) - 1);
    }
  }
  g_alloc.cachedBytes = 0;
}

struct ThreadExitDrain {
  ~ThreadExitDrain() {
    DrainFreeLists();
    g_alloc.drainArmed = false;
    g_alloc.threadEnded = true;  // blocks freed after this go straight back to malloc
  }
};

void ArmDrain() {
  thread_local ThreadExitDrain drain;
  (void)drain;
  g_alloc.drainArmed = true;
}

bool NextAllocationFails() {
  ++g_alloc.count;
  return __builtin_expect(g_alloc.failAt != 0, 0) && g_alloc.count == g_alloc.failAt;
}

BlockHeader* HeaderOf(const void* block) {
  return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(block))) - 1;
}

void* UserArea(BlockHeader* header) { return header + 1; }

size_t ClassOf(size_t size) {
  if (!XEV_RECYCLE_BLOCKS || size > kLargestSmall) return 0;
  return size == 0 ? 1 : (size + kClassStep - 1) / kClassStep;
}

size_t CapacityOf(const BlockHeader* header) {
  return header->sizeClass != 0 ? header->sizeClass * kClassStep : header->size;
}

// Clears a small block's whole capacity in 16-byte steps: for the sizes that
// matter this is a few vector stores, cheaper than calling memset.
void ClearSmall(void* block, size_t sizeClass) {
  struct Chunk {
    uint64_t low, high;
  };
  auto* chunk = static_cast<Chunk*>(block);
  for (size_t i = 0; i < sizeClass; ++i) chunk[i] = Chunk{0, 0};
}

// A block from the C runtime, when no recycled one is at hand.
[[gnu::noinline]] void* AllocateFreshBlock(size_t size, size_t sizeClass, bool clear) {
  BlockHeader* header = nullptr;
  if (sizeClass != 0) {
    header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + sizeClass * kClassStep));
    if (header == nullptr) return nullptr;
    if (clear) ClearSmall(UserArea(header), sizeClass);
  } else {
    header = static_cast<BlockHeader*>(std::calloc(1, sizeof(BlockHeader) + size));
    if (header == nullptr) return nullptr;
  }
  header->size = size;
  header->sizeClass = sizeClass;
  return UserArea(header);
}

// A block of size bytes, without touching the counters; zero-filled unless
// the caller writes every byte it reads.
inline void* AllocateBlock(size_t size, bool clear = true) {
  const size_t sizeClass = ClassOf(size);
  FreeBlock* reused = sizeClass != 0 ? g_alloc.freeLists[sizeClass] : nullptr;
  if (__builtin_expect(reused == nullptr, 0)) return AllocateFreshBlock(size, sizeClass, clear);
  g_alloc.freeLists[sizeClass] = reused->next;
  g_alloc.cachedBytes -= sizeClass * kClassStep;
  if (clear) ClearSmall(reused, sizeClass);
  BlockHeader* header = HeaderOf(reused);
  header->size = size;
  header->sizeClass = sizeClass;
  return reused;
}

void CacheBlock(void* block, size_t sizeClass) {
  auto* freed = static_cast<FreeBlock*>(block);
  freed->next = g_alloc.freeLists[sizeClass];
  g_alloc.freeLists[sizeClass] = freed;
  g_alloc.cachedBytes += sizeClass * kClassStep;
}

// A large block, a full cache, or the first block a thread caches (or one
// freed after its drain ran): kept apart, so that the common case below
// needs no registers saved.
[[gnu::noinline]] void ReleaseUncommonBlock(void* block) {
  BlockHeader* header = HeaderOf(block);
  size_t sizeClass = header->sizeClass;
  if (sizeClass == 0 || g_alloc.cachedBytes + sizeClass * kClassStep > kMaxCachedBytes || g_alloc.threadEnded) {
    std::free(header);
    return;
  }
  ArmDrain();
  CacheBlock(block, sizeClass);
}

inline void ReleaseBlock(void* block) {
  const size_t sizeClass = HeaderOf(block)->sizeClass;
  if (__builtin_expect(sizeClass == 0 || !g_alloc.drainArmed ||
                           g_alloc.cachedBytes + sizeClass * kClassStep > kMaxCachedBytes,
                       0)) {
    ReleaseUncommonBlock(block);
    return;
  }
  CacheBlock(block, sizeClass);
}

// A block the allocation counters see: it counts, may fail on purpose and is live.
void* AllocateCountedBlock(size_t size, bool clear) {
  if (NextAllocationFails() || size > kMaxBlockSize) return nullptr;
  void* block = AllocateBlock(size, clear);
  if (block != nullptr) ++g_alloc.live;
  return block;
}

}  // namespace

namespace xev::host {

void* AllocateUnclearedBlock(size_t size) { return AllocateCountedBlock(size, false); }

void* AllocateCacheBlock(size_t size) { return size > kMaxBlockSize ? nullptr : AllocateBlock(size); }

void FreeCacheBlock(void* block) {
  if (block != nullptr) ReleaseBlock(block);
}

}  // namespace xev::host

extern "C" {

XEV_API void* XEV_CALL HostAlloc(size_t size) { return AllocateCountedBlock(size, true); }

XEV_API void* XEV_CALL HostRealloc(void* block, size_t size) {
  if (block == nullptr) return HostAlloc(size);
  if (NextAllocationFails() || size > kMaxBlockSize) return nullptr;
  BlockHeader* header = HeaderOf(block);
  size_t oldSize = header->size;
  // A small block that still has room keeps its place; bytes past the old
  // size may hold an earlier user's data, so the grown part is cleared.
  if (header->sizeClass != 0 && size <= CapacityOf(header)) {
    if (size > oldSize) std::memset(static_cast<char*>(block) + oldSize, 0, size - oldSize);
    header->size = size;
    return block;
  }
  if (header->sizeClass == 0 && ClassOf(size) == 0) {
    auto* moved = static_cast<BlockHeader*>(std::realloc(header, sizeof(BlockHeader) + size));
    if (moved == nullptr) return nullptr;
    if (size > oldSize) std::memset(reinterpret_cast<char*>(UserArea(moved)) + oldSize, 0, size - oldSize);
    moved->size = size;
    return UserArea(moved);
  }
  // Moving between a small class and a large block (either way). A small
  // block that grows takes twice its room if that is still small: lists
  // grow by one element at a time, and each move costs a copy.
  size_t room = size;
  if (header->sizeClass != 0 && size > oldSize && CapacityOf(header) * 2 <= kLargestSmall) {
    room = CapacityOf(header) * 2 > size ? CapacityOf(header) * 2 : size;
  }
  void* moved = AllocateBlock(room);
  if (moved == nullptr) return nullptr;
  std::memcpy(moved, block, oldSize < size ? oldSize : size);
  ReleaseBlock(block);
  HeaderOf(moved)->size = size;
  return moved;
}

XEV_API void XEV_CALL HostFree(void* block) {
  if (block == nullptr) return;
  --g_alloc.live;
  ReleaseBlock(block);
}

XEV_API size_t XEV_CALL HostBlockSize(const void* block) {
  return block == nullptr ? 0 : HeaderOf(block)->size;
}

XEV_API void XEV_CALL HostFailAllocationAfter(int64_t n) {
  g_alloc.failAt = n <= 0 ? 0 : g_alloc.count + n;
}

XEV_API int64_t XEV_CALL HostAllocationCount(void) { return g_alloc.count; }

XEV_API int64_t XEV_CALL HostLiveBlockCount(void) { return g_alloc.live; }

}  // extern "C"
