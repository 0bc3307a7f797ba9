// The byte layout of the stored context block, shared by the writer and the
// loader. The block is little-endian and unpadded on every platform, so both
// sides go through these offsets and helpers and never copy a struct.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/core.h"
#include "xev/xev.h"

namespace xev::persist {

constexpr uint8_t kCurrentVersion = 3;
constexpr int32_t kOperatorNameCount = kOperatorCount * kOperatorSlots;  // 20

constexpr uint16_t kDataItemMarker = 0x00FA;
constexpr uint16_t kFunctionItemMarker = 0x00FB;  // old blocks only
constexpr uint16_t kExpressionMarker = 0x00FC;
constexpr int32_t kSectionHeaderSize = 4;         // marker + 16-bit count
// Loaders read a section's count as a signed 16-bit number, so a section holds
// at most this many records; a larger context cannot be stored.
constexpr uint32_t kMaxSectionRecords = 32767;
// The host passes a block's length as a signed 32-bit number.
constexpr uint64_t kMaxBlockSize = 0x7FFFFFFF;

// The item image as a 32-bit build lays out the fixed part of its item record.
constexpr int32_t kItemImageSize = 85;
constexpr int32_t kImageKind = 0;
constexpr int32_t kImageDataType = 2;
constexpr int32_t kImageBindingName = 4;  // a pointer there; always zero here
constexpr int32_t kImageBoundValue = 8;   // likewise
constexpr int32_t kImageName = 12;
constexpr int32_t kImageNameSize = 65;
constexpr int32_t kImageParamCount = 77;
constexpr int32_t kImageSubclass = 79;
constexpr int32_t kImageSubclass2 = 81;
constexpr int32_t kImageFlags = 83;

// The narrower images of the two oldest versions: a 40-byte name field and the
// short fields packed after it.
constexpr int32_t kOldImageSizeV0 = 54;
constexpr int32_t kOldImageSizeV1 = 60;
constexpr int32_t kOldImageName = 12;
constexpr int32_t kOldImageNameSize = 40;
constexpr int32_t kOldImageParamCount = 52;
constexpr int32_t kOldImageSubclass = 54;
constexpr int32_t kOldImageSubclass2 = 56;
constexpr int32_t kOldImageFlags = 58;
constexpr int32_t kOldParamEntrySize = 6;

static_assert(kImageName + kImageNameSize == kImageParamCount, "name field runs up to the short fields");
static_assert(sizeof(ExpItem::name) == kImageNameSize, "the record's name field matches the image");

inline void PutU16(unsigned char* at, uint16_t value) {
  at[0] = static_cast<unsigned char>(value & 0xFF);
  at[1] = static_cast<unsigned char>(value >> 8);
}

inline uint16_t GetU16(const unsigned char* at) {
  return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

inline int16_t GetI16(const unsigned char* at) { return static_cast<int16_t>(GetU16(at)); }

}  // namespace xev::persist
