// Writes a context as a version 3 block: the operator callback names, the data
// items and the formulas (text and name only). Everything else of a context is
// set again by the host before it loads a block, so it is not stored.
#include <cstring>

#include "core/core.h"
#include "core/handle_array.h"
#include "persist/block_format.h"
#include "xev/xev.h"

namespace xev::persist {
namespace {

using core::HGLOBAL;

int32_t LengthOrZero(const char* s) { return s == nullptr ? 0 : HostStrLen(s); }

// Sum of (name length + 1) over the 20 operator callback name slots.
uint32_t OperatorNamesSize(const ExprContext* ec) {
  uint32_t size = 0;
  for (const OperatorEntry& op : ec->operators)
    for (const char* name : op.names) size += static_cast<uint32_t>(LengthOrZero(name)) + 1;
  return size;
}

uint32_t DataItemSectionSize(HGLOBAL list) {
  if (list == nullptr) return 0;
  // Counted even when the list is empty, although the writer then writes no
  // section; hosts compare the written length against this size.
  uint32_t count = core::HandleArrayCount(list);
  uint32_t size = kSectionHeaderSize + count * kItemImageSize;
  for (uint32_t i = 0; i < count; ++i) {
    auto* slot = static_cast<ExpItem**>(core::HandleArrayLockElement(list, static_cast<int32_t>(i)));
    const ExpItem* item = *slot;
    core::HandleArrayUnlock(list);
    if (item != nullptr) size += static_cast<uint32_t>(LengthOrZero(item->bindingName)) + 1;
  }
  return size;
}

uint32_t ExpressionRecordSize(const ExprRecord* record) {
  return static_cast<uint32_t>(LengthOrZero(record->text) + LengthOrZero(record->name)) + 2;
}

uint32_t ExpressionSectionSize(HGLOBAL list) {
  if (list == nullptr) return 0;
  uint32_t count = core::HandleArrayCount(list);
  uint32_t size = kSectionHeaderSize;
  for (uint32_t i = 0; i < count; ++i) {
    auto* slot = static_cast<ExprRecord**>(core::HandleArrayLockElement(list, static_cast<int32_t>(i)));
    const ExprRecord* record = *slot;
    core::HandleArrayUnlock(list);
    if (record != nullptr) size += ExpressionRecordSize(record);
  }
  return size;
}

// The cursor of the writer: a piece is written whole or not at all, and one
// that does not fit raises the overflow flag but leaves the total unchanged.
class PieceWriter {
 public:
  PieceWriter(unsigned char* buffer, int32_t size) : buffer_(buffer), size_(size) {}

  bool Fits(uint32_t pieceSize) const {
    return static_cast<int64_t>(total_) + pieceSize <= static_cast<int64_t>(size_);
  }

  // Reserves a piece and returns where it goes, or nullptr (and overflow).
  unsigned char* Reserve(uint32_t pieceSize) {
    if (!Fits(pieceSize)) {
      overflow_ = true;
      return nullptr;
    }
    unsigned char* at = buffer_ + total_;
    total_ += pieceSize;
    return at;
  }

  bool Overflowed() const { return overflow_; }
  int32_t Total() const { return static_cast<int32_t>(total_); }

