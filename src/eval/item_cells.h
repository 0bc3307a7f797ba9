// One cell per data item of a context, where a row call (XEVEvaluateExpressions)
// keeps the item's answer loaded for the arithmetic. Operators of a plan read
// an item's value straight from its cell, so a row's formulas share one copy
// of each answer instead of filling a slot of their own at every occurrence;
// a formula only tests, once per item, that the cell holds this call's answer.
//
// A cell is current while its tag is the call's tag. Each outermost row call
// takes a new tag, and a new one again whenever the context's generation
// moves during the call (items may then mean something else), so a cell
// never serves an answer from another call or another generation. Row calls
// nested in a callback leave the cells alone (they fill their own slots), so
// a cell the outer call has checked keeps its value until the outer formula
// has read it.
//
// Cells live in the host's cache blocks, which never move, until the
// context is destroyed: plans point into them. A context that has asked for
// very many stops getting new ones; its plans then fill slots as before.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "host/decimal.h"

namespace xev::eval {

struct ItemCell {
  host::decimal::Decimal value;  // the item's plain Number answer in the call the tag names
  uint64_t tag;                  // 0: never current
  const ExpItem* item;
  uint64_t seen;  // while a plan is made: listed already for this plan
  // The cell's bit in ItemCells::current; 0 for a cell made after the first 31.
  uint32_t bit;
};

// A bit no cell has, so never in ItemCells::current.
inline constexpr uint32_t kNeverCurrent = uint32_t{1} << 31;

class ItemCells {
 public:
  // ec's cells, made when first wanted; nullptr when memory is short.
  static ItemCells* Of(ExprContext* ec);
  static void Release(ExprContext* ec);

  // item's cell; nullptr when memory is short or the context has too many.
  ItemCell* CellOf(const ExpItem* item);

  // A stamp for ItemCell::seen, new for each plan being made.
  uint64_t NewStamp() { return ++stamps_; }

  // A tag no cell holds yet.
  uint64_t NewTag() {
    current = 0;
    return ++tags_;
  }

  // cell holds the answer for tag, the newest tag.
  void MarkCurrent(ItemCell& cell, uint64_t tag) {
    cell.tag = tag;
    current |= cell.bit;
  }

  // The bits of the cells that hold the newest tag (not all of them: cells
  // beyond the first 31 have no bit), so that a run of items can see at
  // once that all its cells are current.
  uint32_t current = 0;

  // Set while an outermost row call uses the cells.
  bool inUse = false;

 private:
  static constexpr uint32_t kCellsPerBlock = 64;
  static constexpr uint32_t kMostCells = 1u << 16;

  struct Block {
    ItemCell cells[kCellsPerBlock];
    Block* next;
  };

  ItemCells() = default;
  ~ItemCells();
  ItemCell* NewCell(const ExpItem* item);
  bool Grow();
  uint32_t Hash(const ExpItem* item) const {
    uint64_t key = reinterpret_cast<uintptr_t>(item) * 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(key >> 32) & mask_;
  }

  Block* blocks_ = nullptr;  // the newest first
  uint32_t usedInBlock_ = kCellsPerBlock;
  uint32_t count_ = 0;
  // item to cell, open addressing, never more than half full.
  ItemCell** index_ = nullptr;
  uint32_t mask_ = 0;
  uint64_t tags_ = 0;
  uint64_t stamps_ = 0;
};

}  // namespace xev::eval
