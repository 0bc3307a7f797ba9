// Data items whose values a layer above keeps in arrays of its own (a
// table's bound columns): a plan's run of items reads such an item straight
// into its slot instead of calling the item's callback, which would write 13
// bytes into a block for the plan to load again. The value is the one the
// callback gives, so whether an item is read or asked changes no result.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "eval/block_texts.h"
#include "host/decimal.h"
#include "xev/xev.h"

namespace xev::eval {

enum class ColumnRead : uint8_t {
  kValue,    // out holds the value (a NULL as the NULL Decimal)
  kNoValue,  // the item has no value in this row
  kAsk,      // not one to read here: call the item's callback
};

struct ColumnReaders {
  // The column a data item callback reads, or -1 for any other callback.
  int32_t (*columnOf)(XEVDataItemCallback callback);
  // The column's value in the row ec is evaluating.
  ColumnRead (*read)(const ExprContext* ec, int32_t column, host::decimal::Decimal& out);
  // The column's values in rows first to first + count - 1 of the rows ec
  // is evaluating, loaded as the item's callback would give them; a row
  // without a value gets a zero and a 1 in missing. With bytes, also the 13
  // bytes a plan passes on for the item (the callback's, or for a column
  // read, the loaded value stored). False, nothing written, when the column
  // cannot be read so.
  bool (*readBlock)(const ExprContext* ec, int32_t column, int64_t first, int32_t count,
                    host::decimal::Decimal* out, uint8_t* missing, NumberValue* bytes);
  // A String column's texts in those rows as the item's callback gives them,
  // copied into arena with their terminators, and their lengths; a row
  // without a value (or without room in the arena) gets the empty text and
  // a 1 in missing. False, nothing written, when the column cannot be read so.
  bool (*readTexts)(const ExprContext* ec, int32_t column, int64_t first, int32_t count, BlockArena& arena,
                    const char** out, size_t* lengths, uint8_t* missing);
};

// Set once by the layer that owns the columns, before it evaluates; the
// readers must stay valid for the life of the process.
void SetColumnReaders(const ColumnReaders* readers);
const ColumnReaders* CurrentColumnReaders();

}  // namespace xev::eval
