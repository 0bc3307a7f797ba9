#include "eval/item_cells.h"

#include <new>

#include "host/host.h"

namespace xev::eval {

ItemCells* ItemCells::Of(ExprContext* ec) {
  if (ec->itemCells != nullptr) return static_cast<ItemCells*>(ec->itemCells);
  void* memory = host::AllocateCacheBlock(sizeof(ItemCells));
  if (memory == nullptr) return nullptr;
  auto* cells = new (memory) ItemCells();
  ec->itemCells = cells;
  return cells;
}

void ItemCells::Release(ExprContext* ec) {
  auto* cells = static_cast<ItemCells*>(ec->itemCells);
  if (cells == nullptr) return;
  cells->~ItemCells();
  host::FreeCacheBlock(cells);
  ec->itemCells = nullptr;
}

ItemCells::~ItemCells() {
  while (blocks_ != nullptr) {
    Block* next = blocks_->next;
    host::FreeCacheBlock(blocks_);
    blocks_ = next;
  }
  host::FreeCacheBlock(index_);
}

bool ItemCells::Grow() {
  uint32_t capacity = mask_ == 0 ? 16 : (mask_ + 1) * 2;
  auto* grown = static_cast<ItemCell**>(host::AllocateCacheBlock(capacity * sizeof(ItemCell*)));
  if (grown == nullptr) return false;
  ItemCell** old = index_;
  uint32_t oldCapacity = mask_ == 0 ? 0 : mask_ + 1;
  index_ = grown;
  mask_ = capacity - 1;
  for (uint32_t i = 0; i < oldCapacity; ++i) {
    if (old[i] == nullptr) continue;
    uint32_t at = Hash(old[i]->item);
    while (grown[at] != nullptr) at = (at + 1) & mask_;
    grown[at] = old[i];
  }
  host::FreeCacheBlock(old);
  return true;
}

ItemCell* ItemCells::NewCell(const ExpItem* item) {
  if (usedInBlock_ == kCellsPerBlock) {
    auto* block = static_cast<Block*>(host::AllocateCacheBlock(sizeof(Block)));
    if (block == nullptr) return nullptr;
    block->next = blocks_;
    blocks_ = block;
    usedInBlock_ = 0;
  }
  ItemCell* cell = &blocks_->cells[usedInBlock_++];
  *cell = ItemCell{};
  cell->item = item;
  if (count_ < 31) cell->bit = uint32_t{1} << count_;
  ++count_;
  return cell;
}

ItemCell* ItemCells::CellOf(const ExpItem* item) {
  if (index_ != nullptr) {
    for (uint32_t at = Hash(item); index_[at] != nullptr; at = (at + 1) & mask_) {
      if (index_[at]->item == item) return index_[at];
    }
  }
  if (count_ == kMostCells) return nullptr;
  if ((count_ + 1) * 2 > mask_ + 1 && !Grow()) return nullptr;
  ItemCell* cell = NewCell(item);
  if (cell == nullptr) return nullptr;
  uint32_t at = Hash(item);
  while (index_[at] != nullptr) at = (at + 1) & mask_;
  index_[at] = cell;
  return cell;
}

}  // namespace xev::eval
