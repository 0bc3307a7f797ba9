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
// The sanitizers run this same allocator. A freed block first waits in a
// quarantine, then joins its free list; in both it is poisoned (all of it
// but the free list's link, which the leak checker must be able to follow)
// until it is handed out again, and the bytes between a block's size and its
// class's room stay poisoned while it is in use. So a read or write of a
// freed block, a second free or an overrun is reported where it happens.
// Debug builds also fill a freed block with a pattern, so that a stale read
// gives garbage rather than the old values.
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "host/host.h"
#include "xev/xevhost.h"

#if defined(__SANITIZE_ADDRESS__)
#define XEV_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define XEV_ASAN 1
#endif
#endif
#ifdef XEV_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#define XEV_POISON(at, bytes) ASAN_POISON_MEMORY_REGION(at, bytes)
#define XEV_UNPOISON(at, bytes) ASAN_UNPOISON_MEMORY_REGION(at, bytes)
#else
#define XEV_POISON(at, bytes) ((void)(at), (void)(bytes))
#define XEV_UNPOISON(at, bytes) ((void)(at), (void)(bytes))
#endif

namespace {

struct alignas(16) BlockHeader {
  union {
    size_t size;             // in use: the size asked for; what HostBlockSize reports
    BlockHeader* nextFree;   // on a free list: the next block of its class
  };
  size_t sizeClass;  // 1..kClassCount for recycled blocks, 0 for large ones
};
// The user area follows the header, so every block is as aligned as malloc's
// (16 bytes on 64-bit targets, 8 on 32-bit Windows), which is enough for the
// 128-bit values the evaluator loads: the native type or two 64-bit words.
static_assert(alignof(std::max_align_t) >= alignof(xev::host::uint128));

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
  BlockHeader* freeLists[kClassCount + 1];
};
thread_local AllocationState g_alloc{};

#ifdef XEV_ASAN
// Under the sanitizer a freed small block waits, poisoned, behind this many
// later ones before it joins a free list, so that a stale pointer's read,
// write or second free still finds it poisoned rather than in a new owner's
// hands, as the sanitizer's own allocator would.
constexpr size_t kQuarantinedBlocks = 4096;
struct Quarantine {
  void* blocks[kQuarantinedBlocks];
  size_t next;
};
thread_local Quarantine g_quarantine{};
#endif

void Expose(BlockHeader* header, size_t sizeClass);

// Gives the quarantined blocks back to malloc when the thread ends.
void EndQuarantine() {
#ifdef XEV_ASAN
  for (void*& block : g_quarantine.blocks) {
    if (block == nullptr) continue;
    auto* header = reinterpret_cast<BlockHeader*>(block) - 1;
    block = nullptr;
    XEV_UNPOISON(header, sizeof(BlockHeader));
    Expose(header, header->sizeClass);
    std::free(header);
  }
#endif
}

void DrainFreeLists() {
  EndQuarantine();
  for (size_t sizeClass = 1; sizeClass <= kClassCount; ++sizeClass) {
    BlockHeader*& list = g_alloc.freeLists[sizeClass];
    while (BlockHeader* header = list) {
      Expose(header, sizeClass);
      list = header->nextFree;
      std::free(header);
    }
  }
  g_alloc.cachedBytes = 0;
}

// The leak checker may not look into thread-local storage, and a leak check
// in the middle of a run (a fuzzer's, after each input) must not take the
// blocks a thread keeps for reuse for lost ones: the lists are its roots.
void ShowCachedBlocksToLeakChecker(bool shown) {
#ifdef XEV_ASAN
  if (shown) {
    __lsan_register_root_region(&g_alloc, sizeof g_alloc);
    __lsan_register_root_region(&g_quarantine, sizeof g_quarantine);
  } else {
    __lsan_unregister_root_region(&g_alloc, sizeof g_alloc);
    __lsan_unregister_root_region(&g_quarantine, sizeof g_quarantine);
  }
#else
  (void)shown;
#endif
}

struct ThreadExitDrain {
  ~ThreadExitDrain() {
    DrainFreeLists();
    g_alloc.drainArmed = false;
    g_alloc.threadEnded = true;  // blocks freed after this go straight back to malloc
    ShowCachedBlocksToLeakChecker(false);
  }
};

void ArmDrain() {
  if (g_alloc.drainArmed) return;
  thread_local ThreadExitDrain drain;
  (void)drain;
  g_alloc.drainArmed = true;
  ShowCachedBlocksToLeakChecker(true);
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
  if (size > kLargestSmall) return 0;
  return size == 0 ? 1 : (size + kClassStep - 1) / kClassStep;
}

