// The loader's read position in a stored block. Every read is checked against
// the block's length before a byte is touched; a read that does not lie within
// the block clears the success flag, after which the loader reads no further
// section.
#pragma once

#include <cstdint>
#include <cstring>

#include "persist/block_format.h"

namespace xev::persist {

// Whether something must still follow a piece. Headers, counts and item images
// are never the last bytes of a valid block; strings and formula records may be.
enum class Follow { kMore, kMayEnd };

class BlockCursor {
 public:
  BlockCursor(const unsigned char* block, int32_t length, int32_t start)
      : block_(block), length_(length), consumed_(start) {}

  bool Ok() const { return ok_; }
  void Fail() { ok_ = false; }
  int32_t Consumed() const { return consumed_; }
  int32_t Remaining() const { return length_ - consumed_; }
  bool AtEnd() const { return consumed_ >= length_; }
  const unsigned char* Here() const { return block_ + consumed_; }

  // True when at least two bytes remain and they hold marker; reads nothing else.
  bool AtMarker(uint16_t marker) const { return Remaining() >= 2 && GetU16(Here()) == marker; }

  // A fixed-size piece, or nullptr (success cleared) when it does not lie
  // within the block or, for kMore, would leave nothing after it.
  const unsigned char* Take(int32_t size, Follow follow) {
    int64_t end = static_cast<int64_t>(consumed_) + size;
    bool fits = follow == Follow::kMore ? end < length_ : end <= length_;
    if (size < 0 || !fits) {
      ok_ = false;
      return nullptr;
    }
    const unsigned char* at = Here();
    consumed_ = static_cast<int32_t>(end);
    return at;
  }

  // A section count, which something must follow; -1 (success cleared) when
  // it does not lie within the block or is negative: no writer stores a
  // negative count, so it is a count that wrapped past 16 bits or damage.
  int32_t TakeCount() {
    const unsigned char* at = Take(2, Follow::kMore);
    int32_t count = at == nullptr ? -1 : GetI16(at);
    if (count < 0) ok_ = false;
    return count;
  }

  // A zero-terminated string, or nullptr (success cleared) when its terminator
  // is not within the block. For kMore a string that ends the block is still
  // returned, with success cleared: it was read whole, but the block is short.
  const char* TakeString(Follow follow, int32_t* lengthOut = nullptr) {
    int32_t length = StringLengthAt(consumed_);
    if (length < 0) {
      ok_ = false;
      return nullptr;
    }
    const char* at = reinterpret_cast<const char*>(Here());
    consumed_ += length + 1;
    if (follow == Follow::kMore && consumed_ >= length_) ok_ = false;
    if (lengthOut != nullptr) *lengthOut = length;
    return at;
  }

  // Length of the string at offset, or -1 when its terminator lies beyond the
  // block.
  int32_t StringLengthAt(int32_t offset) const {
    if (offset < 0 || offset >= length_) return -1;
    const void* zero = std::memchr(block_ + offset, 0, static_cast<size_t>(length_ - offset));
    if (zero == nullptr) return -1;
    return static_cast<int32_t>(static_cast<const unsigned char*>(zero) - (block_ + offset));
  }

 private:
  const unsigned char* block_;
  int32_t length_;
  int32_t consumed_;
  bool ok_ = true;
};

}  // namespace xev::persist
