// Movable memory handles over host blocks. A handle is a small fixed record
// that points at the movable data, so a resize keeps the handle; callers still
// store back whatever GlobalReAlloc returns, as they must on any platform.
#include "platform/platform.h"

namespace xev::platform {

struct GlobalBlock {
  void* data;
  size_t size;
  int32_t locks;
};

HGLOBAL GlobalAlloc(uint32_t /*flags*/, size_t bytes) {
  auto* handle = static_cast<GlobalBlock*>(HostAlloc(sizeof(GlobalBlock)));
  if (handle == nullptr) return nullptr;
  handle->data = HostAlloc(bytes == 0 ? 1 : bytes);
  if (handle->data == nullptr) {
    HostFree(handle);
    return nullptr;
  }
  handle->size = bytes;
  return handle;
}

HGLOBAL GlobalReAlloc(HGLOBAL handle, size_t bytes, uint32_t /*flags*/) {
  if (handle == nullptr) return nullptr;
  void* data = HostRealloc(handle->data, bytes == 0 ? 1 : bytes);
  if (data == nullptr) return nullptr;
  // HostRealloc clears what grows past the host block's old size, which is
  // the handle's size but for an empty handle: its host block keeps one byte.
  if (handle->size == 0 && bytes > 0) static_cast<char*>(data)[0] = 0;
  handle->data = data;
  handle->size = bytes;
  return handle;
}

void* GlobalLock(HGLOBAL handle) {
  if (handle == nullptr) return nullptr;
  ++handle->locks;
  return handle->data;
}

int32_t GlobalUnlock(HGLOBAL handle) {
  if (handle == nullptr || handle->locks == 0) return 0;
  return --handle->locks;
}

size_t GlobalSize(HGLOBAL handle) { return handle == nullptr ? 0 : handle->size; }

HGLOBAL GlobalFree(HGLOBAL handle) {
  if (handle == nullptr) return nullptr;
  HostFree(handle->data);
  HostFree(handle);
  return nullptr;
}

}  // namespace xev::platform
