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

// The records a section holds and its bytes, header included. Only slots that
// hold a record count: the engine's lists have no empty slots, but a load that
// stopped inside the data item section leaves one behind, and a block whose
// count includes it would not load again.
struct SectionSize {
  uint32_t records = 0;
  uint64_t bytes = 0;
};

uint32_t ItemRecordSize(const ExpItem* item) {
  return kItemImageSize + static_cast<uint32_t>(LengthOrZero(item->bindingName)) + 1;
}

uint32_t ExpressionRecordSize(const ExprRecord* record) {
  return static_cast<uint32_t>(LengthOrZero(record->text) + LengthOrZero(record->name)) + 2;
}

const ExpItem* ItemAt(HGLOBAL list, uint32_t i) {
  auto* slot = static_cast<ExpItem**>(core::HandleArrayLockElement(list, static_cast<int32_t>(i)));
  const ExpItem* item = *slot;
  core::HandleArrayUnlock(list);
  return item;
}

const ExprRecord* ExpressionAt(HGLOBAL list, uint32_t i) {
  auto* slot = static_cast<ExprRecord**>(core::HandleArrayLockElement(list, static_cast<int32_t>(i)));
  const ExprRecord* record = *slot;
  core::HandleArrayUnlock(list);
  return record;
}

SectionSize DataItemSectionSize(HGLOBAL list) {
  SectionSize size;
  if (list == nullptr) return size;
  // Counted even when the list is empty, although the writer then writes no
  // section; hosts compare the written length against this size.
  size.bytes = kSectionHeaderSize;
  uint32_t count = core::HandleArrayCount(list);
  for (uint32_t i = 0; i < count; ++i) {
    const ExpItem* item = ItemAt(list, i);
    if (item == nullptr) continue;
    ++size.records;
    size.bytes += ItemRecordSize(item);
  }
  return size;
}

SectionSize ExpressionSectionSize(HGLOBAL list) {
  SectionSize size;
  if (list == nullptr) return size;
  size.bytes = kSectionHeaderSize;
  uint32_t count = core::HandleArrayCount(list);
  for (uint32_t i = 0; i < count; ++i) {
    const ExprRecord* record = ExpressionAt(list, i);
    if (record == nullptr) continue;
    ++size.records;
    size.bytes += ExpressionRecordSize(record);
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

  // A section whose count the format cannot hold: the block would load with
  // records missing, so none is handed out.
  void Refuse() { refused_ = overflow_ = true; }

  bool Overflowed() const { return overflow_; }
  int32_t Total() const { return refused_ ? 0 : static_cast<int32_t>(total_); }

 private:
  unsigned char* buffer_;
  int32_t size_;
  uint32_t total_ = 1;  // the version byte
  bool overflow_ = false;
  bool refused_ = false;
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
  uint32_t records = DataItemSectionSize(list).records;
  if (records == 0) return;
  if (records > kMaxSectionRecords) {
    out.Refuse();
    return;
  }
  unsigned char* header = out.Reserve(kSectionHeaderSize);
  if (header == nullptr) return;
  PutSectionHeader(header, kDataItemMarker, records);
  uint32_t count = core::HandleArrayCount(list);
  for (uint32_t i = 0; i < count; ++i) {
    const ExpItem* item = ItemAt(list, i);
    if (item == nullptr) continue;
    unsigned char* at = out.Reserve(ItemRecordSize(item));
    if (at == nullptr) continue;
    PutItemImage(at, item);
    PutString(at + kItemImageSize, item->bindingName);
  }
}

// A buffer sized without the formulas has no room for their section, so too
// many formulas only matter once the section header fits.
void WriteExpressions(PieceWriter& out, HGLOBAL list) {
  uint32_t records = ExpressionSectionSize(list).records;
  unsigned char* header = out.Reserve(kSectionHeaderSize);
  if (header == nullptr) return;
  if (records > kMaxSectionRecords) {
    out.Refuse();
    return;
  }
  PutSectionHeader(header, kExpressionMarker, records);
  uint32_t count = core::HandleArrayCount(list);
  for (uint32_t i = 0; i < count && !out.Overflowed(); ++i) {
    const ExprRecord* record = ExpressionAt(list, i);
    if (record == nullptr) continue;
    unsigned char* at = out.Reserve(ExpressionRecordSize(record));
    if (at != nullptr) PutString(PutString(at, record->text), record->name);
  }
}

}  // namespace
}  // namespace xev::persist

using namespace xev::persist;

// 0, which no block can measure, when the context holds more records than a
// section can count or more bytes than a host can pass back to the loader.
extern "C" XEV_API uint32_t XEV_CALL XEVGetECBlockSize(ExprContext* ec, int32_t includeExpressions) {
  if (ec == nullptr) return 1;
  SectionSize items = DataItemSectionSize(ec->dataItems);
  SectionSize expressions = includeExpressions != 0 ? ExpressionSectionSize(ec->expressions) : SectionSize{};
  if (items.records > kMaxSectionRecords || expressions.records > kMaxSectionRecords) return 0;
  uint64_t size = 1 + OperatorNamesSize(ec) + items.bytes + expressions.bytes;
  return size > kMaxBlockSize ? 0 : static_cast<uint32_t>(size);
}

extern "C" XEV_API int32_t XEV_CALL XEVGetECBlock(ExprContext* ec, int32_t size, void* buffer) {
  // A size of 0 is what the size query gives for a context it cannot store;
  // a host that allocates that much must not have a byte written past it.
  if (buffer == nullptr || size < 1) return 0;
  auto* bytes = static_cast<unsigned char*>(buffer);
  bytes[0] = kCurrentVersion;
  if (ec == nullptr) return 1;

  PieceWriter out(bytes, size);
  WriteOperatorNames(out, ec);
  if (ec->dataItems != nullptr && !out.Overflowed()) WriteDataItems(out, ec->dataItems);
  if (ec->expressions != nullptr && !out.Overflowed()) WriteExpressions(out, ec->expressions);
  return out.Total();
}
