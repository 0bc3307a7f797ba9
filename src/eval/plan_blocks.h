// Running a formula's plan over a block of rows at once: each step over all
// the rows before the next step, so that dispatch, the formula's entry and
// the reading of its items are paid a block at a time, not a row.
//
// A block run holds only steps whose outcome depends on nothing but the row:
// the four operators on Numbers, data items read straight from their
// columns (String ones as texts), text literals, joins, rounding to a
// literal count of places, the days between two dates, a date plus a literal
// count of units, the prepared date calls, calls of the built-in functions
// that read nothing but their arguments, and references to formulas arranged
// before it that the blocks hold too (HeldStep lists them). A formula with a
// String value is held too: each row's text lives in the block's arena
// (eval/block_texts.h) until the next block. It calls no host code, so the
// host cannot tell whether a row ran in a block.
// A row where some value is missing (an item, call or referenced formula
// without one, a date beyond the fast forms, memory short for a text) is left
// to the row path, marked in the block's byRow: that is where the checks,
// the host calls and the walk live, and where such a row gets the same bytes
// it always had.
#pragma once

#include <cstddef>
#include <cstdint>

#include "eval/block_texts.h"
#include "eval/formula_values.h"
#include "host/decimal.h"

namespace xev::eval {

// The rows of a block, and the most slots a formula may have to run in blocks
// (a long chain of terms runs row by row, as its scratch would be large).
constexpr int32_t kBlockRows = 512;
constexpr int32_t kMostBlockSlots = 32;

// One formula's values over a block: the 13 bytes of each row, and per row
// a 1 where the row path is to value it instead; a String formula's texts.
struct BlockColumn {
  NumberValue* numbers;
  uint8_t* byRow;
  const char** texts;  // a String formula's, per row; nullptr for the others
  size_t* lengths;     // and their lengths
};

// The parts of the dates read from a column over the block being run,
// worked out once for every formula of the block that reads them (a report
// reads an order date in several formulas). Columns past kColumns are
// worked out by each formula itself.
struct BlockDates {
  static constexpr int32_t kColumns = 4;
  int64_t first = -1;  // the block's first row
  int32_t used = 0;
  int32_t columns[kColumns] = {};
  int32_t rows[kColumns] = {};  // room in parts and plain
  DateParts* parts[kColumns] = {};
  uint8_t* plain[kColumns] = {};  // per row: 1 where parts holds the date (not NULL, within the fast form)
};
void ReleaseBlockDates(BlockDates& dates);

// The values read from a bound column over the block being run, read once
// for every formula of the block that reads the column (a report reads its
// quantity and order date in several formulas); the item slots of each
// point at the one copy. Columns past kColumns are read by each formula.
struct BlockReads {
  static constexpr int32_t kColumns = 8;
  int64_t first = -1;  // the block's first row
  int32_t used = 0;
  int32_t columns[kColumns] = {};
  bool withBytes[kColumns] = {};  // bytes holds the 13 bytes passed on
  int32_t rows[kColumns] = {};    // room in values, missing and bytes
  host::decimal::Decimal* values[kColumns] = {};
  uint8_t* missing[kColumns] = {};
  NumberValue* bytes[kColumns] = {};
};
void ReleaseBlockReads(BlockReads& reads);

// The formulas of a share as arranged (formula_values.h), with the block
// columns of those the blocks hold (columns[i].numbers nullptr for the others);
// dates and reads, when given, share date parts and column reads between
// the formulas of a block.
struct BlockFormulas {
  const FormulaValues* values;
  const BlockColumn* columns;
  BlockDates* dates = nullptr;
  BlockReads* reads = nullptr;
};

// No operator callback is bound in ec: an operator is its arithmetic alone,
// which a block run computes ahead of the row.
bool OperatorsPlain(const ExprContext* ec);

// Whether formula index of the arrangement can run in blocks in ec: its plan,
// prepared here when missing or stale, holds only steps a block holds, and
// every formula it references is held and arranged before it, and no
// operator callback is bound. room: how many loaded values a row of its
// block run needs, in the scratch RunBlock gets.
bool HeldByBlocks(ExprContext* ec, const BlockFormulas& formulas, int32_t index, int32_t* room);

// Whether the formula's value is a text, which a held column keeps in texts.
bool HeldAsText(HEXP exp);

// Runs formula index, held, over rows first to first + count - 1 of the rows
// ec evaluates, into formulas.columns[index]; slots has the room
// HeldByBlocks gave times count loaded values. A plan made stale since (the context changed) leaves
// every row to the row path. Texts go to arena, which the caller resets
// before each block.
void RunBlock(ExprContext* ec, const BlockFormulas& formulas, int32_t index, int64_t first, int32_t count,
              host::decimal::Decimal* slots, BlockArena& arena);

}  // namespace xev::eval
