#include "core/item_index.h"

#include <cstring>

#include "core/item_store.h"
#include "core/name_hash.h"

namespace xev::core {

namespace {

using namespace item_index;

constexpr uint32_t kFirstSlots = 16;

size_t BlockBytes(uint32_t slotCount) {
  return offsetof(IndexBlock, slots) + sizeof(ExpItem*) * kListKinds * static_cast<size_t>(slotCount);
}

IndexBlock* BlockOf(const ExprContext* ec) { return static_cast<IndexBlock*>(ec->itemIndex); }

HGLOBAL ListOf(const ExprContext* ec, uint32_t kind) { return kind == kData ? ec->dataItems : ec->functionItems; }

void Insert(ExpItem** table, uint32_t mask, ExpItem* item, size_t length) {
  if (length == kNameField) return;  // unterminated: no lookup could match it
  for (uint32_t slot = HashNameBytes(item->name, length) & mask;; slot = (slot + 1) & mask) {
    if (table[slot] == nullptr) {
      table[slot] = item;
      return;
    }
    if (NameIs(table[slot], item->name, length)) return;  // a later item of a name already held
  }
}

bool Rebuild(ExprContext* ec) {
  IndexBlock* block = BlockOf(ec);
  block->valid = 0;
  uint32_t most = 0;
  for (uint32_t kind = 0; kind < kListKinds; ++kind) {
    uint32_t count = HandleArrayCount(ListOf(ec, kind));
    if (count > most) most = count;
  }
  uint32_t slotCount = block->slotCount;
  while (static_cast<uint64_t>(most) * 2 > slotCount) slotCount *= 2;
  if (slotCount != block->slotCount) {
    auto* grown = static_cast<IndexBlock*>(HostRealloc(block, BlockBytes(slotCount)));
    if (grown == nullptr) return false;
    ec->itemIndex = block = grown;
    block->slotCount = slotCount;
  }
  std::memset(block->slots, 0, sizeof(ExpItem*) * kListKinds * slotCount);
  block->functionNameEndsInDigit = 0;
  block->keywordTypedDataNameEndsInDigit = 0;
  for (uint32_t kind = 0; kind < kListKinds; ++kind) {
    ExpItem** table = block->slots + kind * slotCount;
    HGLOBAL list = ListOf(ec, kind);
    block->lists[kind] = list;
    LockedItems items(list);
    // A load that stopped inside the data item section leaves its last slot empty.
    for (ExpItem* item : items) {
      if (item == nullptr) continue;
      // An unterminated name field matches names that end with its last byte.
      const size_t length = strnlen(item->name, kNameField);
      Insert(table, slotCount - 1, item, length);
      const char last = length > 0 ? item->name[length - 1] : '\0';
      if (last < '0' || last > '9') continue;
      if (kind == kFunctions) block->functionNameEndsInDigit = 1;
      if (kind == kData && static_cast<int16_t>(item->dataType) > 255) block->keywordTypedDataNameEndsInDigit = 1;
    }
  }
  block->generation = ec->generation;
  block->valid = 1;
  return true;
}

}  // namespace

ExpItem* item_index::FindOutOfDate(ExprContext* ec, uint32_t kind, const char* name) {
  IndexBlock* block = BlockOf(ec);
  if (block == nullptr || (!IsCurrent(ec, block) && !Rebuild(ec))) return FindItem(ListOf(ec, kind), name);
  return Find(ec, kind, name);
}

namespace {

// The index laid out for the lists as they are now, or nullptr.
IndexBlock* CurrentBlock(ExprContext* ec) {
  IndexBlock* block = BlockOf(ec);
  if (block == nullptr || (!IsCurrent(ec, block) && !Rebuild(ec))) return nullptr;
  return BlockOf(ec);
}

}  // namespace

const IndexBlock* item_index::CurrentIndex(ExprContext* ec) { return ec == nullptr ? nullptr : CurrentBlock(ec); }

bool FunctionNameMayEndInDigit(ExprContext* ec) {
  const IndexBlock* block = CurrentBlock(ec);
  return block == nullptr || block->functionNameEndsInDigit != 0;
}

bool KeywordTypedDataNameMayEndInDigit(ExprContext* ec) {
  const IndexBlock* block = CurrentBlock(ec);
  return block == nullptr || block->keywordTypedDataNameEndsInDigit != 0;
}

void ItemIndexCreate(ExprContext* ec) {
  auto* block = static_cast<IndexBlock*>(HostAlloc(BlockBytes(kFirstSlots)));
  if (block == nullptr) return;
  block->slotCount = kFirstSlots;
  block->valid = 0;
  ec->itemIndex = block;
}

void ItemIndexRelease(ExprContext* ec) {
  HostFree(ec->itemIndex);
  ec->itemIndex = nullptr;
}


void NoteExpressionChange(ExprContext* ec) {
  if (ec == nullptr) return;
  IndexBlock* block = BlockOf(ec);
  const bool current = block != nullptr && IsCurrent(ec, block);
  NoteContextChange(ec);
  if (current) block->generation = ec->generation;
}

}  // namespace xev::core
