// Host memory blocks. Each block carries its usable size in a small header so
// that HostBlockSize and HostRealloc need no lookup. A failure can be injected
// at the n-th allocation so that tests reach every failure path.
#include <cstdlib>
#include <cstring>

#include "xev/xevhost.h"

namespace {

struct alignas(16) BlockHeader {
  size_t size;
  size_t reserved;
};

// Allocation bookkeeping, the only mutable state of this file.
struct AllocationState {
  int64_t count = 0;
  int64_t live = 0;
  int64_t failAt = 0;  // absolute allocation number that fails; 0 = none
};
AllocationState g_alloc;

bool NextAllocationFails() {
  ++g_alloc.count;
  return g_alloc.failAt != 0 && g_alloc.count == g_alloc.failAt;
}

BlockHeader* HeaderOf(const void* block) {
  return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(block))) - 1;
}

}  // namespace

extern "C" {

XEV_API void* XEV_CALL HostAlloc(size_t size) {
  if (NextAllocationFails() || size > (SIZE_MAX >> 2)) return nullptr;
  auto* header = static_cast<BlockHeader*>(std::calloc(1, sizeof(BlockHeader) + size));
  if (header == nullptr) return nullptr;
  header->size = size;
  ++g_alloc.live;
  return header + 1;
}

XEV_API void* XEV_CALL HostRealloc(void* block, size_t size) {
  if (block == nullptr) return HostAlloc(size);
  BlockHeader* old = HeaderOf(block);
  size_t oldSize = old->size;
  if (NextAllocationFails() || size > (SIZE_MAX >> 2)) return nullptr;
  auto* header = static_cast<BlockHeader*>(std::realloc(old, sizeof(BlockHeader) + size));
  if (header == nullptr) return nullptr;
  if (size > oldSize) std::memset(reinterpret_cast<char*>(header + 1) + oldSize, 0, size - oldSize);
  header->size = size;
  return header + 1;
}

XEV_API void XEV_CALL HostFree(void* block) {
  if (block == nullptr) return;
  --g_alloc.live;
  std::free(HeaderOf(block));
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
