// Memory entry points for blocks that cross the API: the host allocates with
// them what the engine will keep or grow, and frees with them what the engine
// hands back.
#include "xev/xev.h"

extern "C" {

XEV_API void* XEV_CALL XEVMemAlloc(uint32_t size) { return HostAlloc(size); }

// Unlike HostRealloc, a null block is not an allocation request: a host that
// lost its block must not get a fresh one by accident.
XEV_API void* XEV_CALL XEVMemRealloc(void* block, uint32_t size) {
  if (block == nullptr) return nullptr;
  return HostRealloc(block, size);
}

XEV_API void XEV_CALL XEVMemFree(void* block) {
  if (block != nullptr) HostFree(block);
}

XEV_API uint32_t XEV_CALL XEVMemSize(void* block) {
  if (block == nullptr) return 0;
  return static_cast<uint32_t>(HostBlockSize(block));
}

}  // extern "C"
