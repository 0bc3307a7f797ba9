// Growable arrays held in one movable memory block: a header (element size,
// count) followed by the elements. Every operation that resizes returns the
// handle to keep from then on. The engine's lists hold pointer-sized slots.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace xev::core {

using platform::HGLOBAL;

constexpr int32_t kSlotSize = static_cast<int32_t>(sizeof(void*));

// A list with count zero-filled elements, or nullptr for an element size below
// 1, a negative count or no memory.
HGLOBAL HandleArrayCreate(int32_t elementSize, int32_t count);
// Count in the high 16 bits, element size in the low 16 bits.
uint32_t HandleArraySizeInfo(HGLOBAL array);
// Address of element index, leaving the block locked (pair with Unlock); for an
// index outside 0..count-1 the block is left unlocked and nullptr returned.
void* HandleArrayLockElement(HGLOBAL array, int32_t index);
void HandleArrayUnlock(HGLOBAL array);
// The first element and the count in one lock: nullptr, left unlocked, for a
// missing or empty list.
void* HandleArrayLockAll(HGLOBAL array, uint32_t* count);
// Grows by one zero element; nullptr leaves the list as it was.
HGLOBAL HandleArrayAppend(HGLOBAL array);
// Removes element index (out of range: the last one) and shrinks the block.
HGLOBAL HandleArrayDelete(HGLOBAL array, int32_t index);
void HandleArrayFree(HGLOBAL array);

// The full 32-bit count (SizeInfo keeps only its low 16 bits); 0 for nullptr.
uint32_t HandleArrayCount(HGLOBAL array);

}  // namespace xev::core