size_t CapacityOf(const BlockHeader* header) {
  return header->sizeClass != 0 ? header->sizeClass * kClassStep : header->size;
}

// The whole of a small block, header included, addressable again.
void Expose(BlockHeader* header, size_t sizeClass) {
  XEV_UNPOISON(header, sizeof(BlockHeader) + sizeClass * kClassStep);
}

// A block in use is addressable up to its size; the rest of its class's room
// is not, so that an overrun is caught before it reaches the next block.
void FitToSize(BlockHeader* header) {
  auto* user = static_cast<char*>(UserArea(header));
  XEV_UNPOISON(user, header->size);
  XEV_POISON(user + header->size, CapacityOf(header) - header->size);
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
  FitToSize(header);
  return UserArea(header);
}

// A block of size bytes, without touching the counters; zero-filled unless
// the caller writes every byte it reads.
inline void* AllocateBlock(size_t size, bool clear = true) {
  const size_t sizeClass = ClassOf(size);
  BlockHeader* header = sizeClass != 0 ? g_alloc.freeLists[sizeClass] : nullptr;
  if (__builtin_expect(header == nullptr, 0)) return AllocateFreshBlock(size, sizeClass, clear);
  Expose(header, sizeClass);
  g_alloc.freeLists[sizeClass] = header->nextFree;
  g_alloc.cachedBytes -= sizeClass * kClassStep;
  void* reused = UserArea(header);
  if (clear) ClearSmall(reused, sizeClass);
  header->size = size;
  header->sizeClass = sizeClass;
  FitToSize(header);
  return reused;
}

// What a freed block holds in Debug builds until it is handed out again.
[[maybe_unused]] constexpr unsigned char kFreedBlockByte = 0xDB;

void CacheBlock(void* block, size_t sizeClass) {
  BlockHeader* header = HeaderOf(block);
  Expose(header, sizeClass);
#ifndef NDEBUG
  std::memset(block, kFreedBlockByte, sizeClass * kClassStep);
#endif
  header->nextFree = g_alloc.freeLists[sizeClass];
  g_alloc.freeLists[sizeClass] = header;
  g_alloc.cachedBytes += sizeClass * kClassStep;
  // All but the link, which the leak checker follows only where it may read.
  XEV_POISON(&header->sizeClass, sizeof header->sizeClass + sizeClass * kClassStep);
}

// A large block, a full cache, or the first block a thread caches (or one
// freed after its drain ran): kept apart, so that the common case below
// needs no registers saved.
[[gnu::noinline]] void ReleaseUncommonBlock(void* block) {
  BlockHeader* header = HeaderOf(block);
  size_t sizeClass = header->sizeClass;
  if (sizeClass == 0 || g_alloc.cachedBytes + sizeClass * kClassStep > kMaxCachedBytes || g_alloc.threadEnded) {
    Expose(header, sizeClass);
    std::free(header);
    return;
  }
  ArmDrain();
  CacheBlock(block, sizeClass);
}

#ifdef XEV_ASAN
// Puts a freed small block in quarantine and gives back the one that waited
// longest, or nullptr while the quarantine fills.
void* Quarantined(void* block, size_t sizeClass) {
  if (g_alloc.threadEnded) return block;
  XEV_POISON(HeaderOf(block), sizeof(BlockHeader) + sizeClass * kClassStep);
  void*& slot = g_quarantine.blocks[g_quarantine.next++ % kQuarantinedBlocks];
  void* oldest = slot;
  slot = block;
  if (oldest == nullptr) {
    ArmDrain();  // the thread's end must find the quarantined blocks
    return nullptr;
  }
  XEV_UNPOISON(HeaderOf(oldest), sizeof(BlockHeader));
  return oldest;
}
#endif

inline void ReleaseBlock(void* block) {
  size_t sizeClass = HeaderOf(block)->sizeClass;
#ifdef XEV_ASAN
  if (sizeClass != 0) {
    block = Quarantined(block, sizeClass);
    if (block == nullptr) return;
    sizeClass = HeaderOf(block)->sizeClass;
  }
#endif
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
    header->size = size;
    FitToSize(header);
    if (size > oldSize) std::memset(static_cast<char*>(block) + oldSize, 0, size - oldSize);
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
  FitToSize(HeaderOf(moved));
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