 private:
  unsigned char* buffer_;
  int32_t size_;
  uint32_t total_ = 1;  // the version byte
  bool overflow_ = false;
};

// Copies s and its terminator (the empty string for null); returns the end.
unsigned char* PutString(unsigned char* at, const char* s) {
  int32_t length = LengthOrZero(s);
  if (length > 0) std::memcpy(at, s, static_cast<size_t>(length));
  at[length] = 0;
  return at + length + 1;
}

void WriteOperatorNames(PieceWriter& out, const ExprContext* ec) {
  for (const OperatorEntry& op : ec->operators) {
    for (const char* name : op.names) {
      unsigned char* at = out.Reserve(static_cast<uint32_t>(LengthOrZero(name)) + 1);
      if (at != nullptr) PutString(at, name);
    }
  }
}

void PutSectionHeader(unsigned char* at, uint16_t marker, uint32_t count) {
  PutU16(at, marker);
  PutU16(at + 2, static_cast<uint16_t>(count & 0xFFFF));
}

// The 85-byte image of a 32-bit item record, with both pointer fields zero:
// addresses mean nothing to the process that loads the block.
void PutItemImage(unsigned char* at, const ExpItem* item) {
  std::memset(at, 0, kItemImageSize);
  PutU16(at + kImageKind, static_cast<uint16_t>(item->kind));
  PutU16(at + kImageDataType, static_cast<uint16_t>(item->dataType));
  std::memcpy(at + kImageName, item->name, kImageNameSize);
  PutU16(at + kImageParamCount, static_cast<uint16_t>(item->paramCount));
  PutU16(at + kImageSubclass, static_cast<uint16_t>(item->subclass));
  PutU16(at + kImageSubclass2, static_cast<uint16_t>(item->subclass2));
  PutU16(at + kImageFlags, item->flags);
}

void WriteDataItems(PieceWriter& out, HGLOBAL list) {
  uint32_t count = core::HandleArrayCount(list);
  if (count == 0) return;
  unsigned char* header = out.Reserve(kSectionHeaderSize);
  if (header == nullptr) return;
  PutSectionHeader(header, kDataItemMarker, count);
  for (uint32_t i = 0; i < count; ++i) {
    auto* slot = static_cast<ExpItem**>(core::HandleArrayLockElement(list, static_cast<int32_t>(i)));
    const ExpItem* item = *slot;
    if (item != nullptr) {
      uint32_t pieceSize = kItemImageSize + static_cast<uint32_t>(LengthOrZero(item->bindingName)) + 1;
      unsigned char* at = out.Reserve(pieceSize);
      if (at != nullptr) {
        PutItemImage(at, item);
        PutString(at + kItemImageSize, item->bindingName);
      }
    }
    core::HandleArrayUnlock(list);
  }
}

void WriteExpressions(PieceWriter& out, HGLOBAL list) {
  uint32_t count = core::HandleArrayCount(list);
  unsigned char* header = out.Reserve(kSectionHeaderSize);
  if (header == nullptr) return;
  PutSectionHeader(header, kExpressionMarker, count);
  for (uint32_t i = 0; i < count && !out.Overflowed(); ++i) {
    auto* slot = static_cast<ExprRecord**>(core::HandleArrayLockElement(list, static_cast<int32_t>(i)));
    const ExprRecord* record = *slot;
    if (record != nullptr) {
      unsigned char* at = out.Reserve(ExpressionRecordSize(record));
      if (at != nullptr) PutString(PutString(at, record->text), record->name);
    }
    core::HandleArrayUnlock(list);
  }
}

}  // namespace
}  // namespace xev::persist

using namespace xev::persist;

extern "C" XEV_API uint32_t XEV_CALL XEVGetECBlockSize(ExprContext* ec, int32_t includeExpressions) {
  if (ec == nullptr) return 1;
  uint32_t size = 1 + OperatorNamesSize(ec) + DataItemSectionSize(ec->dataItems);
  if (includeExpressions != 0) size += ExpressionSectionSize(ec->expressions);
  return size;
}

extern "C" XEV_API int32_t XEV_CALL XEVGetECBlock(ExprContext* ec, int32_t size, void* buffer) {
  if (buffer == nullptr) return 0;
  auto* bytes = static_cast<unsigned char*>(buffer);
  bytes[0] = kCurrentVersion;
  if (ec == nullptr) return 1;

  PieceWriter out(bytes, size);
  WriteOperatorNames(out, ec);
  if (ec->dataItems != nullptr && !out.Overflowed()) WriteDataItems(out, ec->dataItems);
  if (ec->expressions != nullptr && !out.Overflowed()) WriteExpressions(out, ec->expressions);
  return out.Total();
}
