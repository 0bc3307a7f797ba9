// Handle arrays: header and elements in one movable block.
#include "core/handle_array.h"

#include <cstring>

namespace xev::core {

using namespace xev::platform;

namespace {

struct ArrayHeader {
  uint32_t elementSize;
  uint32_t count;
};

constexpr size_t kHeaderSize = sizeof(ArrayHeader);

char* ElementsOf(ArrayHeader* header) { return reinterpret_cast<char*>(header + 1); }

}  // namespace

HGLOBAL HandleArrayCreate(int32_t elementSize, int32_t count) {
  if (elementSize < 1 || count < 0) return nullptr;
  size_t bytes = kHeaderSize + static_cast<size_t>(elementSize) * static_cast<size_t>(count);
  HGLOBAL array = GlobalAlloc(GHND, bytes);
  if (array == nullptr) return nullptr;
  auto* header = static_cast<ArrayHeader*>(GlobalLock(array));
  header->elementSize = static_cast<uint32_t>(elementSize);
  header->count = static_cast<uint32_t>(count);
  GlobalUnlock(array);
  return array;
}

uint32_t HandleArraySizeInfo(HGLOBAL array) {
  if (array == nullptr) return 0;
  auto* header = static_cast<ArrayHeader*>(GlobalLock(array));
  uint32_t info = ((header->count & 0xFFFFu) << 16) | (header->elementSize & 0xFFFFu);
  GlobalUnlock(array);
  return info;
}

uint32_t HandleArrayCount(HGLOBAL array) {
  if (array == nullptr) return 0;
  auto* header = static_cast<ArrayHeader*>(GlobalLock(array));
  uint32_t count = header->count;
  GlobalUnlock(array);
  return count;
}

void* HandleArrayLockElement(HGLOBAL array, int32_t index) {
  if (array == nullptr) return nullptr;
  auto* header = static_cast<ArrayHeader*>(GlobalLock(array));
  if (index < 0 || static_cast<uint32_t>(index) >= header->count) {
    GlobalUnlock(array);
    return nullptr;
  }
  return ElementsOf(header) + static_cast<size_t>(index) * header->elementSize;
}

void* HandleArrayLockAll(HGLOBAL array, uint32_t* count) {
  *count = 0;
  if (array == nullptr) return nullptr;
  auto* header = static_cast<ArrayHeader*>(GlobalLock(array));
  if (header->count == 0) {
    GlobalUnlock(array);
    return nullptr;
  }
  *count = header->count;
  return ElementsOf(header);
}

void HandleArrayUnlock(HGLOBAL array) { GlobalUnlock(array); }

HGLOBAL HandleArrayAppend(HGLOBAL array) {
  if (array == nullptr) return nullptr;
  // The count goes up before the block grows, so that one lock serves the
  // common case; a refused growth takes it back.
  auto* header = static_cast<ArrayHeader*>(GlobalLock(array));
  const uint32_t elementSize = header->elementSize;
  const size_t used = kHeaderSize + static_cast<size_t>(header->count) * elementSize;
  ++header->count;
  GlobalUnlock(array);
  const size_t size = GlobalSize(array);
  HGLOBAL grown = GlobalReAlloc(array, size + elementSize, GHND);
  if (grown == nullptr) {
    header = static_cast<ArrayHeader*>(GlobalLock(array));
    --header->count;
    GlobalUnlock(array);
    return nullptr;
  }
  // The growth comes zero-filled. Only a list whose shrink was refused has
  // room past its elements, where a removed element's bytes remain.
  if (used < size) {
    std::memset(static_cast<char*>(GlobalLock(grown)) + used, 0, elementSize);
    GlobalUnlock(grown);
  }
  return grown;
}

HGLOBAL HandleArrayDelete(HGLOBAL array, int32_t index) {
  if (array == nullptr) return nullptr;
  auto* header = static_cast<ArrayHeader*>(GlobalLock(array));
  if (header->count == 0) {  // nothing to remove; the list stays as it is
    GlobalUnlock(array);
    return array;
  }
  uint32_t oldCount = header->count;
  if (index < 0 || static_cast<uint32_t>(index) > oldCount - 1) index = static_cast<int32_t>(oldCount - 1);
  uint32_t newCount = oldCount - 1;
  header->count = newCount;
  size_t elementSize = header->elementSize;
  if (static_cast<uint32_t>(index) < newCount) {
    char* elements = ElementsOf(header);
    std::memmove(elements + index * elementSize, elements + (index + 1) * elementSize,
                 (oldCount - 1 - static_cast<uint32_t>(index)) * elementSize);
  }
  GlobalUnlock(array);
  HGLOBAL shrunk = GlobalReAlloc(array, kHeaderSize + newCount * elementSize, GHND);
  // Shrinking cannot lose data; should the allocator refuse, the larger block
  // still holds the list correctly.
  return shrunk != nullptr ? shrunk : array;
}

void HandleArrayFree(HGLOBAL array) { GlobalFree(array); }

}  // namespace xev::core
