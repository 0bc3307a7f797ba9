#include "core/formula_index.h"

#include <cstring>

#include "core/expressions.h"
#include "core/name_hash.h"

namespace xev::core {

namespace {

// slots hold ordinal + 1, 0 meaning empty; open addressing with linear probes,
// at most half full.
struct IndexBlock {
  uint32_t slotCount;  // a power of two
  uint32_t count;      // expressions indexed
  uint32_t valid;
  uint32_t duplicates;  // some indexed name is held by more than one expression
  int32_t slots[1];
};

// Room for fifteen formulas, as many as a typical report holds, before the first growth
// makes the table be laid out again.
constexpr uint32_t kMinimumSlots = 32;

size_t BlockBytes(uint32_t slotCount) {
  return offsetof(IndexBlock, slots) + sizeof(int32_t) * static_cast<size_t>(slotCount);
}

IndexBlock* BlockOf(const ExprContext* ec) { return static_cast<IndexBlock*>(ec->formulaIndex); }

uint32_t HashName(const char* name) { return HashNameBytes(name, std::strlen(name)); }

// Keeps the first ordinal of equal names, as a scan of the list would find.
void Insert(IndexBlock* block, const LockedExpressions& expressions, uint32_t ordinal) {
  const char* name = expressions[ordinal]->name;
  if (name == nullptr) return;
  uint32_t mask = block->slotCount - 1;
  for (uint32_t slot = HashName(name) & mask;; slot = (slot + 1) & mask) {
    int32_t held = block->slots[slot];
    if (held == 0) {
      block->slots[slot] = static_cast<int32_t>(ordinal + 1);
      return;
    }
    if (SameName(expressions[static_cast<uint32_t>(held - 1)]->name, name)) {
      block->duplicates = 1;
      return;
    }
  }
}

bool Rebuild(IndexBlock* block, const LockedExpressions& expressions) {
  if (static_cast<uint64_t>(expressions.count()) * 2 > block->slotCount) return false;
  std::memset(block->slots, 0, sizeof(int32_t) * block->slotCount);
  block->duplicates = 0;
  for (uint32_t ordinal = 0; ordinal < expressions.count(); ++ordinal) Insert(block, expressions, ordinal);
  block->count = expressions.count();
  block->valid = 1;
  return true;
}

int32_t ScanList(const LockedExpressions& expressions, const char* name) {
  for (uint32_t ordinal = 0; ordinal < expressions.count(); ++ordinal) {
    if (SameName(expressions[ordinal]->name, name)) return static_cast<int32_t>(ordinal);
  }
  return -1;
}

}  // namespace

bool FormulaIndexReserve(ExprContext* ec) {
  uint64_t needed = (static_cast<uint64_t>(HandleArrayCount(ec->expressions)) + 1) * 2;
  IndexBlock* block = BlockOf(ec);
  if (block != nullptr && needed <= block->slotCount) return true;
  uint32_t slotCount = block != nullptr ? block->slotCount : kMinimumSlots;
  while (slotCount < needed) slotCount *= 2;
  void* grown = HostRealloc(block, BlockBytes(slotCount));
  if (grown == nullptr) return false;
  block = static_cast<IndexBlock*>(grown);
  block->slotCount = slotCount;
  block->valid = 0;  // the table's size changed: its slots must be laid out again
  ec->formulaIndex = block;
  return true;
}

void FormulaIndexAppended(ExprContext* ec, const LockedExpressions& expressions) {
  IndexBlock* block = BlockOf(ec);
  if (block == nullptr || block->valid == 0) return;
  if (block->count + 1 != expressions.count()) {
    block->valid = 0;
    return;
  }
  Insert(block, expressions, expressions.count() - 1);
  block->count = expressions.count();
}

void FormulaIndexInvalidate(ExprContext* ec) {
  if (IndexBlock* block = BlockOf(ec)) block->valid = 0;
}

void FormulaIndexRemoved(ExprContext* ec, const ExprRecord* record, uint32_t ordinal, uint32_t remaining) {
  IndexBlock* block = BlockOf(ec);
  if (block == nullptr || block->valid == 0) return;
  // Removing any other than the last would renumber the ordinals behind it.
  if (ordinal != remaining || block->count != ordinal + 1 || record->name == nullptr) {
    block->valid = 0;
    return;
  }
  block->count = ordinal;
  const uint32_t mask = block->slotCount - 1;
  uint32_t hole = HashName(record->name) & mask;
  for (; block->slots[hole] != 0; hole = (hole + 1) & mask) {
    if (block->slots[hole] == static_cast<int32_t>(ordinal + 1)) break;
  }
  // A name held by an earlier expression too kept that one's slot. Otherwise
  // the slot simply empties: the table holds what inserting the ordinals in
  // order gives, so every entry probing past the last one's slot was placed
  // while that slot was still empty, and none needs to move into it.
  block->slots[hole] = 0;
}

void FormulaIndexRelease(ExprContext* ec) {
  HostFree(ec->formulaIndex);
  ec->formulaIndex = nullptr;
}

namespace {

// The first ordinal named name, of length bytes, or -1; *alone is true when
// the index knows that no other expression shares the name.
int32_t Lookup(const ExprContext* ec, const LockedExpressions& expressions, const char* name, size_t length,
               bool* alone) {
  *alone = false;
  if (expressions.count() == 0) return -1;
  IndexBlock* block = BlockOf(ec);
  if (block == nullptr) return ScanList(expressions, name);
  if ((block->valid == 0 || block->count != expressions.count()) && !Rebuild(block, expressions)) {
    return ScanList(expressions, name);
  }
  *alone = block->duplicates == 0;
  uint32_t mask = block->slotCount - 1;
  for (uint32_t slot = HashNameBytes(name, length) & mask; block->slots[slot] != 0; slot = (slot + 1) & mask) {
    uint32_t ordinal = static_cast<uint32_t>(block->slots[slot] - 1);
    if (SameName(expressions[ordinal]->name, name)) return static_cast<int32_t>(ordinal);
  }
  return -1;
}

int32_t Lookup(const ExprContext* ec, const LockedExpressions& expressions, const char* name, bool* alone) {
  return Lookup(ec, expressions, name, std::strlen(name), alone);
}

}  // namespace

bool FormulaIndexHolds(const ExprContext* ec, const LockedExpressions& expressions, const char* name,
                       size_t length) {
  bool alone = false;
  return Lookup(ec, expressions, name, length, &alone) >= 0;
}

int32_t FormulaIndexFind(const ExprContext* ec, const char* name) {
  if (ec == nullptr || name == nullptr) return -1;
  LockedExpressions expressions(ec);
  bool alone = false;
  return Lookup(ec, expressions, name, &alone);
}

bool FormulaIndexNameTaken(const ExprContext* ec, const char* name, const ExprRecord* skip) {
  if (ec == nullptr || name == nullptr) return false;
  LockedExpressions expressions(ec);
  return FormulaIndexNameTaken(ec, expressions, name, skip);
}

bool FormulaIndexNameTaken(const ExprContext* ec, const LockedExpressions& expressions, const char* name,
                           const ExprRecord* skip) {
  bool alone = false;
  int32_t first = Lookup(ec, expressions, name, &alone);
  if (first < 0) return false;
  if (expressions[static_cast<uint32_t>(first)] != skip) return true;
  if (alone) return false;
  // Only a context that was given a name twice (XEVParseString does not
  // refuse one) pays for a look past the first holder.
  for (uint32_t ordinal = static_cast<uint32_t>(first) + 1; ordinal < expressions.count(); ++ordinal) {
    if (SameName(expressions[ordinal]->name, name)) return true;
  }
  return false;
}

}  // namespace xev::core
