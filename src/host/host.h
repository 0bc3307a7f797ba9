// What the host runtime offers the engine beyond the public xevhost.h: exact
// access to NumberValue coefficients for the calendar and the formatters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "xev/xevhost.h"
#include "host/wide_int.h"

namespace xev::host {

// value = coefficient * 10^exponent, rounded to the NumberValue precision
// (half away from zero). Returns false (dst NULL) when it leaves the range.
bool NumberFromParts(NumberValue* dst, int128 coefficient, int32_t exponent);
// The value as coefficient * 10^exponent with no trailing zero digits in the
// coefficient (zero is 0 * 10^0). Returns false for NULL.
bool NumberToParts(const NumberValue* n, int128* coefficient, int32_t* exponent);

// Blocks of the same kind as HostAlloc's (HostBlockSize, HostRealloc work on
// them) for what the engine keeps between calls as a cache: they are not
// counted among the live blocks or the allocations and never fail on purpose,
// so that a cache never changes what the allocation checks see. nullptr when
// memory is short.
void* AllocateCacheBlock(size_t size);
void FreeCacheBlock(void* block);

// Blocks of up to this many bytes are recycled through per-thread free lists
// (each size class its own); larger ones come from the C runtime each time.
inline constexpr size_t kLargestRecycledBlock = 1024;

// HostAlloc without the zero-filling, for blocks whose every byte is written
// before it is read (a parse's node blocks): counted, failing on purpose and
// freed with HostFree like any other. What it holds is what its last user
// left there.
void* AllocateUnclearedBlock(size_t size);

// Makes room for one more element in an array of host memory that grows by
// doubling from eight; false (the array as it was) when memory is short.
template <typename T>
bool RoomForOneMore(T*& items, uint32_t count, uint32_t& capacity) {
  if (count < capacity) return true;
  const uint32_t grownCapacity = capacity == 0 ? 8 : capacity * 2;
  auto* grown = static_cast<T*>(HostRealloc(items, sizeof(T) * grownCapacity));
  if (grown == nullptr) return false;
  items = grown;
  capacity = grownCapacity;
  return true;
}

}  // namespace xev::host
